// Live video end to end against emulated cameras: CameraController's play,
// quality, playback and stop commands, the receive thread's key-frame wait,
// audio separation and failure codes, down to pictures in the VideoBuffer.
#include "tests/support/testpassports.h"
#include "app/camerapassport.h"
#include "camera/avframerecvthread.h"
#include "camera/cameracontroller.h"
#include "camera/libp2p.h"
#include "camera/videobuffer.h"
#include "p2p/avapi.h"
#include "sim/device/simcamerasession.h"
#include "sim/device/simp2phost.h"
#include "sim/media/clipencoder.h"
#include "sim/media/frameencryptor.h"
#include "sim/media/simvideofeature.h"
#include "sim/scenario/scenario.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <mutex>
#include "tests/support/threadsafespy.h"
#include <QtTest>
#include <chrono>
#include <sodium.h>

namespace {

const char* const kScenario = R"({
  "seed": "tst-videoplay",
  "cameras": [
    {"did": "cam-264", "name": "Porch", "model": "hovia.camera.v3", "p2p_id": "UID-v264", "password": "pw1",
     "width": 1280, "height": 720, "fps": 20},
    {"did": "cam-265", "name": "Garage", "model": "hovia.camera.v4", "p2p_id": "UID-v265", "password": "pw2",
     "width": 320, "height": 180, "fps": 20},
    {"did": "cam-raw", "name": "Test", "model": "hovia.camera.v1", "p2p_id": "UID-vraw", "password": "pw3",
     "width": 320, "height": 180, "fps": 10}
  ]
})";

// The test's own device command: sends a scripted sequence of frames (three
// non-key video frames, audio frames between them, then a key frame and the
// rest of the clip) so that the receive thread's choices can be counted.
constexpr unsigned int kScript = 0x7300;
constexpr int kScriptAudio = 4;

std::mutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext& ctx, const QString& text)
{
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_log << text;
    }
    g_previous(type, ctx, text);
}

int logged(const QString& line)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    return g_log.count(line);
}

} // namespace

class TestVideoPlay : public QObject
{
    Q_OBJECT

    Scenario* m_scenario = nullptr;
    SimP2pHost* m_host = nullptr;
    EncodedClip m_scriptClip;
    static std::atomic<int> m_disconnects;

    CameraPassport passport(const QString& did)
    {
        return testpassports::signedPassport(*m_scenario, did);
    }

    void setFaults(const QString& did, const char* json)
    {
        const QJsonObject f = QJsonDocument::fromJson(json).object();
        m_scenario->updateCamera(did, [f](SimCamera& c) { c.faults = f; });
    }

