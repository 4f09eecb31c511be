#include "imaging/decoder/decoder.h"

#include "imaging/decoder/metafile.h"
#include "imaging/decoding.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImageReader>
#include <QLibraryInfo>

#include <algorithm>
#include <cstring>
#include <memory>

namespace veilshot::imaging::decoder {

namespace {

// Where fonts and Qt's plug-ins are read from while drawing.
std::vector<std::string> ReadableFolders()
{
    return {"/usr/share/fonts", "/usr/local/share/fonts", "/etc/fonts", "/var/cache/fontconfig",
            "/etc/libwmf.fontmap", "/var/lib/ghostscript/fonts",
            QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()};
}

// The answer's layout for each of Qt's that an answer takes as it is.
constexpr struct {
    QImage::Format qt;
    Layout layout;
} Layouts[] = {{QImage::Format_RGB32, Layout::Rgb32},
               {QImage::Format_ARGB32, Layout::Argb32},
               {QImage::Format_ARGB32_Premultiplied, Layout::Argb32Premultiplied},
               {QImage::Format_RGBX64, Layout::Rgbx64},
               {QImage::Format_RGBA64, Layout::Rgba64},
               {QImage::Format_RGBA64_Premultiplied, Layout::Rgba64Premultiplied},
               {QImage::Format_Grayscale8, Layout::Grey8},
               {QImage::Format_Grayscale16, Layout::Grey16}};

}  // namespace

bool AnswerPicture(const QImage &image, QSize fullSize)
{
    QImage pixels = image;
    const auto *layout = std::find_if(std::begin(Layouts), std::end(Layouts),
                                      [&](const auto &pair) { return pair.qt == image.format(); });
    if (layout == std::end(Layouts)) {
        pixels = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                               : QImage::Format_RGB32);
        layout = image.hasAlphaChannel() ? &Layouts[2] : &Layouts[0];
    }
    if (pixels.isNull())
        return AnswerRefusal(Refusal::TooLarge);
    Answer answer;
    answer.layout = std::uint32_t(layout->layout);
    answer.width = pixels.width();
    answer.height = pixels.height();
    answer.fullWidth = fullSize.width();
    answer.fullHeight = fullSize.height();
    const std::size_t line = AnswerLineBytes(pixels.width(), pixels.depth());
    const QByteArray profile = pixels.colorSpace().isValid() ? pixels.colorSpace().iccProfile() : QByteArray();
    return AnswerPixels(
        answer, [&](int y, std::uint8_t *to) { std::memcpy(to, pixels.constScanLine(y), line); },
        {reinterpret_cast<const std::uint8_t *>(profile.constData()), std::size_t(profile.size())});
}

void Run(int argc, char **argv, const ConfinedHook &confined)
{
    // Qt's readers and the metafiles; today's photo formats are veilshot-decode-photo's.
    const Request request = Begin(argc, argv, int(Format::Bmp), int(Format::Wmf));
    const auto format = Format(request.format);
    // Its messages would only reach the program's terminal, about bytes nobody there can mend.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    // Qt and the font configuration start before the doors close; the metafiles' text needs them.
    const bool metafile = format == Format::Emf || format == Format::Wmf;
    int qtArgc = 1;
    std::unique_ptr<QGuiApplication> application;
    if (metafile) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(qtArgc, argv);
        QFontDatabase::families();
    }
    const ImagingLibrary library;
    if (!metafile) {
        // The format's plug-in and the libraries it needs are loaded now: afterwards the
        // library folders are out of reach.
        QBuffer nothing;
        QImageReader(&nothing, QtFormatName(format)).canRead();
    }
    const std::span<const std::uint8_t> bytes = ConfinedInput(ReadableFolders(), confined);

    const QSize box(request.boxWidth, request.boxHeight);
    Decoded decoded;
    if (metafile) {
        decoded.image = RenderMetafile(bytes, format == Format::Emf, box, MaxPixels, &decoded.refusal);
        decoded.fullSize = decoded.image.size();  // drawn to the box: a metafile has no pixels of its own
    } else {
        decoded = DecodeRaster(bytes, format, request.boxed() ? std::optional<QSize>(box) : std::nullopt);
    }
    End(decoded.image.isNull() ? AnswerRefusal(decoded.refusal, decoded.claimedSize.width(), decoded.claimedSize.height())
                               : AnswerPicture(decoded.image, decoded.fullSize));
}

}  // namespace veilshot::imaging::decoder
