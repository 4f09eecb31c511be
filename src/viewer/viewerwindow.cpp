#include "viewerwindow.h"

#include "fileio.h"
#include "fileoperations.h"
#include "folderlisting.h"
#include "panelbutton.h"
#include "platform.h"
#include "removeconfirm.h"
#include "texts.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

namespace veilshot {

namespace {

constexpr int ClientWidth = 758;
constexpr int ClientHeight = 515;
constexpr int StripNarrow = 48;
constexpr int StripWide = 257;

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
    setMinimumSize(layout.minimumClient);
    PaintBackground(this, QColor(24, 48, 48));
    move((screen.width() - ClientWidth) / 2, (screen.height() - ClientHeight) / 2);

    buildControls();
    Panel2->move((ClientWidth - Panel2->width()) / 2, 0);
    layoutControls();
    // Whoever moves the position, the window shows the entry there; a picture that cannot be
    // shown is reported and the position stays.
    connect(&model.folder, &FolderModel::currentChanged, this, [this] { guarded([this] { showCurrent(); }); });
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

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    PaintBackground(Panel2, FromColourValue(StateOff));
    QFont barFont(QStringLiteral("Sans Serif"));
    barFont.setPointSize(10);
    Panel2->setFont(barFont);
    Panel2->resize(layout_.barWidth, BarHeight);

    // Left to right; the radio strip, when wide, lies over the buttons up to Stop, which ends
    // where the wide strip does (40 + 257).
    Panel11 = addBarButton("Panel11", "< >", "Press a key 9", 0, 40, [this] { Panel11Click(); });
    Panel8 = addBarButton("Panel8", "Presurvey", "Press a key - Enter, the Blank", 88, 78, {});
    Panel5 = addBarButton("Panel5", "Back", "Arrow to the left", 166, 66, [this] { Panel5Click(); });
    Panel4 = addBarButton("Panel4", "Stop", "Arrow downwards", 232, 65, [this] { Panel4Click(); });
    Panel3 = addBarButton("Panel3", "Forward", "Arrow to the right", 297, 80, [this] { Panel3Click(); });
    for (PanelButton *disabled : {Panel8, Panel5, Panel4, Panel3})
        disabled->setEnabled(false);

