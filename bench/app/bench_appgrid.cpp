// Nine emulated cameras (1280x720 H.264, 20 fps) playing in the 9-grid of
// the real main window: pictures shown and painted per second per tile, the
// CPU of this process (the emulator runs in a child process and is reported
// apart), and the resident set. Baseline in the same run: the same kind of
// clip (libx264, as the emulator encodes it) decoded as nine streams paced at
// 20 fps by plain FFmpeg, each frame scaled to the tile's picture size.
//
//   bench_appgrid [seconds] [card|nocard]
//   (default 20 s, cameras with a memory card; run under scripts/with-session.sh)
//
// With a memory card a playing tile shows its timeline below the picture,
// which leaves the picture a smaller, not 16:9 area; "nocard" measures the
// tiles without it.
#include "bench/app/appbench.h"
#include "bench/app/paintprobe.h"
#include "bench/support/benchclock.h"
#include "bench/support/plaindecoder.h"
#include "client/vucameraclient.h"
#include "sim/media/clipencoder.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowui.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr int kCameras = 9;
constexpr int kFps = 20;

struct BaselineResult
{
    double cpuSeconds = 0;
    double wallSeconds = 0;
    std::vector<double> fps;
};

// One stream: the decoder settings the client uses (one thread, low delay),
// one scaler into one 32-bit buffer, frames taken at 20 per second.
void decodeStream(const EncodedClip& clip, int outW, int outH, std::chrono::steady_clock::time_point start,
                  std::chrono::steady_clock::time_point end, std::atomic<int>* decoded)
{
    PlainDecoder decoder(clip, outW, outH);
    if (!decoder.isOpen() || decoder.frameCount() == 0)
        return;
    const auto period = std::chrono::microseconds(1000000 / kFps);
    for (int k = 0;; ++k) {
        const auto due = start + k * period;
        if (due >= end || std::chrono::steady_clock::now() >= end)
            break; // what is not decoded by the end did not keep pace
        std::this_thread::sleep_until(due);
        if (decoder.decode(k % decoder.frameCount()))
            ++*decoded;
    }
}

