// The imaging operations: every written format round-trips, quarter turns are exact pixel
// moves, bad input is a clear refusal, and decoding for a box stays sharp without waste.

#include "decoding.h"
#include "imaging.h"
#include "jpegturn.h"
#include "qtpath.h"
#include "photos.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace veilshot::imaging {
namespace {

using test::Q;

using test::TempDir;


// A picture whose four quadrants and corner pixels all differ.
QImage Quadrants(int w = 64, int h = 48)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, bottom = y >= h / 2;
            image.setPixel(x, y, right ? (bottom ? qRgb(250, 250, 20) : qRgb(20, 200, 30)) : (bottom ? qRgb(20, 40, 220) : qRgb(220, 30, 30)));
        }
    }
    return image;
}

// Every pixel different, for checking exact moves.
QImage Distinct(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 5 % 256, y * 7 % 256, (x * 3 + y * 11) % 256));
    return image;
}

int MaxChannelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

std::vector<std::uint8_t> Encode(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return {bytes.begin(), bytes.end()};
}

struct Written {
    const char *name;
    QString mime;
    Format format;
    int tolerance;
    friend std::ostream &operator<<(std::ostream &os, const Written &c) { return os << c.name; }
};

class RoundTrip : public ::testing::TestWithParam<Written> {};

TEST_P(RoundTrip, KeepsSizeAndPixels)
{
    TempDir dir;
    const QImage source = Quadrants();
    const int encoder = FindEncoderByMime(GetParam().mime);
    ASSERT_GE(encoder, 0);
    const QString path = Q(dir / "picture.out");  // the name says nothing of the format
    Save(source, path, encoder);
    const Picture back = OpenFile(path);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    EXPECT_EQ(back.format, GetParam().format);
    ASSERT_EQ(PixelSize(back.image), source.size());
    for (QPoint p : {QPoint(5, 5), QPoint(58, 5), QPoint(5, 42), QPoint(58, 42), QPoint(0, 0), QPoint(63, 47)})
        EXPECT_LE(MaxChannelDifference(back.image.pixel(p), source.pixel(p)), GetParam().tolerance) << p.x() << "," << p.y();
}

INSTANTIATE_TEST_SUITE_P(Encoders, RoundTrip,
                         ::testing::Values(Written{"Bmp", "image/bmp", Format::Bmp, 0},
                                           Written{"Jpeg", "image/jpeg", Format::Jpeg, 24},
                                           Written{"Gif", "image/gif", Format::Gif, 0},
                                           Written{"Tiff", "image/tiff", Format::Tiff, 0},
                                           Written{"Png", "image/png", Format::Png, 0}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Encoders, FindByMimeIsExactAndCaseSensitive)
{
    const std::vector<std::pair<QString, int>> table = {
        {"image/bmp", 0}, {"image/jpeg", 1}, {"image/gif", 2}, {"image/tiff", 3}, {"image/png", 4},
        {"image/JPEG", -1}, {"image/jpg", -1}, {"image/x-icon", -1}, {"image/webp", -1}, {"", -1}, {"image/png ", -1}};
    for (const auto &[mime, index] : table) {
        EXPECT_EQ(FindEncoderByMime(mime), index) << mime.toStdString();
        if (index >= 0) {
            EXPECT_EQ(EncoderMime(index), mime);
        }
    }
}

TEST(Encoders, JpegQualityIsPassedThrough)
{
    TempDir dir;
    const QImage source = Distinct(200, 150);
    const int jpeg = FindEncoderByMime("image/jpeg");
    Save(source, Q(dir / "q0.jpg"), jpeg, 0);
    Save(source, Q(dir / "q100.jpg"), jpeg, 100);
    const Picture low = OpenFile(Q(dir / "q0.jpg"));
    const Picture high = OpenFile(Q(dir / "q100.jpg"));
    ASSERT_TRUE(low.ok() && high.ok());
    EXPECT_LT(std::filesystem::file_size(dir / "q0.jpg") * 4, std::filesystem::file_size(dir / "q100.jpg"));
    EXPECT_LE(MaxChannelDifference(high.image.pixel(100, 75), source.pixel(100, 75)), 6);
    EXPECT_NE(low.image, high.image);
}

TEST(Encoders, GifKeepsTransparencyAndReducesManyColoursWell)
{
    TempDir dir;
    const int gif = FindEncoderByMime("image/gif");
    QImage halfClear = Quadrants();
    for (int y = 0; y < halfClear.height(); ++y)
        for (int x = 0; x < 20; ++x)
            halfClear.setPixel(x, y, qRgba(0, 0, 0, 0));
    Save(halfClear, Q(dir / "clear.gif"), gif);
    const Picture clear = OpenFile(Q(dir / "clear.gif"));
    ASSERT_TRUE(clear.ok());
    EXPECT_EQ(qAlpha(clear.image.pixel(3, 3)), 0);
    EXPECT_EQ(clear.image.pixel(50, 40), halfClear.pixel(50, 40));

    // A smooth gradient with far more than 256 colours.
    QImage gradient(256, 128, QImage::Format_ARGB32);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 256; ++x)
            gradient.setPixel(x, y, qRgb(x, y * 2, 255 - x / 2));
    Save(gradient, Q(dir / "gradient.gif"), gif);
    const Picture reduced = OpenFile(Q(dir / "gradient.gif"));
    ASSERT_TRUE(reduced.ok());
    double error = 0;
    for (int y = 0; y < 128; y += 4)
        for (int x = 0; x < 256; x += 4)
            error += MaxChannelDifference(reduced.image.pixel(x, y), gradient.pixel(x, y));
    EXPECT_LT(error / (64 * 32), 7.41);  // what the hand-written median cut reached; no worse

    // Many colours and transparency together: the palette still keeps a transparent entry.
    QImage clearGradient = gradient;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 64; ++x)
            clearGradient.setPixel(x, y, qRgba(0, 0, 0, 0));
    Save(clearGradient, Q(dir / "clear-gradient.gif"), gif);
    const Picture both = OpenFile(Q(dir / "clear-gradient.gif"));
    ASSERT_TRUE(both.ok());
    EXPECT_EQ(qAlpha(both.image.pixel(10, 10)), 0);
    EXPECT_EQ(qAlpha(both.image.pixel(200, 10)), 255);
    EXPECT_LE(MaxChannelDifference(both.image.pixel(200, 64), gradient.pixel(200, 64)), 24);
}

