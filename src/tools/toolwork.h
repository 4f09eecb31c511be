#pragma once
// The work the image tools do for one file, apart from any window: each call reads its source,
// writes its target without ever replacing a file, and says what became of it. Safe to run on
// several threads at once, each on its own files.

#include "imaging/common/progress.h"
#include "tools/toolrules.h"

#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

namespace veilshot::tools {

// What became of one file of a run.
struct Outcome {
    enum class Kind { Written, PassedOver, Failed, Stopped } kind = Kind::Written;
    QString reason;  // why it failed
    static Outcome written() { return {}; }
    static Outcome passedOver() { return {Kind::PassedOver, {}}; }
    static Outcome stopped() { return {Kind::Stopped, {}}; }
    static Outcome failed(const QString &reason) { return {Kind::Failed, reason}; }
};

// The work done for one file, on a worker thread: it must touch nothing but its job's files.
using Work = std::function<Outcome(const Job &)>;
// The same for one photo worked on alone: it reports how far it has come to the progress, and
// ends, having written nothing, when that is stopped.
using OneWork = std::function<Outcome(const Job &, imaging::Progress &)>;

struct RunResult {
    int written = 0;
    bool stopped = false;  // by its key or a request to close, before every file was taken up
    QStringList failures;  // "name: reason", in list order
};

// With a `progress`, the three below report the decode, then the encoding, and end with
// Outcome::stopped(), having written nothing, once it is stopped.

// A JPEG copy at `quality` (0..100, handed to the encoder as it is).
Outcome Compress(const Job &job, int quality, imaging::Progress *progress = nullptr);

// The photo in the format of `mime`.
Outcome Transform(const Job &job, const QString &mime, imaging::Progress *progress = nullptr);

// The photo drawn stretched to `size`, in the format of `mime`. Nothing is written without an
// encoder for `mime`, or for a picture that cannot be decoded or would be too large.
Outcome ScaleTo(const Job &job, QSize size, const QString &mime, imaging::Progress *progress = nullptr);

// The photo divided by `factor`, in its own format (by its extension); passed over, as the run
// over a folder does, when it has no encoder or comes out outside 10..100000 pixels a side. A
// photo of a format read but never written (WithoutEncoder) fails instead, so it is named.
Outcome ScaleBy(const Job &job, double factor);

// The file copied byte for byte, or moved.
Outcome CopyFile(const Job &job);
Outcome MoveFile(const Job &job);

}  // namespace veilshot::tools
