// A decoder process with a fault injected once it has confined itself: the input names what it
// tries. When something it must not be able to do succeeds, it answers with a picture; the
// tests expect none. "picture" answers one, and "convert" does when the text converters that the
// EMF library opens work under the confinement. Built as each decoder: veilshot-decode, and
// with FAULT_PHOTO_DECODER veilshot-decode-photo, which has no Qt.

#ifdef FAULT_PHOTO_DECODER
#include "imaging/decoder/photodecoder.h"
#else
#include "imaging/decoder/decoder.h"
#endif

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <iconv.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

extern char **environ;

namespace {

// The variables it was started with, where they were handed in, and as they were then.
std::vector<const char *> inherited;
std::vector<std::string> startedWith;

bool HoldsCapabilities()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, sets) != 0)
        return true;  // cannot tell
    for (const __user_cap_data_struct &set : sets) {
        if (set.effective != 0 || set.permitted != 0 || set.inheritable != 0)
            return true;
    }
    for (unsigned long capability = 0;; ++capability) {
        const int held = ::prctl(PR_CAPBSET_READ, capability, 0, 0, 0);
        if (held < 0)
            return errno != EINVAL;  // EINVAL past the last capability
        // A process without CAP_SETPCAP cannot empty its bounding set, nor has it any use for it.
        if (held == 1 && ::getuid() == 0)
            return true;
    }
}

// The conversions the EMF library makes of the texts it draws.
bool ConvertsText()
{
    const struct {
        const char *to, *from;
    } pairs[] = {{"UTF-8", "UTF-16LE"}, {"UTF-16LE", "UTF-8"}, {"UTF-8", "UTF-32LE"}, {"UTF-8", "LATIN1"},
                 {"LATIN1//TRANSLIT", "UTF-8"}};
    for (const auto &pair : pairs) {
        const iconv_t converter = ::iconv_open(pair.to, pair.from);
        if (converter == iconv_t(-1))
            return false;
        ::iconv_close(converter);
    }
    return true;
}

bool KeepsEnvironment()
{
    if (environ && *environ)
        return true;
    for (const char *variable : inherited) {
        if (*variable != '\0')
            return true;
    }
    return false;
}

// Two red pixels.
void Escaped()
{
    using namespace veilshot::imaging::decoder;
    Answer answer;
    answer.layout = std::uint32_t(Layout::Rgb32);
    answer.width = answer.fullWidth = 2;
    answer.height = answer.fullHeight = 1;
    const std::uint32_t red[2] = {0xFFFF0000u, 0xFFFF0000u};
    AnswerPixels(answer, [&](int, std::uint8_t *to) { std::memcpy(to, red, sizeof red); });
    ::_exit(0);
}

void Fault(std::span<const std::uint8_t> input)
{
    const std::string text(input.begin(), input.end());
    const std::string command = text.substr(0, text.find(' '));
    const std::string argument = text.find(' ') == std::string::npos ? "" : text.substr(text.find(' ') + 1);
    if (command == "picture" || (command == "convert" && ConvertsText()))
        Escaped();
    if (command == "crash")
        *static_cast<volatile int *>(nullptr) = 1;
    if (command == "abort")
        std::abort();
    if (command == "spin") {
        std::atomic<unsigned long> turns = 0;
        for (;;)
            turns.fetch_add(1, std::memory_order_relaxed);
    }
    if (command == "sleep")
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    if (command == "allocate") {
        // What the WMF library asks for on a damaged header, touched page by page.
        const std::size_t size = std::size_t(8) << 30;
        if (auto *memory = static_cast<char *>(std::malloc(size))) {
            for (std::size_t at = 0; at < size; at += 4096)
                memory[at] = 1;
            Escaped();
        }
    }
    if (command == "create" && ::open(argument.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0)
        Escaped();
    if (command == "read" && ::open(argument.c_str(), O_RDONLY) >= 0)
        Escaped();
    if (command == "socket" && ::socket(AF_UNIX, SOCK_STREAM, 0) >= 0)
        Escaped();
    if (command == "fork") {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        if (child > 0)
            Escaped();
    }
    if (command == "signal" && ::kill(::getppid(), 0) == 0)
        Escaped();
    // A signal to a thread of another process, by the call abort() is let make to its own.
    if (command == "tgkill" && ::syscall(SYS_tgkill, std::stol(argument), std::stol(argument), 0) == 0)
        Escaped();
    if (command == "capabilities" && HoldsCapabilities())
        Escaped();
    if (command == "environment" && KeepsEnvironment())
        Escaped();
    if (command == "started-with") {  // the variable named was handed to it at its start
        for (const std::string &variable : startedWith) {
            if (variable.starts_with(argument + "="))
                Escaped();
        }
    }
    // Refused as it should be: no answer at all.
    ::_exit(0);
}

}  // namespace

int main(int argc, char **argv)
{
    for (char **variable = environ; variable && *variable; ++variable) {
        inherited.push_back(*variable);
        startedWith.emplace_back(*variable);
    }
#ifdef FAULT_PHOTO_DECODER
    veilshot::imaging::decoder::RunPhoto(argc, argv, Fault);
#else
    veilshot::imaging::decoder::Run(argc, argv, Fault);
#endif
}