QImage Turn(const QImage &source, bool left)
{
    const int w = source.width(), h = source.height();
    QImage target = BlankBitmap(QSize(h, w));
    auto surface = Surface(target);
    if (left)
        DrawTurned(*surface, source, QPoint(0, w), QPoint(0, 0), QPoint(h, w));
    else
        DrawTurned(*surface, source, QPoint(h, 0), QPoint(h, w), QPoint(0, 0));
    return target;
}

TEST(DrawTurned, QuarterTurnsMoveEveryPixelExactly)
{
    const QImage source = Distinct(40, 30);
    const QImage right = Turn(source, false);
    const QImage left = Turn(source, true);
    ASSERT_EQ(right.size(), QSize(30, 40));
    ASSERT_EQ(left.size(), QSize(30, 40));
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(right.pixel(30 - 1 - y, x), source.pixel(x, y)) << x << "," << y;
            ASSERT_EQ(left.pixel(y, 40 - 1 - x), source.pixel(x, y)) << x << "," << y;
        }
    }
    EXPECT_EQ(Turn(Turn(Turn(Turn(source, false), false), false), false), source.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(Turn(right, true), source.convertToFormat(QImage::Format_ARGB32));
}

TEST(DrawScaled, StretchesTheWholeSourceToTheRectangle)
{
    QImage target = BlankBitmap(QSize(100, 40));
    EXPECT_EQ(target.size(), QSize(100, 40));
    EXPECT_EQ(qAlpha(target.pixel(50, 20)), 0);
    DrawScaled(*Surface(target), Quadrants(), QRect(0, 0, 100, 40));
    EXPECT_LE(MaxChannelDifference(target.pixel(10, 5), qRgb(220, 30, 30)), 2);
    EXPECT_LE(MaxChannelDifference(target.pixel(90, 35), qRgb(250, 250, 20)), 2);
}

struct BadInput {
    const char *name;
    std::vector<std::uint8_t> bytes;
    friend std::ostream &operator<<(std::ostream &os, const BadInput &c) { return os << c.name; }
};

std::vector<std::uint8_t> Truncated(const char *format, std::size_t keep)
{
    auto bytes = Encode(Distinct(300, 200), format);
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}

std::vector<std::uint8_t> PngDeclaring(std::uint32_t w, std::uint32_t h)
{
    auto bytes = Encode(Distinct(4, 4), "png");
    for (int i = 0; i < 4; ++i) {
        bytes[16 + std::size_t(i)] = std::uint8_t(w >> (24 - 8 * i));
        bytes[20 + std::size_t(i)] = std::uint8_t(h >> (24 - 8 * i));
    }
    return bytes;
}

void Put32(std::vector<std::uint8_t> &bytes, std::uint32_t value, bool bigEndian = false)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(std::uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

void PutChunk(std::vector<std::uint8_t> &png, const char *type, std::uint32_t claimedLength, std::size_t dataLength)
{
    Put32(png, claimedLength, true);
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), dataLength, 'x');
    Put32(png, 0, true);  // CRC: never reached
}

