// What keeping the results journal costs each Analyze on a 300-dpi A4 leaf
// scan: the row written to the journal and flushed to the disk
// (ResultsModel::add), against the analysis that made the row
// (AnalyzePicture, the picture already widened by an earlier one). The
// journal lies on the same disk as the build, as a user's home would. Goal:
// journal_ms at most 5 ms or 10 % of analysis_ms, whichever is larger
// (to_goal at most 1). first_ms is the first row's, which makes the file.
#include "BenchSupport.h"
#include "app/results/ResultsModel.h"
#include "app/scan/ScanMeasurement.h"
#include "picture/PictureBitmap.h"
#include "picture/PictureLoader.h"

#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

using bench::secondsOf;

void JournalPerAnalyze(benchmark::State& state)
{
    const QTemporaryDir folder(QStringLiteral(KESTRA_BENCH_FOLDER "/journal-XXXXXX"));
    kestra::PictureBitmap bitmap;
    bitmap.takeOver(kestra::LoadPicture(QStringLiteral(KESTRA_LEAF_SCAN), 24).image);
    kestra::Landmarks landmarks;
    for (int n = 1; n <= kestra::LandmarkCount; ++n) {
        landmarks.PointX[n] = 700 + 20 * n;
        landmarks.PointY[n] = 900 + 15 * n;
    }
    const auto analyze = [&] {
        return kestra::AnalyzePicture(landmarks, bitmap, KESTRA_LEAF_SCAN, 300.0, ".");
    };
    kestra::ResultsTable table;
    kestra::ResultsModel model(table, folder.path().toStdString());
    kestra::TableRow first = analyze();
    const double firstRow = secondsOf([&] { model.add(std::move(first)); });

    double analyzing = 0;
    double journaling = 0;
    for (auto _ : state) {
        kestra::TableRow row;
        analyzing += secondsOf([&] { row = analyze(); });
        const double seconds = secondsOf([&] { model.add(std::move(row)); });
        journaling += seconds;
        state.SetIterationTime(seconds);
    }
    if (!model.journalProblem().isEmpty())
        state.SkipWithError(model.journalProblem().toStdString().c_str());
    model.markSaved(); // leaves no journal behind
    const double iterations = static_cast<double>(state.iterations());
    const double journal = journaling / iterations;
    const double analysis = analyzing / iterations;
    state.counters["journal_ms"] = journal * 1e3;
    state.counters["analysis_ms"] = analysis * 1e3;
    state.counters["first_ms"] = firstRow * 1e3;
    state.counters["ratio"] = journal / analysis;
    state.counters["to_goal"] = journal / std::max(0.005, 0.1 * analysis);
}

} // namespace

BENCHMARK(JournalPerAnalyze)->Iterations(30)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
