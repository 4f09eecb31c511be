#include "files/fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string_view>
#include <dirent.h>
#include <sys/file.h>
#include <fcntl.h>
#include <string.h>
#include <cstdint>
#include <sys/stat.h>
#include <unistd.h>

namespace veilshot {

namespace fs = std::filesystem;

std::string FileMessage(const char *verb, const fs::path &file, const std::string &reason)
{
    return std::string(verb) + " \"" + file.string() + "\". " + reason;
}

std::string FileMessage(const char *verb, const fs::path &file, int errnum)
{
    return FileMessage(verb, file, std::string(std::strerror(errnum)));
}

std::string ReasonIn(const std::string &message, const fs::path &file)
{
    const std::string named = " \"" + file.string() + "\". ";
    const std::size_t at = message.find(named);
    return at == std::string::npos ? message : message.substr(at + named.size());
}

void ThrowOpenError(const fs::path &file, int errnum)
{
    throw FileError(FileMessage("Cannot open file", file, errnum));
}

void ThrowCreateError(const fs::path &file, int errnum)
{
    throw FileError(FileMessage("Cannot create file", file, errnum));
}

namespace {

// What a name that is not a regular file is, in the user's words.
const char *NotAFileReason(mode_t mode)
{
    if (S_ISFIFO(mode))
        return "It is a named pipe, not a file.";
    if (S_ISSOCK(mode))
        return "It is a socket, not a file.";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "It is a device, not a file.";
    return "It is not a regular file.";
}

}  // namespace

InputFile::InputFile(const fs::path &file)
    : path_(file)
{
    // Opening a named pipe waits for a writer, for ever if none comes, and opening a device
    // can do things of its own: anything but a regular file is refused before it is opened.
    // The name may be swapped for another file in between, so the open itself does not wait
    // (O_NONBLOCK) and what was opened is checked again.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        throw FileError(FileMessage("Cannot open file", file, NotAFileReason(st.st_mode)));
    do {
        fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        ThrowOpenError(file, errno);
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(fd_);
        ThrowOpenError(file, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        if (S_ISDIR(st.st_mode))
            ThrowOpenError(file, EISDIR);
        throw FileError(FileMessage("Cannot open file", file, NotAFileReason(st.st_mode)));
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    size_ = static_cast<std::uint64_t>(st.st_size);
}

InputFile::~InputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::size_t InputFile::read(void *buffer, std::size_t length)
{
    auto *out = static_cast<unsigned char *>(buffer);
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(fd_, out + done, length - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ThrowOpenError(path_, errno);
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

void InputFile::readExactly(void *buffer, std::size_t length)
{
    if (read(buffer, length) != length)
        throw FileError(FileMessage("Cannot open file", path_, "The file became shorter while it was read."));
}

std::string ReadWholeFile(const fs::path &file, std::uint64_t limit)
{
    InputFile in(file);
    if (in.size() > limit)
        throw FileError(FileMessage("Cannot open file", file, "The file is too large."));
    std::string bytes(static_cast<std::size_t>(in.size()), '\0');
    bytes.resize(in.read(bytes.data(), bytes.size()));
    return bytes;
}

namespace {

mode_t CreationMode()
{
    // umask() can only be read by setting it; put the value straight back.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

void ReadAhead(const fs::path &file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
    ::close(fd);
}

bool RenameNoReplace(const fs::path &from, const fs::path &to, int &err)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    err = errno;
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
        return false;
    // File systems without the flag: a hard link also refuses to replace anything.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    err = errno;
    if (err != EPERM && err != EOPNOTSUPP && err != ENOSYS)
        return false;
    // Neither (FAT on a USB stick): check, then rename. Only another program racing for the
    // same name in that instant can lose here.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        err = EEXIST;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    err = errno;
    return false;
}


// --- Temporaries -------------------------------------------------------------------------------
//
// A file in the making that has a name is called ".TARGET" + TemporaryMark + six letters or
// digits, and its writer holds an exclusive flock() on it for as long as it lives. A process
// killed meanwhile leaves the name behind, but its lock goes with it: such a file is a
// leftover, and the next write into the folder removes it.

namespace {

constexpr std::string_view TemporaryMark = ".veilshot-part-";
constexpr std::size_t TemporaryLetters = 6;

fs::path TemporaryPattern(const fs::path &folder, const fs::path &target)
{
    return folder / ("." + target.filename().string() + std::string(TemporaryMark) + std::string(TemporaryLetters, 'X'));
}

fs::path RandomTemporary(const fs::path &folder, const fs::path &target)
{
    static constexpr char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string name = TemporaryPattern(folder, target).string();
    for (std::size_t i = name.size() - TemporaryLetters; i < name.size(); ++i)
        name[i] = letters[random() % (sizeof letters - 1)];
    return name;
}

// Locks a file in the making for its writer; false when someone else holds it (a run cleaning
// up, which is about to remove the name). File systems without locks cannot tell a leftover
// from a file in the making, so nothing is ever removed there.
bool LockForWriting(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 || (errno != EWOULDBLOCK && errno != EINTR);
}

bool SameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool SameFile(const fs::path &a, const fs::path &b)
{
    struct stat sa {}, sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && SameFile(sa, sb);
}

void FileIds::add(const fs::path &file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0)
        ids_.insert({st.st_dev, st.st_ino});
}

bool FileIds::contains(const fs::path &file) const
{
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 && ids_.contains({st.st_dev, st.st_ino});
}

void SyncFolder(const fs::path &folder, const fs::path &target)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;  // the name is in place; the kernel writes the folder out in its own time
    const int synced = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    if (synced != 0 && err != EINVAL && err != EROFS)
        ThrowCreateError(target, err);
}

bool IsTemporaryName(std::string_view name)
{
    const std::size_t mark = name.rfind(TemporaryMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2
        || name.size() != mark + TemporaryMark.size() + TemporaryLetters)
        return false;
    for (const char c : name.substr(mark + TemporaryMark.size())) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

void RemoveLeftoverTemporaries(const fs::path &folder)
{
    DIR *dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return;
    const int dirFd = ::dirfd(dir);
    const uid_t self = ::geteuid();
    bool removed = false;
    while (const dirent *entry = ::readdir(dir)) {
        if (!IsTemporaryName(entry->d_name))
            continue;
        const int fd = ::openat(dirFd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Only a regular file of this user that nobody is writing: its writer is gone. The name
        // must still be the file that was locked, not one renamed into place meanwhile.
        struct stat opened {}, named {};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_uid == self
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0
            && ::fstatat(dirFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named)
            && ::unlinkat(dirFd, entry->d_name, 0) == 0)
            removed = true;
        ::close(fd);
    }
    if (removed)
        ::fsync(dirFd);
    ::closedir(dir);
}

// --- AtomicFile --------------------------------------------------------------------------------

AtomicFile::AtomicFile(fs::path target, Naming naming, Access access)
    : target_(std::move(target))
    , access_(access)
{
    folder_ = target_.parent_path();
    if (folder_.empty())
        folder_ = ".";
    RemoveLeftoverTemporaries(folder_);
    // Where the file system allows it, the file has no name at all until it is complete, so
    // not even a killed process leaves part of it behind.
    if (naming == Naming::Unnamed && ::access("/proc/self/fd", X_OK) == 0) {
        do {
            fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ >= 0) {
            LockForWriting(fd_);  // nobody else can know the file yet
            return;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            ThrowCreateError(target_, errno);
    }
    temporary_ = makeTemporary();
}

fs::path AtomicFile::makeTemporary()
{
    for (;;) {
        std::string pattern = TemporaryPattern(folder_, target_).string();
        do {
            fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0)
            ThrowCreateError(target_, errno);
        // A run cleaning up may have taken the name in the instant before the lock: then once
        // more.
        struct stat opened {}, named {};
        if (LockForWriting(fd_) && ::fstat(fd_, &opened) == 0 && ::lstat(pattern.c_str(), &named) == 0
            && SameFile(opened, named))
            return pattern;
        ::close(fd_);
        fd_ = -1;
    }
}

AtomicFile::~AtomicFile()
{
    if (!committed_)
        discard();
}

void AtomicFile::discard() noexcept
{
    // The name goes first, while the lock still keeps a run cleaning up away from it.
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void AtomicFile::fail(int err)
{
    discard();
    ThrowCreateError(target_, err);
}

void AtomicFile::write(const void *data, std::size_t length)
{
    const auto *in = static_cast<const unsigned char *>(data);
    while (length > 0) {
        const ssize_t put = ::write(fd_, in, length);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        in += put;
        length -= static_cast<std::size_t>(put);
    }
}

std::size_t AtomicFile::readBack(std::uint64_t offset, void *buffer, std::size_t length)
{
    auto *out = static_cast<unsigned char *>(buffer);
    std::size_t got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd_, out + got, length - got, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// The order is what makes a write durable: the file's bytes reach the disk before it gets the
// target's name (a power loss cannot leave the name on an empty file, nor an old file replaced
// by one), and the folder is synced before commit() returns, so what comes next - removing a
// moved file's source, the end of the run - finds the new file on the disk.
//
// The file is the owner's alone (0600) from its creation until it has the target's name: under
// any other name - the temporary one a killed run leaves behind - nobody else can read it. Only
// then does it get the permissions it is to have.
void AtomicFile::commit(Mode mode)
{
    // Owner and group before the name, so that no moment shows the file as someone else's. A
    // user who is not root gives neither away (EPERM): the file stays theirs, as it was made.
    if (kept_ && ::fchown(fd_, kept_->owner, kept_->group) != 0) {
    }
    if (::fsync(fd_) != 0)  // delayed write errors (NFS, full disks) surface here
        fail(errno);
    if (temporary_.empty()) {
        // The unnamed file gets its name: directly where nothing may be replaced, else through
        // a temporary name and a rename over the old file.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        fs::path linked = target_;
        int linkedOk = -1;
        for (int attempt = 0; attempt < 16 && linkedOk != 0; ++attempt) {
            if (mode == Mode::Replace)
                linked = RandomTemporary(folder_, target_);
            linkedOk = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, linked.c_str(), AT_SYMLINK_FOLLOW);
            if (linkedOk != 0 && (errno != EEXIST || mode == Mode::KeepExisting))
                break;
        }
        if (linkedOk != 0) {
            const int err = errno;
            discard();
            if (err == EEXIST && mode == Mode::KeepExisting)
                throw TargetExistsError(FileMessage("Cannot create file", target_, err));
            ThrowCreateError(target_, err);
        }
        if (mode == Mode::Replace)
            temporary_ = linked;  // what to take back if the rest fails
    }
    if (!temporary_.empty()) {
        int err = 0;
        bool moved = false;
        if (mode == Mode::Replace) {
            moved = ::rename(temporary_.c_str(), target_.c_str()) == 0;
            err = errno;
        } else {
            moved = RenameNoReplace(temporary_, target_, err);
        }
        if (!moved) {
            discard();
            if (err == EEXIST)
                throw TargetExistsError(FileMessage("Cannot create file", target_, err));
            ThrowCreateError(target_, err);
        }
        temporary_.clear();
    }
    committed_ = true;
    // The data is in place under its name. A file system that keeps no modes (FAT, and FUSE
    // file systems that refuse the call: ENOSYS, ENOTSUP, EPERM) leaves the file as it is, and
    // any other failure here leaves it owner-only: neither is a reason to call the write failed.
    // A power loss before the change reaches the disk leaves it owner-only as well.
    if (kept_)
        ::fchmod(fd_, kept_->mode & 07777);
    else if (access_ == Access::Usual)
        ::fchmod(fd_, CreationMode());
    ::close(fd_);  // after the rename: the lock kept the temporary name safe until then
    fd_ = -1;
    SyncFolder(folder_, target_);
}

}  // namespace veilshot
