// The wlr-screencopy grab of one 1920x1080 output of a headless sway
// (pixman renderer) showing a picture, at scale 1.
//
//   bench_wl_grab --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
//
// Wl/FreshConnection: connect, list the outputs, grab, disconnect: what a
// capture costs when nothing is kept between captures.
// Wl/SameConnection: repeated grabs on one connection; each waits for the
// compositor's next frame, so this measures its frame pacing as much as us.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QImage>
#include <cstdio>
#include <memory>

#include "platform/wlscreencopy.h"
#include "support/swaysession.h"
#include "support/xscreen.h"

namespace {

std::unique_ptr<SwaySession> g_sway;

QString Socket()
{
    return QString::fromStdString(g_sway->socketPath());
}

void BM_Wl_FreshConnection(benchmark::State& state)
{
    for (auto _ : state) {
        TWlScreencopy grabber(Socket());
        QImage image = grabber.Grab("HEADLESS-1");
        if (image.isNull()) {
            state.SkipWithError(grabber.Error().toStdString().c_str());
            break;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Wl_FreshConnection)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Wl_SameConnection(benchmark::State& state)
{
    TWlScreencopy grabber(Socket());
    for (auto _ : state) {
        QImage image = grabber.Grab("HEADLESS-1");
        if (image.isNull()) {
            state.SkipWithError(grabber.Error().toStdString().c_str());
            break;
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_Wl_SameConnection)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    g_sway = std::make_unique<SwaySession>();
    // A picture, not the flat default background, so the frame is a real one.
    const QString wallpaper = QDir(QString::fromStdString(g_sway->dir())).filePath("bench.png");
    if (!ScreenPattern({1920, 1080}).save(wallpaper, "PNG") ||
        !g_sway->setWallpaper("HEADLESS-1", wallpaper.toStdString())) {
        fprintf(stderr, "sway did not take the wallpaper\n");
        return 1;
    }
    const QImage expected = ScreenPattern({1920, 1080});
    TWlScreencopy probe(Socket());
    if (!WaitUntil([&] { return ComparePixels(probe.Grab("HEADLESS-1"), expected).empty(); }, 15000)) {
        fprintf(stderr, "the wallpaper never showed: %s\n", probe.Error().toUtf8().constData());
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_sway.reset();
    return 0;
}
