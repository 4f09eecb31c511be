// The program's side of the decoder process: hands it the bytes in a memory file, stops it when
// its time is up, and takes its pixels from the memory file it answered in, trusting nothing
// it says.

#include "imaging/contained/contained.h"

#include "imaging/contained/decoderprotocol.h"

#include <QImage>

#include <QPointF>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veilshot::imaging {

static_assert(decoder::PixelsLimit == MaxPixels);
static_assert(int(decoder::PhotoFormat::Heif) == int(Format::Heif) && int(decoder::PhotoFormat::Avif) == int(Format::Avif) &&
              int(decoder::PhotoFormat::WebP) == int(Format::WebP) && int(decoder::PhotoFormat::Jxl) == int(Format::Jxl) &&
              LastFormat == Format::Jxl);

namespace {

// Each layout of an answer as Qt names it.
constexpr QImage::Format QtLayouts[] = {
    QImage::Format_RGB32,  QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGBX64,
    QImage::Format_RGBA64, QImage::Format_RGBA64_Premultiplied, QImage::Format_Grayscale8, QImage::Format_Grayscale16};
static_assert(std::size(QtLayouts) == std::size_t(decoder::LastLayout) + 1);

bool ForPhotoDecoder(Format format)
{
    return format == Format::Heif || format == Format::Avif || format == Format::WebP || format == Format::Jxl;
}

// Coordinates of a chromaticity: inside the unit square, and not on its edge.
bool Chromaticity(const float (&xy)[2])
{
    return std::isfinite(xy[0]) && std::isfinite(xy[1]) && xy[0] > 0 && xy[0] < 1 && xy[1] > 0 && xy[1] < 1;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.subspan(std::size_t(written));
    }
    return true;
}

// What a decoder is started with of the program's environment: nothing of the user's, as the
// loader and the libraries' constructors read it before the decoder confines itself; in
// sanitized builds the sanitizers' settings, so that it reports and fails as the program does.
std::vector<std::string> DecoderEnvironment()
{
    std::vector<std::string> kept;
#ifdef VEILSHOT_SANITIZED
    for (const char *name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        if (const char *value = std::getenv(name))
            kept.push_back(std::string(name) + "=" + value);
    }
#endif
    return kept;
}

// Starts the decoder with the input on descriptor 3, the answer on 4 and the pipe that says
// when the input is whole on 5; -1 with `failure` set when it cannot be.
pid_t Start(const std::filesystem::path &decoder, int input, int answer, int ready, Format format,
            std::optional<QSize> box, int &failure)
{
    // Above 5, so that placing one on 3, 4 or 5 cannot overwrite another.
    const Descriptor in(::fcntl(input, F_DUPFD_CLOEXEC, 10));
    const Descriptor out(::fcntl(answer, F_DUPFD_CLOEXEC, 10));
    const Descriptor whole(::fcntl(ready, F_DUPFD_CLOEXEC, 10));
    failure = EMFILE;
    if (!in || !out || !whole)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
#ifndef VEILSHOT_SANITIZED
    // Whatever it read must not reach a terminal or a log: a decoder taken over by its input
    // could write there. Sanitized builds keep the sanitizers' reports.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#endif
    posix_spawn_file_actions_adddup2(&actions, in.get(), decoder::InputFd);
    posix_spawn_file_actions_adddup2(&actions, out.get(), decoder::AnswerFd);
    posix_spawn_file_actions_adddup2(&actions, whole.get(), decoder::ReadyFd);
    // Nothing blocked or ignored: the limits' signals must end it.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const QSize size = box && box->isValid() ? box->boundedTo(QSize(1 << 20, 1 << 20)) : QSize(0, 0);
    std::string arguments[] = {decoder.string(), std::to_string(int(format)), std::to_string(size.width()),
                               std::to_string(size.height())};
    char *argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(), arguments[3].data(), nullptr};
    std::vector<std::string> environment = DecoderEnvironment();
    std::vector<char *> envp;
    for (std::string &variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    failure = posix_spawn(&pid, decoder.c_str(), &actions, &attributes, argv, envp.data());
    if (failure != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Whether the decoder ended by itself, successfully, within `limit`; it is killed when not.
bool Finished(pid_t pid, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limit;
    const Descriptor process(int(::syscall(SYS_pidfd_open, pid, 0)));
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0 && errno != EINTR)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        if (process) {
            pollfd ended{process.get(), POLLIN, 0};
            ::poll(&ended, 1, int(left.count()));
        } else {
            ::usleep(useconds_t(std::min<long long>(left.count(), 2) * 1000));
        }
    }
}

