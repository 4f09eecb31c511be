#pragma once
// File access shared by the cipher engine and everything that writes files: errors that carry
// the user's message, a reader over a plain descriptor, and a writer that never leaves a
// half-written file behind.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace veilshot {

// A file could not be opened, created, read or written. what() is the text shown to the user.
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The target of a write that must not replace anything appeared before the write finished.
class TargetExistsError : public FileError {
public:
    using FileError::FileError;
};

// "Cannot open file "NAME". REASON" and its siblings; REASON is the system's text for errnum.
std::string FileMessage(const char *verb, const std::filesystem::path &file, int errnum);
std::string FileMessage(const char *verb, const std::filesystem::path &file, const std::string &reason);
// What a FileMessage about `file` says after naming it (its reason); the whole message when it
// does not name `file`.
std::string ReasonIn(const std::string &message, const std::filesystem::path &file);

[[noreturn]] void ThrowOpenError(const std::filesystem::path &file, int errnum);
[[noreturn]] void ThrowCreateError(const std::filesystem::path &file, int errnum);

// A file opened for reading; closed on every path.
class InputFile {
public:
    explicit InputFile(const std::filesystem::path &file);  // FileError "Cannot open file ..."
    ~InputFile();
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    std::uint64_t size() const { return size_; }
    // Reads up to `length` bytes; returns fewer only at the end of the file.
    std::size_t read(void *buffer, std::size_t length);
    // Reads exactly `length` bytes or throws (the file shrank while being read).
    void readExactly(void *buffer, std::size_t length);

private:
    std::filesystem::path path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// The whole file as bytes. FileError "Cannot open file ..." when it cannot be read, or when it
// holds more than `limit` bytes ("The file is too large.").
std::string ReadWholeFile(const std::filesystem::path &file, std::uint64_t limit = UINT64_MAX);

// Asks the system to read the file into its cache in the background and returns at once, so
// that a read that comes later does not wait for the disk. Nothing happens for a file that
// cannot be opened: the read says why.
void ReadAhead(const std::filesystem::path &file);

// Renames `from` to `to` unless `to` exists, in one step where the file system allows it.
// False with `err` set (EEXIST when the name is taken) when it did not happen.
bool RenameNoReplace(const std::filesystem::path &from, const std::filesystem::path &to, int &err);

// Whether two names lead to one file (the same device and inode); false when either is missing.
bool SameFile(const std::filesystem::path &a, const std::filesystem::path &b);

// Files known by device and inode, whatever names lead to them (hard links, symbolic links,
// other spellings of a folder).
class FileIds {
public:
    void add(const std::filesystem::path &file);  // a name that leads to no file adds nothing
    bool contains(const std::filesystem::path &file) const;

private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> ids_;
};

// Flushes the entries of `folder` to the disk, so a name given or taken there survives a power
// loss. File systems that cannot sync a folder (some network ones) leave it to the kernel.
// FileError "Cannot create file TARGET ..." when the disk fails.
void SyncFolder(const std::filesystem::path &folder, const std::filesystem::path &target);

// Whether a file name is one that AtomicFile gives a file in the making (".NAME" and a mark of
// its own), never a name a user would choose.
bool IsTemporaryName(std::string_view name);

// Removes from `folder` the files in the making that a killed process left behind: names
// IsTemporaryName() knows, regular files of this user that no live writer holds. Anything
// else is never touched. Every AtomicFile does this for its folder before it starts.
void RemoveLeftoverTemporaries(const std::filesystem::path &folder);

// Writes a file in the target's folder that gets the target's name only on commit(): an
// unnamed file where the file system allows it, else a hidden temporary name. Until then the
// target is untouched; destroyed without commit, the file is removed. On commit the file's
// bytes and then the folder's entry are flushed to the disk: a power loss afterwards finds the
// new file, before it the old one. The file is readable by the owner alone under every name but
// the target's; there it gets the permissions a newly created file would get (where the file
// system keeps permissions), or stays the owner's alone for secrets.
class AtomicFile {
public:
    enum class Mode {
        Replace,       // an existing target is replaced in one step
        KeepExisting,  // an existing target stays; commit() throws TargetExistsError
    };

    enum class Naming {
        Unnamed,  // no name until commit where the file system allows it, else as Hidden
        Hidden,   // a hidden temporary name in the target's folder
    };

    enum class Access {
        Usual,      // what a newly created file would get
        OwnerOnly,  // read and write for the owner alone, whatever the umask (0600)
    };

    // The owner, group and permissions a file is to keep when it is written anew in its place.
    struct Kept {
        unsigned owner = 0;
        unsigned group = 0;
        unsigned mode = 0;  // permission bits, as stat gives them
    };

    // FileError "Cannot create file ..."
    explicit AtomicFile(std::filesystem::path target, Naming naming = Naming::Unnamed, Access access = Access::Usual);
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    void write(const void *data, std::size_t length);
    // Reads back what was written so far, from `offset`; fewer bytes only at its end. For a
    // check of the file before it gets its name.
    std::size_t readBack(std::uint64_t offset, void *buffer, std::size_t length);
    void commit(Mode mode);
    // Gives the file the owner and group of `kept` before it gets its name (as far as the user
    // may give them: only root gives a file away), and its permissions exactly once it has the
    // name, in place of `Access`.
    void keep(const Kept &kept) { kept_ = kept; }

    const std::filesystem::path &target() const { return target_; }

private:
    std::filesystem::path makeTemporary();
    void discard() noexcept;
    [[noreturn]] void fail(int errnum);

    std::filesystem::path target_;
    std::filesystem::path folder_;
    std::filesystem::path temporary_;  // empty while the file has no name
    Access access_;
    std::optional<Kept> kept_;
    int fd_ = -1;
    bool committed_ = false;
};

}  // namespace veilshot
