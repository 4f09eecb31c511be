#pragma once
// Work too long for the window's thread but needed before the command can go on: stretching a
// sealed file's key from the code takes a third of a second; turning or converting a large photo
// takes seconds.

#include "imaging/common/progress.h"

#include <QStringList>

#include <chrono>
#include <functional>

namespace veilshot {
namespace cipher { class CipherEngine; }
namespace platform { class KeyState; }

// Runs `work` on a worker thread while the window keeps painting (input waits), with the busy
// cursor; returns when it is done, rethrowing what it threw.
void RunOffThread(const std::function<void()> &work);

// How the window follows one photo's work: once it has lasted `delay`, it is told how far the
// work has come, and a stop asked for meanwhile abandons it (the work then throws
// imaging::WorkStopped, having written nothing).
struct OnePhotoWatch {
    // Asked about every 50 ms while the work runs: whether to stop it (a key held, the window
    // closing).
    std::function<bool()> stopRequested;
    // A press of this key stops it too, however short; 0 for none. The user's other input is
    // ignored until the work has ended, so no command starts beside it.
    int stopKey = 0;
    // How far the work has come (0..imaging::Progress::Whole), from `delay` on; -1 once it has
    // ended after being shown, for the window to put its status back.
    std::function<void(int done)> show;
    std::chrono::milliseconds delay{1000};
    // Where the work waits until it is stopped (imaging::Progress::holdAt); tests set it.
    int holdAt = imaging::Progress::Whole + 1;
};

// RunOffThread for one photo's work, followed as `watch` says.
void RunOnePhoto(const std::function<void(imaging::Progress &)> &work, const OnePhotoWatch &watch);

// The watch of a photo's turn in a viewer or a preview: Esc stops it, and `say` is handed the
// status text while it runs, then a null text when it has ended, for the window to put its own
// back.
OnePhotoWatch TurnWatch(platform::KeyState &keys, std::function<void(const QString &)> say);

// Stretches, off the window's thread, the keys that the sealed files among `veilFiles` need and
// the engine does not hold yet; with `writing`, also the key new files are sealed with. Files
// that cannot be read are left for the command to report.
void PrepareKeys(const cipher::CipherEngine &engine, const QStringList &veilFiles, bool writing = false);

}  // namespace veilshot