// A PNG's signature and header chunk, then `chunks` appended by the caller.
std::vector<std::uint8_t> PngStart()
{
    const auto png = Encode(Distinct(4, 4), "png");
    return {png.begin(), png.begin() + 33};
}

std::vector<std::uint8_t> PngEnd(std::vector<std::uint8_t> png)
{
    PutChunk(png, "IEND", 0, 0);
    return png;
}

// 218 bytes whose text chunk claims 0x63000019 bytes: libpng would allocate and clear 1.6 GB.
std::vector<std::uint8_t> PngWithTextBomb()
{
    std::vector<std::uint8_t> png = PngStart();
    Put32(png, 0x63000019, true);
    png.insert(png.end(), {'t', 'E', 'X', 't'});
    png.resize(218, 'x');
    return png;
}

// An EMF header record of 88 bytes whose description has `descriptionChars` UTF-16 characters
// from offset 88, then `body` and the end record.
std::vector<std::uint8_t> Emf(std::uint32_t descriptionChars, const std::vector<std::uint8_t> &body)
{
    std::vector<std::uint8_t> emf;
    Put32(emf, 1);
    Put32(emf, 88);
    for (std::uint32_t v : {0u, 0u, 99u, 49u, 0u, 0u, 2645u, 1322u})
        Put32(emf, v);
    Put32(emf, 0x464D4520);  // " EMF"
    Put32(emf, 0x10000);
    Put32(emf, std::uint32_t(88 + body.size() + 20));
    Put32(emf, 3);
    Put32(emf, 1);  // handles, reserved
    Put32(emf, descriptionChars);
    Put32(emf, descriptionChars ? 88 : 0);
    Put32(emf, 0);
    for (std::uint32_t v : {1920u, 1080u, 508u, 286u})
        Put32(emf, v);
    emf.insert(emf.end(), body.begin(), body.end());
    for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u})  // EOF
        Put32(emf, v);
    return emf;
}

// An EMF+ comment whose EMF+ record claims 4096 bytes in a record of 44.
std::vector<std::uint8_t> EmfPlusCommentBeyondItsRecord()
{
    std::vector<std::uint8_t> comment;
    Put32(comment, 70);
    Put32(comment, 44);
    Put32(comment, 32);
    Put32(comment, 0x2B464D45);  // "EMF+"
    Put32(comment, 0x4001);      // EmfPlusHeader, no flags
    Put32(comment, 4096);
    Put32(comment, 4084);
    comment.resize(44, 0x5A);
    return Emf(0, comment);
}

// A WMF header of 18 bytes and one more: its largest record claims 2^32 - 1 words.
// A GIF of a few dozen bytes whose screen claims `width` x `height` pixels, with one real pixel:
// its reader would make the whole canvas.
std::vector<std::uint8_t> GifClaiming(std::uint16_t width, std::uint16_t height)
{
    return {'G', 'I', 'F', '8', '7', 'a', std::uint8_t(width), std::uint8_t(width >> 8), std::uint8_t(height),
            std::uint8_t(height >> 8), 0x80, 0, 0,                  // a global table of two colours
            0, 0, 0, 255, 255, 255,                                  // black, white
            0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0,                         // one image of 1 x 1 at 0, 0
            2, 2, 0x44, 0x01, 0,                                     // LZW: clear, pixel 0, end
            0x3B};
}

