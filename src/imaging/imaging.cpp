#include "imaging/imaging.h"

#include "files/localpath.h"

#include "imaging/common/wipedimage.h"
#include "imaging/decoding.h"
#include "imaging/gifwriter.h"
#include "imaging/jpegdecode.h"
#include "imaging/jpegturn.h"
#include "imaging/metadata/bytes.h"
#include "imaging/metadata/metadata.h"
#include "imaging/pngwriter.h"
#include "imaging/tiffwriter.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPixmap>
#include <QTransform>

#include <turbojpeg.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace veilshot::imaging {

namespace {

int TurboSubsampling(Subsampling subsampling)
{
    switch (subsampling) {
    case Subsampling::S444: return TJSAMP_444;
    case Subsampling::S422: return TJSAMP_422;
    case Subsampling::Gray: return TJSAMP_GRAY;
    case Subsampling::S440: return TJSAMP_440;
    case Subsampling::S411: return TJSAMP_411;
    case Subsampling::S420:
    case Subsampling::Unknown: break;
    }
    return TJSAMP_420;
}

// The picture's pixels brought back into the colour space of `icc`, the profile of the photo it
// was decoded from, where the decode took them out of it; otherwise as it is.
QImage InProfile(QImage image, const std::vector<std::uint8_t> &icc)
{
    if (icc.empty() || !image.colorSpace().isValid())
        return image;
    const QColorSpace own = QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char *>(icc.data()), qsizetype(icc.size())));
    if (own.isValid() && own != image.colorSpace())
        image.convertToColorSpace(own);
    return image;
}

// A JPEG of `image` at `quality` with the subsampling and the metadata blocks `carried` from
// the photo it was made from. The pixels are brought back into the colour space of the
// carried profile where the decode took them out of it, so the profile describes them again.
QByteArray EncodeJpegCarrying(QImage image, int quality, const JpegMetadata &carried)
{
    image = InProfile(std::move(image), IccProfileOf(carried)).convertToFormat(QImage::Format_RGB32);
    tjhandle handle = tjInitCompress();
    if (!handle)
        return {};
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    const int failed = tjCompress2(handle, image.constBits(), image.width(), int(image.bytesPerLine()), image.height(),
                                   QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TJPF_BGRX : TJPF_XRGB, &out, &outSize,
                                   TurboSubsampling(carried.subsampling), std::clamp(quality, 1, 100), TJFLAG_ACCURATEDCT);
    QByteArray encoded;
    if (!failed && out && outSize > 0) {
        const auto whole = WithSegments(std::span<const std::uint8_t>(out, outSize), carried.segments);
        encoded = QByteArray(reinterpret_cast<const char *>(whole.data()), qsizetype(whole.size()));
    }
    tjFree(out);
    tjDestroy(handle);
    return encoded;
}

// A preview is the photo's width and height (4 bytes each, little-endian), then the picture: a
// JPEG, or a PNG where the photo has transparent parts.
constexpr std::size_t PreviewSizeBytes = 8;
constexpr int PreviewQuality = 85;
constexpr std::uint32_t MaxPreviewedSide = 1u << 20;

// The profile that describes the picture's colours, to be written with it; none for sRGB, which
// a file without a profile is taken to be.
std::vector<std::uint8_t> ProfileOf(const QImage &image)
{
    const QColorSpace colours = image.colorSpace();
    if (!colours.isValid() || colours == QColorSpace(QColorSpace::SRgb))
        return {};
    const QByteArray icc = colours.iccProfile();
    return {icc.begin(), icc.end()};
}

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

struct Encoder {
    const char *mime;
    Format format;
};

constexpr std::array<Encoder, 5> Encoders = {{
    {"image/bmp", Format::Bmp},
    {"image/jpeg", Format::Jpeg},
    {"image/gif", Format::Gif},
    {"image/tiff", Format::Tiff},
    {"image/png", Format::Png},
}};

