// BenchClock: the statistics on edge cases, which clock and unit the steady
// readings use, and that the CPU and memory readings read the right fields.
// PlainDecoder: a short clip decoded frame by frame into a 32-bit picture of
// the output size, the same picture the client's decoder makes.
#include "bench/support/benchclock.h"
#include "bench/support/plaindecoder.h"
#include "camera/videobuffer.h"
#include "sim/media/clipencoder.h"

#include <QtTest>
#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>
#include <random>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

EncodedClip makeClip(bool h265, int frames)
{
    ClipParams p;
    p.h265 = h265;
    p.width = 128;
    p.height = 72;
    p.fps = 5;
    p.frames = frames;
    p.label = QStringLiteral("Gate");
    QString error;
    EncodedClip c = ClipEncoder::encode(p, &error);
    if (!c.isValid())
        qWarning("encode failed: %s", qPrintable(error));
    return c;
}

// Keeps this thread busy for about ms of its own CPU time.
void burnCpu(int ms)
{
    const qint64 until = BenchClock::threadCpuNs() + qint64(ms) * 1000000;
    volatile double x = 1;
    while (BenchClock::threadCpuNs() < until)
        for (int i = 0; i < 10000; ++i)
            x = x * 1.0000001 + 1e-9;
}

qint64 monotonicUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

} // namespace

class TestBenchSupport : public QObject
{
    Q_OBJECT

private slots:
    void percentileAndMedianEdgeCases()
    {
        QCOMPARE(BenchClock::percentile({}, 0.5), 0.0);
        QCOMPARE(BenchClock::median({}), 0.0);
        for (double p : {0.0, 0.5, 0.99, 1.0})
            QCOMPARE(BenchClock::percentile({7.5}, p), 7.5);
        QCOMPARE(BenchClock::median({7.5}), 7.5);

        // 1..100 in a shuffled order: index floor(p * n) of the sorted values.
        std::vector<double> v;
        for (int i = 1; i <= 100; ++i)
            v.push_back(i);
        std::shuffle(v.begin(), v.end(), std::mt19937(7));
        QCOMPARE(BenchClock::percentile(v, 0.0), 1.0);
        QCOMPARE(BenchClock::percentile(v, 0.5), 51.0);
        QCOMPARE(BenchClock::percentile(v, 0.9), 91.0);
        QCOMPARE(BenchClock::percentile(v, 0.99), 100.0);
        QCOMPARE(BenchClock::percentile(v, 1.0), 100.0);
        // Out of range asks for the ends, never past them.
        QCOMPARE(BenchClock::percentile(v, 1.5), 100.0);
        QCOMPARE(BenchClock::percentile(v, -0.5), 1.0);
        QCOMPARE(BenchClock::percentile(v, 0.99), 100.0); // the argument is a copy: v stays usable
        QCOMPARE(v.size(), size_t(100));

        // The median of an even count is the upper middle value; of an odd
        // count the middle one, whatever the order.
        QCOMPARE(BenchClock::median({4, 1, 3, 2}), 3.0);
        QCOMPARE(BenchClock::median({9, -1, 5}), 5.0);
        QCOMPARE(BenchClock::median({2, 2, 100}), 2.0);
    }

