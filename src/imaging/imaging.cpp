// Decoding: pictures read from files and from memory, and their sizes read from headers.

#include "imaging/imaging.h"

#include "files/localpath.h"
#include "imaging/codecs/jpegdecode.h"
#include "imaging/common/wipedimage.h"
#include "imaging/decoding.h"

#include <QFile>
#include <QImageReader>

namespace veilshot::imaging {

namespace {

Picture Failure(const QString &name, const QString &reason)
{
    Picture picture;
    picture.error = QString::fromStdString(FileMessage("Cannot open file", LocalPath(name), reason.toStdString()));
    return picture;
}

// The formats decoded in the decoder process, where their libraries' faults reach no further:
// the metafile converters, in which fuzzing found faults, and the large parsers of today's
// photo formats (HEIF with its video decoders, JPEG XL, WebP). A start of the photo decoder,
// which has no Qt, costs 5 to 10 ms (mostly loading its libraries), the metafiles' 10 to 25 ms,
// and each a copy of the pixels: a few percent of a 12 MP HEIC's decode (bench_heic), too much
// for the classic formats, which Qt's readers decode here under its allocation limit, after
// the checks below.
bool Contained(Format format)
{
    switch (format) {
    case Format::Emf:
    case Format::Wmf:
    case Format::Heif:
    case Format::Avif:
    case Format::WebP:
    case Format::Jxl: return true;
    default: return false;
    }
}

// The decoded picture in the colours asked for.
Picture Shown(Decoded decoded, Format format, Colours colours)
{
    Picture picture;
    picture.image = colours == Colours::Display ? InDisplayColours(std::move(decoded.image), DisplayColourSpace())
                                                : std::move(decoded.image);
    picture.format = format;
    picture.fullSize = decoded.fullSize;
    return picture;
}

// A picture that memory cannot hold is a refusal of its file, like any other, never the end of
// the command or the program.
Picture Decode(std::span<const std::uint8_t> bytes, const QString &name, std::optional<QSize> box, Colours colours)
try {
    const Format format = DetectFormat(bytes);
    if (format == Format::Unknown)
        return Failure(name, bytes.empty() ? QStringLiteral("The file is empty.")
                                           : QStringLiteral("The file is not a picture of a known format."));
    Decoded decoded;
    if (format == Format::Png && !PngChunksFit(bytes))
        decoded.refusal = Refusal::PartPastTheEnd;
    else if (Contained(format))
        decoded = DecodeContained(DecoderPath(format), bytes, format, box);
    else
        decoded = DecodeRaster(bytes, format, box);
    if (decoded.image.isNull())
        return Failure(name, RefusalText(decoded, format));
    return Shown(std::move(decoded), format, colours);
} catch (const std::bad_alloc &) {
    return Failure(name, QStringLiteral("There is not enough memory for it."));
}

// A decode from memory, where the bytes are most often a deciphered photo's: its pixels moved
// into a wiped buffer and the decoder's wiped as they go. A contained decode's pixels are mapped
// read-only from the decoder's memory, which leaves this process when they are let go.
Picture DecodePrivately(std::span<const std::uint8_t> bytes, const QString &name, std::optional<QSize> box,
                        Colours colours)
{
    Picture picture = Decode(bytes, name, box, colours);
    if (!picture.ok())
        return picture;
    picture.image = IntoWiped(std::move(picture.image), !Contained(picture.format));
    if (picture.image.isNull())
        return Failure(name, QStringLiteral("The picture is too large."));
    return picture;
}

Picture OpenAndDecode(const QString &path, std::optional<QSize> box, Colours colours)
try {
    // A JPEG is decoded as it is read: a camera's photo need not be held whole beside its pixels.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        char head[3] = {};
        if (file.peek(head, 3) == 3 && DetectFormat({reinterpret_cast<const std::uint8_t *>(head), 3}) == Format::Jpeg) {
            Decoded decoded = DecodeJpeg(file, box);
            if (decoded.image.isNull())
                return Failure(path, RefusalText(decoded, Format::Jpeg));
            return Shown(std::move(decoded), Format::Jpeg, colours);
        }
    }
    std::string bytes;
    try {
        bytes = ReadWholeFile(LocalPath(path), std::uint64_t(AllocationLimitMB) << 20);
    } catch (const FileError &error) {
        Picture picture;
        picture.error = QString::fromStdString(error.what());
        return picture;
    }
    return Decode({reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()}, path, box, colours);
} catch (const std::bad_alloc &) {
    return Failure(path, QStringLiteral("There is not enough memory for it."));
}

}  // namespace

Picture OpenFile(const QString &path)
{
    return OpenAndDecode(path, std::nullopt, Colours::Display);
}

Picture OpenFile(const QString &path, QSize box)
{
    return OpenAndDecode(path, box, Colours::Display);
}

Picture OpenFile(const QString &path, std::optional<QSize> box, Colours colours)
{
    return OpenAndDecode(path, box, colours);
}

Picture DecodeMemory(std::span<const std::uint8_t> bytes, const QString &name)
{
    return DecodePrivately(bytes, name, std::nullopt, Colours::Display);
}

Picture DecodeMemory(std::span<const std::uint8_t> bytes, const QString &name, QSize box)
{
    return DecodePrivately(bytes, name, box, Colours::Display);
}

Picture DecodeMemory(std::span<const std::uint8_t> bytes, const QString &name, std::optional<QSize> box, Colours colours)
{
    return DecodePrivately(bytes, name, box, colours);
}

QSize MeasureFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(4096);
    const Format format = DetectFormat({reinterpret_cast<const std::uint8_t *>(head.constData()), std::size_t(head.size())});
    if (Contained(format) && format != Format::Emf && format != Format::Wmf) {
        // Their headers are for the decoder process to read too; the smallest box asks it for
        // the least work (a HEIF's thumbnail, when it has one).
        const Picture picture = OpenFile(path, QSize(1, 1));
        return picture.ok() ? picture.fullSize : QSize();
    }
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (!size.isValid())
        return {};
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        size.transpose();
    return size;
}

QSize ReducedSizeFor(QSize full, QSize box)
{
    return FittedSize(full, box);
}

QSize PixelSize(const QImage &image)
{
    return image.size();
}

}  // namespace veilshot::imaging
