#include "viewer/decodeahead.h"

#include "files/localpath.h"

#include <QtConcurrent>

#include <sys/stat.h>

namespace veilshot {

DecodeAhead::DecodeAhead()
{
    pool_.setMaxThreadCount(1);
}

DecodeAhead::~DecodeAhead()
{
    drop();
    pool_.waitForDone();
}

DecodeAhead::Stamp DecodeAhead::stampOf(const QString &path)
{
    struct stat st {};
    if (::stat(LocalPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const auto nanoseconds = [](const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

void DecodeAhead::prepare(const QString &path, Decode decode)
{
    if (path == path_ && future_.isValid())
        return;
    drop();
    path_ = path;
    stamp_ = stampOf(path);  // before the worker reads: a change meanwhile shows at take()
    future_ = QtConcurrent::run(&pool_, [decode = std::move(decode), path] { return decode(path); });
}

std::optional<Prepared> DecodeAhead::take(const QString &path)
{
    if (path != path_ || !future_.isValid()) {
        drop();
        return std::nullopt;
    }
    const Stamp then = stamp_;
    Prepared prepared = future_.result();
    drop();
    if (!then.exists || stampOf(path) != then)
        return std::nullopt;
    return prepared;
}

void DecodeAhead::drop()
{
    // A decode on its way finishes on the worker and its result is let go there.
    future_ = QFuture<Prepared>();
    path_.clear();
    stamp_ = {};
}

}  // namespace veilshot
