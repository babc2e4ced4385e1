// Live video against the emulator (vucamera-sim, a child process) on
// loopback:
//   latency: play to the first queued picture (cold: the camera's clip is
//            still being encoded; warm: cached), and per frame the time from
//            its arrival off the channel (and from the emulator's send) to
//            its picture in the queue, median and 99th percentile;
//   nine:    nine 1280x720 20 fps H.264 cameras decoded at once to 640x360,
//            pulled every 25 ms: pictures per second kept per
//            camera, frames lost anywhere (sequence gaps), CPU of the client
//            and of the emulator.
//
//   bench_videolive [latency|nine|all] [seconds]
#include "core/camerapassport.h"
#include "bench/support/benchclock.h"
#include "camera/avframerecvthread.h"
#include "camera/cameracontroller.h"
#include "camera/libp2p.h"
#include "sim/scenario/simpassports.h"
#include "camera/videobuffer.h"
#include "sim/scenario/scenario.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <sodium.h>
#include <vector>

namespace {

quint32 seqOf(const AvFrameHeader& h)
{
    return quint32(h.bytes[12]) | (quint32(h.bytes[13]) << 8) | (quint32(h.bytes[14]) << 16)
        | (quint32(h.bytes[15]) << 24);
}

quint64 sendUsOf(const AvFrameHeader& h)
{
    quint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | h.bytes[4 + i];
    return v;
}

// Counts the queued pictures of one receive thread and hands each to f.
struct OnQueued : AvframeRecvThread::Observer
{
    std::function<void(const AvFrameHeader& h, qint64 arrivalNs, qint64 queuedNs)> f;
    std::atomic<int> queued{0};
    void frameEvent(Event e, const AvFrameHeader& h, qint64 arrivalNs, qint64 queuedNs) override
    {
        if (e != Queued)
            return;
        ++queued;
        f(h, arrivalNs, queuedNs);
    }
};

struct Emulator
{
    QTemporaryDir dir;
    QProcess proc;
    Scenario scenario;

