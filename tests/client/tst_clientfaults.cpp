// A camera client against emulated cameras that misbehave while it plays:
// a memory card whose channel never opens, a session dropped or gone silent
// mid-stream, damaged frames, a card reply cut off mid-way. Each case checks
// the end state the client reaches and that it still plays afterwards.
#include "camera/avframerecvthread.h"
#include "camera/cameracontroller.h"
#include "camera/videobuffer.h"
#include "client/vucameraclient.h"
#include "cloud/coreapi.h"
#include "simworld.h"
#include "tests/support/logcapture.h"
#include "tests/support/audiotestmain.h"
#include "tests/support/testpassports.h"

#include <QtTest>
#include <chrono>
#include <thread>

namespace {

const QByteArray kScenario = R"({
  "seed": "client-faults",
  "accounts": [{"user_id": "1234567890", "password": "pw"}],
  "cameras": [
    {"did": "refuse", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10,
     "recordings": [{"start": 1765000000, "length": 120}], "faults": {"rdt_refuse": true}},
    {"did": "drop", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "stale", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "late", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "shy", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "hang", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10,
     "recordings": [{"start": 1765000000, "length": 60}], "faults": {"timeline_silent": true, "motor_silent": true}},
    {"did": "sleepy", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10, "sdcard": false},
    {"did": "slow", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10, "sdcard": false},
    {"did": "mute", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "garbage", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "garbage265", "model": "hovia.camera.v4", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "cut", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10,
     "recordings": [{"start": 1765000000, "length": 60}, {"start": 1765000100, "length": 60},
                    {"start": 1765000200, "length": 60}, {"start": 1765000300, "length": 60}],
     "faults": {"timeline_cut": true}}
  ]
})";

VuotCameraStat record(const QString& did, const QString& model = QStringLiteral("hovia.camera.v3"))
{
    VuotCameraStat s;
    s.did = did;
    s.name = did;
    s.model = model;
    s.isOnline = true;
    return s;
}

// Empties the picture queue; the number of pictures taken.
int drain(VuCameraClient* c)
{
    FrameInfo info;
    int speed = 0;
    int n = 0;
    while (!c->grabFrame(info, false, speed).isNull())
        ++n;
    return n;
}

// Waits for a fresh picture (null pixmap on time-out).
} // namespace

class TestClientFaults : public QObject
{
    Q_OBJECT

private:
    SimWorld m_world;

