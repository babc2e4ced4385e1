// The audio player's life cycle: start, stop and restart on its own thread,
// with the real audio output (a PulseAudio null sink in the test session),
// without it (headless), and with no audio server at all.
#include "camera/audiodevice.h"
#include "camera/audioplayer.h"
#include "tests/support/logcapture.h"
#include "tests/support/audiotestmain.h"

#include <QAudioDeviceInfo>
#include <QElapsedTimer>
#include <QtTest>
#include <sodium.h>

#include <atomic>
#include <thread>

namespace {

QByteArray testKey()
{
    return QByteArray(32, '\x5a');
}

AudioFrame alawFrame(int payloadBytes, quint8 code)
{
    const QByteArray key = testKey();
    QByteArray nonce(8, '\x01');
    QByteArray plain(payloadBytes, char(code));
    QByteArray cipher(payloadBytes, '\0');
    crypto_stream_chacha20_xor(reinterpret_cast<unsigned char*>(cipher.data()),
                               reinterpret_cast<const unsigned char*>(plain.constData()), quint64(payloadBytes),
                               reinterpret_cast<const unsigned char*>(nonce.constData()),
                               reinterpret_cast<const unsigned char*>(key.constData()));
    AudioFrame f;
    f.header.setCodecId(138);
    f.data = nonce + cipher;
    return f;
}

bool waitRunning(AudioPlayer& p, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (p.state() != AudioPlayer::Running && t.elapsed() < ms)
        QThread::msleep(5);
    return p.state() == AudioPlayer::Running;
}

} // namespace

class TestAudioPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void startTwiceOnlyWarns()
    {
        LogCapture log;
        AudioPlayer player(testKey());
        player.setHeadless(true);
        QVERIFY(!player.isRunning());
        player.start();
        QVERIFY(player.isRunning());
        player.start();
        QCOMPARE(log.count("cannot start audio again for status not ready!"), 1);
        QVERIFY(waitRunning(player));
        player.start();
        QCOMPARE(log.count("cannot start audio again for status not ready!"), 2);
        player.stop();
        QCOMPARE(player.state(), AudioPlayer::Stopped);
        player.stop();
        QCOMPARE(log.count("cannot stop audio again for not started!"), 1);
    }

    void framesWhileStoppedAreDropped()
    {
        LogCapture log;
        AudioPlayer player(testKey());
        player.pushFrame(alawFrame(40, 0xd5));
        QCOMPARE(log.count("ignore frame for decode thread not created yet."), 1);
    }

    void headlessPlayerDecodesIntoDevice()
    {
        AudioPlayer player(testKey());
        player.setHeadless(true);
        player.start();
        QVERIFY(waitRunning(player));
        AudioDevice* device = player.device();
        QVERIFY(device);
        for (int i = 0; i < 5; ++i)
            player.pushFrame(alawFrame(160, 0xd5));
        QTRY_COMPARE(device->bufferedBytes(), qint64(5 * 320));
        QByteArray out(320, '\0');
        QCOMPARE(device->read(out.data(), out.size()), qint64(320));
        QCOMPARE(int(qint16(quint16(uchar(out[0])) | (quint16(uchar(out[1])) << 8))), 80);
        player.stop();
        QVERIFY(!player.device());
    }

    void restartManyTimes()
    {
        AudioPlayer player(testKey());
        for (int round = 0; round < 25; ++round) {
            player.setHeadless(round % 2 == 0);
            player.start();
            if (round % 3 == 0)
                QVERIFY(waitRunning(player));
            if (round % 3 == 1)
                player.pushFrame(alawFrame(160, 0xd5));
            player.stop();
            QCOMPARE(player.state(), AudioPlayer::Stopped);
            QVERIFY(!player.device());
        }
    }

    void stopReleasesProducerBlockedOnFullQueue()
    {
        AudioPlayer player(testKey());
        player.setHeadless(true);
        player.start();
        QVERIFY(waitRunning(player));
        // Nobody reads the headless device: the decoder stops at the
        // high-water mark and the queue fills up behind it.
        std::atomic<bool> producing{true};
        std::atomic<int> pushed{0};
        std::thread producer([&] {
            while (producing.load()) {
                player.pushFrame(alawFrame(2000, 0xd5));
                ++pushed;
            }
        });
        QTRY_VERIFY_WITH_TIMEOUT(pushed.load() > 700, 10000);
        QTest::qWait(200);
        const int stalled = pushed.load();
        QTest::qWait(200);
        QCOMPARE(pushed.load(), stalled); // blocked on the full queue
        producing = false;
        QElapsedTimer t;
        t.start();
        player.stop();
        QVERIFY(t.elapsed() < 2000);
        producer.join();
        QCOMPARE(player.state(), AudioPlayer::Stopped);
    }

    void realOutputPullsPcm()
    {
        if (QAudioDeviceInfo::defaultOutputDevice().isNull())
            QSKIP("no audio server in this session (run under scripts/with-session.sh)");
        AudioPlayer player(testKey());
        player.start();
        QVERIFY(waitRunning(player));
        AudioDevice* device = player.device();
        QVERIFY(device);
        // Two seconds of tone-free A-law; the output drains it in real time.
        for (int i = 0; i < 100; ++i)
            player.pushFrame(alawFrame(160, 0xd5));
        QTRY_VERIFY_WITH_TIMEOUT(device->bufferedBytes() < 100 * 320 - 4000, 8000);
        player.stop();
        QCOMPARE(player.state(), AudioPlayer::Stopped);
    }

    void stopWhileOutputBlockedInRead()
    {
        if (QAudioDeviceInfo::defaultOutputDevice().isNull())
            QSKIP("no audio server in this session (run under scripts/with-session.sh)");
        LogCapture log;
        AudioPlayer player(testKey());
        player.start();
        QVERIFY(waitRunning(player));
        player.pushFrame(alawFrame(80, 0xd5)); // resumes the output, then runs dry
        // The output asks for more than there is and waits in readData.
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("frame buffer is not enough"), 8000);
        QElapsedTimer t;
        t.start();
        player.stop();
        QVERIFY2(t.elapsed() < 2000, "stop waited for the blocked output");
        QCOMPARE(player.state(), AudioPlayer::Stopped);
        // And it starts again afterwards.
        player.start();
        QVERIFY(waitRunning(player));
        player.stop();
    }

    // Run with no audio server reachable (a separate CTest entry sets that up).
    void noAudioDeviceStaysSilent()
    {
        if (qEnvironmentVariable("PULSE_SERVER").contains(QLatin1String("nonexistent")))
            QVERIFY(QAudioDeviceInfo::defaultOutputDevice().isNull());
        LogCapture log;
        AudioPlayer player(testKey());
        for (int round = 0; round < 3; ++round) {
            player.start();
            QVERIFY(waitRunning(player));
            for (int i = 0; i < 10; ++i)
                player.pushFrame(alawFrame(160, 0xd5));
            QTest::qWait(50);
            player.stop();
        }
        if (QAudioDeviceInfo::defaultOutputDevice().isNull())
            QVERIFY(log.contains("failed to open Audio device") || log.contains("no audio output device"));
    }
};

VC_AUDIO_TEST_GUILESS_MAIN(TestAudioPlayer)
#include "tst_audioplayer.moc"
