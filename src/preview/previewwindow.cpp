#include "preview/previewwindow.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "imaging/common/wipedimage.h"
#include "imaging/imaging.h"
#include "platform/platform.h"
#include "viewer/offthread.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"
#include "viewer/viewerrules.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QtConcurrent>

namespace veilshot {

namespace {

const QColor GridColour(0xCC, 0xE6, 0xE6);
const QColor FrameColour(0x14, 0xA6, 0xAD);

// What the label draws: a copy of the grid picture of its own, so that drawing on the grid
// never leaves an unwiped copy of its thumbnails behind; both are wiped when let go.
QPixmap GridPixmap(const QImage &grid)
{
    return QPixmap::fromImage(imaging::IntoWiped(grid, false));
}
constexpr int BottomBar = 25;

}  // namespace

PreviewKind CipheredPreview()
{
    return {QStringLiteral("TForm13"), {688, 451}, true, GridColour, ThumbnailFit::StretchedInset, false};
}

PreviewKind PlainPreview()
{
    return {QStringLiteral("TForm14"), {698, 457}, false, QColor(0x13, 0xC9, 0xD2), ThumbnailFit::Exact, true};
}

PreviewWindow::PreviewWindow(ViewerModel &owner, const PreviewPhotos &photos, platform::Platform &platform, QSize screen,
                             const PreviewKind &kind, QWidget *parent)
    : QDialog(parent)
    , owner_(owner)
    , photos_(photos)
    , platform_(platform)
    , screen_(screen)
    , kind_(kind)
{
    setObjectName(kind.objectName);
    setWindowTitle(QStringLiteral("Presurvey"));
    // No maximise button: the window covers the screen already, with one fixed border.
    Qt::WindowFlags flags = kind.topmost ? Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint
                                         : Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                                               Qt::WindowCloseButtonHint;
    // Above its owner even when the owner stays on top of everything (the plain viewer does):
    // window managers keep such windows in a layer of their own, above ordinary ones.
    if (parent && parent->window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint))
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    resize(kind.designClient);
    PaintBackground(this, kind.windowColour);
    CursorMaxX = screen.width() - 40;
    CursorMaxY = screen.height() - 40;
    refresh_ = new QTimer(this);
    refresh_->setSingleShot(true);
    refresh_->setInterval(60);
    connect(refresh_, &QTimer::timeout, this, &PreviewWindow::showGrid);
    // The counter under the grid follows the paging.
    connect(&owner.preview, &PagingModel::changed, this, &PreviewWindow::showCounter);

    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setFrameShape(QFrame::NoFrame);
    // Always there, so the grid's width (and its columns) does not change when rows fill up.
    ScrollBox1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PaintBackground(ScrollBox1->viewport(), GridColour);
    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    ScrollBox1->setWidget(Image1);

    auto *Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    PaintBackground(Panel2, Qt::black);
    Label2 = new QLabel(Panel2);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont counterFont(QStringLiteral("Sans Serif"));
    counterFont.setPixelSize(13);
    Label2->setFont(counterFont);
    QPalette white = Label2->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    Label2->setPalette(white);
    Label2->setGeometry(4, 0, 66, BottomBar);
    auto *Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    PaintBackground(Panel1, FrameColour);
    Label1 = new QLabel(QString::fromLatin1(PreviewHelpLine), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(6, 0, 2000, BottomBar);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    auto item = [this](const char *name, const char *caption, const std::function<void()> &command) {
        QAction *action = PopupMenu1->addAction(QString::fromLatin1(caption));
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, [this, command] { guarded(command); });
        return action;
    };
    C1 = item("C1", "To copy - C", [this] { copy(); });
    V1 = item("V1", "Name - V", [this] { name(); });
    pr1 = item("pr1", "Viewing - the Blank", [this] { view(false); });
    e1 = item("e1", "Exit - Enter", [this] { close(); });
    mb1 = item("mb1", "Loading forward - B", [this] { loadForward(); });
    mb2 = item("mb2", "Loading back - N ", [this] { loadBack(); });
    if (kind.turns) {
        pG1 = item("pG1", "To turn to the righ - G", [this] { turn(false); });
        F1 = item("F1", "To turn to the left - F", [this] { turn(true); });
    }
    connect(Image1, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        PickCell();  // the menu's commands act on the cell under it
        PopupMenu1->popup(Image1->mapToGlobal(at));
    });

    Panel2_ = Panel2;
    Panel1_ = Panel1;
    // Fixed: made smaller, the grid's columns past the edge could not be reached.
    setFixedSize(screen);
    Image1->resize(ScrollBox1->viewport()->size());

    qApp->installEventFilter(this);
}