struct Mapping {
    void *address;
    std::size_t length;
};

void Unmap(void *info)
{
    const auto *mapping = static_cast<Mapping *>(info);
    ::munmap(mapping->address, mapping->length);
    delete mapping;
}

Decoded ReadAnswer(int fd)
{
    struct stat status {};
    decoder::Answer answer;
    if (::fstat(fd, &status) != 0 || std::uint64_t(status.st_size) < sizeof answer ||
        ::pread(fd, &answer, sizeof answer, 0) != ssize_t(sizeof answer) || answer.magic != decoder::AnswerMagic)
        return Refused(Refusal::DecoderFailed);
    const auto refusal = Refusal(answer.refusal);
    if (refusal != Refusal::None) {
        // Only what a decoder can find in the bytes; its own failures it cannot report.
        if (answer.refusal > std::uint32_t(Refusal::PartPastTheEnd))
            return Refused(Refusal::DecoderFailed);
        Decoded decoded = Refused(refusal);
        if (refusal == Refusal::TooLargeSized && answer.fullWidth > 0 && answer.fullHeight > 0)
            decoded.claimedSize = QSize(answer.fullWidth, answer.fullHeight);
        else if (refusal == Refusal::TooLargeSized)
            decoded.refusal = Refusal::TooLarge;
        return decoded;
    }
    if (answer.width <= 0 || answer.height <= 0 || qint64(answer.width) * answer.height > MaxPixels ||
        answer.fullWidth <= 0 || answer.fullHeight <= 0 || answer.layout > std::uint32_t(decoder::LastLayout))
        return Refused(Refusal::DecoderFailed);
    const QImage::Format format = QtLayouts[answer.layout];
    const std::size_t line = decoder::AnswerLineBytes(answer.width, decoder::BitsPerPixel(decoder::Layout(answer.layout)));
    const std::uint64_t pixelBytes = std::uint64_t(line) * std::uint64_t(answer.height);
    if (pixelBytes > decoder::PixelBytesLimit || answer.profileBytes > decoder::ProfileBytesLimit ||
        std::uint64_t(status.st_size) != sizeof answer + pixelBytes + answer.profileBytes)
        return Refused(Refusal::DecoderFailed);
    QColorSpace colours = ColourSpaceOf(answer.colours);
    if (answer.profileBytes > 0) {
        QByteArray profile(qsizetype(answer.profileBytes), Qt::Uninitialized);
        if (::pread(fd, profile.data(), answer.profileBytes, off_t(sizeof answer + pixelBytes)) !=
            ssize_t(answer.profileBytes))
            return Refused(Refusal::DecoderFailed);
        // A profile Qt cannot use leaves the picture as sRGB, as one without a profile.
        colours = QColorSpace::fromIccProfile(profile);
    }
    const std::size_t length = std::size_t(status.st_size);
    // Every page is read: mapped at once rather than a fault at a time.
    void *address = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (address == MAP_FAILED)
        return Refused(Refusal::DecoderFailed);
    Decoded decoded;
    // Read-only pixels: whoever writes to them gets a copy.
    decoded.image = QImage(static_cast<const uchar *>(address) + sizeof answer, answer.width, answer.height,
                           qsizetype(line), format, Unmap, new Mapping{address, length});
    decoded.image.setColorSpace(colours);
    decoded.fullSize = QSize(answer.fullWidth, answer.fullHeight);
    return decoded;
}

}  // namespace

