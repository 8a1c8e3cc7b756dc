// Painting the whole visible part of the view (929 x 599 pixels of Panel2)
// from a full A4 page at 300 dpi, at 200 % beside the same region at 100 %.
// Goal: the stretched paint costs at most twice the plain one and stays well
// under one 60 Hz frame (16.7 ms). With the counted pixels tinted, a paint
// costs at most 1.5 times the same paint without, and stays within a frame.
#include "picture/PictureLoader.h"
#include "picture/PictureView.h"

#include <QApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

constexpr QSize Visible(929, 599);

kestra::PictureView& view()
{
    static kestra::PictureView* shown = [] {
        auto* view = new kestra::PictureView;
        view->bitmap().takeOver(kestra::LoadPicture(QStringLiteral(KESTRA_LEAF_SCAN), 24).image);
        return view;
    }();
    return *shown;
}

void paintVisible(benchmark::State& state, int zoomPercent, bool tinted)
{
    kestra::PictureView& shown = view();
    shown.setShowCounted(tinted);
    const QSize picture = shown.bitmap().image().size();
    shown.resize(picture * zoomPercent / 100);
    shown.setStretch(zoomPercent != 100);
    // Somewhere in the middle of the leaf, as when landmarks are placed.
    const QRect region(QPoint(700, 900) * zoomPercent / 100, Visible);
    QImage backingStore(Visible, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&backingStore);
        painter.translate(-region.topLeft());
        shown.paintRegion(painter, region);
        painter.end();
        benchmark::DoNotOptimize(backingStore.constBits());
    }
    state.counters["format"] = shown.bitmap().image().format();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const struct {
        const char* name;
        int zoomPercent;
        bool tinted;
    } paints[] = {{"PaintAt100", 100, false},
                  {"PaintAt200", 200, false},
                  {"PaintAt25", 25, false},
                  {"PaintAt100Tinted", 100, true},
                  {"PaintAt200Tinted", 200, true}};
    for (const auto& paint : paints)
        benchmark::RegisterBenchmark(paint.name, paintVisible, paint.zoomPercent, paint.tinted)
            ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
