#include "imaging/decoder/confine.h"

#include "imaging/contained/decoderprotocol.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include <fcntl.h>
#include <iconv.h>
#include <linux/capability.h>
#include <linux/landlock.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VEILSHOT_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VEILSHOT_ASAN 1
#endif
#endif
#if defined(VEILSHOT_ASAN) && !defined(VEILSHOT_SANITIZED)
#define VEILSHOT_SANITIZED 1
#endif

extern char **environ;

namespace veilshot::imaging::decoder {

namespace {

// The block of "NAME=value" strings the kernel handed the process at its start: fields 50 and 51
// of /proc/self/stat. A variable set again since keeps its first value there, out of `environ`.
std::span<char> StartingEnvironment()
{
    char text[4096];
    const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    const ssize_t length = fd < 0 ? -1 : ::read(fd, text, sizeof text - 1);
    if (fd >= 0)
        ::close(fd);
    if (length <= 0)
        return {};
    text[length] = '\0';
    // The name in field 2 may hold anything, spaces and parentheses included, but ends at the
    // last ')'.
    const char *field = std::strrchr(text, ')');
    std::uintptr_t start = 0, end = 0;
    for (int number = 2; field && number < 51; ++number) {
        field = std::strchr(field + 1, ' ');
        if (field && number + 1 == 50)
            start = std::strtoull(field + 1, nullptr, 10);
        if (field && number + 1 == 51)
            end = std::strtoull(field + 1, nullptr, 10);
    }
    if (start == 0 || end <= start)
        return {};
    return {reinterpret_cast<char *>(start), end - start};
}

// The user's variables, wiped where they were handed in and then dropped: a decoder taken over
// by its input finds none of them, neither through `environ` nor in its own memory.
void ClearEnvironment()
{
    if (const std::span<char> starting = StartingEnvironment(); !starting.empty())
        std::memset(starting.data(), 0, starting.size());
    for (char **variable = environ; variable && *variable; ++variable)
        std::memset(*variable, 0, std::strlen(*variable));
    ::clearenv();
}

// Every capability given up for good, as a decoder started by root holds them all: the ambient
// and bounding sets emptied (the latter needs CAP_SETPCAP, which a process without
// capabilities lacks and has no use for), then the permitted, effective and inheritable sets.
bool DropCapabilities()
{
    ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    for (unsigned long capability = 0; ::prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0; ++capability) {
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno != EPERM)
            return false;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capset, &header, sets) != 0 || ::syscall(SYS_capget, &header, sets) != 0)
        return false;
    for (const __user_cap_data_struct &set : sets) {
        if (set.effective != 0 || set.permitted != 0 || set.inheritable != 0)
            return false;
    }
    return true;
}

// The C library loads a text converter from its own folder the first time one is opened, and
// the EMF library opens them for every text it draws: loaded now, while that folder can still
// be read, and never closed, so that they stay loaded (the C library unloads unused ones).
void LoadTextConverters()
{
    const struct {
        const char *to, *from;
    } pairs[] = {{"UTF-8", "UTF-16LE"}, {"UTF-16LE", "UTF-8"}, {"UTF-8", "UTF-32LE"}, {"UTF-8", "LATIN1"},
                 {"LATIN1//TRANSLIT", "UTF-8"}};
    for (const auto &pair : pairs)
        ::iconv_open(pair.to, pair.from);
}

bool Limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit limit{soft, hard};
    return ::setrlimit(resource, &limit) == 0;
}

bool SetLimits()
{
    bool ok = Limit(RLIMIT_CORE, 0, 0) && Limit(RLIMIT_CPU, CpuSeconds, CpuSeconds + 1) &&
              Limit(RLIMIT_FSIZE, AnswerLimit, AnswerLimit) && Limit(RLIMIT_NOFILE, 64, 64);
#ifndef VEILSHOT_ASAN
    // AddressSanitizer reserves terabytes of address space for itself.
    ok = ok && Limit(RLIMIT_AS, AddressSpaceLimit, AddressSpaceLimit);
#endif
    return ok;
}

// Landlock's rights, by the version that introduced them (the headers may be older than the
// kernel).
constexpr std::uint64_t FileRightsV1 = (std::uint64_t(1) << 13) - 1;
constexpr std::uint64_t Refer = std::uint64_t(1) << 13;     // version 2
constexpr std::uint64_t Truncate = std::uint64_t(1) << 14;  // version 3
constexpr std::uint64_t IoctlDev = std::uint64_t(1) << 15;  // version 5

