// The emulator's own promises that the product's tests do not prove: the
// emulated camera's strict logins and wire rules, and the fault knobs and
// changes that the camera tests do not use.
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/rdtapi.h"
#include "sim/control/controlserver.h"
#include "sim/device/simcameradevice.h"
#include "sim/devicefeatures/simtimeline.h"
#include "tests/support/simhome.h"

#include <QTcpSocket>
#include <QtTest>
#include <httplib.h>

namespace {

// What a row of wireRules sends besides IO-control messages.
enum Kind { Login = -1, TimelineRequest = -2, NoCard = -3 };
constexpr unsigned kUnknown = 0x7E57; // a command no camera knows

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

    bool recorded(const QString& message) const
    {
        for (const SimViolation& v : m_home.p2p->violations().list())
            if (v.message == message)
                return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.start(R"({"seed": "tst-sim", "cameras": [{"did": "c1", "password": "pw-one"},
                                {"did": "c2", "password": "pw-two", "sdcard": false}]})", SimHome::Cameras));
    }

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
        QTest::newRow("signed by another cloud") << account(pk, sign(pk, other.cloudSignSecretKey())) << pw;
        QTest::newRow("tampered signature") << account(pk, tampered) << pw;
        QTest::newRow("signature of another key") << account(m_home.signedPassport("c1").appPublicKey, good) << pw;
        QTest::newRow("signed, wrong password") << account(pk, good) << QByteArray("nope");
    }
    // The camera lets in only its password with "admin" or with a view
    // account that the cloud signed; a well-formed login that fails is no
    // violation of the wire.
    void refusedLogins()
    {
        QFETCH(QByteArray, account);
        QFETCH(QByteArray, password);
        auto dev = m_home.p2p->device("c1");
        const int refused = dev->refusedLogins();
        int sid = -1;
        QCOMPARE(open("UID-c1", account, password, &sid), AV_ER_WRONG_VIEWACC_PWD);
        QTRY_COMPARE(dev->refusedLogins(), refused + 1);
        QVERIFY(m_home.takeViolations().isEmpty());
    }

    void wireRules_data()
    {
        QTest::addColumn<int>("kind"); // the IO-control type, or a Kind
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("rule"); // part of the rule broken; empty: none
        const QByteArray zeros(8, '\0'), pk = m_home.signedPassport("c1").appPublicKey;
        const QByteArray good = sign(pk, m_home.scenario->cloudSignSecretKey()), signedLogin = account(pk, good);
        const QString members("the members must be exactly"), order("ascending order"), space("white space"),
            integer("JSON integer"), nul("terminating NUL"), eight("8 zero bytes"), request("value 6");
        const auto row = [](const char* name, int kind, const QByteArray& payload, const QString& rule = QString()) {
            QTest::newRow(name) << kind << payload << rule;
        };
        row("play", 0x1FF, R"({"enableaudio":1,"videoquality":2})");
        row("back to live", 0x1FF, zeros);
        row("play, member missing", 0x1FF, R"({"videoquality":2})", members);
        row("play, extra member", 0x1FF, R"({"enableaudio":0,"offset":0,"videoquality":2})", members);
        row("play, out of order", 0x1FF, R"({"videoquality":2,"enableaudio":1})", order);
        row("play, a space", 0x1FF, R"({"enableaudio":1, "videoquality":2})", space);
        row("play, a line break", 0x1FF, "{\"enableaudio\":1,\"videoquality\":2}\n", space);
        row("play, quality as a string", 0x1FF, R"({"enableaudio":1,"videoquality":"2"})", integer);
        row("play, audio 2", 0x1FF, R"({"enableaudio":2,"videoquality":2})", "0 or 1");
        row("play, terminating NUL", 0x1FF, QByteArray(R"({"enableaudio":1,"videoquality":2})", 35), nul);
        row("live, 7 zero bytes", 0x1FF, zeros.left(7), eight);
        row("live, 9 zero bytes", 0x1FF, zeros + '\0', eight);
        row("live, a one", 0x1FF, zeros.left(7) + '\1', eight);
        row("card open", 0x200, R"({"channel":1})");
        row("card open, channel 32", 0x200, R"({"channel":32})", "0-31");
        row("card open, channel 1.0", 0x200, R"({"channel":1.0})", integer);
        row("card open, no card", NoCard, R"({"channel":1})", "memory card");
        row("card close, channel 31", 0x201, R"({"channel":31})");
        row("card close, channel -1", 0x201, R"({"channel":-1})", "0-31");
        row("card close, channel as a string", 0x201, R"({"channel":"1"})", integer);
        row("card close, terminating NUL", 0x201, QByteArray(R"({"channel":1})", 14), nul);
        row("disconnect", 0x2FF, zeros);
        row("disconnect, empty", 0x2FF, QByteArray(), eight);
        row("audio on", 0x300, zeros);
        row("audio on, 4 zero bytes", 0x300, zeros.left(4), eight);
        row("audio off", 0x301, zeros);
        row("audio off, JSON", 0x301, R"({"enableaudio":0})", eight);
        row("quality", 0x320, R"({"videoquality":1})");
        row("quality, extra member", 0x320, R"({"enableaudio":1,"videoquality":1})", members);
        row("quality, negative", 0x320, R"({"videoquality":-1})", "negative");
        row("playback", 0xF001, R"({"autoswitchtolive":0,"endtime":1765000600,"offset":10,"sessionid":1765000000,"starttime":1765000000})");
        row("playback to the end", 0xF001, R"({"autoswitchtolive":1,"endtime":0,"offset":0,"sessionid":1765000000,"starttime":1765000000})");
        row("playback, sessionid other than starttime", 0xF001,
            R"({"autoswitchtolive":1,"endtime":0,"offset":0,"sessionid":1,"starttime":1765000000})", "\"sessionid\" must equal");
        row("playback, back to live with an end", 0xF001,
            R"({"autoswitchtolive":1,"endtime":1765000600,"offset":0,"sessionid":1765000000,"starttime":1765000000})", "autoswitchtolive");
        row("playback, no switch without an end", 0xF001,
            R"({"autoswitchtolive":0,"endtime":0,"offset":0,"sessionid":1765000000,"starttime":1765000000})", "autoswitchtolive");
        row("playback, offset missing", 0xF001, R"({"autoswitchtolive":1,"endtime":0,"sessionid":1765000000,"starttime":1765000000})", members);
        row("playback, out of order", 0xF001,
            R"({"autoswitchtolive":1,"endtime":0,"offset":0,"starttime":1765000000,"sessionid":1765000000})", order);
        row("motor", 0xF005, R"({"operation":4})");
        row("motor, operation 0", 0xF005, R"({"operation":0})", "1 to 4");
        row("motor, operation 5", 0xF005, R"({"operation":5})", "1 to 4");
        row("motor, a space", 0xF005, R"({"operation": 1})", space);
        row("timeline request", TimelineRequest, QByteArray("\x06\0\0\0", 4));
        row("timeline request, 3 bytes", TimelineRequest, QByteArray("\x06\0\0", 3), request);
        row("timeline request, 5 bytes", TimelineRequest, QByteArray("\x06\0\0\0\0", 5), request);
        row("timeline request, 7", TimelineRequest, QByteArray("\x07\0\0\0", 4), request);
        row("timeline request, big-endian", TimelineRequest, QByteArray("\0\0\0\x06", 4), request);
        row("login admin", Login, "admin");
        row("login signed", Login, signedLogin);
        row("login, other user", Login, "guest", "compact JSON");
        row("login signed, other user", Login, account(pk, good, "guest"), "\"account\" must be");
        row("login, sign missing", Login, signedLogin.left(signedLogin.indexOf(",\"sign\"")) + '}', members);
        row("login, extra member", Login, QByteArray(signedLogin).replace("\"sign\"", "\"resend\":\"1\",\"sign\""), members);
        row("login, out of order", Login, "{\"public_key\":\"" + pk.toHex() + "\",\"account\":\"admin\",\"sign\":\"" + good.toHex() + "\"}", order);
        row("login, a space", Login, QByteArray(signedLogin).replace(",\"sign\"", ", \"sign\""), space);
        row("login, key as Base64", Login, QByteArray(signedLogin).replace(pk.toHex(), pk.toBase64()), "\"public_key\"");
        row("login, upper-case key", Login, QByteArray(signedLogin).replace(pk.toHex(), pk.toHex().toUpper()), "\"public_key\"");
        row("login, short signature", Login, account(pk, good.left(32)), "\"sign\"");
        row("login, not JSON", Login, "{\"account\":", "compact JSON");
    }
    // Each command in its valid form passes; each malformed form is refused
    // with exactly its rule, without effect, and recorded once.
    void wireRules()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, payload);
        QFETCH(QString, rule);
        const char* uid = kind == NoCard ? "UID-c2" : "UID-c1";
        const QByteArray password = kind == NoCard ? "pw-two" : "pw-one";
        const int starts = SimDeviceFeatures::rdtStartRequests(kind == NoCard ? "c2" : "c1");
        int sid = -1;
        const int av = open(uid, kind == Login ? payload : QByteArray("admin"), password, &sid);
        auto close = qScopeGuard([&] { if (av >= 0) IOTC_Session_Close(sid); });
        QCOMPARE(av >= 0, kind != Login || rule.isEmpty()); // the login answer comes after its record
        QString message = QStringLiteral("login");
        if (kind == TimelineRequest) {
            message = QStringLiteral("rdt timeline request");
            QCOMPARE(avSendIOCtrl(av, 0x200, "{\"channel\":1}", 13), 0);
            const int rdt = RDT_Create(sid, 10000, 1);
            QVERIFY2(rdt >= 0, QByteArray::number(rdt));
            auto destroy = qScopeGuard([rdt] { RDT_Destroy(rdt); });
            QCOMPARE(RDT_Write(rdt, payload.constData(), payload.size()), payload.size());
            if (!rule.isEmpty()) { // the stream goes on serving after a refused request
                QTRY_VERIFY_WITH_TIMEOUT(recorded(message), 10000);
                QCOMPARE(RDT_Write(rdt, "\x06\0\0\0", 4), 4);
            }
            QByteArray reply;
            char buf[64];
            for (int n = 0; reply.size() < 20 && (n = RDT_Read(rdt, buf, int(sizeof buf), 10000)) > 0;)
                reply.append(buf, n);
            QCOMPARE(reply, SimTimeline::reply(m_home.camera("c1").recordings));
        } else if (kind != Login) {
            const unsigned type = kind == NoCard ? 0x200 : unsigned(kind);
            message = "ioctrl 0x" + QString::number(type, 16).toUpper();
            QCOMPARE(avSendIOCtrl(av, type, payload.constData(), payload.size()), 0);
            QCOMPARE(avSendIOCtrl(av, kUnknown, "?", 1), 0); // refused after the row's message
            QTRY_VERIFY_WITH_TIMEOUT(recorded(QStringLiteral("ioctrl 0x7E57")), 10000);
            QCOMPARE(m_home.p2p->violations().list().constLast().rule, QStringLiteral("a command the camera does not know"));
            QCOMPARE(SimDeviceFeatures::rdtStartRequests(kind == NoCard ? "c2" : "c1") - starts,
                     (type == 0x200 && rule.isEmpty()) || kind == NoCard ? 1 : 0);
            if (kind == NoCard) // and opens no stream
                QCOMPARE(RDT_Create(sid, 50, 1), RDT_ER_TIMEOUT);
        }
        QList<SimViolation> got = m_home.takeViolations();
        if (kind >= 0 || kind == NoCard)
            got.removeLast(); // the unknown command
        QCOMPARE(got.size(), rule.isEmpty() ? 0 : 1);
        if (!rule.isEmpty()) {
            QVERIFY2(got[0].rule.contains(rule), qPrintable(got[0].rule));
            QCOMPARE(got[0].message, message);
            QCOMPARE(got[0].payload, payload);
            QCOMPARE(got[0].did, QString::fromLatin1(uid + 4));
        }
    }

    // The control interface lists what the cameras refused, and empties the
    // list on request.
    void controlInterface()
    {
        ControlServer control(m_home.scenario.get(), &m_home.p2p->violations());
        const int port = control.start(0);
        QVERIFY(port > 0);
        m_home.p2p->violations().record("c1", "ioctrl 0x300", "\1", "the payload must be exactly 8 zero bytes");
        httplib::Client http("127.0.0.1", port);
        const auto listed = [](httplib::Result res) {
            return res && res->status == 200 ? QJsonDocument::fromJson(QByteArray::fromStdString(res->body))["violations"].toArray()
                                             : QJsonArray{"failed"};
        };
        const QJsonArray one{QJsonObject{{"did", "c1"}, {"message", "ioctrl 0x300"}, {"payload", "01"},
                                         {"rule", "the payload must be exactly 8 zero bytes"}}};
        QCOMPARE(listed(http.Get("/violations")), one);
        QCOMPARE(listed(http.Delete("/violations")), one);
        QCOMPARE(listed(http.Get("/violations")), QJsonArray());
    }

    // The directory and its cameras listen on the address they are given and
    // the directory answers that address, so clients of other machines can play.
    void camerasOnTheirAddress()
    {
        SimP2pHost lan(m_home.scenario.get());
        QVERIFY(!lan.start(0, QStringLiteral("127.0.0")));
        QVERIFY(lan.start(0, QStringLiteral("127.0.0.2")));
        QVERIFY(lan.directoryAddress().startsWith(QLatin1String("127.0.0.2:")));
        QTcpSocket dir;
        dir.connectToHost(QStringLiteral("127.0.0.2"), quint16(lan.directoryAddress().section(':', 1).toUInt()));
        QVERIFY(dir.waitForConnected(10000));
        dir.write("RESOLVE UID-c2\n");
        QTRY_VERIFY_WITH_TIMEOUT(dir.canReadLine(), 10000);
        QVERIFY2(dir.readLine().startsWith("AT 127.0.0.2 "), "the camera's own address");
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
