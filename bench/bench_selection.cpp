// One pointer move over the frozen picture: the selection's state update, the
// inverting pen (old mark off, new mark on) and the region to repaint, for
// the crosshair and for a screen-sized rubber band.
//
//   bench_selection --benchmark_repetitions=10 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <QImage>
#include <QRegion>

#include "qcapture/image.h"
#include "qcapture/selection.h"

namespace {

QImage Frozen(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(0xff336699u);
    return image;
}

void BM_MoveCrosshair(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    QImage picture = Frozen(w, h);
    TSelection selection;
    selection.Arm();
    int i = 0;
    for (auto _ : state) {
        // Pointer positions spread over the screen, as a moving hand gives.
        const int x = (i * 97) % w, y = (i * 61) % h;
        ++i;
        const TChangedRects changed = selection.MouseMove(picture, x, y);
        QRegion region = TImage::WidgetRegion(changed.begin(), changed.end(), 1.0, QPoint());
        benchmark::DoNotOptimize(region);
    }
}

void BM_MoveBand(benchmark::State& state)
{
    const int w = int(state.range(0)), h = int(state.range(1));
    QImage picture = Frozen(w, h);
    TSelection selection;
    selection.Arm();
    selection.MouseDown(picture, 10, 10);
    int i = 0;
    for (auto _ : state) {
        // A band over nearly the whole screen: the longest edges to invert.
        const int x = w - 1 - (i * 7) % 50, y = h - 1 - (i * 5) % 40;
        ++i;
        const TChangedRects changed = selection.MouseMove(picture, x, y);
        QRegion region = TImage::WidgetRegion(changed.begin(), changed.end(), 1.0, QPoint());
        benchmark::DoNotOptimize(region);
    }
}

}  // namespace

BENCHMARK(BM_MoveCrosshair)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MoveBand)->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
