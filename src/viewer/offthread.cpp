#include "viewer/offthread.h"

#include "cipher/cipherengine.h"
#include "files/localpath.h"
#include "platform/platform.h"

#include <QEventLoop>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>

namespace veilshot {

void RunOffThread(const std::function<void()> &work)
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
    if (!watcher.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    watcher.waitForFinished();
    if (failure)
        std::rethrow_exception(failure);
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