PreviewWindow::~PreviewWindow()
{
    qApp->removeEventFilter(this);
}

void PreviewWindow::guarded(const std::function<void()> &command)
{
    platform::RunGuarded(platform_.messages, this, command);
}

void PreviewWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    fitToScreen();
    // Each showing starts at the screen's corner; activation loads, unless the grid is kept.
    QTimer::singleShot(50, this, [this] {
        fitToScreen();
        move(0, 0);
        guarded([this] { LoadGrid(); });
    });
}

// The window manager frames the window when it gets to it, however long after the showing, and
// moves it by the frame's edge: with the frame it reports, the window covers the screen from its
// top-left corner, so that the bar along its bottom shows.
void PreviewWindow::moveEvent(QMoveEvent *event)
{
    QDialog::moveEvent(event);
    fitToScreen();
}

void PreviewWindow::fitToScreen()
{
    if (const QSize fitted = screen_.shrunkBy(platform_.windows.frame(this)); size() != fitted) {
        setFixedSize(fitted);
        move(0, 0);
    }
}

void PreviewWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    // The grid above, the counter and the help line along the bottom.
    ScrollBox1->setGeometry(0, 0, width(), std::max(0, height() - BottomBar));
    Panel2_->setGeometry(0, height() - BottomBar, 70, BottomBar);
    Panel1_->setGeometry(70, height() - BottomBar, std::max(0, width() - 70), BottomBar);
}

void PreviewWindow::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // A window manager that maximises whatever the border says is turned back: the grid is laid
    // out for the window's one size.
    if (event->type() == QEvent::WindowStateChange && windowState().testFlag(Qt::WindowMaximized))
        setWindowState(windowState() & ~Qt::WindowMaximized);
}

void PreviewWindow::closeEvent(QCloseEvent *event)
{
    // A close during a load ends the load where it is, as Ctrl does; what was drawn is kept.
    if (loading_)
        stopLoad();
    QDialog::closeEvent(event);
}

// --- Loading ---------------------------------------------------------------------------------

void PreviewWindow::LoadGrid()
{
    if (loading_)
        return;  // never a second load inside a running one
    const int count = owner_.folder.count();
    // The columns follow the scroll box's width, scroll bar included (the margins leave room
    // for it), so they do not change from one load to the next.
    PagingModel &paging = owner_.preview;
    const PagingModel::Start start = paging.begin(count, GridColumnsFor(ScrollBox1->width()));
    if (start.kept)
        return;
    Layout = LayoutFor(start.remaining, paging.columns(), start.start);
    cells_ = Layout.rows == 0 ? 0 : (Layout.rows - 1) * Layout.columns + (Layout.remainder ? Layout.remainder : Layout.columns);
    cell_ = 0;
    used_ = 0;
    CellPicked = false;

    // One batch of rows at most, however long the folder: a load draws no more.
    const QSize view = ScrollBox1->viewport()->size();
    const QSize picture(view.width(), GridHeightFor(Layout, paging.rowsPerBatch(), view.height()));
    // At the screen's device pixels, so that thumbnails are as sharp as the screen; drawn on in
    // the grid's own (logical) coordinates.
    const qreal ratio = devicePixelRatio();
    grid_ = imaging::WipedImage(picture * ratio, QImage::Format_RGB32);
    grid_.setDevicePixelRatio(ratio);
    grid_.fill(GridColour);
    Image1->resize(picture);
    Image1->setPixmap(GridPixmap(grid_));
    ScrollBox1->verticalScrollBar()->setValue(0);

    // None past the batch: a load decodes no more pictures than it draws.
    loader_.begin(owner_.folder, photos_.thumbnails(thumbnailBox()), Layout.start,
                  Layout.start + std::min(cells_, paging.batchSize()));
    loading_ = true;
    loader_.request();
    pump();
}

// Draws what has arrived, in list order; comes back when the next picture is ready.
void PreviewWindow::pump()
{
    while (loading_) {
        if (cell_ >= cells_) {
            endLoad();
            return;
        }
        const int row = cell_ / Layout.columns + 1;
        // A cell past the batch has no picture asked for: the batch limit stops the load there.
        if (row <= owner_.preview.rowsPerBatch()) {
            const ThumbnailLoader::Pending &head = loader_.front();
            if (head.picture.isValid() && !head.picture.isFinished()) {
                auto *watcher = new QFutureWatcher<Prepared>(this);
                connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
                    watcher->deleteLater();
                    pump();
                });
                watcher->setFuture(head.picture);
                return;
            }
        }
        const bool stopKey = platform_.keys.isDown(Qt::Key_Control);
        if (!loading_)
            return;  // closed while the key was read: the load ended there
        if (!owner_.preview.admit(cell_, row, stopKey)) {
            growPicture(row * CellPitch + 2 * GridMargin);
            endLoad();
            return;
        }
        drawCell(cell_, loader_.front());
        loader_.pop();
        ++cell_;
        ++used_;
        if (cell_ % Layout.columns == 0 || cell_ == cells_)
            endRow(row);
        loader_.request();
        // Let the window answer between cells: scrolling, the keys, the menu, the stop key.
        QMetaObject::invokeMethod(this, [this] { pump(); }, Qt::QueuedConnection);
        return;
    }
}

