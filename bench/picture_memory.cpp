// The picture's memory alone: allocating a 24-bit A4 page at 1200 dpi (9920 x
// 14032, 418 MB) and touching each of its pages once, as a decoder's first
// pass does, the mapped way (huge pages made resident in one call, /1)
// against the plain one (malloc, a fault at each page's first touch, /0);
// /0 over /1 is the gain. It is the kernel's, so it shows on any machine whose
// kernel has the mapped way (mapped_available 1); on a virtual machine, where
// each fault costs more, it is larger.
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

// Arg 1 the mapped way, 0 the plain one, run after it: memory faulted in and
// freed page by page leaves the machine slower to hand out huge pages for a
// while, so the two do not take turns.
void PictureMemoryTouch(benchmark::State& state)
{
    const PictureMemoryWay way =
        state.range(0) == 1 ? PictureMemoryWay::Mapped : PictureMemoryWay::Plain;
    for (auto _ : state)
        state.SetIterationTime(allocateAndTouch(way));
    state.counters["mapped_available"] =
        kestra::AvailablePictureMemoryWay() == PictureMemoryWay::Mapped ? 1 : 0;
}

} // namespace

BENCHMARK(PictureMemoryTouch)->Arg(1)->Arg(0)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
