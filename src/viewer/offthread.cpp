#include "viewer/offthread.h"

#include "cipher/cipherengine.h"
#include "files/localpath.h"
#include "platform/platform.h"
#include "viewer/texts.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace veilshot {

namespace {

// Runs `work` on a worker while the window keeps painting, `ticks` running; rethrows here what it
// threw.
void RunWhileTicking(const std::function<void()> &work, QTimer *ticks)
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
        loop.exec(QEventLoop::ExcludeUserInputEvents);
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
    try {
        RunWhileTicking([&] { work(progress); }, &ticks);
    } catch (...) {
        ended();
        throw;
    }
    ended();
}

OnePhotoWatch TurnWatch(platform::KeyState &keys, std::function<void(const QString &)> say)
{
    return {.stopRequested = [&keys] { return keys.isDown(Qt::Key_Escape); },
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
