// The picture's memory alone: allocating a 24-bit A4 page at 1200 dpi (9920 x
// 14032, 418 MB) and touching each of its pages once, as a decoder's first
// pass does, the plain way (malloc, a fault at each page's first touch)
// against the mapped one (huge pages made resident in one call). Each
// iteration runs both; speedup is plain over mapped. The gain is the
// kernel's, so it shows on any machine whose kernel has the mapped way
// (mapped_available 1); on a virtual machine, where each fault costs more, it
// is larger.
#include "BenchSupport.h"
#include "picture/PictureMemory.h"

#include <benchmark/benchmark.h>

namespace {

using bench::secondsOf;
using kestra::PictureMemoryWay;

constexpr int Width = 9920;
constexpr int Height = 14032;

double allocateAndTouch(PictureMemoryWay way)
{
    const PictureMemoryWay before = kestra::UsePictureMemoryWay(way);
    double seconds = 0;
    {
        QImage picture;
        seconds = secondsOf([&] {
            picture = kestra::AllocatePicture(Width, Height, QImage::Format_BGR888);
            uchar* const bits = picture.bits();
            for (qsizetype at = 0; at < picture.sizeInBytes(); at += 4096)
                bits[at] = 1;
        });
        benchmark::DoNotOptimize(picture.constBits());
    }
    kestra::UsePictureMemoryWay(before);
    return seconds;
}

void PictureMemoryTouch(benchmark::State& state)
{
    double plain = 0;
    double mapped = 0;
    for (auto _ : state) {
        plain += allocateAndTouch(PictureMemoryWay::Plain);
        const double seconds = allocateAndTouch(PictureMemoryWay::Mapped);
        mapped += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = plain / iterations * 1e3;
    state.counters["mapped_ms"] = mapped / iterations * 1e3;
    state.counters["speedup"] = plain / mapped;
    state.counters["mapped_available"] =
        kestra::AvailablePictureMemoryWay() == PictureMemoryWay::Mapped ? 1 : 0;
}

} // namespace

BENCHMARK(PictureMemoryTouch)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
