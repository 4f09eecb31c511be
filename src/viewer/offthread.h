#pragma once
// Work too long for the window's thread but needed before the command can go on: stretching a
// sealed file's key from the code takes a third of a second.

#include <QStringList>

#include <functional>

namespace veilshot {
namespace cipher { class CipherEngine; }

// Runs `work` on a worker thread while the window keeps painting (input waits), with the busy
// cursor; returns when it is done, rethrowing what it threw.
void RunOffThread(const std::function<void()> &work);

// Stretches, off the window's thread, the keys that the sealed files among `veilFiles` need and
// the engine does not hold yet; with `writing`, also the key new files are sealed with. Files
// that cannot be read are left for the command to report.
void PrepareKeys(const cipher::CipherEngine &engine, const QStringList &veilFiles, bool writing = false);

}  // namespace veilshot
