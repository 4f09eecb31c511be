#pragma once
// The photos around the shown one, decoded ahead on a worker thread while the user looks at
// it, so that a step either way shows the next one at once: the neighbour in the direction of
// travel first, then the one behind, and in a playing show the one after next. The shown
// photo's picture is held too, since one step on it is the neighbour behind. A picture serves
// only the file it was made from, as that file still is (path, the file itself, its size and
// its times to the nanosecond). It is the cache of the ShownPhoto, which forgets it with the
// shown picture.

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

// What a file was when it was read: the file itself, its size and its times to the nanosecond
// (a rewrite within the same millisecond still shows). `exists` false: no regular file there.
struct FileStamp {
    bool exists = false;
    quint64 device = 0;
    quint64 inode = 0;  // another file moved in under the name is another inode
    qint64 size = -1;
    qint64 modified = 0;
    qint64 changed = 0;
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};
FileStamp StampOf(const QString &path);

// What showing a file needs, made ahead.
struct Prepared {
    imaging::Picture picture;  // not ok(): its error says why
    bool otherCode = false;    // a ciphered file made under another code
    // Why the cipher engine refused the file: OtherCode as above, or no ciphered photo at all
    // (then picture.error says so as well).
    cipher::Refusal refusal = cipher::Refusal::None;
    FileStamp stamp;  // the file as it was before it was read, once served
};

class DecodeAhead {
public:
    using Decode = std::function<Prepared(const QString &path)>;  // runs on the worker
    // How the caller waits for work still on its way (the windows: with the window painting).
    using Wait = std::function<void(QFuture<void> work)>;

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
    // What was made for `path`, handing what is still on its way to `wait` first: the window's
    // thread never waits here for a key's stretch or a decode. std::nullopt when nothing was,
    // or the file changed since (then it is let go). What is served stays held.
    std::optional<Prepared> take(const QString &path, const Wait &wait);
    void drop();
    // Lets go of everything but what was made for `path`.
    void keepOnly(const QString &path);

    // The paths held or on their way, most wanted first, for tests and benchmarks.
    QStringList pending() const;
    bool ready(const QString &path) const;

private:
    struct Entry {
        QString path;
        FileStamp stamp;  // taken before the worker read the file: a change meanwhile shows at take()
        QFuture<Prepared> future;
    };
    Entry *find(const QString &path);

    QThreadPool pool_;
    std::vector<Entry> entries_;
};

}  // namespace veilshot
