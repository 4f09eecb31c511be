// The confined decoder process: found where the program is, faults and escapes inside it
// become the usual message, and its answers keep their pixel layout and reach their caller.

#include "common/drawings.h"
#include "common/encoders.h"
#include "common/memorylimit.h"
#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace veilshot::imaging {
namespace {

using test::Distinct;
using test::Emf;
using test::EmfPlusCommentBeyondItsRecord;
using test::Encode;
using test::MaxChannelDifference;
using test::Q;
using test::Quadrants;
using test::TempDir;
using test::Turn;

// Each format's decoder process, as the program names it.
struct DecoderCase {
    Format format;
    const char *name;
    const char *fault;       // the decoder built with faults injected
    const char *damaged;     // the message for a decoder that failed
};
const DecoderCase Decoders[] = {
    {Format::Emf, "veilshot-decode", FAULT_DECODER, "The metafile is damaged or cannot be drawn."},
    {Format::Heif, "veilshot-decode-photo", FAULT_PHOTO_DECODER, "The picture is damaged or cannot be drawn."},
};

TEST(Decoder, IsFoundAndItsAbsenceIsAMessage)
{
    const auto wmf = test::ReadFile(TEST_DATA "/red-rectangle.wmf");
    for (const DecoderCase &c : Decoders) {
        EXPECT_TRUE(std::filesystem::is_regular_file(DecoderPath(c.format))) << c.name;
        EXPECT_EQ(DecoderPath(c.format).filename(), c.name);
        for (const std::filesystem::path &decoder : {std::filesystem::path(), std::filesystem::path("/nonexistent/decoder")}) {
            const Decoded missing = DecodeContained(decoder, wmf, c.format, std::nullopt);
            EXPECT_EQ(missing.refusal, Refusal::DecoderMissing);
            EXPECT_EQ(RefusalText(missing, c.format).toStdString(),
                      "The picture cannot be drawn: the program's decoder (" + std::string(c.name) + ") is not installed.");
        }
    }
    for (const Format format : {Format::Heif, Format::Avif, Format::WebP, Format::Jxl})
        EXPECT_EQ(DecoderPath(format), DecoderPath(Format::Heif));
    for (const Format format : {Format::Wmf, Format::Jpeg, Format::Tiff})
        EXPECT_EQ(DecoderPath(format), DecoderPath(Format::Emf));
}

// Each decoder takes only the formats it is for: asked for another, it fails without decoding.
TEST(Decoder, TakesOnlyItsOwnFormats)
{
    const auto wmf = test::ReadFile(TEST_DATA "/red-rectangle.wmf");
    const struct {
        Format decoder, asked;
    } table[] = {{Format::Heif, Format::Wmf}, {Format::Heif, Format::Jpeg}, {Format::Wmf, Format::Heif},
                 {Format::Wmf, Format::WebP}};
    for (const auto &row : table) {
        const Decoded decoded = DecodeContained(DecoderPath(row.decoder), wmf, row.asked, std::nullopt);
        EXPECT_EQ(decoded.refusal, Refusal::DecoderFailed) << DecoderName(row.decoder) << " " << int(row.asked);
    }
    // Its own format it does take.
    EXPECT_FALSE(DecodeContained(DecoderPath(Format::Wmf), wmf, Format::Wmf, std::nullopt).image.isNull());
}

// A HEIF's coded colours, as the photo decoder answers them, become the colour space they name;
// sRGB needs none, and chromaticities that make no sense leave the picture as sRGB.
TEST(Decoder, CodedColoursBecomeTheirColourSpace)
{
    using decoder::CodedColours;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float white[2] = {0.3127f, 0.3290f};
    const QColorSpace bt2020Linear(QPointF(0.3127, 0.3290), QPointF(0.708, 0.292), QPointF(0.170, 0.797),
                                   QPointF(0.131, 0.046), QColorSpace::TransferFunction::Linear);
    const struct {
        const char *name;
        CodedColours colours;
        QColorSpace expected;  // invalid: sRGB, left untouched
    } table[] = {
        {"sRGB", {1, 13}, {}},
        {"unspecified", {}, {}},
        {"Display P3", {12, 13}, QColorSpace(QColorSpace::Primaries::DciP3D65, QColorSpace::TransferFunction::SRgb)},
        {"sRGB primaries, gamma 2.2", {1, 4}, QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Gamma, 2.2f)},
        {"BT.2020 linear", {9, 8, {white[0], white[1]}, {0.708f, 0.292f}, {0.170f, 0.797f}, {0.131f, 0.046f}}, bt2020Linear},
        {"a chromaticity not a number", {9, 8, {white[0], white[1]}, {nan, 0.292f}, {0.170f, 0.797f}, {0.131f, 0.046f}}, {}},
        {"a chromaticity outside", {9, 8, {white[0], white[1]}, {0.708f, 0.292f}, {0.170f, 1.5f}, {0.131f, 0.046f}}, {}},
    };
    for (const auto &row : table)
        EXPECT_EQ(ColourSpaceOf(row.colours), row.expected) << row.name;
}

