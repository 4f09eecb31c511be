#pragma once
// The next photo, decoded ahead on a worker thread while the user looks at the shown one, so
// that stepping to it shows it at once. At most one photo is held ahead; it serves only the
// file it was made from, as that file still is (path, the file itself, its size and its times
// to the nanosecond).

#include "cipher/cipherengine.h"
#include "imaging/imaging.h"

#include <QFuture>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>

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

    // Starts decoding `path`, unless it is already held or on its way; drops anything else.
    void prepare(const QString &path, Decode decode);
    // What was made for `path`, waiting for it if it is still on its way; std::nullopt when
    // nothing was, or the file changed since. Either way nothing stays held.
    std::optional<Prepared> take(const QString &path);
    void drop();

    // The path being prepared or held, for tests and benchmarks.
    QString pending() const { return path_; }
    bool ready() const { return future_.isValid() && future_.isFinished(); }

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
    static Stamp stampOf(const QString &path);

    QThreadPool pool_;
    QString path_;
    Stamp stamp_;
    QFuture<Prepared> future_;
};

}  // namespace veilshot
