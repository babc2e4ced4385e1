// The camera list manager and its clients when the cloud or a camera's
// network misbehaves: slow replies past the watchdog, server errors, garbage
// bodies, a cloud that goes down and comes back, a camera that drops off the
// network and returns.
#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "cloud/coreapi.h"
#include "simworld.h"
#include "tests/support/logcapture.h"

#include <QtTest>

namespace {

const QByteArray kScenario = R"({
  "seed": "listmgr-faults",
  "accounts": [{"user_id": "1234567890", "password": "pw"}],
  "rooms": [{"id": "r1", "name": "Hall", "owner": "1234567890", "dids": ["a1"]}],
  "cameras": [
    {"did": "a1", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10, "sdcard": false},
    {"did": "a2", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10, "sdcard": false},
    {"did": "a3", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180, "fps": 10, "sdcard": false}
  ]
})";

const char* const kRooms = "/homeroom/getroom";
const char* const kDevices = "/home/device_list";
const char* const kPass = "/device/devicepass";

bool stopAndWait(VuCameraListMgr& mgr, int ms = 20000)
{
    ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
    mgr.stop();
    return stopped.count() == 1 || stopped.wait(ms);
}

} // namespace

class TestListMgrFaults : public QObject
{
    Q_OBJECT

private:
    SimWorld m_world;

    // A manager that has loaded the three cameras.
    bool load(VuCameraListMgr& mgr, int pollMs)
    {
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        mgr.setPollInterval(pollMs);
        mgr.start();
        return (loaded.count() > 0 || loaded.wait(15000)) && mgr.cameras().size() == 3;
    }

    void waitForRequests(const char* path, int count, int ms)
    {
        const int before = m_world.requestsTo(path);
        QTRY_VERIFY_WITH_TIMEOUT(m_world.requestsTo(path) >= before + count, ms);
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuCameraClient*>>("QList<VuCameraClient*>");
        QVERIFY(m_world.start(kScenario));
    }
    void cleanupTestCase() { m_world.stop(); }
    void init()
    {
        m_world.setCloudFaults("{}");
        CoreApi::setWatchdogMs(10000);
    }
    void cleanup() { init(); }

