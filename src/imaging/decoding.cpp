#include "imaging/decoding.h"

#include "imaging/codecs/jpegdecode.h"
#include "imaging/metadata/bytes.h"
#include "imaging/metadata/structure.h"

#include <QBuffer>
#include <QImageReader>

namespace veilshot::imaging {

QByteArray QtFormatName(Format format)
{
    switch (format) {
    case Format::Bmp: return "bmp";
    case Format::Jpeg: return "jpeg";
    case Format::Png: return "png";
    case Format::Gif: return "gif";
    case Format::Tiff: return "tiff";
    case Format::Ico: return "ico";
    case Format::WebP: return "webp";
    default: return {};
    }
}

QString RefusalText(const Decoded &decoded, Format format)
{
    const bool metafile = format == Format::Emf || format == Format::Wmf;
    switch (decoded.refusal) {
    case Refusal::TooLargeSized:
        return QStringLiteral("The picture is too large (%1 x %2 pixels).")
            .arg(decoded.claimedSize.width())
            .arg(decoded.claimedSize.height());
    case Refusal::TooLarge: return QStringLiteral("The picture is too large.");
    case Refusal::MetafileNeedsFonts:
        return QStringLiteral("The metafile cannot be drawn: the fonts for Windows metafiles are not "
                              "installed (package fonts-urw-base35).");
    case Refusal::MetafileNoSize: return QStringLiteral("The metafile has no size.");
    case Refusal::PartPastTheEnd:
        return QStringLiteral("The picture is damaged: a part of it claims more bytes than the file holds.");
    case Refusal::DecoderMissing:
        return QStringLiteral("The picture cannot be drawn: the program's decoder (%1) is not installed.")
            .arg(QLatin1String(DecoderName(format)));
    case Refusal::MetafileDamaged:
    case Refusal::DecoderFailed:
        return metafile ? QStringLiteral("The metafile is damaged or cannot be drawn.")
                        : QStringLiteral("The picture is damaged or cannot be drawn.");
    case Refusal::None:
    case Refusal::Damaged: break;
    }
    return QStringLiteral("The picture is damaged or incomplete.");
}

Decoded DecodeRaster(std::span<const std::uint8_t> bytes, Format format, std::optional<QSize> box)
{
    // The BMP reader fills a cut-off file with whatever; its header names the file's size.
    if (format == Format::Bmp && (bytes.size() < 6 || Le32(bytes, 2) > bytes.size()))
        return Refused(Refusal::Damaged);

    if (format == Format::Jpeg)
        return DecodeJpeg(bytes, box);
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QtFormatName(format));
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);

    const QSize size = reader.size();
    if (size.isValid() && qint64(size.width()) * size.height() > MaxPixels)
        return Refused(Refusal::TooLargeSized, size);
    if (format == Format::Gif && bytes.size() >= 10) {
        // The reader makes the logical screen, whatever the images in it.
        const QSize screen(Read16(bytes, 6, false), Read16(bytes, 8, false));
        if (qint64(screen.width()) * screen.height() > GifPixelsBound(bytes.size()))
            return Refused(Refusal::TooLargeSized, screen);
    }
    Decoded decoded;
    if (!reader.read(&decoded.image) || decoded.image.isNull())
        return Refused(Refusal::Damaged);
    decoded.image = Upright(std::move(decoded.image), reader.transformation());
    if (qint64(decoded.image.width()) * decoded.image.height() > MaxPixels)
        return Refused(Refusal::TooLarge);
    decoded.fullSize = size.isValid() ? size : decoded.image.size();
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        decoded.fullSize.transpose();
    if (decoded.fullSize.width() < decoded.image.width() || decoded.fullSize.height() < decoded.image.height())
        decoded.fullSize = decoded.image.size();
    return decoded;
}

qint64 GifPixelsBound(std::size_t bytes)
{
    // An LZW code stands for at most 4096 pixels and takes at least two bits: four codes a byte.
    return std::max<qint64>(4 * 4096 * qint64(bytes), qint64(16) << 20);
}

bool PngChunksFit(std::span<const std::uint8_t> bytes)
{
    return PngChunksOf(bytes).whole;  // without an end chunk too: the decoder says so
}

bool EmfRecordsFit(std::span<const std::uint8_t> bytes)
{
    // Records of type (1 to 122, the end record 14) and size (a multiple of 4, at least 8)
    // and what the size covers.
    constexpr std::uint32_t LastType = 122, EndType = 14;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 8)
            return false;
        const std::uint32_t type = Le32(bytes, at), size = Le32(bytes, at + 4);
        if (type == 0 || type > LastType || size < 8 || size % 4 != 0 || size > bytes.size() - at)
            return false;
        if (type == EndType)
            return true;
        at += size;
    }
    return true;  // no end record: the converter says so
}

}  // namespace veilshot::imaging
