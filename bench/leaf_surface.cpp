// LeafSurface over a full A4 page at 300 dpi, beside a plain sequential read of
// the same bytes: the count should cost no more than reading the picture once.
#include "measure/LeafSurface.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

namespace {

constexpr int Width = 2480;
constexpr int Height = 3508;

const std::vector<std::uint8_t>& page()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(Width) * Height * 4);
        std::mt19937 random(3);
        std::uniform_int_distribution<int> value(0, 255);
        for (std::uint8_t& byte : pixels)
            byte = static_cast<std::uint8_t>(value(random));
        return pixels;
    }();
    return bytes;
}

void PlainRead(benchmark::State& state)
{
    const std::vector<std::uint8_t>& bytes = page();
    for (auto _ : state) {
        std::uint64_t sum = 0;
        for (std::uint8_t byte : bytes)
            sum += byte;
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void CountLeafPixels(benchmark::State& state)
{
    const std::vector<std::uint8_t>& bytes = page();
    const kestra::PixelRows rows{bytes.data(), Width, Height, Width * 4};
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::LeafSurface(rows, 25.4 / 300));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

} // namespace

BENCHMARK(PlainRead)->Unit(benchmark::kMillisecond);
BENCHMARK(CountLeafPixels)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
