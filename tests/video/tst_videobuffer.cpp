// VideoBuffer: decoding real H.264 and H.265 streams encoded here, the 16:9
// output sizing, the scaler rebuild, the bounded queue and the byte window.
#include "camera/videobuffer.h"
#include "sim/media/clipencoder.h"

#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <thread>

namespace {

EncodedClip makeClip(bool h265, int w, int h, int frames = 6, bool gray = false)
{
    ClipParams p;
    p.h265 = h265;
    p.width = w;
    p.height = h;
    p.fps = 5;
    p.frames = frames;
    p.label = QStringLiteral("Porch 1");
    p.gray = gray;
    QString error;
    EncodedClip c = ClipEncoder::encode(p, &error);
    if (!c.isValid())
        qWarning("encode failed: %s", qPrintable(error));
    return c;
}

VideoFrame frameOf(const QByteArray& bytes)
{
    VideoFrame f;
    f.data = bytes;
    return f;
}

// Mean of one colour channel (0 red, 1 green, 2 blue) over a rectangle.
double meanChannel(const QImage& img, const QRect& r, int channel)
{
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            sum += channel == 0 ? qRed(row[x]) : channel == 1 ? qGreen(row[x]) : qBlue(row[x]);
    }
    return sum / (r.width() * r.height());
}

} // namespace

