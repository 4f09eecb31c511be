#include "fileio.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
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

void ThrowOpenError(const fs::path &file, int errnum)
{
    throw FileError(FileMessage("Cannot open file", file, errnum));
}

void ThrowCreateError(const fs::path &file, int errnum)
{
    throw FileError(FileMessage("Cannot create file", file, errnum));
}

InputFile::InputFile(const fs::path &file)
    : path_(file)
{
    do {
        fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        ThrowOpenError(file, errno);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int err = errno;
        ::close(fd_);
        ThrowOpenError(file, err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        ThrowOpenError(file, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
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


AtomicFile::AtomicFile(fs::path target, Naming naming, Access access)
    : target_(std::move(target))
    , access_(access)
{
    folder_ = target_.parent_path();
    if (folder_.empty())
        folder_ = ".";
    // Where the file system allows it, the file has no name at all until it is complete, so
    // not even a killed process leaves part of it behind.
    if (naming == Naming::Unnamed && ::access("/proc/self/fd", X_OK) == 0) {
        do {
            fd_ = ::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, access_ == Access::OwnerOnly ? 0600 : 0666);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ >= 0)
            return;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            ThrowCreateError(target_, errno);
    }
    temporary_ = MakeTemporary();
}

fs::path AtomicFile::MakeTemporary()
{
    std::string pattern = (folder_ / ("." + target_.filename().string() + ".XXXXXX")).string();
    do {
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        ThrowCreateError(target_, errno);
    ::fchmod(fd_, access_ == Access::OwnerOnly ? 0600 : CreationMode());
    return pattern;
}

AtomicFile::~AtomicFile()
{
    if (!committed_)
        discard();
}

void AtomicFile::discard() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

void AtomicFile::write(const void *data, std::size_t length)
{
    const auto *in = static_cast<const unsigned char *>(data);
    while (length > 0) {
        const ssize_t put = ::write(fd_, in, length);
        if (put < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            discard();
            ThrowCreateError(target_, err);
        }
        in += put;
        length -= static_cast<std::size_t>(put);
    }
}

void AtomicFile::commit(Mode mode)
{
    if (temporary_.empty()) {
        // The unnamed file gets its name: directly where nothing may be replaced, else through
        // a temporary name and a rename over the old file.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        fs::path linked = target_;
        int linkedOk = -1;
        std::random_device random;
        for (int attempt = 0; attempt < 16 && linkedOk != 0; ++attempt) {
            if (mode == Mode::Replace)
                linked = folder_ / ("." + target_.filename().string() + "." + std::to_string(random()) + ".part");
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
        temporary_ = linked;  // what to take back if the rest fails
        if (mode == Mode::KeepExisting)
            temporary_.clear();
    }
    if (::close(fd_) != 0) {  // delayed write errors (NFS, full disks) surface here
        const int err = errno;
        fd_ = -1;
        if (temporary_.empty())
            ::unlink(target_.c_str());
        discard();
        ThrowCreateError(target_, err);
    }
    fd_ = -1;
    if (temporary_.empty()) {
        committed_ = true;
        return;
    }
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
    committed_ = true;
}

void SecureWipe(void *data, std::size_t length) noexcept
{
    if (data && length)
        ::explicit_bzero(data, length);
}

}  // namespace veilshot
