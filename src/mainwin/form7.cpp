#include "form7.h"

#include "fileio.h"
#include "fileoperations.h"
#include "folderlisting.h"
#include "form2.h"
#include "imaging.h"
#include "mainrules.h"
#include "panelbutton.h"
#include "platform.h"
#include "sharedstate.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTimer>

namespace veilshot {

namespace {

constexpr int ClientWidth = 758;
constexpr int ClientHeight = 515;
constexpr int BarHeight = 25;
constexpr int BelowPicture = ClientHeight - 473;  // the bar and the labels under the picture
constexpr int StripNarrow = 48;
constexpr int StripWide = 257;
constexpr auto OpenFilter = "Зашифрованное фото (*.veil)|*.veil";

bool IsVeil(const QString &path)
{
    return LowerExtension(path) == QLatin1String(".veil");
}

// The hourglass for the time of a command.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

TForm7::TForm7(SharedState &state, platform::Platform &platform, QWidget *parent)
    : QWidget(parent)
    , navigator(state.FileIndex, state.LastIndex)
    , state_(state)
    , platform_(platform)
{
    setObjectName(QStringLiteral("TForm7"));
    setWindowTitle(QStringLiteral("Veilshot"));
    setAcceptDrops(true);
    resize(ClientWidth, ClientHeight);
    setMinimumSize(630, 361);  // a window of 646 x 400 with its frame
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(24, 48, 48));
    setPalette(p);

    const QSize screen = platform_.windows.screenSize(this);
    state_.ScreenWidth = screen.width();
    state_.ScreenHeight = screen.height();
    move((screen.width() - ClientWidth) / 2, (screen.height() - ClientHeight) / 2);