void WriteBytes(const QString &path, const char *data, std::size_t size, AtomicFile::Mode mode,
                AtomicFile::Access access = AtomicFile::Access::Usual)
{
    AtomicFile file(LocalPath(path), AtomicFile::Naming::Unnamed, access);
    file.write(data, size);
    file.commit(mode);
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

QImage BlankBitmap(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

std::unique_ptr<QPainter> Surface(QPaintDevice &target)
{
    auto painter = std::make_unique<QPainter>(&target);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setRenderHint(QPainter::Antialiasing);
    return painter;
}

QImage StretchedTo(const QImage &source, QSize size)
{
    if (source.isNull() || size.isEmpty())
        return {};
    return source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void DrawScaled(QPainter &surface, const QImage &source, const QRect &target)
{
    surface.drawImage(target, source);
}

void DrawTurned(QPainter &surface, const QImage &source, const QPoint &topLeft, const QPoint &topRight,
                const QPoint &bottomLeft)
{
    if (source.isNull())
        return;
    const int w = source.width();
    const int h = source.height();
    const QPoint u = topRight - topLeft;   // where the top edge goes
    const QPoint v = bottomLeft - topLeft;  // where the left edge goes

    int angle = -1;
    if (u == QPoint(w, 0) && v == QPoint(0, h))
        angle = 0;
    else if (u == QPoint(0, w) && v == QPoint(-h, 0))
        angle = 90;
    else if (u == QPoint(-w, 0) && v == QPoint(0, -h))
        angle = 180;
    else if (u == QPoint(0, -w) && v == QPoint(h, 0))
        angle = 270;
    if (angle >= 0) {
        // Quarter turns: whole-pixel moves, right: (x, y) -> (h - 1 - y, x).
        const QImage turned = angle == 0 ? source : source.transformed(QTransform().rotate(angle));
        const QPoint origin(topLeft.x() + std::min(0, u.x()) + std::min(0, v.x()),
                            topLeft.y() + std::min(0, u.y()) + std::min(0, v.y()));
        surface.drawImage(origin, turned);
        return;
    }
    surface.save();
    surface.setTransform(QTransform(double(u.x()) / w, double(u.y()) / w, double(v.x()) / h, double(v.y()) / h,
                                    topLeft.x(), topLeft.y()),
                         true);
    surface.drawImage(QPoint(0, 0), source);
    surface.restore();
}

int FindEncoderByMime(const QString &mime)
{
    int found = -1;
    for (std::size_t i = 0; i < Encoders.size(); ++i) {
        if (mime == QLatin1String(Encoders[i].mime))
            found = int(i);
    }
    return found;
}

QString EncoderMime(int encoder)
{
    if (encoder < 0 || encoder >= int(Encoders.size()))
        return {};
    return QLatin1String(Encoders[std::size_t(encoder)].mime);
}

void Save(const QImage &image, const QString &path, int encoder, std::optional<int> jpegQuality, AtomicFile::Mode mode,
          const CarriedMetadata *carried, Progress *progress)
{
    if (encoder < 0 || encoder >= int(Encoders.size()))
        throw FileError(FileMessage("Cannot create file", LocalPath(path), "There is no encoder for this format."));
    if (image.isNull())
        throw FileError(FileMessage("Cannot create file", LocalPath(path), "There is no picture to save."));
    const Format format = Encoders[std::size_t(encoder)].format;
    if ((format == Format::Bmp || format == Format::Gif) && image.colorSpace().isValid() &&
        image.colorSpace() != QColorSpace(QColorSpace::SRgb))
        return Save(InDisplayColours(image, QColorSpace(QColorSpace::SRgb)), path, encoder, jpegQuality, mode, carried,
                    progress);
    const CarriedMetadata none;
    const CarriedMetadata &kept = carried ? *carried : none;
    QByteArray encoded;
    if (format == Format::Gif) {
        encoded = EncodeGif(image);
    } else if (format == Format::Png) {
        const QImage inOwnColours = InProfile(image, kept.icc);
        PngExtras extras{.icc = kept.icc, .exif = kept.exif, .xmp = kept.xmp};
        if (extras.icc.empty())
            extras.icc = ProfileOf(inOwnColours);
        encoded = EncodePng(inOwnColours, extras, progress);
    } else if (format == Format::Jpeg && !kept.empty()) {
        // A picture whose colours were described without a profile (a PNG's gAMA and cHRM) gets
        // the profile made from that description, as PNG and TIFF do (and as Qt's writer below
        // does for a picture that carries nothing).
        CarriedMetadata described = kept;
        if (described.icc.empty())
            described.icc = ProfileOf(image);
        const JpegMetadata blocks{JpegSegmentsOf(described), described.jpeg.quality, described.jpeg.subsampling};
        const int quality = jpegQuality ? *jpegQuality : blocks.quality > 0 ? blocks.quality : DefaultJpegQuality;
        encoded = EncodeJpegCarrying(image, quality, blocks);
    } else if (format == Format::Tiff && kept.tiffCompression > 1 && IsDeep(image)) {
        // Compressed deep samples need the predictor that Qt's writer leaves out.
        const QImage inOwnColours = InProfile(image, kept.icc);
        encoded = EncodeDeepTiff(inOwnColours, kept.icc.empty() ? ProfileOf(inOwnColours) : kept.icc);
    } else {
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, QtFormatName(format));
        if (format == Format::Jpeg && jpegQuality)
            writer.setQuality(std::clamp(*jpegQuality, 0, 100));
        // A TIFF keeps being compressed, with the one lossless compression the writer has
        // (LZW), or not.
        if (format == Format::Tiff)
            writer.setCompression(kept.tiffCompression > 1 ? 1 : 0);
        if (!writer.write(format == Format::Tiff ? InProfile(image, kept.icc) : image))
            encoded.clear();
    }
    if (format == Format::Tiff && !encoded.isEmpty() && !(kept.xmp.empty() && kept.exif.empty())) {
        const auto whole = TiffWithMetadata(
            {reinterpret_cast<const std::uint8_t *>(encoded.constData()), std::size_t(encoded.size())}, kept.exif, kept.xmp);
        encoded = QByteArray(reinterpret_cast<const char *>(whole.data()), qsizetype(whole.size()));
    }
    if (encoded.isEmpty())
        throw FileError(FileMessage("Cannot create file", LocalPath(path), "The picture could not be encoded."));
    Advance(progress, 1, 1);
    WriteBytes(path, encoded.constData(), std::size_t(encoded.size()), mode);
}

CarriedMetadata ReadCarriedMetadataOf(const QString &path)
{
    try {
        const std::string bytes = ReadWholeFile(LocalPath(path), std::uint64_t(AllocationLimitMB) << 20);
        return ReadCarriedMetadata({reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size()});
    } catch (const FileError &) {
        return {};
    }
}

void WriteDecoded(const Picture &picture, std::span<const std::uint8_t> original, const QString &path,
                  AtomicFile::Mode mode)
{
    if (!picture.ok())
        throw FileError(FileMessage("Cannot create file", LocalPath(path), picture.error.toStdString()));
    WriteBytes(path, reinterpret_cast<const char *>(original.data()), original.size(), mode,
               AtomicFile::Access::OwnerOnly);
}

std::vector<std::uint8_t> MakePreview(const QString &path)
{
    const QSize edge(PreviewEdge, PreviewEdge);
    const Picture picture = OpenFile(path, edge, Colours::Own);
    if (!picture.ok())
        return {};
    const QSize full = picture.fullSize.isValid() ? picture.fullSize : picture.image.size();
    QImage image = picture.image;
    if (const QSize fitted = FittedSize(full, edge); image.size() != fitted)
        image = StretchedTo(image, fitted);
    CarriedMetadata own;
    own.icc = ProfileOf(image);
    const QByteArray encoded =
        image.hasAlphaChannel()
            ? EncodePng(image, PngExtras{.icc = own.icc})
            : EncodeJpegCarrying(image, PreviewQuality, JpegMetadata{JpegSegmentsOf(own), 0, Subsampling::S420});
    if (encoded.isEmpty())
        return {};
    std::vector<std::uint8_t> preview(PreviewSizeBytes + std::size_t(encoded.size()));
    Write32(preview, 0, false, std::uint32_t(full.width()));
    Write32(preview, 4, false, std::uint32_t(full.height()));
    std::memcpy(preview.data() + PreviewSizeBytes, encoded.constData(), std::size_t(encoded.size()));
    return preview;
}

std::optional<Picture> PreviewPicture(std::span<const std::uint8_t> preview, const QString &name, QSize box)
{
    if (preview.size() <= PreviewSizeBytes)
        return std::nullopt;
    const std::uint32_t width = Le32(preview, 0), height = Le32(preview, 4);
    if (width == 0 || height == 0 || width > MaxPreviewedSide || height > MaxPreviewedSide)
        return std::nullopt;
    const QSize full{int(width), int(height)};
    Picture picture = DecodeMemory(preview.subspan(PreviewSizeBytes), name, box);
    const QSize wanted = FittedSize(full, box);
    // Rounding may leave the preview's fitting a pixel short of the photo's.
    if (!picture.ok() || picture.image.width() + 1 < wanted.width() || picture.image.height() + 1 < wanted.height())
        return std::nullopt;
    picture.fullSize = full;
    return picture;
}

void TurnFile(const QString &path, bool left, int encoder, Progress *progress)
{
    const std::string bytes = ReadWholeFile(LocalPath(path), std::uint64_t(AllocationLimitMB) << 20);
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    if (EncoderMime(encoder) == QLatin1String("image/jpeg") && DetectFormat(data) == Format::Jpeg) {
        if (const auto turned = TurnJpegLossless(data, left)) {
            WriteBytes(path, reinterpret_cast<const char *>(turned->data()), turned->size(), AtomicFile::Mode::Replace);
            return;
        }
    }
    const Picture source = DecodeMemory(data, path, std::nullopt, Colours::Own);
    if (!source.ok())
        throw FileError(source.error.toStdString());
    const CarriedMetadata carried = ReadCarriedMetadata(data);
    // Quarter turns move whole pixels: the picture keeps its pixel format (16 bits a channel
    // stay 16) and its colours.
    QImage turned = source.image.transformed(QTransform().rotate(left ? 270 : 90));
    turned.setColorSpace(source.image.colorSpace());
    Save(turned, path, encoder, std::nullopt, AtomicFile::Mode::Replace, &carried, progress);
}

}  // namespace veilshot::imaging
