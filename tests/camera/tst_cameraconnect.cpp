// The camera link's connect path against emulated cameras: LibP2p, the
// guarded connectByUid, the IO-control helpers and CameraController's
// connCamera / abort / stopPlay, down to the media key both sides agree on.

#include "tests/support/testpassports.h"
#include "app/camerapassport.h"
#include "camera/cameracontroller.h"
#include "camera/libp2p.h"
#include "tests/support/logcapture.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"
#include "sim/device/simcameradevice.h"
#include "sim/device/simcamerasession.h"
#include "sim/device/simp2phost.h"
#include "sim/scenario/scenario.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>
#include <atomic>
#include <sodium.h>
#include <thread>

namespace {

const char* const kScenario = R"({
  "seed": "tst-cameraconnect",
  "cameras": [
    {"did": "cam-a", "p2p_id": "UID-cam-a", "password": "secret-a"},
    {"did": "cam-b", "p2p_id": "UID-cam-b", "password": "secret-b"}
  ]
})";

const char* const kStopLine = "timeout,called function IOTC_Connect_Stop_BySID.";

// Type of the IO-control messages the test's handler answers with a reply
// chosen by the payload ("object", "array", "text", "2047", "2048").
constexpr unsigned int kReplyRequest = 0x7100;
constexpr unsigned int kReply = 0x7101;

QByteArray paddedObject(int size)
{
    // {"pad":"xxx...x"} of exactly `size` bytes.
    QByteArray s = "{\"pad\":\"";
    s += QByteArray(size - s.size() - 2, 'x');
    s += "\"}";
    return s;
}

} // namespace

class TstCameraConnect : public QObject
{
    Q_OBJECT

private:
    Scenario* m_scenario = nullptr;
    SimP2pHost* m_host = nullptr;

    CameraPassport plainPassport(const QString& did)
    {
        return testpassports::plainPassport(*m_scenario, did);
    }

    // What the cloud's device pass gives: an app key pair, the cloud's
    // signature over the app public key and the shared key.
    CameraPassport signedPassport(const QString& did)
    {
        return testpassports::signedPassport(*m_scenario, did);
    }

    void setFaults(const QString& did, const char* json)
    {
        const QJsonObject f = QJsonDocument::fromJson(json).object();
        m_scenario->updateCamera(did, [f](SimCamera& c) { c.faults = f; });
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        m_scenario = new Scenario(this);
        QVERIFY(m_scenario->loadJson(kScenario));
        m_host = new SimP2pHost(m_scenario, this);
        QVERIFY(m_host->start());
        QCOMPARE(LibP2p::setDirectory(m_host->directoryAddress()), 0);
        QVERIFY(LibP2p::initialize() > 0);
        m_host->dispatcher().add(kReplyRequest, [](SimCameraSession& s, unsigned, const QByteArray& what) {
            QByteArray reply;
            if (what == "object")
                reply = "{\"ret\":0,\"angle\":50}";
            else if (what == "array")
                reply = "[1,2,3]";
            else if (what == "text")
                reply = "not json at all";
            else
                reply = paddedObject(what.toInt());
            s.sendIoCtrl(kReply, reply);
        });
    }

    void cleanupTestCase()
    {
        QCOMPARE(LibP2p::deInitialize(), 0);
        m_host->stop();
        LibP2p::setDirectory(QString());
    }

    void init() { setFaults("cam-a", "{}"); }

    void connectByUidStopsAStalledConnect()
    {
        setFaults("cam-a", R"({"p2p_stall": true})");
        LogCapture log;
        const int sid = IOTC_Get_SessionID();
        QVERIFY(sid >= 0);
        QElapsedTimer t;
        t.start();
        QCOMPARE(connectByUid(QStringLiteral("UID-cam-a"), sid, 1), -13);
        QVERIFY2(t.elapsed() >= 950 && t.elapsed() < 5000, QByteArray::number(t.elapsed()));
        QCOMPARE(log.count(kStopLine), 1);
        QVERIFY(log.contains(QStringLiteral("connect: \"UID-cam-a\"")));
        IOTC_Session_Close(sid);
    }

    void connectByUidFailingEarlyNeverStopsLater()
    {
        LogCapture log;
        int sid = IOTC_Get_SessionID();
        // The library's own code (not -13): the connect ended before the timer.
        QCOMPARE(connectByUid(QStringLiteral("UID-unknown"), sid, 1), IOTC_ER_UNKNOWN_UID);
        // The session id stays claimed: a stop arriving now would mark it
        // and make the next connect fail. Past the timer, a fresh connect of
        // the same id to a live camera must work.
        QTest::qWait(1300);
        QCOMPARE(log.count(kStopLine), 0);
        QCOMPARE(connectByUid(QStringLiteral("UID-cam-a"), sid, 1), sid);
        QTest::qWait(1200);
        QCOMPARE(log.count(kStopLine), 0);
        IOTCSessionInfo info;
        QCOMPARE(IOTC_Session_Check(sid, &info), 0);
        IOTC_Session_Close(sid);
    }

