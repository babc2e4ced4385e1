#include "cloudtestfixture.h"

#include "cloud/coreapi.h"
#include "cloud/servicelogin.h"
#include "sim/cloud/simcertificates.h"

#include <QCryptographicHash>
#include "tests/support/threadsafespy.h"
#include <QUrlQuery>

using namespace cloudtest;

// Both steps of the service login against the emulated account service,
// each failure of its table, and where TLS trust comes from.
class TestServiceLogin : public QObject
{
    Q_OBJECT

    CloudFixture m_fx;

    struct Outcome
    {
        int ok = 0;
        int fail = 0;
        int netError = 0;
        QString token;
        QString ssecurity;
        QNetworkReply::NetworkError error = QNetworkReply::NoError;
    };

    Outcome run(ServiceLogin& login, const QString& passToken = kPassToken, int waitMs = 5000)
    {
        ThreadSafeSpy ok(&login, &ServiceLogin::onServiceLogin);
        ThreadSafeSpy fail(&login, &ServiceLogin::onServiceLoginFail);
        ThreadSafeSpy net(&login, &ServiceLogin::onNetworkError);
        login.login("velmorio", kUserId, passToken, "pcdev1");
        QElapsedTimer t;
        t.start();
        while (ok.isEmpty() && fail.isEmpty() && net.isEmpty() && t.elapsed() < waitMs)
            QTest::qWait(20);
        QTest::qWait(50); // nothing else may follow
        Outcome o;
        o.ok = ok.size();
        o.fail = fail.size();
        o.netError = net.size();
        if (!ok.isEmpty()) {
            o.token = ok.first().value(0).toString();
            o.ssecurity = ok.first().value(1).toString();
        }
        if (!net.isEmpty())
            o.error = net.first().value(0).value<QNetworkReply::NetworkError>();
        return o;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QNetworkReply::NetworkError>();
        QVERIFY(m_fx.start());
    }
    void init()
    {
        m_fx.setFaults("{}");
        Endpoints::setCurrent(Endpoints::fromJson(m_fx.cloud->endpoints()));
        m_fx.cloud->state()->clearRequests();
    }
    void cleanupTestCase() { m_fx.stop(); }

    void clientSignRule()
    {
        const QString ss = QStringLiteral("AbCd+/==");
        const QByteArray digest = QCryptographicHash::hash("nonce=-42&AbCd+/==", QCryptographicHash::Sha1);
        const QString expected = QString::fromLatin1(digest.toBase64())
                                     .replace("+", "%2B").replace("/", "%2F").replace("=", "%3D");
        QCOMPARE(ServiceLogin::clientSign(-42, ss), expected);
        QVERIFY(ServiceLogin::clientSign(123, ss).endsWith("%3D"));
    }