    void steadyReadingsAreTheMonotonicClock()
    {
        // Frames are stamped by the emulator with the monotonic clock in
        // microseconds; steadyUs() must be comparable with those stamps.
        const qint64 before = monotonicUs();
        const qint64 us = BenchClock::steadyUs();
        const qint64 ns = BenchClock::steadyNs();
        const qint64 after = monotonicUs();
        QVERIFY2(us >= before - 1 && us <= after + 1,
            qPrintable(QStringLiteral("%1 not in [%2, %3]").arg(us).arg(before).arg(after)));
        QVERIFY(ns / 1000 >= us && ns / 1000 <= after + 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const qint64 later = BenchClock::steadyUs();
        QVERIFY(later - us >= 20000);
        QVERIFY(later - us < 5000000);
    }

    void cpuReadingsCountWorkNotWaiting()
    {
        const qint64 t0 = BenchClock::threadCpuNs();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const qint64 slept = BenchClock::threadCpuNs() - t0;
        QVERIFY2(slept < 30000000, qPrintable(QString::number(slept)));

        const double p0 = BenchClock::cpuSeconds();
        const qint64 t1 = BenchClock::threadCpuNs();
        burnCpu(150);
        QVERIFY(BenchClock::threadCpuNs() - t1 >= 150000000);
        QVERIFY(BenchClock::cpuSeconds() - p0 >= 0.14);

        // The same process read from /proc: utime + stime in clock ticks.
        const double self = BenchClock::cpuSeconds();
        const double proc = BenchClock::cpuSecondsOf(getpid());
        QVERIFY2(proc > 0.1 && std::abs(proc - self) < 0.05,
            qPrintable(QStringLiteral("/proc %1 s, getrusage %2 s").arg(proc).arg(self)));
        QCOMPARE(BenchClock::cpuSecondsOf(-1), 0.0);
    }

    void rssCountsTouchedPagesOnly()
    {
        const double before = BenchClock::rssMiB();
        QVERIFY(before > 1);
        const size_t size = size_t(64) << 20;
        std::unique_ptr<char[]> block(new char[size]); // mapped, not yet resident
        const double mapped = BenchClock::rssMiB();
        std::memset(block.get(), 0x5a, size);
        const double touched = BenchClock::rssMiB();
        QVERIFY(block[size - 1] == 0x5a);
        QVERIFY2(mapped - before < 16, qPrintable(QStringLiteral("%1 -> %2").arg(before).arg(mapped)));
        QVERIFY2(touched - mapped > 48, qPrintable(QStringLiteral("%1 -> %2").arg(mapped).arg(touched)));
    }

    void plainDecoderMakesTheClientsPicture_data()
    {
        QTest::addColumn<bool>("h265");
        QTest::newRow("H.264") << false;
        QTest::newRow("H.265") << true;
    }

    void plainDecoderMakesTheClientsPicture()
    {
        QFETCH(bool, h265);
        const EncodedClip clip = makeClip(h265, 8);
        QVERIFY(clip.isValid());
        PlainDecoder plain(clip, 96, 54);
        QVERIFY(plain.isOpen());
        QCOMPARE(plain.frameCount(), 8);
        QCOMPARE(plain.width(), 96);
        QCOMPARE(plain.height(), 54);
        QVERIFY(plain.stride() >= 96 * 4);
        VideoBuffer client(h265, QByteArray(32, '\0'));
        client.setDstSize(96, 54);

        // Twice round: the clip loops, as the benchmarks play it.
        for (int i = 0; i < 2 * clip.size(); ++i) {
            const int index = i % clip.size();
            QVERIFY2(plain.decode(index), qPrintable(QStringLiteral("frame %1").arg(index)));
            VideoFrame f;
            f.data = clip.frames.at(index);
            const QImage pic = client.decodeFrame(f);
            QCOMPARE(pic.size(), QSize(96, 54));
            QCOMPARE(pic.format(), QImage::Format_RGB32);
            // Both scale the same decoded picture into the same format.
            int maxDiff = 0;
            QSet<QRgb> colours;
            for (int y = 0; y < 54; ++y) {
                const QRgb* mine = reinterpret_cast<const QRgb*>(plain.picture() + y * plain.stride());
                const QRgb* theirs = reinterpret_cast<const QRgb*>(pic.constScanLine(y));
                for (int x = 0; x < 96; ++x) {
                    QCOMPARE(qAlpha(mine[x]), 255);
                    colours.insert(mine[x]);
                    maxDiff = std::max({maxDiff, std::abs(qRed(mine[x]) - qRed(theirs[x])),
                        std::abs(qGreen(mine[x]) - qGreen(theirs[x])), std::abs(qBlue(mine[x]) - qBlue(theirs[x]))});
                }
            }
            QVERIFY2(maxDiff <= 2, qPrintable(QStringLiteral("frame %1 differs by %2").arg(index).arg(maxDiff)));
            QVERIFY2(colours.size() > 8,
                qPrintable(QStringLiteral("frame %1 has %2 colours").arg(index).arg(colours.size())));
        }
    }

    void plainDecoderRefusesWhatItCannotDo()
    {
        const EncodedClip clip = makeClip(false, 3);
        QVERIFY(clip.isValid());
        PlainDecoder plain(clip, 64, 36);
        QVERIFY(plain.isOpen());
        QVERIFY(!plain.decode(-1));
        QVERIFY(!plain.decode(3));

        // A frame before the first key frame gives no picture; the key frame does.
        EncodedClip late = makeClip(false, 7);
        QVERIFY(late.isValid());
        QVERIFY(late.keyFrames.value(5) && !late.keyFrames.value(1));
        PlainDecoder joined(late, 64, 36);
        QVERIFY(!joined.decode(1));
        QVERIFY(joined.decode(5));
        QVERIFY(joined.decode(6));

        PlainDecoder noSize(clip, 0, 36);
        QVERIFY(!noSize.isOpen());
        QVERIFY(!noSize.decode(0));
        PlainDecoder noClip(EncodedClip(), 64, 36);
        QCOMPARE(noClip.frameCount(), 0);
        QVERIFY(!noClip.decode(0));
    }
};

QTEST_GUILESS_MAIN(TestBenchSupport)
#include "tst_benchsupport.moc"
