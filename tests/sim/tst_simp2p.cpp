// The emulated cameras: logins (plain, signed, refused), the key agreement,
// the IO-control dispatcher, scenario changes and faults, and the emulator
// executable as a child process.

#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/rdtapi.h"
#include "sim/device/simcameradevice.h"
#include "sim/device/simcamerasession.h"
#include "sim/device/simp2phost.h"
#include "sim/scenario/scenario.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <sodium.h>

namespace {

const char* const kScenario = R"({
  "seed": "tst-simp2p",
  "cameras": [
    {"did": "c1", "p2p_id": "UID-c1", "password": "pw-one"},
    {"did": "c2", "p2p_id": "UID-c2", "password": "pw-two"}
  ]
})";

struct AppKeys
{
    QByteArray pk = QByteArray(crypto_box_PUBLICKEYBYTES, '\0');
    QByteArray sk = QByteArray(crypto_box_SECRETKEYBYTES, '\0');
    AppKeys()
    {
        crypto_box_keypair(reinterpret_cast<unsigned char*>(pk.data()), reinterpret_cast<unsigned char*>(sk.data()));
    }
};

QByteArray sign(const QByteArray& message, const QByteArray& secretKey)
{
    QByteArray sig(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(message.constData()),
                         static_cast<unsigned long long>(message.size()),
                         reinterpret_cast<const unsigned char*>(secretKey.constData()));
    return sig;
}

QByteArray jsonAccount(const QByteArray& appPk, const QByteArray& signature)
{
    return "{\"account\":\"admin\",\"public_key\":\"" + appPk.toHex() + "\",\"sign\":\"" + signature.toHex() + "\"}";
}

} // namespace

class TstSimP2p : public QObject
{
    Q_OBJECT

private:
    Scenario* m_scenario = nullptr;
    SimP2pHost* m_host = nullptr;

    // Connects and logs in; returns the AV index (session id in *sid) or the
    // failing code (the session is then closed).
    int open(const char* uid, const QByteArray& account, const QByteArray& password, int* sid, int* resend = nullptr)
    {
        *sid = IOTC_Get_SessionID();
        int r = IOTC_Connect_ByUID_Parallel(uid, *sid);
        if (r < 0) {
            IOTC_Session_Close(*sid);
            return r;
        }
        int rs = -1;
        r = avClientStart2(*sid, account.constData(), password.constData(), 3, nullptr, 0, &rs);
        if (resend)
            *resend = rs;
        if (r < 0)
            IOTC_Session_Close(*sid);
        return r;
    }
    void close(int sid, int av)
    {
        avClientStop(av);
        IOTC_Session_Close(sid);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        m_scenario = new Scenario(this);
        QVERIFY(m_scenario->loadJson(kScenario));
        m_host = new SimP2pHost(m_scenario, this);
        QVERIFY(m_host->start());
        QCOMPARE(IOTC_Set_Directory(m_host->directoryAddress().toLatin1().constData()), 0);
        IOTC_Initialize2(0);
        avInitialize(16);
        RDT_Initialize();
        // An echo handler, as other parts of the emulator add theirs.
        m_host->dispatcher().add(0x7001, [](SimCameraSession& s, unsigned type, const QByteArray& payload) {
            s.sendIoCtrl(type + 1, payload + "|" + s.did().toUtf8() + "|" + QByteArray::number(s.mediaKey().size()));
        });
    }

    void cleanupTestCase()
    {
        m_host->stop();
        IOTC_Set_Directory(nullptr);
    }

    void plainLogin()
    {
        int sid = -1;
        int resend = -1;
        const int av = open("UID-c1", "admin", "pw-one", &sid, &resend);
        QVERIFY2(av >= 0, QByteArray::number(av));
        QCOMPARE(resend, 1);
        auto dev = m_host->device("c1");
        QVERIFY(dev);
        QCOMPARE(dev->lastViewAccount(), QByteArray("admin"));
        QVERIFY(dev->lastMediaKey().isEmpty());
        // The dispatcher answers on the session's thread.
        QCOMPARE(avSendIOCtrl(av, 0x7001, "ping", 4), 0);
        unsigned int type = 0;
        char buf[256];
        const int n = avRecvIOCtrl(av, &type, buf, sizeof buf, 3000);
        QCOMPARE(type, 0x7002u);
        QCOMPARE(QByteArray(buf, n), QByteArray("ping|c1|0"));
        // Unknown types are ignored, the session goes on.
        QCOMPARE(avSendIOCtrl(av, 0x7777, nullptr, 0), 0);
        QCOMPARE(avSendIOCtrl(av, 0x7001, "x", 1), 0);
        QVERIFY(avRecvIOCtrl(av, &type, buf, sizeof buf, 3000) > 0);
        close(sid, av);
        QTRY_COMPARE(dev->activeSessions(), 0);
    }