    Panel12 = new QFrame(Panel2);
    Panel12->setObjectName(QStringLiteral("Panel12"));
    Panel12->setGeometry(40, 0, StripNarrow, BarHeight);
    PaintBackground(Panel12, FromColourValue(StateOff));
    QFont stripFont = barFont;
    stripFont.setPointSize(8);  // "Man." fits the narrow strip
    Panel12->setFont(stripFont);
    const int radioX[] = {2, 50, 80, 110, 140, 170, 212};
    static const char *hints[] = {"Press a key 8", "Press a key 1", "Press a key 2", "Press a key 3",
                                  "Press a key 5", "Press a key 6", "Press a key 7"};
    for (int i = 0; i < int(std::size(RadioChoices)); ++i) {
        auto *radio = new QRadioButton(QLatin1String(RadioChoices[i].caption), Panel12);
        radio->setObjectName(QLatin1String(RadioChoices[i].name));
        radio->setGeometry(radioX[i], 0, i == 0 ? 46 : i < 5 ? 30 : 40, BarHeight);
        radio->setToolTip(QLatin1String(hints[i]));
        connect(radio, &QRadioButton::toggled, this, [this, i](bool checked) {
            if (checked)
                RadioButtonClick(i);
        });
        radios_ << radio;
    }
    {
        const QSignalBlocker quiet(radios_[0]);  // "Man." is the state at creation, not a choice
        radios_[0]->setChecked(true);
    }
    Panel12->raise();

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (QLabel *label : {Label1, Label2}) {
        QPalette white = label->palette();
        white.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(white);
    }

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
}

PanelButton *ViewerWindow::addBarButton(const char *name, const char *caption, const char *hint, int x, int width,
                                        const std::function<void()> &handler)
{
    auto *panel = new PanelButton(QLatin1String(name), QString::fromUtf8(caption), Panel2);
    panel->setGeometry(x, 0, width, BarHeight);
    panel->setColour(FromColourValue(StateOff));
    if (hint)
        panel->setToolTip(QString::fromUtf8(hint));
    if (handler)
        connect(panel, &PanelButton::clicked, this, handler);
    return panel;
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
    if (layout_.centreBarOnResize)
        centreBar();
}

void ViewerWindow::centreBar()
{
    if (Panel2->width() < pictureArea_->width())
        Panel2->move((pictureArea_->width() - Panel2->width()) / 2, Panel2->y());
}

void ViewerWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void ViewerWindow::guarded(const std::function<void()> &command)
{
    platform::RunGuarded(platform_.messages, this, command);
}

void ViewerWindow::applyColours(ColourSet colours)
{
    Panel3->setColour(FromColourValue(colours == ColourSet::PlayingForward ? StateOn : StateOff));
    Panel4->setColour(FromColourValue(colours == ColourSet::Stopped ? StateOn : StateOff));
    Panel5->setColour(FromColourValue(colours == ColourSet::PlayingBackward ? StateOn : StateOff));
}

// --- Navigation ------------------------------------------------------------------------------

void ViewerWindow::Panel3Click()
{
    slideShow_->forward();
}

void ViewerWindow::Panel4Click()
{
    slideShow_->stop();
}

void ViewerWindow::Panel5Click()
{
    slideShow_->back();
}

void ViewerWindow::prepareNext(DecodeAhead::Decode decode)
{
    const QString next = slideShow_->next();
    if (!next.isEmpty() && FileExists(next))
        ahead_.prepare(next, std::move(decode));
}

void ViewerWindow::RadioButtonClick(int choice)
{
    slideShow_->chooseRadio(choice);
}

void ViewerWindow::Timer1Timer()
{
    slideShow_->timerFired();
}

void ViewerWindow::Panel11Click()
{
    Panel12->resize(Panel12->width() < StripNarrow + 1 ? StripWide : StripNarrow, Panel12->height());
}

void ViewerWindow::stopForCommand()
{
    activateWindow();
    slideShow_->stopForCommand();
}

// --- Opening ---------------------------------------------------------------------------------

void ViewerWindow::open()
{
    if (!readyToOpen())
        return;
    stopForCommand();

    QString path;
    if (model_.dropped) {
        path = model_.DroppedPath;
        model_.dropped = false;
    } else {
        const auto chosen =
            platform_.dialogs.openFile(this, {.title = QStringLiteral("Open"), .filter = layout_.openFilter});
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
    FolderList list;
    {
        const platform::WaitCursor wait;
        ahead_.drop();
        list = GatherFolder(path, layout_.accepts);
    }
    // Shown at once; a picture that cannot be shown still leaves the folder open.
    model_.folder.replace(std::move(list.paths), list.index);

    const bool several = model_.folder.lastIndex() != 0;
    for (PanelButton *panel : {Panel3, Panel4, Panel5, Panel8})
        panel->setEnabled(several);
    if (several) {
        model_.PagingOn = false;
        model_.LoadStopped = false;
    }
    enableAfterOpen(several);
    slideShow_->opened(model_.folder.count());
    if (model_.PreviewKept) {
        model_.PreviewKept = false;
        emit previewOutdated();
    }
}

void ViewerWindow::DropFiles(const QStringList &files)
{
    model_.dropped = false;
    model_.DroppedPath.clear();
    activateWindow();
    if (files.isEmpty())
        return;
    const QString first = files.constFirst();
    if (QFileInfo(first).isFile() && layout_.accepts(first)) {
        model_.DroppedPath = first;
        model_.dropped = true;
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
    QTimer::singleShot(0, this, [this, files] { DropFiles(files); });
}

// --- Commands on the shown file --------------------------------------------------------------

std::optional<QString> ViewerWindow::fileForCommand()
{
    if (model_.RunInProgress)
        return std::nullopt;
    slideShow_->stop();
    const QString current = model_.folder.current();
    if (!current.isEmpty() && FileExists(current))
        return current;
    platform_.messages.inform(this, QLatin1String(NoFileMessage));
    return std::nullopt;
}

void ViewerWindow::moveCurrent(bool proposeFullPath)
{
    const auto current = fileForCommand();
    if (!current)
        return;
    const QString path = *current;
    const auto chosen = platform_.dialogs.saveFile(
        this, {.title = QStringLiteral("To move a file"), .startFolder = proposeFullPath ? FolderOf(path) : QString(),
               .proposedName = proposeFullPath ? path : FileNameOf(path)});
    activateWindow();
    if (!chosen)
        return;
    const QString target = EnsureExtension(*chosen, ExtensionOf(path));
    platform::WriteNew(platform_.messages, this, target, QLatin1String(SuchNameExistsMessage),
                       [&] { MoveFileTo(path, target); });
}

void ViewerWindow::copyFile(const QString &file, const CopyRule &rule)
{
    const QString start = StillThereOr(rule.lastFolder, FolderOf(file));
    const auto chosen =
        platform_.dialogs.saveFile(this, {.title = rule.title, .startFolder = start, .proposedName = rule.proposedName});
    activateWindow();
    if (!chosen)
        return;
    const QString named = EnsureExtension(*chosen, rule.extension);
    const QString target = JoinPath(MakeSubfolder(FolderOf(named), rule.subfolder), FileNameOf(named));
    platform::WriteNew(platform_.messages, this, target, QLatin1String(rule.existsMessage), [&] {
        rule.lastFolder = FolderOf(named);
        rule.write(file, target);
    });
}

void ViewerWindow::removeCurrent()
{
    model_.RemoveTarget = model_.folder.current();
    if (!fileForCommand())
        return;
    TForm8 confirm(model_.RemoveTarget, platform_, this);
    confirm.exec();
}

// --- Full screen and keys --------------------------------------------------------------------

void ViewerWindow::ToggleFullScreen()
{
    if (!PhotoShown)
        return;
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
    if (layout_.centreBarOnResize)
        centreBar();
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
    case ViewerKey::FullScreen: ToggleFullScreen(); break;
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
    if (event->type() == QEvent::MouseButtonDblClick && (watched == pictureArea_ || watched == Image1)) {
        ToggleFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace veilshot