    // Waits for the next picture; a null image after timeoutMs.
    static QImage nextPicture(VideoBuffer& vb, FrameInfo& info, int timeoutMs = 15000)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            const QImage img = vb.popFrame(info);
            if (!img.isNull())
                return img;
            QTest::qWait(10);
        }
        return QImage();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        g_previous = qInstallMessageHandler(capture);
        m_scenario = new Scenario(this);
        QVERIFY(m_scenario->loadJson(kScenario));
        m_host = new SimP2pHost(m_scenario, this);
        SimVideoFeature::install(m_host->dispatcher());

        ClipParams p;
        p.width = 320;
        p.height = 180;
        p.fps = 10;
        p.frames = 10;
        p.label = QStringLiteral("Script");
        m_scriptClip = ClipEncoder::encode(p);
        QVERIFY(m_scriptClip.isValid());
        const EncodedClip clip = m_scriptClip;
        m_host->dispatcher().add(kScript, [clip](SimCameraSession& s, unsigned, const QByteArray&) {
            const FrameEncryptor enc(s.mediaKey());
            int audio = 0;
            auto send = [&](int i, bool key) {
                s.sendVideoFrame(enc.encrypt(clip.frames.at(i)),
                    FrameEncryptor::header(FrameEncryptor::kCodecH264, key, false, quint32(5000 + i)));
                if (audio < kScriptAudio) {
                    // A frame with an audio codec id on the frame channel: it
                    // would upset the video decoder.
                    s.sendVideoFrame(QByteArray(200, char(0x55)),
                        FrameEncryptor::header(audio % 2 ? 136 : 138, true, false, 1));
                    ++audio;
                }
            };
            for (int i = 7; i < 10; ++i)
                send(i, false);
            for (int i = 0; i < 10; ++i)
                send(i, clip.keyFrames.at(i));
        });
        m_host->dispatcher().add(0x2FF, [](SimCameraSession&, unsigned, const QByteArray& payload) {
            if (payload == QByteArray(8, '\0'))
                ++m_disconnects;
        });
        QVERIFY(m_host->start());
        QCOMPARE(LibP2p::setDirectory(m_host->directoryAddress()), 0);
        QVERIFY(LibP2p::initialize() > 0);
    }

    void cleanupTestCase()
    {
        LibP2p::deInitialize();
        m_host->stop();
        LibP2p::setDirectory(QString());
        qInstallMessageHandler(g_previous);
    }

    void init()
    {
        for (const char* did : {"cam-264", "cam-265", "cam-raw"})
            setFaults(did, "{}");
    }

    void livePictures_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<bool>("h265");
        QTest::newRow("H.264") << "cam-264" << false;
        QTest::newRow("H.265") << "cam-265" << true;
    }
    // play -> the key frame -> pictures of the tile's size with live info.
    void livePictures()
    {
        QFETCH(QString, did);
        QFETCH(bool, h265);
        const CameraPassport pass = passport(did);
        VideoBuffer vb(h265, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        vb.setDstSize(480, 300);
        ThreadSafeSpy failed(&cc, &CameraController::failed);
        QCOMPARE(cc.play(&vb, 2, false), 0);

        FrameInfo info{0, true};
        const quint32 before = quint32(QDateTime::currentSecsSinceEpoch());
        const auto steadyUs = []() {
            return qint64(std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now().time_since_epoch()).count());
        };
        const qint64 playUs = steadyUs();
        QImage pic = nextPicture(vb, info);
        QVERIFY(!pic.isNull());
        QCOMPARE(pic.size(), QSize(480, 270));
        QVERIFY(!info.isPlayback);
        QVERIFY2(info.timestamp + 2 >= before && info.timestamp <= before + 20, qPrintable(QString::number(info.timestamp)));
        // The emulated camera runs in this process: its send time (header
        // bytes 4-11) and the arrival time are both readings of this steady
        // clock, taken in that order after play and before the picture.
        const qint64 pictureUs = steadyUs();
        QVERIFY2(qint64(info.sendTimeUs) >= playUs && qint64(info.sendTimeUs) <= info.receivedUs,
            qPrintable(QStringLiteral("play %1 send %2 received %3").arg(playUs).arg(info.sendTimeUs).arg(info.receivedUs)));
        QVERIFY(info.receivedUs <= pictureUs);
        for (int i = 0; i < 5; ++i)
            QVERIFY(!nextPicture(vb, info).isNull());
        QVERIFY(vb.bytesPerSecond() > 0);

        // A second play while playing is refused without a word to the camera.
        QCOMPARE(cc.play(&vb, 2, false), 4);
        QCOMPARE(logged(QStringLiteral("video recv thread is alreay running")), 1);
        g_log.clear();

        QCOMPARE(cc.stopPlay(), 0);
        QVERIFY(!cc.connected());
        QTest::qWait(100);
        QCOMPARE(failed.count(), 0);
    }

    // A quality change switches the stream's size at the next key frame
    // (the scaler is rebuilt for the new source size); playback frames carry
    // the flag and the requested time; 8 zero bytes return to live.
    void qualityAndPlayback()
    {
        const CameraPassport pass = passport(QStringLiteral("cam-264"));
        VideoBuffer vb(false, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        vb.setDstSize(320, 180);
        QCOMPARE(cc.play(&vb, 2, false), 0);
        FrameInfo info;
        QVERIFY(!nextPicture(vb, info).isNull());
        QCOMPARE(vb.scalerBuilds(), 1);

        QCOMPARE(cc.setVideoQuality(1), 0);
        QTRY_COMPARE_WITH_TIMEOUT((vb.popFrame(info), vb.scalerBuilds()), 2, 15000);

        const int start = 1765000000;
        cc.setPlayTime(start, 30, 0);
        QElapsedTimer t;
        t.start();
        bool sawPlayback = false;
        while (!sawPlayback && t.elapsed() < 10000) {
            if (nextPicture(vb, info).isNull())
                break;
            sawPlayback = info.isPlayback;
        }
        QVERIFY(sawPlayback);
        QVERIFY2(info.timestamp >= quint32(start + 30) && info.timestamp < quint32(start + 40),
            qPrintable(QString::number(info.timestamp)));
        QCOMPARE(logged(QStringLiteral("camera cam-264: playback from 1765000000 to 0")), 1);

        cc.setPlayTime(0, 0, 0);
        bool sawLive = false;
        t.restart();
        while (!sawLive && t.elapsed() < 10000) {
            if (nextPicture(vb, info).isNull())
                break;
            sawLive = !info.isPlayback;
        }
        QVERIFY(sawLive);
        QVERIFY(info.timestamp > quint32(start + 1000000));
        QCOMPARE(logged(QStringLiteral("camera cam-264: realtime play")), 1);
        cc.stopPlay();

        // Not connected: nothing is sent, nothing is logged.
        g_log.clear();
        cc.setPlayTime(start, 0, 0);
        QCOMPARE(logged(QStringLiteral("camera cam-264: playback from 1765000000 to 0")), 0);
    }

    // Frames before the first key frame are dropped; audio frames (136 and
    // 138) never reach the decoder, even with no audio player at all.
    void keyFrameWaitAndAudio()
    {
        const CameraPassport pass = passport(QStringLiteral("cam-raw"));
        VideoBuffer vb(false, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        vb.setDstSize(320, 180);
        AvframeRecvThread thread(cc.avIndex(), &vb, nullptr);
        QCOMPARE(sendIoCtrl(cc.avIndex(), kScript, QByteArray(8, '\0')), 0);
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(thread.stats().queued.load(), 10, 10000);
        QCOMPARE(thread.stats().skippedForKey.load(), 3);
        QCOMPARE(thread.stats().videoFrames.load(), 13);
        QCOMPARE(thread.stats().audioFrames.load(), kScriptAudio);
        QCOMPARE(thread.stats().decodeAttempts.load(), 10);
        FrameInfo info;
        QVERIFY(!vb.popFrame(info).isNull());
        QCOMPARE(info.timestamp, 5000u); // the key frame is the first picture
        thread.stop();
        QVERIFY(thread.wait(2000));
        cc.stopPlay();
    }

    // Without a media key (plain "admin" login) frames are dropped.
    void noKeyNoPictures()
    {
        CameraPassport pass = passport(QStringLiteral("cam-raw"));
        pass.sharedKey.clear();
        VideoBuffer vb(false, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        AvframeRecvThread thread(cc.avIndex(), &vb, nullptr);
        QCOMPARE(sendIoCtrl(cc.avIndex(), kScript, QByteArray(8, '\0')), 0);
        thread.start();
        QTRY_COMPARE_WITH_TIMEOUT(thread.stats().videoFrames.load(), 13, 10000);
        QTest::qWait(100);
        QCOMPARE(thread.stats().decodeAttempts.load(), 0);
        QCOMPARE(vb.queuedCount(), 0);
        thread.stop();
        cc.stopPlay();
    }

    // The camera closing the channel ends the loop with failed(-20015).
    void peerCloses()
    {
        const CameraPassport pass = passport(QStringLiteral("cam-265"));
        VideoBuffer vb(true, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        ThreadSafeSpy failed(&cc, &CameraController::failed);
        QCOMPARE(cc.play(&vb, 2, false), 0);
        FrameInfo info;
        QVERIFY(!nextPicture(vb, info).isNull());
        m_scenario->updateCamera(QStringLiteral("cam-265"), [](SimCamera& c) { c.online = false; });
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        QCOMPARE(failed.at(0).at(0).toInt(), -20015);
        QCOMPARE(logged(QStringLiteral("stop reading video frame:-20015")), 1);
        cc.stopPlay();
        m_scenario->updateCamera(QStringLiteral("cam-265"), [](SimCamera& c) { c.online = true; });
    }

    // A stop request while pictures pile up (nobody pops: the receive thread
    // blocks on the full queue) ends the thread without failed.
    void stopGivesNoFailed()
    {
        const CameraPassport pass = passport(QStringLiteral("cam-265"));
        VideoBuffer vb(true, pass.sharedKey);
        CameraController cc(&pass);
        QTRY_COMPARE_WITH_TIMEOUT(cc.connCamera(), 0, 10000);
        ThreadSafeSpy failed(&cc, &CameraController::failed);
        QCOMPARE(cc.play(&vb, 2, false), 0);
        QTRY_COMPARE_WITH_TIMEOUT(vb.queuedCount(), VideoBuffer::kMaxQueued, 15000);
        QElapsedTimer t;
        t.start();
        QCOMPARE(cc.stopPlay(), 0);
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QTest::qWait(200);
        QCOMPARE(failed.count(), 0);
    }

    // disconnCamera tells the camera (0x2FF, 8 zero bytes) and closes the
    // channel under a running receive thread, which then ends with the
    // channel's "stopped on this side" code instead of polling a dead channel.
    void disconnectWhilePlaying()
    {
        const CameraPassport pass = passport(QStringLiteral("cam-raw"));
        VideoBuffer vb(false, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        ThreadSafeSpy failed(&cc, &CameraController::failed);
        QCOMPARE(cc.play(&vb, 2, false), 0);
        FrameInfo info;
        QVERIFY(!nextPicture(vb, info).isNull());
        m_disconnects = 0;
        cc.disconnCamera();
        QVERIFY(!cc.connected());
        QCOMPARE(cc.avIndex(), -1);
        QCOMPARE(cc.sessionId(), -1);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
        // Stopped under a running call, or unknown at the next one.
        const int code = failed.at(0).at(0).toInt();
        QVERIFY2(code == AV_ER_CLIENT_EXIT || code == AV_ER_INVALID_ARG, qPrintable(QString::number(code)));
        QTRY_COMPARE_WITH_TIMEOUT(m_disconnects.load(), 1, 3000);
        QCOMPARE(logged(QStringLiteral("stop reading video frame:%1").arg(code)), 1);
        QCOMPARE(cc.stopPlay(), 0);
    }

    // Thirty seconds without a frame: failed(-20011).
    void stallGivesNoFrameError()
    {
        const CameraPassport pass = passport(QStringLiteral("cam-raw"));
        VideoBuffer vb(false, pass.sharedKey);
        CameraController cc(&pass);
        QCOMPARE(cc.connCamera(), 0);
        ThreadSafeSpy failed(&cc, &CameraController::failed);
        QCOMPARE(cc.play(&vb, 2, false), 0);
        FrameInfo info;
        QVERIFY(!nextPicture(vb, info).isNull());
        setFaults(QStringLiteral("cam-raw"), R"({"p2p_mute": true})");
        QElapsedTimer t;
        t.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 45000);
        QCOMPARE(failed.at(0).at(0).toInt(), -20011);
        QVERIFY2(t.elapsed() >= 29000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(logged(QStringLiteral("30 seconds passed and quit loop")), 1);
        cc.stopPlay();
    }
};

std::atomic<int> TestVideoPlay::m_disconnects{0};

QTEST_GUILESS_MAIN(TestVideoPlay)
#include "tst_videoplay.moc"
