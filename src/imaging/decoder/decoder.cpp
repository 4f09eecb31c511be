#include "imaging/decoder/decoder.h"

#include "imaging/decoder/confine.h"
#include "imaging/decoder/metafile.h"
#include "imaging/decoder/photodecoders.h"
#include "imaging/decoderprotocol.h"
#include "imaging/decoding.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QLibraryInfo>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

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

// Where fonts and Qt's plug-ins are read from while drawing.
std::vector<std::string> ReadableFolders()
{
    return {"/usr/share/fonts", "/usr/local/share/fonts", "/etc/fonts", "/var/cache/fontconfig",
            "/etc/libwmf.fontmap", "/var/lib/ghostscript/fonts",
            QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()};
}

bool WriteAnswer(Answer answer, const QImage &pixels)
{
    const std::size_t line = pixels.isNull() ? 0 : AnswerLineBytes(pixels.width(), pixels.depth());
    const std::size_t pixelBytes = line * std::size_t(std::max(0, pixels.height()));
    QByteArray profile = pixels.colorSpace().isValid() ? pixels.colorSpace().iccProfile() : QByteArray();
    if (std::size_t(profile.size()) > ProfileBytesLimit)
        profile.clear();  // shown as sRGB rather than not at all
    answer.profileBytes = std::uint32_t(profile.size());
    const std::size_t length = sizeof answer + pixelBytes + std::size_t(profile.size());
    if (::ftruncate(AnswerFd, off_t(length)) != 0)
        return false;
    void *address = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, AnswerFd, 0);
    if (address == MAP_FAILED)
        return false;
    auto *bytes = static_cast<unsigned char *>(address);
    std::memcpy(bytes, &answer, sizeof answer);
    for (int y = 0; y < pixels.height(); ++y)
        std::memcpy(bytes + sizeof answer + line * std::size_t(y), pixels.constScanLine(y), line);
    if (!profile.isEmpty())
        std::memcpy(bytes + sizeof answer + pixelBytes, profile.constData(), std::size_t(profile.size()));
    return ::munmap(address, length) == 0;
}

bool AnswerRefusal(const Decoded &decoded)
{
    Answer answer;
    answer.refusal = std::uint32_t(decoded.refusal == Refusal::None ? Refusal::Damaged : decoded.refusal);
    if (decoded.claimedSize.isValid()) {
        answer.fullWidth = decoded.claimedSize.width();
        answer.fullHeight = decoded.claimedSize.height();
    }
    return WriteAnswer(answer, {});
}

}  // namespace

bool AnswerPicture(const QImage &image, QSize fullSize)
{
    QImage pixels = image;
    if (std::find(std::begin(AnswerFormats), std::end(AnswerFormats), image.format()) == std::end(AnswerFormats))
        pixels = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                               : QImage::Format_RGB32);
    if (pixels.isNull())
        return AnswerRefusal(Decoded{.refusal = Refusal::TooLarge});
    Answer answer;
    answer.format = std::uint32_t(pixels.format());
    answer.width = pixels.width();
    answer.height = pixels.height();
    answer.fullWidth = fullSize.width();
    answer.fullHeight = fullSize.height();
    return WriteAnswer(answer, pixels);
}

void Run(int argc, char **argv, const std::function<void(std::span<const std::uint8_t>)> &confined)
{
    const std::optional<int> format = argc == 4 ? Number(argv[1], int(Format::Bmp), int(LastFormat)) : std::nullopt;
    const std::optional<int> boxWidth = argc == 4 ? Number(argv[2], 0, 1 << 20) : std::nullopt;
    const std::optional<int> boxHeight = argc == 4 ? Number(argv[3], 0, 1 << 20) : std::nullopt;
    if (!format || !boxWidth || !boxHeight)
        ::_exit(BadArguments);
    // Its messages would only reach the program's terminal, about bytes nobody there can mend.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // Nothing open but the input, the answer and the standard descriptors.
    ::close_range(AnswerFd + 1, ~0U, 0);

    // Qt and the font configuration start before the doors close; the metafiles' text needs them.
    const bool metafile = Format(*format) == Format::Emf || Format(*format) == Format::Wmf;
    int qtArgc = 1;
    std::unique_ptr<QGuiApplication> application;
    if (metafile) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(qtArgc, argv);
        QFontDatabase::families();
    }
    const ImagingLibrary library;
    if (!metafile && !QtFormatName(Format(*format)).isEmpty()) {
        // The format's plug-in and the libraries it needs are loaded now: afterwards the
        // library folders are out of reach.
        QBuffer nothing;
        QImageReader(&nothing, QtFormatName(Format(*format))).canRead();
    }
    if (!Confine(ReadableFolders()))
        ::_exit(NotConfined);

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

    const QSize box(*boxWidth, *boxHeight);
    Decoded decoded;
    if (metafile) {
        decoded.image = RenderMetafile(bytes, Format(*format) == Format::Emf, box, MaxPixels, &decoded.refusal);
        decoded.fullSize = decoded.image.size();  // drawn to the box: a metafile has no pixels of its own
    } else if (Format(*format) == Format::Heif || Format(*format) == Format::Avif) {
        decoded = DecodeHeif(bytes, box.isEmpty() ? std::nullopt : std::optional<QSize>(box));
    } else if (Format(*format) == Format::Jxl) {
        decoded = DecodeJxl(bytes);
    } else {
        decoded = DecodeRaster(bytes, Format(*format), box.isEmpty() ? std::nullopt : std::optional<QSize>(box));
    }
    const bool answered = decoded.image.isNull() ? AnswerRefusal(decoded) : AnswerPicture(decoded.image, decoded.fullSize);
    // Tearing Qt down would only cost time.
    ::_exit(answered ? Answered : NoAnswer);
}

}  // namespace veilshot::imaging::decoder
