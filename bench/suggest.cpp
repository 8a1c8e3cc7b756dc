// The landmark suggestion's own work on a leaf scan of an A4 page, beside the
// decode of the same JPEG file measured in the same iteration, at 300 and at
// 1200 dpi (2480 x 3508 and 9920 x 14032). Goal: ratio, the suggestion over
// the decode, at most 0.5 at both resolutions.
#include "BenchSupport.h"
#include "app/suggest/LandmarkSuggester.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"

#include <benchmark/benchmark.h>

namespace {

using bench::secondsOf;

void Suggest(benchmark::State& state)
{
    const QString path = state.range(0) == 300 ? KESTRA_LEAF_JPEG_300 : KESTRA_LEAF_JPEG_1200;
    double decoding = 0.0;
    double suggesting = 0.0;
    int placed = 0;
    for (auto _ : state) {
        kestra::PictureBitmap bitmap;
        decoding += secondsOf([&] { bitmap.takeOver(kestra::LoadPicture(path, 24).image); });
        // The window widens the picture once for the leaf count anyway.
        const kestra::PixelRows rows = bitmap.rgb32Rows();
        kestra::Landmarks suggested;
        const double seconds = secondsOf([&] { suggested = kestra::SuggestLandmarks(rows); });
        suggesting += seconds;
        state.SetIterationTime(seconds);
        placed = 0;
        for (int n = 1; n <= kestra::LandmarkCount; ++n)
            placed += !suggested.IsPointMissing(n);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = decoding / iterations * 1e3;
    state.counters["ratio"] = suggesting / decoding;
    state.counters["placed"] = placed;
}

} // namespace

BENCHMARK(Suggest)->Arg(300)->Arg(1200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
