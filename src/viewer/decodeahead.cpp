#include "decodeahead.h"

#include <QFileInfo>
#include <QtConcurrent>

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

DecodeAhead::Stamp DecodeAhead::StampOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    return {true, info.size(), info.lastModified()};
}

void DecodeAhead::prepare(const QString &path, Decode decode)
{
    if (path == path_ && future_.isValid())
        return;
    drop();
    path_ = path;
    stamp_ = StampOf(path);  // before the worker reads: a change meanwhile shows at take()
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
    if (!then.exists || StampOf(path) != then)
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