std::vector<std::uint8_t> WmfAskingForGigabytes()
{
    return {0x01, 0x00, 0x09, 0x00, 0x00, 0x03, 0xFF, 0xFF, 0xFF, 0xFF,
            0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00};
}

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, AreRefusedWithTheNameAndNeverCrash)
{
    const ImagingLibrary library;  // the limits the program runs with
    const auto &bytes = GetParam().bytes;
    const Picture picture = DecodeMemory(bytes, "/photos/bad.jpg");
    EXPECT_FALSE(picture.ok());
    EXPECT_TRUE(picture.error.startsWith("Cannot open file \"/photos/bad.jpg\". ")) << picture.error.toStdString();
    EXPECT_FALSE(DecodeMemory(bytes, "x", QSize(100, 100)).ok());

    TempDir dir;
    test::WriteFile(dir / "bad.png", bytes);
    const Picture fromFile = OpenFile(Q(dir / "bad.png"));
    EXPECT_FALSE(fromFile.ok());
    EXPECT_NE(fromFile.error.indexOf("bad.png"), -1);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, BadInputs,
    ::testing::Values(BadInput{"Empty", {}}, BadInput{"Text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
                      BadInput{"PngCutAfterItsHeader", Truncated("png", 40)},
                      BadInput{"JpegCutAfterItsHeader", Truncated("jpeg", 200)},
                      BadInput{"GifCutAfterItsHeader", Truncated("gif", 20)},
                      BadInput{"BmpCutAfterItsHeader", Truncated("bmp", 60)},
                      BadInput{"TiffCutAfterItsHeader", Truncated("tiff", 16)},
                      BadInput{"PngDeclaringAHugeSize", PngDeclaring(100000, 100000)},
                      BadInput{"JpegSignatureOnly", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}},
                      BadInput{"EmfSignatureThenNoise", [] {
                                   std::vector<std::uint8_t> b(120, 0x41);
                                   b[0] = 1, b[1] = b[2] = b[3] = 0;
                                   b[40] = 0x20, b[41] = 0x45, b[42] = 0x4D, b[43] = 0x46;
                                   return b;
                               }()},
                      BadInput{"PngTextChunkClaimingMoreThanTheFile", PngWithTextBomb()},
                      BadInput{"EmfDescriptionBeyondItsRecord", Emf(0x4000, {})},
                      BadInput{"WmfAskingForGigabytes", WmfAskingForGigabytes()},
                      BadInput{"GifOfFewBytesClaimingAHugeCanvas", GifClaiming(16408, 13328)}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(OpenFile, MissingFileIsAnOpenError)
{
    const Picture picture = OpenFile("/no/such/photo.jpg");
    EXPECT_FALSE(picture.ok());
    EXPECT_EQ(picture.error.toStdString(), "Cannot open file \"/no/such/photo.jpg\". No such file or directory");
}

struct BoxCase {
    const char *name;
    QSize full;
    QSize box;
    QSize decoded;
    friend std::ostream &operator<<(std::ostream &os, const BoxCase &c) { return os << c.name; }
};

class DecodeForBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(DecodeForBox, IsAtLeastTheFittedSizeAndNoLargerThanNeeded)
{
    const auto &c = GetParam();
    EXPECT_EQ(ReducedSizeFor(c.full, c.box), c.decoded);
    QImage photo(c.full, QImage::Format_RGB32);
    photo.fill(qRgb(90, 120, 150));
    const auto jpeg = Encode(photo, "jpeg");
    const Picture picture = DecodeMemory(jpeg, "photo.jpg", c.box);
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(picture.image.size(), c.decoded);
    EXPECT_EQ(picture.fullSize, c.full);
    const QSize fitted = c.full.scaled(c.box, Qt::KeepAspectRatio);
    EXPECT_GE(picture.image.width(), std::min(fitted.width(), c.full.width()));
    EXPECT_GE(picture.image.height(), std::min(fitted.height(), c.full.height()));
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DecodeForBox,
    ::testing::Values(BoxCase{"BoxLargerThanPicture", {800, 600}, {1920, 1080}, {800, 600}},
                      BoxCase{"HalfFits", {1600, 1200}, {800, 600}, {800, 600}},
                      BoxCase{"JustOverAHalfNeedsFull", {1600, 1200}, {801, 601}, {1600, 1200}},
                      BoxCase{"QuarterForAThumbnail", {1600, 1200}, {206, 206}, {400, 300}},
                      BoxCase{"EighthRoundsUp", {4001, 3001}, {206, 206}, {501, 376}},
                      BoxCase{"ScreenBoxOfAWidePhoto", {6000, 4000}, {1920, 1080}, {3000, 2000}},
                      BoxCase{"TallPhotoInAWideBox", {3000, 4000}, {1920, 1080}, {1500, 2000}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DecodeForBox, ExifOrientationIsAppliedAndTheBoxStaysUpright)
{
    QImage landscape(800, 400, QImage::Format_RGB32);
    landscape.fill(Qt::white);
    QPainter(&landscape).fillRect(0, 0, 100, 100, Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(landscape));
    const std::span<const std::uint8_t> data(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size()));

    const Picture full = DecodeMemory(data, "turned.jpg");
    ASSERT_TRUE(full.ok());
    if (full.image.size() == QSize(800, 400))
        GTEST_SKIP() << "this Qt writes no EXIF orientation";
    EXPECT_EQ(full.image.size(), QSize(400, 800));
    const Picture boxed = DecodeMemory(data, "turned.jpg", QSize(200, 400));
    ASSERT_TRUE(boxed.ok());
    EXPECT_EQ(boxed.image.size(), QSize(200, 400));
    EXPECT_EQ(boxed.fullSize, QSize(400, 800));
}

struct MetafileCase {
    const char *name;
    const char *file;
    Format format;
    friend std::ostream &operator<<(std::ostream &os, const MetafileCase &c) { return os << c.name; }
};

class Metafiles : public ::testing::TestWithParam<MetafileCase> {};

TEST_P(Metafiles, AreDrawnAtTheirSize)
{
    const Picture picture = OpenFile(QStringLiteral(TEST_DATA "/") + GetParam().file);
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_EQ(picture.format, GetParam().format);
    EXPECT_NEAR(picture.image.width(), 100, 2);
    EXPECT_NEAR(picture.image.height(), 50, 2);
    const QRgb centre = picture.image.pixel(picture.image.width() / 2, picture.image.height() / 2);
    EXPECT_GT(qRed(centre), 200);
    EXPECT_LT(qGreen(centre), 60);
    EXPECT_EQ(qAlpha(picture.image.pixel(2, 2)), 0);
}

INSTANTIATE_TEST_SUITE_P(Files, Metafiles,
                         ::testing::Values(MetafileCase{"Wmf", "red-rectangle.wmf", Format::Wmf},
                                           MetafileCase{"Emf", "red-rectangle.emf", Format::Emf}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(PngChunksFit, RefusesAChunkThatClaimsMoreThanTheFileHolds)
{
    const auto withChunk = [](std::uint32_t claimed, std::size_t present) {
        std::vector<std::uint8_t> png = PngStart();
        PutChunk(png, "tEXt", claimed, present);
        return PngEnd(png);
    };
    std::vector<std::uint8_t> cutHeader = PngStart();
    cutHeader.insert(cutHeader.end(), {0, 0, 0, 4, 't', 'E'});
    std::vector<std::uint8_t> noEnd = PngStart();
    PutChunk(noEnd, "tEXt", 3, 3);
    std::vector<std::uint8_t> trailing = PngEnd(PngStart());
    trailing.insert(trailing.end(), {0x7F, 0xFF, 0xFF, 0xFF, 'j', 'u', 'n', 'k'});
    const struct {
        const char *name;
        std::vector<std::uint8_t> bytes;
        bool fits;
    } table[] = {
        {"an encoded picture", Encode(Distinct(40, 30), "png"), true},
        {"a chunk that holds what it claims", withChunk(100, 100), true},
        {"an empty chunk", withChunk(0, 0), true},
        {"the 218-byte text bomb", PngWithTextBomb(), false},
        {"a chunk one byte short", withChunk(101, 100), false},
        {"a length above 2^31 - 1", withChunk(0x80000000u, 10), false},
        {"a chunk header cut off", cutHeader, false},
        {"no end chunk, every chunk whole (left to the decoder)", noEnd, true},
        {"anything after the end chunk", trailing, true},
    };
    for (const auto &row : table)
        EXPECT_EQ(PngChunksFit(row.bytes), row.fits) << row.name;

    const Picture bomb = DecodeMemory(PngWithTextBomb(), "bomb.png");
    EXPECT_EQ(bomb.error.toStdString(),
              "Cannot open file \"bomb.png\". The picture is damaged: a part of it claims more bytes than the file holds.");
}

TEST(Decoder, IsFoundAndItsAbsenceIsAMessage)
{
    EXPECT_TRUE(std::filesystem::is_regular_file(DecoderPath()));
    const auto wmf = test::ReadFile(TEST_DATA "/red-rectangle.wmf");
    for (const std::filesystem::path &decoder : {std::filesystem::path(), std::filesystem::path("/nonexistent/decoder")}) {
        const Decoded missing = DecodeContained(decoder, wmf, Format::Wmf, std::nullopt);
        EXPECT_EQ(missing.refusal, Refusal::DecoderMissing);
        EXPECT_EQ(RefusalText(missing, Format::Wmf).toStdString(),
                  "The picture cannot be drawn: the program's decoder (veilshot-decode) is not installed.");
    }
}

bool LandlockAvailable()
{
    return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, 1 /* version */) >= 1;
}

bool AddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// Faults injected into the decoder once it confined itself: each must come back as the usual
// message, promptly, and nothing it must not do may succeed (it answers a picture if it does).
TEST(ConfinedDecoder, FaultsAndEscapesBecomeTheUsualMessage)
{
    TempDir dir;
    test::WriteText(dir / "secret.txt", "private");
    const std::string created = (dir / "created").string();
    const struct {
        std::string input;
        bool skip;
    } table[] = {
        {"crash", false},
        {"abort", false},
        {"spin", false},
        {"sleep", false},
        {"allocate", AddressSanitizer()},  // the sanitizer's own allocator takes no address-space limit
        {"create " + created, false},
        {"read " + (dir / "secret.txt").string(), !LandlockAvailable()},
        {"socket", false},
        {"fork", false},
        {"signal", false},
        {"capabilities", false},  // meaningful where the tests run as root
        {"environment", false},
    };
    using Clock = std::chrono::steady_clock;
    for (const auto &row : table) {
        if (row.skip)
            continue;
        const std::vector<std::uint8_t> input(row.input.begin(), row.input.end());
        const Clock::time_point start = Clock::now();
        const Decoded decoded = DecodeContained(FAULT_DECODER, input, Format::Emf, std::nullopt, std::chrono::milliseconds(1000));
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << row.input;
        EXPECT_TRUE(decoded.image.isNull()) << row.input;
        EXPECT_EQ(decoded.refusal, Refusal::DecoderFailed) << row.input;
        EXPECT_EQ(RefusalText(decoded, Format::Emf).toStdString(), "The metafile is damaged or cannot be drawn.");
    }
    EXPECT_FALSE(std::filesystem::exists(created));

    // The same decoder answers when nothing goes wrong, and it can convert the texts of EMF
    // pictures, whose converters the C library loads from a folder it may no longer read.
    for (const std::string fine : {"picture", "convert"}) {
        const Decoded picture = DecodeContained(FAULT_DECODER, std::vector<std::uint8_t>(fine.begin(), fine.end()),
                                                Format::Emf, std::nullopt);
        ASSERT_FALSE(picture.image.isNull()) << fine;
        EXPECT_EQ(picture.image.size(), QSize(2, 1));
        EXPECT_EQ(picture.image.pixel(1, 0), qRgb(255, 0, 0));
    }
}

// An EMF+ record claiming more than its comment record holds, the shape of the reads past the
// buffer that fuzzing found in the EMF library: drawn or refused, the decoder's business
// either way.
TEST(ConfinedDecoder, ReadsPastAnEmfRecordStayInTheDecoder)
{
    const Picture picture = DecodeMemory(EmfPlusCommentBeyondItsRecord(), "comment.emf");
    if (!picture.ok()) {
        EXPECT_EQ(picture.error.toStdString(), "Cannot open file \"comment.emf\". The metafile is damaged or cannot be drawn.");
    }
}

// Pictures decoded in the decoder process come back in their own pixel layout, 16 bits a
// channel and padded lines included, with their alpha as it was.
TEST(ConfinedDecoder, PicturesKeepTheirPixelLayout)
{
    QImage deep(5, 3, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(0x1234, 0xABCD, 0x0102, 0xFFFF));
    deep.setPixelColor(4, 2, QColor::fromRgba64(0xFFFF, 0, 0x8001, 0x4000));
    QImage grey(7, 2, QImage::Format_Grayscale8);  // lines of 7 bytes, padded
    grey.fill(0x5A);
    for (const QImage &source : {deep, grey}) {
        const Decoded picture = DecodeContained(DecoderPath(), Encode(source, "tiff"), Format::Tiff, std::nullopt);
        ASSERT_FALSE(picture.image.isNull()) << RefusalText(picture, Format::Tiff).toStdString();
        EXPECT_EQ(picture.image.depth(), source.depth());
        EXPECT_EQ(picture.image.size(), source.size());
        EXPECT_EQ(picture.fullSize, source.size());
        for (QPoint p : {QPoint(0, 0), QPoint(4, 1), QPoint(source.width() - 1, source.height() - 1)})
            EXPECT_EQ(picture.image.pixelColor(p).rgba64(), source.pixelColor(p).rgba64()) << p.x() << "," << p.y();
    }
}

// Decoding ahead and the thumbnails start decoders from several threads at once; each answer
// reaches the thread that asked.
TEST(ConfinedDecoder, DecodersStartedFromManyThreadsAnswerTheirOwnCaller)
{
    const auto wmf = test::ReadFile(TEST_DATA "/red-rectangle.wmf");
    const auto emf = test::ReadFile(TEST_DATA "/red-rectangle.emf");
    std::vector<QSize> sizes(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        threads.emplace_back([&, i] {
            const QSize box = QSize(40 + int(i) * 20, 400);  // the width decides the size
            sizes[i] = DecodeMemory(i % 2 ? wmf : emf, "m", box).image.size();
        });
    for (std::thread &thread : threads)
        thread.join();
    for (std::size_t i = 0; i < sizes.size(); ++i)
        EXPECT_NEAR(sizes[i].width(), 40 + int(i) * 20, 1) << i;
}

TEST(Save, AFailedSaveLeavesTheOldFileWhole)
{
    TempDir dir;
    test::WriteText(dir / "photo.png", "the old photo");
    EXPECT_THROW(Save(Quadrants(), Q(dir / "photo.png"), -1), FileError);
    EXPECT_THROW(Save(QImage(), Q(dir / "photo.png"), FindEncoderByMime("image/png")), FileError);
    EXPECT_THROW(Save(Quadrants(), Q(dir / "missing" / "photo.png"), 0), FileError);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"photo.png"});
    EXPECT_EQ(test::ReadFile(dir / "photo.png").size(), 13u);
}

struct ExactCopyCase {
    const char *name;
    std::vector<std::uint8_t> bytes;
};

class WriteDecoded : public ::testing::TestWithParam<ExactCopyCase> {};

TEST_P(WriteDecoded, WritesThePictureExactlyAsItCame)
{
    TempDir dir;
    const auto &bytes = GetParam().bytes;
    const Picture picture = DecodeMemory(bytes, "a");
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    imaging::WriteDecoded(picture, bytes, Q(dir / "copy.jpg"));  // the name does not matter
    EXPECT_EQ(test::ReadFile(dir / "copy.jpg"), bytes);
    EXPECT_THROW(imaging::WriteDecoded(picture, bytes, Q(dir / "copy.jpg")), TargetExistsError);
    EXPECT_EQ(test::ReadFile(dir / "copy.jpg"), bytes);
}

INSTANTIATE_TEST_SUITE_P(Formats, WriteDecoded,
                         ::testing::Values(ExactCopyCase{"Png", test::EncodedPhoto("png")},
                                           ExactCopyCase{"JpegWithExif", test::JpegWithExif(false)},
                                           ExactCopyCase{"JpegWithDamagedExif", test::JpegWithExif(true)},
                                           ExactCopyCase{"Wmf", test::ReadFile(TEST_DATA "/red-rectangle.wmf")}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(WriteDecodedRefusal, BytesThatAreNoPictureAreNotWritten)
{
    TempDir dir;
    const std::vector<std::uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'h', 'o', 't', 'o'};
    const Picture picture = DecodeMemory(text, "a");
    ASSERT_FALSE(picture.ok());
    EXPECT_THROW(imaging::WriteDecoded(picture, text, Q(dir / "copy.jpg")), FileError);
    EXPECT_TRUE(dir.entries().empty());
}

// --- Turning a file ------------------------------------------------------------------------

// The sampling factors of the first component (luma) in the frame header: 0x22 is 4:2:0,
// whose blocks (MCUs) are 16 x 16 pixels.
int LumaSampling(const std::vector<std::uint8_t> &jpeg)
{
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t marker = jpeg[at + 1];
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if ((marker == 0xC0 || marker == 0xC1 || marker == 0xC2) && at + 11 < jpeg.size())
            return jpeg[at + 11];
        at += 2 + length;
    }
    return -1;
}

// The APP1 segment of a JPEG that starts with one.
std::vector<std::uint8_t> ExifSegmentOf(const std::vector<std::uint8_t> &jpeg)
{
    const std::size_t length = std::size_t(jpeg[4]) << 8 | jpeg[5];
    return {jpeg.begin() + 2, jpeg.begin() + 4 + std::ptrdiff_t(length)};
}

// An APP1 EXIF segment naming a camera and giving an orientation (big-endian TIFF).
std::vector<std::uint8_t> ExifSegment(int orientation)
{
    std::vector<std::uint8_t> tiff = {'M', 'M', 0, 42, 0, 0, 0, 8,                    // header, IFD at 8
                                      0, 2,                                           // two entries
                                      0x01, 0x0F, 0, 2, 0, 0, 0, 8, 0, 0, 0, 38,     // Make, 8 bytes at 38
                                      0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, std::uint8_t(orientation), 0, 0,
                                      0, 0, 0, 0,                                     // no next IFD
                                      'C', 'a', 'm', 'e', 'r', 'a', 0, 0};
    std::vector<std::uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    segment[2] = std::uint8_t((segment.size() - 2) >> 8);
    segment[3] = std::uint8_t((segment.size() - 2) & 0xFF);
    return segment;
}

std::vector<std::uint8_t> WithSegment(std::vector<std::uint8_t> jpeg, const std::vector<std::uint8_t> &segment)
{
    jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
    return jpeg;
}

bool Contains(const std::vector<std::uint8_t> &bytes, const std::vector<std::uint8_t> &part)
{
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

int MaxDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            worst = std::max(worst, MaxChannelDifference(a.pixel(x, y), b.pixel(x, y)));
    return worst;
}

QImage Decoded(const std::filesystem::path &file)
{
    const Picture picture = OpenFile(Q(file));
    EXPECT_TRUE(picture.ok()) << picture.error.toStdString();
    return picture.image.convertToFormat(QImage::Format_ARGB32);
}

// Distinct() in shades of grey: a colour photo's chroma stays flat.
QImage DistinctGrey(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 5 + y * 3) % 256, (x * 5 + y * 3) % 256, (x * 5 + y * 3) % 256));
    return image;
}

