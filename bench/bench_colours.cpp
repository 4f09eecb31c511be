// Colours on the way to the screen, for a 24-megapixel JPEG: showing an sRGB one (no profile)
// against the same decode without the colour step, the peer, in one run: no measurable cost.
// And what a Display P3 or Adobe RGB one costs to convert. Wall-clock time: Qt converts on
// several threads.

#include "imaging/decoding.h"
#include "imaging/imaging.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QColorSpace>
#include <QGuiApplication>
#include <QImageWriter>

#include <random>

namespace {

using namespace veilshot::imaging;

// Arg: 0 no profile, 1 Display P3, 2 Adobe RGB.
const std::vector<std::uint8_t> &Photo(int profile)
{
    static const std::vector<std::vector<std::uint8_t>> photos = [] {
        QImage image(6000, 4000, QImage::Format_RGB32);
        std::mt19937 random(3);
        for (int y = 0; y < image.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int n = int(random() % 24);
                line[x] = qRgb((x / 24 + n) % 256, (y / 16 + n) % 256, ((x + y) / 40 + n) % 256);
            }
        }
        std::vector<std::vector<std::uint8_t>> made;
        for (const QColorSpace &colours :
             {QColorSpace(), QColorSpace(QColorSpace::DisplayP3), QColorSpace(QColorSpace::AdobeRgb)}) {
            image.setColorSpace(colours);
            QByteArray encoded;
            QBuffer buffer(&encoded);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setQuality(90);
            writer.write(image);
            made.emplace_back(encoded.begin(), encoded.end());
        }
        return made;
    }();
    return photos[std::size_t(profile)];
}

void Check(benchmark::State &state, const QImage &image)
{
    if (image.isNull())
        state.SkipWithError("the decode failed");
    benchmark::DoNotOptimize(image.constBits());
}

void JpegShown(benchmark::State &state)
{
    for (auto _ : state)
        Check(state, DecodeMemory(Photo(int(state.range(0))), "photo.jpg").image);
}
BENCHMARK(JpegShown)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The peer: the decoder alone, as the photo was decoded before colours were converted.
void JpegReaderAlone(benchmark::State &state)
{
    for (auto _ : state)
        Check(state, DecodeRaster(Photo(0), Format::Jpeg, std::nullopt).image);
}
BENCHMARK(JpegReaderAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

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
