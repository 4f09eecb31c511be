// Encoding and drawing: every written format round-trips, encoders are found by their exact
// MIME type, quarter turns are exact pixel moves, a failed save leaves the old file whole and
// decoded bytes are written exactly as they came.

#include "common/drawings.h"
#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <QColorSpace>

namespace veilshot::imaging {
namespace {

using test::Distinct;
using test::Encode;
using test::MaxChannelDifference;
using test::Q;
using test::Quadrants;
using test::TempDir;
using test::Turn;

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

// A photo written again in its own colours keeps colours the display cannot show, where the
// target format holds a profile; BMP and GIF hold none and get the sRGB colours shown for it.
TEST(Save, ColoursOutsideTheDisplaysSurviveBeingWrittenAgain)
{
    TempDir dir;
    // Display P3's own red, outside sRGB, beside a colour inside it that sRGB writes otherwise.
    QImage p3(16, 16, QImage::Format_RGB32);
    p3.fill(qRgb(255, 0, 0));
    for (int y = 0; y < 16; ++y)
        for (int x = 8; x < 16; ++x)
            p3.setPixel(x, y, qRgb(200, 100, 50));
    p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    test::WriteFile(dir / "p3.png", Encode(p3, "png"));
    const ImagingLibrary library;
    const Picture own = OpenFile(Q(dir / "p3.png"), std::nullopt, Colours::Own);
    const Picture shown = OpenFile(Q(dir / "p3.png"));
    ASSERT_TRUE(own.ok() && shown.ok());
    ASSERT_EQ(own.image.pixel(4, 8), qRgb(255, 0, 0));
    for (const char *mime : {"image/png", "image/tiff", "image/jpeg", "image/bmp", "image/gif"}) {
        const QString target = Q(dir / "again");
        Save(own.image, target, FindEncoderByMime(mime));
        const Picture again = OpenFile(target, std::nullopt, Colours::Own);
        ASSERT_TRUE(again.ok()) << mime;
        const bool holdsProfile = QLatin1String(mime) != "image/bmp" && QLatin1String(mime) != "image/gif";
        const int tolerance = QLatin1String(mime) == "image/jpeg" ? 4 : 1;
        for (const QPoint at : {QPoint(4, 8), QPoint(12, 8)})
            EXPECT_LE(MaxChannelDifference(again.image.pixel(at), (holdsProfile ? own : shown).image.pixel(at)), tolerance)
                << mime << " at x " << at.x();
        EXPECT_EQ(again.image.colorSpace().isValid() && again.image.colorSpace() != QColorSpace(QColorSpace::SRgb),
                  holdsProfile)
            << mime;
    }
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

}  // namespace
}  // namespace veilshot::imaging
