// The emulator's own promises that the product's tests do not prove: the
// emulated camera's strict logins, and the fault knobs and changes that the
// camera tests do not use.
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "sim/device/simcameradevice.h"
#include "tests/support/simhome.h"

#include <QtTest>

namespace {

QByteArray sign(const QByteArray& message, const QByteArray& secretKey)
{
    QByteArray sig(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<uchar*>(sig.data()), nullptr, reinterpret_cast<const uchar*>(message.constData()),
                         quint64(message.size()), reinterpret_cast<const uchar*>(secretKey.constData()));
    return sig;
}

QByteArray account(const QByteArray& publicKey, const QByteArray& signature, const char* user = "admin")
{
    return QByteArray("{\"account\":\"") + user + "\",\"public_key\":\"" + publicKey.toHex() + "\",\"sign\":\""
        + signature.toHex() + "\"}";
}

// Connects and logs in: the AV index (the session id in *sid), or the code.
int open(const char* uid, const QByteArray& acc, const QByteArray& password, int* sid, int* resend = nullptr)
{
    *sid = IOTC_Get_SessionID();
    int r = IOTC_Connect_ByUID_Parallel(uid, *sid);
    if (r >= 0)
        r = avClientStart2(*sid, acc.constData(), password.constData(), 10, nullptr, 0, resend);
    if (r < 0)
        IOTC_Session_Close(*sid);
    return r;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

    SimHome m_home;

private slots:
    void initTestCase() { QVERIFY(m_home.start(R"({"seed": "tst-sim", "cameras": [{"did": "c1", "password": "pw-one"}]})", SimHome::Cameras)); }

    void refusedLogins_data()
    {
        QTest::addColumn<QByteArray>("account");
        QTest::addColumn<QByteArray>("password");
        const QByteArray pk = m_home.signedPassport("c1").appPublicKey, good = sign(pk, m_home.scenario->cloudSignSecretKey());
        QByteArray tampered = good;
        tampered[5] = char(tampered[5] ^ 1);
        Scenario other;
        other.loadJson(R"({"seed": "another cloud"})");
        const QByteArray pw("pw-one");
        QTest::newRow("wrong password") << QByteArray("admin") << QByteArray("pw-two");
        QTest::newRow("other user") << QByteArray("guest") << pw;
        QTest::newRow("signed by another cloud") << account(pk, sign(pk, other.cloudSignSecretKey())) << pw;
        QTest::newRow("tampered signature") << account(pk, tampered) << pw;
        QTest::newRow("signature of another key") << account(m_home.signedPassport("c1").appPublicKey, good) << pw;
        QTest::newRow("signed, wrong password") << account(pk, good) << QByteArray("nope");
        QTest::newRow("signed, other user") << account(pk, good, "guest") << pw;
        QTest::newRow("key as Base64") << account(pk, good).replace(pk.toHex(), pk.toBase64()) << pw;
        QTest::newRow("short key") << account(pk.left(16), good) << pw;
        QTest::newRow("not JSON") << QByteArray("{\"account\":") << pw;
    }
    // The camera lets in only its password with "admin" or with a view
    // account that the cloud signed.
    void refusedLogins()
    {
        QFETCH(QByteArray, account);
        QFETCH(QByteArray, password);
        auto dev = m_home.p2p->device("c1");
        const int refused = dev->refusedLogins();
        int sid = -1;
        QCOMPARE(open("UID-c1", account, password, &sid), AV_ER_WRONG_VIEWACC_PWD);
        QTRY_COMPARE(dev->refusedLogins(), refused + 1);
    }

    void faultsAndChanges_data()
    {
        QTest::addColumn<QByteArray>("change");
        QTest::addColumn<int>("connect"); // what a new connect gets, 0: a login
        QTest::addColumn<int>("heard");   // what the session open before the change hears
        QTest::newRow("p2p_refuse") << QByteArray(R"({"p2p_refuse": true})") << IOTC_ER_SESSION_REFUSED << int(AV_ER_TIMEOUT);
        QTest::newRow("p2p_drop") << QByteArray(R"({"p2p_drop": true})") << 0 << int(AV_ER_REMOTE_TIMEOUT_DISCONNECT);
        QTest::newRow("new UID") << QByteArray("uid") << IOTC_ER_DEVICE_OFFLINE << int(AV_ER_SESSION_CLOSE_BY_REMOTE);
    }
    // A change applies at once, to the session open and to new ones.
    void faultsAndChanges()
    {
        QFETCH(QByteArray, change);
        QFETCH(int, connect);
        QFETCH(int, heard);
        int sid = -1, sid2 = -1;
        const int av = open("UID-c1", "admin", "pw-one", &sid);
        QVERIFY(av >= 0);
        auto restore = qScopeGuard([this] { m_home.setCamera("c1", [](SimCamera& c) { c.faults = {}; c.p2pId = "UID-c1"; }); });
        if (change == "uid")
            m_home.setCamera("c1", [](SimCamera& c) { c.p2pId = QStringLiteral("UID-c1-new"); });
        else
            m_home.setCameraFaults("c1", change);
        unsigned type;
        char buf[8];
        QTRY_COMPARE(avRecvIOCtrl(av, &type, buf, sizeof buf, 50), heard);
        IOTC_Session_Close(sid);
        QElapsedTimer t; // a directory that lags behind fails the connect otherwise
        t.start();
        int r;
        while ((r = open("UID-c1", "admin", "pw-one", &sid2)) != connect && (connect || r < 0) && t.elapsed() < 10000)
            QTest::qWait(50);
        QVERIFY2(r == connect || (!connect && r >= 0), QByteArray::number(r));
        IOTC_Session_Close(sid2);
        QVERIFY(change != "uid" || open("UID-c1-new", "admin", "pw-one", &sid2) >= 0);
        IOTC_Session_Close(sid2);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
