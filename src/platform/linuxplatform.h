#pragma once
// The platform services on a Linux desktop (X11 or Wayland).

#include "platform/platform.h"
#include "platform/sessionwatch.h"

#include <QObject>
#include <QSet>
#include <QVariant>

#include <memory>
#include <thread>

namespace veilshot::platform {

// The program's own open dialogs and Qt's save dialog, never the desktop's, so no "recently
// used" list records the names of private files; and Qt's own record of its dialog (its history
// and last folder) is never written: nothing under the user's config folder, not even for a
// moment.
class LinuxFileDialogs final : public FileDialogs {
public:
    LinuxFileDialogs();
    std::optional<QString> openFile(QWidget *parent, const DialogRequest &request) override;
    QStringList openFiles(QWidget *parent, const DialogRequest &request) override;
    std::optional<QString> saveFile(QWidget *parent, const DialogRequest &request) override;
};

class LinuxMessageBoxes final : public MessageBoxes {
public:
    void inform(QWidget *parent, const QString &text) override;
    bool ask(QWidget *parent, const QString &text) override;
};

// Ctrl and the other modifiers are asked of the window system; other keys are followed
// through the key events the application sees.
class LinuxKeyState final : public QObject, public KeyState {
public:
    LinuxKeyState();
    bool isDown(int qtKey) const override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QSet<int> down_;
};

// org.freedesktop.ScreenSaver's inhibition while a slide show plays; where the session offers
// none, the tick reports user activity (SimulateUserActivity, else xdg-screensaver reset).
class LinuxKeepAwake final : public KeepAwake {
public:
    ~LinuxKeepAwake() override;
    void setPlaying(bool playing) override;
    void tick() override;

private:
    bool playing_ = false;
    std::optional<uint> cookie_;
};

class LinuxWallpaper final : public Wallpaper {
public:
    bool set(const QString &path) override;
};

class LinuxUrlOpener final : public UrlOpener {
public:
    bool open(const QUrl &url) override;
};

class LinuxWindowServices final : public WindowServices {
public:
    QSize screenSize(const QWidget *window) const override;
    QMargins frame(const QWidget *window) const override;
    bool isMaximized(const QWidget *window) const override;
    void setTopmost(QWidget *window, bool topmost) override;
    void enterFullScreen(QWidget *window) override;
    void leaveFullScreen(QWidget *window, const QRect &restore) override;
    QPoint pointer() const override;
    void movePointer(QPoint to) override;
    bool tellsMinimised() const override;
};

// All of them, owned together.
class LinuxPlatform {
public:
    LinuxPlatform();
    ~LinuxPlatform();
    LinuxPlatform(const LinuxPlatform &) = delete;
    LinuxPlatform &operator=(const LinuxPlatform &) = delete;
    Platform &platform() { return platform_; }

private:
    LinuxFileDialogs dialogs_;
    LinuxMessageBoxes messages_;
    LinuxKeyState keys_;
    LinuxKeepAwake keepAwake_;
    LinuxWallpaper wallpaper_;
    LinuxUrlOpener urls_;
    LinuxWindowServices windows_;
    DBusSessionWatch session_;
    Platform platform_;
    std::thread listening_;  // connects the session watch to the buses, beside start-up
};

}  // namespace veilshot::platform
