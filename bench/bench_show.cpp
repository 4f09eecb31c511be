// Showing 24-megapixel JPEGs as the viewers do, in one run:
// - a ciphered photo shown for a 1920 x 1080 screen (decipher into memory, decode for the box)
//   against the full decode of the same plain file; target at most 0.6x;
// - stepping to a photo that was decoded ahead against showing the same photo cold, plain and
//   ciphered; target at most 0.3x;
// - memory while stepping through such photos with one decoded ahead: at most 150 MB above
//   the size before the first step (counter peak_MB_above_start);
// - a photo in the sealed format shown for the screen against the same photo in the keyed
//   format, its peer, once the key is stretched; target: sealed at most 1.05x keyed.

#include "bench/benchphotos.h"
#include "cipher/cipherengine.h"
#include "imaging/imaging.h"
#include "viewer/decodeahead.h"
#include "viewer/showpicture.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QApplication>
#include <QLabel>
#include <QPixmap>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <unistd.h>

namespace {

using namespace veilshot;

struct Files {
    std::filesystem::path plain = std::filesystem::temp_directory_path() / "veilshot-bench-show.jpg";
    std::filesystem::path veil = std::filesystem::temp_directory_path() / "veilshot-bench-show.veil";
    std::filesystem::path keyed = std::filesystem::temp_directory_path() / "veilshot-bench-show-keyed.veil";
    cipher::CipherEngine engine;

    Files()
    {
        std::mt19937 random(5);
        bench::WritePhoto(QString::fromStdString(plain.string()), 0, random);
        engine.BuildKeyTable(u"benchmark code");
        engine.extension = cipher::Extension::fromText(u".jpg");
        engine.Cipfoto(plain, veil, AtomicFile::Mode::Replace);  // sealed, and its key kept
        engine.setWriteFormat(cipher::Format::Keyed);
        engine.Cipfoto(plain, keyed, AtomicFile::Mode::Replace);
        engine.setWriteFormat(cipher::Format::Sealed);
    }
    ~Files()
    {
        for (const auto &file : {plain, veil, keyed})
            std::filesystem::remove(file);
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

// The ciphered photo in the default (sealed) format, and the same in the keyed format.
void CipheredShownForTheScreen(benchmark::State &state, std::filesystem::path Files::*file)
{
    const std::filesystem::path &veil = TheFiles().*file;
    const QString path = QString::fromStdString(veil.string());
    for (auto _ : state) {
        const auto body = TheFiles().engine.decipherFile(veil);
        const imaging::Picture picture = imaging::DecodeMemory(body->bytes(), path, QSize(1920, 1080));
        benchmark::DoNotOptimize(picture.image.constBits());
    }
}
BENCHMARK_CAPTURE(CipheredShownForTheScreen, Sealed, &Files::veil)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CipheredShownForTheScreen, Keyed, &Files::keyed)->Unit(benchmark::kMillisecond);

constexpr QSize Screen(1920, 1080);

Prepared DecodePlain(const QString &path)
{
    return {imaging::OpenFile(path, Screen)};
}

Prepared DecodeCiphered(cipher::CipherEngine &engine, const QString &path)
{
    const auto body = engine.decipherFile(path.toStdString());
    return {imaging::DecodeMemory(body->bytes(), path, Screen)};
}

// What showing costs once the picture is in hand: handing it to the label.
void Show(QLabel &label, const Prepared &prepared)
{
    ShowPicture(label, prepared.picture.image);
    benchmark::DoNotOptimize(label.pixmap().cacheKey());
}

// Arg 0: plain, 1: ciphered. Cold: decoded when the step comes.
void SteppedToCold(benchmark::State &state)
{
    const bool ciphered = state.range(0) == 1;
    const QString path = QString::fromStdString((ciphered ? TheFiles().veil : TheFiles().plain).string());
    QLabel label;
    for (auto _ : state)
        Show(label, ciphered ? DecodeCiphered(TheFiles().engine, path) : DecodePlain(path));
}
BENCHMARK(SteppedToCold)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Decoded ahead while the user looked at the photo before; only the step is timed.
void SteppedToDecodedAhead(benchmark::State &state)
{
    const bool ciphered = state.range(0) == 1;
    const QString path = QString::fromStdString((ciphered ? TheFiles().veil : TheFiles().plain).string());
    std::shared_ptr<cipher::CipherEngine> engine = TheFiles().engine.copy();
    QLabel label;
    DecodeAhead ahead;
    for (auto _ : state) {
        state.PauseTiming();
        ahead.drop();
        ahead.prepare({}, {path}, [&](const QString &file) { return ciphered ? DecodeCiphered(*engine, file) : DecodePlain(file); });
        while (!ahead.ready(path))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.ResumeTiming();
        Show(label, *ahead.take(path, [](QFuture<void> work) { work.waitForFinished(); }));
    }
}
// The untimed decode dwarfs the timed step: a fixed count keeps the run short.
BENCHMARK(SteppedToDecodedAhead)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

double ResidentMB()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(::sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// Steps forward through four ciphered photos twice, as the main window does: take what was
// decoded ahead (or decode), show it, keep it, prepare the neighbours on both sides.
void SteppingMemory(benchmark::State &state)
{
    std::vector<QString> paths;
    for (int i = 0; i < 4; ++i) {
        const auto copy = std::filesystem::temp_directory_path() / ("veilshot-bench-step" + std::to_string(i) + ".veil");
        std::filesystem::copy_file(TheFiles().veil, copy, std::filesystem::copy_options::overwrite_existing);
        paths.push_back(QString::fromStdString(copy.string()));
    }
    std::shared_ptr<cipher::CipherEngine> engine = TheFiles().engine.copy();
    double peak = 0;
    for (auto _ : state) {
        QLabel label;
        DecodeAhead ahead;
        const double start = ResidentMB();
        for (int step = 0; step < 8; ++step) {
            const QString &path = paths[std::size_t(step % 4)];
            std::optional<Prepared> prepared = ahead.take(path, [](QFuture<void> work) { work.waitForFinished(); });
            if (!prepared)
                prepared = ahead.decodeNow(path, [&](const QString &file) { return DecodeCiphered(*engine, file); });
            const QStringList around{paths[std::size_t((step + 1) % 4)], paths[std::size_t((step + 3) % 4)]};
            ahead.prepare(path, around, [&](const QString &file) { return DecodeCiphered(*engine, file); });
            Show(label, *prepared);
            peak = std::max(peak, ResidentMB() - start);
            while (!ahead.ready(around[0]) || !ahead.ready(around[1])) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                peak = std::max(peak, ResidentMB() - start);
            }
            peak = std::max(peak, ResidentMB() - start);
        }
    }
    state.counters["peak_MB_above_start"] = peak;
    for (const QString &path : paths)
        std::filesystem::remove(path.toStdString());
}
BENCHMARK(SteppingMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    imaging::ImagingLibrary imaging;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
