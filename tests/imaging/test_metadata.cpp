// A JPEG encoded again keeps what it carried: its metadata blocks, its quality and its chroma
// subsampling, and its colours through its profile; damaged segments are walked safely.

#include "common/cameraphoto.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/codecs/jpegturn.h"
#include "imaging/codecs/pngwriter.h"
#include "imaging/imaging.h"
#include "imaging/metadata/metadata.h"

#include <gtest/gtest.h>

#include <QColorSpace>

#include <algorithm>
#include <string>

namespace veilshot::imaging {
namespace {

using test::Bytes;
using test::CameraJpeg;
using test::Comment;
using test::Contains;
using test::Exif;
using test::Icc;
using test::Joined;
using test::Segment;
using test::Text;
using test::Xmp;

struct TurnCase {
    const char *name;
    int orientation;
    bool left;
    bool lossless;
    friend std::ostream &operator<<(std::ostream &os, const TurnCase &c) { return os << c.name; }
};

class TurnKeeps : public ::testing::TestWithParam<TurnCase> {};

// 800 x 533 is whole blocks across but not down: turned left the partial row goes to the right
// edge and the turn is lossless; turned right it would go to the left edge, and it is encoded
// again. Either way everything the camera wrote stays, the orientation made upright.
TEST_P(TurnKeeps, QualitySubsamplingMetadataAndColours)
{
    test::TempDir dir;
    const Bytes photo = CameraJpeg(dir, {800, 533}, GetParam().orientation);
    const JpegMetadata source = ReadJpegMetadata(photo);
    ASSERT_EQ(source.quality, 85);
    ASSERT_EQ(source.subsampling, Subsampling::S444);
    ASSERT_EQ(source.segments.size(), 4u);
    ASSERT_EQ(TurnJpegLossless(photo, GetParam().left).has_value(), GetParam().lossless);
    const auto file = dir / "photo.jpg";
    test::WriteFile(file, photo);
    const Picture before = OpenFile(test::Q(file));
    ASSERT_TRUE(before.ok());

    TurnFile(test::Q(file), GetParam().left, FindEncoderByMime("image/jpeg"));
    const Bytes turned = test::ReadFile(file);
    const JpegMetadata kept = ReadJpegMetadata(turned);
    EXPECT_EQ(kept.quality, 85);
    EXPECT_EQ(kept.subsampling, Subsampling::S444);
    EXPECT_EQ(ExifOrientation(turned), 1);
    EXPECT_TRUE(Contains(turned, Text("CameraX")));
    EXPECT_TRUE(Contains(turned, Xmp));
    EXPECT_TRUE(Contains(turned, Comment));
    EXPECT_TRUE(Contains(turned, Icc()));

    const Picture after = OpenFile(test::Q(file));
    ASSERT_TRUE(after.ok());
    ASSERT_EQ(after.image.size(), before.image.size().transposed());
    // Both halves, away from where they meet: the same colours through the same profile.
    // Expected: the stored picture decoded as it lies, shown as its orientation says, turned.
    const auto stored = dir / "stored.jpg";
    test::WriteFile(stored, CameraJpeg(dir, {800, 533}, 1));
    const int angle = (GetParam().orientation == 6 ? 90 : 0) + (GetParam().left ? -90 : 90);
    const QImage expected = OpenFile(test::Q(stored)).image.transformed(QTransform().rotate(angle));
    for (const QPoint at : {QPoint(expected.width() / 4, expected.height() / 4),
                            QPoint(expected.width() * 3 / 4, expected.height() * 3 / 4)}) {
        const QRgb want = expected.pixel(at), got = after.image.pixel(at);
        EXPECT_LE(std::max({std::abs(qRed(want) - qRed(got)), std::abs(qGreen(want) - qGreen(got)),
                            std::abs(qBlue(want) - qBlue(got))}),
                  6)
            << at.x() << "," << at.y();
    }
}

INSTANTIATE_TEST_SUITE_P(Turns, TurnKeeps,
                         ::testing::Values(TurnCase{"LeftLossless", 1, true, true}, TurnCase{"RightEncodedAgain", 1, false, false},
                                           TurnCase{"CameraTurnedRight", 6, false, false},
                                           TurnCase{"CameraTurnedLeft", 6, true, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// The EXIF data made upright in either byte order, from a JPEG's block and from a PNG's eXIf
// chunk: the orientation's own two bytes read back as 1 in the data's order (not through a
// reader that takes a bad value for 1), the thumbnail link cut, the rest as it was.
TEST(JpegMetadata, TheExifBlockIsMadeUprightWithoutItsThumbnail)
{
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "MM" : "II");
        constexpr std::size_t Tiff = 4 + 6;  // the TIFF data in the segment
        Bytes upright = Exif(1, big);
        std::fill_n(upright.begin() + Tiff + 34, 4, 0);  // the IFD1 link
        const Bytes one = big ? Bytes{0, 1} : Bytes{1, 0};

        const JpegMetadata found = ReadJpegMetadata(Joined(Joined({0xFF, 0xD8}, Exif(6, big)), {0xFF, 0xDA, 0, 2}));
        ASSERT_EQ(found.segments.size(), 1u);
        EXPECT_EQ(Bytes(found.segments[0].begin() + Tiff + 30, found.segments[0].begin() + Tiff + 32), one);
        EXPECT_EQ(found.segments[0], upright);

        const Bytes turned = Exif(6, big);
        const QByteArray png = EncodePng(test::Photo({4, 3}), PngExtras{.exif = Bytes(turned.begin() + Tiff, turned.end())});
        const CarriedMetadata carried = ReadCarriedMetadata(Bytes(png.begin(), png.end()));
        ASSERT_EQ(carried.exif.size(), upright.size() - Tiff);
        EXPECT_EQ(Bytes(carried.exif.begin() + 30, carried.exif.begin() + 32), one);
        EXPECT_EQ(carried.exif, Bytes(upright.begin() + Tiff, upright.end()));
    }
}

struct BadCase {
    const char *name;
    Bytes bytes;
    std::size_t segments;
};

// Damaged or hostile bytes: the walk stops at the damage and keeps what came before it.
TEST(JpegMetadata, DamagedSegmentsEndTheWalkSafely)
{
    const Bytes soi = {0xFF, 0xD8};
    const std::vector<BadCase> cases = {
        {"empty", {}, 0},
        {"no JPEG", Text("GIF89a......"), 0},
        {"length below 2", Joined(soi, {0xFF, 0xFE, 0, 1, 'x'}), 0},
        {"length past the end", Joined(Joined(soi, Comment), {0xFF, 0xFE, 0x40, 0, 'x'}), 1},
        {"cut in a marker", Joined(Joined(soi, Comment), {0xFF}), 1},
        {"EXIF too short", Joined(soi, Segment(0xE1, Text(std::string("Exif\0\0II", 8)))), 1},
        {"EXIF IFD past the end", Joined(soi, Segment(0xE1, Joined(Text(std::string("Exif\0\0", 6)), {'M', 'M', 0, 42, 0xFF, 0xFF, 0xFF, 0xF0}))), 1},
        {"EXIF entries past the end", Joined(soi, Segment(0xE1, Joined(Text(std::string("Exif\0\0", 6)), {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF}))), 1},
        {"tables cut short", Joined(soi, Segment(0xDB, {0x00, 1, 2, 3})), 0},
        {"tables of a bad precision", Joined(soi, Segment(0xDB, Bytes(65, 0x20))), 0},
        {"frame cut short", Joined(soi, Segment(0xC0, {8, 0, 1})), 0},
        {"frame with too few components", Joined(soi, Segment(0xC0, {8, 0, 1, 0, 1, 3, 1, 0x22})), 0},
        {"profile chunk past its count", Joined(soi, Segment(0xE2, Joined(Text(std::string("ICC_PROFILE\0", 12)), {3, 1}))), 1},
    };
    for (const BadCase &c : cases) {
        SCOPED_TRACE(c.name);
        const JpegMetadata found = ReadJpegMetadata(c.bytes);
        EXPECT_EQ(found.segments.size(), c.segments);
        EXPECT_TRUE(IccProfileOf(found).empty());
        EXPECT_EQ(found.quality, 0);
    }
}

}  // namespace
}  // namespace veilshot::imaging
