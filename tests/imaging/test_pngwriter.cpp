// The PNG writer: every layout it writes (palette, grey, RGB, RGBA; 8 and 16 bits) is a valid file (pngcheck) that an independent decoder
// (ImageMagick) reads back to exactly the pixels given, across many strips and IDAT chunks; the
// work reports its progress and, stopped, writes nothing.

#include "common/qtpath.h"
#include "common/tempdir.h"
#include "imaging/codecs/pngwriter.h"
#include "imaging/imaging.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <random>

namespace veilshot::imaging {
namespace {

using test::Q;
using test::TempDir;

struct Layout {
    const char *name;
    QImage::Format format;
    bool translucent;  // some pixels not opaque
    int colourType;    // expected in the file's header
    int depth;
    QSize size = {37, 101};  // odd rows of odd length, several strips
    friend std::ostream &operator<<(std::ostream &os, const Layout &c) { return os << c.name; }
};

// Noise in every channel, so that each filter and strip boundary matters; alpha too when asked.
QImage Noise(QImage::Format format, bool translucent, QSize size)
{
    QImage image(size, format);
    std::mt19937 random(7);
    if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < 200; ++i)
            table << qRgba(int(random() % 256), int(random() % 256), int(random() % 256), translucent ? int(random() % 256) : 255);
        image.setColorTable(table);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(x, y, uint(random() % 200));
        return image;
    }
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const auto channel = [&] { return int(random() % 65536); };
            const int alpha = translucent ? channel() : 65535;
            image.setPixelColor(x, y, QColor::fromRgba64(QRgba64::fromRgba64(channel(), channel(), channel(), alpha)));
        }
    }
    return image;
}

// The pixels ImageMagick decodes from the file, RGBA at 16 bits a channel; empty on failure.
QByteArray ImageMagickPixels(const QString &path)
{
    QProcess process;
    process.start("convert", {path, "-depth", "16", "-endian", "MSB", "rgba:-"});
    if (!process.waitForFinished(60'000) || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

// The file's chunks in order: type and length.
std::vector<std::pair<std::string, std::uint32_t>> Chunks(const std::vector<std::uint8_t> &file)
{
    std::vector<std::pair<std::string, std::uint32_t>> chunks;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = std::uint32_t(file[at]) << 24 | std::uint32_t(file[at + 1]) << 16 |
                                     std::uint32_t(file[at + 2]) << 8 | std::uint32_t(file[at + 3]);
        chunks.emplace_back(std::string(reinterpret_cast<const char *>(&file[at + 4]), 4), length);
        at += 12 + std::size_t(length);
    }
    return chunks;
}

bool PngcheckPasses(const QString &path)
{
    QProcess process;
    process.start("pngcheck", {"-q", path});
    return process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

class PngLayouts : public ::testing::TestWithParam<Layout> {};

TEST_P(PngLayouts, DecodeToThePixelsGiven)
{
    TempDir dir;
    const Layout &layout = GetParam();
    const QSize size = layout.size;
    const QImage source = Noise(layout.format, layout.translucent, size);
    const QString path = Q(dir / "out.png");
    Save(source, path, FindEncoderByMime(QStringLiteral("image/png")));

    const std::vector<std::uint8_t> file = test::ReadFile(dir / "out.png");
    ASSERT_GT(file.size(), 26u);
    EXPECT_EQ(file[24], layout.depth);
    EXPECT_EQ(file[25], layout.colourType);
    EXPECT_TRUE(PngcheckPasses(path));
    // The pixels in IDAT chunks of 1 MiB each, the last one the rest.
    std::vector<std::uint32_t> idat;
    for (const auto &[type, length] : Chunks(file)) {
        if (type == "IDAT")
            idat.push_back(length);
    }
    ASSERT_FALSE(idat.empty());
    EXPECT_GT(idat.back(), 0u);
    for (std::size_t i = 0; i + 1 < idat.size(); ++i)
        EXPECT_EQ(idat[i], 1u << 20) << "chunk " << i;
    // Noise does not deflate: RGB noise fills at least as many chunks as its raw bytes would.
    const std::size_t rawRgb = std::size_t(size.width()) * std::size_t(size.height()) * 3;
    EXPECT_GE(idat.size(), (rawRgb + (1u << 20) - 1) >> 20);

    const QByteArray pixels = ImageMagickPixels(path);
    ASSERT_EQ(pixels.size(), qsizetype(size.width()) * size.height() * 8);
    const auto at = [&](qsizetype i) { return std::uint16_t(std::uint8_t(pixels[i]) << 8 | std::uint8_t(pixels[i + 1])); };
    int wrong = 0;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QRgba64 want = source.pixelColor(x, y).rgba64();
            const qsizetype i = (qsizetype(y) * size.width() + x) * 8;
            if (at(i) != want.red() || at(i + 2) != want.green() || at(i + 4) != want.blue() || at(i + 6) != want.alpha())
                ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, PngLayouts,
    ::testing::Values(Layout{"Palette", QImage::Format_Indexed8, false, 3, 8},
                      Layout{"PaletteWithAlpha", QImage::Format_Indexed8, true, 3, 8},
                      Layout{"Grey8", QImage::Format_Grayscale8, false, 0, 8},
                      Layout{"Grey16", QImage::Format_Grayscale16, false, 0, 16},
                      Layout{"Rgb8", QImage::Format_RGB32, false, 2, 8},
                      Layout{"Rgb8InManyChunks", QImage::Format_RGB32, false, 2, 8, {1001, 900}},
                      Layout{"OpaqueArgbIsRgb", QImage::Format_ARGB32, false, 2, 8},
                      Layout{"Rgba8", QImage::Format_ARGB32, true, 6, 8},
                      Layout{"Rgb16", QImage::Format_RGBX64, false, 2, 16},
                      Layout{"OpaqueRgba64IsRgb16", QImage::Format_RGBA64, false, 2, 16},
                      Layout{"Rgba16", QImage::Format_RGBA64, true, 6, 16}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PngWriter, ReportsEveryRowAndStoppedWritesNothing)
{
    const QImage source = Noise(QImage::Format_RGB32, false, {64, 300});
    Progress progress;
    progress.setStage(500, 1000);
    EXPECT_FALSE(EncodePng(source, {}, &progress).isEmpty());
    EXPECT_EQ(progress.done(), Progress::Whole);

    TempDir dir;
    Progress stopped;
    stopped.stop();
    EXPECT_THROW(Save(source, Q(dir / "out.png"), FindEncoderByMime(QStringLiteral("image/png")), std::nullopt,
                      AtomicFile::Mode::Replace, nullptr, &stopped),
                 WorkStopped);
    EXPECT_TRUE(dir.entries().empty());  // neither the file nor a temporary one

    // A turn stopped leaves the photo as it was.
    const QString photo = Q(dir / "photo.png");
    Save(source, photo, FindEncoderByMime(QStringLiteral("image/png")));
    const std::vector<std::uint8_t> before = test::ReadFile(dir / "photo.png");
    EXPECT_THROW(TurnFile(photo, false, FindEncoderByMime(QStringLiteral("image/png")), &stopped), WorkStopped);
    EXPECT_EQ(test::ReadFile(dir / "photo.png"), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"photo.png"});
}

}  // namespace
}  // namespace veilshot::imaging
