// The first Analyze of a freshly opened 24-bit BMP leaf scan at 300 and 1200
// dpi: RunAnalysis, as the Analyze button runs it, asks the picture for its
// 32-bit rows (which widens the picture where it lies, for good) and counts
// them. Beside it, in each iteration, a direct count over the same picture's
// 24-bit rows, in the leaf count's own loop with a 3-byte step. Goals: the
// first Analyze within 1.5 times the direct count (ratio), and the peak
// memory of open and first Analyze together within 1.1 times the 32-bit
// picture (peak_ratio).
#include "BenchSupport.h"
#include "ProcessMemory.h"
#include "measure/Analysis.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"

#include <benchmark/benchmark.h>
#include <cstdint>

namespace {

using bench::scanPath;
using bench::secondsOf;

[[gnu::noinline]] std::uint64_t countRow24(const std::uint8_t* pixel, int width)
{
    std::uint32_t count = 0;
    for (int x = 0; x < width; ++x, pixel += 3) {
        const auto sum = static_cast<std::uint16_t>(pixel[0] + pixel[1] + pixel[2]);
        count += sum < 660u;
    }
    return count;
}

std::uint64_t count24(const QImage& picture)
{
    std::uint64_t count = 0;
    for (int y = 0; y < picture.height(); ++y)
        count += countRow24(picture.constScanLine(y), picture.width());
    return count;
}

void analyzeOnce(kestra::PictureBitmap& bitmap, kestra::ResultsTable& table)
{
    kestra::Landmarks landmarks;
    kestra::RunAnalysis(table, landmarks,
                        {.FileName = "leaf.bmp", .Dpi = 300.0, .pictureRows = [&bitmap] {
                             return bitmap.rgb32Rows();
                         }});
}

void FirstAnalyze(benchmark::State& state)
{
    const QString path = QString::fromLocal8Bit(scanPath(state.range(0)));
    kestra::ResultsTable table;
    double analyzing = 0;
    double counting = 0;
    for (auto _ : state) {
        kestra::PictureBitmap bitmap;
        {
            QImage picture = kestra::LoadPicture(path, 24).image;
            std::uint64_t count = 0;
            counting += secondsOf([&] { count = count24(picture); });
            benchmark::DoNotOptimize(count);
            bitmap.takeOver(std::move(picture));
        }
        const double seconds = secondsOf([&] { analyzeOnce(bitmap, table); });
        analyzing += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["count24_ms"] = counting / iterations * 1e3;
    state.counters["ratio"] = analyzing / counting;

    kestra::PictureBitmap bitmap;
    const long long peak = bench::peakAbove([&] {
        bitmap.takeOver(kestra::LoadPicture(path, 24).image);
        analyzeOnce(bitmap, table);
    });
    const double picture32 = static_cast<double>(bitmap.image().sizeInBytes());
    state.counters["picture32_MB"] = picture32 / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["peak_ratio"] = static_cast<double>(peak) / picture32;
}

} // namespace

BENCHMARK(FirstAnalyze)->Arg(300)->Arg(1200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