struct LosslessCase {
    const char *name;
    QImage picture;
    // Exact equality fails here, and not for a loss: decoding the moved blocks rounds
    // differently from turning the decoded picture, because the decoder's integer IDCT rounds
    // between its row pass and its column pass (1 level in grey), and the 4:2:0 chroma is
    // upsampled with rounding that differs along rows and columns (3 levels where colours
    // change sharply). Four turns below must give the very same picture back.
    int tolerance;
    friend std::ostream &operator<<(std::ostream &os, const LosslessCase &c) { return os << c.name; }
};

class TurnFileLossless : public ::testing::TestWithParam<LosslessCase> {};

TEST_P(TurnFileLossless, MovesTheBlocksAndKeepsTheExifData)
{
    TempDir dir;
    const auto plain = Encode(GetParam().picture, "jpeg");
    ASSERT_EQ(LumaSampling(plain), 0x22) << "the fixture is meant to be 4:2:0, in blocks of 16 x 16";
    const auto exif = ExifSegmentOf(test::JpegWithExif(false));
    const auto photo = WithSegment(plain, exif);
    const int jpeg = FindEncoderByMime("image/jpeg");

    for (const bool left : {false, true}) {
        SCOPED_TRACE(left ? "left" : "right");
        const auto file = dir / (left ? "left.jpg" : "right.jpg");
        test::WriteFile(file, photo);
        const QImage original = Decoded(file);
        TurnFile(Q(file), left, jpeg);
        EXPECT_TRUE(Contains(test::ReadFile(file), exif)) << "the EXIF segment stays as it was";
        const QImage shown = Decoded(file);
        ASSERT_EQ(shown.size(), QSize(240, 320));
        EXPECT_LE(MaxDifference(shown, Turn(original, left)), GetParam().tolerance);

        // Three more quarter turns: the very picture again, where encoding it anew each time
        // would have drifted.
        for (int i = 0; i < 3; ++i)
            TurnFile(Q(file), left, jpeg);
        EXPECT_EQ(Decoded(file), original);
    }
}