// Read-only access to `folders` and nothing else on the file system, where the kernel knows
// Landlock; the system call filter still holds where it does not.
void RestrictFiles(const std::vector<std::string> &folders)
{
    const long version = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (version < 1)
        return;
    std::uint64_t handled = FileRightsV1;
    if (version >= 2)
        handled |= Refer;
    if (version >= 3)
        handled |= Truncate;
    if (version >= 5)
        handled |= IoctlDev;
    const std::uint64_t attributes[] = {handled};
    const int ruleset = int(::syscall(SYS_landlock_create_ruleset, attributes, sizeof attributes, 0));
    if (ruleset < 0)
        return;
    for (const std::string &folder : folders) {
        const int fd = ::open(folder.c_str(), O_PATH | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat status {};
        landlock_path_beneath_attr rule{};
        rule.parent_fd = fd;
        rule.allowed_access = LANDLOCK_ACCESS_FS_READ_FILE;
        if (::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode))
            rule.allowed_access |= LANDLOCK_ACCESS_FS_READ_DIR;
        ::syscall(SYS_landlock_add_rule, ruleset, LANDLOCK_RULE_PATH_BENEATH, &rule, 0);
        ::close(fd);
    }
    ::syscall(SYS_landlock_restrict_self, ruleset, 0);
    ::close(ruleset);
}

// What libseccomp's SCMP_A0..SCMP_A5 make, without the C compound literals they are made of.
scmp_arg_cmp Argument(unsigned int index, scmp_compare compare, std::uint64_t value, std::uint64_t other = 0)
{
    return scmp_arg_cmp{index, compare, value, other};
}

bool Allow(scmp_filter_ctx filter, const char *name)
{
    const int call = seccomp_syscall_resolve_name(name);
    return call == __NR_SCMP_ERROR || seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
}

template <typename... Conditions>
bool AllowIf(scmp_filter_ctx filter, const char *name, Conditions... conditions)
{
    const int call = seccomp_syscall_resolve_name(name);
    return call == __NR_SCMP_ERROR ||
           seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, sizeof...(conditions), conditions...) == 0;
}

// Everything not named here fails with EPERM.
bool InstallFilter()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return false;
    // Every thread, should a library have started one already.
    bool ok = seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1) == 0;
    for (const char *name :
         {// reading what is open or allowed by the rules below
          "read", "pread64", "readv", "preadv", "close", "fstat", "newfstatat", "stat", "lstat", "statx", "lseek",
          "getdents64", "fcntl", "readlink", "readlinkat", "access", "faccessat", "faccessat2",
          // memory
          "brk", "mmap", "munmap", "mremap", "mprotect", "madvise", "membarrier",
          // threads and their synchronisation
          "futex", "set_robust_list", "get_robust_list", "rseq", "set_tid_address", "sched_yield",
          "sched_getaffinity",
          // signals to itself, time, identity
          "rt_sigaction", "rt_sigprocmask", "rt_sigreturn", "sigaltstack", "clock_gettime", "clock_getres",
          "gettimeofday", "nanosleep", "clock_nanosleep", "getrandom", "getpid", "gettid", "getuid", "geteuid",
          "getgid", "getegid", "uname", "getcwd", "sysinfo", "getrlimit", "capget", "exit", "exit_group"})
        ok = ok && Allow(filter, name);
    const std::uint64_t writing = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND;
    ok = ok && AllowIf(filter, "openat", Argument(2, SCMP_CMP_MASKED_EQ, writing, O_RDONLY)) &&
         AllowIf(filter, "open", Argument(1, SCMP_CMP_MASKED_EQ, writing, O_RDONLY)) &&
         // messages to standard error, and the answer file alone grows
         AllowIf(filter, "write", Argument(0, SCMP_CMP_EQ, 2)) && AllowIf(filter, "writev", Argument(0, SCMP_CMP_EQ, 2)) &&
         AllowIf(filter, "ftruncate", Argument(0, SCMP_CMP_EQ, AnswerFd)) &&
         // its own capabilities are read (there are none left)
         AllowIf(filter, "prctl", Argument(0, SCMP_CMP_EQ, PR_CAPBSET_READ)) &&
         // limits are read, never raised
         AllowIf(filter, "prlimit64", Argument(2, SCMP_CMP_EQ, 0)) &&
         // threads, never processes; clone3 hides its flags, so the C library falls back to clone
         AllowIf(filter, "clone", Argument(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) &&
         seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), seccomp_syscall_resolve_name("clone3"), 0) == 0 &&
         // abort() signals its own process
         AllowIf(filter, "tgkill", Argument(0, SCMP_CMP_EQ, std::uint64_t(::getpid())));
#ifdef VEILSHOT_SANITIZED
    // The sanitizers test whether memory is readable by writing it into a pipe.
    ok = ok && Allow(filter, "pipe2") && Allow(filter, "write");
#endif
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

}  // namespace

bool Confine(const std::vector<std::string> &readableFolders)
{
    ClearEnvironment();
    if (!DropCapabilities() || !SetLimits() || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        return false;
    LoadTextConverters();
    RestrictFiles(readableFolders);
    return InstallFilter();
}

}  // namespace veilshot::imaging::decoder