    void refusedLogins_data()
    {
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QByteArray>("password");
        AppKeys app;
        Scenario other;
        other.loadJson(R"({"seed": "another cloud"})");
        const QByteArray good = sign(app.pk, m_scenario->cloudSignSecretKey());
        QByteArray tampered = good;
        tampered[5] = char(tampered[5] ^ 1);
        QTest::newRow("wrong password") << QByteArray("admin") << QByteArray("pw-two");
        QTest::newRow("other user") << QByteArray("guest") << QByteArray("pw-one");
        QTest::newRow("signed by another cloud")
            << jsonAccount(app.pk, sign(app.pk, other.cloudSignSecretKey())) << QByteArray("pw-one");
        QTest::newRow("tampered signature") << jsonAccount(app.pk, tampered) << QByteArray("pw-one");
        QTest::newRow("signature of another key")
            << jsonAccount(AppKeys().pk, good) << QByteArray("pw-one");
        QTest::newRow("good signature, wrong password") << jsonAccount(app.pk, good) << QByteArray("nope");
        QTest::newRow("not JSON") << QByteArray("{\"account\":") << QByteArray("pw-one");
        QTest::newRow("short key") << jsonAccount(app.pk.left(16), good) << QByteArray("pw-one");
    }

    void refusedLogins()
    {
        QFETCH(QByteArray, account);
        QFETCH(QByteArray, password);
        auto dev = m_host->device("c1");
        const int refusedBefore = dev->refusedLogins();
        int sid = -1;
        QCOMPARE(open("UID-c1", account, password, &sid), AV_ER_WRONG_VIEWACC_PWD);
        QTRY_COMPARE(dev->refusedLogins(), refusedBefore + 1);
    }

    void signedLoginAgreesOnKey()
    {
        AppKeys app;
        const QByteArray account = jsonAccount(app.pk, sign(app.pk, m_scenario->cloudSignSecretKey()));
        int sid = -1;
        const int av = open("UID-c2", account, "pw-two", &sid);
        QVERIFY2(av >= 0, QByteArray::number(av));
        SimCamera cam;
        QVERIFY(m_scenario->camera("c2", &cam));
        QByteArray clientKey(crypto_box_BEFORENMBYTES, '\0');
        QCOMPARE(crypto_box_beforenm(reinterpret_cast<unsigned char*>(clientKey.data()),
                                     reinterpret_cast<const unsigned char*>(cam.boxPublicKey.constData()),
                                     reinterpret_cast<const unsigned char*>(app.sk.constData())),
                 0);
        auto dev = m_host->device("c2");
        QCOMPARE(dev->lastViewAccount(), account);
        QCOMPARE(dev->lastMediaKey().size(), 32);
        QCOMPARE(dev->lastMediaKey(), clientKey);
        // Handlers see the key too.
        QCOMPARE(avSendIOCtrl(av, 0x7001, "k", 1), 0);
        unsigned int type = 0;
        char buf[64];
        const int n = avRecvIOCtrl(av, &type, buf, sizeof buf, 3000);
        QCOMPARE(QByteArray(buf, n), QByteArray("k|c2|32"));
        close(sid, av);
    }

    void offlineAndBack()
    {
        int sid = -1;
        const int av = open("UID-c2", "admin", "pw-two", &sid);
        QVERIFY(av >= 0);
        m_scenario->updateCamera("c2", [](SimCamera& c) { c.online = false; });
        unsigned int type;
        char buf[16];
        QTRY_COMPARE(avRecvIOCtrl(av, &type, buf, sizeof buf, 50), AV_ER_SESSION_CLOSE_BY_REMOTE);
        close(sid, av);
        int sid2 = -1;
        QCOMPARE(open("UID-c2", "admin", "pw-two", &sid2), IOTC_ER_DEVICE_OFFLINE);
        m_scenario->updateCamera("c2", [](SimCamera& c) { c.online = true; });
        const int av2 = open("UID-c2", "admin", "pw-two", &sid2);
        QVERIFY(av2 >= 0);
        close(sid2, av2);
    }

