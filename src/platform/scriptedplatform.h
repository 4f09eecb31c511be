#pragma once
// Scripted stand-ins for the platform services: tests queue the answers of dialogs and keys
// and read back what the program showed and asked for.

#include "platform/platform.h"

#include <QList>
#include <QPointer>
#include <QHash>
#include <QQueue>
#include <QSet>

#include <functional>

namespace veilshot::platform {

class ScriptedFileDialogs final : public FileDialogs {
public:
    // Queued answers, taken in order. An empty list (or an empty queue) is Cancel.
    QQueue<QStringList> answers;
    QList<DialogRequest> requests;  // what each dialog was asked for

    std::optional<QString> openFile(QWidget *parent, const DialogRequest &request) override;
    QStringList openFiles(QWidget *parent, const DialogRequest &request) override;
    std::optional<QString> saveFile(QWidget *parent, const DialogRequest &request) override;

private:
    QStringList next(const DialogRequest &request);
};

class ScriptedMessageBoxes final : public MessageBoxes {
public:
    QStringList shown;
    QStringList asked;     // the questions, in the order asked
    QQueue<bool> answers;  // taken in order; when they run out, No
    // Runs as a question is asked, before it is answered: a test can act there as a user would.
    std::function<void(const QString &)> whileAsked;
    QList<QPointer<QWidget>> parents;  // the window each box was shown over
    void inform(QWidget *parent, const QString &text) override;
    bool ask(QWidget *parent, const QString &text) override;
};

class ScriptedKeyState final : public KeyState {
public:
    // Answers for successive reads of a key: each read takes the next; when the list runs
    // out, `held` answers.
    QHash<int, QQueue<bool>> reads;
    QSet<int> held;
    // Runs before each read, with the key asked for: long runs read keys between their items,
    // so a test can act there as a user would.
    std::function<void(int)> beforeRead;
    bool isDown(int qtKey) const override;
};

class ScriptedKeepAwake final : public KeepAwake {
public:
    bool playing = false;
    int ticks = 0;
    void setPlaying(bool p) override { playing = p; }
    void tick() override { ++ticks; }
};

class ScriptedWallpaper final : public Wallpaper {
public:
    QStringList applied;  // the paths set as wallpaper
    bool works = true;
    bool set(const QString &path) override;
};

class ScriptedUrlOpener final : public UrlOpener {
public:
    QList<QUrl> opened;
    bool open(const QUrl &url) override;
};

class ScriptedWindowServices final : public WindowServices {
public:
    QSize screen{1280, 800};
    bool maximized = false;
    QList<bool> topmostCalls;
    QPoint pointerAt;  // where the pointer is, in screen coordinates
    bool minimiseTold = true;  // false: as under Wayland

    // What the window manager reports of every window's frame; by default the frame the window
    // system has put around it.
    std::optional<QMargins> frameMargins;
    QSize screenSize(const QWidget *) const override { return screen; }
    QMargins frame(const QWidget *window) const override { return frameMargins ? *frameMargins : WindowFrame(window); }
    bool isMaximized(const QWidget *) const override { return maximized; }
    void setTopmost(QWidget *, bool topmost) override { topmostCalls << topmost; }
    void enterFullScreen(QWidget *window) override;
    void leaveFullScreen(QWidget *window, const QRect &restore) override;
    QPoint pointer() const override { return pointerAt; }
    void movePointer(QPoint to) override { pointerAt = to; }
    bool tellsMinimised() const override { return minimiseTold; }
};

class ScriptedPlatform {
public:
    ScriptedPlatform();
    Platform &platform() { return platform_; }

    ScriptedFileDialogs dialogs;
    ScriptedMessageBoxes messages;
    ScriptedKeyState keys;
    ScriptedKeepAwake keepAwake;
    ScriptedWallpaper wallpaper;
    ScriptedUrlOpener urls;
    ScriptedWindowServices windows;
    SessionWatch session;  // tests emit locked() themselves

private:
    Platform platform_;
};

}  // namespace veilshot::platform
