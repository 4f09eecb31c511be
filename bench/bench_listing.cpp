// Listing a folder of 10,000 photos in natural order, against Qt's own listing sorted by name
// (QDir::Name, plain code-point order) of the same folder, in one run. Target: at most 3x.

#include "files/folderlisting.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>

#include <filesystem>
#include <fstream>

namespace {

struct Folder {
    std::filesystem::path path = std::filesystem::temp_directory_path() / "veilshot-bench-listing";
    Folder()
    {
        std::filesystem::create_directories(path);
        for (int i = 0; i < 10000; ++i)
            std::ofstream(path / ("IMG_" + std::to_string((i * 7919) % 10000) + (i % 3 ? ".jpg" : ".JPG")));
    }
    ~Folder() { std::filesystem::remove_all(path); }
    QString name() const { return QString::fromStdString(path.string()); }
};

Folder &TheFolder()
{
    static Folder folder;
    return folder;
}

void NaturalOrder(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(veilshot::ListFolder(TheFolder().name()).size());
}
BENCHMARK(NaturalOrder)->Unit(benchmark::kMillisecond);

void QtNameOrder(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(QDir(TheFolder().name())
                                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                QDir::Name)
                                     .size());
}
BENCHMARK(QtNameOrder)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    TheFolder();  // made before anything is timed
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}
