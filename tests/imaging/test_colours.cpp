// Colours: a photo with an embedded profile or colour description is shown in sRGB (or the
// screen's colour space) with the values ImageMagick's profile conversion gives, within 2
// levels; a photo without one, or with an sRGB one, keeps its pixels exactly.

#include "common/cameraphoto.h"
#include "common/encoders.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <QImageReader>

namespace veilshot::imaging {
namespace {

// A 16 x 16 patch of `rgb` in `colours` (invalid: no profile at all), its right half `right`
// when given.
QImage Patch(QRgb rgb, const QColorSpace &colours, std::optional<QRgb> right = std::nullopt)
{
    QImage patch(16, 16, QImage::Format_RGB32);
    patch.fill(rgb);
    for (int y = 0; right && y < 16; ++y)
        for (int x = 8; x < 16; ++x)
            patch.setPixel(x, y, *right);
    patch.setColorSpace(colours);
    return patch;
}

std::vector<std::uint8_t> Written(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return {bytes.begin(), bytes.end()};
}

struct ProfileCase {
    const char *name;
    QColorSpace::NamedColorSpace colours;
    QRgb rgb;
    const char *program;  // writes the patch's PNG in its format; nullptr: Qt's writer
    QStringList arguments;
    const char *extension;
};

void PrintTo(const ProfileCase &c, std::ostream *out)
{
    *out << c.name;
}

constexpr QRgb InsideSrgb = qRgb(200, 100, 50);

class Profiles : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(Profiles, AreShownWithImageMagicksConversion)
{
    const ProfileCase &c = GetParam();
    const QColorSpace colours(c.colours);
    // Pure P3 red lies outside sRGB and comes out as sRGB's own red, converted or not: the
    // right half, inside sRGB, shows whether the colours were converted at all.
    const QImage patch = Patch(c.rgb, colours, InsideSrgb);
    const std::vector<std::uint8_t> bytes =
        c.program ? test::Encoded(patch, c.program, c.arguments, c.extension) : Written(patch, c.extension, 100);
    ASSERT_FALSE(bytes.empty());
    const QRgb expected[] = {test::ImageMagickConverted(c.rgb, colours.iccProfile()),
                             test::ImageMagickConverted(InsideSrgb, colours.iccProfile())};
    ASSERT_NE(expected[1], 0u) << "ImageMagick made nothing";

