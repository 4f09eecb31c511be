#include "viewer/decodeahead.h"

#include "files/localpath.h"

#include <QtConcurrent>

#include <algorithm>

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

FileStamp StampOf(const QString &path)
{
    struct stat st {};
    if (::stat(LocalPath(path).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    const auto nanoseconds = [](const timespec &t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size), nanoseconds(st.st_mtim),
            nanoseconds(st.st_ctim)};
}

DecodeAhead::Entry *DecodeAhead::find(const QString &path)
{
    for (Entry &entry : entries_) {
        if (entry.path == path)
            return &entry;
    }
    return nullptr;
}

void DecodeAhead::prepare(const QString &shown, const QStringList &ahead, Decode decode)
{
    std::vector<Entry> kept;
    if (Entry *entry = find(shown))
        kept.push_back(std::move(*entry));
    for (const QString &path : ahead) {
        if (path.isEmpty() || path == shown || std::any_of(kept.begin(), kept.end(), [&](const Entry &e) { return e.path == path; }))
            continue;
        if (Entry *entry = find(path)) {
            kept.push_back(std::move(*entry));
            continue;
        }
        Entry entry{path, StampOf(path), {}};
        if (!entry.stamp.exists)
            continue;
        // Queued on the one worker in the order asked: the most wanted is decoded first.
        entry.future = QtConcurrent::run(&pool_, [decode, path] { return decode(path); });
        kept.push_back(std::move(entry));
    }
    // What is let go and still on its way finishes on the worker and is dropped there.
    entries_ = std::move(kept);
}

Prepared DecodeAhead::decodeNow(const QString &path, const Decode &decode)
{
    std::erase_if(entries_, [&](const Entry &e) { return e.path == path; });
    const FileStamp stamp = StampOf(path);  // before the file is read
    Prepared prepared = decode(path);
    prepared.stamp = stamp;
    if (stamp.exists && prepared.picture.ok())
        entries_.push_back({path, stamp, QtFuture::makeReadyFuture(prepared)});
    return prepared;
}

std::optional<Prepared> DecodeAhead::take(const QString &path, const Wait &wait)
{
    Entry *entry = find(path);
    // While the caller waits, what is held may change (a window paints and handles its timers
    // meanwhile): the entry is looked up again after each wait.
    while (entry && !entry->future.isFinished()) {
        wait(QFuture<void>(entry->future));
        entry = find(path);
    }
    if (!entry)
        return std::nullopt;
    Prepared prepared = entry->future.result();
    prepared.stamp = entry->stamp;
    if (!entry->stamp.exists || StampOf(path) != entry->stamp) {
        std::erase_if(entries_, [&](const Entry &e) { return e.path == path; });
        return std::nullopt;
    }
    return prepared;
}

void DecodeAhead::drop()
{
    entries_.clear();
}

void DecodeAhead::keepOnly(const QString &path)
{
    std::erase_if(entries_, [&](const Entry &e) { return e.path != path; });
}

QStringList DecodeAhead::pending() const
{
    QStringList paths;
    for (const Entry &entry : entries_)
        paths << entry.path;
    return paths;
}

bool DecodeAhead::ready(const QString &path) const
{
    for (const Entry &entry : entries_) {
        if (entry.path == path)
            return entry.future.isFinished();
    }
    return false;
}

}  // namespace veilshot
