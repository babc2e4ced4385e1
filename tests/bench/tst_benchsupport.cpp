// The benchmarks' support: the statistics their figures come from, and the
// plain FFmpeg baseline, which must make the same picture as the client's
// decoder (otherwise every ratio compares different work).
#include "bench/support/benchclock.h"
#include "bench/support/plaindecoder.h"
#include "camera/videobuffer.h"
#include "sim/media/clipencoder.h"

#include <QtTest>
#include <algorithm>
#include <random>
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
    return ClipEncoder::encode(p, nullptr);
}

} // namespace

class TestBenchSupport : public QObject
{
    Q_OBJECT

private slots:
    void percentileAndMedian()
    {
        QCOMPARE(BenchClock::percentile({}, 0.5), 0.0);
        QCOMPARE(BenchClock::percentile({7.5}, 0.99), 7.5);
        std::vector<double> v;
        for (int i = 1; i <= 100; ++i)
            v.push_back(i);
        std::shuffle(v.begin(), v.end(), std::mt19937(7));
        // Index floor(p * n) of the sorted values, clamped to the ends.
        const QList<QPair<double, double>> rows = {{0.0, 1}, {0.5, 51}, {0.99, 100}, {1.0, 100}, {1.5, 100}, {-0.5, 1}};
        for (const auto& r : rows)
            QCOMPARE(BenchClock::percentile(v, r.first), r.second);
        // Even count: the upper middle value.
        QCOMPARE(BenchClock::median({4, 1, 3, 2}), 3.0);
        QCOMPARE(BenchClock::median({9, -1, 5}), 5.0);
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
        QVERIFY(!plain.decode(clip.size())); // past the end
        VideoBuffer client(h265, QByteArray(32, '\0'));
        client.setDstSize(96, 54);
        for (int i = 0; i < clip.size(); ++i) {
            QVERIFY(plain.decode(i));
            VideoFrame f;
            f.data = clip.frames.at(i);
            const QImage pic = client.decodeFrame(f);
            QCOMPARE(pic.size(), QSize(96, 54));
            int maxDiff = 0;
            for (int y = 0; y < 54; ++y) {
                const QRgb* mine = reinterpret_cast<const QRgb*>(plain.picture() + y * plain.stride());
                const QRgb* theirs = reinterpret_cast<const QRgb*>(pic.constScanLine(y));
                for (int x = 0; x < 96; ++x)
                    maxDiff = std::max({maxDiff, std::abs(qRed(mine[x]) - qRed(theirs[x])),
                                        std::abs(qGreen(mine[x]) - qGreen(theirs[x])),
                                        std::abs(qBlue(mine[x]) - qBlue(theirs[x]))});
            }
            QVERIFY2(maxDiff <= 2, qPrintable(QStringLiteral("frame %1 differs by %2").arg(i).arg(maxDiff)));
        }
    }
};

QTEST_GUILESS_MAIN(TestBenchSupport)
#include "tst_benchsupport.moc"
