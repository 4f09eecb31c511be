// Turning a file: a JPEG of whole blocks turns without loss and keeps its EXIF data, its
// orientation applied first; anything else is decoded, turned exactly and encoded again.

#include "common/cameraphoto.h"
#include "common/drawings.h"
#include "common/photos.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/codecs/jpegturn.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <QColorSpace>
#include <QImageReader>

#include <filesystem>

namespace veilshot::imaging {
namespace {

using test::Distinct;
using test::Encode;
using test::MaxChannelDifference;
using test::Q;
using test::Quadrants;
using test::TempDir;
using test::Turn;

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

// Turned through a decode, a photo keeps colours outside the display's: Display P3's own red.
TEST(TurnFile, ColoursOutsideTheDisplaysStay)
{
    TempDir dir;
    QImage p3(16, 8, QImage::Format_RGB32);
    p3.fill(qRgb(255, 0, 0));
    p3.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    test::WriteFile(dir / "p3.png", Encode(p3, "png"));
    TurnFile(Q(dir / "p3.png"), false, FindEncoderByMime("image/png"));
    const QImage turned = QImageReader(Q(dir / "p3.png")).read();
    ASSERT_EQ(turned.size(), QSize(8, 16));
    EXPECT_EQ(turned.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    EXPECT_EQ(turned.pixel(4, 4), qRgb(255, 0, 0));
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

// Each of the eight EXIF orientations, turned either way without loss, shows as Qt's own reader
// shows the photo upright, turned a quarter: a mirror or half turn taken for another would put
// the picture's corners elsewhere. Grey, so only the IDCT's rounding (1 level) tells them apart.
TEST(TurnJpegLossless, EveryOrientationShowsAsQtsUprightDecodeTurned)
{
    const auto plain = Encode(DistinctGrey(320, 240), "jpeg");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const auto photo = WithSegment(plain, test::Exif(orientation));
        const QImage upright = test::QtUpright(photo, QImage::Format_ARGB32);
        ASSERT_EQ(upright.size(), orientation >= 5 ? QSize(240, 320) : QSize(320, 240));
        for (const bool left : {false, true}) {
            SCOPED_TRACE(testing::Message() << "orientation " << orientation << (left ? ", left" : ", right"));
            const auto turned = TurnJpegLossless(photo, left);
            ASSERT_TRUE(turned.has_value());
            EXPECT_EQ(ExifOrientation(*turned), 1);
            const QImage shown = QImage::fromData(QByteArray(reinterpret_cast<const char *>(turned->data()), qsizetype(turned->size())))
                                     .convertToFormat(QImage::Format_ARGB32);
            ASSERT_EQ(shown.size(), upright.size().transposed());
            EXPECT_LE(MaxDifference(shown, Turn(upright, left)), 1);
        }
    }
}

TEST(TurnJpegLossless, RefusesWhatIsNoJpeg)
{
    EXPECT_FALSE(TurnJpegLossless(Encode(Quadrants(320, 240), "png"), false).has_value());
    EXPECT_FALSE(TurnJpegLossless(std::vector<std::uint8_t>{0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10}, true).has_value());
}

}  // namespace
}  // namespace veilshot::imaging