    bool start(const QJsonObject& scenarioJson)
    {
        const QString file = dir.filePath(QStringLiteral("scenario.json"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly))
            return false;
        f.write(QJsonDocument(scenarioJson).toJson());
        f.close();
        if (!scenario.loadJson(QJsonDocument(scenarioJson).toJson()))
            return false;
        proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc.start(QStringLiteral(VC_SIM_EXE),
            {QStringLiteral("--scenario"), file, QStringLiteral("--endpoints"), dir.filePath(QStringLiteral("ep.json"))});
        if (!proc.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        QByteArray out;
        while (t.elapsed() < 15000) {
            proc.waitForReadyRead(200);
            out += proc.readAllStandardOutput();
            const int i = out.indexOf("ready ");
            if (i >= 0 && out.indexOf('\n', i) > 0) {
                const QByteArray line = out.mid(i + 6, out.indexOf('\n', i) - i - 6);
                const QString dirAddr =
                    QJsonDocument::fromJson(line).object().value(QStringLiteral("p2p_directory")).toString();
                return LibP2p::setDirectory(dirAddr) == 0;
            }
        }
        return false;
    }
    ~Emulator()
    {
        proc.terminate();
        proc.waitForFinished(5000);
    }

    CameraPassport passport(const QString& did) { return simpassports::signedPassport(scenario, did); }
};

QJsonObject camera(const QString& did, const QString& name, const QString& model)
{
    return QJsonObject{{QStringLiteral("did"), did}, {QStringLiteral("name"), name},
        {QStringLiteral("model"), model}, {QStringLiteral("p2p_id"), QStringLiteral("UID-") + did},
        {QStringLiteral("width"), 1280}, {QStringLiteral("height"), 720}, {QStringLiteral("fps"), 20}};
}

const QByteArray kPlay = R"({"enableaudio":0,"videoquality":2})";

// Play to the first queued picture through CameraController::play.
double playToFirstMs(Emulator& emu, const QString& did, bool h265)
{
    const CameraPassport pass = emu.passport(did);
    CameraController cc(&pass);
    if (cc.connCamera() != 0)
        return -1;
    VideoBuffer vb(h265, pass.sharedKey);
    vb.setDstSize(640, 360);
    const qint64 t0 = BenchClock::steadyNs();
    if (cc.play(&vb, 2, false) != 0)
        return -1;
    while (vb.queuedCount() == 0 && BenchClock::steadyNs() - t0 < 20000000000LL)
        QThread::usleep(500);
    const double ms = (BenchClock::steadyNs() - t0) / 1e6;
    cc.stopPlay();
    return vb.queuedCount() > 0 ? ms : -1;
}

void latency(int seconds)
{
    QJsonObject s{{QStringLiteral("seed"), QStringLiteral("bench-latency")},
        {QStringLiteral("cameras"),
            QJsonArray{camera(QStringLiteral("lat264"), QStringLiteral("Latency A"), QStringLiteral("hovia.camera.v3")),
                camera(QStringLiteral("lat265"), QStringLiteral("Latency B"), QStringLiteral("hovia.camera.v4"))}}};
    Emulator emu;
    if (!emu.start(s)) {
        std::printf("emulator did not start\n");
        return;
    }
    std::printf("play to first picture (ms), 1280x720 20 fps -> 640x360\n");
    for (const auto& cam : {qMakePair(QStringLiteral("lat264"), false), qMakePair(QStringLiteral("lat265"), true)}) {
        const double cold = playToFirstMs(emu, cam.first, cam.second);
        std::vector<double> warm;
        for (int i = 0; i < 10; ++i)
            warm.push_back(playToFirstMs(emu, cam.first, cam.second));
        std::printf("  %s: cold %.1f, warm median %.1f, max %.1f\n", cam.second ? "H.265" : "H.264", cold,
            BenchClock::percentile(warm, 0.5), BenchClock::percentile(warm, 1.0));
    }

    std::printf("per-frame latency over %d s (ms): arrival->queued, emulator send->queued\n", seconds);
    for (const auto& cam : {qMakePair(QStringLiteral("lat264"), false), qMakePair(QStringLiteral("lat265"), true)}) {
        const CameraPassport pass = emu.passport(cam.first);
        CameraController cc(&pass);
        if (cc.connCamera() != 0)
            continue;
        VideoBuffer vb(cam.second, pass.sharedKey);
        vb.setDstSize(640, 360);
        std::mutex m;
        std::vector<double> arrival, send;
        OnQueued observer;
        observer.f = [&](const AvFrameHeader& h, qint64 arrivalNs, qint64 queuedNs) {
            std::lock_guard<std::mutex> l(m);
            arrival.push_back((queuedNs - arrivalNs) / 1e6);
            send.push_back((queuedNs - qint64(sendUsOf(h)) * 1000) / 1e6);
        };
        AvframeRecvThread thread(cc.avIndex(), &vb, nullptr, AvframeRecvThread::kNoFrameTimeoutMs, &observer);
        thread.start();
        sendIoCtrl(cc.avIndex(), 0x1FF, kPlay);
        QElapsedTimer t;
        t.start();
        FrameInfo info;
        while (t.elapsed() < seconds * 1000) {
            while (!vb.popFrame(info).isNull()) {
            }
            QThread::msleep(5);
        }
        thread.stop();
        vb.stop();
        thread.wait();
        std::lock_guard<std::mutex> l(m);
        std::printf("  %s: %zu frames; arrival->queued median %.2f p99 %.2f; send->queued median %.2f p99 %.2f\n",
            cam.second ? "H.265" : "H.264", arrival.size(), BenchClock::percentile(arrival, 0.5),
            BenchClock::percentile(arrival, 0.99), BenchClock::percentile(send, 0.5),
            BenchClock::percentile(send, 0.99));
        cc.stopPlay();
    }
}

void nine(int seconds)
{
    QJsonArray cams;
    for (int i = 1; i <= 9; ++i)
        cams.append(camera(QStringLiteral("nine%1").arg(i), QStringLiteral("Camera %1").arg(i),
            QStringLiteral("hovia.camera.v3")));
    Emulator emu;
    if (!emu.start(QJsonObject{{QStringLiteral("seed"), QStringLiteral("bench-nine")}, {QStringLiteral("cameras"), cams}})) {
        std::printf("emulator did not start\n");
        return;
    }
    struct Cam
    {
        CameraPassport pass;
        std::unique_ptr<CameraController> cc;
        std::unique_ptr<VideoBuffer> vb;
        OnQueued observer;
        std::unique_ptr<AvframeRecvThread> thread;
        std::atomic<int> gaps{0};
        std::atomic<quint32> lastSeq{0};
        std::atomic<bool> seen{false};
        std::atomic<qint64> lastLatencyNs{0}; // emulator send -> queued
        int popped = 0;
    };
    std::vector<std::unique_ptr<Cam>> all;
    for (int i = 1; i <= 9; ++i) {
        auto c = std::make_unique<Cam>();
        c->pass = emu.passport(QStringLiteral("nine%1").arg(i));
        c->cc = std::make_unique<CameraController>(&c->pass);
        if (c->cc->connCamera() != 0) {
            std::printf("camera %d did not connect\n", i);
            return;
        }
        c->vb = std::make_unique<VideoBuffer>(false, c->pass.sharedKey);
        c->vb->setDstSize(640, 360);
        Cam* raw = c.get();
        c->observer.f = [raw](const AvFrameHeader& h, qint64, qint64 queuedNs) {
            raw->lastLatencyNs = queuedNs - qint64(sendUsOf(h)) * 1000;
            const quint32 seq = seqOf(h);
            if (raw->seen.exchange(true) && seq != raw->lastSeq + 1)
                raw->gaps += int(seq - raw->lastSeq - 1);
            raw->lastSeq = seq;
        };
        c->thread = std::make_unique<AvframeRecvThread>(c->cc->avIndex(), c->vb.get(), nullptr,
            AvframeRecvThread::kNoFrameTimeoutMs, &c->observer);
        c->thread->start();
        sendIoCtrl(c->cc->avIndex(), 0x1FF, kPlay);
        all.push_back(std::move(c));
    }
    // Let every camera's clip get encoded and the streams settle.
    FrameInfo info;
    QElapsedTimer warm;
    warm.start();
    while (warm.elapsed() < 20000) {
        bool allPlaying = true;
        for (auto& c : all) {
            allPlaying = allPlaying && c->seen;
            while (!c->vb->popFrame(info).isNull()) {
            }
        }
        if (allPlaying && warm.elapsed() > 3000)
            break;
        QThread::msleep(25);
    }
    for (auto& c : all) {
        c->gaps = 0;
        c->popped = 0;
    }
    std::vector<int> queuedBefore;
    for (auto& c : all)
        queuedBefore.push_back(c->observer.queued.load());
    const double cpu0 = BenchClock::cpuSeconds();
    const double emu0 = BenchClock::cpuSecondsOf(emu.proc.processId());
    QElapsedTimer t;
    t.start();
    qint64 next = 25;
    while (t.elapsed() < seconds * 1000) {
        // One picture per camera per 25 ms tick (faster than the 20 fps sent).
        for (auto& c : all)
            if (!c->vb->popFrame(info).isNull())
                ++c->popped;
        const qint64 wait = next - t.elapsed();
        if (wait > 0)
            QThread::msleep(ulong(wait));
        next += 25;
    }
    const double wall = t.elapsed() / 1000.0;
    const double cpu = BenchClock::cpuSeconds() - cpu0;
    const double emuCpu = BenchClock::cpuSecondsOf(emu.proc.processId()) - emu0;
    std::printf("nine cameras 1280x720 20 fps H.264 -> 640x360, %.1f s\n", wall);
    int totalGaps = 0;
    double minFps = 1e9;
    for (size_t i = 0; i < all.size(); ++i) {
        const double fps = all[i]->popped / wall;
        const int decoded = all[i]->observer.queued.load() - queuedBefore[i];
        minFps = std::min(minFps, fps);
        totalGaps += all[i]->gaps;
        std::printf("  camera %zu: shown %.2f fps, decoded %.2f fps, frames lost %d, send->queued at the end %.0f ms\n",
            i + 1, fps, decoded / wall, all[i]->gaps.load(), all[i]->lastLatencyNs.load() / 1e6);
    }
    std::printf("  slowest camera %.2f fps; frames lost in total %d\n", minFps, totalGaps);
    const double load = BenchClock::loadAverage();
    std::printf("  client CPU %.0f%% of one core; emulator CPU %.0f%% of one core (machine: %d cores, load %.1f)\n",
        100 * cpu / wall, 100 * emuCpu / wall, QThread::idealThreadCount(), load);
    for (auto& c : all) {
        c->thread->stop();
        c->vb->stop();
        c->thread->wait();
        c->cc->stopPlay();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtWarningMsg || type == QtCriticalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    if (sodium_init() < 0 || LibP2p::initialize() < 0)
        return 1;
    const QString what = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("all");
    const int seconds = argc > 2 ? qMax(2, atoi(argv[2])) : 20;
    if (what == QLatin1String("latency") || what == QLatin1String("all"))
        latency(qMin(seconds, 10));
    if (what == QLatin1String("nine") || what == QLatin1String("all"))
        nine(seconds);
    LibP2p::deInitialize();
    return 0;
}
