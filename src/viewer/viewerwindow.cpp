#include "viewer/viewerwindow.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "imaging/common/wipedimage.h"
#include "platform/platform.h"
#include "viewer/offthread.h"
#include "viewer/panelbutton.h"
#include "viewer/showpicture.h"
#include "viewer/texts.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QTimer>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>

namespace veilshot {

namespace {

constexpr int ClientWidth = 758;
constexpr int ClientHeight = 515;

}  // namespace

ViewerWindow::ViewerWindow(ViewerModel &model, platform::Platform &platform, const ViewerLayout &layout, QSize screen,
                           QWidget *parent)
    : QWidget(parent)
    , model_(model)
    , platform_(platform)
    , layout_(layout)
    , screen_(screen)
    , slideShow_(new SlideShow(model.folder, this))
{
    setObjectName(layout.objectName);
    setWindowTitle(layout.caption);
    setAcceptDrops(true);
    resize(ClientWidth, ClientHeight);
    // Never so narrow that the bar's commands are cut off.
    setMinimumSize(layout.minimumClient.expandedTo(QSize(layout.barWidth, 0)));
    PaintBackground(this, QColor(24, 48, 48));
    move((screen.width() - ClientWidth) / 2, (screen.height() - ClientHeight) / 2);

    buildControls();
    Panel2->move((ClientWidth - Panel2->width()) / 2, 0);
    layoutControls();
    // Whoever moves the position, the window shows the entry there; a picture that cannot be
    // shown is reported and the position stays.
    connect(&model.folder, &FolderModel::currentChanged, this, &ViewerWindow::showPosition);
    connect(&photo_, &ShownPhoto::changed, this, &ViewerWindow::photoChanged);
    connect(&model.folder, &FolderModel::listChanged, this, [this] { guarded([this] { positionListed(); }); });
    connect(slideShow_, &SlideShow::coloursChanged, this, &ViewerWindow::applyColours);
    connect(slideShow_, &SlideShow::playingChanged, this,
            [this](bool playing) { platform_.keepAwake.setPlaying(playing); });
    qApp->installEventFilter(this);
}

ViewerWindow::~ViewerWindow()
{
    qApp->removeEventFilter(this);
    delete slideShow_;  // while the window can still pass on that the show stopped
}

void ViewerWindow::buildControls()
{
    pictureArea_ = new QFrame(this);
    pictureArea_->setObjectName(layout_.areaName);
    PaintBackground(pictureArea_, FromColourValue(layout_.areaColour));

    Image1 = new QLabel(pictureArea_);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);

    for (QWidget *area : {static_cast<QWidget *>(pictureArea_), static_cast<QWidget *>(Image1)}) {
        area->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(area, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint &at) { PopupMenu1->popup(area->mapToGlobal(at)); });
    }

    buildBar();

    Label1 = new ElidedLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel *label : std::initializer_list<QLabel *>{Label1, Label2}) {
        QPalette white = label->palette();
        white.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(white);
    }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
}

QAction *ViewerWindow::addMenuItem(const char *name, const char *caption, bool enabled,
                                   const std::function<void()> &handler)
{
    QAction *action = PopupMenu1->addAction(QString::fromUtf8(caption));
    action->setObjectName(QLatin1String(name));
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, handler);
    return action;
}

void ViewerWindow::layoutControls()
{
    const int w = width(), h = height();
    pictureArea_->setGeometry(0, 0, w, FullScreen ? h : std::max(0, h - layout_.belowPicture));
    Panel2->move(Panel2->x(), h - layout_.belowPicture + 2);
    Label1->setGeometry(4, h - 15, w * 2 / 3, 15);
    Label2->setGeometry(w * 2 / 3, h - 15, w - w * 2 / 3 - 4, 15);
    centreBar();
}

void ViewerWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void ViewerWindow::showPosition()
{
    if (!slideShow_->timedStep() && !ownWindowAbove()) {
        guarded([this] { showCurrent(); });
        return;
    }
    // A playing show does not halt behind a message box for a damaged photo: the status line
    // says what is wrong, and the show goes on to the next one. Nor does a box open behind a
    // window of the viewer's own whose command picked the photo (the grid): that command
    // says why in its own window. A step by hand still asks.
    try {
        showCurrent();
    } catch (const std::exception &error) {
        Label1->setText(FailureStatus(model_.folder.current(), QString::fromStdString(error.what())), Qt::ElideRight);
    }
}

bool ViewerWindow::ownWindowAbove() const
{
    const QWidget *modal = QApplication::activeModalWidget();
    for (const QWidget *owner = modal ? modal->parentWidget() : nullptr; owner; owner = owner->parentWidget()) {
        if (owner == this)
            return true;
    }
    return false;
}

void ViewerWindow::showPicture(const QString &path, const Prepared &prepared, const QRect &geometry)
{
    Image1->clear();
    photo_.hold(path, prepared.picture, prepared.stamp);
    fitPicture(geometry);
}

void ViewerWindow::fitPicture(const QRect &geometry)
{
    Image1->setGeometry(geometry);
    const qreal ratio = devicePixelRatioF();
    const QSize size(qRound(geometry.width() * ratio), qRound(geometry.height() * ratio));
    const QImage &picture = photo_.pixels();
    if (picture.isNull() || size.isEmpty() || Image1->pixmap().size() == size)
        return;
    QImage drawn = imaging::StretchedTo(picture, size);
    // The screen's copy is wiped when the label lets go of it, as the picture is; at the
    // picture's own size it is the picture.
    if (drawn.constBits() != picture.constBits())
        drawn = imaging::IntoWiped(std::move(drawn));
    drawn.setDevicePixelRatio(ratio);
    ShowPicture(*Image1, drawn);
}

void ViewerWindow::clearPicture()
{
    photo_.release();
}

void ViewerWindow::photoChanged()
{
    if (photo_.held())
        return;  // the viewer draws it at its own geometry
    Image1->clear();
    PhotoShown = false;
}

std::optional<Prepared> ViewerWindow::takePrepared(const QString &path)
{
    return ahead_.take(path, [this](QFuture<void> work) { waitForPhoto([&work] { work.waitForFinished(); }); });
}

void ViewerWindow::waitForPhoto(const std::function<void()> &work)
{
    QTimer *timer = slideShow_->timer();
    const bool ticking = timer->isActive();
    timer->stop();
    const auto resume = [&] {
        if (ticking && !timer->isActive())
            timer->start();
    };
    try {
        RunOffThread(work);
    } catch (...) {
        resume();
        throw;
    }
    resume();
}

void ViewerWindow::guarded(const std::function<void()> &command)
{
    platform::RunGuarded(platform_.messages, this, command);
}

// --- Opening ---------------------------------------------------------------------------------

void ViewerWindow::open()
{
    if (!readyToOpen())
        return;
    stopForCommand();

    QString path;
    if (model_.drop.dropped) {
        path = model_.drop.DroppedPath;
        model_.drop.dropped = false;
    } else {
        const auto chosen =
            platform_.dialogs.openFile(this, {.title = QString::fromUtf8(OpenTitle), .filter = layout_.openFilter});
        activateWindow();
        if (!chosen)
            return;
        path = *chosen;
        if (!FileExists(path)) {
            platform_.messages.inform(this, QLatin1String(NotPresentMessage));
            return;
        }
    }

    slideShow_->startAfresh();
    // The file is shown as soon as it is decoded, and its folder listed meanwhile beside it: in a
    // folder of 100,000 files the listing takes longer than the decode. Until the listing ends
    // the file stands alone, without its number, and input waits.
    QFuture<FolderList> listing;
    {
        const platform::WaitCursor wait;
        ahead_.keepOnly(path);  // it may be on its way already
        opening(path);
        listing = QtConcurrent::run(&lister_, [path, accepts = layout_.accepts] { return GatherFolder(path, accepts); });
    }
    model_.folder.replace({path}, 0);
    Label2->clear();
    FolderList list;
    RunOffThread([&] { list = listing.result(); });
    // Shown already; a picture that cannot be shown still leaves the folder open.
    if (list.paths.at(list.index) == path)
        model_.folder.relist(std::move(list.paths), list.index);
    else
        model_.folder.replace(std::move(list.paths), list.index);  // gone or not listed meanwhile

    const bool several = model_.folder.lastIndex() != 0;
    for (PanelButton *panel : {Panel3, Panel4, Panel5, Panel8})
        panel->setEnabled(several);
    const bool outdated = model_.preview.folderOpened(several);
    enableAfterOpen(several);
    slideShow_->opened(model_.folder.count());
    if (outdated)
        emit previewOutdated();
}

