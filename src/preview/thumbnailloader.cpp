#include "preview/thumbnailloader.h"

#include "files/fileoperations.h"

#include <QThread>
#include <QtConcurrent>

namespace veilshot {

ThumbnailLoader::ThumbnailLoader()
{
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

ThumbnailLoader::~ThumbnailLoader()
{
    clear();
    pool_.waitForDone();
}

void ThumbnailLoader::begin(const FolderModel &folder, ThumbnailSource source, int first, int end)
{
    pending_.clear();
    folder_ = &folder;
    source_ = std::move(source);
    next_ = first;
    end_ = end;
}

void ThumbnailLoader::request()
{
    const int inFlight = pool_.maxThreadCount() + 1;
    while (int(pending_.size()) < inFlight && next_ < end_) {
        const QString path = folder_->at(next_);
        Pending pending{next_, {}};
        if (source_ && FileExists(path))
            pending.picture = QtConcurrent::run(&pool_, source_, path);
        pending_.push_back(std::move(pending));
        ++next_;
    }
}

void ThumbnailLoader::clear()
{
    pending_.clear();
    source_ = nullptr;
}

}  // namespace veilshot
