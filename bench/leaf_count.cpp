// The first count of a full A4 page at 300 dpi, read in the 24 bits the loader
// gives it, beside LeafSurface on the same picture already at 32 bits.
// Goal: the first count costs at most twice the 32-bit one.
#include "measure/LeafSurface.h"
#include "picture/LeafCount.h"
#include "picture/PictureLoader.h"

#include <benchmark/benchmark.h>
#include <utility>

namespace {

const QImage& scan()
{
    static const QImage loaded = kestra::LoadPicture(QStringLiteral(KESTRA_LEAF_SCAN), 24).image;
    return loaded;
}

void LeafSurfaceAt32Bits(benchmark::State& state)
{
    const QImage converted = scan().convertToFormat(QImage::Format_RGB32);
    const kestra::PixelRows rows{converted.constBits(), converted.width(), converted.height(),
                                 converted.bytesPerLine()};
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::LeafSurface(rows, 25.4 / 300));
    state.counters["pixels"] = static_cast<double>(kestra::CountLeafPixels(rows));
}

void countAs(benchmark::State& state, QImage::Format format)
{
    const QImage picture = scan().convertToFormat(format);
    for (auto _ : state)
        benchmark::DoNotOptimize(kestra::CountLeafPixels(picture));
    state.counters["pixels"] = static_cast<double>(kestra::CountLeafPixels(picture));
}

} // namespace

BENCHMARK(LeafSurfaceAt32Bits)->Unit(benchmark::kMillisecond);

[[maybe_unused]] const bool firstCounts = [] {
    const std::pair<const char*, QImage::Format> formats[] = {
        {"FirstCountBgr888", QImage::Format_BGR888},     // as a 24-bit BMP loads
        {"FirstCountRgb888", QImage::Format_RGB888},     // as a colour JPEG loads
        {"FirstCountIndexed8", QImage::Format_Indexed8}, // as 8-bit BMPs, grayscale JPEGs load
    };
    for (const auto& [name, format] : formats)
        benchmark::RegisterBenchmark(name, countAs, format)->Unit(benchmark::kMillisecond);
    return true;
}();

BENCHMARK_MAIN();
