// Per-frame cost of the client's whole video path (copy, decrypt, decode,
// scale, queue) against plain FFmpeg decoding plus sws_scale of the same clear
// stream, in the same process, for 1080p H.264 and H.265 at two output sizes.
//
//   bench_videodecode [rounds]
//
// Times are the thread's CPU time per frame (median of the rounds).
#include "bench/support/benchclock.h"
#include "bench/support/plaindecoder.h"
#include "camera/videobuffer.h"
#include "sim/media/clipencoder.h"
#include "sim/media/frameencryptor.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <sodium.h>
#include <vector>

namespace {

struct CpuTimer
{
    qint64 start = 0;
    void begin() { start = BenchClock::threadCpuNs(); }
    qint64 nsecsElapsed() const { return BenchClock::threadCpuNs() - start; }
};

// Plain FFmpeg: the same decoder settings, one scaler, one destination buffer.
// Thread CPU time per picture: the machine may be busy with other work, and
// the question is what a frame costs, not how long it waited for a core.
double baselineMs(const EncodedClip& clip, int outW, int outH, int loops)
{
    PlainDecoder decoder(clip, outW, outH);
    if (!decoder.isOpen())
        return -1;
    CpuTimer t;
    t.begin();
    int n = 0;
    for (int l = 0; l < loops; ++l)
        for (int i = 0; i < decoder.frameCount(); ++i)
            if (decoder.decode(i))
                ++n;
    return t.nsecsElapsed() / 1e6 / qMax(1, n);
}

struct PathResult
{
    double totalMs = 0;
    double decryptMs = 0;
};

// The client's path: the receive thread's copy of the frame, decryptFrame,
// decodeFrame (decode + scale into a new picture), pushFrame and popFrame.
PathResult pathMs(const EncodedClip& clip, const QVector<QByteArray>& wire, const QByteArray& key, int outW,
                  int outH, int loops)
{
    VideoBuffer vb(clip.params.h265, key);
    vb.setDstSize(outW, outH);
    CpuTimer t, d;
    qint64 decryptNs = 0;
    int n = 0;
    t.begin();
    for (int l = 0; l < loops; ++l) {
        for (int i = 0; i < wire.size(); ++i) {
            VideoFrame f;
            f.data = QByteArray(wire.at(i).constData(), wire.at(i).size());
            d.begin();
            const bool ok = vb.decryptFrame(f);
            decryptNs += d.nsecsElapsed();
            if (!ok)
                continue;
            const QImage pic = vb.decodeFrame(f);
            if (pic.isNull())
                continue;
            vb.pushFrame(pic, FrameInfo{});
            FrameInfo info;
            vb.popFrame(info);
            ++n;
        }
    }
    PathResult r;
    r.totalMs = t.nsecsElapsed() / 1e6 / qMax(1, n);
    r.decryptMs = decryptNs / 1e6 / qMax(1, n);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const int rounds = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    if (sodium_init() < 0)
        return 1;
    QByteArray key(32, '\0');
    randombytes_buf(key.data(), 32);
    const FrameEncryptor enc(key);

    std::printf("%-6s %-10s %9s %9s %7s %11s %9s\n", "codec", "output", "plain ms", "path ms", "ratio",
        "decrypt ms", "decrypt%");
    for (bool h265 : {false, true}) {
        ClipParams p;
        p.h265 = h265;
        p.width = 1920;
        p.height = 1080;
        p.fps = 20;
        p.frames = 40;
        p.label = QStringLiteral("Bench");
        const EncodedClip clip = ClipEncoder::encode(p);
        if (!clip.isValid())
            return 1;
        QVector<QByteArray> wire;
        for (const QByteArray& f : clip.frames)
            wire.append(enc.encrypt(f));
        for (const QSize out : {QSize(960, 540), QSize(1920, 1080)}) {
            std::vector<double> plain, path, decrypt;
            if (baselineMs(clip, out.width(), out.height(), 1) < 0) { // warm-up
                std::printf("the plain FFmpeg decoder did not open\n");
                return 1;
            }
            pathMs(clip, wire, key, out.width(), out.height(), 1);
            for (int r = 0; r < rounds; ++r) {
                plain.push_back(baselineMs(clip, out.width(), out.height(), 2));
                const PathResult pr = pathMs(clip, wire, key, out.width(), out.height(), 2);
                path.push_back(pr.totalMs);
                decrypt.push_back(pr.decryptMs);
            }
            const double b = BenchClock::median(plain), w = BenchClock::median(path), dm = BenchClock::median(decrypt);
            std::printf("%-6s %4dx%-5d %9.3f %9.3f %7.3f %11.4f %8.2f%%\n", h265 ? "H.265" : "H.264", out.width(),
                out.height(), b, w, w / b, dm, 100.0 * dm / b);
        }
    }
    return 0;
}
