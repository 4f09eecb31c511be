#pragma once
// The previews a run of ciphering seals beside its photos, made ahead of it on every core, so
// that the run seals each photo with its preview at about the pace it seals without one.

#include <QFuture>
#include <QStringList>
#include <QThreadPool>

#include <cstdint>
#include <map>
#include <vector>

namespace veilshot {

class PreviewsAhead {
public:
    // The previews of `sources`, in their order, as many at once as the machine has cores and a
    // few more queued ahead; none
    // at all unless `wanted` (the keyed format has no place for them).
    PreviewsAhead(QStringList sources, bool wanted);
    ~PreviewsAhead();  // waits for the previews under way
    PreviewsAhead(const PreviewsAhead &) = delete;
    PreviewsAhead &operator=(const PreviewsAhead &) = delete;

    // The preview of sources[index] (imaging::MakePreview), waiting for it if it is still being
    // made; the ones after it are started meanwhile. Empty when none is wanted or the photo
    // cannot be decoded. Safe to call from a worker thread, one call at a time.
    std::vector<std::uint8_t> take(int index);

private:
    // How many are made or queued ahead of the one taken: enough that the cores stay busy while
    // the run waits for the disk, the key's stretch or a photo that is slow to decode, and
    // little memory (each is a few tens of kilobytes).
    static constexpr int Lookahead = 8;
    void startUpTo(int index);

    QStringList sources_;
    bool wanted_;
    QThreadPool pool_;
    std::map<int, QFuture<std::vector<std::uint8_t>>> made_;
    int next_ = 0;  // the first source not started
};

}  // namespace veilshot