void PreviewWindow::drawCell(int cell, const ThumbnailLoader::Pending &pending)
{
    const QRect frame = CellFrame(cell, Layout.columns);
    drawFrame(frame);
    if (pending.picture.isValid())
        drawThumbnail(frame, pending.picture.result());  // a file that is not there: an empty frame
    // The screen catches up with the grid picture a few times a second, not at every cell:
    // handing over the whole picture costs more than drawing a thumbnail.
    if (!refresh_->isActive())
        refresh_->start();
}

void PreviewWindow::showGrid()
{
    refresh_->stop();
    Image1->setPixmap(GridPixmap(grid_));
}

QSize PreviewWindow::thumbnailBox() const
{
    return QSize(ThumbnailBox, ThumbnailBox) * grid_.devicePixelRatio();
}

void PreviewWindow::drawFrame(const QRect &frame)
{
    QPainter painter(&grid_);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(frame.adjusted(-1, -1, 1, 1), GridColour);
    painter.setPen(QPen(FrameColour, 2));
    painter.setBrush(GridColour);
    painter.drawRoundedRect(QRectF(frame).adjusted(1, 1, -1, -1), 10, 10);
}

void PreviewWindow::drawThumbnail(const QRect &frame, const Prepared &prepared)
{
    if (prepared.otherCode)
        return;  // made under another code: the frame stays empty
    const imaging::Picture &picture = prepared.picture;
    if (!picture.ok()) {
        // Not a picture that can be drawn: a visible mark, so the cell is not taken for empty.
        QPainter painter(&grid_);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(FrameColour, 2));
        const QRect inside = frame.adjusted(40, 40, -40, -60);
        painter.drawLine(inside.topLeft(), inside.bottomRight());
        painter.drawLine(inside.topRight(), inside.bottomLeft());
        painter.drawText(frame.adjusted(4, 150, -4, -10), Qt::AlignCenter, QStringLiteral("cannot be shown"));
        return;
    }
    const QSize size = picture.fullSize.isValid() ? picture.fullSize : picture.image.size();
    const auto surface = imaging::Surface(grid_);
    imaging::DrawScaled(*surface, picture.image, ThumbnailRect(size, frame, kind_.fit));
}

// A load that stopped early leaves no empty rows below it to scroll through; the picture still
// fills the view.
void PreviewWindow::growPicture(int height)
{
    const int shown = std::max(height, ScrollBox1->viewport()->height());
    if (shown < Image1->height())
        Image1->resize(Image1->width(), shown);
}

void PreviewWindow::endRow(int row)
{
    // Follow the rows being filled: the next one comes into view.
    const int bottom = GridMargin + (row + 1) * CellPitch;
    ScrollBox1->ensureVisible(0, std::min(bottom, Image1->height() - 1), 0, GridMargin);
}

void PreviewWindow::endLoad()
{
    showGrid();
    loading_ = false;
    loader_.clear();
    owner_.preview.finish(used_);
}

void PreviewWindow::showCounter()
{
    Label2->setText(CounterText(owner_.folder.count(), owner_.preview.nextStart()));
}

void PreviewWindow::stopLoad()
{
    if (!loading_)
        return;
    owner_.preview.admit(cell_, cell_ / std::max(1, Layout.columns) + 1, true);
    endLoad();
}

void PreviewWindow::loadForward()
{
    if (!loading_ && owner_.preview.forward(owner_.folder.count()))
        LoadGrid();
}

void PreviewWindow::loadBack()
{
    if (!loading_ && owner_.preview.back(owner_.folder.count()))
        LoadGrid();
}

void PreviewWindow::discard()
{
    stopLoad();
    grid_.fill(GridColour);
    Image1->setPixmap(GridPixmap(grid_));
    Image1->resize(Image1->width(), ScrollBox1->viewport()->height());
    owner_.preview.clearKept();
    close();
}

}  // namespace veilshot
