// What a photo carries reaches every format that can hold it: the profile (so its colours stay
// as they were), EXIF made upright and XMP, from a JPEG, PNG or TIFF into a JPEG, PNG or TIFF;
// exiftool reads them where they arrive. Turns keep 16 bits a channel and a TIFF's compression.

#include "common/cameraphoto.h"
#include "common/encoders.h"
#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/codecs/tiffwriter.h"
#include "imaging/imaging.h"
#include "imaging/metadata/metadata.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QTransform>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <random>

#include <zlib.h>

namespace veilshot::imaging {
namespace {

using test::Bytes;
using test::Q;
using test::Xmp;

struct Hop {
    const char *name;
    const char *through;  // the format the camera's photo is written in first
    const char *target;   // then the format it is written in from there
    int tolerance;
    friend std::ostream &operator<<(std::ostream &os, const Hop &c) { return os << c.name; }
};

int Encoder(const char *format)
{
    return FindEncoderByMime(QStringLiteral("image/") + QLatin1String(format));
}

// The photo at `from` decoded and written to `to` in `format`, carrying what it carries.
void Write(const QString &from, const QString &to, const char *format)
{
    const Picture picture = OpenFile(from);
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    const CarriedMetadata carried = ReadCarriedMetadataOf(from);
    Save(picture.image, to, Encoder(format), std::nullopt, AtomicFile::Mode::Replace, &carried);
}

QString Exiftool(const QString &file)
{
    QProcess process;
    process.start("exiftool", {"-s", "-s", "-Orientation", "-Make", "-ProfileDescription", "-XMP-x:all", "-XMPToolkit", "-a", file});
    process.waitForFinished(60'000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

class CarriedThrough : public ::testing::TestWithParam<Hop> {};

TEST_P(CarriedThrough, ProfileExifAndXmpArriveAndTheColoursStay)
{
    test::TempDir dir;
    const Hop &hop = GetParam();
    test::WriteFile(dir / "camera.jpg", test::CameraJpeg(dir, {64, 48}, 6));
    const QString middle = Q(dir / "middle"), target = Q(dir / "target");
    Write(Q(dir / "camera.jpg"), middle, hop.through);
    Write(middle, target, hop.target);

    const CarriedMetadata arrived = ReadCarriedMetadataOf(target);
    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    EXPECT_EQ(arrived.icc, Bytes(p3.begin(), p3.end()));
    EXPECT_TRUE(test::Contains(arrived.xmp, test::Text("<x:xmpmeta>kept</x:xmpmeta>")));
    const QString told = Exiftool(target);
    EXPECT_TRUE(told.contains(QLatin1String("Display P3"))) << told.toStdString();
    EXPECT_TRUE(test::Contains(arrived.exif, test::Text("CameraX")));
    EXPECT_TRUE(told.contains(QLatin1String("Make: CameraX"))) << told.toStdString();
    EXPECT_FALSE(told.contains(QLatin1String("Rotate"))) << told.toStdString();  // upright, or no orientation at all

    // Shown as the camera's photo was: upright, in the same colours.
    const Picture camera = OpenFile(Q(dir / "camera.jpg")), shown = OpenFile(target);
    ASSERT_TRUE(shown.ok());
    ASSERT_EQ(shown.image.size(), camera.image.size());
    for (const QPoint at : {QPoint(10, 30), QPoint(40, 8)}) {
        const QRgb want = camera.image.pixel(at), got = shown.image.pixel(at);
        EXPECT_LE(std::max({std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)), std::abs(qBlue(want) - qBlue(got))}),
                  hop.tolerance)
            << at.x() << "," << at.y();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, CarriedThrough,
    ::testing::Values(Hop{"JpegToPng", "jpeg", "png", 6}, Hop{"JpegToTiff", "jpeg", "tiff", 6}, Hop{"PngToJpeg", "png", "jpeg", 8},
                      Hop{"PngToTiff", "png", "tiff", 2}, Hop{"TiffToPng", "tiff", "png", 2}, Hop{"TiffToJpeg", "tiff", "jpeg", 8}),
    [](const auto &info) { return std::string(info.param.name); });

// EXIF as a camera writes it, big-endian with its EXIF and GPS IFDs, read back by exiftool
// after a TIFF, from it into a PNG, and from the JPEG into a TIFF directly.
TEST(CarriedExif, TheExifAndGpsIfdsMoveIntoTiffAndOutAgain)
{
    test::TempDir dir;
    const QString camera = Q(dir / "camera.jpg");
    test::WriteFile(dir / "camera.jpg", test::EncodedPhoto("jpeg", Qt::red, {64, 48}));
    QProcess tagger;
    tagger.start("exiftool", {"-q", "-overwrite_original", "-ExifByteOrder=MM", "-Make=Maker", "-DateTimeOriginal=2024:05:06 07:08:09",
                              "-ISO=200", "-GPSLatitude=48.5", "-GPSLatitudeRef=N", "-Orientation#=6", camera});
    ASSERT_TRUE(tagger.waitForFinished(60'000) && tagger.exitCode() == 0);
    Write(camera, Q(dir / "direct.tif"), "tiff");
    Write(Q(dir / "direct.tif"), Q(dir / "out.png"), "png");
    for (const char *name : {"direct.tif", "out.png"}) {
        QProcess reader;
        reader.start("exiftool", {"-s", "-s", "-Make", "-DateTimeOriginal", "-ISO", "-GPSLatitude", "-Orientation", Q(dir / name)});
        reader.waitForFinished(60'000);
        const QString told = QString::fromUtf8(reader.readAllStandardOutput());
        EXPECT_TRUE(told.contains(QLatin1String("Make: Maker"))) << name << told.toStdString();
        EXPECT_TRUE(told.contains(QLatin1String("DateTimeOriginal: 2024:05:06 07:08:09"))) << name << told.toStdString();
        EXPECT_TRUE(told.contains(QLatin1String("ISO: 200\n"))) << name << told.toStdString();  // byte order turned
        EXPECT_TRUE(told.contains(QLatin1String("GPSLatitude: 48 deg 30' 0.00\""))) << name << told.toStdString();
        EXPECT_FALSE(told.contains(QLatin1String("Rotate"))) << name << told.toStdString();
    }
    EXPECT_EQ(QImageReader(Q(dir / "out.png")).size(), QSize(48, 64));  // turned upright once, not again
}

struct Deep {
    const char *name;
    const char *format;
    QImage::Format pixels;
    bool profile;  // in Display P3, with its profile
    friend std::ostream &operator<<(std::ostream &os, const Deep &c) { return os << c.name; }
};

class TurnKeepsDepth : public ::testing::TestWithParam<Deep> {};

TEST_P(TurnKeepsDepth, SixteenBitsAChannelStaySixteen)
{
    test::TempDir dir;
    QImage deep(6, 4, GetParam().pixels);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            // Odd values, near grey: inside both gamuts, so the colours survive leaving the profile.
            deep.setPixelColor(x, y, QColor::fromRgba64(QRgba64::fromRgba64(quint16(20003 + x * 3001), quint16(25005 + y * 2003), 22007, 65535)));
    if (GetParam().profile)
        deep.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QString file = Q(dir / "deep");
    ASSERT_TRUE(QImageWriter(file, GetParam().format).write(deep));
    TurnFile(file, false, Encoder(GetParam().format));
    QImageReader reader(file);
    const QImage turned = reader.read();
    ASSERT_EQ(turned.size(), QSize(4, 6));
    EXPECT_EQ(turned.pixelFormat().redSize() > 8 || turned.format() == QImage::Format_Grayscale16, true) << turned.format();
    // Right: (x, y) goes to (h - 1 - y, x); every 16-bit value exactly, or, taken out of the
    // profile's colours and back into them, within a quarter of one 8-bit step.
    EXPECT_EQ(turned.colorSpace(), deep.colorSpace());
    const int steps = GetParam().profile ? 64 : 0;
    for (const auto &[to, from] : {std::pair{QPoint(3, 5), QPoint(5, 0)}, std::pair{QPoint(0, 0), QPoint(0, 3)}}) {
        const QRgba64 got = turned.pixelColor(to).rgba64(), want = deep.pixelColor(from).rgba64();
        EXPECT_LE(std::max({std::abs(got.red() - want.red()), std::abs(got.green() - want.green()), std::abs(got.blue() - want.blue())}),
                  steps);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, TurnKeepsDepth,
                         ::testing::Values(Deep{"Png", "png", QImage::Format_RGBX64, false},
                                           Deep{"PngGrey", "png", QImage::Format_Grayscale16, false},
                                           Deep{"PngInItsProfile", "png", QImage::Format_RGBX64, true},
                                           Deep{"Tiff", "tiff", QImage::Format_RGBX64, false},
                                           Deep{"TiffGrey", "tiff", QImage::Format_Grayscale16, false},
                                           Deep{"TiffInItsProfile", "tiff", QImage::Format_RGBX64, true}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(TurnFile, ATiffKeepsItsCompression)
{
    const std::vector<std::pair<int, int>> table = {{0, 1}, {1, 5}};  // the writer's setting, the tag it gives
    for (const auto &[setting, tag] : table) {
        test::TempDir dir;
        const QString file = Q(dir / "a.tif");
        QImageWriter writer(file, "tiff");
        writer.setCompression(setting);
        ASSERT_TRUE(writer.write(test::Photo({40, 30})));
        ASSERT_EQ(ReadCarriedMetadataOf(file).tiffCompression, tag);
        TurnFile(file, true, Encoder("tiff"));
        EXPECT_EQ(ReadCarriedMetadataOf(file).tiffCompression, tag) << setting;
        EXPECT_EQ(QImageReader(file).size(), QSize(30, 40));
    }
}

// A PNG that describes its colours by gAMA and cHRM instead of a profile (as ImageMagick writes
// them): the description, with Adobe RGB's primaries, stands in a profile in every target, and
// the XMP beside it arrives too.
std::uint32_t Crc32(const std::string &bytes)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= std::uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string Chunk(const char *type, const std::string &data)
{
    const std::string body = type + data;
    const std::uint32_t length = std::uint32_t(data.size()), crc = Crc32(body);
    return std::string{char(length >> 24), char(length >> 16), char(length >> 8), char(length)} + body +
           std::string{char(crc >> 24), char(crc >> 16), char(crc >> 8), char(crc)};
}

QByteArray DescribedPng(QColor colour)
{
    QImage image(16, 12, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, "png").write(image));
    const auto numbers = [](std::initializer_list<std::uint32_t> values) {
        std::string data;
        for (const std::uint32_t v : values)
            data += {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return data;
    };
    // With XMP beside it, as photo tools write it: what a JPEG carries over then goes with it.
    const std::string described =
        Chunk("gAMA", numbers({45455})) + Chunk("cHRM", numbers({31270, 32900, 64000, 33000, 21000, 71000, 15000, 6000})) +
        Chunk("iTXt", std::string("XML:com.adobe.xmp\0\0\0\0\0", 22) + "<x:xmpmeta>kept</x:xmpmeta>");
    png.insert(8 + 25, QByteArray::fromStdString(described));  // after the signature and IHDR
    return png;
}

class DescribedColours : public ::testing::TestWithParam<const char *> {};

TEST_P(DescribedColours, AreKeptAsAProfile)
{
    test::TempDir dir;
    const QByteArray png = DescribedPng(QColor(40, 200, 60));
    test::WriteFile(dir / "a.png", Bytes(png.begin(), png.end()));
    const QString source = Q(dir / "a.png"), target = Q(dir / "target");
    const Picture own = OpenFile(source, std::nullopt, Colours::Own);
    ASSERT_TRUE(own.ok());
    ASSERT_TRUE(own.image.colorSpace().isValid());  // the description is read
    const CarriedMetadata carried = ReadCarriedMetadataOf(source);
    Save(own.image, target, Encoder(GetParam()), 100, AtomicFile::Mode::Replace, &carried);
    EXPECT_TRUE(test::Contains(ReadCarriedMetadataOf(target).xmp, test::Text("<x:xmpmeta>kept</x:xmpmeta>")));

    const QRgb want = OpenFile(source).image.pixel(8, 6), got = OpenFile(target).image.pixel(8, 6);
    ASSERT_GT(std::abs(qGreen(want) - 200) + std::abs(qRed(want) - 40), 10);  // shown otherwise than its pixels
    EXPECT_LE(std::max({std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)), std::abs(qBlue(want) - qBlue(got))}), 2)
        << qRed(want) << "," << qGreen(want) << "," << qBlue(want) << " shown as " << qRed(got) << "," << qGreen(got) << ","
        << qBlue(got);
}

INSTANTIATE_TEST_SUITE_P(Formats, DescribedColours, ::testing::Values("jpeg", "png", "tiff"),
                         [](const auto &info) { return std::string(info.param); });

// A compressed 16-bit TIFF keeps the horizontal predictor when turned: without it LZW makes it
// several times larger. Its samples come back exactly, as libtiff reads them.
TEST(TurnFile, ADeepCompressedTiffStaysSmall)
{
    test::TempDir dir;
    // A smooth photo-like picture with a little noise, over enough strips and codes that LZW
    // widens its codes and starts afresh.
    QImage deep(320, 240, QImage::Format_RGBX64);
    std::mt19937 random(5);
    for (int y = 0; y < deep.height(); ++y) {
        auto *line = reinterpret_cast<QRgba64 *>(deep.scanLine(y));
        for (int x = 0; x < deep.width(); ++x)
            line[x] = QRgba64::fromRgba64(quint16(9000 + x * 150 + random() % 64), quint16(12000 + y * 180 + random() % 64),
                                          quint16(30000 + (x + y) * 40 + random() % 64), 65535);
    }
    const QString file = Q(dir / "deep.tif");
    const QByteArray written = EncodeDeepTiff(deep, {});
    test::WriteFile(dir / "deep.tif", Bytes(written.begin(), written.end()));
    const QImage read = QImageReader(file).read();
    ASSERT_EQ(read.size(), deep.size());
    EXPECT_TRUE(read.convertToFormat(QImage::Format_RGBX64) == deep);
    ASSERT_EQ(ReadCarriedMetadataOf(file).tiffCompression, 5);

    TurnFile(file, false, Encoder("tiff"));
    EXPECT_EQ(ReadCarriedMetadataOf(file).tiffCompression, 5);
    const auto turnedSize = std::filesystem::file_size(dir / "deep.tif");
    EXPECT_LT(double(turnedSize), 1.1 * double(written.size())) << written.size() << " bytes turned into " << turnedSize;
    const QImage turned = QImageReader(file).read().convertToFormat(QImage::Format_RGBX64);
    ASSERT_EQ(turned.size(), QSize(240, 320));
    EXPECT_TRUE(turned == deep.transformed(QTransform().rotate(90)));
}

}  // namespace
}  // namespace veilshot::imaging

namespace veilshot::imaging {
namespace {

// EXIF data the walk made out of a TIFF's IFDs holds together: walked again as a TIFF of its
// own, it comes back the very same (every offset in it points inside it). A PNG's is its eXIf
// chunk as it stands.
void ExpectWhole(const Bytes &exif, const char *format)
{
    if (!exif.empty() && std::string_view(format) == "tiff") {
        EXPECT_EQ(ReadCarriedMetadata(exif).exif, exif);
    }
}

// Files with every block, cut at every length and with bytes spoilt, are walked without reading
// past their end: what holds together is found whole, as in the whole file, the rest left.
TEST(CarriedMetadata, DamagedFilesAreWalkedSafely)
{
    test::TempDir dir;
    test::WriteFile(dir / "camera.jpg", test::CameraJpeg(dir, {16, 12}, 6));
    const CarriedMetadata camera = ReadCarriedMetadataOf(Q(dir / "camera.jpg"));
    std::mt19937 random(5);
    for (const char *format : {"png", "tiff"}) {
        SCOPED_TRACE(format);
        Write(Q(dir / "camera.jpg"), Q(dir / format), format);
        const Bytes file = test::ReadFile(dir / format);
        const CarriedMetadata whole = ReadCarriedMetadata(file);
        const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        ASSERT_EQ(whole.icc, Bytes(p3.begin(), p3.end()));
        ASSERT_EQ(whole.xmp, Bytes(Xmp.begin() + 4 + 29, Xmp.end()));
        ASSERT_TRUE(test::Contains(whole.exif, test::Text("CameraX")));
        ExpectWhole(whole.exif, format);

        // Cut short: each block is there as in the whole file or not at all, and once found it
        // stays found in every longer cut.
        bool icc = false, xmp = false, exif = false;
        for (std::size_t keep = 0; keep < file.size(); keep += 7) {
            SCOPED_TRACE(keep);
            const Bytes cut(file.begin(), file.begin() + std::ptrdiff_t(keep));
            const CarriedMetadata found = ReadCarriedMetadata(cut);
            EXPECT_TRUE(found.icc.empty() ? !icc : found.icc == whole.icc);
            EXPECT_TRUE(found.xmp.empty() ? !xmp : found.xmp == whole.xmp);
            if (std::string_view(format) == "png") {
                EXPECT_TRUE(found.exif.empty() ? !exif : found.exif == whole.exif);
            }
            ExpectWhole(found.exif, format);
            icc = !found.icc.empty(), xmp = !found.xmp.empty(), exif = !found.exif.empty();
            EXPECT_EQ(TiffWithMetadata(cut, camera.exif, camera.xmp), cut);  // no first IFD to add to
        }
        // Spoilt: never more than 1 MiB, nor more than a TIFF holds (a PNG's compressed blocks
        // inflate), EXIF that holds together, and a TIFF that grows by no more than what is
        // added to it.
        for (int round = 0; round < 300; ++round) {
            Bytes spoilt = file;
            for (int i = 0; i < 4; ++i)
                spoilt[random() % spoilt.size()] = std::uint8_t(random());
            const CarriedMetadata found = ReadCarriedMetadata(spoilt);
            const std::size_t carried = found.exif.size() + found.icc.size() + found.xmp.size();
            EXPECT_LE(carried, std::size_t(1) << 20);
            if (std::string_view(format) == "tiff") {
                EXPECT_LE(carried, spoilt.size());
            }
            ExpectWhole(found.exif, format);
            using Pair = std::pair<const Bytes *, const Bytes *>;  // the TIFF, the EXIF going in
            for (const auto &[tiff, exifIn] : {Pair{&spoilt, &camera.exif}, Pair{&file, &spoilt}}) {
                const Bytes out = TiffWithMetadata(*tiff, *exifIn, camera.xmp);
                EXPECT_LE(out.size(), 2 * tiff->size() + 2 * exifIn->size() + camera.xmp.size() + 16);
            }
        }
    }
}

}  // namespace
}  // namespace veilshot::imaging

namespace veilshot::imaging {
namespace {

void Put(Bytes &bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(std::uint8_t(value >> (8 * i)));
}

// A 16 x 8 grey TIFF (little-endian) whose EXIF IFD holds `entries` entries all pointing at one
// value of `valueBytes` bytes: a file of a few hundred kilobytes that names gigabytes of EXIF.
Bytes TiffPointingManyTimesAtOneValue(std::uint32_t entries, std::uint32_t valueBytes)
{
    Bytes tiff = {'I', 'I', 42, 0};
    const std::uint32_t pixels = 8, value = pixels + 128, exifIfd = value + valueBytes, firstIfd = exifIfd + 2 + 12 * entries + 4;
    Put(tiff, firstIfd, 4);
    for (std::uint32_t i = 0; i < 128; ++i)
        tiff.push_back(std::uint8_t(i * 2));
    tiff.resize(exifIfd, 0x5A);
    Put(tiff, entries, 2);
    for (std::uint32_t i = 0; i < entries; ++i) {
        Put(tiff, 0x8000 + i, 2), Put(tiff, 7, 2), Put(tiff, valueBytes, 4), Put(tiff, value, 4);  // UNDEFINED
    }
    Put(tiff, 0, 4);
    const std::vector<std::array<std::uint32_t, 3>> first = {
        {256, 3, 16}, {257, 3, 8}, {258, 3, 8}, {259, 3, 1}, {262, 3, 1}, {273, 4, pixels},
        {277, 3, 1},  {278, 3, 8}, {279, 4, 128}, {34665, 4, exifIfd}};
    Put(tiff, std::uint32_t(first.size()), 2);
    for (const auto &[tag, type, v] : first) {
        Put(tiff, tag, 2), Put(tiff, type, 2), Put(tiff, 1, 4), Put(tiff, v, 4);
    }
    Put(tiff, 0, 4);
    return tiff;
}

// A PNG chunk, its CRC included.
Bytes Chunk(const char *type, const Bytes &data)
{
    Bytes chunk;
    for (int i = 3; i >= 0; --i)
        chunk.push_back(std::uint8_t(data.size() >> (8 * i)));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const auto crc = std::uint32_t(crc32(0, chunk.data() + 4, uInt(chunk.size() - 4)));
    for (int i = 3; i >= 0; --i)
        chunk.push_back(std::uint8_t(crc >> (8 * i)));
    return chunk;
}

// A small PNG with compressed XMP of `inflated` bytes: a few kilobytes that inflate to megabytes.
Bytes PngInflatingTo(std::size_t inflated)
{
    const Bytes png = test::PngOf(test::Photo({16, 8}));
    const Bytes packet(inflated, ' ');
    uLongf size = compressBound(uLong(packet.size()));
    Bytes deflated(size);
    compress2(deflated.data(), &size, packet.data(), uLong(packet.size()), 9);
    deflated.resize(size);
    Bytes itxt = test::Text(std::string("XML:com.adobe.xmp\0\1\0\0\0", 22));
    itxt.insert(itxt.end(), deflated.begin(), deflated.end());
    Bytes out(png.begin(), png.end() - 12);  // up to IEND
    const Bytes chunk = Chunk("iTXt", itxt), end(png.end() - 12, png.end());
    out.insert(out.end(), chunk.begin(), chunk.end());
    out.insert(out.end(), end.begin(), end.end());
    return out;
}

// A camera's JPEG (whole blocks) with `count` comments of 60,000 bytes each.
Bytes JpegWithComments(const test::TempDir &dir, int count)
{
    std::vector<Bytes> comments(std::size_t(count), test::Segment(0xFE, Bytes(60'000, 'c')));
    return WithSegments(test::CameraJpeg(dir, {64, 48}, 1), comments);
}

std::size_t CarriedBytes(const CarriedMetadata &carried)
{
    return carried.exif.size() + carried.icc.size() + carried.xmp.size();
}

std::size_t SegmentBytes(const CarriedMetadata &carried)
{
    std::size_t total = 0;
    for (const auto &segment : carried.jpeg.segments)
        total += segment.size();
    return total;
}

struct Oversized {
    const char *name;
    const char *format;
    std::function<Bytes(const test::TempDir &)> make;
    friend std::ostream &operator<<(std::ostream &os, const Oversized &c) { return os << c.name; }
};

class CarriedBounded : public ::testing::TestWithParam<Oversized> {};

// What a walk carries out of a file is at most 1 MiB and at most the file's own size, what
// would pass that left behind; the photo is turned and written all the same.
TEST_P(CarriedBounded, AtMostAMebibyteAndTheFilesSizeAndThePhotoStillWritten)
{
    test::TempDir dir;
    const Bytes file = GetParam().make(dir);
    const std::size_t most = std::min<std::size_t>(1 << 20, file.size());
    const CarriedMetadata carried = ReadCarriedMetadata(file);
    EXPECT_LE(CarriedBytes(carried), most);
    EXPECT_LE(SegmentBytes(carried), most);

    const auto path = dir / "photo";
    test::WriteFile(path, file);
    const QSize before = QImageReader(Q(path)).size();
    ASSERT_TRUE(before.isValid());
    TurnFile(Q(path), false, Encoder(GetParam().format));
    EXPECT_EQ(QImageReader(Q(path)).size(), before.transposed());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CarriedBounded,
    ::testing::Values(Oversized{"TiffEntriesPointingAtOneValue", "tiff", [](const test::TempDir &) { return TiffPointingManyTimesAtOneValue(5000, 100'000); }},
                      Oversized{"PngXmpInflatingPastTheFile", "png", [](const test::TempDir &) { return PngInflatingTo(4 << 20); }},
                      Oversized{"JpegBlocksPastAMebibyte", "jpeg", [](const test::TempDir &dir) { return JpegWithComments(dir, 24); }}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot::imaging
