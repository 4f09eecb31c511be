#include "viewer/offthread.h"

#include "cipher/cipherengine.h"
#include "files/localpath.h"
#include "platform/platform.h"
#include "viewer/texts.h"

#include <QElapsedTimer>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace veilshot {

namespace {

// While one photo's work runs, the user's input reaches no window, so no command starts beside
// it; a press of the stop key is heard here, however short.
class InputHeld final : public QObject {
public:
    InputHeld(int stopKey, std::function<void()> stop)
        : stopKey_(stopKey), stop_(std::move(stop))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~InputHeld() override { QCoreApplication::instance()->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (stopKey_ != 0 && static_cast<QKeyEvent *>(event)->key() == stopKey_)
                stop_();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

private:
    int stopKey_;
    std::function<void()> stop_;
};

// Runs `work` on a worker while the window keeps painting, `ticks` running; rethrows here what it
// threw. Input waits, unless `inputHeld` says an InputHeld keeps it from the windows.
void RunWhileTicking(const std::function<void()> &work, QTimer *ticks, bool inputHeld = false)
{
    const platform::WaitCursor wait;
    std::exception_ptr failure;
    QFutureWatcher<void> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<void>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run([&work, &failure] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    if (ticks)
        ticks->start(50);
    if (!watcher.isFinished())
        loop.exec(inputHeld ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();
    if (ticks)
        ticks->stop();
    if (failure)
        std::rethrow_exception(failure);
}

}  // namespace

void RunOffThread(const std::function<void()> &work)
{
    RunWhileTicking(work, nullptr);
}

void RunOnePhoto(const std::function<void(imaging::Progress &)> &work, const OnePhotoWatch &watch)
{
    imaging::Progress progress;
    progress.holdAt(watch.holdAt);
    QElapsedTimer clock;
    clock.start();
    bool shown = false;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        if (watch.stopRequested && watch.stopRequested())
            progress.stop();
        shown = shown || clock.elapsed() >= watch.delay.count();
        if (shown && watch.show)
            watch.show(progress.done());
    });
    const auto ended = [&] {
        if (shown && watch.show)
            watch.show(-1);
    };
    const InputHeld input(watch.stopKey, [&progress] { progress.stop(); });
    try {
        RunWhileTicking([&] { work(progress); }, &ticks, true);
    } catch (...) {
        ended();
        throw;
    }
    ended();
}

OnePhotoWatch TurnWatch(platform::KeyState &keys, std::function<void(const QString &)> say)
{
    return {.stopRequested = [&keys] { return keys.isDown(Qt::Key_Escape); },
            .stopKey = Qt::Key_Escape,
            .show = [say = std::move(say)](int done) {
                say(done < 0 ? QString() : QString::fromUtf8(TurningProgress).arg(done / 10));
            }};
}

void PrepareKeys(const cipher::CipherEngine &engine, const QStringList &veilFiles, bool writing)
{
    QStringList missing;
    for (const QString &file : veilFiles) {
        try {
            if (!engine.keyReady(LocalPath(file)))
                missing.append(file);
        } catch (const FileError &) {
            // the command that reads it says why
        }
    }
    const bool writeKey = writing && engine.writeFormat() == cipher::Format::Sealed && !engine.writeKeyReady();
    if (missing.isEmpty() && !writeKey)
        return;
    RunOffThread([&] {
        if (writeKey)
            engine.prepareWriteKey();
        for (const QString &file : missing) {
            try {
                engine.prepareKey(LocalPath(file));  // files with one salt share one stretch
            } catch (const FileError &) {
            }
        }
    });
}

}  // namespace veilshot