    void successAndTheSessionWorks()
    {
        ServiceLogin login;
        const Outcome o = run(login);
        QCOMPARE(o.ok, 1);
        QCOMPARE(o.fail + o.netError, 0);
        QVERIFY(!o.token.isEmpty());
        QVERIFY(!QByteArray::fromBase64(o.ssecurity.toLatin1()).isEmpty());

        // Step 1 as the server saw it.
        const QList<SimRequestRecord> reqs = m_fx.cloud->state()->requests();
        QVERIFY(reqs.size() >= 2);
        QCOMPARE(reqs[0].path, QString("/pass/serviceLogin"));
        QCOMPARE(reqs[0].target, QString("/pass/serviceLogin?sid=velmorio&_json=true&passive=true&hidden=fasle&userId=") + kUserId);
        QCOMPARE(reqs[0].cookie, QString("passToken=%1; userId=%2; deviceId=pcdev1").arg(kPassToken, kUserId));
        QCOMPARE(reqs[0].userAgent, QString("vucam_pc_v3"));
        QCOMPARE(reqs[1].path, QString("/sts"));
        QVERIFY(reqs[1].target.contains("&clientSign="));
        QCOMPARE(reqs[1].userAgent, QString("vucam_pc_v3"));

        // The issued credentials sign home API requests.
        setApiCredentials(kUserId, o.token, o.ssecurity);
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 0);
    }

    void emptyDeviceIdIsSent()
    {
        ServiceLogin login;
        ThreadSafeSpy ok(&login, &ServiceLogin::onServiceLogin);
        login.login("velmorio", kUserId, kPassToken, QString());
        QVERIFY(ok.wait(5000));
        QCOMPARE(m_fx.cloud->state()->requests().first().cookie,
                 QString("passToken=%1; userId=%2; deviceId=").arg(kPassToken, kUserId));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("no pragma") << "no_pragma" << "not found extension-pragma: ";
        QTest::newRow("pragma not json") << "bad_pragma" << "invalid format: nonce=1;ssecurity";
        QTest::newRow("no ssecurity") << "no_ssecurity" << "invalid format: ";
        QTest::newRow("no marker") << "no_marker" << "invalid format: {";
        QTest::newRow("bad json") << "bad_json" << "invalid format: &&&START&&&";
        QTest::newRow("empty object") << "empty_object" << "invalid format: &&&START&&&{}";
        QTest::newRow("code not 0") << "code_nonzero" << "login fail: service not allowed";
        QTest::newRow("no code") << "no_code" << "login fail: ok";
        QTest::newRow("no cookie") << "no_cookie" << "serviceToken is empty";
        QTest::newRow("empty cookie") << "empty_cookie" << "serviceToken is empty";
        QTest::newRow("cookie name case") << "lowercase_cookie" << "serviceToken is empty";
    }
    void failures()
    {
        QFETCH(QString, mode);
        QFETCH(QString, logLine);
        m_fx.setFaults(QStringLiteral(R"({"service_login": "%1"})").arg(mode).toUtf8());
        LogCapture log;
        ServiceLogin login;
        const Outcome o = run(login);
        QCOMPARE(o.fail, 1);
        QCOMPARE(o.ok + o.netError, 0);
        QVERIFY2(log.contains(logLine), qUtf8Printable(log.lines().join('\n')));
    }

    void tolerantForms()
    {
        // "code" as a string counts as 0; a string nonce counts as 0 and the
        // signature is made over 0; only the first "serviceToken" counts.
        for (const char* mode : {"string_code", "string_nonce", "two_cookies"}) {
            m_fx.setFaults(QStringLiteral(R"({"service_login": "%1"})").arg(QLatin1String(mode)).toUtf8());
            ServiceLogin login;
            const Outcome o = run(login);
            QVERIFY2(o.ok == 1, mode);
            QVERIFY(o.token != QLatin1String("second"));
        }
    }

    void noLocationStillGoesToStepTwo()
    {
        m_fx.setFaults(R"({"service_login": "no_location"})");
        LogCapture log;
        ServiceLogin login;
        const Outcome o = run(login);
        // "&clientSign=..." alone is no address to fetch.
        QCOMPARE(o.netError, 1);
        QVERIFY(log.contains("handleLoginReply: reply error"));
    }

    void wrongPassToken()
    {
        ServiceLogin login;
        const Outcome o = run(login, "PT-not-a-valid-token");
        QCOMPARE(o.fail, 1);
    }

    void httpErrors()
    {
        m_fx.setFaults(R"({"http_status": {"/pass/serviceLogin": 500}})");
        LogCapture log;
        ServiceLogin one;
        Outcome o = run(one);
        QCOMPARE(o.netError, 1);
        QVERIFY(log.contains("onAuthInfoReply: reply error"));

        m_fx.setFaults(R"({"http_status": {"/sts": 403}})");
        ServiceLogin two;
        o = run(two);
        QCOMPARE(o.netError, 1);
        QCOMPARE(o.error, QNetworkReply::ContentAccessDenied);
        QVERIFY(log.contains("handleLoginReply: reply error"));
    }

    void secondLoginReplacesFirst()
    {
        m_fx.setFaults(R"({"delay_ms": {"/pass/serviceLogin": 600}})");
        ServiceLogin login;
        ThreadSafeSpy ok(&login, &ServiceLogin::onServiceLogin);
        ThreadSafeSpy fail(&login, &ServiceLogin::onServiceLoginFail);
        ThreadSafeSpy net(&login, &ServiceLogin::onNetworkError);
        login.login("velmorio", kUserId, "PT-not-a-valid-token", "pcdev1");
        QTest::qWait(100);
        login.login("velmorio", kUserId, kPassToken, "pcdev1");
        QVERIFY(ok.wait(5000));
        QTest::qWait(1000);
        QCOMPARE(ok.size(), 1);
        QCOMPARE(fail.size() + net.size(), 0);
    }

    void loginAgainFromAFailureHandler()
    {
        // The owner may retry straight from the failure signal, while the
        // failed reply is still being handled.
        m_fx.setFaults(R"({"service_login": "no_pragma"})");
        ServiceLogin login;
        int failures = 0;
        connect(&login, &ServiceLogin::onServiceLoginFail, this, [&]() {
            if (++failures == 1) {
                m_fx.setFaults("{}");
                login.login("velmorio", kUserId, kPassToken, "pcdev1");
            }
        });
        ThreadSafeSpy ok(&login, &ServiceLogin::onServiceLogin);
        login.login("velmorio", kUserId, kPassToken, "pcdev1");
        QVERIFY(ok.wait(5000));
        QCOMPARE(failures, 1);
    }

    void untrustedCertificateFailsAndLogs()
    {
        // Without the emulator's CA the certificate does not verify: the
        // request must fail, not go on with the pass token.
        Endpoints e = Endpoints::fromJson(m_fx.cloud->endpoints());
        e.caCertFile.clear();
        Endpoints::setCurrent(e);
        LogCapture log;
        ServiceLogin login;
        const Outcome o = run(login);
        QCOMPARE(o.netError, 1);
        QCOMPARE(o.error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY(log.contains("handle ssl errors for:"));
        QVERIFY(log.contains("ssl error:"));
        // The server never saw the request.
        QVERIFY(m_fx.cloud->state()->requests().isEmpty());
    }

    void foreignCaIsNotTrusted()
    {
        // A CA of another emulator instance does not vouch for this server.
        QTemporaryDir other;
        SimCertificates foreign;
        QVERIFY(foreign.prepare(other.path()));
        Endpoints e = Endpoints::fromJson(m_fx.cloud->endpoints());
        e.caCertFile = foreign.caFile();
        Endpoints::setCurrent(e);
        ServiceLogin login;
        const Outcome o = run(login);
        QCOMPARE(o.error, QNetworkReply::SslHandshakeFailedError);

        // The home API trusts the same way.
        m_fx.signIn();
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 1);
        QVERIFY(m_fx.cloud->state()->requests().isEmpty());

        // With the right CA again, both work.
        Endpoints::setCurrent(Endpoints::fromJson(m_fx.cloud->endpoints()));
        ServiceLogin again;
        QCOMPARE(run(again).ok, 1);
        CoreApi api2;
        QCOMPARE(api2.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 0);
    }

    void stepOneTimeout()
    {
        m_fx.setFaults(R"({"delay_ms": {"/pass/serviceLogin": 12000}})");
        LogCapture log;
        ServiceLogin login;
        const Outcome o = run(login, kPassToken, 11500);
        QCOMPARE(o.netError, 1);
        QCOMPARE(o.error, QNetworkReply::OperationCanceledError);
        QVERIFY(log.contains("reply timeout, and abort it"));
    }
};

QTEST_GUILESS_MAIN(TestServiceLogin)
#include "tst_servicelogin.moc"
