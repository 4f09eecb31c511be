#pragma once
// The veil command run as a user runs it, for the tests: the built binary, in a session of its
// own (no terminal to ask for a code), on temporary folders.

#include "common/tempdir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace veilshot::test {

namespace fs = std::filesystem;

// The size of a sealed file of `length` bytes of photo: a 78-byte start, then chunks of 64 KiB
// with a 17-byte tag each, the last one shorter (possibly empty).
inline std::uint64_t SealedSize(std::uint64_t length)
{
    return 78 + length + 17 * (length / 65536 + 1);
}

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

// Starts veil in a new session, so it has no terminal to prompt on.
class VeilProcess {
public:
    // `wrapper` runs veil under another program (strace), found on the PATH.
    explicit VeilProcess(const std::vector<std::string> &arguments, const std::vector<std::string> &wrapper = {})
    {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0)
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
        std::vector<std::string> all = wrapper;
        all.push_back(VEIL_BINARY);
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char *> argv;
        for (auto &a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, all.front().c_str(), &actions, &attributes, argv.data(), environ) != 0)
            throw std::runtime_error("spawn");
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }

    // Reads stderr until `text` appears in it.
    void waitForError(const std::string &text)
    {
        char ch;
        while (errText_.find(text) == std::string::npos && ::read(err_, &ch, 1) == 1)
            errText_.push_back(ch);
    }

    void interrupt() { ::kill(pid_, SIGINT); }

    Result finish()
    {
        Result result;
        result.out = ReadAll(out_);
        result.err = errText_ + ReadAll(err_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        ::close(out_);
        ::close(err_);
        return result;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    std::string errText_;
};

inline Result Veil(const std::vector<std::string> &arguments)
{
    return VeilProcess(arguments).finish();
}

class VeilCommand : public ::testing::Test {
protected:
    VeilCommand()
    {
        WriteText(dir / "code.txt", "correct horse\r\nbattery staple\r\n");
        WriteText(dir / "other-code.txt", "\xEF\xBB\xBF" "another code");
        fs::create_directory(dir / "photos");
        fs::create_directory(dir / "out");
    }

    std::string code() const { return (dir / "code.txt").string(); }
    std::string photo(const std::string &name) const { return (dir / "photos" / name).string(); }

    TempDir dir;
};

// Whether veil runs under strace here, for the tests that have the system kill it or send it a
// signal at a chosen system call.
inline bool StraceWorks()
{
    return VeilProcess({"--help"}, {"strace", "-qq", "-o", "/dev/null"}).finish().exitCode == 0;
}

// strace's arguments that deliver `signal` to veil at the `when`-th of the system calls `calls`
// (a comma-separated list) in one of its threads, each thread counting its own.
inline std::vector<std::string> SignalAt(const std::string &calls, const char *signal, int when = 1)
{
    return {"strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=" + calls,
            "-e", "inject=" + calls + ":signal=" + signal + ":when=" + std::to_string(when)};
}

}  // namespace veilshot::test
