#include "cloudtestfixture.h"

#include "cloud/requestsigner.h"
#include "cloud/vustat.h"
#include "sim/cloud/simcertificates.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QUrlQuery>

using namespace cloudtest;

// The emulated cloud itself: certificates, the sign-in page, and how
// strictly the home API and the statistics service check what they get.
class TestSimCloud : public QObject
{
    Q_OBJECT

    CloudFixture m_fx;

    struct Answer
    {
        int status = 0;
        QByteArray body;
        QList<QByteArray> setCookies;
        QString location;
    };

    static Answer finish(QNetworkReply* r)
    {
        QSignalSpy done(r, &QNetworkReply::finished);
        if (!r->isFinished())
            done.wait(5000);
        Answer a;
        a.status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        a.body = r->readAll();
        for (const auto& h : r->rawHeaderPairs()) {
            if (h.first.toLower() == "set-cookie")
                a.setCookies += h.second.split('\n');
        }
        a.location = QString::fromLatin1(r->rawHeader("Location"));
        r->deleteLater();
        return a;
    }

    static QNetworkRequest request(const QString& url)
    {
        QNetworkRequest req{QUrl(url)};
        req.setSslConfiguration(Endpoints::sslConfiguration());
        return req;
    }

    Answer postHome(QNetworkAccessManager& nam, const QString& path, const QByteArray& body,
                    const QByteArray& cookie, const QByteArray& type = "application/x-www-form-urlencoded")
    {
        QNetworkRequest req = request(Endpoints::current().homeApi + "/app" + path);
        req.setRawHeader("Content-Type", type);
        if (!cookie.isEmpty())
            req.setRawHeader("Cookie", cookie);
        return finish(nam.post(req, body));
    }

    QByteArray sessionCookie() const
    {
        return ("userId=" + apiUserId() + "; serviceToken=" + apiServiceToken()).toLatin1();
    }

private slots:
    void initTestCase() { QVERIFY(m_fx.start()); }
    void init()
    {
        m_fx.setFaults("{}");
        m_fx.signIn();
    }
    void cleanupTestCase() { m_fx.stop(); }