    void uidChangeRegistersAgain()
    {
        m_scenario->updateCamera("c2", [](SimCamera& c) { c.p2pId = QStringLiteral("UID-c2-new"); });
        int sid = -1;
        QCOMPARE(open("UID-c2", "admin", "pw-two", &sid), IOTC_ER_DEVICE_OFFLINE);
        const int av = open("UID-c2-new", "admin", "pw-two", &sid);
        QVERIFY2(av >= 0, QByteArray::number(av));
        close(sid, av);
        m_scenario->updateCamera("c2", [](SimCamera& c) { c.p2pId = QStringLiteral("UID-c2"); });
    }

    void faults()
    {
        auto setFaults = [this](const char* json) {
            const QJsonObject f = QJsonDocument::fromJson(json).object();
            m_scenario->updateCamera("c1", [f](SimCamera& c) { c.faults = f; });
        };
        int sid = -1;
        int resend = -1;
        setFaults(R"({"p2p_no_resend": true})");
        int av = open("UID-c1", "admin", "pw-one", &sid, &resend);
        QVERIFY(av >= 0);
        QCOMPARE(resend, 0);
        close(sid, av);

        setFaults(R"({"p2p_refuse": true})");
        QCOMPARE(open("UID-c1", "admin", "pw-one", &sid), IOTC_ER_SESSION_REFUSED);

        setFaults("{}");
        av = open("UID-c1", "admin", "pw-one", &sid);
        QVERIFY(av >= 0);
        setFaults(R"({"p2p_drop": true})");
        char buf[16];
        unsigned int type;
        QTRY_COMPARE(avRecvIOCtrl(av, &type, buf, sizeof buf, 50), AV_ER_REMOTE_TIMEOUT_DISCONNECT);
        close(sid, av);

        setFaults(R"({"p2p_stall": true})");
        sid = IOTC_Get_SessionID();
        std::atomic<int> r{1};
        std::thread t([&] { r = IOTC_Connect_ByUID_Parallel("UID-c1", sid); });
        QTest::qWait(200);
        QCOMPARE(r.load(), 1);
        IOTC_Connect_Stop_BySID(sid);
        t.join();
        QCOMPARE(r.load(), IOTC_ER_CONNECT_STOPPED);
        IOTC_Session_Close(sid);
        setFaults("{}");
    }

    void executableAsChildProcess()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString scenarioPath = dir.filePath("scenario.json");
        QFile f(scenarioPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"seed": "child", "cameras": [{"did": "k1", "p2p_id": "UID-k1", "password": "kpw"}]})");
        f.close();
        QProcess sim;
        sim.setProgram(QStringLiteral(VC_BINARY_DIR "/sim/app/vucamera-sim"));
        sim.setArguments({"--scenario", scenarioPath, "--endpoints", dir.filePath("endpoints.json")});
        sim.start();
        QVERIFY(sim.waitForStarted(5000));
        QByteArray line;
        QTRY_VERIFY_WITH_TIMEOUT((line += sim.readAllStandardOutput()).contains('\n'), 10000);
        QVERIFY2(line.startsWith("ready "), line);
        const QJsonObject ep = QJsonDocument::fromJson(line.mid(6).trimmed()).object();
        const QString directory = ep.value("p2p_directory").toString();
        QVERIFY(directory.startsWith("127.0.0.1:"));
        QFile written(dir.filePath("endpoints.json"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(written.readAll()).object().value("p2p_directory").toString(), directory);

        QCOMPARE(IOTC_Set_Directory(directory.toLatin1().constData()), 0);
        int sid = -1;
        const int av = open("UID-k1", "admin", "kpw", &sid);
        QCOMPARE(IOTC_Set_Directory(m_host->directoryAddress().toLatin1().constData()), 0);
        QVERIFY2(av >= 0, QByteArray::number(av));
        close(sid, av);
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TstSimP2p)
#include "tst_simp2p.moc"
