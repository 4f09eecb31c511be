#pragma once
// The imaging operations: the only place where pictures are decoded, measured, drawn and
// encoded. Reads BMP, JPEG, PNG, GIF, TIFF, ICO, EMF, WMF, HEIC/HEIF, AVIF, WebP and JPEG XL,
// always recognising the format from the bytes, never from a name; writes BMP, JPEG, PNG, TIFF
// and GIF.
//
// Every decode applies the EXIF orientation (or the HEIF turn and mirror), so what is shown,
// measured, turned and written agree. Every decode also brings the colours of a picture with
// an embedded profile or colour description to the display's colour space (sRGB unless the
// ImagingLibrary was given the screen's profile); pictures without one are sRGB and keep their
// pixels exactly. A picture that cannot be
// decoded is a result (Picture::ok() false, with the reason), never a crash; a file that
// cannot be written is a FileError.

#include "files/fileio.h"
#include "imaging/common/format.h"
#include "imaging/common/progress.h"
#include "imaging/metadata/metadata.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <span>

class QPainter;
class QPaintDevice;
class QPoint;
class QRect;

namespace veilshot::imaging {

// Starts the imaging library for the program's run and stops it at the end: sets the limits
// that keep damaged or hostile files from exhausting memory, and the display's colour space:
// the screen's ICC profile when it has one (empty: sRGB). One lives at a time.
class ImagingLibrary {
public:
    explicit ImagingLibrary(const QByteArray &screenProfile = {});
    ~ImagingLibrary();
    ImagingLibrary(const ImagingLibrary &) = delete;
    ImagingLibrary &operator=(const ImagingLibrary &) = delete;
};

// A decoded picture with the format it was decoded from, or the reason it could not be.
struct Picture {
    QImage image;
    Format format = Format::Unknown;
    QString error;  // "Cannot open file "NAME". REASON" when not ok
    // The picture's own size, upright: the image's size unless it was decoded reduced.
    QSize fullSize;

