#include "imaging/decoder/process.h"

#include "imaging/decoder/confine.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veilshot::imaging::decoder {

namespace {

enum Exit { Answered = 0, BadArguments = 2, NotConfined = 3, NoInput = 4, NoAnswer = 5 };

std::optional<int> Number(const char *text, int smallest, int largest)
{
    int value = -1;
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || value < smallest || value > largest)
        return std::nullopt;
    return value;
}

}  // namespace

Request Begin(int argc, char **argv, int first, int last)
{
    const std::optional<int> format = argc == 4 ? Number(argv[1], first, last) : std::nullopt;
    const std::optional<int> boxWidth = argc == 4 ? Number(argv[2], 0, 1 << 20) : std::nullopt;
    const std::optional<int> boxHeight = argc == 4 ? Number(argv[3], 0, 1 << 20) : std::nullopt;
    if (!format || !boxWidth || !boxHeight)
        ::_exit(BadArguments);
    // Nothing open but the input, the answer, the pipe and the standard descriptors.
    ::close_range(ReadyFd + 1, ~0U, 0);
    return {*format, *boxWidth, *boxHeight};
}

std::span<const std::uint8_t> ConfinedInput(const std::vector<std::string> &readableFolders,
                                            const ConfinedHook &confined)
{
    if (!Confine(readableFolders))
        ::_exit(NotConfined);
    // The input is whole once the program has closed its end of the pipe and sealed it.
    char nothing = 0;
    while (::read(ReadyFd, &nothing, 1) < 0 && errno == EINTR) {
    }
    ::close(ReadyFd);
    const int seals = ::fcntl(InputFd, F_GET_SEALS);
    if (seals < 0 || !(seals & F_SEAL_WRITE))
        ::_exit(NoInput);
    struct stat status {};
    if (::fstat(InputFd, &status) != 0)
        ::_exit(NoInput);
    const std::size_t size = std::size_t(status.st_size);
    const void *address = size ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, InputFd, 0) : nullptr;
    if (address == MAP_FAILED)
        ::_exit(NoInput);
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t *>(address), size);
    if (confined)
        confined(bytes);
    return bytes;
}

bool AnswerPixels(Answer answer, const std::function<void(int y, std::uint8_t *to)> &line,
                  std::span<const std::uint8_t> profile)
{
    if (answer.layout > std::uint32_t(LastLayout) || answer.width < 0 || answer.height < 0)
        return false;
    const std::size_t lineBytes = AnswerLineBytes(answer.width, BitsPerPixel(Layout(answer.layout)));
    const std::size_t pixelBytes = lineBytes * std::size_t(answer.height);
    if (profile.size() > ProfileBytesLimit)
        profile = {};
    answer.profileBytes = std::uint32_t(profile.size());
    const std::size_t length = sizeof answer + pixelBytes + profile.size();
    if (pixelBytes > PixelBytesLimit || ::ftruncate(AnswerFd, off_t(length)) != 0)
        return false;
    // Every page is written: made at once rather than one fault at a time.
    void *address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, AnswerFd, 0);
    if (address == MAP_FAILED)
        return false;
    auto *bytes = static_cast<std::uint8_t *>(address);
    std::memcpy(bytes, &answer, sizeof answer);
    for (int y = 0; y < answer.height; ++y)
        line(y, bytes + sizeof answer + lineBytes * std::size_t(y));
    if (!profile.empty())
        std::memcpy(bytes + sizeof answer + pixelBytes, profile.data(), profile.size());
    return ::munmap(address, length) == 0;
}

bool AnswerRefusal(Refusal refusal, int claimedWidth, int claimedHeight)
{
    Answer answer;
    answer.refusal = std::uint32_t(refusal == Refusal::None ? Refusal::Damaged : refusal);
    answer.fullWidth = claimedWidth;
    answer.fullHeight = claimedHeight;
    return AnswerPixels(answer, nullptr);
}

void End(bool answered)
{
    // Tearing the libraries down would only cost time.
    ::_exit(answered ? Answered : NoAnswer);
}

}  // namespace veilshot::imaging::decoder