bool LandlockAvailable()
{
    return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, 1 /* version */) >= 1;
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
        {"allocate", test::AddressSanitizer()},  // the sanitizer's own allocator takes no address-space limit
        {"create " + created, false},
        {"read " + (dir / "secret.txt").string(), !LandlockAvailable()},
        {"socket", false},
        {"fork", false},
        {"signal", false},
        {"tgkill " + std::to_string(::getpid()), false},
        {"capabilities", false},  // meaningful where the tests run as root
        {"environment", false},
    };
    using Clock = std::chrono::steady_clock;
    for (const DecoderCase &c : Decoders) {
        for (const auto &row : table) {
            if (row.skip)
                continue;
            const std::vector<std::uint8_t> input(row.input.begin(), row.input.end());
            const Clock::time_point start = Clock::now();
            const Decoded decoded = DecodeContained(c.fault, input, c.format, std::nullopt, std::chrono::milliseconds(1000));
            EXPECT_LT(Clock::now() - start, std::chrono::seconds(10)) << c.name << ": " << row.input;
            EXPECT_TRUE(decoded.image.isNull()) << c.name << ": " << row.input;
            EXPECT_EQ(decoded.refusal, Refusal::DecoderFailed) << c.name << ": " << row.input;
            EXPECT_EQ(RefusalText(decoded, c.format).toStdString(), c.damaged);
        }
        EXPECT_FALSE(std::filesystem::exists(created)) << c.name;

        // The same decoder answers when nothing goes wrong, and it can convert the texts of EMF
        // pictures, whose converters the C library loads from a folder it may no longer read.
        for (const std::string fine : {"picture", "convert"}) {
            const Decoded picture = DecodeContained(c.fault, std::vector<std::uint8_t>(fine.begin(), fine.end()),
                                                    c.format, std::nullopt);
            ASSERT_FALSE(picture.image.isNull()) << c.name << ": " << fine;
            EXPECT_EQ(picture.image.size(), QSize(2, 1));
            EXPECT_EQ(picture.image.pixel(1, 0), qRgb(255, 0, 0));
        }
    }
}

// The decoders start with none of the user's variables: the loader and the libraries run
// before the decoder confines itself and wipes what it was handed, and must find nothing to go by.
TEST(ConfinedDecoder, StartsWithNothingOfTheUsersEnvironment)
{
    ::setenv("VEILSHOT_TEST_PRIVATE", "kept to the program", 1);
    ::setenv("LD_PRELOAD", "", 1);
    for (const DecoderCase &c : Decoders) {
        for (const std::string name : {"VEILSHOT_TEST_PRIVATE", "LD_PRELOAD", "HOME", "PATH"}) {
            const std::string input = "started-with " + name;
            const Decoded decoded = DecodeContained(c.fault, std::vector<std::uint8_t>(input.begin(), input.end()), c.format,
                                                    std::nullopt);
            EXPECT_TRUE(decoded.image.isNull()) << c.name << ": " << name;
        }
        const std::string picture = "picture";
        EXPECT_FALSE(DecodeContained(c.fault, std::vector<std::uint8_t>(picture.begin(), picture.end()), c.format, std::nullopt)
                         .image.isNull())
            << c.name;
    }
    ::unsetenv("VEILSHOT_TEST_PRIVATE");
    ::unsetenv("LD_PRELOAD");
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
        const Decoded picture = DecodeContained(DecoderPath(Format::Tiff), Encode(source, "tiff"), Format::Tiff, std::nullopt);
        ASSERT_FALSE(picture.image.isNull()) << RefusalText(picture, Format::Tiff).toStdString();
        EXPECT_EQ(picture.image.depth(), source.depth());
        EXPECT_EQ(picture.image.size(), source.size());
        EXPECT_EQ(picture.fullSize, source.size());
        for (QPoint p : {QPoint(0, 0), QPoint(4, 1), QPoint(source.width() - 1, source.height() - 1)})
            EXPECT_EQ(picture.image.pixelColor(p).rgba64(), source.pixelColor(p).rgba64()) << p.x() << "," << p.y();
    }
}

// An animated WebP is shown by its first frame, composed on its canvas; cut short, it is refused.
TEST(PhotoDecoder, AnAnimatedWebPShowsItsFirstFrame)
{
    TempDir dir;
    QImage first(64, 48, QImage::Format_RGB32), second(64, 48, QImage::Format_RGB32);
    first.fill(Qt::red);
    second.fill(Qt::blue);
    test::WriteFile(dir / "second.png", test::PngOf(second));
    std::vector<std::uint8_t> webp =
        test::Encoded(first, "img2webp", {"-lossless", "IN", Q(dir / "second.png"), "-o", "OUT"}, ".webp");
    ASSERT_FALSE(webp.empty()) << "img2webp made nothing";
    const ImagingLibrary library;
    const Picture picture = DecodeMemory(webp, "animated.webp");
    ASSERT_TRUE(picture.ok()) << picture.error.toStdString();
    EXPECT_EQ(picture.format, Format::WebP);
    EXPECT_EQ(picture.image.size(), QSize(64, 48));
    EXPECT_EQ(picture.image.pixel(32, 24), qRgb(255, 0, 0));

    webp.resize(webp.size() * 2 / 3);
    EXPECT_EQ(DecodeMemory(webp, "cut.webp").error, "Cannot open file \"cut.webp\". The picture is damaged or incomplete.");
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

}  // namespace
}  // namespace veilshot::imaging