Decoded DecodeContained(const std::filesystem::path &decoder, std::span<const std::uint8_t> bytes, Format format,
                        std::optional<QSize> box, std::chrono::milliseconds timeLimit)
{
    if (decoder.empty())
        return Refused(Refusal::DecoderMissing);
    const Descriptor input(::memfd_create("veilshot-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    const Descriptor answer(::memfd_create("veilshot-pixels", MFD_CLOEXEC));
    int pipe[2] = {-1, -1};
    if (!input || !answer || ::pipe2(pipe, O_CLOEXEC) != 0)
        return Refused(Refusal::DecoderFailed);
    const Descriptor ready(pipe[0]);
    Descriptor whole(pipe[1]);
    int failure = 0;
    const pid_t pid = Start(decoder, input.get(), answer.get(), ready.get(), format, box, failure);
    if (pid < 0)
        return Refused(failure == ENOENT || failure == EACCES || failure == ENOEXEC ? Refusal::DecoderMissing
                                                                                   : Refusal::DecoderFailed);
    // Written while the decoder loads its libraries, which takes longer; sealed, so that what it
    // reads stays what was written.
    const bool written = WriteAll(input.get(), bytes) &&
                         ::fcntl(input.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0;
    whole.Close();
    if (!Finished(pid, written ? timeLimit : std::chrono::milliseconds(0)) || !written)
        return Refused(Refusal::DecoderFailed);
    return ReadAnswer(answer.get());
}

QColorSpace ColourSpaceOf(const decoder::CodedColours &colours)
{
    // Transfer: 1, 6, 14 and 15 are the television curves, shown as sRGB as every decoder does;
    // curves Qt cannot express (PQ, HLG) are shown the same way.
    QColorSpace::TransferFunction transfer = QColorSpace::TransferFunction::SRgb;
    float gamma = 0;
    switch (colours.transfer) {
    case 4: transfer = QColorSpace::TransferFunction::Gamma, gamma = 2.2f; break;
    case 5: transfer = QColorSpace::TransferFunction::Gamma, gamma = 2.8f; break;
    case 8: transfer = QColorSpace::TransferFunction::Linear; break;
    default: break;
    }
    const bool srgbPrimaries = colours.primaries == 1 || colours.primaries == 2;
    if (srgbPrimaries && transfer == QColorSpace::TransferFunction::SRgb)
        return {};
    if (srgbPrimaries)
        return QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    if (colours.primaries == 12)
        return QColorSpace(QColorSpace::Primaries::DciP3D65, transfer, gamma);
    if (!Chromaticity(colours.white) || !Chromaticity(colours.red) || !Chromaticity(colours.green) ||
        !Chromaticity(colours.blue))
        return {};
    const auto point = [](const float(&xy)[2]) { return QPointF(xy[0], xy[1]); };
    return QColorSpace(point(colours.white), point(colours.red), point(colours.green), point(colours.blue), transfer,
                       gamma);
}

const char *DecoderName(Format format)
{
    return ForPhotoDecoder(format) ? "veilshot-decode-photo" : "veilshot-decode";
}

std::filesystem::path DecoderPath(Format format)
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return {};
    const std::filesystem::path installed =
        (self.parent_path() / VEILSHOT_DECODERS_FROM_PROGRAM / DecoderName(format)).lexically_normal();
    if (std::filesystem::is_regular_file(installed, error))
        return installed;
    // Programs and tests run from the build tree use the decoders built beside them, and only they.
    const std::filesystem::path tree = VEILSHOT_BUILD_TREE;
    const std::filesystem::path built =
        ForPhotoDecoder(format) ? VEILSHOT_PHOTO_DECODER_IN_BUILD_TREE : VEILSHOT_DECODER_IN_BUILD_TREE;
    const auto [treeEnd, selfAt] = std::mismatch(tree.begin(), tree.end(), self.begin(), self.end());
    if (treeEnd == tree.end() && std::filesystem::is_regular_file(built, error))
        return built;
    return {};
}

}  // namespace veilshot::imaging
