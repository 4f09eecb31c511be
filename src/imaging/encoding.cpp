// Encoding: the encoders by MIME type, saving and turning files, deciphered photos written as
// they are, and the previews kept beside photos.

#include "imaging/imaging.h"

#include "files/localpath.h"
#include "imaging/codecs/gifwriter.h"
#include "imaging/codecs/jpegdecode.h"
#include "imaging/codecs/jpegturn.h"
#include "imaging/codecs/jpegwriter.h"
#include "imaging/codecs/pngwriter.h"
#include "imaging/codecs/tiffwriter.h"
#include "imaging/decoding.h"
#include "imaging/metadata/bytes.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QTransform>

#include <algorithm>
#include <array>
#include <cstring>

namespace veilshot::imaging {

namespace {

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
    return EncodeJpeg(InProfile(std::move(image), IccProfileOf(carried)), quality, carried);
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
