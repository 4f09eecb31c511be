// Decoding a 24-megapixel JPEG: in full, for a 1920 x 1080 screen, and by djpeg (libjpeg-turbo's
// own command) as the peer, in one run. Target: the screen decode at most 0.4x the full one, and
// no slower than Qt's own reader asked for the same fitting.
// The same decodes in the confined decoder process (wall-clock time, as the child's work is not
// this process's), and that process's cost alone on a picture of one pixel: what sending every
// decode through it would add. Likewise for the picture as an uncompressed TIFF, and for a
// small WMF.

#include "imaging/decoder/metafile.h"
#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace {

using namespace veilshot::imaging;

const std::vector<std::uint8_t> &PhotoBytes()
{
    static const std::vector<std::uint8_t> bytes = [] {
        // A photo of one's own can stand in: VEILSHOT_BENCH_JPEG=/path/to/photo.jpg
        if (const char *own = std::getenv("VEILSHOT_BENCH_JPEG")) {
            std::ifstream in(own, std::ios::binary);
            return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
        }
        // Photo-like content: smooth shading with fine noise, so the JPEG has real detail.
        QImage image(6000, 4000, QImage::Format_RGB32);
        std::mt19937 random(3);
        for (int y = 0; y < image.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int n = int(random() % 24);
                line[x] = qRgb((x / 24 + n) % 256, (y / 16 + n) % 256, ((x + y) / 40 + n) % 256);
            }
        }
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "jpeg");
        writer.setQuality(90);
        writer.write(image);
        return std::vector<std::uint8_t>(encoded.begin(), encoded.end());
    }();
    return bytes;
}

void FullDecode(benchmark::State &state)
{
    for (auto _ : state) {
        const Picture picture = DecodeMemory(PhotoBytes(), "photo.jpg");
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}
BENCHMARK(FullDecode)->Unit(benchmark::kMillisecond);

void ScreenDecode(benchmark::State &state)
{
    for (auto _ : state) {
        const Picture picture = DecodeMemory(PhotoBytes(), "photo.jpg", QSize(1920, 1080));
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}
BENCHMARK(ScreenDecode)->Unit(benchmark::kMillisecond);

// The peer of the screen decode: Qt's own reader asked for the photo's fitting into the screen,
// as a bare Qt program shows a photo.
void QtReaderForTheScreen(benchmark::State &state)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(PhotoBytes().data()), qsizetype(PhotoBytes().size()));
    for (auto _ : state) {
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "jpeg");
        reader.setScaledSize(reader.size().scaled(QSize(1920, 1080), Qt::KeepAspectRatio));
        const QImage image = reader.read();
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(QtReaderForTheScreen)->Unit(benchmark::kMillisecond);

// Arg 0: in this process; 1: in the decoder process.
void ScreenDecodeWhere(benchmark::State &state)
{
    const std::filesystem::path decoder = DecoderPath(Format::Jpeg);
    for (auto _ : state) {
        const Decoded decoded = state.range(0) ? DecodeContained(decoder, PhotoBytes(), Format::Jpeg, QSize(1920, 1080))
                                               : DecodeRaster(PhotoBytes(), Format::Jpeg, QSize(1920, 1080));
        if (decoded.image.isNull())
            state.SkipWithError("the decode failed");
        benchmark::DoNotOptimize(decoded.image.constBits());
    }
}
BENCHMARK(ScreenDecodeWhere)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void FullDecodeWhere(benchmark::State &state)
{
    const std::filesystem::path decoder = DecoderPath(Format::Jpeg);
    for (auto _ : state) {
        const Decoded decoded = state.range(0) ? DecodeContained(decoder, PhotoBytes(), Format::Jpeg, std::nullopt)
                                               : DecodeRaster(PhotoBytes(), Format::Jpeg, std::nullopt);
        if (decoded.image.isNull())
            state.SkipWithError("the decode failed");
        benchmark::DoNotOptimize(decoded.image.constBits());
    }
}
BENCHMARK(FullDecodeWhere)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The 24-megapixel picture as an uncompressed TIFF: 72 MB in, 96 MB of pixels back.
void TiffDecodeWhere(benchmark::State &state)
{
    static const std::vector<std::uint8_t> tiff = [] {
        const Picture photo = DecodeMemory(PhotoBytes(), "photo.jpg");
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "tiff").write(photo.image);
        return std::vector<std::uint8_t>(encoded.begin(), encoded.end());
    }();
    const std::filesystem::path decoder = DecoderPath(Format::Tiff);
    for (auto _ : state) {
        const Decoded decoded = state.range(0) ? DecodeContained(decoder, tiff, Format::Tiff, QSize(1920, 1080))
                                               : DecodeRaster(tiff, Format::Tiff, QSize(1920, 1080));
        if (decoded.image.isNull())
            state.SkipWithError("the decode failed");
        benchmark::DoNotOptimize(decoded.image.constBits());
    }
}
BENCHMARK(TiffDecodeWhere)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// A small WMF (the test fixture): drawn here as before, and in the decoder process.
void MetafileWhere(benchmark::State &state)
{
    std::ifstream in(METAFILE, std::ios::binary);
    const std::vector<std::uint8_t> wmf(std::istreambuf_iterator<char>(in), {});
    const std::filesystem::path decoder = DecoderPath(Format::Wmf);
    for (auto _ : state) {
        Refusal refusal = Refusal::None;
        const QImage image = state.range(0) ? DecodeContained(decoder, wmf, Format::Wmf, std::nullopt).image
                                            : RenderMetafile(wmf, false, QSize(), MaxPixels, &refusal);
        if (image.isNull())
            state.SkipWithError("the metafile was not drawn");
    }
}
BENCHMARK(MetafileWhere)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void DecoderProcessAlone(benchmark::State &state)
{
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::white);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    pixel.save(&buffer, "png");
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t *>(png.constData()), std::size_t(png.size()));
    const std::filesystem::path decoder = DecoderPath(Format::Png);
    for (auto _ : state) {
        const Decoded decoded = DecodeContained(decoder, bytes, Format::Png, std::nullopt);
        if (decoded.image.isNull())
            state.SkipWithError("the decode failed");
    }
}
BENCHMARK(DecoderProcessAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void DjpegPeer(benchmark::State &state)
{
    const auto path = std::filesystem::temp_directory_path() / "veilshot-bench-24mp.jpg";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(PhotoBytes().data()), std::streamsize(PhotoBytes().size()));
    const std::string command = "djpeg -outfile /dev/null " + path.string();
    if (std::system("command -v djpeg > /dev/null") != 0) {
        state.SkipWithError("djpeg is not installed (Debian: libjpeg-turbo-progs)");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(std::system(command.c_str()));
    std::filesystem::remove(path);
}
BENCHMARK(DjpegPeer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ImagingLibrary imaging;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