INSTANTIATE_TEST_SUITE_P(Pictures, TurnFileLossless,
                         ::testing::Values(LosslessCase{"Grey", DistinctGrey(320, 240), 1},
                                           LosslessCase{"Colour", Distinct(320, 240), 3}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(TurnFile, ExifOrientationIsAppliedFirstAndThenSetUpright)
{
    TempDir dir;
    // Stored 320 x 240, shown a quarter turn clockwise (orientation 6): 240 x 320.
    const auto photo = WithSegment(Encode(DistinctGrey(320, 240), "jpeg"), ExifSegment(6));
    ASSERT_EQ(ExifOrientation(photo), 6);
    const auto file = dir / "camera.jpg";
    test::WriteFile(file, photo);
    const QImage shownBefore = Decoded(file);
    ASSERT_EQ(shownBefore.size(), QSize(240, 320));

    TurnFile(Q(file), false, FindEncoderByMime("image/jpeg"));
    const auto turned = test::ReadFile(file);
    EXPECT_EQ(ExifOrientation(turned), 1);
    const std::vector<std::uint8_t> make = {'C', 'a', 'm', 'e', 'r', 'a', 0, 0};
    EXPECT_TRUE(Contains(turned, make));
    const QImage shown = Decoded(file);
    ASSERT_EQ(shown.size(), QSize(320, 240));
    // Stored blocks turned by half a turn in all: rows stay rows, so the decoder's rounding
    // is the same and the pictures agree exactly.
    EXPECT_EQ(shown, Turn(shownBefore, false));
}

TEST(TurnFile, PartialBlocksAreEncodedAgainAndStillTurn)
{
    TempDir dir;
    const QImage source = Quadrants(401, 300);
    const auto photo = Encode(source, "jpeg");
    ASSERT_FALSE(TurnJpegLossless(photo, false).has_value()) << "401 is not a whole number of blocks";
    const int jpeg = FindEncoderByMime("image/jpeg");

    for (const bool left : {false, true}) {
        SCOPED_TRACE(left ? "left" : "right");
        const auto file = dir / "wide.jpg";
        test::WriteFile(file, photo);
        TurnFile(Q(file), left, jpeg);
        const Picture back = OpenFile(Q(file));
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(back.format, Format::Jpeg);
        ASSERT_EQ(back.image.size(), QSize(300, 401));
        const QImage expected = Turn(source, left);
        // Away from the edges between the quadrants, where JPEG blurs.
        for (QPoint p : {QPoint(40, 40), QPoint(260, 40), QPoint(40, 360), QPoint(260, 360), QPoint(0, 0), QPoint(299, 400)})
            EXPECT_LE(MaxChannelDifference(back.image.pixel(p), expected.pixel(p)), 24) << p.x() << "," << p.y();
    }
}

TEST(TurnJpegLossless, RefusesWhatIsNoJpeg)
{
    EXPECT_FALSE(TurnJpegLossless(Encode(Quadrants(320, 240), "png"), false).has_value());
    EXPECT_FALSE(TurnJpegLossless(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, true).has_value());
}

}  // namespace
}  // namespace veilshot::imaging
