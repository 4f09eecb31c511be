#include "mainwin/mainwindow.h"

#include "cipher/cipherengine.h"
#include "codewin/codewindow.h"
#include "files/fileio.h"
#include "files/fileoperations.h"
#include "files/folderlisting.h"
#include "files/localpath.h"
#include "imaging/imaging.h"
#include "platform/platform.h"
#include "viewer/decipheredcopy.h"
#include "viewer/offthread.h"
#include "viewer/panelbutton.h"
#include "viewer/texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>

#include <memory>
#include <utility>

namespace veilshot {

namespace {

bool IsVeil(const QString &path)
{
    return LowerExtension(path) == QLatin1String(".veil");
}

ViewerLayout MainLayout()
{
    return {.viewer = Viewer::Ciphered,
            .objectName = QStringLiteral("TForm7"),
            .caption = QStringLiteral("Veilshot"),
            .minimumClient = {630, 361},  // a window of 646 x 400 with its frame
            .areaName = QStringLiteral("Panel1"),
            .areaColour = 4671267,
            .belowPicture = 515 - 473,
            .barWidth = 626,
            .centring = Centring::RoundedSize,
            .openFilter = QString::fromUtf8(CipheredFilter),
            .accepts = IsVeil};
}

}  // namespace

TForm7::TForm7(MainModel &model, cipher::CipherEngine &engine, platform::Platform &platform, QWidget *parent)
    : ViewerWindow(model, platform, MainLayout(), platform.windows.screenSize(nullptr), parent)
    , main_(model)
    , engine_(engine)
{
    Panel13 = new QFrame(pictureArea_);
    Panel13->setObjectName(QStringLiteral("Panel13"));
    PaintBackground(Panel13, FromColourValue(13425920));
    ProgressBar1 = new QProgressBar(Panel13);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    Panel13->hide();

    connect(Panel8, &PanelButton::clicked, this, &TForm7::Panel8Click);
    Panel6 = addBarButton("Panel6", " Open", nullptr, SharedBarWidth, 72, [this] { Panel6Click(); });
    Panel9 = addBarButton("Panel9", " Cipher", nullptr, 449, 72, [this] { Panel9Click(); });
    CheckBox2 = new QCheckBox(QStringLiteral("All"), Panel2);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(521, 0, 41, BarHeight);
    Panel14 = addBarButton("Panel14", "Viewing", nullptr, 562, 64, [this] { Panel14Click(); });
    Panel12->raise();

    // Back, Stop and Forward act only while their buttons are enabled.
    mN1 = addMenuItem("mN1", "Back - Arrow to the left ", false, [this] { Panel5->click(); });
    mN2 = addMenuItem("mN2", "Stop - Arrow downwards", false, [this] { Panel4->click(); });
    mN3 = addMenuItem("mN3", "Forward - Arrow to the right", false, [this] { Panel3->click(); });
    mN4 = addMenuItem("mN4", "Copy - Arrow upwards", false, [this] { mN4Click(); });
    mN5 = addMenuItem("mN5", "To move a file", false, [this] { mN5Click(); });
    mN6 = addMenuItem("mN6", "To remove a file", false, [this] { mN6Click(); });
    mN7 = addMenuItem("mN7", "To decode all", false, [this] { mN7Click(); });
    mn8 = addMenuItem("mn8", "Code", true, [this] { mn8Click(); });
    mn9 = addMenuItem("mn9", "Help", true, [this] { mn9Click(); });
    Exit1 = addMenuItem("Exit1", "Exit", true, [this] { Exit1Click(); });
    PopupMenu1->addSeparator();
    keyedFormat_ = addMenuItem("keyedFormat", KeyedFormatItem, true, [this] { setKeyedFormat(keyedFormat_->isChecked()); });
    keyedFormat_->setCheckable(true);
    formatStatus_ = new QLabel(QLatin1String(KeyedFormatStatus), this);
    formatStatus_->setObjectName(QStringLiteral("formatStatus"));
    formatStatus_->setStyleSheet(Label2->styleSheet());
    formatStatus_->setFont(Label2->font());
    formatStatus_->setPalette(Label2->palette());
    formatStatus_->hide();
    setKeyedFormat(engine_.writeFormat() == cipher::Format::Keyed);

    // A locked session or a minimised window takes deciphered pictures off the screen.
    connect(&platform_.session, &platform::SessionWatch::locked, this, &TForm7::hideDeciphered);

    // Under Wayland, Qt notices that the window is out of sight (unexposed) only when the
    // compositor stops answering for a frame it drew: while a deciphered picture is shown, a
    // pixel is drawn again every second so that it asks.
    if (!platform_.windows.tellsMinimised()) {
        auto *sightCheck = new QTimer(this);
        sightCheck->setObjectName(QStringLiteral("sightCheck"));
        connect(sightCheck, &QTimer::timeout, this, [this] {
            if (photo_.held())
                pictureArea_->update(QRect(0, 0, 1, 1));
        });
        sightCheck->start(1000);
    }

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(50000);
    connect(Timer2, &QTimer::timeout, this, &TForm7::Timer2Timer);
    Timer2->start();
}

TForm7::~TForm7() = default;

void TForm7::resizeEvent(QResizeEvent *event)
{
    ViewerWindow::resizeEvent(event);
    Panel13->setGeometry(8, std::max(0, pictureArea_->height() - 28), std::max(0, pictureArea_->width() - 16), 20);
    ProgressBar1->setGeometry(0, 0, Panel13->width(), Panel13->height());
    fitPicture(FitPicture(PictureRatio, pictureArea_->size()));
    formatStatus_->setGeometry(Label2->geometry());
    formatStatus_->setVisible(engine_.writeFormat() == cipher::Format::Keyed && !FullScreen);
}

void TForm7::changeEvent(QEvent *event)
{
    ViewerWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        hideDeciphered();
}

void TForm7::unexposed()
{
    hideDeciphered();
}

void TForm7::hideDeciphered()
{
    Panel4Click();
    // Full screen is left first: a blank, borderless window over the whole screen would leave
    // the user nothing to press.
    if (FullScreen)
        toggleFullScreen();
    photo_.forget();  // the deciphered pixels and those prepared around them, wiped as they go
    emit previewOutdated();  // a kept grid of deciphered thumbnails goes too
}

void TForm7::setKeyedFormat(bool keyed)
{
    engine_.setWriteFormat(keyed ? cipher::Format::Keyed : cipher::Format::Sealed);
    keyedFormat_->setChecked(keyed);
    // The first time it is turned on, the status line says what the older format costs.
    formatStatus_->setText(QLatin1String(keyed && !keyedFormatWarned_ ? KeyedFormatWarning : KeyedFormatStatus));
    keyedFormatWarned_ = keyedFormatWarned_ || keyed;
    formatStatus_->setVisible(keyed && !FullScreen);
}

void TForm7::closeEvent(QCloseEvent *event)
{
    // A run in progress is not left to go on unseen: it stops after the file in hand, and the
    // window closes when it has ended.
    if (model_.runInProgress) {
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    ViewerWindow::closeEvent(event);
}

void TForm7::setViewingAvailable(bool available)
{
    Panel9->setEnabled(available);
    Panel14->setEnabled(available);
}

// --- Showing ---------------------------------------------------------------------------------

void TForm7::showCurrent()
{
    QCoreApplication::processEvents();
    Label2->setText(QString::number(model_.folder.index()));
    const QString path = model_.folder.current();
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        Label1->setText(QLatin1String(NoFileText));
        return;
    }
    // What is on its way for it (its key stretched, deciphered and decoded on the worker), and
    // what is not prepared at all, are waited for with the window painting: the window's thread
    // never waits for a stretch.
    std::optional<Prepared> prepared = takePrepared(path);
    if (model_.folder.current() != path)
        return;  // a step of the slide show was shown meanwhile
    if (!prepared) {
        prepared = ahead_.decodeNow(path, [this](const QString &file) {
            Prepared made;
            waitForPhoto([&] { made = DecipherPicture(engine_, file, screen_); });
            return made;
        });
        if (model_.folder.current() != path)
            return;
    }
    // The ones around it are deciphered meanwhile.
    prepareAround(decodeAhead());
    // What the window shows and what its commands act on stay one file: a file that cannot be
    // shown leaves the picture area empty.
    if (prepared->refusal != cipher::Refusal::None) {
        clearPicture();
        Label1->setText(QLatin1String(RefusalStatusText(prepared->refusal)));
        return;
    }
    const imaging::Picture &picture = prepared->picture;
    if (!picture.ok()) {
        clearPicture();
        Label1->setText(path);
        throw FileError(picture.error.toStdString());
    }
    PictureSize = picture.image.size();
    PictureRatio = double(PictureSize.width()) / double(PictureSize.height());
    showPicture(path, *prepared, FitPicture(PictureRatio, pictureArea_->size()));
    PhotoShown = true;
    Label1->setText(path);
}

// --- Opening ---------------------------------------------------------------------------------

DecodeAhead::Decode TForm7::decodeAhead()
{
    // A copy of the key table, made once for each code; the keys stretched from the code are
    // shared with it.
    if (!aheadEngine_)
        aheadEngine_ = engine_.copy();
    return [engine = aheadEngine_, screen = screen_](const QString &file) { return DecipherPicture(*engine, file, screen); };
}

void TForm7::opening(const QString &path)
{
    // Its key stretched, deciphered and decoded on the worker while the folder is listed.
    ahead_.prepare(QString(), {path}, decodeAhead());
}

void TForm7::positionListed()
{
    Label2->setText(QString::number(model_.folder.index()));
    // Nothing is deciphered ahead of a picture taken away meanwhile (the session locked).
    if (PhotoShown)
        prepareAround(decodeAhead());
}

void TForm7::showCodeWindow()
{
    TForm2 code(engine_, platform_, this);
    code.exec();
    ahead_.drop();  // prepared under the code that was in force
    aheadEngine_.reset();
}

void TForm7::Panel6Click()
{
    guarded([this] { open(); });
}

bool TForm7::readyToOpen()
{
    if (model_.runInProgress)
        return false;
    if (!engine_.CodeEntered()) {
        // The file waiting for the code is read while the code is typed.
        if (model_.drop.dropped)
            ReadAhead(LocalPath(model_.drop.DroppedPath));
        showCodeWindow();
        return false;
    }
    return true;
}

void TForm7::enableAfterOpen(bool several)
{
    for (QAction *action : {mN4, mN5, mN6, mN7})
        action->setEnabled(true);
    if (several) {
        for (QAction *action : {mN1, mN2, mN3})
            action->setEnabled(true);
    }
}

// --- Windows ---------------------------------------------------------------------------------

void TForm7::Panel8Click()
{
    slideShow_->stop();
    if (FullScreen)
        platform_.windows.setTopmost(this, false);
    emit presurveyRequested();
}

void TForm7::Panel14Click()
{
    slideShow_->stop();
    emit viewingRequested();
}

void TForm7::mn8Click()
{
    slideShow_->stop();
    showCodeWindow();
}

void TForm7::mn9Click()
{
    TForm5 help(this);
    help.exec();
}

void TForm7::Exit1Click()
{
    close();
}

void TForm7::Timer2Timer()
{
    platform_.keepAwake.tick();
}

void TForm7::runViewerKey(ViewerKey key)
{
    if (key == ViewerKey::Copy && mN4->isEnabled())
        mN4Click();
}

}  // namespace veilshot
