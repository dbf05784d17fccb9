// JPEG output of a capture at quality 50: our in-process encoding (alone,
// with a plain write as cjpeg does, and with the synced write through a
// temporary file that SaveAsJpeg does) beside
// the whole process of libjpeg-turbo's cjpeg -quality 50 -baseline on the
// same pixels (PPM in). bench/jpeg.sh runs it and prints the ratios.

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdlib>
#include <map>
#include <memory>

#include "qcapture/jpeg.h"
#include "support/desktoppicture.h"

extern char** environ;

namespace {

struct Sample {
    QImage picture;
    QString ppm;
    QString cjpegOut;
    bool sameAsCjpeg = false;
};

QTemporaryDir& Folder()
{
    static QTemporaryDir dir;
    return dir;
}

// Runs cjpeg on the PPM, its output going to a file, and waits for it.
bool RunCjpeg(const Sample& s)
{
    const QByteArray ppm = QFile::encodeName(s.ppm);
    const QByteArray out = QFile::encodeName(s.cjpegOut);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char arg0[] = "cjpeg", q[] = "-quality", fifty[] = "50", baseline[] = "-baseline";
    char* argv[] = {arg0, q, fifty, baseline, const_cast<char*>(ppm.constData()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "cjpeg", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const Sample& SampleOf(int width)
{
    static std::map<int, std::unique_ptr<Sample>> samples;
    auto& s = samples[width];
    if (!s) {
        s = std::make_unique<Sample>();
        s->picture = DesktopPicture(width, width * 9 / 16);
        s->ppm = Folder().filePath(QStringLiteral("in-%1.ppm").arg(width));
        s->cjpegOut = Folder().filePath(QStringLiteral("cjpeg-%1.jpg").arg(width));
        s->picture.convertToFormat(QImage::Format_RGB888).save(s->ppm, "PPM");
        if (RunCjpeg(*s)) {
            QFile f(s->cjpegOut);
            s->sameAsCjpeg = f.open(QIODevice::ReadOnly) && f.readAll() == EncodeJpeg(s->picture, 50);
        }
    }
    return *s;
}

void Label(benchmark::State& state, const Sample& s)
{
    state.counters["same_bytes_as_cjpeg"] = s.sameAsCjpeg ? 1 : 0;
    state.SetLabel(QStringLiteral("%1x%2").arg(s.picture.width()).arg(s.picture.height()).toStdString());
}

void BM_EncodeJpeg(benchmark::State& state)
{
    const Sample& s = SampleOf(int(state.range(0)));
    qsizetype bytes = 0;
    for (auto _ : state) {
        const QByteArray jpeg = EncodeJpeg(s.picture, 50);
        bytes = jpeg.size();
        benchmark::DoNotOptimize(jpeg.constData());
    }
    state.counters["jpeg_bytes"] = double(bytes);
    Label(state, s);
}

// What cjpeg does: encode and write the file, no sync.
void BM_EncodeAndWrite(benchmark::State& state)
{
    const Sample& s = SampleOf(int(state.range(0)));
    const QString path = Folder().filePath(QStringLiteral("plain-%1.jpg").arg(s.picture.width()));
    for (auto _ : state) {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(EncodeJpeg(s.picture, 50)) < 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    Label(state, s);
}

void BM_SaveAsJpeg(benchmark::State& state)
{
    const Sample& s = SampleOf(int(state.range(0)));
    const QString path = Folder().filePath(QStringLiteral("ours-%1.jpg").arg(s.picture.width()));
    for (auto _ : state)
        SaveAsJpeg(path, s.picture, QStringLiteral("50"));
    Label(state, s);
}

void BM_CjpegProcess(benchmark::State& state)
{
    const Sample& s = SampleOf(int(state.range(0)));
    for (auto _ : state) {
        if (!RunCjpeg(s)) {
            state.SkipWithError("cjpeg failed");
            break;
        }
    }
    Label(state, s);
}

}  // namespace

BENCHMARK(BM_EncodeJpeg)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeAndWrite)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SaveAsJpeg)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CjpegProcess)->Arg(1920)->Arg(3840)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    // Text on the sample pictures needs fonts, hence a GUI application.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