    void ioCtrlHelpers()
    {
        CameraPassport p = plainPassport("cam-b");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        const int av = c.avIndex();

        QJsonObject json;
        unsigned int type = 0;
        QCOMPARE(sendIoCtrl(av, kReplyRequest, "object"), 0);
        QCOMPARE(recvIoCtrlJson(av, type, json, 3000), 20);
        QCOMPARE(type, kReply);
        QCOMPARE(json.value("angle").toInt(), 50);

        // Not an object: the result is kept, the object is left alone.
        for (const char* what : {"array", "text"}) {
            QCOMPARE(sendIoCtrl(av, kReplyRequest, what), 0);
            QVERIFY(recvIoCtrlJson(av, type, json, 3000) > 0);
            QCOMPARE(json.value("angle").toInt(), 50);
        }
        // 2047 bytes end at the zeroed buffer's NUL; 2048 bytes fill the
        // buffer without one and must still be read exactly.
        for (int size : {2047, 2048}) {
            QJsonObject big;
            QCOMPARE(sendIoCtrl(av, kReplyRequest, QByteArray::number(size)), 0);
            QCOMPARE(recvIoCtrlJson(av, type, big, 3000), size);
            QCOMPARE(big.value("pad").toString().size(), size - 10);
        }
        // Nothing sent: the time-out, type untouched by the library.
        type = 12345;
        QJsonObject untouched{{"keep", 1}};
        QCOMPARE(recvIoCtrlJson(av, type, untouched, 100), AV_ER_TIMEOUT);
        QCOMPARE(untouched.value("keep").toInt(), 1);

        LogCapture log;
        QVERIFY(sendIoCtrl(9999, 1, QByteArray(8, '\0')) < 0);
        QVERIFY(log.contains(QStringLiteral("avSendIOCtrl error(%1)").arg(AV_ER_INVALID_ARG)));
    }

    void plainAccountAndConnectTwice()
    {
        LogCapture log;
        CameraPassport p = plainPassport("cam-a");
        auto dev = m_host->device("cam-a");
        const int loginsBefore = dev->acceptedLogins();
        CameraController c(&p);
        QVERIFY(!c.connected());
        QCOMPARE(c.avIndex(), -1);
        QCOMPARE(c.sessionId(), -1);
        QCOMPARE(c.connCamera(), 0);
        QVERIFY(c.connected());
        QCOMPARE(dev->lastViewAccount(), QByteArray("admin"));
        QCOMPARE(dev->acceptedLogins(), loginsBefore + 1);
        QVERIFY(log.contains(QStringLiteral("Mode=LAN")));
        QVERIFY(log.contains(QStringLiteral("[UID-cam-a] Mode=LAN")));
        QVERIFY(log.contains(QStringLiteral("device info VER[")));
        // No secret in the log.
        for (const QString& line : log.lines())
            QVERIFY2(!line.contains(QStringLiteral("secret-a")), qPrintable(line));

        const int av = c.avIndex();
        const int sid = c.sessionId();
        QCOMPARE(c.connCamera(), 0);
        QCOMPARE(log.count(QStringLiteral("already connected!!!!!!!!!!!!!!!!!!!!!!!")), 1);
        QCOMPARE(c.avIndex(), av);
        QCOMPARE(c.sessionId(), sid);
        QCOMPARE(dev->acceptedLogins(), loginsBefore + 1);

        QCOMPARE(c.stopPlay(), 0);
        QVERIFY(!c.connected());
        QVERIFY(log.contains(QStringLiteral("camera disconnected")));
        QTRY_COMPARE(dev->activeSessions(), 0);
        // stopPlay on a closed controller does nothing more.
        log.clear();
        QCOMPARE(c.stopPlay(), 0);
        QVERIFY(!log.contains(QStringLiteral("camera disconnected")));
    }

    void signedAccountAgreesOnMediaKey()
    {
        CameraPassport p = signedPassport("cam-b");
        const QByteArray expected = "{\"account\":\"admin\",\"public_key\":\"" + p.appPublicKey.toHex()
            + "\",\"sign\":\"" + p.signForAppData.toLatin1() + "\"}";
        QCOMPARE(CameraController::viewAccount(p), expected);
        QCOMPARE(p.appPublicKey.toHex().size(), 64);

        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        auto dev = m_host->device("cam-b");
        QCOMPARE(dev->lastViewAccount(), expected);
        QCOMPARE(dev->lastMediaKey().size(), 32);
        QCOMPARE(dev->lastMediaKey(), p.sharedKey);
    }

