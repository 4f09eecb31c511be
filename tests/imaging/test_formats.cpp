// Today's photo formats (HEIC, AVIF, WebP, JPEG XL), made by their Debian encoders: decoded in
// the decoder process, upright, with alpha and deep colour, directly and ciphered; damaged
// ones refused with the usual message.

#include "cipher/cipherengine.h"
#include "common/encoders.h"
#include "imaging/imaging.h"
#include "viewer/decipheredcopy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string_view>

namespace veilshot::imaging {
namespace {

using test::Q;
using test::TempDir;

enum class Source { Opaque, Alpha, Deep };

constexpr QRgb Red = qRgb(255, 0, 0), Green = qRgb(0, 255, 0), Blue = qRgb(0, 0, 255), White = qRgb(255, 255, 255);
constexpr QRgb Clear = qRgba(0, 0, 0, 0);

// Four quadrants of 64 x 48: red, green / blue, white (transparent with alpha).
QImage Quadrants(Source source)
{
    QImage image(64, 48, source == Source::Deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, y < 24 ? (x < 32 ? Red : Green) : (x < 32 ? Blue : source == Source::Alpha ? Clear : White));
    return image;
}

struct FormatCase {
    const char *name;
    Source source;
    const char *program;
    QStringList arguments;
    const char *extension;
    Format format;
    QSize size;
    std::array<QRgb, 4> quadrants;  // top left, top right, bottom left, bottom right, as shown
    bool deep = false;              // shown with more than 8 bits a channel
    std::vector<std::uint8_t> (*edit)(std::vector<std::uint8_t>) = nullptr;  // applied to the encoder's file
};

void PrintTo(const FormatCase &c, std::ostream *out)
{
    *out << c.name;
}

constexpr std::array<QRgb, 4> Upright = {Red, Green, Blue, White};

std::vector<std::uint8_t> Made(const FormatCase &c)
{
    std::vector<std::uint8_t> bytes = test::Encoded(Quadrants(c.source), c.program, c.arguments, c.extension);
    return c.edit && !bytes.empty() ? c.edit(std::move(bytes)) : bytes;
}

// heif-enc writes no turn, but a pixel-information property of 16 bytes: it becomes a turn a
// quarter to the left (the rest of its bytes unread), so that no offset in the file moves.
std::vector<std::uint8_t> TurnedLeft(std::vector<std::uint8_t> heic)
{
    const std::string_view text(reinterpret_cast<const char *>(heic.data()), heic.size());
    const std::size_t at = text.find("pixi");
    if (at == std::string_view::npos || at < 4 || heic[at - 1] != 16)
        return {};
    std::copy_n("irot", 4, heic.begin() + std::ptrdiff_t(at));
    std::fill_n(heic.begin() + std::ptrdiff_t(at) + 4, 8, 0);
    heic[at + 4] = 1;
    return heic;
}

// The channels of the pixel at the centre of each quadrant agree within `tolerance` (lossy
// encoders blur the edges only).
void ExpectQuadrants(const QImage &image, const std::array<QRgb, 4> &expected, int tolerance)
{
    const int w = image.width(), h = image.height();
    const QPoint centres[] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
    for (int i = 0; i < 4; ++i) {
        const QRgb seen = image.pixel(centres[i]);
        const QRgb want = expected[std::size_t(i)];
        const int a = qAlpha(want) == 0 ? 0 : 255;
        EXPECT_NEAR(qAlpha(seen), a, tolerance) << "quadrant " << i;
        if (a == 0)
            continue;
        EXPECT_NEAR(qRed(seen), qRed(want), tolerance) << "quadrant " << i;
        EXPECT_NEAR(qGreen(seen), qGreen(want), tolerance) << "quadrant " << i;
        EXPECT_NEAR(qBlue(seen), qBlue(want), tolerance) << "quadrant " << i;
    }
}

class Formats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Formats, AreDecodedUprightWithAlphaAndDepth)
{
    const FormatCase &c = GetParam();
    const std::vector<std::uint8_t> bytes = Made(c);
    ASSERT_FALSE(bytes.empty()) << c.program << " made nothing";
    const ImagingLibrary library;
    const Picture picture = DecodeMemory(bytes, "photo");
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_EQ(picture.format, c.format);
    EXPECT_EQ(picture.image.size(), c.size);
    EXPECT_EQ(picture.fullSize, c.size);
    EXPECT_EQ(picture.image.depth() == 64, c.deep);
    ExpectQuadrants(picture.image, c.quadrants, 12);

