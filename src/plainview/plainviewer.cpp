#include "plainview/plainviewer.h"

#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "platform/platform.h"
#include "viewer/offthread.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTimer>

namespace veilshot {

namespace {


ViewerLayout PlainLayout()
{
    return {.viewer = Viewer::Plain,
            .objectName = QStringLiteral("TForm7g"),
            .caption = QStringLiteral("Veilshot Viewing"),
            .minimumClient = {504, 361},  // a window of 520 x 400 with its frame
            .areaName = QStringLiteral("Panel13"),
            .areaColour = 4470530,
            .belowPicture = 44,
            .barWidth = 550,
            .centring = Centring::RoundedDifference,
            .openFilter = QString::fromUtf8(PlainFilter),
            .accepts = IsPhotoFile};
}

}  // namespace

TForm7g::TForm7g(PlainModel &model, platform::Platform &platform, QSize screen, QWidget *parent)
    : ViewerWindow(model, platform, PlainLayout(), screen, parent)
    , plain_(model)
{
    // Owned by the main window, yet a window of its own that stays above the others.
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    // The list outlives the window, but a preview went with the viewer that owned it.
    model.preview.reset();

    connect(Panel8, &PanelButton::clicked, this, &TForm7g::Panel8Click);
    Panel7 = addBarButton("Panel7", "Copy", "Arrow upwards", SharedBarWidth, 58, [this] { mn4Click(); });
    Panel6 = addBarButton("Panel6", "Open", nullptr, 435, 57, [this] { Panel6Click(); });
    Panel1 = addBarButton("Panel1", "Table", "To establish wall-paper on a desktop - F2", 492, 58,
                          [this] { Panel1Click(); });
    for (PanelButton *disabled : {Panel7, Panel1})
        disabled->setEnabled(false);
    Panel12->raise();

    // Back, Stop and Forward act only while their buttons are enabled.
    mn1 = addMenuItem("mn1", "Back", false, [this] { Panel5->click(); });
    mn2 = addMenuItem("mn2", "Stop", false, [this] { Panel4->click(); });
    mn3 = addMenuItem("mn3", "Forward", false, [this] { Panel3->click(); });
    mn4 = addMenuItem("mn4", "To copy a file", false, [this] { mn4Click(); });
    mn5 = addMenuItem("mn5", "To move a file", false, [this] { mn5Click(); });
    mn6 = addMenuItem("mn6", "To remove a file", false, [this] { mn6Click(); });
    mn7 = addMenuItem("mn7", "To compress a photo", false, [this] { mn7Click(); });
    mn8 = addMenuItem("mn8", "To transform files", false, [this] { mn8Click(); });
    mn10 = addMenuItem("mn10", "Photo scale", false, [this] { mn10Click(); });
    pG1 = addMenuItem("pG1", "To turn to the right - G", false, [this] { pG1Click(); });
    F1 = addMenuItem("F1", "To turn to the left - F", false, [this] { F1Click(); });
    mn11 = addMenuItem("mn11", "To establish wall-paper on a desktop", false, [this] {
        if (Panel1->isEnabled())
            Panel1Click();
    });
    mn11->setShortcut(Qt::Key_F2);
    addAction(mn11);  // F2 works with the menu closed

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(100);
    connect(Timer2, &QTimer::timeout, this, &TForm7g::Timer2Timer);
}

TForm7g::~TForm7g() = default;

// --- Display ---------------------------------------------------------------------------------

void TForm7g::showCurrent()
{
    ReloadPending = true;
    redraw();
}

void TForm7g::reloadCurrent()
{
    showCurrent();
}

void TForm7g::redraw()
{
    const QString path = model_.folder.current();
    if (ReloadPending || !BitmapLoaded) {
        if (path.isEmpty() || !FileExists(path)) {
            Label1->setText(QLatin1String(NoFileText));
            ReloadPending = false;
            return;
        }
        releasePicture();
        ReloadPending = false;
        // Decoded for the screen; the ones around it are decoded meanwhile.
        const DecodeAhead::Decode decode = decodeForScreen();
        std::optional<Prepared> prepared = takePrepared(path);
        if (model_.folder.current() != path)
            return;  // another entry was shown while this one was waited for
        if (!prepared)
            prepared = ahead_.decodeNow(path, decode);
        prepareAround(decode);
        const imaging::Picture picture = prepared->picture;
        if (!picture.ok()) {
            // What the window shows and what its commands act on stay one file: this one, with
            // its path and number and an empty picture area.
            clearPicture();
            Label1->setText(path);
            Label2->setText(QString::number(model_.folder.index()));
            throw FileError(picture.error.toStdString());
        }
        aspect_ = double(picture.fullSize.width()) / double(picture.fullSize.height());
        plain_.PhotoWidth = picture.fullSize.width();
        plain_.PhotoHeight = picture.fullSize.height();
        BitmapLoaded = true;
        showPicture(path, *prepared, pictureGeometry());
    }
    Label1->setText(path);
    Label2->setText(QString::number(model_.folder.index()));
    for (QAction *action : {mn4, mn5, mn6, mn7, mn8, mn10})
        action->setEnabled(true);
    fitPicture(pictureGeometry());
    PhotoShown = true;
}

DecodeAhead::Decode TForm7g::decodeForScreen() const
{
    return [screen = screen_](const QString &file) { return Prepared{imaging::OpenFile(file, screen)}; };
}

void TForm7g::positionListed()
{
    Label2->setText(QString::number(model_.folder.index()));
    prepareAround(decodeForScreen());
}

void TForm7g::prepareOpening(const QString &file)
{
    ahead_.prepare(QString(), {file}, decodeForScreen());
}

QRect TForm7g::pictureGeometry() const
{
    const QSize area(width(), FullScreen ? height() : height() - layout_.belowPicture);
    return FitPicture(aspect_, area, Centring::RoundedDifference);
}

void TForm7g::releasePicture()
{
    BitmapLoaded = false;
}

void TForm7g::resizeEvent(QResizeEvent *event)
{
    ViewerWindow::resizeEvent(event);
    if (PhotoShown && !Timer2->isActive())
        Timer2->start();
}

void TForm7g::Timer2Timer()
{
    // A burst of resizes redraws about every 100 ms, never at each event.
    if (skipRedraw_) {
        skipRedraw_ = false;
        return;
    }
    Timer2->stop();
    guarded([this] { redraw(); });
}

void TForm7g::fullScreenChanged()
{
    skipRedraw_ = true;
    guarded([this] { redraw(); });
    activateWindow();
}

// --- Opening ---------------------------------------------------------------------------------

void TForm7g::Panel6Click()
{
    guarded([this] { open(); });
}

void TForm7g::enableAfterOpen(bool several)
{
    for (QAction *action : {mn4, mn5, mn6, mn7, mn8, mn10, mn11})
        action->setEnabled(true);
    for (PanelButton *panel : {Panel7, Panel1})
        panel->setEnabled(true);
    if (several) {
        for (QAction *action : {mn1, mn2, mn3})
            action->setEnabled(true);
    }
    pG1->setEnabled(true);
    F1->setEnabled(true);
}

// --- File commands ---------------------------------------------------------------------------

void TForm7g::mn4Click()
{
    guarded([this] {
        const auto current = fileForCommand();
        if (!current)
            return;
        releasePicture();
        copyFile(*current, {.title = QString::fromUtf8(CopyPlainTitle),
                            .subfolder = QLatin1String(CopiedFolder),
                            .extension = ExtensionOf(*current),
                            .proposedName = FileNameOf(*current),
                            .lastFolder = CopyFolder,
                            .existsMessage = SuchNameExistsMessage,
                            .write = CopyFileTo});
    });
}

void TForm7g::mn5Click()
{
    guarded([this] {
        releasePicture();
        moveCurrent(false);
    });
}

void TForm7g::mn6Click()
{
    guarded([this] {
        const QString current = model_.folder.current();
        if (!current.isEmpty() && FileExists(current))
            releasePicture();
        removeCurrent();
    });
}

// --- Rotation and wallpaper ------------------------------------------------------------------

void TForm7g::pG1Click()
{
    rotate(false);
}

void TForm7g::F1Click()
{
    rotate(true);
}

void TForm7g::rotate(bool left)
{
    guarded([this, left] {
        slideShow_->stop();
        const QString path = model_.folder.current();
        if (WithoutEncoder(path) && FileExists(path)) {
            platform_.messages.inform(this, QString::fromUtf8(NotTurnedMessage));
            return;
        }
        const QString mime = TurnMimeFor(path);
        if (path.isEmpty() || mime.isEmpty())
            return;
        releasePicture();
        ahead_.drop();
        try {
            RunOnePhoto([&](imaging::Progress &progress) { imaging::TurnFile(path, left, imaging::FindEncoderByMime(mime), &progress); },
                        TurnWatch(platform_.keys, [this](const QString &status) {
                            if (!status.isNull())
                                Label1->setText(status);
                        }));
        } catch (const imaging::WorkStopped &) {
            redraw();
            // Said before the path, which stays: the photo shown is still that file.
            Label1->setText(QString::fromUtf8(TurnStopped) + QStringLiteral("   ") + path);
            return;
        } catch (const FileError &) {
            // A photo that could not be turned is left as it was, and the user is told why;
            // one that is gone is shown as gone, as the display shows any missing entry.
            if (FileExists(path))
                throw;
        }
        redraw();
    });
}

void TForm7g::Panel1Click()
{
    guarded([this] {
        const QString path = model_.folder.current();
        if (path.isEmpty() || !FileExists(path)) {
            platform_.messages.inform(this, QLatin1String(NoFileMessage));
            return;
        }
        if (!platform_.wallpaper.set(path))
            platform_.messages.inform(this, QLatin1String(WallpaperFailedMessage));
    });
}

// --- Other windows ---------------------------------------------------------------------------

void TForm7g::handOver()
{
    slideShow_->stop();
    releasePicture();
    ahead_.drop();  // the other window may rewrite what was decoded
}

void TForm7g::Panel8Click()
{
    handOver();
    emit presurveyRequested();
}

void TForm7g::mn7Click()
{
    handOver();
    emit compressRequested();
}

void TForm7g::mn8Click()
{
    handOver();
    emit transformRequested();
}

void TForm7g::mn10Click()
{
    handOver();
    emit scaleRequested();
}

void TForm7g::runViewerKey(ViewerKey key)
{
    switch (key) {
    case ViewerKey::Copy:
        if (mn4->isEnabled())
            mn4Click();
        break;
    case ViewerKey::TurnRight:
        if (pG1->isEnabled())
            pG1Click();
        break;
    case ViewerKey::TurnLeft:
        if (pG1->isEnabled())
            F1Click();
        break;
    default: break;
    }
}

void TForm7g::closeEvent(QCloseEvent *event)
{
    releasePicture();
    ViewerWindow::closeEvent(event);
    emit closed();
}

}  // namespace veilshot
