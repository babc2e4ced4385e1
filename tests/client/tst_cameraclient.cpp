// The camera client against the emulated home: cloud, directory and cameras.
#include "client/vucameraclient.h"
#include "simworld.h"

#include <QtTest>

namespace {

const QByteArray kScenario = R"({
  "seed": "client-tests",
  "accounts": [{"user_id": "1234567890", "password": "pw", "nickname": "Alex"}],
  "rooms": [{"id": "r1", "name": "Hall", "owner": "1234567890", "dids": ["c1", "c2"]}],
  "cameras": [
    {"did": "c1", "name": "Door", "model": "hovia.camera.v3", "owner": "1234567890",
     "width": 320, "height": 180, "fps": 10,
     "recordings": [{"start": 1765000000, "length": 120, "motion": true}]},
    {"did": "c2", "name": "Pin", "model": "hovia.camera.v3", "owner": "1234567890",
     "width": 320, "height": 180, "fps": 10, "pincode": "1234"},
    {"did": "c3", "name": "Asleep", "model": "hovia.camera.v3", "owner": "1234567890", "power": false},
    {"did": "c4", "name": "Busy", "model": "hovia.camera.v3", "owner": "1234567890", "max_client": true},
    {"did": "c5", "name": "NoCard", "model": "hovia.camera.v3", "owner": "1234567890",
     "width": 320, "height": 180, "fps": 10, "sdcard": false},
    {"did": "c6", "name": "Gone", "model": "hovia.camera.v3", "owner": "1234567890"},
    {"did": "c7", "name": "Stalls", "model": "hovia.camera.v3", "owner": "1234567890",
     "faults": {"p2p_stall": true}}
  ]
})";

VuotCameraStat record(const QString& did, bool online = true, bool pincode = false)
{
    VuotCameraStat s;
    s.did = did;
    s.name = did;
    s.model = QStringLiteral("hovia.camera.v3");
    s.isOnline = online;
    s.isSetPincode = pincode;
    return s;
}

QList<int> steps(const ThreadSafeSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& args : spy.calls())
        out << args.at(0).value<PlayStatus>();
    return out;
}

} // namespace

class TestCameraClient : public QObject
{
    Q_OBJECT

private:
    SimWorld m_world;

private slots:
    void initTestCase()
    {
        QVERIFY(m_world.start(kScenario));
    }
    void cleanupTestCase() { m_world.stop(); }

    void fullPlayDeliversPicturesAndTimeline()
    {
        auto* c = new VuCameraClient(record("c1"));
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        c->setVideoFrameSize(320, 180);
        c->play(2, false, QString());
        QCOMPARE(c->status(), ClientStatus::Connecting);
        // A second play while one runs is refused and changes nothing.
        QTest::ignoreMessage(QtWarningMsg, "camera c1: ignore play now, for status != Disconnected");
        c->play(2, false, QString());

        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
        QCOMPARE(steps(played), (QList<int>{ReadingProperties, Connecting, WaitingForPlaying, Playing}));
        QVERIFY(c->isSdcardReady());
        QCOMPARE(c->passport().sharedKey.size(), 32);

        FrameInfo info;
        int speed = -1;
        QPixmap pic;
        QElapsedTimer t;
        t.start();
        while (pic.isNull() && t.elapsed() < 15000) {
            QTest::qWait(25);
            pic = c->grabFrame(info, true, speed);
        }
        QVERIFY(!pic.isNull());
        QCOMPARE(pic.size(), QSize(320, 180));
        QVERIFY(speed >= 0);
        QVERIFY(!info.isPlayback);

        QTRY_VERIFY_WITH_TIMEOUT(timeline.count() > 0, 15000);
        const auto records = timeline.first().at(0).value<QVector<RecordFileHeader>>();
        QVERIFY(!records.isEmpty());
        QCOMPARE(records.first().startTime, 1765000000u);

        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        c->stopPlay();
        QTRY_VERIFY_WITH_TIMEOUT(stopped.count() > 0, 15000);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        QCOMPARE(failed.count(), 0);
        QVERIFY(c->grabFrame(info, false, speed).isNull());
        dispose(c);
    }

    void pincodeRightAndWrong()
    {
        auto* c = new VuCameraClient(record("c2", true, true));
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        c->play(2, false, QStringLiteral("0000"));
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 20000);
        QCOMPARE(failed.first().at(0).toInt(), -20009);
        QCOMPARE(steps(played), QList<int>{Authing});
        QCOMPARE(c->status(), ClientStatus::Disconnected);

