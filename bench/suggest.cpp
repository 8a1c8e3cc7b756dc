// The landmark suggestion's own work on a leaf scan of an A4 page, beside the
// decode of the same JPEG file measured in the same iteration, at 300 and at
// 1200 dpi (2480 x 3508 and 9920 x 14032). Goal: ratio, the suggestion over
// the decode, at most 0.5 at both resolutions.
//
// The fixed leaf of those scans gets few landmarks, so SuggestEvery times a
// varied leaf at 300 dpi, laid on an A4 page, that gets nearly all of them:
// the vein paths to the branch points and the N4 search included.
#include "BenchSupport.h"
#include "app/suggest/LandmarkSuggester.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"
#include "tools/JpegWriter.h"
#include "tools/SyntheticLeaf.h"

#include <QFile>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdlib>

namespace {

using bench::secondsOf;

// The leaf of seed 17 drawn at 300 dpi, in the middle of an A4 page whose
// paper goes on as the drawing's mirror image, as a JPEG file written once.
QString everyLandmarkScan()
{
    static const QString path = [] {
        const QString file = QStringLiteral(KESTRA_BENCH_FOLDER "/leaf-every-landmark.jpg");
        const QImage leaf =
            kestra::DrawSyntheticLeaf(17, 300).picture.convertToFormat(QImage::Format_RGB888);
        const int width = 2480;
        const int height = 3508;
        const int left = (width - leaf.width()) / 2;
        const int top = (height - leaf.height()) / 2;
        // Mirrored, so that the paper keeps its grain, which the decode's
        // time depends on.
        auto mirrored = [](int at, int size) {
            at = std::abs(at) % (2 * size);
            return at < size ? at : 2 * size - 1 - at;
        };
        const QByteArray jpeg = kestra::WriteJpeg(
            width, height, 3,
            [&](int y, std::uint8_t* row) {
                const uchar* from = leaf.constScanLine(mirrored(y - top, leaf.height()));
                for (int x = 0; x < width; ++x)
                    std::copy_n(from + 3 * mirrored(x - left, leaf.width()), 3, row + 3 * x);
            },
            {.quality = 92, .dpi = 300});
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(jpeg) != jpeg.size())
            std::abort();
        return file;
    }();
    return path;
}

void timeSuggestion(benchmark::State& state, const QString& path)
{
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

void Suggest(benchmark::State& state)
{
    timeSuggestion(state, state.range(0) == 300 ? KESTRA_LEAF_JPEG_300 : KESTRA_LEAF_JPEG_1200);
}

void SuggestEvery(benchmark::State& state)
{
    timeSuggestion(state, everyLandmarkScan());
}

} // namespace

BENCHMARK(Suggest)->Arg(300)->Arg(1200)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SuggestEvery)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
