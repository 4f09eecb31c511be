#include "cipher/readcut.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <stdexcept>

namespace veilshot::test {
namespace {

struct Cut {
    bool armed = false;
    dev_t device = 0;
    ino_t inode = 0;
    int before = 0;
    int seen = 0;
    std::filesystem::path file;
    std::uintmax_t size = 0;
};

std::mutex guard;
Cut cut;

}  // namespace

void CutBeforeRead(const std::filesystem::path &file, int reads, std::uintmax_t size)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0)
        throw std::runtime_error("no file to cut: " + file.string());
    const std::lock_guard lock(guard);
    cut = {true, st.st_dev, st.st_ino, reads, 0, file, size};
}

int StopCutting()
{
    const std::lock_guard lock(guard);
    cut.armed = false;
    return cut.seen;
}

}  // namespace veilshot::test

extern "C" ssize_t read(int fd, void *buffer, size_t length)
{
    using Read = ssize_t (*)(int, void *, size_t);
    static const auto next = reinterpret_cast<Read>(::dlsym(RTLD_NEXT, "read"));
    {
        using namespace veilshot::test;
        const std::lock_guard lock(guard);
        struct stat st {};
        if (cut.armed && ::fstat(fd, &st) == 0 && st.st_dev == cut.device && st.st_ino == cut.inode) {
            if (cut.seen++ == cut.before)
                std::filesystem::resize_file(cut.file, cut.size);
        }
    }
    return next(fd, buffer, length);
}