    const ImagingLibrary library;
    for (const std::optional<QSize> box : {std::optional<QSize>(), std::optional<QSize>(QSize(8, 8))}) {
        const Picture picture = box ? DecodeMemory(bytes, "patch", *box) : DecodeMemory(bytes, "patch");
        ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
        const int w = picture.image.width(), h = picture.image.height();
        for (int half = 0; half < 2; ++half) {
            const QRgb seen = picture.image.pixel(half ? 3 * w / 4 : w / 4, h / 2);
            EXPECT_NEAR(qRed(seen), qRed(expected[half]), 2) << "half " << half;
            EXPECT_NEAR(qGreen(seen), qGreen(expected[half]), 2) << "half " << half;
            EXPECT_NEAR(qBlue(seen), qBlue(expected[half]), 2) << "half " << half;
        }
    }
}

constexpr QRgb P3Red = qRgb(255, 0, 0);
constexpr QRgb AdobePatch = qRgb(60, 170, 90);
const QStringList HeicLossless = {"-L", "--matrix_coefficients=0", "IN", "-o", "OUT"};
const QStringList AvifLossless = {"-l", "IN", "OUT"};

INSTANTIATE_TEST_SUITE_P(
    Embedded, Profiles,
    ::testing::Values(
        ProfileCase{"P3Jpeg", QColorSpace::DisplayP3, P3Red, nullptr, {}, "jpeg"},
        ProfileCase{"P3Png", QColorSpace::DisplayP3, P3Red, nullptr, {}, "png"},
        ProfileCase{"P3Tiff", QColorSpace::DisplayP3, P3Red, nullptr, {}, "tiff"},
        ProfileCase{"P3Heic", QColorSpace::DisplayP3, P3Red, "heif-enc", HeicLossless, ".heic"},
        ProfileCase{"P3Avif", QColorSpace::DisplayP3, P3Red, "avifenc", AvifLossless, ".avif"},
        ProfileCase{"P3Jxl", QColorSpace::DisplayP3, P3Red, "cjxl", {"IN", "OUT", "-d", "0", "--quiet"}, ".jxl"},
        ProfileCase{"P3WebP", QColorSpace::DisplayP3, P3Red, "cwebp",
                    {"-quiet", "-lossless", "-metadata", "icc", "IN", "-o", "OUT"}, ".webp"},
        // Coded colours instead of a profile: Display P3 primaries, sRGB curve, RGB matrix.
        ProfileCase{"P3CodedAvif", QColorSpace::DisplayP3, P3Red, "avifenc",
                    {"-l", "--ignore-icc", "--cicp", "12/13/0", "IN", "OUT"}, ".avif"},
        ProfileCase{"P3CodedHeic", QColorSpace::DisplayP3, P3Red, "heif-enc",
                    {"-L", "--matrix_coefficients=0", "--colour_primaries=12", "--transfer_characteristic=13", "IN",
                     "-o", "OUT"},
                    ".heic"},
        ProfileCase{"AdobeJpeg", QColorSpace::AdobeRgb, AdobePatch, nullptr, {}, "jpeg"},
        ProfileCase{"AdobePng", QColorSpace::AdobeRgb, AdobePatch, nullptr, {}, "png"},
        ProfileCase{"AdobeHeic", QColorSpace::AdobeRgb, AdobePatch, "heif-enc", HeicLossless, ".heic"}),
    [](const auto &info) { return std::string(info.param.name); });

// A camera's photo lies turned in its file: its profile still applies once it is turned
// upright, and a reduced decode turns and converts alike.
TEST(Profiles, ATurnedPhotoIsConvertedLikeAnUprightOne)
{
    test::TempDir dir;
    const ImagingLibrary library;
    const Picture upright = DecodeMemory(test::CameraJpeg(dir, QSize(64, 48), 1), "upright");
    ASSERT_TRUE(upright.ok());
    const QRgb expected = upright.image.pixel(16, 24);  // the left half
    ASSERT_NE(expected, qRgb(190, 90, 70)) << "the upright photo was not converted";
    for (const std::optional<QSize> box : {std::optional<QSize>(), std::optional<QSize>(QSize(24, 32))}) {
        const auto bytes = test::CameraJpeg(dir, QSize(64, 48), 6);
        const Picture turned = box ? DecodeMemory(bytes, "turned", *box) : DecodeMemory(bytes, "turned");
        ASSERT_TRUE(turned.ok());
        ASSERT_EQ(turned.image.width() * 4, turned.image.height() * 3);
        // Turned right for showing, the file's left half is the top half.
        const QRgb seen = turned.image.pixel(turned.image.width() / 2, turned.image.height() / 4);
        EXPECT_NEAR(qRed(seen), qRed(expected), 2) << (box ? "reduced" : "whole");
        EXPECT_NEAR(qGreen(seen), qGreen(expected), 2) << (box ? "reduced" : "whole");
        EXPECT_NEAR(qBlue(seen), qBlue(expected), 2) << (box ? "reduced" : "whole");
    }
}

// Photos in sRGB, with or without a profile that says so, keep every pixel as the reader made it.
TEST(Profiles, SrgbPhotosKeepTheirPixelsBitForBit)
{
    QImage photo(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            photo.setPixel(x, y, qRgb(x * 5, y * 7, (x * y) & 0xFF));
    QImage tagged = photo;
    tagged.setColorSpace(QColorSpace(QColorSpace::SRgb));
    const ImagingLibrary library;
    for (const QImage &source : {photo, tagged}) {
        for (const char *format : {"jpeg", "png"}) {
            const std::vector<std::uint8_t> bytes = Written(source, format, 90);
            QByteArray data(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
            QBuffer buffer(&data);
            const QImage plain = QImageReader(&buffer, format).read();
            const Picture picture = DecodeMemory(bytes, "photo");
            ASSERT_TRUE(picture.ok());
            EXPECT_EQ(picture.image.convertToFormat(QImage::Format_RGB32), plain.convertToFormat(QImage::Format_RGB32))
                << format << (source.colorSpace().isValid() ? " with an sRGB profile" : "");
        }
    }
}

// With the screen's profile, photos are brought to the screen's colours instead: a Display P3
// photo on a Display P3 screen keeps its values, an Adobe RGB one takes ImageMagick's, and one
// without a profile is left alone.
TEST(Profiles, TheScreensProfileIsTheTarget)
{
    const QColorSpace p3(QColorSpace::DisplayP3);
    const ImagingLibrary library(p3.iccProfile());
    const auto shown = [](const QImage &patch) {
        const Picture picture = DecodeMemory(Written(patch, "png"), "patch");
        return picture.ok() ? picture.image.pixel(8, 8) : 0u;
    };
    const QRgb onP3 = shown(Patch(P3Red, p3));
    EXPECT_NEAR(qRed(onP3), 255, 2);
    EXPECT_NEAR(qGreen(onP3), 0, 2);
    EXPECT_NEAR(qBlue(onP3), 0, 2);
    EXPECT_EQ(shown(Patch(qRgb(10, 20, 30), {})), qRgb(10, 20, 30));

    // ImageMagick from Adobe RGB to the screen's P3 profile.
    test::TempDir dir;
    const QByteArray adobe = QColorSpace(QColorSpace::AdobeRgb).iccProfile();
    const QByteArray screen = p3.iccProfile();
    test::WriteFile(dir / "adobe.icc", {adobe.begin(), adobe.end()});
    test::WriteFile(dir / "screen.icc", {screen.begin(), screen.end()});
    test::WriteFile(dir / "patch.png", test::PngOf(Patch(AdobePatch, {})));
    QProcess convert;
    convert.start("convert", {test::Q(dir / "patch.png"), "-strip", "-profile", test::Q(dir / "adobe.icc"), "-profile",
                              test::Q(dir / "screen.icc"), "-depth", "8", "rgb:-"});
    ASSERT_TRUE(convert.waitForFinished(60'000));
    const QByteArray expected = convert.readAllStandardOutput();
    ASSERT_GE(expected.size(), 3);
    const QRgb seen = shown(Patch(AdobePatch, QColorSpace(QColorSpace::AdobeRgb)));
    EXPECT_NEAR(qRed(seen), std::uint8_t(expected[0]), 2);
    EXPECT_NEAR(qGreen(seen), std::uint8_t(expected[1]), 2);
    EXPECT_NEAR(qBlue(seen), std::uint8_t(expected[2]), 2);
}

}  // namespace
}  // namespace veilshot::imaging
