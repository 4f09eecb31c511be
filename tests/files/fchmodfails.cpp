// Loaded into the writer by the tests (LD_PRELOAD) to stand for a file system that keeps no
// permissions: every fchmod() fails with the error number in FCHMOD_FAILS_WITH.

#include <cerrno>
#include <cstdlib>

#include <sys/stat.h>

extern "C" int fchmod(int, mode_t)
{
    const char *error = std::getenv("FCHMOD_FAILS_WITH");
    errno = error ? std::atoi(error) : ENOSYS;
    return -1;
}