        played.clear();
        c->play(2, false, QStringLiteral("1234"));
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
        QCOMPARE(steps(played), (QList<int>{Authing, ReadingProperties, Connecting, WaitingForPlaying, Playing}));
        dispose(c);
    }

    void powerOffIsNotAFailure()
    {
        auto* c = new VuCameraClient(record("c3"));
        ThreadSafeSpy power(c, &VuCameraClient::powerStateChanged);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(power.count() > 0, 20000);
        QCOMPARE(power.first().at(0).toBool(), false);
        QVERIFY(!c->isPowerOn());
        QTest::qWait(200);
        QCOMPARE(failed.count(), 0);

        // Waking it up through the cloud, then a power check that finds it on.
        power.clear();
        c->wakeUp();
        QTRY_VERIFY_WITH_TIMEOUT(power.count() > 0, 10000);
        QCOMPARE(power.first().at(0).toBool(), true);
        power.clear();
        c->checkPowerOnce(); // unchanged: no signal
        QTest::qWait(1500);
        QCOMPARE(power.count(), 0);
        c->sleep();
        QTRY_VERIFY_WITH_TIMEOUT(power.count() > 0, 10000);
        QCOMPARE(power.first().at(0).toBool(), false);
        dispose(c);
    }

    void sleepWhilePlayingEndsTheSessionAndWakeUpPlaysAgain()
    {
        auto* c = new VuCameraClient(record("c1"));
        ThreadSafeSpy power(c, &VuCameraClient::powerStateChanged);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        c->play(2, false, QString());
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
        c->sleep();
        QTRY_VERIFY_WITH_TIMEOUT(power.count() > 0, 10000);
        QCOMPARE(power.first().at(0).toBool(), false);
        // Not left connected to a sleeping camera: the next play is taken.
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        power.clear();
        c->wakeUp();
        QTRY_VERIFY_WITH_TIMEOUT(power.count() > 0, 10000);
        QCOMPARE(power.first().at(0).toBool(), true);
        c->play(2, false, QString());
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
        FrameInfo info;
        int speed = 0;
        QPixmap pic;
        for (int i = 0; i < 400 && pic.isNull(); ++i) {
            QTest::qWait(25);
            pic = c->grabFrame(info, false, speed);
        }
        QVERIFY(!pic.isNull());
        QCOMPARE(failed.count(), 0);
        dispose(c);
    }

    void maxClientFailsWithFive()
    {
        auto* c = new VuCameraClient(record("c4"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy played(c, &VuCameraClient::played);
        c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 20000);
        QCOMPARE(failed.first().at(0).toInt(), 5);
        QVERIFY(!steps(played).contains(Connecting)); // never connected
        dispose(c);
    }

    void noCardStartsNoTimeline()
    {
        auto* c = new VuCameraClient(record("c5"));
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        c->play(2, false, QString());
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
        QVERIFY(!c->isSdcardReady());
        QTest::qWait(1500);
        QCOMPARE(timeline.count(), 0);
        dispose(c);
    }

    void offlineCameraReportsOffline()
    {
        // The camera drops off while the cloud still lists it as online: the
        // P2P connect reports it offline (-90).
        m_world.setCamera("c6", [](SimCamera& cam) {
            cam.online = false;
            cam.faults.insert(QStringLiteral("cloud_stale_online"), true);
        });
        auto* c = new VuCameraClient(record("c6"));
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(online.count() > 0, 20000);
        QCOMPARE(online.first().at(0).toBool(), false);
        QVERIFY(!c->isOnline());
        QCOMPARE(failed.count(), 0);
        // The cloud says it is back: the client follows.
        online.clear();
        c->setInfo(record("c6", true));
        QTRY_VERIFY_WITH_TIMEOUT(online.count() > 0, 5000);
        QCOMPARE(online.first().at(0).toBool(), true);
        dispose(c);
    }

    void recordsInABurstApplyInOrder()
    {
        // Two polls can land before the worker takes the first one: each
        // record is applied, in the order the list manager gave them.
        auto* c = new VuCameraClient(record("c1"));
        ThreadSafeSpy names(c, &VuCameraClient::nameChanged);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy pin(c, &VuCameraClient::pincodeEnabled);
        VuotCameraStat renamed = record("c1");
        renamed.name = QStringLiteral("Front door");
        c->setInfo(renamed);
        VuotCameraStat away = renamed;
        away.isOnline = false;
        c->setInfo(away);
        VuotCameraStat back = renamed;
        back.isSetPincode = true;
        c->setInfo(back);
        QTRY_COMPARE_WITH_TIMEOUT(pin.count(), 1, 5000);
        QCOMPARE(names.count(), 1);
        QCOMPARE(names.first().at(0).toString(), QStringLiteral("Front door"));
        QCOMPARE(c->name(), QStringLiteral("Front door"));
        QCOMPARE(online.count(), 2);
        QCOMPARE(online.at(0).at(0).toBool(), false);
        QCOMPARE(online.at(1).at(0).toBool(), true);
        QVERIFY(c->isPincodeEnabled());

        // Once destroyed() is out, records still waiting change nothing.
        for (int i = 0; i < 20; ++i)
            c->setInfo(i % 2 ? back : away);
        ThreadSafeSpy gone(c, &VuCameraClient::destroyed);
        c->destroy();
        c->setInfo(away); // after destroy: ignored
        QTRY_COMPARE_WITH_TIMEOUT(gone.count(), 1, 5000);
        const int changes = online.count();
        QTest::qWait(300); // the waiting records' calls come through
        QCOMPARE(online.count(), changes);
        delete c;
    }

    void destroyDuringAConnectReturnsAtOnce()
    {
        auto* c = new VuCameraClient(record("c7")); // the device never answers
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(steps(played).contains(Connecting), 20000);
        QTest::qWait(300);
        QElapsedTimer t;
        t.start();
        ThreadSafeSpy gone(c, &VuCameraClient::destroyed);
        c->destroy();
        QCOMPARE(c->status(), ClientStatus::Destroying);
        QTRY_VERIFY_WITH_TIMEOUT(gone.count() > 0, 10000);
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        QTest::qWait(300);
        QCOMPARE(gone.count(), 1);
        QCOMPARE(failed.count(), 0);
        c->destroy(); // a second destroy on a finished worker: destroyed again, no hang
        delete c;
    }

    void stopDuringPlaySuppressesTheError()
    {
        // The play of a camera at its viewer limit fails after the cloud calls;
        // a stop requested before that failure keeps it from being reported.
        auto* c = new VuCameraClient(record("c4"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        c->play(2, false, QString());
        c->stopPlay();
        QCOMPARE(c->status(), ClientStatus::Disconnecting);
        QTRY_VERIFY_WITH_TIMEOUT(stopped.count() > 0, 20000);
        QTest::qWait(200);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        dispose(c);
    }
};

QTEST_MAIN(TestCameraClient)
#include "tst_cameraclient.moc"