    void certificatesAreMadeOnceAndReused()
    {
        QTemporaryDir dir;
        QByteArray ca;
        {
            SimCertificates c;
            QVERIFY(c.prepare(dir.path()));
            QFile f(c.caFile());
            QVERIFY(f.open(QIODevice::ReadOnly));
            ca = f.readAll();
        }
        const QList<QSslCertificate> server = QSslCertificate::fromPath(dir.path() + "/server.pem");
        QCOMPARE(server.size(), 1);
        const auto san = server.first().subjectAlternativeNames();
        QVERIFY(san.values(QSsl::IpAddressEntry).contains("127.0.0.1"));
        QVERIFY(san.values(QSsl::DnsEntry).contains("localhost"));
        QCOMPARE(QFile(dir.path() + "/server.key").permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        {
            SimCertificates again;
            QVERIFY(again.prepare(dir.path()));
            QFile f(again.caFile());
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), ca);
        }
        // A damaged set is made anew.
        QFile broken(dir.path() + "/server.pem");
        QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("garbage");
        broken.close();
        SimCertificates fresh;
        QVERIFY(fresh.prepare(dir.path()));
        QFile f(fresh.caFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll() != ca);
    }

    void endpointsFileKeepsOtherEntries()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/sub/endpoints.json";
        QDir().mkpath(dir.path() + "/sub");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(R"({"p2p_directory": "127.0.0.1:4242"})");
        f.close();
        QVERIFY(m_fx.cloud->writeEndpointsFile(path));
        bool ok = false;
        const Endpoints e = Endpoints::load(path, &ok);
        QVERIFY(ok);
        QCOMPARE(e.p2pDirectory, QString("127.0.0.1:4242"));
        QCOMPARE(e.homeApi, m_fx.cloud->endpoints().value("home_api").toString());
        QCOMPARE(e.caCertFile, m_fx.cloud->caFile());
        QVERIFY(e.account.startsWith("https://127.0.0.1:"));
        QVERIFY(e.accountApi.startsWith("http://127.0.0.1:"));
    }

    void endpointsDefaultsAndBadFile()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/bad.json";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[1,2");
        f.close();
        bool ok = true;
        LogCapture log;
        const Endpoints e = Endpoints::load(path, &ok);
        QVERIFY(!ok);
        QVERIFY(log.contains("is not a JSON object"));
        QVERIFY(e.account.startsWith("https://127.0.0.1"));
        QCOMPARE(e.cookieDomain, QString("127.0.0.1"));
        qputenv("VUCAMERA_ENDPOINTS", path.toUtf8());
        QCOMPARE(Endpoints::defaultFilePath(), path);
        qunsetenv("VUCAMERA_ENDPOINTS");
        QVERIFY(Endpoints::defaultFilePath().endsWith("/vucamera-sim/endpoints.json"));
    }

    void signInPageFlow()
    {
        QNetworkAccessManager nam;
        const QString account = Endpoints::current().account;
        const QString page = account + "/pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN";
        Answer a = finish(nam.get(request(page)));
        QCOMPARE(a.status, 200);
        QVERIFY(a.body.contains("name=\"user\""));
        QVERIFY(a.body.contains("name=\"password\""));

        auto submit = [&](const QByteArray& user, const QByteArray& password) {
            QNetworkRequest req = request(account + "/pass/login");
            req.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
            return finish(nam.post(req, "user=" + user + "&password=" + password));
        };
        a = submit("1234567890", "wrong");
        QCOMPARE(a.status, 200);
        QVERIFY(a.body.contains("Wrong user id or password."));
        QVERIFY(a.setCookies.isEmpty());
        a = submit("nobody", "secret");
        QVERIFY(a.body.contains("Wrong user id or password."));

        a = submit("1234567890", "secret");
        QCOMPARE(a.status, 302);
        QCOMPARE(a.location, account + "/pass/auth/security/home");
        QCOMPARE(a.setCookies.size(), 3);
        QMap<QString, QString> values;
        for (const QByteArray& c : a.setCookies) {
            const QList<QNetworkCookie> parsed = QNetworkCookie::parseCookies(c);
            QCOMPARE(parsed.size(), 1);
            QVERIFY(parsed.first().isHttpOnly());
            QVERIFY(parsed.first().isSecure());
            values.insert(QString::fromLatin1(parsed.first().name()), QString::fromLatin1(parsed.first().value()));
        }
        QCOMPARE(values.value("passToken"), kPassToken);
        QCOMPARE(values.value("userId"), kUserId);
        QCOMPARE(values.value("deviceId"), QString("pcdev1"));

        // The cookie jar now carries the sign-in.
        a = finish(nam.get(request(account + "/pass/auth/security/home")));
        QCOMPARE(a.status, 200);
        QVERIFY(a.body.contains("Alex"));
        a = finish(nam.get(request(page)));
        QCOMPARE(a.status, 302);

        // Logout clears the cookies and lands on the sign-in page.
        a = finish(nam.get(request(account + "/pass/logout?userId=1234567890&callback=x&_json=true&passive=true&hidden=false")));
        QCOMPARE(a.status, 302);
        QVERIFY(a.location.startsWith(account + "/pass/serviceLogin"));
        a = finish(nam.get(request(account + "/pass/auth/security/home")));
        QCOMPARE(a.status, 302);
        QVERIFY(a.location.startsWith(account + "/pass/serviceLogin"));
    }

    void homeApiRefusesBadRequests()
    {
        QNetworkAccessManager nam;
        const QString path = "/homeroom/getroom";
        auto fields = [&]() {
            return RequestSigner::signedFields(path, QJsonObject(), apiSsecurity(), RequestSigner::makeNonce());
        };
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(fields()), sessionCookie()).status, 200);
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(fields()), QByteArray()).status, 401);
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(fields()), "userId=2222222222; serviceToken=" + apiServiceToken().toLatin1()).status, 401);
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(fields()), sessionCookie(), "text/plain").status, 400);

        QHash<QString, QString> f = fields();
        f["signature"] = QString(f["signature"]).replace(0, 1, f["signature"][0] == 'A' ? "B" : "A");
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(f), sessionCookie()).status, 403);

        // Signed over another path.
        QCOMPARE(postHome(nam, "/home/device_list", RequestSigner::encodeBody(fields()), sessionCookie()).status, 403);

        // A nonce with a byte above 127.
        QByteArray nb = QByteArray::fromBase64(RequestSigner::makeNonce().toLatin1());
        nb[0] = char(0xC0);
        f = RequestSigner::signedFields(path, QJsonObject(), apiSsecurity(), QString::fromLatin1(nb.toBase64()));
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(f), sessionCookie()).status, 400);

        // A missing field.
        f = fields();
        f.remove("rc4_hash__");
        QCOMPARE(postHome(nam, path, RequestSigner::encodeBody(f), sessionCookie()).status, 400);

        // An unknown API path, properly signed.
        const QHash<QString, QString> unknown =
            RequestSigner::signedFields("/home/nothing", QJsonObject(), apiSsecurity(), RequestSigner::makeNonce());
        QCOMPARE(postHome(nam, "/home/nothing", RequestSigner::encodeBody(unknown), sessionCookie()).status, 404);
    }

    void statisticsServiceChecksSign()
    {
        QNetworkAccessManager nam;
        m_fx.cloud->clearStatReports();
        const QByteArray cipher = VuStat::encrypt(VuStat::actionReport("click_logout_btn", 7).toJson(), VuStat::reportKey());
        QMap<QString, QString> items = VuStat::uploadItems(QString::fromLatin1(cipher.toHex()));
        auto send = [&](const QMap<QString, QString>& its) {
            QUrlQuery q;
            for (auto it = its.constBegin(); it != its.constEnd(); ++it)
                q.addQueryItem(it.key(), it.value());
            QUrl url(Endpoints::current().stats + "/vustats/v2");
            url.setQuery(q);
            return finish(nam.get(QNetworkRequest(url))).status;
        };
        QCOMPARE(send(items), 200);
        QCOMPARE(m_fx.cloud->statReports().size(), 1);
        QMap<QString, QString> tampered = items;
        tampered["version"] = "9.9.9";
        QCOMPARE(send(tampered), 403);
        QMap<QString, QString> missing = items;
        missing.remove("channel");
        QCOMPARE(send(missing), 400);
        QMap<QString, QString> junk = items;
        junk["stat_value"] = "00112233";
        junk["sign"] = VuStat::sign([&] { auto j = junk; j.remove("sign"); return j; }());
        QCOMPARE(send(junk), 400);
        QCOMPARE(m_fx.cloud->statReports().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestSimCloud)
#include "tst_simcloud.moc"
