#pragma once
// The photos around the shown one, decoded ahead on a worker thread while the user looks at
// it, so that a step either way shows the next one at once: the neighbour in the direction of
// travel first, then the one behind, and in a playing show the one after next. The shown
// photo's picture is held too, since one step on it is the neighbour behind. A picture serves
// only the file it was made from, as that file still is (path, the file itself, its size and
// its times to the nanosecond).

#include "cipher/cipherengine.h"
#include "imaging/imaging.h"

#include <QFuture>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <optional>
#include <vector>

namespace veilshot {

// What showing a file needs, made ahead.
struct Prepared {
    imaging::Picture picture;  // not ok(): its error says why
    bool otherCode = false;    // a ciphered file made under another code
    // Why the cipher engine refused the file: OtherCode as above, or no ciphered photo at all
    // (then picture.error says so as well).
    cipher::Refusal refusal = cipher::Refusal::None;
};

class DecodeAhead {
public:
    using Decode = std::function<Prepared(const QString &path)>;  // runs on the worker

    DecodeAhead();
    ~DecodeAhead();  // waits for the worker
    DecodeAhead(const DecodeAhead &) = delete;
    DecodeAhead &operator=(const DecodeAhead &) = delete;

    // Keeps the picture of `shown` if it is held, and `ahead` (most wanted first) decoded or on
    // their way; lets go of everything else.
    void prepare(const QString &shown, const QStringList &ahead, Decode decode);
    // Decodes `path` on the calling thread, because it was not held, and holds the picture as a
    // neighbour of the next one shown.
    Prepared decodeNow(const QString &path, const Decode &decode);
    // What was made for `path`, waiting for it if it is still on its way; std::nullopt when
    // nothing was, or the file changed since (then it is let go). What is served stays held.
    std::optional<Prepared> take(const QString &path);
    // What is on its way for `path`, to wait for elsewhere; a finished future when nothing is.
    QFuture<void> onItsWay(const QString &path);
    void drop();
    // Lets go of everything but what was made for `path`.
    void keepOnly(const QString &path);

    // The paths held or on their way, most wanted first, for tests and benchmarks.
    QStringList pending() const;
    bool ready(const QString &path) const;

private:
    struct Stamp {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;  // another file moved in under the name is another inode
        qint64 size = -1;
        qint64 modified = 0;  // nanoseconds: a rewrite within the same millisecond still shows
        qint64 changed = 0;
        friend bool operator==(const Stamp &, const Stamp &) = default;
    };
    struct Entry {
        QString path;
        Stamp stamp;  // taken before the worker read the file: a change meanwhile shows at take()
        QFuture<Prepared> future;
    };
    static Stamp stampOf(const QString &path);
    Entry *find(const QString &path);

    QThreadPool pool_;
    std::vector<Entry> entries_;
};

}  // namespace veilshot
