#pragma once
// The platform layer: the services the windows need from the desktop, each an interface with
// a Linux implementation (linuxplatform.h) and a scripted stand-in for tests
// (scriptedplatform.h). Windows reach the desktop only through these, so every flow runs
// headless under test.

#include <QMargins>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

class QMimeData;
class QWidget;

namespace veilshot::platform {

// What a file dialog is asked for. `filter` is written as pairs "description|patterns", the
// pairs separated by "|" too ("Text files|*.txt|Text files|*.TXT"); patterns are split by ";".
struct DialogRequest {
    QString title;
    QString startFolder;
    QString proposedName;
    QString filter;
    QString defaultSuffix;  // added to a typed name without one ("txt")
    // The name asked for is a new folder's: an existing folder's name is returned, not entered.
    bool newFolder = false;
};

// One choice of a dialog's file types: the text shown ("Photos (*.jpg *.png)") and its patterns.
struct FilterChoice {
    QString label;
    QStringList patterns;
    friend bool operator==(const FilterChoice &, const FilterChoice &) = default;
};
// The choices of a "description|patterns|..." filter, in order.
QList<FilterChoice> FilterChoices(const QString &filter);

// Qt's filter string for a "description|patterns|..." filter.
QString QtFilter(const QString &filter);

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    virtual std::optional<QString> openFile(QWidget *parent, const DialogRequest &request) = 0;
    // Several files, in the order picked; empty when cancelled.
    virtual QStringList openFiles(QWidget *parent, const DialogRequest &request) = 0;
    virtual std::optional<QString> saveFile(QWidget *parent, const DialogRequest &request) = 0;
};

// Modal message boxes with a text and an OK button, and questions with Yes and No.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual void inform(QWidget *parent, const QString &text) = 0;
    // True for Yes. No is the default: Enter, Escape and closing the box answer No.
    virtual bool ask(QWidget *parent, const QString &text) = 0;
};

// Whether a key is held down now; long runs read it between their items.
class KeyState {
public:
    virtual ~KeyState() = default;
    virtual bool isDown(int qtKey) const = 0;  // Qt::Key_Control, Qt::Key_S, ...
};

// Keeps the screen from blanking while a slide show plays, and only then.
class KeepAwake {
public:
    virtual ~KeepAwake() = default;
    virtual void setPlaying(bool playing) = 0;
    // The periodic tick: where no inhibition could be held, reports user activity instead.
    virtual void tick() = 0;
};

class Wallpaper {
public:
    virtual ~Wallpaper() = default;
    // False when no method this desktop offers worked.
    virtual bool set(const QString &path) = 0;
};

class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual bool open(const QUrl &url) = 0;
};

class WindowServices {
public:
    virtual ~WindowServices() = default;
    virtual QSize screenSize(const QWidget *window) const = 0;
    // The frame the window manager has put around a top-level window, as it reports it; none
    // until it has framed the window, which may be well after the window is shown.
    virtual QMargins frame(const QWidget *window) const = 0;
    virtual bool isMaximized(const QWidget *window) const = 0;
    virtual void setTopmost(QWidget *window, bool topmost) = 0;
    // Borderless, topmost and covering the screen; and back to a framed window at `restore`.
    virtual void enterFullScreen(QWidget *window) = 0;
    virtual void leaveFullScreen(QWidget *window, const QRect &restore) = 0;
    // The mouse pointer, in screen coordinates. Moving it may do nothing where the window
    // system does not let programs move it (Wayland).
    virtual QPoint pointer() const = 0;
    virtual void movePointer(QPoint to) = 0;
    // Whether the window system tells a program that its window was minimised: X11 does;
    // Wayland's xdg-shell never does, and there a window that stops being drawn is reported
    // only as no longer exposed (where Qt notices that the compositor stopped asking for frames).
    virtual bool tellsMinimised() const = 0;
};

// Tells when deciphered pictures must leave the screen: the session was locked or the screen
// saver started.
class SessionWatch : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void locked();
};

// The services, handed to each window in its constructor.
struct Platform {
    FileDialogs &dialogs;
    MessageBoxes &messages;
    KeyState &keys;
    KeepAwake &keepAwake;
    Wallpaper &wallpaper;
    UrlOpener &urls;
    WindowServices &windows;
    SessionWatch &session;
};

// The hourglass for the time of a command (or a run), put back however it ends.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// The frame around a top-level window as the window system has it now (none before the window
// manager has framed the window).
QMargins WindowFrame(const QWidget *window);

// Runs one command: an exception ends the command and its message is shown; the program goes
// on. Nothing escapes into Qt's event loop.
void RunGuarded(MessageBoxes &messages, QWidget *parent, const std::function<void()> &command) noexcept;

// Runs `write`, which makes the file `target` and never replaces one: when `target` exists
// already, or appears before it is written (TargetExistsError), the user is told
// `existsMessage` instead. Other errors pass on.
void WriteNew(MessageBoxes &messages, QWidget *parent, const QString &target, const QString &existsMessage,
              const std::function<void()> &write);

// The local files of a drop, in the order given.
QStringList DroppedFiles(const QMimeData *data);

// The web address that "Visit Web Site" opens.
QUrl ProjectAddress();

// One way of setting the wallpaper: a program and its arguments, run without a shell.
struct Command {
    QString program;
    QStringList arguments;
    friend bool operator==(const Command &, const Command &) = default;
};
// The ways of setting `path` as the wallpaper on `desktop` (XDG_CURRENT_DESKTOP), in the order
// to try; a way works when all its commands succeed. XFCE's way needs the names of its
// monitor properties (`xfconf-query -c xfce4-desktop -l`).
QList<QList<Command>> WallpaperMethods(const QString &path, const QString &desktop,
                                       const QStringList &xfceProperties = {});

}  // namespace veilshot::platform