    buildControls();
    layoutControls();
    qApp->installEventFilter(this);
}

TForm7::~TForm7()
{
    qApp->removeEventFilter(this);
    platform_.keepAwake.setPlaying(false);
}

void TForm7::buildControls()
{
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette area = Panel1->palette();
    area.setColor(QPalette::Window, FromColourValue(4671267));
    Panel1->setPalette(area);

    Image1 = new QLabel(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setScaledContents(true);

    Panel13 = new QFrame(Panel1);
    Panel13->setObjectName(QStringLiteral("Panel13"));
    Panel13->setAutoFillBackground(true);
    QPalette strip = Panel13->palette();
    strip.setColor(QPalette::Window, FromColourValue(13425920));
    Panel13->setPalette(strip);
    ProgressBar1 = new QProgressBar(Panel13);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    Panel13->hide();

    for (QWidget *area : {static_cast<QWidget *>(Panel1), static_cast<QWidget *>(Image1)}) {
        area->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(area, &QWidget::customContextMenuRequested, this,
                [this, area](const QPoint &at) { PopupMenu1->popup(area->mapToGlobal(at)); });
    }

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setAutoFillBackground(true);
    QPalette bar = Panel2->palette();
    bar.setColor(QPalette::Window, FromColourValue(StateOff));
    Panel2->setPalette(bar);
    QFont barFont(QStringLiteral("Sans Serif"));
    barFont.setPointSize(10);
    Panel2->setFont(barFont);

    auto button = [this](const char *name, const char *caption, const char *hint, int x, int width,
                         void (TForm7::*handler)()) {
        auto *panel = new PanelButton(QLatin1String(name), QString::fromUtf8(caption), Panel2);
        panel->setGeometry(x, 0, width, BarHeight);
        panel->setColour(FromColourValue(StateOff));
        if (hint)
            panel->setToolTip(QString::fromUtf8(hint));
        connect(panel, &PanelButton::clicked, this, [this, handler] { (this->*handler)(); });
        return panel;
    };
    // Left to right; the radio strip, when wide, lies over the buttons up to Stop.
    Panel11 = button("Panel11", "< >", "Press a key 9", 0, 40, &TForm7::Panel11Click);
    // Stop ends where the wide strip does (40 + 257), so the strip hides it whole.
    Panel8 = button("Panel8", "Presurvey", "Press a key - Enter, the Blank", 88, 78, &TForm7::Panel8Click);
    Panel5 = button("Panel5", "Back", "Arrow to the left", 166, 66, &TForm7::Panel5Click);
    Panel4 = button("Panel4", "Stop", "Arrow downwards", 232, 65, &TForm7::Panel4Click);
    Panel3 = button("Panel3", "Forward", "Arrow to the right", 297, 80, &TForm7::Panel3Click);
    Panel6 = button("Panel6", " Open", nullptr, 377, 72, &TForm7::Panel6Click);
    Panel9 = button("Panel9", " Cipher", nullptr, 449, 72, &TForm7::Panel9Click);
    CheckBox2 = new QCheckBox(QStringLiteral("All"), Panel2);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setGeometry(521, 0, 41, BarHeight);
    Panel14 = button("Panel14", "Viewing", nullptr, 562, 64, &TForm7::Panel14Click);
    Panel2->resize(626, BarHeight);
    for (PanelButton *disabled : {Panel8, Panel5, Panel4, Panel3})
        disabled->setEnabled(false);

    Panel12 = new QFrame(Panel2);
    Panel12->setObjectName(QStringLiteral("Panel12"));
    Panel12->setGeometry(40, 0, StripNarrow, BarHeight);
    Panel12->setAutoFillBackground(true);
    Panel12->setPalette(bar);
    QFont stripFont = barFont;
    stripFont.setPointSize(8);  // "Man." fits the narrow strip
    Panel12->setFont(stripFont);
    const int radioX[] = {2, 50, 82, 114, 146, 178, 214};
    for (int i = 0; i < int(std::size(RadioChoices)); ++i) {
        auto *radio = new QRadioButton(QLatin1String(RadioChoices[i].caption), Panel12);
        radio->setObjectName(QLatin1String(RadioChoices[i].name));
        radio->setGeometry(radioX[i], 0, i == 0 ? 46 : 36, BarHeight);
        static const char *hints[] = {"Press a key 8", "Press a key 1", "Press a key 2", "Press a key 3",
                                      "Press a key 5", "Press a key 6", "Press a key 7"};
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
    auto item = [this](const char *name, const char *caption, bool enabled, void (TForm7::*handler)()) {
        QAction *action = PopupMenu1->addAction(QString::fromUtf8(caption));
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
        return action;
    };
    // Back, Stop and Forward act only while their buttons are enabled.
    mN1 = item("mN1", "Back - Arrow to the left ", false, &TForm7::Panel5Click);
    mN2 = item("mN2", "Stop - Arrow downwards", false, &TForm7::Panel4Click);
    mN3 = item("mN3", "Forward - Arrow to the right", false, &TForm7::Panel3Click);
    mN4 = item("mN4", "Copy - Arrow upwards", false, &TForm7::mN4Click);
    mN5 = item("mN5", "To move a file", false, &TForm7::mN5Click);
    mN6 = item("mN6", "To remove a file", false, &TForm7::mN6Click);
    mN7 = item("mN7", "To decode all", false, &TForm7::mN7Click);
    mn8 = item("mn8", "Code", true, &TForm7::mn8Click);
    mn9 = item("mn9", "Help", true, &TForm7::mn9Click);
    Exit1 = item("Exit1", "Exit", true, &TForm7::Exit1Click);
    disconnect(mN1, nullptr, this, nullptr);
    disconnect(mN2, nullptr, this, nullptr);
    disconnect(mN3, nullptr, this, nullptr);
    connect(mN1, &QAction::triggered, Panel5, &PanelButton::click);
    connect(mN2, &QAction::triggered, Panel4, &PanelButton::click);
    connect(mN3, &QAction::triggered, Panel3, &PanelButton::click);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &TForm7::Timer1Timer);
    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(50000);
    connect(Timer2, &QTimer::timeout, this, &TForm7::Timer2Timer);
    Timer2->start();
}

void TForm7::layoutControls()
{
    const int w = width(), h = height();
    Panel1->setGeometry(0, 0, w, FullScreen ? h : std::max(0, h - BelowPicture));
    Panel13->setGeometry(8, std::max(0, Panel1->height() - 28), std::max(0, Panel1->width() - 16), 20);
    ProgressBar1->setGeometry(0, 0, Panel13->width(), Panel13->height());
    Panel2->move(Panel2->x(), h - BelowPicture + 2);
    Label1->setGeometry(4, h - 15, w * 2 / 3, 15);
    Label2->setGeometry(w * 2 / 3, h - 15, w - w * 2 / 3 - 4, 15);
    Image1->setGeometry(FitPicture(PictureRatio, Panel1->size()));
    centreBar();
}

void TForm7::centreBar()
{
    if (Panel2->width() < Panel1->width())
        Panel2->move((Panel1->width() - Panel2->width()) / 2, Panel2->y());
}

void TForm7::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

void TForm7::closeEvent(QCloseEvent *event)
{
    // A run in progress is not left to go on unseen: it stops after the file in hand, and the
    // window closes when it has ended.
    if (state_.RunInProgress) {
        closeAfterRun_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TForm7::guarded(const std::function<void()> &command)
{
    platform::RunGuarded(platform_.messages, this, command);
}

void TForm7::applyColours(ColourSet colours)
{
    Panel3->setColour(FromColourValue(colours == ColourSet::PlayingForward ? StateOn : StateOff));
    Panel4->setColour(FromColourValue(colours == ColourSet::Stopped ? StateOn : StateOff));
    Panel5->setColour(FromColourValue(colours == ColourSet::PlayingBackward ? StateOn : StateOff));
}

void TForm7::applyEffect(const Navigator::Effect &effect)
{
    if (effect.interval) {
        Timer1->setInterval(*effect.interval);
        if (Timer1->isActive())
            Timer1->start();  // the countdown starts afresh
    }
    if (effect.timer) {
        if (*effect.timer)
            Timer1->start();
        else
            Timer1->stop();
    }
    if (effect.colours)
        applyColours(*effect.colours);
    platform_.keepAwake.setPlaying(Timer1->isActive());
    if (effect.show)
        guarded([this] { ipl(); });
}

// --- Showing ---------------------------------------------------------------------------------

void TForm7::ipl()
{
    QCoreApplication::processEvents();
    Label2->setText(QString::number(state_.FileIndex));
    const bool inList = state_.FileIndex >= 0 && state_.FileIndex <= state_.LastIndex &&
                        state_.FileIndex < state_.FileList.size();
    const QString path = inList ? state_.FileList[state_.FileIndex] : QString();
    if (!inList || !QFileInfo(path).isFile()) {
        Label1->setText(QLatin1String(NoFileText));
        return;
    }
    const auto body = state_.engine.DecipherFile(LocalPath(path));
    if (!body) {
        Label1->setText(QLatin1String(OtherCodeText));
        return;
    }
    // Decoded for the screen, so full screen stays sharp without decoding every pixel.
    const imaging::Picture picture =
        imaging::DecodeMemory(body->bytes(), path, QSize(state_.ScreenWidth, state_.ScreenHeight));
    if (!picture.ok())
        throw FileError(picture.error.toStdString());
    imaging::Show(*Image1, picture.image);
    PhotoShown = true;
    Label1->setText(path);
    PictureSize = picture.image.size();
    PictureRatio = double(PictureSize.width()) / double(PictureSize.height());
    Image1->setGeometry(FitPicture(PictureRatio, Panel1->size()));
}

// --- Opening ---------------------------------------------------------------------------------

void TForm7::showCodeWindow()
{
    TForm2 code(state_.engine, platform_, this);
    code.exec();
}

void TForm7::Panel6Click()
{
    guarded([this] { open(); });
}

bool TForm7::readyWithCode()
{
    if (state_.RunInProgress)
        return false;
    if (!state_.engine.CodeEntered()) {
        showCodeWindow();
        return false;
    }
    stopForCommand();
    return true;
}

void TForm7::open()
{
    if (!readyWithCode())
        return;

    QString path;
    if (dropped_) {
        path = DroppedPath;
        dropped_ = false;
        navigator.PlayBackward = false;
    } else {
        const auto chosen =
            platform_.dialogs.openFile(this, {.title = QStringLiteral("Open"), .filter = QString::fromUtf8(OpenFilter)});
        if (!chosen)
            return;
        navigator.PlayBackward = false;
        path = *chosen;
        if (!QFileInfo::exists(path)) {
            platform_.messages.inform(this, QLatin1String(NotPresentMessage));
            return;
        }
    }

    {
        WaitCursor wait;
        FolderList list = GatherFolder(path, IsVeil);
        state_.FileList = std::move(list.paths);
        state_.LastIndex = int(state_.FileList.size()) - 1;
        state_.FileIndex = list.index;
    }
    guarded([this] { ipl(); });  // a picture that cannot be shown still leaves the folder open

    for (QAction *action : {mN4, mN5, mN6, mN7})
        action->setEnabled(true);
    const bool several = state_.LastIndex != 0;
    for (PanelButton *panel : {Panel3, Panel4, Panel5, Panel8})
        panel->setEnabled(several);
    if (several) {
        state_.PagingOn = false;
        state_.LoadStopped = false;
        for (QAction *action : {mN1, mN2, mN3})
            action->setEnabled(true);
    }
    applyEffect(navigator.opened(int(state_.FileList.size())));
    if (state_.PreviewKept) {
        state_.PreviewKept = false;
        if (closePreview)
            closePreview();
    }
}

void TForm7::stopForCommand()
{
    activateWindow();
    Timer1->stop();
    applyColours(ColourSet::Stopped);
    platform_.keepAwake.setPlaying(false);
}

void TForm7::DropFiles(const QStringList &files)
{
    dropped_ = false;
    DroppedPath.clear();
    activateWindow();
    if (files.isEmpty())
        return;
    const QString first = files.constFirst();
    if (QFileInfo(first).isFile() && IsVeil(first)) {
        DroppedPath = first;
        dropped_ = true;
        Panel6Click();
    }
}

void TForm7::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm7::dropEvent(QDropEvent *event)
{
    const QStringList files = platform::DroppedFiles(event->mimeData());
    event->acceptProposedAction();
    // Run the open after the drop has finished, outside the drag's own event loop.
    QTimer::singleShot(0, this, [this, files] { DropFiles(files); });
}

// --- Navigation ------------------------------------------------------------------------------

void TForm7::Panel3Click()
{
    applyEffect(navigator.forward(Timer1->isActive()));
}

void TForm7::Panel4Click()
{
    applyEffect(navigator.stop());
}

void TForm7::Panel5Click()
{
    applyEffect(navigator.back(Timer1->isActive()));
}

void TForm7::Timer1Timer()
{
    applyEffect(navigator.timerFired());
}

void TForm7::Timer2Timer()
{
    platform_.keepAwake.tick();
}

void TForm7::RadioButtonClick(int choice)
{
    const int interval = RadioChoices[choice].interval;
    applyEffect(interval == 0 ? navigator.chooseManual() : navigator.chooseInterval(interval));
}

void TForm7::Panel11Click()
{
    Panel12->resize(Panel12->width() < StripNarrow + 1 ? StripWide : StripNarrow, Panel12->height());
}

// --- Windows ---------------------------------------------------------------------------------

void TForm7::Panel8Click()
{
    Panel4Click();
    if (FullScreen)
        platform_.windows.setTopmost(this, false);
    if (openPresurvey)
        guarded(openPresurvey);
}

void TForm7::Panel14Click()
{
    Panel4Click();
    if (openViewing)
        guarded(openViewing);
}

void TForm7::mn8Click()
{
    Panel4Click();
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

void TForm7::ToggleFullScreen()
{
    if (!PhotoShown)
        return;
    if (!FullScreen && !platform_.windows.isMaximized(this)) {
        Panel2->hide();
        Label1->hide();
        Label2->hide();
        savedPanel1_ = Panel1->size();
        savedGeometry_ = geometry();
        FullScreen = true;
        platform_.windows.enterFullScreen(this);
    } else if (FullScreen) {
        FullScreen = false;
        platform_.windows.leaveFullScreen(this, savedGeometry_);
        Panel1->resize(savedPanel1_);
        Panel2->show();
        Label1->show();
        Label2->show();
    }
    layoutControls();
    setAcceptDrops(true);
}

// --- Keys ------------------------------------------------------------------------------------

bool TForm7::runKey(MainKey key)
{
    switch (key) {
    case MainKey::None: return false;
    case MainKey::Forward: Panel3->click(); break;
    case MainKey::Back: Panel5->click(); break;
    case MainKey::Stop: Panel4->click(); break;
    case MainKey::Copy:
        if (mN4->isEnabled())
            mN4Click();
        break;
    case MainKey::FullScreen: ToggleFullScreen(); break;
    case MainKey::Presurvey: Panel8->click(); break;
    case MainKey::ToggleStrip: Panel11Click(); break;
    case MainKey::Exit: close(); break;
    default: {
        QRadioButton *radio = radios_[RadioIndexFor(key)];
        if (!FullScreen && radio->isEnabled()) {
            radio->setChecked(true);
            radio->setFocus();
        }
        break;
    }
    }
    return true;
}

bool TForm7::eventFilter(QObject *watched, QEvent *event)
{
    const auto *widget = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::KeyPress && widget && widget->window() == this) {
        const auto *key = static_cast<QKeyEvent *>(event);
        return runKey(MainKeyFor(key->key(), key->modifiers() & Qt::KeypadModifier, key->nativeScanCode()));
    }
    if (event->type() == QEvent::MouseButtonDblClick && (watched == Panel1 || watched == Image1)) {
        ToggleFullScreen();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace veilshot
