#include "platform/linuxplatform.h"

#include "platform/folderdialog.h"
#include "platform/kindicons.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QGridLayout>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace veilshot::platform {

namespace {

// `icons` outlives the dialog.
void Prepare(QFileDialog &dialog, const DialogRequest &request, KindIcons &icons)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setWindowTitle(request.title);
    dialog.setHistory({});
    if (!request.startFolder.isEmpty())
        dialog.setDirectory(request.startFolder);
    if (!request.filter.isEmpty())
        dialog.setNameFilter(QtFilter(request.filter));
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.proposedName.isEmpty())
        dialog.selectFile(request.proposedName);
}

bool Run(const Command &command)
{
    QProcess process;
    process.start(command.program, command.arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QDBusInterface ScreenSaver()
{
    return QDBusInterface(QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("/org/freedesktop/ScreenSaver"),
                          QStringLiteral("org.freedesktop.ScreenSaver"), QDBusConnection::sessionBus());
}

// A save dialog that, asked for a new folder's name, hands back the name in its name field as
// it is, an existing folder's too, so the command can refuse that; Qt's own dialog would walk
// into the folder and offer the same name again inside it.
class SaveDialog final : public QFileDialog {
public:
    SaveDialog(QWidget *parent, bool newFolder) : QFileDialog(parent), newFolder_(newFolder) {}

    // The new folder's path when one was named, or empty.
    const QString &newFolder() const { return newFolderPath_; }

protected:
    void accept() override
    {
        // The name as the user sees it, whatever the list shows selected; "..", "." and a name
        // ending in "/" still move the dialog.
        const auto *edit = findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        const QString typed = edit ? edit->text().trimmed() : QString();
        if (newFolder_ && !typed.isEmpty() && typed != QLatin1String("..") && typed != QLatin1String(".") &&
            !typed.endsWith(QLatin1Char('/'))) {
            newFolderPath_ = QDir::cleanPath(directory().absoluteFilePath(typed));
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    bool newFolder_;
    QString newFolderPath_;
};

}  // namespace

// --- File dialogs ----------------------------------------------------------------------------

LinuxFileDialogs::LinuxFileDialogs()
{
    // Every QFileDialog, when destroyed, saves the folder it showed, its history, sidebar and
    // view into the user's "QtProject" settings (~/.config/QtProject.conf), creating the
    // folder if need be; Qt has no switch for it. The program keeps no settings of its own, so
    // the user's settings are looked for where nothing can ever be created: "/dev/null" is no
    // folder. The dialogs then start from Qt's defaults, and their save fails before a file or
    // a folder is made.
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

// The open dialogs are the program's own (platform/folderdialog.h): Qt's dialog did not answer
// for many seconds in a folder of 100,000 files.
std::optional<QString> LinuxFileDialogs::openFile(QWidget *parent, const DialogRequest &request)
{
    FolderDialog dialog(parent, request, false);
    if (dialog.exec() == QDialog::Accepted && !dialog.chosen().isEmpty())
        return dialog.chosen().constFirst();
    return std::nullopt;
}

QStringList LinuxFileDialogs::openFiles(QWidget *parent, const DialogRequest &request)
{
    FolderDialog dialog(parent, request, true);
    if (dialog.exec() == QDialog::Accepted)
        return dialog.chosen();
    return {};
}

std::optional<QString> LinuxFileDialogs::saveFile(QWidget *parent, const DialogRequest &request)
{
    std::optional<QString> chosen;
    {
        KindIcons icons;
        SaveDialog dialog(parent, request.newFolder);
        Prepare(dialog, request, icons);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The commands themselves decide what an existing name means.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() == QDialog::Accepted) {
            if (!dialog.newFolder().isEmpty())
                chosen = dialog.newFolder();
            else if (!dialog.selectedFiles().isEmpty())
                chosen = dialog.selectedFiles().constFirst();
        }
    }
    return chosen;
}

// --- Messages, keys --------------------------------------------------------------------------

namespace {

// A box of the program's own look: its title, the whole text, wide enough for the title however
// short the text ("There is no file."); a longer text widens the box as it needs.
void Prepare(QMessageBox &box, const QString &text, QMessageBox::StandardButtons buttons)
{
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(text);
    box.setStandardButtons(buttons);
    box.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(new QSpacerItem(260, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

void LinuxMessageBoxes::inform(QWidget *parent, const QString &text)
{
    QMessageBox box(parent);
    Prepare(box, text, QMessageBox::Ok);
    box.exec();
}

bool LinuxMessageBoxes::ask(QWidget *parent, const QString &text)
{
    QMessageBox box(parent);
    Prepare(box, text, QMessageBox::Yes | QMessageBox::No);
    box.setIcon(QMessageBox::Question);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

LinuxKeyState::LinuxKeyState()
{
    qApp->installEventFilter(this);
}

bool LinuxKeyState::isDown(int qtKey) const
{
    const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
    switch (qtKey) {
    case Qt::Key_Control: return modifiers & Qt::ControlModifier;
    case Qt::Key_Shift: return modifiers & Qt::ShiftModifier;
    case Qt::Key_Alt: return modifiers & Qt::AltModifier;
    default: return down_.contains(qtKey);
    }
}

bool LinuxKeyState::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat()) {
            if (event->type() == QEvent::KeyPress)
                down_.insert(key->key());
            else
                down_.remove(key->key());
        }
    } else if (event->type() == QEvent::ApplicationDeactivate) {
        down_.clear();  // a release outside the program is never seen
    }
    return QObject::eventFilter(watched, event);
}

// --- Keep awake ------------------------------------------------------------------------------

LinuxKeepAwake::~LinuxKeepAwake()
{
    setPlaying(false);
}

void LinuxKeepAwake::setPlaying(bool playing)
{
    if (playing == playing_)
        return;
    playing_ = playing;
    if (playing) {
        QDBusInterface screenSaver = ScreenSaver();
        if (screenSaver.isValid()) {
            const QDBusReply<uint> reply = screenSaver.call(QStringLiteral("Inhibit"), QStringLiteral("Veilshot"),
                                                            QStringLiteral("A slide show is playing"));
            if (reply.isValid())
                cookie_ = reply.value();
        }
    } else if (cookie_) {
        QDBusInterface screenSaver = ScreenSaver();
        if (screenSaver.isValid())
            screenSaver.call(QStringLiteral("UnInhibit"), *cookie_);
        cookie_.reset();
    }
}

void LinuxKeepAwake::tick()
{
    if (!playing_ || cookie_)
        return;
    QDBusInterface screenSaver = ScreenSaver();
    if (screenSaver.isValid() && screenSaver.call(QStringLiteral("SimulateUserActivity")).type() != QDBusMessage::ErrorMessage)
        return;
    QProcess::startDetached(QStringLiteral("xdg-screensaver"), {QStringLiteral("reset")});
}

// --- Wallpaper, URL, windows -----------------------------------------------------------------

bool LinuxWallpaper::set(const QString &path)
{
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    QStringList xfceProperties;
    if (desktop.contains(QLatin1String("xfce"), Qt::CaseInsensitive)) {
        QProcess list;
        list.start(QStringLiteral("xfconf-query"), {QStringLiteral("-c"), QStringLiteral("xfce4-desktop"), QStringLiteral("-l")});
        if (list.waitForFinished(5000))
            xfceProperties = QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    for (const QList<Command> &method : WallpaperMethods(path, desktop, xfceProperties)) {
        if (std::all_of(method.begin(), method.end(), Run))
            return true;
    }
    return false;
}

bool LinuxUrlOpener::open(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

QSize LinuxWindowServices::screenSize(const QWidget *window) const
{
    const QScreen *screen = window && window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->geometry().size() : QSize(1024, 768);
}

QMargins LinuxWindowServices::frame(const QWidget *window) const
{
    return WindowFrame(window);
}

QPoint LinuxWindowServices::pointer() const
{
    return QCursor::pos();
}

void LinuxWindowServices::movePointer(QPoint to)
{
    QCursor::setPos(to);
}

bool LinuxWindowServices::isMaximized(const QWidget *window) const
{
    return window->isMaximized();
}

void LinuxWindowServices::setTopmost(QWidget *window, bool topmost)
{
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    if (visible)
        window->show();  // a change of flags hides the window
}

void LinuxWindowServices::enterFullScreen(QWidget *window)
{
    window->setWindowFlag(Qt::FramelessWindowHint, true);
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    // The geometry serves where no window manager takes the full-screen request.
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        window->setGeometry(screen->geometry());
    window->showFullScreen();
}

void LinuxWindowServices::leaveFullScreen(QWidget *window, const QRect &restore)
{
    window->setWindowFlag(Qt::FramelessWindowHint, false);
    window->setWindowFlag(Qt::WindowStaysOnTopHint, false);
    window->showNormal();
    window->setGeometry(restore);
}

bool LinuxWindowServices::tellsMinimised() const
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

LinuxPlatform::LinuxPlatform()
    : platform_{dialogs_, messages_, keys_, keepAwake_, wallpaper_, urls_, windows_, session_}
    , listening_([this] { session_.listen(QDBusConnection::systemBus(), QDBusConnection::sessionBus()); })
{
}

LinuxPlatform::~LinuxPlatform()
{
    listening_.join();
}

}  // namespace veilshot::platform
