// The camera list manager against the emulated cloud (and, for the shutdown
// case, playing emulated cameras).
#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "simworld.h"

#include <QtTest>

namespace {

const QByteArray kScenario = R"({
  "seed": "listmgr-tests",
  "accounts": [{"user_id": "1234567890", "password": "pw"}, {"user_id": "555", "password": "pw"}],
  "rooms": [{"id": "r1", "name": "Hall", "icon": "hall", "owner": "1234567890", "dids": ["k1", "k2"]}],
  "cameras": [
    {"did": "k1", "name": "One", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k2", "name": "Two", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k3", "name": "Three", "model": "hovia.camera.v4", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k4", "model": "hovia.camera.v1", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k5", "model": "lanterra.camera.ipc009", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k6", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k7", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k8", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10},
    {"did": "k9", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10}
  ]
})";

QStringList dids(const QList<VuCameraClient*>& list)
{
    QStringList out;
    for (VuCameraClient* c : list)
        out << c->did();
    return out;
}

// Stops a manager and waits for it to report stopped.
bool stopAndWait(VuCameraListMgr& mgr, int ms = 15000)
{
    ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
    mgr.stop();
    return stopped.count() == 1 || stopped.wait(ms);
}

} // namespace

class TestCameraListMgr : public QObject
{
    Q_OBJECT

private:
    SimWorld m_world;

    SimCamera newCamera(const QString& did, const QString& owner)
    {
        QJsonObject o{{"did", did}, {"owner", owner}, {"model", "hovia.camera.v3"}};
        return Scenario::cameraFromJson(o, m_world.scenario->seed());
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuCameraClient*>>("QList<VuCameraClient*>");
        QVERIFY(m_world.start(kScenario));
    }
    void cleanupTestCase() { m_world.stop(); }
    void init() { m_world.setCloudFaults("{}"); }

