#include "viewer/previewsahead.h"

#include "imaging/imaging.h"

#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace veilshot {

PreviewsAhead::PreviewsAhead(QStringList sources, bool wanted)
    : sources_(std::move(sources))
    , wanted_(wanted)
{
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    if (wanted_)
        startUpTo(Lookahead - 1);
}

PreviewsAhead::~PreviewsAhead()
{
    // A run that stops early waits for the previews being made, not for those queued.
    pool_.clear();
    pool_.waitForDone();
}

void PreviewsAhead::startUpTo(int index)
{
    for (; next_ <= index && next_ < sources_.size(); ++next_)
        made_[next_] = QtConcurrent::run(&pool_, [source = sources_[next_]] { return imaging::MakePreview(source); });
}

std::vector<std::uint8_t> PreviewsAhead::take(int index)
{
    if (!wanted_ || index < 0 || index >= sources_.size())
        return {};
    // Those passed over are let go unread.
    made_.erase(made_.begin(), made_.lower_bound(index));
    startUpTo(index + Lookahead);
    const auto found = made_.find(index);
    if (found == made_.end())
        return imaging::MakePreview(sources_[index]);  // asked for again
    std::vector<std::uint8_t> preview = found->second.result();
    made_.erase(found);
    return preview;
}

}  // namespace veilshot
