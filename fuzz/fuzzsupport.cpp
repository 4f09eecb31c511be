#include "fuzz/fuzzsupport.h"

#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <QGuiApplication>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace {

std::atomic<long> decoderStarts{0};

}  // namespace

// The imaging library starts its decoder processes with posix_spawn, and starts nothing else:
// counted here, on the way to the C library's own.
extern "C" int posix_spawn(pid_t *pid, const char *path, const posix_spawn_file_actions_t *actions,
                           const posix_spawnattr_t *attributes, char *const argv[], char *const envp[])
{
    using Spawn = int (*)(pid_t *, const char *, const posix_spawn_file_actions_t *, const posix_spawnattr_t *,
                          char *const[], char *const[]);
    static const auto real = reinterpret_cast<Spawn>(::dlsym(RTLD_NEXT, "posix_spawn"));
    if (!real)
        std::abort();
    const int failure = real(pid, path, actions, attributes, argv, envp);
    if (failure == 0)
        ++decoderStarts;
    return failure;
}

namespace veilshot::fuzz {

namespace fs = std::filesystem;

namespace {

class Scratch {
public:
    Scratch()
    {
        // In memory where the system has it: every copy written is synced, millions of times.
        std::error_code ec;
        const fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "veilshot-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path &path() const { return path_; }

private:
    fs::path path_;
};

}  // namespace

const fs::path &ScratchFolder()
{
    static const Scratch scratch;
    return scratch.path();
}

void WriteBytes(const fs::path &file, const std::uint8_t *data, std::size_t size)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        std::abort();
    while (size > 0) {
        const ssize_t put = ::write(fd, data, size);
        if (put <= 0)
            std::abort();
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    ::close(fd);
}

long DecoderStarts()
{
    return decoderStarts.load();
}

void StartImaging(int *argc, char ***argv)
{
    for (const imaging::Format format : {imaging::Format::Emf, imaging::Format::Heif}) {
        if (imaging::DecoderPath(format).empty()) {
            std::fprintf(stderr, "%s is not built beside this target: build the fuzz preset\n",
                         imaging::DecoderName(format));
            std::exit(1);
        }
    }
    std::atexit([] { std::fprintf(stderr, "decoder processes started %ld times\n", DecoderStarts()); });
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Both live until the process ends, as they do in the program.
    static const auto application = std::make_unique<QGuiApplication>(*argc, *argv);
    static const imaging::ImagingLibrary library;
}

}  // namespace veilshot::fuzz