    bool ok() const { return !image.isNull(); }
};

// The format the bytes are in, from their signature alone.
Format DetectFormat(std::span<const std::uint8_t> bytes);

// Which colours a decode gives: the display's, for showing; or the picture's own, untouched and
// tagged with its colour space, for work that writes the picture again (turns, the tools), so
// that colours outside the display's survive a decode and an encode.
enum class Colours { Display, Own };

// Open file: decodes the file at full size. `box` variants decode at the smallest size that
// still fills the picture's fitting into `box` (a JPEG exactly at that fitting, by its reduced
// DCT decode and shrinking as it goes), never larger than the picture itself.
Picture OpenFile(const QString &path);
Picture OpenFile(const QString &path, QSize box);
Picture OpenFile(const QString &path, std::optional<QSize> box, Colours colours);

// The picture's own size, upright, read from the file's header alone (the formats decoded in
// the decoder process are measured there); empty when the header cannot be read (metafiles
// among them).
QSize MeasureFile(const QString &path);

// Decode memory: `name` only labels errors. The bytes are most often a deciphered photo's: the
// pixels come in a wiped buffer (wipedimage.h), and the decoder's own are wiped as they go.
Picture DecodeMemory(std::span<const std::uint8_t> bytes, const QString &name);
Picture DecodeMemory(std::span<const std::uint8_t> bytes, const QString &name, QSize box);
Picture DecodeMemory(std::span<const std::uint8_t> bytes, const QString &name, std::optional<QSize> box, Colours colours);

// The size a JPEG of `full` pixels is decoded at for `box`: its fitting into the box, rounded
// up, never larger than itself.
QSize ReducedSizeFor(QSize full, QSize box);

QSize PixelSize(const QImage &image);

// A blank, fully transparent 32-bit ARGB bitmap of exactly `size`.
QImage BlankBitmap(QSize size);

// A drawing surface on a bitmap or a widget's picture, set for smooth drawing.
std::unique_ptr<QPainter> Surface(QPaintDevice &target);

// The whole picture stretched to exactly `size`, smoothly (averaging pixels where it shrinks).
QImage StretchedTo(const QImage &source, QSize size);

// The whole source stretched to `target`, smoothly.
void DrawScaled(QPainter &surface, const QImage &source, const QRect &target);

// The whole source mapped onto the parallelogram whose corners receive the source's top-left,
// top-right and bottom-left corners. Quarter turns move pixels exactly, without resampling.
void DrawTurned(QPainter &surface, const QImage &source, const QPoint &topLeft, const QPoint &topRight,
                const QPoint &bottomLeft);

// The encoders, by MIME type: "image/bmp", "image/jpeg", "image/gif", "image/tiff",
// "image/png" (compared exactly). -1 for anything else.
int FindEncoderByMime(const QString &mime);
QString EncoderMime(int encoder);

// The JPEG encoder's quality when none is given.
inline constexpr int DefaultJpegQuality = 75;

// Saves through a temporary file in the target folder, so a failed save never destroys the
// file it replaces. `jpegQuality` (0..100) is passed to the JPEG encoder unchanged; other
// encoders take none. A picture in a colour space of its own keeps it where the format holds a
// profile (JPEG, PNG, TIFF); BMP and GIF hold none and are given sRGB colours. With the metadata
// `carried` from the photo it comes from, a JPEG keeps the photo's metadata blocks and
// subsampling, and, without `jpegQuality`, its quality; a PNG and a TIFF keep its EXIF, profile
// and XMP, a TIFF its being compressed (LZW) or not; where a profile goes in, the pixels are put
// back into its colours. FileError on failure. With `progress`, reports how far the encoding has
// come and, when it is stopped, throws WorkStopped having written nothing.
void Save(const QImage &image, const QString &path, int encoder, std::optional<int> jpegQuality = std::nullopt,
          AtomicFile::Mode mode = AtomicFile::Mode::Replace, const CarriedMetadata *carried = nullptr,
          Progress *progress = nullptr);

// The metadata a JPEG, PNG or TIFF file carries over when encoded again; empty for other files
// and for a file that cannot be read.
CarriedMetadata ReadCarriedMetadataOf(const QString &path);

// Write decoded: writes `original`, the bytes `picture` was decoded from, exactly as they are,
// once the decode has shown that they are a picture (FileError with the decoder's reason
// otherwise). A deciphered photo is often the only copy left: encoding it again would lose
// quality and metadata for good. The copy is readable by the owner alone (0600), whatever the
// umask: a deciphered photo is a private one.
void WriteDecoded(const Picture &picture, std::span<const std::uint8_t> original, const QString &path,
                  AtomicFile::Mode mode = AtomicFile::Mode::KeepExisting);

// Turns the photo in the file a quarter turn as it is shown (right, or left when `left`) and
// writes it back over the file, atomically, with `encoder`. A JPEG whose size is a whole number
// of its blocks turns without loss and keeps its metadata, its EXIF orientation set upright;
// anything else is decoded, turned exactly and encoded again, keeping its pixel format (16 bits
// a channel among them) and what Save carries: a JPEG its quality and subsampling, every file
// its metadata, the orientation upright and the thumbnail dropped, a TIFF its compression.
// FileError when the file cannot be read, decoded or written; the file is then unchanged.
// With `progress`, reports the encoding and, stopped, throws WorkStopped leaving the file as it was.
void TurnFile(const QString &path, bool left, int encoder, Progress *progress = nullptr);

// A preview: a small picture of a photo, kept beside it where reading the whole photo costs much
// (inside a sealed file), so that a grid of thumbnails shows the photo without it. Its longer
// side is at most PreviewEdge pixels: twice a grid thumbnail's, for screens that draw two pixels
// to a point. It holds the photo's own colours and its full size, upright.
inline constexpr int PreviewEdge = 412;
// The preview of the photo in `path`; empty when the photo cannot be decoded.
std::vector<std::uint8_t> MakePreview(const QString &path);
// What DecodeMemory of the photo for `box` would give, made from its preview: the picture fitted
// into the box, its fullSize the photo's. std::nullopt when the preview is too small for the box
// (a screen that draws more pixels to a point) or cannot be read; the photo itself is needed then.
std::optional<Picture> PreviewPicture(std::span<const std::uint8_t> preview, const QString &name, QSize box);

}  // namespace veilshot::imaging
