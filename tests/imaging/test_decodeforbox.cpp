// Decoding for a box stays sharp without waste, upright as the EXIF orientation says, and
// metafiles are drawn at their size.

#include "common/cameraphoto.h"
#include "common/drawings.h"
#include "common/encoders.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <QImageReader>

namespace veilshot::imaging {
namespace {

using test::Distinct;
using test::Encode;
using test::MaxChannelDifference;
using test::Q;
using test::Quadrants;
using test::TempDir;
using test::Turn;

struct BoxCase {
    const char *name;
    QSize full;
    QSize box;
    QSize decoded;
    friend std::ostream &operator<<(std::ostream &os, const BoxCase &c) { return os << c.name; }
};

class DecodeForBox : public ::testing::TestWithParam<BoxCase> {};

TEST_P(DecodeForBox, IsTheFittedSizeRoundedUp)
{
    const auto &c = GetParam();
    EXPECT_EQ(ReducedSizeFor(c.full, c.box), c.decoded);
    const QImage photo = Quadrants(c.full.width(), c.full.height());
    const auto jpeg = Encode(photo, "jpeg");
    const Picture picture = DecodeMemory(jpeg, "photo.jpg", c.box);
    ASSERT_TRUE(picture.ok());
    EXPECT_EQ(picture.image.size(), c.decoded);
    EXPECT_EQ(picture.fullSize, c.full);
    // Shrunk smoothly: each quadrant's colour, right up to near its edges.
    const QImage whole = DecodeMemory(jpeg, "photo.jpg").image;
    const int w = c.decoded.width(), h = c.decoded.height();
    for (const QPoint at : {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4), QPoint(w / 4, 3 * h / 4),
                            QPoint(3 * w / 4, 3 * h / 4), QPoint(1, 1), QPoint(w - 2, h - 2)}) {
        const QPoint there(at.x() * c.full.width() / w, at.y() * c.full.height() / h);
        EXPECT_LE(MaxChannelDifference(picture.image.pixel(at), whole.pixel(there)), 6) << at.x() << "," << at.y();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, DecodeForBox,
    ::testing::Values(BoxCase{"BoxLargerThanPicture", {800, 600}, {1920, 1080}, {800, 600}},
                      BoxCase{"HalfFits", {1600, 1200}, {800, 600}, {800, 600}},
                      BoxCase{"JustOverAHalf", {1600, 1200}, {801, 601}, {801, 601}},
                      BoxCase{"AThumbnail", {1600, 1200}, {206, 206}, {206, 155}},
                      BoxCase{"AThumbnailOfAnOddSize", {4001, 3001}, {206, 206}, {206, 155}},
                      BoxCase{"ScreenBoxOfAWidePhoto", {6000, 4000}, {1920, 1080}, {1620, 1080}},
                      BoxCase{"OddSizesRoundUp", {6001, 4001}, {1920, 1080}, {1620, 1080}},
                      BoxCase{"AlmostTheWhole", {1600, 1200}, {1500, 1125}, {1500, 1125}},
                      BoxCase{"TallPhotoInAWideBox", {3000, 4000}, {1920, 1080}, {810, 1080}}),
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

// Each of the eight EXIF orientations, whole and for a box, is shown as Qt's own reader turns
// and mirrors it.
TEST(DecodeForBox, EveryExifOrientationIsShownUpright)
{
    const QImage stored = Quadrants(64, 48);
    const std::vector<std::uint8_t> plain = Encode(stored, "jpeg");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const std::vector<std::uint8_t> jpeg = WithSegments(plain, {test::Exif(orientation)});
        const QImage expected = test::QtUpright(jpeg, QImage::Format_RGB32);
        ASSERT_EQ(expected.size(), orientation >= 5 ? QSize(48, 64) : QSize(64, 48));
        const Picture whole = DecodeMemory(jpeg, "photo.jpg");
        ASSERT_TRUE(whole.ok());
        EXPECT_EQ(whole.image.convertToFormat(QImage::Format_RGB32), expected);
        const Picture boxed = DecodeMemory(jpeg, "photo.jpg", expected.size() / 2);
        ASSERT_TRUE(boxed.ok());
        ASSERT_EQ(boxed.image.size(), expected.size() / 2);
        for (const QPoint at : {QPoint(8, 8), QPoint(8, 20), QPoint(20, 8), QPoint(20, 20)})
            EXPECT_LE(MaxChannelDifference(boxed.image.pixel(at), expected.pixel(at * 2)), 8)
                << at.x() << "," << at.y();
    }
}

// Grey and CMYK JPEGs, whole and reduced, come out as Qt's own reader shows them.
TEST(DecodeForBox, GreyAndCmykJpegsAreShownAsQtShowsThem)
{
    const QImage source = Quadrants(64, 48);
    for (const char *colours : {"Gray", "CMYK"}) {
        SCOPED_TRACE(colours);
        const std::vector<std::uint8_t> jpeg =
            test::Encoded(source, "convert", {"IN", "-colorspace", colours, "-quality", "95", "OUT"}, ".jpg");
        ASSERT_FALSE(jpeg.empty());
        QByteArray bytes(reinterpret_cast<const char *>(jpeg.data()), qsizetype(jpeg.size()));
        QBuffer buffer(&bytes);
        const QImage expected = QImageReader(&buffer, "jpeg").read().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(expected.size(), source.size());
        const Picture whole = DecodeMemory(jpeg, "photo.jpg");
        ASSERT_TRUE(whole.ok());
        EXPECT_EQ(whole.image.convertToFormat(QImage::Format_RGB32), expected);
        const Picture reduced = DecodeMemory(jpeg, "photo.jpg", QSize(32, 24));
        ASSERT_TRUE(reduced.ok());
        ASSERT_EQ(reduced.image.size(), QSize(32, 24));
        EXPECT_LE(MaxChannelDifference(reduced.image.pixel(8, 6), expected.pixel(16, 12)), 6);
        EXPECT_LE(MaxChannelDifference(reduced.image.pixel(24, 18), expected.pixel(48, 36)), 6);
    }
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


// A preview stands in for its photo in a grid: the same fitting, full size and colours as the
// photo decoded for the box, upright and with its transparency; and it gives way to the photo
// when the box asks for more pixels than it has.
TEST(Previews, StandInForThePhotoWhereTheyHavePixelsEnough)
{
    TempDir dir;
    QImage transparent = Quadrants(800, 600);
    {
        QPainter painter(&transparent);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.fillRect(0, 0, 400, 300, Qt::transparent);
    }
    struct Case {
        const char *name;
        std::vector<std::uint8_t> photo;
        QSize box;
        bool standsIn;
    };
    const auto large = Encode(Quadrants(3000, 2000), "jpeg");
    const Case cases[] = {
        {"a thumbnail", large, {206, 206}, true},
        {"two pixels to a point", large, {412, 412}, true},
        {"three pixels to a point", large, {618, 618}, false},
        {"a photo smaller than the preview", Encode(Quadrants(300, 200), "png"), {618, 618}, true},
        {"transparent parts", Encode(transparent, "png"), {206, 206}, true},
        {"a camera's, turned and in Display P3", test::CameraJpeg(dir, {1200, 800}, 6), {206, 206}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(dir / "photo", c.photo);
        const auto preview = MakePreview(Q(dir / "photo"));
        ASSERT_FALSE(preview.empty());
        EXPECT_LT(preview.size(), 100u * 1024);
        const auto stood = PreviewPicture(preview, "photo.veil", c.box);
        ASSERT_EQ(stood.has_value(), c.standsIn);
        if (!stood)
            continue;
        const Picture photo = DecodeMemory(c.photo, "photo", c.box);
        ASSERT_TRUE(stood->ok());
        EXPECT_EQ(stood->fullSize, photo.fullSize);
        // At least the photo's fitting into the box, to a rounding, in the photo's proportions; a
        // preview that cannot be decoded reduced (a PNG) comes larger, and the grid shrinks it.
        const QSize wanted = ReducedSizeFor(photo.fullSize, c.box), got = stood->image.size();
        EXPECT_GE(got.width() + 1, wanted.width());
        EXPECT_GE(got.height() + 1, wanted.height());
        EXPECT_LE(std::max(got.width(), got.height()), PreviewEdge);
        EXPECT_NEAR(double(got.width()) / got.height(), double(wanted.width()) / wanted.height(), 0.02);
        for (const QPointF at : {QPointF(0.25, 0.25), QPointF(0.75, 0.25), QPointF(0.25, 0.75), QPointF(0.75, 0.75)}) {
            const QRgb a = stood->image.pixel(int(at.x() * got.width()), int(at.y() * got.height()));
            const QRgb b = photo.image.pixel(int(at.x() * photo.image.width()), int(at.y() * photo.image.height()));
            EXPECT_LE(MaxChannelDifference(a, b), 6) << at.x() << "," << at.y();
            EXPECT_EQ(qAlpha(a), qAlpha(b)) << at.x() << "," << at.y();
        }
    }
    // Bytes that are no preview stand in for nothing.
    for (const std::vector<std::uint8_t> &bytes :
         {std::vector<std::uint8_t>(), std::vector<std::uint8_t>(8, 1), std::vector<std::uint8_t>(40, 7)})
        EXPECT_FALSE(PreviewPicture(bytes, "photo.veil", {206, 206}));
    EXPECT_TRUE(MakePreview(Q(dir / "missing")).empty());
}

}  // namespace
}  // namespace veilshot::imaging
