#pragma once
// Memory running short, for the tests that show it refuses one file and ends nothing: the
// address space of a (death-test) process held to what it uses and a little more.

#include <cstddef>
#include <fstream>

#include <sys/resource.h>
#include <unistd.h>

namespace veilshot::test {

// Whether AddressSanitizer is built in: its allocator takes no address-space limit.
inline bool AddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// Holds this process's address space to what it takes now and `more` bytes beyond.
inline void LimitAddressSpace(std::size_t more)
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    statm >> pages;
    const rlim_t limit = pages * std::size_t(::sysconf(_SC_PAGESIZE)) + more;
    const rlimit held{limit, limit};
    ::setrlimit(RLIMIT_AS, &held);
}

}  // namespace veilshot::test