    void firstLoadGivesClientsWithRooms()
    {
        m_world.signIn("1234567890");
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 10000);
        const auto list = loaded.first().at(0).value<QList<VuCameraClient*>>();
        QCOMPARE(list.size(), 9);
        QCOMPARE(list.first()->did(), QStringLiteral("k1"));
        QCOMPARE(list.first()->roomName(), QStringLiteral("Hall"));
        QCOMPARE(list.first()->roomIcon(), QStringLiteral("hall"));
        QVERIFY(list.at(2)->roomName().isEmpty());
        QVERIFY(list.at(2)->usesH265());
        QVERIFY(!list.first()->usesH265());
        QVERIFY(stopAndWait(mgr));
        QVERIFY(mgr.cameras().isEmpty());
    }

    void emptyAccountThenACameraAppears()
    {
        m_world.signIn("555");
        VuCameraListMgr mgr;
        mgr.setPollInterval(300);
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy added(&mgr, &VuCameraListMgr::cameraAdded);
        ThreadSafeSpy removed(&mgr, &VuCameraListMgr::cameraRemoved);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 10000);
        QVERIFY(loaded.first().at(0).value<QList<VuCameraClient*>>().isEmpty());

        m_world.scenario->addCamera(newCamera("n1", "555"));
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 1, 10000);
        QCOMPARE(dids(loaded.last().at(0).value<QList<VuCameraClient*>>()), QStringList{"n1"});
        QCOMPARE(added.count(), 0); // the set was empty: loaded, not added

        m_world.scenario->addCamera(newCamera("n2", "555"));
        QTRY_VERIFY_WITH_TIMEOUT(added.count() > 0, 10000);
        QCOMPARE(added.first().at(0).value<VuCameraClient*>()->did(), QStringLiteral("n2"));

        // Removing both: removed twice, then the empty list.
        m_world.scenario->removeCamera("n1");
        m_world.scenario->removeCamera("n2");
        QTRY_COMPARE_WITH_TIMEOUT(removed.count(), 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(loaded.last().at(0).value<QList<VuCameraClient*>>().isEmpty(), 5000);
        QCOMPARE(loaded.count(), 3);
        // The tile owner destroys removed clients; the manager deletes them.
        for (const auto& args : removed.calls())
            args.at(0).value<VuCameraClient*>()->destroy();
        QVERIFY(stopAndWait(mgr));
    }

    void singleOfflinePollNeverReachesTheClient()
    {
        m_world.signIn("555");
        m_world.scenario->addCamera(newCamera("f1", "555"));
        VuCameraListMgr mgr;
        mgr.setPollInterval(1500);
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 10000);
        VuCameraClient* c = mgr.cameras().value(0);
        QVERIFY(c);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);

        // Offline for about one poll, then back: the client never hears of it.
        const int before = m_world.requestsTo("/home/device_list");
        m_world.setCamera("f1", [](SimCamera& cam) { cam.online = false; });
        QTRY_VERIFY_WITH_TIMEOUT(m_world.requestsTo("/home/device_list") >= before + 1, 5000);
        m_world.setCamera("f1", [](SimCamera& cam) { cam.online = true; });
        const int mid = m_world.requestsTo("/home/device_list");
        QTRY_VERIFY_WITH_TIMEOUT(m_world.requestsTo("/home/device_list") >= mid + 2, 10000);
        QCOMPARE(online.count(), 0);
        QVERIFY(c->isOnline());

        // Offline for two polls (the id is still pending from above, so the
        // next offline answer already applies; a fresh camera needs two).
        m_world.setCamera("f1", [](SimCamera& cam) { cam.online = false; });
        QTRY_VERIFY_WITH_TIMEOUT(online.count() > 0, 5000);
        QCOMPARE(online.first().at(0).toBool(), false);
        QVERIFY(stopAndWait(mgr));
        m_world.scenario->removeCamera("f1");
    }

    void threeFailedRoomListsThenStartFailed()
    {
        m_world.signIn("1234567890");
        m_world.setCloudFaults(R"({"http_status": 500})");
        const int roomsBefore = m_world.requestsTo("/homeroom/getroom");
        const int devsBefore = m_world.requestsTo("/home/device_list");
        VuCameraListMgr mgr;
        ThreadSafeSpy failed(&mgr, &VuCameraListMgr::startFailed);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 20000);
        QCOMPARE(failed.count(), 1);
        QVERIFY(failed.first().at(0).toInt() != 0);
        QCOMPARE(m_world.requestsTo("/homeroom/getroom") - roomsBefore, 4);
        QCOMPARE(m_world.requestsTo("/home/device_list") - devsBefore, 0);
        // The budget is never reset: a new start fails after one more try.
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 1, 10000);
        QCOMPARE(m_world.requestsTo("/homeroom/getroom") - roomsBefore, 5);
    }

    void stopWithoutClientsIsSynchronous()
    {
        VuCameraListMgr mgr;
        ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
        mgr.stop();
        QCOMPARE(stopped.count(), 1);
    }

    void shutdownWithNinePlayingCameras()
    {
        m_world.signIn("1234567890");
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 10000);
        const QList<VuCameraClient*> clients = mgr.cameras();
        QCOMPARE(clients.size(), 9);
        for (VuCameraClient* c : clients) {
            c->setVideoFrameSize(320, 180);
            c->play(2, false, QString());
        }
        for (VuCameraClient* c : clients)
            QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 60000);

        QElapsedTimer t;
        t.start();
        QVERIFY(stopAndWait(mgr, 20000));
        qInfo("nine playing cameras stopped in %lld ms", t.elapsed());
        QVERIFY2(t.elapsed() < 8000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(mgr.cameras().isEmpty());
        QTest::qWait(100); // the deferred deletions run; the worker threads are joined
    }
};

QTEST_MAIN(TestCameraListMgr)
#include "tst_cameralistmgr.moc"
