// Throughput of the block transform (reference and fast kernels) and of deciphering a file
// into memory.

#include "cipherengine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace {

using veilshot::cipher::BlockSize;
using veilshot::cipher::CipherEngine;

void TransformBlocks(benchmark::State &state, CipherEngine::Kernel kernel)
{
    CipherEngine engine(kernel);
    engine.BuildKeyTable(u"benchmark code");
    std::vector<std::uint8_t> block(BlockSize, 0x5A);
    int c = 749;
    for (auto _ : state) {
        c = engine.StepCursor(c, std::nullopt);
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
        auto body = engine.DecipherFile(veil);
        benchmark::DoNotOptimize(body->data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    std::filesystem::remove(source);
    std::filesystem::remove(veil);
}
BENCHMARK(DecipherFile)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

}  // namespace