    // A room list that takes longer than the 10 s watchdog: the request is
    // cut off, counted as a failed first-load request and retried at once.
    void slowRoomListTripsTheWatchdog()
    {
        LogCapture log;
        m_world.setCloudFaults(R"({"delay_ms": {"/app/homeroom/getroom": 12000}})");
        const int before = m_world.requestsTo(kRooms);
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy failed(&mgr, &VuCameraListMgr::startFailed);
        mgr.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_world.requestsTo(kRooms) - before, 1, 10000);
        QElapsedTimer t;
        t.start();
        m_world.setCloudFaults("{}"); // the retry is answered at once
        QTRY_COMPARE_WITH_TIMEOUT(m_world.requestsTo(kRooms) - before, 2, 20000);
        const qint64 elapsed = t.elapsed();
        QVERIFY2(elapsed >= 9000 && elapsed < 13000, qPrintable(QString::number(elapsed)));
        QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 10000);
        QCOMPARE(log.count("failed to get room list:1"), 1);
        QCOMPARE(log.count("retry get room list"), 1);
        QCOMPARE(m_world.requestsTo(kRooms) - before, 2);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(mgr.cameras().size(), 3);
        QCOMPARE(mgr.cameras().first()->roomName(), QStringLiteral("Hall"));
        QVERIFY(stopAndWait(mgr));
    }

    // Every way a device-list answer can fail during the first load: one
    // request and three retries, then startFailed with the last code.
    void brokenDeviceListEndsTheFirstLoad_data()
    {
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<int>("code");
        QTest::newRow("500") << QByteArray(R"({"http_status": {"/app/home/device_list": 500}})") << 1;
        QTest::newRow("slow") << QByteArray(R"({"delay_ms": {"/app/home/device_list": 2500}})") << 1;
        QTest::newRow("not json") << QByteArray(R"({"malformed": {"/app/home/device_list": "not_json"}})") << 2;
        QTest::newRow("array") << QByteArray(R"({"malformed": {"/app/home/device_list": "array"}})") << 2;
        QTest::newRow("wrong key") << QByteArray(R"({"malformed": {"/app/home/device_list": "wrong_key"}})") << 2;
        QTest::newRow("plain") << QByteArray(R"({"malformed": {"/app/home/device_list": "plain"}})") << 2;
    }
    void brokenDeviceListEndsTheFirstLoad()
    {
        QFETCH(QByteArray, faults);
        QFETCH(int, code);
        CoreApi::setWatchdogMs(1000);
        m_world.setCloudFaults(faults);
        const int rooms = m_world.requestsTo(kRooms);
        const int devices = m_world.requestsTo(kDevices);
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy failed(&mgr, &VuCameraListMgr::startFailed);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 20000);
        QTest::qWait(300);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toInt(), code);
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(m_world.requestsTo(kRooms) - rooms, 1);
        QCOMPARE(m_world.requestsTo(kDevices) - devices, 4);
        QVERIFY(mgr.cameras().isEmpty());
        QVERIFY(stopAndWait(mgr));
    }

    // A room list that is not a JSON object fails like a network error:
    // three retries, then startFailed(2); the device list is never asked.
    void garbageRoomListEndsTheFirstLoad()
    {
        m_world.setCloudFaults(R"({"malformed": {"/app/homeroom/getroom": "array"}})");
        const int rooms = m_world.requestsTo(kRooms);
        const int devices = m_world.requestsTo(kDevices);
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy failed(&mgr, &VuCameraListMgr::startFailed);
        mgr.start();
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 10000);
        QCOMPARE(failed.first().at(0).toInt(), 2);
        QCOMPARE(m_world.requestsTo(kRooms) - rooms, 4);
        QCOMPARE(m_world.requestsTo(kDevices) - devices, 0);
        QCOMPARE(loaded.count(), 0);
    }

    // After the first load a failing poll changes nothing: the playing
    // camera keeps playing, no camera is removed or marked offline, and the
    // poll goes on; once the cloud answers again the list is the same.
    void pollFailuresKeepPlayingCameras()
    {
        CoreApi::setWatchdogMs(1500);
        VuCameraListMgr mgr;
        QVERIFY(load(mgr, 400));
        ThreadSafeSpy removed(&mgr, &VuCameraListMgr::cameraRemoved);
        ThreadSafeSpy added(&mgr, &VuCameraListMgr::cameraAdded);
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        VuCameraClient* c = mgr.cameras().first();
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        QVERIFY(playUntilPicture(c));

        const QList<QByteArray> faults = {
            R"({"http_status": {"/app/home/device_list": 500}})",
            R"({"malformed": {"/app/home/device_list": "not_json"}})",
            R"({"malformed": {"/app/home/device_list": "array"}})",
            R"({"delay_ms": {"/app/home/device_list": 2500}})",
            R"({"http_status": 503})",
        };
        for (const QByteArray& f : faults) {
            m_world.setCloudFaults(f);
            waitForRequests(kDevices, 3, 15000);
        }
        m_world.setCloudFaults("{}");
        waitForRequests(kDevices, 2, 10000);
        QTest::qWait(3000); // the slow answers still under way come back

        QCOMPARE(removed.count(), 0);
        QCOMPARE(added.count(), 0);
        QCOMPARE(loaded.count(), 0);
        QCOMPARE(mgr.cameras().size(), 3);
        QCOMPARE(online.count(), 0);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(c->status(), ClientStatus::Connected);
        QVERIFY(!nextPicture(c).isNull());
        QVERIFY(stopAndWait(mgr));
    }

    // The camera leaves the network while it plays: its session ends at
    // once (the tile hears failed), the poll marks it offline after two
    // answers, and when it comes back the poll marks it online and it plays
    // again.
    void cameraOfflineThenOnline()
    {
        VuCameraListMgr mgr;
        QVERIFY(load(mgr, 300));
        VuCameraClient* c = mgr.cameras().at(1);
        QCOMPARE(c->did(), QStringLiteral("a2"));
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy removed(&mgr, &VuCameraListMgr::cameraRemoved);
        QVERIFY(playUntilPicture(c));

        m_world.setCamera("a2", [](SimCamera& cam) { cam.online = false; });
        QTRY_VERIFY_WITH_TIMEOUT(online.count() > 0, 10000);
        QCOMPARE(online.first().at(0).toBool(), false);
        QVERIFY(!c->isOnline());
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        QCOMPARE(failed.count(), 1); // the session closed by the camera
        QCOMPARE(failed.first().at(0).toInt(), -20015);

        // A play while it is away: the cloud answers the property read of an
        // offline camera "device offline", so the play ends before any
        // connect with an offline report, not a failure.
        online.clear();
        const int passes = m_world.requestsTo(kPass);
        c->play(2, false, QString());
        QTRY_COMPARE_WITH_TIMEOUT(online.count(), 1, 15000);
        QCOMPARE(online.first().at(0).toBool(), false);
        QCOMPARE(m_world.requestsTo(kPass) - passes, 1);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        QVERIFY(!c->isOnline());
        QCOMPARE(failed.count(), 1);

        m_world.setCamera("a2", [](SimCamera& cam) { cam.online = true; });
        QTRY_VERIFY_WITH_TIMEOUT(!online.isEmpty() && online.last().at(0).toBool(), 10000);
        QVERIFY(c->isOnline());
        QVERIFY(playUntilPicture(c));
        QCOMPARE(removed.count(), 0);
        QCOMPARE(failed.count(), 1);
        QVERIFY(stopAndWait(mgr));
    }

    // The whole cloud is unreachable for a while: polls fail, a play fails
    // at the device pass with a defined code and leaves the client ready;
    // once the cloud is back the same client plays.
    void cloudDownThenBack_data()
    {
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<int>("code");
        // The device pass reports every failure as 1; the properties pass
        // the request's code through (2: not a decryptable JSON object).
        QTest::newRow("503") << QByteArray(R"({"http_status": 503})") << 1;
        QTest::newRow("slow") << QByteArray(R"({"delay_ms": 2500})") << 1;
        QTest::newRow("garbage pass") << QByteArray(R"({"malformed": {"/app/device/devicepass": "wrong_key"}})") << 1;
        QTest::newRow("garbage props") << QByteArray(R"({"malformed": {"/app/home/rpc/a3": "not_json"}})") << 2;
    }
    void cloudDownThenBack()
    {
        QFETCH(QByteArray, faults);
        QFETCH(int, code);
        CoreApi::setWatchdogMs(1500);
        VuCameraListMgr mgr;
        QVERIFY(load(mgr, 500));
        ThreadSafeSpy removed(&mgr, &VuCameraListMgr::cameraRemoved);
        VuCameraClient* c = mgr.cameras().at(2);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy power(c, &VuCameraClient::powerStateChanged);

        m_world.setCloudFaults(faults);
        const int passes = m_world.requestsTo(kPass);
        c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(failed.count() > 0, 15000);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().at(0).toInt(), code);
        QCOMPARE(m_world.requestsTo(kPass) - passes, 1);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        QCOMPARE(online.count(), 0);
        QCOMPARE(power.count(), 0);

        m_world.setCloudFaults("{}");
        waitForRequests(kDevices, 1, 10000);
        QVERIFY(playUntilPicture(c));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(removed.count(), 0);
        QCOMPARE(mgr.cameras().size(), 3);
        QVERIFY(stopAndWait(mgr));
    }
};

QTEST_MAIN(TestListMgrFaults)
#include "tst_listmgrfaults.moc"