    TempDir dir;
    test::WriteFile(dir / "photo", bytes);
    EXPECT_EQ(MeasureFile(Q(dir / "photo")), c.size);
}

TEST_P(Formats, AreShownCiphered)
{
    const FormatCase &c = GetParam();
    const std::vector<std::uint8_t> bytes = Made(c);
    ASSERT_FALSE(bytes.empty());
    const ImagingLibrary library;
    TempDir dir;
    const std::string plainName = std::string("photo") + c.extension;
    test::WriteFile(dir / plainName, bytes);
    cipher::CipherEngine engine;
    engine.BuildKeyTable(u"formats test code");
    engine.extension = cipher::Extension::fromFileName(dir / plainName);
    engine.Cipfoto(dir / plainName, dir / "photo.veil", AtomicFile::Mode::Replace);

    EXPECT_EQ(StoredExtension(engine, Q(dir / "photo.veil")), QString(c.extension));
    const Prepared shown = DecipherPicture(engine, Q(dir / "photo.veil"), QSize(32, 32));
    ASSERT_TRUE(shown.picture.ok()) << shown.picture.error.toStdString();
    EXPECT_EQ(shown.picture.fullSize, c.size);
    ExpectQuadrants(shown.picture.image, c.quadrants, 12);
}

TEST_P(Formats, DamagedFilesAreRefusedWithTheUsualMessage)
{
    const FormatCase &c = GetParam();
    std::vector<std::uint8_t> bytes = Made(c);
    ASSERT_FALSE(bytes.empty());
    bytes.resize(bytes.size() * 2 / 3);
    const ImagingLibrary library;
    for (const std::optional<QSize> box : {std::optional<QSize>(), std::optional<QSize>(QSize(16, 16))}) {
        const Picture picture = box ? DecodeMemory(bytes, "/photos/cut.x", *box) : DecodeMemory(bytes, "/photos/cut.x");
        EXPECT_FALSE(picture.ok());
        EXPECT_EQ(picture.error, "Cannot open file \"/photos/cut.x\". The picture is damaged or incomplete.");
    }
}

const QStringList Heic = {"IN", "-q", "95", "-o", "OUT"};
const QStringList Avif = {"--min", "0", "--max", "4", "IN", "OUT"};

INSTANTIATE_TEST_SUITE_P(
    Encoded, Formats,
    ::testing::Values(
        FormatCase{"Heic", Source::Opaque, "heif-enc", Heic, ".heic", Format::Heif, {64, 48}, Upright},
        FormatCase{"HeicWithAlpha", Source::Alpha, "heif-enc", Heic, ".heic", Format::Heif, {64, 48},
                   {Red, Green, Blue, Clear}},
        FormatCase{"Heic10Bit", Source::Deep, "heif-enc", {"-b", "10", "IN", "-q", "95", "-o", "OUT"}, ".heic",
                   Format::Heif, {64, 48}, Upright, true},
        FormatCase{"HeicTurned", Source::Opaque, "heif-enc", Heic, ".heic", Format::Heif, {48, 64},
                   {Green, White, Red, Blue}, false, TurnedLeft},
        FormatCase{"Avif", Source::Opaque, "avifenc", Avif, ".avif", Format::Avif, {64, 48}, Upright},
        FormatCase{"AvifWithAlpha", Source::Alpha, "avifenc", Avif, ".avif", Format::Avif, {64, 48},
                   {Red, Green, Blue, Clear}},
        FormatCase{"Avif10Bit", Source::Opaque, "avifenc", {"-d", "10", "--min", "0", "--max", "4", "IN", "OUT"},
                   ".avif", Format::Avif, {64, 48}, Upright, true},
        // A quarter turn to the left, then mirrored left to right.
        FormatCase{"AvifTurned", Source::Opaque, "avifenc", {"--irot", "1", "IN", "OUT"}, ".avif", Format::Avif,
                   {48, 64}, {Green, White, Red, Blue}},
        FormatCase{"AvifTurnedAndMirrored", Source::Opaque, "avifenc", {"--irot", "1", "--imir", "1", "IN", "OUT"},
                   ".avif", Format::Avif, {48, 64}, {White, Green, Blue, Red}},
        FormatCase{"WebP", Source::Opaque, "cwebp", {"-quiet", "-lossless", "IN", "-o", "OUT"}, ".webp",
                   Format::WebP, {64, 48}, Upright},
        FormatCase{"WebPWithAlpha", Source::Alpha, "cwebp", {"-quiet", "-q", "90", "IN", "-o", "OUT"}, ".webp",
                   Format::WebP, {64, 48}, {Red, Green, Blue, Clear}},
        FormatCase{"Jxl", Source::Opaque, "cjxl", {"IN", "OUT", "-d", "0", "--quiet"}, ".jxl", Format::Jxl,
                   {64, 48}, Upright},
        FormatCase{"JxlLossyWithAlpha", Source::Alpha, "cjxl", {"IN", "OUT", "-d", "1", "--quiet"}, ".jxl",
                   Format::Jxl, {64, 48}, {Red, Green, Blue, Clear}},
        FormatCase{"Jxl16Bit", Source::Deep, "cjxl", {"IN", "OUT", "-d", "0", "--quiet"}, ".jxl", Format::Jxl,
                   {64, 48}, Upright, true}),
    [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace veilshot::imaging