    void refusedCredentials_data()
    {
        QTest::addColumn<bool>("signedAccount");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("sign");
        QTest::newRow("plain, wrong password") << false << "wrong" << QString();
        QTest::newRow("signed, wrong password") << true << "wrong" << QString();
        QTest::newRow("signed, bad signature") << true << QString() << QString(128, QLatin1Char('0'));
    }

    void refusedCredentials()
    {
        QFETCH(bool, signedAccount);
        QFETCH(QString, password);
        QFETCH(QString, sign);
        CameraPassport p = signedAccount ? signedPassport("cam-a") : plainPassport("cam-a");
        if (!password.isEmpty())
            p.password = password;
        if (!sign.isEmpty())
            p.signForAppData = sign;
        LogCapture log;
        CameraController c(&p);
        QCOMPARE(c.connCamera(), AV_ER_WRONG_VIEWACC_PWD);
        QVERIFY(log.contains(QStringLiteral("avClientStart failed[%1]").arg(AV_ER_WRONG_VIEWACC_PWD)));
        QVERIFY(!c.connected());
        QCOMPARE(c.sessionId(), -1);
        QCOMPARE(c.avIndex(), AV_ER_WRONG_VIEWACC_PWD);
        QTRY_COMPARE(m_host->device("cam-a")->activeSessions(), 0);
        // It can connect again once the credentials are right.
        p = plainPassport("cam-a");
        QCOMPARE(c.connCamera(), 0);
    }

    void noResendIsClosedAgain()
    {
        setFaults("cam-a", R"({"p2p_no_resend": true})");
        LogCapture log;
        CameraPassport p = plainPassport("cam-a");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), -5);
        QVERIFY(log.contains(QStringLiteral("Resend disenable[0]")));
        QVERIFY(!c.connected());
        QCOMPARE(c.avIndex(), -1);
        QCOMPARE(c.sessionId(), -1);
        QTRY_COMPARE(m_host->device("cam-a")->activeSessions(), 0);
    }

    void offlineCamera()
    {
        m_scenario->updateCamera("cam-a", [](SimCamera& cam) { cam.online = false; });
        LogCapture log;
        CameraPassport p = plainPassport("cam-a");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), IOTC_ER_DEVICE_OFFLINE);
        QVERIFY(log.contains(QStringLiteral("IOTC_Connect_ByUID_Parallel error[%1]").arg(IOTC_ER_DEVICE_OFFLINE)));
        QCOMPARE(c.sessionId(), -1);
        m_scenario->updateCamera("cam-a", [](SimCamera& cam) { cam.online = true; });
        QCOMPARE(c.connCamera(), 0);
    }

    void abortDuringConnect()
    {
        setFaults("cam-a", R"({"p2p_stall": true})");
        LogCapture log;
        CameraPassport p = plainPassport("cam-a");
        CameraController c(&p);
        // Nothing to stop yet: abort is a no-op.
        c.abort();
        QVERIFY(!log.contains(QStringLiteral("stop connection for session")));
        std::atomic<int> result{1};
        QElapsedTimer sinceAbort;
        std::atomic<qint64> returnedAfter{-1};
        std::thread worker([&] {
            result = c.connCamera();
            returnedAfter = sinceAbort.elapsed();
        });
        QTest::qWait(300);
        QCOMPARE(result.load(), 1);
        sinceAbort.start();
        c.abort();
        worker.join();
        QCOMPARE(result.load(), -13);
        QVERIFY2(returnedAfter < 1500, QByteArray::number(returnedAfter.load()));
        QVERIFY(log.contains(QStringLiteral("stop connection for session")));
        QVERIFY(log.contains(QStringLiteral("IOTC_Connect_ByUID_Parallel error[-13]")));
        QVERIFY(!log.contains(kStopLine));
        QCOMPARE(c.sessionId(), -1);
        QVERIFY(!c.connected());
    }

    void connectTimeoutOfTheController()
    {
        setFaults("cam-a", R"({"p2p_stall": true})");
        LogCapture log;
        CameraPassport p = plainPassport("cam-a");
        CameraTimings timings;
        timings.connectTimeoutSeconds = 1;
        CameraController c(&p, timings);
        QElapsedTimer t;
        t.start();
        QCOMPARE(c.connCamera(), -13);
        QVERIFY(t.elapsed() >= 950);
        QCOMPARE(log.count(kStopLine), 1);
    }

    void destructorClosesTheSession()
    {
        auto dev = m_host->device("cam-b");
        {
            CameraPassport p = plainPassport("cam-b");
            CameraController c(&p);
            QCOMPARE(c.connCamera(), 0);
            QTRY_COMPARE(dev->activeSessions(), 1);
        }
        QTRY_COMPARE(dev->activeSessions(), 0);
    }
};

QTEST_GUILESS_MAIN(TstCameraConnect)
#include "tst_cameraconnect.moc"
