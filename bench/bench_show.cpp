// Showing a ciphered 24-megapixel JPEG as the main window does (decipher into memory, decode
// for a 1920 x 1080 screen) against the full decode of the same plain file, in one run.
// Target: the ciphered photo shown in at most 0.6x the time of the plain full decode.

#include "cipherengine.h"
#include "imaging.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

using namespace veilshot;

struct Files {
    std::filesystem::path plain = std::filesystem::temp_directory_path() / "veilshot-bench-show.jpg";
    std::filesystem::path veil = std::filesystem::temp_directory_path() / "veilshot-bench-show.veil";
    cipher::CipherEngine engine;

    Files()
    {
        QImage image(6000, 4000, QImage::Format_RGB32);
        std::mt19937 random(5);
        for (int y = 0; y < image.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int n = int(random() % 24);
                line[x] = qRgb((x / 24 + n) % 256, (y / 16 + n) % 256, ((x + y) / 40 + n) % 256);
            }
        }
        QImageWriter writer(QString::fromStdString(plain.string()), "jpeg");
        writer.setQuality(90);
        writer.write(image);
        engine.BuildKeyTable(u"benchmark code");
        engine.extension = cipher::Extension::FromText(u".jpg");
        engine.Cipfoto(plain, veil, AtomicFile::Mode::Replace);
    }
    ~Files()
    {
        std::filesystem::remove(plain);
        std::filesystem::remove(veil);
    }
};

Files &TheFiles()
{
    static Files files;
    return files;
}

void PlainFullDecode(benchmark::State &state)
{
    const QString path = QString::fromStdString(TheFiles().plain.string());
    for (auto _ : state) {
        const imaging::Picture picture = imaging::OpenFile(path);
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}
BENCHMARK(PlainFullDecode)->Unit(benchmark::kMillisecond);

void CipheredShownForTheScreen(benchmark::State &state)
{
    const QString path = QString::fromStdString(TheFiles().veil.string());
    for (auto _ : state) {
        const auto body = TheFiles().engine.DecipherFile(TheFiles().veil);
        const imaging::Picture picture = imaging::DecodeMemory(body->bytes(), path, QSize(1920, 1080));
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}
BENCHMARK(CipheredShownForTheScreen)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    imaging::ImagingLibrary imaging;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
