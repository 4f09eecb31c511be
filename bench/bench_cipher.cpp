// Throughput of the block transform (reference and fast kernels), of deciphering a file into
// memory, and of ciphering and deciphering file to file against copying the same file, the
// peer that the file-to-file runs are measured against (bench/cipher_vs_peers.sh sets the
// targets with the real `cp`). Also the sealed format against the keyed one as its peer:
// ciphering 256 MiB to the disk (target: sealed at most 1.5x keyed), and one key stretch on a
// freshly built engine against building the keyed format's key table (target: at most 0.5 s).
// bench/sealed_vs_keyed.sh runs these with the rest of the sealed-against-keyed rows.

#include "cipher/cipherengine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

namespace {

using veilshot::cipher::BlockSize;
using veilshot::cipher::CipherEngine;
using veilshot::cipher::Format;

void TransformBlocks(benchmark::State &state, CipherEngine::Kernel kernel)
{
    CipherEngine engine(kernel);
    engine.BuildKeyTable(u"benchmark code");
    std::vector<std::uint8_t> block(BlockSize, 0x5A);
    int c = 749;
    for (auto _ : state) {
        c = engine.stepCursor(c, std::nullopt);
        engine.TransformBlock(block.data(), block.size(), c);
        benchmark::DoNotOptimize(block.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * BlockSize));
}
BENCHMARK_CAPTURE(TransformBlocks, Reference, CipherEngine::Kernel::Reference);
BENCHMARK_CAPTURE(TransformBlocks, Fast, CipherEngine::Kernel::Fast);

void BuildKeyTable(benchmark::State &state)
{
    CipherEngine engine;
    for (auto _ : state)
        engine.BuildKeyTable(u"benchmark code");
}
BENCHMARK(BuildKeyTable)->Unit(benchmark::kMillisecond);

// What opening or writing the first sealed file under a newly entered code costs on top of
// BuildKeyTable: stretching the code into the key of the engine's write salt.
void StretchKey(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto engine = std::make_unique<CipherEngine>();
        engine->BuildKeyTable(u"benchmark code");
        state.ResumeTiming();
        engine->prepareWriteKey();
        state.PauseTiming();
        engine.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(StretchKey)->Unit(benchmark::kMillisecond);

void DecipherFile(benchmark::State &state)
{
    const auto dir = std::filesystem::temp_directory_path();
    const auto source = dir / "veilshot-bench.jpg";
    const auto veil = dir / "veilshot-bench.veil";
    {
        std::vector<char> bytes(static_cast<std::size_t>(state.range(0)));
        std::mt19937 random(1);
        for (auto &b : bytes)
            b = static_cast<char>(random());
        std::ofstream(source, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    CipherEngine engine;
    engine.BuildKeyTable(u"benchmark code");
    engine.Cipfoto(source, veil, veilshot::AtomicFile::Mode::Replace);
    for (auto _ : state) {
        auto body = engine.decipherFile(veil);
        benchmark::DoNotOptimize(body->data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(source);
    std::filesystem::remove(veil);
}
BENCHMARK(DecipherFile)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

// A photo and its ".veil" file in the temporary folder, and the name every run writes to.
struct FilePair {
    explicit FilePair(std::size_t size)
    {
        const auto dir = std::filesystem::temp_directory_path();
        plain = dir / "veilshot-bench-pair.jpg";
        veil = dir / "veilshot-bench-pair.veil";
        out = dir / "veilshot-bench-pair.out";
        std::vector<char> bytes(size);
        std::mt19937 random(2);
        for (auto &b : bytes)
            b = static_cast<char>(random());
        std::ofstream(plain, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        engine.BuildKeyTable(u"benchmark code");
        engine.Cipfoto(plain, veil, veilshot::AtomicFile::Mode::Replace);
    }
    ~FilePair()
    {
        for (const auto &file : {plain, veil, out})
            std::filesystem::remove(file);
    }

    // Each run writes a new file, as the commands do; removing the last one is not timed.
    template <typename Run>
    void Time(benchmark::State &state, Run run)
    {
        for (auto _ : state) {
            state.PauseTiming();
            std::filesystem::remove(out);
            state.ResumeTiming();
            run();
        }
        state.SetBytesProcessed(state.iterations() * state.range(0));
    }

    CipherEngine engine;
    std::filesystem::path plain, veil, out;
};

void CopyFilePeer(benchmark::State &state)
{
    FilePair files(static_cast<std::size_t>(state.range(0)));
    files.Time(state, [&] { std::filesystem::copy_file(files.plain, files.out); });
}

void CipherFileToFile(benchmark::State &state)
{
    FilePair files(static_cast<std::size_t>(state.range(0)));
    files.Time(state, [&] { files.engine.Cipfoto(files.plain, files.out); });
}

void DecipherFileToFile(benchmark::State &state)
{
    FilePair files(static_cast<std::size_t>(state.range(0)));
    files.Time(state, [&] { benchmark::DoNotOptimize(files.engine.decipherToFile(files.veil, files.out)); });
}

BENCHMARK(CopyFilePeer)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(CipherFileToFile)->Arg(64 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK(DecipherFileToFile)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

// Ciphering to the disk in one format or the other, the key already stretched.
void CipherInFormat(benchmark::State &state, Format format)
{
    FilePair files(static_cast<std::size_t>(state.range(0)));
    files.engine.setWriteFormat(format);
    files.engine.prepareWriteKey();
    files.Time(state, [&] { files.engine.Cipfoto(files.plain, files.out); });
}
BENCHMARK_CAPTURE(CipherInFormat, Keyed, Format::Keyed)->Arg(256 << 20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CipherInFormat, Sealed, Format::Sealed)->Arg(256 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
