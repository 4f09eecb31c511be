#include "files/originals.h"

#include "files/fileio.h"
#include "files/securememory.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <span>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace veilshot {

namespace fs = std::filesystem;

namespace {

PhotoStamp StampFrom(const struct stat &st)
{
    PhotoStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = st.st_mtim;
    stamp.changed = st.st_ctim;
    stamp.names = st.st_nlink;
    return stamp;
}

bool operator==(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

constexpr auto ChangedReason = "it was changed after it was read for ciphering.";

// Why an original must stay whatever its copy: removing its name would not remove the photo.
std::string NameOnlyReason(const PhotoStamp &stamp)
{
    if (stamp.symbolicLink)
        return "it is a symbolic link: removing it would leave the photo it leads to.";
    if (stamp.names > 1)
        return "it has " + std::to_string(stamp.names - 1) +
               " other name(s) (hard links), under which the photo would stay readable.";
    return {};
}

constexpr auto DiffersReason = "its copy does not give back the same bytes.";

// Compares a deciphered copy, piece by piece as it comes, with the photo, read alongside; the
// photo must be the file stamped when it was read for ciphering, from the start to the end.
class PhotoComparison {
public:
    PhotoComparison(const fs::path &photo, const PhotoStamp &read)
        : photo_(photo)
        , read_(read)
        , fd_(::open(photo.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK))
    {
        if (fd_ < 0)
            why_ = FileMessage("Cannot open file", photo, errno);
        else if (!unchanged())
            why_ = ChangedReason;
    }
    ~PhotoComparison()
    {
        SecureWipe(buffer_.get(), Piece);
        if (fd_ >= 0)
            ::close(fd_);
    }
    PhotoComparison(const PhotoComparison &) = delete;
    PhotoComparison &operator=(const PhotoComparison &) = delete;

    void compare(std::span<const std::uint8_t> bytes)
    {
        while (why_.empty() && !bytes.empty()) {
            if (at_ == end_) {
                at_ = 0;
                end_ = readPhoto(Piece);
                if (end_ == 0 && why_.empty())
                    why_ = DiffersReason;  // the photo ended first
                if (end_ == 0)
                    return;
            }
            const std::size_t n = std::min(bytes.size(), end_ - at_);
            if (std::memcmp(buffer_.get() + at_, bytes.data(), n) != 0)
                why_ = DiffersReason;
            at_ += n;
            bytes = bytes.subspan(n);
        }
    }

    // Empty when the photo ended with the copy and is still as stamped, else why not.
    std::string verdict()
    {
        if (why_.empty() && (at_ != end_ || readPhoto(1) != 0))
            why_ = DiffersReason;  // the copy ended first
        if (why_.empty() && !unchanged())
            why_ = ChangedReason;
        return why_;
    }

private:
    // The photo is read in pieces of its own, larger than a deciphered copy's: fewer calls.
    static constexpr std::size_t Piece = 1 << 20;

    bool unchanged() const
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && StampFrom(st).sameFile(read_);
    }

    // Reads up to `length` bytes of the photo to the buffer's start, fewer only at its end.
    std::size_t readPhoto(std::size_t length)
    {
        std::size_t got = 0;
        while (why_.empty() && got < length) {
            const ssize_t n = ::read(fd_, buffer_.get() + got, length - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                why_ = FileMessage("Cannot read file", photo_, errno);
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

    const fs::path &photo_;
    const PhotoStamp &read_;
    int fd_;
    std::unique_ptr<std::uint8_t[]> buffer_ = std::make_unique<std::uint8_t[]>(Piece);
    std::size_t at_ = 0, end_ = 0;  // the photo's bytes read and not yet compared
    std::string why_;
};

}  // namespace

bool PhotoStamp::sameFile(const PhotoStamp &other) const
{
    return device == other.device && inode == other.inode && size == other.size && modified == other.modified &&
           changed == other.changed;
}

PhotoStamp PhotoStampOf(const fs::path &file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        ThrowOpenError(file, errno);
    PhotoStamp stamp = StampFrom(st);
    stamp.symbolicLink = ::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    return stamp;
}

PutAway::PutAway(DesktopPlaces places)
    : places_(std::move(places))
{
}

PutAway::~PutAway()
{
    // Only what is under way is waited for: a run that ends without finish() starts no removal.
    if (proving_.valid())
        proving_.wait();
    if (removing_.valid())
        removing_.wait();
}

void PutAway::keep(const fs::path &photo, std::string why)
{
    kept_.push_back({photo, std::move(why)});
}

void PutAway::prove(const fs::path &photo, const PhotoStamp &read, const fs::path &copy, const Decipher &decipher)
{
    collectProof();
    record(Check(photo, read, copy, decipher));
}

void PutAway::proveBehind(const fs::path &photo, const PhotoStamp &read, const fs::path &copy, Decipher decipher,
                          bool remove)
{
    collectProof();
    if (remove)
        removeProvenBehind();
    removeBehind_ = remove;
    proving_ = std::async(std::launch::async, [photo, read, copy, decipher = std::move(decipher)] {
        return Check(photo, read, copy, decipher);
    });
}

void PutAway::waitBehind()
{
    collectProof();
    if (std::exchange(removeBehind_, false))
        removeProvenBehind();
    if (removing_.valid())
        record(removing_.get());
}

void PutAway::collectProof()
{
    if (proving_.valid())
        record(proving_.get());
}

void PutAway::removeProvenBehind()
{
    if (removing_.valid())
        record(removing_.get());
    if (proven_.empty())
        return;
    removing_ = std::async(std::launch::async, [proven = std::exchange(proven_, {}), &places = places_] {
        std::vector<Removal> removals;
        for (const Proven &one : proven)
            removals.push_back(Remove(one, places));
        return removals;
    });
}

void PutAway::record(Proof proof)
{
    if (proof.proven)
        proven_.push_back(std::move(*proof.proven));
    else
        kept_.push_back(std::move(proof.kept));
}

void PutAway::record(std::vector<Removal> removals)
{
    for (Removal &removal : removals) {
        if (removal.why.empty()) {
            const fs::path folder = removal.photo.parent_path();
            foldersToSync_.insert(folder.empty() ? fs::path(".") : folder);
            removed_.push_back(std::move(removal.photo));
        } else {
            kept_.push_back({std::move(removal.photo), std::move(removal.why)});
        }
        if (!removal.traceLeft.empty())
            tracesLeft_.push_back(std::move(removal.traceLeft));
    }
}

PutAway::Proof PutAway::Check(const fs::path &photo, const PhotoStamp &read, const fs::path &copy,
                              const Decipher &decipher)
{
    if (std::string why = NameOnlyReason(read); !why.empty())
        return {std::nullopt, {photo, std::move(why)}};
    std::string why;
    try {
        const PhotoStamp copyStamp = PhotoStampOf(copy);
        PhotoComparison comparison(photo, read);
        if (!decipher(copy, [&comparison](std::span<const std::uint8_t> piece) { comparison.compare(piece); }))
            why = "its copy does not open under the code.";
        else if (!PhotoStampOf(copy).sameFile(copyStamp))
            why = "its copy was changed while it was checked.";
        else if (why = comparison.verdict(); why.empty())
            return {Proven{photo, read, copy, copyStamp}, {}};
    } catch (const FileError &error) {
        why = std::string("its copy could not be checked: ") + error.what();
    } catch (const std::bad_alloc &) {
        why = "its copy could not be checked: there was not enough memory.";
    }
    return {std::nullopt, {photo, std::move(why)}};
}

PutAway::Removal PutAway::Remove(const Proven &proven, const DesktopPlaces &places)
{
    Removal removal{proven.photo, {}, {}};
    PhotoStamp now;
    try {
        now = PhotoStampOf(proven.photo);
        if (!PhotoStampOf(proven.copy).sameFile(proven.copyStamp))
            removal.why = "its copy was changed after it was checked.";
    } catch (const FileError &error) {
        removal.why = error.what();
    }
    if (removal.why.empty() && !now.sameFile(proven.photoStamp))
        removal.why = ChangedReason;
    if (removal.why.empty())
        removal.why = NameOnlyReason(now);
    if (!removal.why.empty())
        return removal;
    // Named while the folder still leads where it did when the desktop saw the photo.
    const std::vector<std::string> thumbnails = ThumbnailNames(proven.photo);
    if (::unlink(proven.photo.c_str()) != 0) {
        removal.why = FileMessage("Cannot remove file", proven.photo, errno);
        return removal;
    }
    removal.traceLeft = ForgetThumbnails(thumbnails, places);
    return removal;
}

void PutAway::removeProven()
{
    waitBehind();
    std::vector<Removal> removals;
    for (const Proven &proven : std::exchange(proven_, {}))
        removals.push_back(Remove(proven, places_));
    record(std::move(removals));
}

void PutAway::finish()
{
    waitBehind();
    // The copies were on the disk before any original went, so whatever a power loss undoes
    // here, no photo is lost: at worst an original comes back.
    for (const fs::path &folder : std::exchange(foldersToSync_, {})) {
        try {
            SyncFolder(folder, folder);
        } catch (const FileError &) {
            // The originals are gone for everyone now; only a power loss could bring one back.
        }
    }
    if (std::string left = ForgetRecent(removed_, places_); !left.empty())
        tracesLeft_.push_back(std::move(left));
}

}  // namespace veilshot