BaselineResult plainDecode(int outW, int outH, int seconds)
{
    BaselineResult r;
    ClipParams params;
    params.width = 1280;
    params.height = 720;
    params.fps = kFps;
    params.frames = 2 * kFps; // the emulator's two-second clip
    params.label = QStringLiteral("Camera 1");
    QString error;
    av_log_set_level(AV_LOG_ERROR); // the encoder's statistics
    const EncodedClip clip = ClipEncoder::encode(params, &error);
    if (!clip.isValid()) {
        std::printf("cannot encode the baseline clip: %s\n", qPrintable(error));
        return r;
    }
    std::vector<std::atomic<int>> decoded(kCameras);
    const auto start = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    const auto end = start + std::chrono::seconds(seconds);
    const double cpu0 = BenchClock::cpuSeconds();
    std::vector<std::thread> threads;
    for (int i = 0; i < kCameras; ++i)
        threads.emplace_back(decodeStream, std::cref(clip), outW, outH, start, end, &decoded[size_t(i)]);
    for (std::thread& t : threads)
        t.join();
    r.cpuSeconds = BenchClock::cpuSeconds() - cpu0;
    r.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (auto& d : decoded)
        r.fps.push_back(d.load() / double(seconds));
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int seconds = argc > 1 ? qMax(5, std::atoi(argv[1])) : 20;
    const bool card = !(argc > 2 && std::strcmp(argv[2], "nocard") == 0);
    AppBench::setUpApplication();
    AppBench bench;
    MainWindow* w = bench.openNineGrid(AppBench::scenario(QStringLiteral("bench-appgrid"), kCameras, 1280, 720, kFps, card), kCameras);
    if (!w)
        return 1;
    const QList<VuCameraWidget*> tiles = bench.tiles();
    PaintProbe probe;
    for (VuCameraWidget* t : tiles)
        probe.watch(t);
    // Signed in, nothing playing: the window must cost nothing while it waits
    // (after the list and the pictures of the start have settled).
    AppBench::wait(10000);
    const double idleCpu0 = BenchClock::cpuSeconds();
    AppBench::wait(seconds * 1000);
    const double idleCpu = BenchClock::cpuSeconds() - idleCpu0;
    std::printf("bench_appgrid: signed in, nothing playing, %d s: %.0f clock ticks of CPU (%.2f s)\n", seconds,
        idleCpu * double(sysconf(_SC_CLK_TCK)), idleCpu);
    QElapsedTimer started;
    started.start();
    if (!bench.play(tiles)) {
        std::printf("not every tile showed a picture\n");
        return 1;
    }
    std::printf("bench_appgrid: nine 1280x720 %d fps H.264 cameras %s in the 9-grid (all playing %.1f s after play)\n",
        kFps, card ? "with a memory card" : "without a memory card", started.elapsed() / 1000.0);
    AppBench::wait(8000); // the streams settle (the backlog of the start drains)

    std::vector<quint64> shown0, painted0;
    for (VuCameraWidget* t : tiles) {
        shown0.push_back(t->picturesShown());
        painted0.push_back(probe.painted(t));
    }
    const double cpu0 = BenchClock::cpuSeconds();
    const qint64 gui0 = BenchClock::threadCpuNs();
    const double emu0 = BenchClock::cpuSecondsOf(bench.emulatorPid());
    QElapsedTimer window;
    window.start();
    double rssPeak = 0;
    while (window.elapsed() < seconds * 1000) {
        AppBench::wait(500);
        rssPeak = qMax(rssPeak, BenchClock::rssMiB());
    }
    const double wall = window.elapsed() / 1000.0;
    const double cpu = BenchClock::cpuSeconds() - cpu0;
    const double guiCpu = (BenchClock::threadCpuNs() - gui0) / 1e9;
    const double emuCpu = BenchClock::cpuSecondsOf(bench.emulatorPid()) - emu0;
    const double load = BenchClock::loadAverage();
    const QSize picture = tiles.first()->currentPicture().size();
    std::printf("  window %dx%d, tile %dx%d, video label %dx%d\n", w->width(), w->height(), tiles.first()->width(),
        tiles.first()->height(), tiles.first()->ui()->videoSize().width(), tiles.first()->ui()->videoSize().height());

    std::printf("  measured over %.1f s; machine: %d cores, load average %.1f\n", wall, QThread::idealThreadCount(), load);
    std::printf("  tile   shown fps  painted fps\n");
    double slowest = 1e9;
    quint64 shownTotal = 0;
    for (int i = 0; i < tiles.size(); ++i) {
        shownTotal += tiles[i]->picturesShown() - shown0[size_t(i)];
        const double shown = (tiles[i]->picturesShown() - shown0[size_t(i)]) / wall;
        const double painted = (probe.painted(tiles[i]) - painted0[size_t(i)]) / wall;
        slowest = std::min(slowest, painted);
        std::printf("  %-5s  %9.2f  %11.2f\n", qPrintable(tiles[i]->client()->did()), shown, painted);
    }
    const double appPct = 100.0 * cpu / wall;
    std::printf("  slowest tile %.2f painted fps (target >= 19.5: %s)\n", slowest, slowest >= 19.5 ? "met" : "MISSED");
    const double appMsPerPicture = shownTotal ? 1000.0 * cpu / double(shownTotal) : 0;
    std::printf("  application CPU %.1f%% of one core, %.2f ms per picture shown; emulator (child process, not "
                "counted) %.1f%%\n",
        appPct, appMsPerPicture, 100.0 * emuCpu / wall);
    // The GUI thread shows and paints; the other threads receive, decrypt,
    // decode and scale, which is what the baseline does.
    std::printf("  of which the GUI thread %.2f ms per picture, the other threads %.2f ms\n",
        shownTotal ? 1000.0 * guiCpu / double(shownTotal) : 0,
        shownTotal ? 1000.0 * (cpu - guiCpu) / double(shownTotal) : 0);
    std::printf("  RSS while playing: %.0f MiB (peak %.0f MiB); tile pictures %dx%d\n", BenchClock::rssMiB(), rssPeak,
        picture.width(), picture.height());

    if (!bench.quitWindow())
        std::printf("  (the window did not close in time)\n");

    const BaselineResult base = plainDecode(picture.width(), picture.height(), seconds);
    if (base.fps.empty())
        return 1;
    double baseSlowest = 1e9;
    for (double f : base.fps)
        baseSlowest = std::min(baseSlowest, f);
    const double basePct = 100.0 * base.cpuSeconds / base.wallSeconds;
    double baseFrames = 0;
    for (double f : base.fps)
        baseFrames += f * seconds;
    const double baseMsPerPicture = baseFrames > 0 ? 1000.0 * base.cpuSeconds / baseFrames : 0;
    std::printf("  plain FFmpeg: nine streams decoded and scaled to %dx%d at %d fps paced, %.1f s: CPU %.1f%% of one core, "
                "%.2f ms per picture (slowest stream %.2f fps; load %.1f)\n",
        picture.width(), picture.height(), kFps, base.wallSeconds, basePct, baseMsPerPicture, baseSlowest,
        BenchClock::loadAverage());
    // Per picture: on a busy machine either side may fall short of 20 fps,
    // and a side that decodes fewer pictures uses less CPU for it.
    const double ratio = baseMsPerPicture > 0 ? appMsPerPicture / baseMsPerPicture : 0;
    std::printf("  ratio application / plain decode, CPU per picture: %.2f (target <= 1.10: %s); CPU share: %.2f\n", ratio,
        ratio <= 1.10 ? "met" : "MISSED", basePct > 0 ? appPct / basePct : 0);
    std::printf("  distinct warnings from the application: %d\n", AppBench::warningCount());
    return 0;
}
