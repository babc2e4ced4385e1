// Audio pipeline units: A-law expansion, gain, frame decryption, the PCM
// device's blocking reads and writes, and the decode queue's back-pressure.
#include "camera/audiodecodethread.h"
#include "camera/audiodevice.h"
#include "tests/support/logcapture.h"

#include <QElapsedTimer>
#include <QtTest>
#include <sodium.h>

#include <atomic>
#include <thread>

namespace {

QByteArray samples(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values) {
        const quint16 u = quint16(qint16(v));
        out.append(char(u & 0xff));
        out.append(char(u >> 8));
    }
    return out;
}

QVector<int> toSamples(const QByteArray& pcm)
{
    QVector<int> out;
    for (int i = 0; i + 1 < pcm.size(); i += 2)
        out.append(qint16(quint16(uchar(pcm[i])) | (quint16(uchar(pcm[i + 1])) << 8)));
    return out;
}

QByteArray testKey()
{
    QByteArray key(32, '\0');
    for (int i = 0; i < key.size(); ++i)
        key[i] = char(i * 7 + 3);
    return key;
}

// nonce + ChaCha20(payload), the way a camera sends an audio frame.
QByteArray encrypt(const QByteArray& payload, const QByteArray& key, quint8 nonceSeed = 1)
{
    QByteArray nonce(8, '\0');
    for (int i = 0; i < 8; ++i)
        nonce[i] = char(nonceSeed + i);
    QByteArray cipher(payload.size(), '\0');
    crypto_stream_chacha20_xor(reinterpret_cast<unsigned char*>(cipher.data()),
                               reinterpret_cast<const unsigned char*>(payload.constData()),
                               quint64(payload.size()), reinterpret_cast<const unsigned char*>(nonce.constData()),
                               reinterpret_cast<const unsigned char*>(key.constData()));
    return nonce + cipher;
}

// Reads from the device on another thread so the test can watch it block.
struct Reader
{
    AudioDevice* device;
    qint64 want;
    std::atomic<qint64> result{-2};
    QByteArray data;
    std::thread thread;

    Reader(AudioDevice* d, qint64 n)
        : device(d)
        , want(n)
    {
        data.resize(int(n));
        thread = std::thread([this] { result = device->read(data.data(), want); });
    }
    ~Reader()
    {
        if (thread.joinable())
            thread.join();
    }
    bool finished(int withinMs)
    {
        QElapsedTimer t;
        t.start();
        while (result.load() == -2 && t.elapsed() < withinMs)
            QThread::msleep(5);
        return result.load() != -2;
    }
};

} // namespace

class TestAudioPipeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void alawMatchesItuTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("linear");
        // Values of the ITU-T G.711 A-law decoding table (16-bit scale).
        QTest::newRow("0xD5 smallest positive") << 0xD5 << 8;
        QTest::newRow("0x55 smallest negative") << 0x55 << -8;
        QTest::newRow("0xD4") << 0xD4 << 24;
        QTest::newRow("0xFF") << 0xFF << 848;
        QTest::newRow("0x7F") << 0x7F << -848;
        QTest::newRow("0x80") << 0x80 << 5504;
        QTest::newRow("0x00") << 0x00 << -5504;
        QTest::newRow("0xAA largest positive") << 0xAA << 32256;
        QTest::newRow("0x2A largest negative") << 0x2A << -32256;
        QTest::newRow("0xC5") << 0xC5 << 264;
    }
    void alawMatchesItuTable()
    {
        QFETCH(int, code);
        QFETCH(int, linear);
        QCOMPARE(int(AudioDecodeThread::alawToLinear(quint8(code))), linear);
    }

    void alawTableIsSignSymmetricAndMonotonic()
    {
        // Bit 7 is the sign; inverting it mirrors the value.
        for (int c = 0; c < 128; ++c)
            QCOMPARE(int(AudioDecodeThread::alawToLinear(quint8(c))),
                     -int(AudioDecodeThread::alawToLinear(quint8(c | 0x80))));
        // Undoing the even-bit inversion gives codes in magnitude order.
        int previous = 0;
        for (int m = 0; m < 128; ++m) {
            const int v = AudioDecodeThread::alawToLinear(quint8((m ^ 0x55) | 0x80));
            QVERIFY2(v > previous, qPrintable(QString("code %1").arg(m)));
            previous = v;
        }
    }

    void alawPayloadBecomesLittleEndianPcm()
    {
        const QByteArray pcm = AudioDecodeThread::decodePayload(QByteArray::fromHex("d5aa2a"), 138);
        QCOMPARE(pcm.size(), 6);
        QCOMPARE(toSamples(pcm), (QVector<int>{8, 32256, -32256}));
        QCOMPARE(pcm.toHex(), QByteArray("0800007e0082"));
        // Any codec id other than 136 is A-law.
        QCOMPARE(AudioDecodeThread::decodePayload(QByteArray::fromHex("d5"), 0), samples({8}));
    }

    void pcmPayloadPassesThrough()
    {
        const QByteArray pcm = samples({1, -2, 300});
        QCOMPARE(AudioDecodeThread::decodePayload(pcm, 136), pcm);
        // A stray odd byte is dropped so later samples stay aligned.
        QCOMPARE(AudioDecodeThread::decodePayload(pcm + 'x', 136), pcm);
    }

    void gainIsTenAndClampedAtBothEnds_data()
    {
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("small") << 123 << 1230;
        QTest::newRow("small negative") << -123 << -1230;
        QTest::newRow("largest unclipped") << 3276 << 32760;
        QTest::newRow("just above") << 3277 << 32767;
        QTest::newRow("full scale") << 32767 << 32767;
        QTest::newRow("negative unclipped") << -3276 << -32760;
        QTest::newRow("just below") << -3277 << -32768;
        QTest::newRow("negative full scale") << -32768 << -32768;
    }
    void gainIsTenAndClampedAtBothEnds()
    {
        QFETCH(int, in);
        QFETCH(int, out);
        QByteArray pcm = samples({in});
        AudioDevice::amplify(pcm.data(), pcm.size());
        QCOMPARE(toSamples(pcm), QVector<int>{out});
    }

    void gainTruncatesTowardZero()
    {
        QByteArray pcm = samples({7, -7});
        AudioDevice::amplify(pcm.data(), pcm.size(), 0.5);
        QCOMPARE(toSamples(pcm), (QVector<int>{3, -3}));
    }

    void shortFrameIsNotDecrypted()
    {
        const QByteArray frame = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f1011121314");
        QCOMPARE(frame.size(), 20);
        QCOMPARE(AudioDecodeThread::decryptFrame(frame, testKey()), frame);
    }

    void longFrameIsDecryptedAfterNonce()
    {
        const QByteArray payload = QByteArray::fromHex("d5d5d5aaaa2a2a2a55555555000102030405");
        QCOMPARE(payload.size(), 18); // 26-byte frame: just past the 24-byte limit
        const QByteArray frame = encrypt(payload, testKey());
        QVERIFY(frame.mid(8) != payload);
        QCOMPARE(AudioDecodeThread::decryptFrame(frame, testKey()), payload);
        // A frame of exactly 24 bytes is decrypted as well.
        const QByteArray p16(16, 'a');
        QCOMPARE(AudioDecodeThread::decryptFrame(encrypt(p16, testKey(), 9), testKey()), p16);
    }

    void readBlocksUntilWholeRequestIsBuffered()
    {
        LogCapture log;
        AudioDevice device(nullptr, false);
        QVERIFY(device.start());
        Reader reader(&device, 8);
        QVERIFY(!reader.finished(100));
        QVERIFY(device.writePcm(samples({1, 2})));
        QVERIFY(!reader.finished(100)); // 4 of 8 bytes: still waiting
        QVERIFY(device.writePcm(samples({3, 4, 5})));
        QVERIFY(reader.finished(2000));
        QCOMPARE(reader.result.load(), qint64(8));
        QCOMPARE(toSamples(reader.data), (QVector<int>{10, 20, 30, 40}));
        QCOMPARE(device.bufferedBytes(), qint64(2)); // the cut chunk keeps its tail
        QCOMPARE(log.count("frame buffer is not enough 0 now, needed 8"), 1);

        Reader tail(&device, 2);
        QVERIFY(tail.finished(2000));
        QCOMPARE(toSamples(tail.data), QVector<int>{50});
        device.stop();
    }

    void abortReleasesBlockedReader()
    {
        AudioDevice device(nullptr, false);
        QVERIFY(device.start());
        Reader reader(&device, 320);
        QVERIFY(!reader.finished(100));
        device.abort();
        QVERIFY(reader.finished(2000));
        QCOMPARE(reader.result.load(), qint64(-1));
        QTest::ignoreMessage(QtWarningMsg, "stopped and read data again");
        char buf[4];
        QCOMPARE(device.read(buf, 4), qint64(-1));
        device.stop();
    }

    void writerWaitsAboveHighWaterMark()
    {
        AudioDevice device(nullptr, false);
        QVERIFY(device.start());
        QVERIFY(device.writePcm(QByteArray(int(AudioDevice::HighWaterMark), '\0')));
        QVERIFY(device.writePcm(QByteArray(2, '\0'))); // reaches the mark + 2
        std::atomic<bool> written{false};
        std::thread writer([&] { written = device.writePcm(QByteArray(2, '\0')); });
        QTest::qWait(100);
        QVERIFY(!written.load());
        QByteArray buf(4096, '\0');
        QCOMPARE(device.read(buf.data(), buf.size()), qint64(buf.size()));
        writer.join();
        QVERIFY(written.load());
        QCOMPARE(device.bufferedBytes(), AudioDevice::HighWaterMark + 4 - 4096);

        // An aborted device drops the write instead of blocking.
        device.writePcm(QByteArray(8192, '\0'));
        std::atomic<bool> done{false};
        std::atomic<bool> accepted{true};
        std::thread blocked([&] {
            accepted = device.writePcm(QByteArray(2, '\0'));
            done = true;
        });
        QTest::qWait(50);
        QVERIFY(!done.load());
        device.abort();
        blocked.join();
        QVERIFY(!accepted.load());
        device.stop();
    }

    void writeBeforeStartIsDropped()
    {
        AudioDevice device(nullptr, false);
        QVERIFY(!device.writePcm(samples({1})));
        QCOMPARE(device.bufferedBytes(), qint64(0));
    }

    void queueHoldsTwoHundredFrames()
    {
        AudioDecodeThread decoder(nullptr, testKey());
        AudioFrame frame;
        frame.data = QByteArray(10, 'x');
        std::atomic<int> pushed{0};
        std::thread producer([&] {
            for (int i = 0; i < AudioDecodeThread::QueueLimit + 2; ++i) {
                decoder.pushFrame(frame);
                ++pushed;
            }
        });
        QTRY_COMPARE(pushed.load(), AudioDecodeThread::QueueLimit);
        QTest::qWait(100);
        QCOMPARE(pushed.load(), AudioDecodeThread::QueueLimit); // the 201st waits
        AudioFrame taken;
        QVERIFY(decoder.popFrame(&taken));
        QTRY_COMPARE(pushed.load(), AudioDecodeThread::QueueLimit + 1);
        QTest::qWait(50);
        QCOMPARE(pushed.load(), AudioDecodeThread::QueueLimit + 1);
        // Stopping releases the waiting producer; its frame is still queued.
        decoder.stop();
        producer.join();
        QCOMPARE(decoder.queuedFrames(), AudioDecodeThread::QueueLimit + 1);
        // A stopped, drained queue answers "none" instead of blocking.
        int drained = 0;
        while (decoder.popFrame(&taken))
            ++drained;
        QCOMPARE(drained, AudioDecodeThread::QueueLimit + 1);
    }

    void decodeThreadFeedsDevice()
    {
        AudioDevice device(nullptr, false);
        QVERIFY(device.start());
        AudioDecodeThread decoder(&device, testKey());
        decoder.start();
        AudioFrame alaw;
        alaw.header.setCodecId(138);
        alaw.data = encrypt(QByteArray::fromHex("d5d4c5d5d4c5d5d4c5d5d4c5d5d4c5d5"), testKey());
        decoder.pushFrame(alaw);
        AudioFrame pcm;
        pcm.header.setCodecId(136);
        pcm.data = encrypt(samples({100, -100, 200, -200, 300, -300, 400, -400}), testKey(), 42);
        decoder.pushFrame(pcm);
        AudioFrame plain; // too short to carry a nonce: A-law as it is
        plain.header.setCodecId(138);
        plain.data = QByteArray::fromHex("aa2a");
        decoder.pushFrame(plain);

        QByteArray out(32 + 16 + 4, '\0');
        QCOMPARE(device.read(out.data(), out.size()), qint64(out.size()));
        const QVector<int> s = toSamples(out);
        QCOMPARE(s.mid(0, 3), (QVector<int>{80, 240, 2640}));
        QCOMPARE(s.mid(16, 8), (QVector<int>{1000, -1000, 2000, -2000, 3000, -3000, 4000, -4000}));
        QCOMPARE(s.mid(24), (QVector<int>{32767, -32768}));
        decoder.stop();
        QVERIFY(decoder.wait(2000));
    }

    void decodeThreadWithoutKeyPlaysNothing()
    {
        LogCapture log;
        AudioDevice device(nullptr, false);
        QVERIFY(device.start());
        AudioDecodeThread decoder(&device, QByteArray());
        decoder.start();
        AudioFrame frame;
        frame.data = QByteArray(40, 'x');
        decoder.pushFrame(frame);
        QVERIFY(decoder.wait(2000)); // the loop ends at its first frame
        QCOMPARE(device.bufferedBytes(), qint64(0));
        QVERIFY(device.isAborted());
        QVERIFY(log.contains("no media key"));
    }

    void decodeThreadStopsWhileWriterBlocked()
    {
        AudioDevice device(nullptr, false);
        QVERIFY(device.start());
        AudioDecodeThread decoder(&device, testKey());
        decoder.start();
        // Far more PCM than the high-water mark, nobody reading.
        AudioFrame frame;
        frame.header.setCodecId(136);
        frame.data = QByteArray(8 + 65536, '\0');
        for (int i = 0; i < 40; ++i)
            decoder.pushFrame(frame);
        QTRY_VERIFY(device.bufferedBytes() > AudioDevice::HighWaterMark);
        QElapsedTimer t;
        t.start();
        decoder.stop();
        QVERIFY(decoder.wait(2000));
        QVERIFY(t.elapsed() < 1000);
    }
};

QTEST_GUILESS_MAIN(TestAudioPipeline)
#include "tst_audiopipeline.moc"