    void setFault(const QString& did, const QString& key, const QJsonValue& value)
    {
        m_world.setCamera(did, [&](SimCamera& cam) {
            if (value.isNull())
                cam.faults.remove(key);
            else
                cam.faults.insert(key, value);
        });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_world.start(kScenario));
    }
    void cleanupTestCase() { m_world.stop(); }
    void cleanup()
    {
        CoreApi::setWatchdogMs(10000);
        m_world.setCloudFaults("{}");
    }

    // The card's channel is refused at every start: three attempts in all,
    // then the client leaves it while the video goes on. A new play has a
    // new budget; a card that answers needs one start.
    void refusedCardChannelIsTriedThreeTimes()
    {
        LogCapture log;
        auto* c = new VuCameraClient(record("refuse"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        const int before = SimDeviceFeatures::rdtStartRequests("refuse");
        QVERIFY(playUntilPicture(c));
        QTRY_COMPARE_WITH_TIMEOUT(SimDeviceFeatures::rdtStartRequests("refuse") - before, 3, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(log.count("rdt channel did not open"), 3, 5000);
        QTest::qWait(2000);
        QCOMPARE(SimDeviceFeatures::rdtStartRequests("refuse") - before, 3);
        QCOMPARE(log.count("retry"), 2);
        QCOMPARE(timeline.count(), 0);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(c->status(), ClientStatus::Connected);
        drain(c);
        QVERIFY(!nextPicture(c).isNull()); // the video plays on

        // The card works again: the next play opens it with one start.
        setFault("refuse", "rdt_refuse", QJsonValue());
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        c->stopPlay();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
        const int again = SimDeviceFeatures::rdtStartRequests("refuse");
        QVERIFY(playUntilPicture(c));
        QTRY_VERIFY_WITH_TIMEOUT(timeline.count() > 0, 15000);
        QCOMPARE(SimDeviceFeatures::rdtStartRequests("refuse") - again, 1);
        QCOMPARE(failed.count(), 0);
        dispose(c);
    }

    // A camera that loses power mid-stream: the receive thread sees the peer
    // vanish (-20016), the tile gets exactly one failed and the client is
    // ready for a new play.
    void sessionDroppedMidStream_data()
    {
        QTest::addColumn<bool>("audio");
        QTest::newRow("video") << false;
        QTest::newRow("video and sound") << true;
    }
    void sessionDroppedMidStream()
    {
        QFETCH(bool, audio);
        auto* c = new VuCameraClient(record("drop"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        QVERIFY(playUntilPicture(c, audio));
        setFault("drop", "p2p_drop", true);
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 10000);
        QCOMPARE(failed.first().at(0).toInt(), -20016);
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Disconnected, 5000);
        QTest::qWait(500);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(online.count(), 0);
        FrameInfo info;
        int speed = -1;
        QVERIFY(c->grabFrame(info, true, speed).isNull());
        QCOMPARE(speed, 0);

        setFault("drop", "p2p_drop", QJsonValue());
        QVERIFY(playUntilPicture(c));
        QCOMPARE(failed.count(), 1);
        dispose(c);
    }

    // The link breaks just as the user stops: the receive thread's report
    // is still queued when the stream is stopped. It must not reach the
    // client, where it would fail a stopped play or the next one.
    void errorOfAStoppedStreamIsDropped()
    {
        LogCapture log;
        CameraPassport pass = testpassports::signedPassport(*m_world.scenario, "stale");
        CameraController ctl(&pass);
        ThreadSafeSpy failed(&ctl, &CameraController::failed);
        QCOMPARE(ctl.connCamera(), 0);
        VideoBuffer buffer(false, pass.sharedKey);
        QCOMPARE(ctl.play(&buffer, 2, false), 0);
        QTest::qWait(500);
        setFault("stale", "p2p_drop", true);
        // No event processing here: the report stays queued for this thread.
        QElapsedTimer t;
        t.start();
        while (!log.contains("stop reading video frame:") && t.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QVERIFY(log.contains("stop reading video frame:"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ctl.stopPlay();
        QTest::qWait(300);
        QCOMPARE(failed.count(), 0);
        QVERIFY(log.contains("of a stopped stream dropped"));
        setFault("stale", "p2p_drop", QJsonValue());

        // A break of a running stream is still reported.
        QCOMPARE(ctl.connCamera(), 0);
        QCOMPARE(ctl.play(&buffer, 2, false), 0);
        QTest::qWait(500);
        setFault("stale", "p2p_drop", true);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        QCOMPARE(failed.first().at(0).toInt(), -20016);
        ctl.stopPlay();
        setFault("stale", "p2p_drop", QJsonValue());
    }

    // The cloud reports the camera offline while a play still waits for its
    // properties: the stop that follows also ends that play; it does not
    // go on to connect behind the client's back.
    void offlineReportDuringAPlayEndsIt()
    {
        m_world.setCloudFaults(R"({"delay_ms": {"/app/home/rpc/late": 1500}})");
        auto* c = new VuCameraClient(record("late"));
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        const int rpcs = m_world.requestsTo("/home/rpc/late");
        c->play(2, false, QString());
        QTRY_COMPARE_WITH_TIMEOUT(m_world.requestsTo("/home/rpc/late") - rpcs, 1, 10000);
        VuotCameraStat away = record("late");
        away.isOnline = false;
        c->setInfo(away);
        QTRY_COMPARE_WITH_TIMEOUT(online.count(), 1, 5000);
        QCOMPARE(online.first().at(0).toBool(), false);
        QTest::qWait(2500); // the properties come back meanwhile
        m_world.setCloudFaults("{}");
        QCOMPARE(played.count(), 1); // ReadingProperties only
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        QCOMPARE(failed.count(), 0);

        // Back online, a play goes through from the start.
        c->setInfo(record("late"));
        QTRY_COMPARE_WITH_TIMEOUT(online.count(), 2, 5000);
        QVERIFY(playUntilPicture(c));
        QCOMPARE(failed.count(), 0);
        dispose(c);
    }

    // A camera that refuses the session, or takes it and never answers the
    // login: the play ends with the library's code, the client can play
    // again once the camera behaves.
    void connectRefusedOrLoginUnanswered_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("atLeastMs");
        QTest::newRow("refused") << "p2p_refuse" << -24 << 0;
        QTest::newRow("login unanswered") << "p2p_stall_login" << -20011 << 9000;
    }
    void connectRefusedOrLoginUnanswered()
    {
        QFETCH(QString, fault);
        QFETCH(int, code);
        QFETCH(int, atLeastMs);
        setFault("shy", fault, true);
        auto* c = new VuCameraClient(record("shy"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy played(c, &VuCameraClient::played);
        QElapsedTimer t;
        t.start();
        c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 20000);
        QCOMPARE(failed.first().at(0).toInt(), code);
        QVERIFY2(t.elapsed() >= atLeastMs, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(played.count(), 2); // ReadingProperties, Connecting
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        setFault("shy", fault, QJsonValue());
        QVERIFY(playUntilPicture(c));
        QCOMPARE(failed.count(), 1);
        dispose(c);
    }

    // A card that never answers and a motor that never replies: the video
    // plays, no failure reaches the tile, and the stop waits at most for the
    // timeline read's 5 s time-out.
    void silentCardAndMotor()
    {
        LogCapture log;
        auto* c = new VuCameraClient(record("hang"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        QVERIFY(playUntilPicture(c));
        c->controlMotor(1);
        c->controlMotor(3);
        QTest::qWait(1000); // the first timeline request is out and unanswered
        QCOMPARE(c->status(), ClientStatus::Connected);
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        QElapsedTimer t;
        t.start();
        c->stopPlay();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 15000);
        QVERIFY2(t.elapsed() < 6500, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(timeline.count(), 0);
        QCOMPARE(failed.count(), 0);
        dispose(c);
    }

    // The camera is switched off (from its app) while it plays: the tile's
    // power check stops the play with a power report, not a failure; woken
    // up, it plays again.
    void poweredOffWhilePlaying()
    {
        auto* c = new VuCameraClient(record("sleepy"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy power(c, &VuCameraClient::powerStateChanged);
        QVERIFY(playUntilPicture(c));
        m_world.setCamera("sleepy", [](SimCamera& cam) { cam.power = false; });
        c->checkPowerOnce();
        QTRY_COMPARE_WITH_TIMEOUT(power.count(), 1, 10000);
        QCOMPARE(power.first().at(0).toBool(), false);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        FrameInfo info;
        int speed = -1;
        QVERIFY(c->grabFrame(info, true, speed).isNull());
        c->wakeUp();
        QTRY_COMPARE_WITH_TIMEOUT(power.count(), 2, 10000);
        QCOMPARE(power.last().at(0).toBool(), true);
        QVERIFY(playUntilPicture(c));
        QCOMPARE(failed.count(), 0);
        dispose(c);
    }

    // The cloud hangs on the device pass: a stop is answered at once (the
    // play gives up when the call returns), a destroy as soon as the call
    // gives up at the reply watchdog (shortened here); neither reports a
    // failure, and destroyed comes exactly once.
    void stopAndDestroyDuringASlowCloudCall()
    {
        CoreApi::setWatchdogMs(2000);
        m_world.setCloudFaults(R"({"delay_ms": {"/app/device/devicepass": 6000}})");
        auto* c = new VuCameraClient(record("slow"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        c->play(2, false, QString());
        QTest::qWait(300);
        QElapsedTimer t;
        t.start();
        c->stopPlay();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
        QVERIFY2(t.elapsed() < 1000, qPrintable(QString::number(t.elapsed())));
        QTest::qWait(2500); // the device pass gives up meanwhile
        QCOMPARE(played.count(), 0);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(c->status(), ClientStatus::Disconnected);

        c->play(2, false, QString());
        QTest::qWait(300);
        ThreadSafeSpy gone(c, &VuCameraClient::destroyed);
        t.restart();
        c->destroy();
        QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 10000);
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QTest::qWait(300);
        QCOMPARE(gone.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(played.count(), 0);
        delete c;
    }

    // A camera that stops sending while the session stays up: after the
    // no-frame time-out (shortened here) the client reports -20011.
    void silentCameraTimesOut()
    {
        CameraTimings timings;
        timings.noFrameTimeoutMs = 2500;
        auto* c = new VuCameraClient(record("mute"), timings);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        QVERIFY(playUntilPicture(c));
        QElapsedTimer t;
        t.start();
        setFault("mute", "p2p_mute", true);
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 15000);
        QCOMPARE(failed.first().at(0).toInt(), AvframeRecvThread::kErrNoFrame);
        QVERIFY2(t.elapsed() >= 2000, qPrintable(QString::number(t.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Disconnected, 5000);
        QTest::qWait(300);
        QCOMPARE(failed.count(), 1);

        setFault("mute", "p2p_mute", QJsonValue());
        QVERIFY(playUntilPicture(c));
        dispose(c);
    }

    // Damaged frames (payload bytes, NAL table, unit count) are dropped or
    // decoded as well as they go; the client keeps playing and clean
    // pictures come again once the camera sends whole frames.
    void corruptFramesDoNotStopThePlay_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<QString>("model");
        QTest::newRow("H.264") << "garbage" << "hovia.camera.v3";
        QTest::newRow("H.265") << "garbage265" << "hovia.camera.v4";
    }
    void corruptFramesDoNotStopThePlay()
    {
        QFETCH(QString, did);
        QFETCH(QString, model);
        LogCapture log;
        auto* c = new VuCameraClient(record(did, model));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        QVERIFY(playUntilPicture(c));
        for (const int every : {1, 3}) {
            setFault(did, "corrupt_frames", every);
            QTest::qWait(2500);
            drain(c);
            QCOMPARE(c->status(), ClientStatus::Connected);
        }
        const int complaints = log.count("invalid nal_num") + log.count("video decrpyt error")
            + log.count("Error while decoding frame") + log.count("invalid video frame");
        QVERIFY2(complaints > 0, "the damaged frames reached the client");

        setFault(did, "corrupt_frames", QJsonValue());
        QTest::qWait(1200); // past the next key frame
        drain(c);
        const QPixmap pic = nextPicture(c);
        QVERIFY(!pic.isNull());
        QCOMPARE(pic.size(), QSize(320, 180));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(c->status(), ClientStatus::Connected);
        dispose(c);
    }

    // The card sends half a reply and closes the stream: no timeline, no
    // failure report, the video goes on and the stop does not hang.
    void cardReplyCutMidWay()
    {
        LogCapture log;
        auto* c = new VuCameraClient(record("cut"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        QVERIFY(playUntilPicture(c));
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("RDT_Read error["), 15000);
        QCOMPARE(timeline.count(), 0);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(c->status(), ClientStatus::Connected);
        drain(c);
        QVERIFY(!nextPicture(c).isNull());

        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        QElapsedTimer t;
        t.start();
        c->stopPlay();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        dispose(c);
    }
};

VC_AUDIO_TEST_MAIN(TestClientFaults)
#include "tst_clientfaults.moc"
