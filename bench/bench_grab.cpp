// The grab of the primary display beside a bare xcb_shm_get_image into a
// segment attached once, on one Xvfb of 3840x2160 (areas of 1920x1080 and of
// the whole screen: the server's work depends on the area only).
//
//   bench_grab --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
//
// Ours/Grab:     the part inside Timer1Timer, with the buffer prepared.
// Ours/Prepare:  the part done when Timer1 is enabled, on the GUI thread;
// Ours/PrepareUntilServerDone: the same until the server has done its part
// (both inside the 300 ms delay).
// Ours/Unprepared and GetImage: the grab without preparation, and the
// fallback without MIT-SHM.

#include <benchmark/benchmark.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <memory>

#include "platform/screengrab.h"
#include "support/xsession.h"

namespace {

xcb_connection_t* QtConnection()
{
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
}

// Waits until the server has done everything asked of it so far.
void Sync(xcb_connection_t* c)
{
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

QRect Area(const benchmark::State& state)
{
    return QRect(0, 0, int(state.range(0)), int(state.range(1)));
}

void BM_Bare_ShmGetImage(benchmark::State& state)
{
    const QRect area = Area(state);
    xcb_connection_t* c = QtConnection();
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const size_t bytes = size_t(area.width()) * area.height() * 4;
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    void* addr = shmat(id, nullptr, 0);
    const xcb_shm_seg_t seg = xcb_generate_id(c);
    free(xcb_request_check(c, xcb_shm_attach_checked(c, seg, id, 0)));
    shmctl(id, IPC_RMID, nullptr);
    for (auto _ : state) {
        auto* reply = xcb_shm_get_image_reply(
            c, xcb_shm_get_image(c, root, 0, 0, area.width(), area.height(), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, seg, 0),
            nullptr);
        benchmark::DoNotOptimize(reply);
        free(reply);
    }
    xcb_shm_detach(c, seg);
    xcb_flush(c);
    shmdt(addr);
}

// Uses the grab, then frees it outside the timing, as the capture does later.
void Drop(benchmark::State& state, QImage& image)
{
    benchmark::DoNotOptimize(image.constBits());
    state.PauseTiming();
    image = QImage();
    Sync(QtConnection());
    state.ResumeTiming();
}

void BM_Ours_Grab(benchmark::State& state)
{
    const QRect area = Area(state);
    TScreenGrabber grabber;
    for (auto _ : state) {
        state.PauseTiming();
        grabber.Prepare(area);
        // The capture delay: the server finishes its part of the preparation.
        Sync(QtConnection());
        state.ResumeTiming();
        QImage image = grabber.Grab(area);
        Drop(state, image);
    }
}

// What StartCapture spends on the GUI thread.
void BM_Ours_Prepare(benchmark::State& state)
{
    const QRect area = Area(state);
    TScreenGrabber grabber;
    for (auto _ : state) {
        grabber.Prepare(area);
        state.PauseTiming();
        Sync(QtConnection());
        grabber.Release();
        Sync(QtConnection());
        state.ResumeTiming();
    }
}

// The same until the server has faulted in its side too (it works while
// the GUI thread waits out the delay).
void BM_Ours_PrepareUntilServerDone(benchmark::State& state)
{
    const QRect area = Area(state);
    TScreenGrabber grabber;
    for (auto _ : state) {
        grabber.Prepare(area);
        Sync(QtConnection());
        state.PauseTiming();
        grabber.Release();
        Sync(QtConnection());
        state.ResumeTiming();
    }
}

void BM_Ours_Unprepared(benchmark::State& state)
{
    const QRect area = Area(state);
    TScreenGrabber grabber;
    for (auto _ : state) {
        QImage image = grabber.Grab(area);
        Drop(state, image);
    }
}

void BM_Ours_GetImage(benchmark::State& state)
{
    const QRect area = Area(state);
    TScreenGrabber grabber;
    for (auto _ : state) {
        QImage image = grabber.Grab(area, TScreenGrabber::Method::GetImage);
        Drop(state, image);
    }
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)->UseRealTime();
}

// Slow ones: a fixed count keeps the run short.
void SlowSizes(benchmark::internal::Benchmark* b)
{
    Sizes(b);
    b->Iterations(5);
}

}  // namespace

BENCHMARK(BM_Bare_ShmGetImage)->Apply(Sizes);
BENCHMARK(BM_Ours_Grab)->Apply(Sizes)->Iterations(20);
BENCHMARK(BM_Ours_Prepare)->Apply(SlowSizes);
BENCHMARK(BM_Ours_PrepareUntilServerDone)->Apply(SlowSizes);
BENCHMARK(BM_Ours_Unprepared)->Apply(SlowSizes);
BENCHMARK(BM_Ours_GetImage)->Apply(SlowSizes);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    XSessionOptions options;
    options.width = 3840;
    options.height = 2160;
    options.windowManager = false;
    XSession session(options);
    setenv("DISPLAY", session.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Something other than a flat colour on the screen.
    session.sh("convert -size 3840x2160 plasma:fractal -depth 8 PNG24:" + session.homeDir() +
               "/root.png && display -window root " + session.homeDir() + "/root.png");
    QGuiApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
