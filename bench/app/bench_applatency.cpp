// One emulated camera (1920x1080 H.264, 20 fps) full screen in the real main
// window: per frame, the time from the emulator sending it (its steady clock,
// header bytes 4-11, carried to the tile in FrameInfo) to the tile painting
// its picture, median and 99th percentile. Baseline in the same run: the P2P
// transport alone, from the same emulator to a plain receive loop in this
// process that polls like the client's receive thread and decodes nothing.
// Both processes read the same steady clock (CLOCK_MONOTONIC).
//
//   bench_applatency [seconds] [card|nocard]
//   (default 15 s, a camera with a memory card; run under scripts/with-session.sh)
//
// With a memory card the playing tile shows its timeline below the picture,
// which leaves the picture an area that is not 16:9.
#include "core/camerapassport.h"
#include "bench/app/appbench.h"
#include "bench/app/paintprobe.h"
#include "bench/support/benchclock.h"
#include "camera/avframeheader.h"
#include "camera/avframerecvthread.h"
#include "camera/cameracontroller.h"
#include "camera/libp2p.h"
#include "camera/videobuffer.h"
#include "p2p/avapi.h"
#include "sim/scenario/scenario.h"
#include "sim/scenario/simpassports.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowui.h"
#include "ui/vucamerawidget.h"

#include <QApplication>
#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QJsonDocument>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sodium.h>
#include <vector>