class TestVideoBuffer : public QObject
{
    Q_OBJECT

private slots:
    void fitSize_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("out");
        QTest::newRow("square") << QSize(1000, 1000) << QSize(992, 558);
        QTest::newRow("16:10") << QSize(1920, 1200) << QSize(1920, 1080);
        QTest::newRow("exact") << QSize(1280, 720) << QSize(1280, 720);
        QTest::newRow("wide") << QSize(2000, 500) << QSize(880, 495);
        QTest::newRow("narrow") << QSize(100, 1000) << QSize(96, 54);
        QTest::newRow("odd") << QSize(641, 361) << QSize(640, 360);
    }
    void fitSize()
    {
        QFETCH(QSize, in);
        QFETCH(QSize, out);
        VideoBuffer vb(false, QByteArray());
        vb.setDstSize(in.width(), in.height());
        QCOMPARE(vb.requestedSize(), out);
    }

    void setDstSizeIgnoresBadSizes()
    {
        VideoBuffer vb(false, QByteArray());
        QCOMPARE(vb.requestedSize(), QSize(1920, 1080));
        vb.setDstSize(0, 500);
        vb.setDstSize(500, -1);
        QCOMPARE(vb.requestedSize(), QSize(1920, 1080));
        // Smaller than one 16 x 9 cell: kept as it was instead of a 0 x 0 scaler.
        QTest::ignoreMessage(QtWarningMsg, "video size 10x10 too small, keeping the previous size");
        vb.setDstSize(10, 10);
        QCOMPARE(vb.requestedSize(), QSize(1920, 1080));
    }

    void decode_data()
    {
        QTest::addColumn<bool>("h265");
        QTest::newRow("H.264") << false;
        QTest::newRow("H.265") << true;
    }
    // Every frame of a clip decodes to a picture of the requested size; the
    // scaler is built once for the first frame, rebuilt for a new requested
    // size and for a stream of another source size.
    void decode()
    {
        QFETCH(bool, h265);
        const EncodedClip a = makeClip(h265, 320, 240);
        const EncodedClip b = makeClip(h265, 352, 288, 2);
        QVERIFY(a.isValid() && b.isValid());
        QVERIFY(a.keyFrames.at(0) && a.keyFrames.at(5));

        VideoBuffer vb(h265, QByteArray());
        vb.setDstSize(1000, 1000);
        QCOMPARE(vb.scalerBuilds(), 0);
        for (int i = 0; i < 3; ++i) {
            const QImage pic = vb.decodeFrame(frameOf(a.frames.at(i)));
            QVERIFY2(!pic.isNull(), qPrintable(QString::number(i)));
            QCOMPARE(pic.size(), QSize(992, 558));
            // The screen's own format, opaque: no conversion on the way to it.
            QCOMPARE(pic.format(), QImage::Format_RGB32);
            QCOMPARE(qAlpha(pic.pixel(0, 0)), 255);
            QCOMPARE(qAlpha(pic.pixel(pic.width() - 1, pic.height() - 1)), 255);
        }
        QCOMPARE(vb.scalerBuilds(), 1);
        QCOMPARE(vb.currentOutputSize(), QSize(992, 558));

        // The moving box is drawn in a magenta-ish colour (U 90, V 200) on a
        // grey background: its red channel stands out over the green one.
        const QImage first = vb.decodeFrame(frameOf(a.frames.at(3)));
        QVERIFY(!first.isNull());
        double maxRedOverGreen = 0;
        for (int x = 0; x + 40 < first.width(); x += 40) {
            const QRect r(x, first.height() / 2 - 10, 20, 20);
            maxRedOverGreen = qMax(maxRedOverGreen, meanChannel(first, r, 0) - meanChannel(first, r, 1));
        }
        QVERIFY2(maxRedOverGreen > 60, qPrintable(QString::number(maxRedOverGreen)));

        vb.setDstSize(640, 360);
        QCOMPARE(vb.decodeFrame(frameOf(a.frames.at(4))).size(), QSize(640, 360));
        QCOMPARE(vb.scalerBuilds(), 2);
        QCOMPARE(vb.decodeFrame(frameOf(a.frames.at(5))).size(), QSize(640, 360));
        QCOMPARE(vb.scalerBuilds(), 2);

        // Another source size (as after a quality change at a key frame).
        QCOMPARE(vb.decodeFrame(frameOf(b.frames.at(0))).size(), QSize(640, 360));
        QCOMPARE(vb.scalerBuilds(), 3);
        QCOMPARE(vb.decodeFrame(frameOf(b.frames.at(1))).size(), QSize(640, 360));
        QCOMPARE(vb.scalerBuilds(), 3);
    }

    // Bad input drops one picture and leaves the decoder usable.
    void decodeFailures()
    {
        const EncodedClip a = makeClip(false, 320, 240, 2);
        QVERIFY(a.isValid());
        VideoBuffer vb(false, QByteArray());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Error while decoding frame:"));
        QVERIFY(vb.decodeFrame(VideoFrame()).isNull());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Error while decoding frame:"));
        QVERIFY(vb.decodeFrame(frameOf(QByteArray(500, '\x5a'))).isNull());
        // A P-frame with no reference before it gives no picture either.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Error while decoding frame:"));
        QVERIFY(vb.decodeFrame(frameOf(a.frames.at(1))).isNull());
        QVERIFY(!vb.decodeFrame(frameOf(a.frames.at(0))).isNull());
        QVERIFY(!vb.decodeFrame(frameOf(a.frames.at(1))).isNull());
    }

    // A monochrome stream has no chroma planes: scaling it as 4:2:0 would read
    // planes that do not exist.
    void monochromeStream()
    {
        const EncodedClip g = makeClip(false, 320, 240, 2, true);
        if (!g.isValid())
            QSKIP("this libx264 cannot encode monochrome");
        VideoBuffer vb(false, QByteArray());
        vb.setDstSize(320, 180);
        const QImage pic = vb.decodeFrame(frameOf(g.frames.at(0)));
        QVERIFY(!pic.isNull());
        QCOMPARE(pic.size(), QSize(320, 180));
    }

    void popEmpty()
    {
        VideoBuffer vb(false, QByteArray());
        FrameInfo info{1234, true};
        QElapsedTimer t;
        t.start();
        QVERIFY(vb.popFrame(info).isNull());
        QVERIFY(t.elapsed() < 100);
        QCOMPARE(info.timestamp, quint32(1234));
        QCOMPARE(info.isPlayback, true);
    }

    void queueOrderAndBound()
    {
        VideoBuffer vb(false, QByteArray());
        for (int i = 0; i < VideoBuffer::kMaxQueued; ++i) {
            QImage img(16, 9, QImage::Format_RGB888);
            img.fill(QColor(i, 0, 0));
            vb.pushFrame(img, FrameInfo{quint32(100 + i), i % 2 == 1});
        }
        QCOMPARE(vb.queuedCount(), 10);

        std::atomic<bool> pushed{false};
        std::thread producer([&] {
            vb.pushFrame(QImage(16, 9, QImage::Format_RGB888), FrameInfo{999, false});
            pushed = true;
        });
        QTest::qWait(300);
        QVERIFY(!pushed);
        FrameInfo info;
        const QImage oldest = vb.popFrame(info);
        QCOMPARE(info.timestamp, quint32(100));
        QCOMPARE(info.isPlayback, false);
        QCOMPARE(qRed(oldest.pixel(0, 0)), 0);
        QTRY_VERIFY_WITH_TIMEOUT(pushed, 2000);
        producer.join();
        QCOMPARE(vb.queuedCount(), 10);
        for (int i = 1; i < 10; ++i) {
            const QImage img = vb.popFrame(info);
            QCOMPARE(info.timestamp, quint32(100 + i));
            QCOMPARE(info.isPlayback, i % 2 == 1);
            QCOMPARE(qRed(img.pixel(0, 0)), i);
        }
        QCOMPARE(vb.popFrame(info).isNull(), false);
        QCOMPARE(info.timestamp, quint32(999));
    }

    void stopReleasesProducer()
    {
        VideoBuffer vb(false, QByteArray());
        const QImage img(16, 9, QImage::Format_RGB888);
        for (int i = 0; i < 10; ++i)
            vb.pushFrame(img, FrameInfo{});
        std::atomic<bool> pushed{false};
        std::thread producer([&] {
            vb.pushFrame(img, FrameInfo{});
            pushed = true;
        });
        QTest::qWait(200);
        QVERIFY(!pushed);
        vb.stop();
        QTRY_VERIFY_WITH_TIMEOUT(pushed, 2000);
        producer.join();
        // After stop a push no longer waits; the queued pictures stay.
        vb.pushFrame(img, FrameInfo{});
        QCOMPARE(vb.queuedCount(), 12);
        FrameInfo info;
        QVERIFY(!vb.popFrame(info).isNull());
    }

    void byteWindow()
    {
        VideoBuffer vb(false, QByteArray());
        qint64 now = 1000000;
        vb.setClock([&now] { return now; });
        QCOMPARE(vb.bytesPerSecond(), 0);
        // 100,000 bytes per second in 100 ms steps for 5 seconds.
        for (int i = 0; i < 50; ++i) {
            now += 100;
            vb.addReceivedBytes(10000);
        }
        QCOMPARE(vb.bytesPerSecond(), 100000);
        // Irregular arrivals (every 130 ms) still count over 5 s, not longer.
        for (int i = 0; i < 100; ++i) {
            now += 130;
            vb.addReceivedBytes(13000);
        }
        QVERIFY2(qAbs(vb.bytesPerSecond() - 100000) <= 3000, qPrintable(QString::number(vb.bytesPerSecond())));
        now += 2500;
        QVERIFY(qAbs(vb.bytesPerSecond() - 50000) <= 3000);
        now += 2600;
        QCOMPARE(vb.bytesPerSecond(), 0);
        // A clock that went back counts nothing until it catches up.
        now -= 1000;
        vb.addReceivedBytes(5000);
        QCOMPARE(vb.bytesPerSecond(), 0);
        now += 1100;
        vb.addReceivedBytes(5000);
        QCOMPARE(vb.bytesPerSecond(), 1000);
    }
};

QTEST_GUILESS_MAIN(TestVideoBuffer)
#include "tst_videobuffer.moc"
