#pragma once
// Putting away the originals of a ciphering run: each plain photo is removed (never to a trash)
// only once its ".veil" copy is proven, that is read back from the disk, deciphered in memory and
// found equal to the photo byte for byte, and only while both are still as they were then. Its
// thumbnails and recent-files entries go with it (desktoptraces.h). Shared by `veil cipher
// --remove-originals` and the main window.

#include "files/desktoptraces.h"

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace veilshot {

// A file as it stood at one moment: which file, how long, and when it or its entry last changed.
struct PhotoStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    nlink_t names = 0;  // its hard links; not compared
    bool symbolicLink = false;  // the name given leads to the file through a link

    bool sameFile(const PhotoStamp &other) const;  // the same file, unchanged
};

// The stamp of the file the name leads to now. FileError "Cannot open file ..." when there is none.
PhotoStamp PhotoStampOf(const std::filesystem::path &file);

// One photo of a run and what became of its original: removed, or kept and why.
struct OriginalKept {
    std::filesystem::path photo;
    std::string why;
};

class PutAway {
public:
    // Receives a deciphered copy's bytes, piece by piece, in order.
    using Sink = std::function<void(std::span<const std::uint8_t> piece)>;
    // Deciphers a ".veil" file in memory as it is on the disk now, handing its bytes to the sink:
    // false when the code does not open it, FileError when it cannot be read or is damaged (found
    // at the latest before it returns; what the sink was given counts only when it returns true).
    using Decipher = std::function<bool(const std::filesystem::path &copy, const Sink &sink)>;

    explicit PutAway(DesktopPlaces places = DesktopPlaces::FromEnvironment());
    ~PutAway();  // waits for the work behind that is under way
    PutAway(const PutAway &) = delete;
    PutAway &operator=(const PutAway &) = delete;

    // After `photo` was ciphered into `copy`: `read` is its stamp from before it was read. The
    // copy is read back through `decipher` and compared; a copy that is proven waits for
    // removeProven(), any other keeps its original.
    void prove(const std::filesystem::path &photo, const PhotoStamp &read, const std::filesystem::path &copy,
               const Decipher &decipher);
    // prove() on a thread of its own, while the caller goes on with the next photo: deciphering
    // a copy costs about what ciphering its photo did, and runs on the other core or while the
    // caller waits for the disk. One photo is proved behind at a time: the one before is waited
    // for first. With `remove`, the originals proven so far are then removed behind as well,
    // beside the proof, as removeProven() would: a removal mostly waits for the disk to be told
    // that the blocks are free. `decipher` must stay callable until the proof is over, and so
    // must the key table it uses.
    void proveBehind(const std::filesystem::path &photo, const PhotoStamp &read, const std::filesystem::path &copy,
                     Decipher decipher, bool remove);
    // Waits for the work behind, and for a run that removes behind, removes the originals of the
    // last copies proven too.
    void waitBehind();

    // A photo the run did not cipher or could not prove keeps its original.
    void keep(const std::filesystem::path &photo, std::string why);

    // Removes the original of each proven copy, with its thumbnails, while both are still as
    // they were when proven; an original that was changed, has other names or cannot be removed
    // is kept.
    void removeProven();
    // At the end of the run: puts the removals on the disk, one sync for each folder, and takes
    // the removed originals' entries off the recent-files list, once for the whole run.
    void finish();

    // What is known so far: the work behind adds to it until waitBehind() or finish().
    // How many proven copies wait for their originals to be removed.
    std::size_t proven() const { return proven_.size(); }
    const std::vector<std::filesystem::path> &removed() const { return removed_; }
    const std::vector<OriginalKept> &kept() const { return kept_; }
    // What of the desktop's traces could not be removed, one line each.
    const std::vector<std::string> &tracesLeft() const { return tracesLeft_; }

private:
    struct Proven {
        std::filesystem::path photo;
        PhotoStamp photoStamp;
        std::filesystem::path copy;
        PhotoStamp copyStamp;
    };
    // What became of a copy's proof: proven, or why its original stays.
    struct Proof {
        std::optional<Proven> proven;
        OriginalKept kept;
    };
    // What became of an original: removed (`why` empty) or kept, and what of its traces stays.
    struct Removal {
        std::filesystem::path photo;
        std::string why;
        std::string traceLeft;
    };
    // The work itself, touching nothing of the run's but what it is given, so that it can run
    // behind.
    static Proof Check(const std::filesystem::path &photo, const PhotoStamp &read, const std::filesystem::path &copy,
                       const Decipher &decipher);
    static Removal Remove(const Proven &proven, const DesktopPlaces &places);
    void record(Proof proof);
    void record(std::vector<Removal> removals);
    // Takes in the proof behind, if any.
    void collectProof();
    // Takes in the removals behind, if any, and starts the removal of the originals proven since.
    void removeProvenBehind();

    const DesktopPlaces places_;
    std::vector<Proven> proven_;
    std::vector<std::filesystem::path> removed_;
    std::vector<OriginalKept> kept_;
    std::vector<std::string> tracesLeft_;
    std::set<std::filesystem::path> foldersToSync_;
    std::future<Proof> proving_;
    std::future<std::vector<Removal>> removing_;
    bool removeBehind_ = false;  // the copy proved behind is one of a run that removes behind
};

}  // namespace veilshot