void ViewerWindow::dropFiles(const QStringList &files)
{
    model_.drop.dropped = false;
    model_.drop.DroppedPath.clear();
    activateWindow();
    if (files.isEmpty())
        return;
    const QString first = files.constFirst();
    if (QFileInfo(first).isFile() && layout_.accepts(first)) {
        model_.drop.DroppedPath = first;
        model_.drop.dropped = true;
        guarded([this] { open(); });
    }
}

void ViewerWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void ViewerWindow::dropEvent(QDropEvent *event)
{
    const QStringList files = platform::DroppedFiles(event->mimeData());
    event->acceptProposedAction();
    // Run the open after the drop has finished, outside the drag's own event loop.
    QTimer::singleShot(0, this, [this, files] { dropFiles(files); });
}

// --- Full screen and keys --------------------------------------------------------------------

void ViewerWindow::toggleFullScreen()
{
    // Leaving full screen is always possible, whatever is shown.
    if (!PhotoShown && !FullScreen)
        return;
    reshowing_ = true;
    if (!FullScreen && !platform_.windows.isMaximized(this)) {
        Panel2->hide();
        Label1->hide();
        Label2->hide();
        savedArea_ = pictureArea_->size();
        savedGeometry_ = geometry();
        FullScreen = true;
        platform_.windows.enterFullScreen(this);
    } else if (FullScreen) {
        FullScreen = false;
        platform_.windows.leaveFullScreen(this, savedGeometry_);
        pictureArea_->resize(savedArea_);
        Panel2->show();
        Label1->show();
        Label2->show();
    }
    layoutControls();
    setAcceptDrops(true);
    fullScreenChanged();
}

void ViewerWindow::runKey(const KeyAction &action)
{
    switch (action.key) {
    case ViewerKey::None: return;
    case ViewerKey::Forward: Panel3->click(); break;
    case ViewerKey::Back: Panel5->click(); break;
    case ViewerKey::Stop: Panel4->click(); break;
    case ViewerKey::FullScreen: toggleFullScreen(); break;
    case ViewerKey::Presurvey: Panel8->click(); break;
    case ViewerKey::ToggleStrip: Panel11Click(); break;
    case ViewerKey::Exit: close(); break;
    case ViewerKey::Radio: {
        QRadioButton *radio = radios_[action.radio];
        if (!FullScreen && radio->isEnabled()) {
            radio->setChecked(true);
            radio->setFocus();
        }
        break;
    }
    case ViewerKey::Copy:
    case ViewerKey::TurnRight:
    case ViewerKey::TurnLeft: runViewerKey(action.key); break;
    }
}

bool ViewerWindow::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const KeyAction action =
            KeyFor(layout_.viewer, key->key(), key->modifiers() & Qt::KeypadModifier, key->nativeScanCode());
        if (action.key == ViewerKey::None)
            return false;
        // A held key repeats steps, not toggles: full screen and the strip change once a press.
        const bool toggle = action.key == ViewerKey::FullScreen || action.key == ViewerKey::ToggleStrip;
        if (!(toggle && key->isAutoRepeat()))
            runKey(action);
        return true;
    }
    if (event->type() == QEvent::Expose && watched == windowHandle() && !platform_.windows.tellsMinimised()) {
        if (windowHandle()->isExposed())
            reshowing_ = false;
        else if (!reshowing_)
            unexposed();
        return false;
    }
    if (event->type() == QEvent::MouseButtonDblClick && (watched == pictureArea_ || watched == Image1)) {
        toggleFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace veilshot