namespace {

constexpr int kFps = 20;

// Send -> off the channel, for every video frame over the given time; the
// loop waits for a frame as the client's receive thread does.
std::vector<double> transportAlone(const CameraPassport& pass, int seconds)
{
    std::vector<double> ms;
    CameraController cc(&pass);
    if (cc.connCamera() != 0) {
        std::printf("the baseline could not connect to the camera\n");
        return ms;
    }
    sendIoCtrl(cc.avIndex(), 0x1FF, QByteArray(R"({"enableaudio":0,"videoquality":2})"));
    std::unique_ptr<char[]> buf(new char[AvframeRecvThread::kFrameBufferSize]);
    QElapsedTimer t;
    t.start();
    qint64 measureFrom = -1;
    while (t.elapsed() < (seconds + 60) * 1000) {
        char header[AvFrameHeader::Size] = {};
        int actual = 0, expected = 0, headerSize = 0;
        unsigned int number = 0;
        const int r = avRecvFrameData2(cc.avIndex(), buf.get(), AvframeRecvThread::kFrameBufferSize, &actual, &expected,
            header, AvFrameHeader::Size, &headerSize, &number);
        if (r == AV_ER_DATA_NOREADY) {
            waitVideoFrame(cc.avIndex(), AvframeRecvThread::kIdleWaitMs);
            continue;
        }
        if (r <= 0)
            continue;
        const qint64 now = BenchClock::steadyUs();
        const AvFrameHeader h = AvFrameHeader::fromBytes(header, qMin(headerSize, int(sizeof header)));
        if (h.isAudio())
            continue;
        if (measureFrom < 0)
            measureFrom = t.elapsed() + 2000; // the first frames wait for the clip to be encoded
        if (t.elapsed() < measureFrom)
            continue;
        ms.push_back(double(now - qint64(h.sendTimeUs())) / 1000.0);
        if (t.elapsed() > measureFrom + seconds * 1000)
            break;
    }
    cc.stopPlay();
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const int seconds = argc > 1 ? qMax(5, std::atoi(argv[1])) : 15;
    const bool card = !(argc > 2 && std::strcmp(argv[2], "nocard") == 0);
    if (sodium_init() < 0)
        return 1;
    AppBench::setUpApplication();
    const QJsonObject scenarioJson = AppBench::scenario(QStringLiteral("bench-applatency"), 1, 1920, 1080, kFps, card);
    Scenario scenario;
    if (!scenario.loadJson(QJsonDocument(scenarioJson).toJson())) {
        std::printf("bad scenario\n");
        return 1;
    }
    AppBench bench;
    if (!bench.startEmulator(scenarioJson)) {
        std::printf("the emulator did not start\n");
        return 1;
    }
    std::printf("bench_applatency: one 1920x1080 %d fps H.264 camera %s; %d s per measurement; machine: %d cores\n",
        kFps, card ? "with a memory card" : "without a memory card", seconds, QThread::idealThreadCount());

    // Baseline first, alone: nothing else of this process runs meanwhile.
    const std::vector<double> transport = transportAlone(simpassports::signedPassport(scenario, QStringLiteral("cam1")), seconds);
    std::printf("  P2P transport alone (send -> off the channel): %zu frames, median %.1f ms, p99 %.1f ms (load %.1f)\n",
        transport.size(), BenchClock::percentile(transport, 0.5), BenchClock::percentile(transport, 0.99),
        BenchClock::loadAverage());

    MainWindow* w = bench.signIn(1);
    if (!w)
        return 1;
    VuCameraWidget* tile = bench.tiles().first();
    w->ui()->enterFullscreen(tile);
    AppBench::wait(1500); // the window grows to the screen
    PaintProbe probe;
    probe.watch(tile);
    if (!bench.play({tile})) {
        std::printf("the tile showed no picture\n");
        return 1;
    }
    AppBench::wait(3000);
    const quint64 painted0 = probe.painted(tile);
    probe.setRecording(true);
    AppBench::wait(seconds * 1000);
    probe.setRecording(false);
    const double load = BenchClock::loadAverage();
    const QSize picture = tile->currentPicture().size();
    const auto& s2p = probe.sendToPaintMs();
    const auto& a2p = probe.arrivalToPaintMs();
    const auto& s2a = probe.sendToArrivalMs();
    std::printf("  application, full screen (pictures %dx%d): %llu pictures painted in %d s (%.1f fps; load %.1f)\n",
        picture.width(), picture.height(), static_cast<unsigned long long>(probe.painted(tile) - painted0), seconds,
        (probe.painted(tile) - painted0) / double(seconds), load);
    std::printf("    send -> painted:            median %.1f ms, p99 %.1f ms\n", BenchClock::percentile(s2p, 0.5),
        BenchClock::percentile(s2p, 0.99));
    std::printf("    of which send -> arrival:   median %.1f ms, p99 %.1f ms\n", BenchClock::percentile(s2a, 0.5),
        BenchClock::percentile(s2a, 0.99));
    std::printf("    and arrival -> painted:     median %.1f ms, p99 %.1f ms\n", BenchClock::percentile(a2p, 0.5),
        BenchClock::percentile(a2p, 0.99));
    const double median = BenchClock::percentile(s2p, 0.5);
    const double base = BenchClock::percentile(transport, 0.5);
    const double p99 = BenchClock::percentile(s2p, 0.99);
    std::printf("  target send -> painted median <= 8 ms, p99 <= 20 ms: %s\n",
        median <= 8 && p99 <= 20 ? "met" : "MISSED");
    std::printf("  ratio send -> painted / transport alone (medians): %.2f (decode, queue and paint add %.1f ms)\n",
        base > 0 ? median / base : 0, median - base);
    // What the GUI thread does per picture besides painting, timed alone on
    // this picture size: the pixmap made from the decoded image and, when the
    // decoder's 16:9 picture is not the label's size, the smooth rescale.
    const QSize label = picture;
    const QSize decoded = VideoBuffer::fitSize(label.width(), label.height());
    QImage image(decoded, QImage::Format_RGB32);
    image.fill(QColor(90, 120, 150));
    // Qt may spread large conversions and scalings over a thread pool: the
    // wall time and the CPU of the whole process are taken.
    std::vector<double> toPixmap, rescale;
    double cpuPixmap = 0, cpuRescale = 0;
    const int rounds = 20;
    for (int i = 0; i < rounds; ++i) {
        const qint64 t0 = BenchClock::steadyUs();
        const double c0 = BenchClock::cpuSeconds();
        const QPixmap pixmap = QPixmap::fromImage(image);
        const qint64 t1 = BenchClock::steadyUs();
        const double c1 = BenchClock::cpuSeconds();
        const QPixmap scaled = pixmap.scaled(label, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const qint64 t2 = BenchClock::steadyUs();
        cpuPixmap += c1 - c0;
        cpuRescale += BenchClock::cpuSeconds() - c1;
        toPixmap.push_back((t1 - t0) / 1e3);
        rescale.push_back((t2 - t1) / 1e3);
        if (scaled.isNull())
            break;
    }
    std::printf("  GUI thread per picture, timed alone (wall median; process CPU mean): QPixmap::fromImage %dx%d %.1f ms, "
                "%.1f ms; smooth rescale to %dx%d %.1f ms, %.1f ms%s\n",
        decoded.width(), decoded.height(), BenchClock::percentile(toPixmap, 0.5), 1000 * cpuPixmap / rounds,
        label.width(), label.height(), BenchClock::percentile(rescale, 0.5), 1000 * cpuRescale / rounds,
        decoded == label ? " (not done by the tile: sizes equal)" : "");
    std::printf("  distinct warnings from the application: %d\n", AppBench::warningCount());
    bench.quitWindow();
    return 0;
}
