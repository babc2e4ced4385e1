// The embedded browser (one runtime for the whole program) against pages of
// a small local server and against the emulated account service: the web
// view's own rules, certificate trust, and the account session end to end
// on its own thread (sign-in page, service login, user card, the stored
// record, both ways of signing out).
#include "../cloud/cloudscenario.h"

#include "app/credentialstore.h"
#include "app/threadjoin.h"
#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "cloud/vuaccount.h"
#include "cloud/weblogin.h"
#include "sim/cloud/simcertificates.h"
#include "tests/support/logcapture.h"
#include "tests/support/queuedcall.h"
#include "tests/support/simhome.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <QtTest>

#include <httplib.h>
#include <mutex>
#include <openssl/x509.h>
#include <thread>

using namespace cloudtest;

namespace {

// Pages of a local server, with a count of the requests of each method and path.
class PageServer
{
public:
    PageServer()
    {
        m_server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_hits[QString::fromStdString(req.method + " " + req.path)];
            return httplib::Server::HandlerResponse::Unhandled;
        });
        auto page = [this](const char* path, int status, const std::string& body) {
            m_server.Get(path, [=](const httplib::Request&, httplib::Response& r) {
                r.status = status;
                if (!body.empty())
                    r.set_content("<html><head><title>t</title></head><body>" + body + "</body></html>", "text/html");
            });
        };
        for (const char* path : {"/ok", "/a", "/b"})
            page(path, 200, path);
        page("/created", 201, "created");
        page("/nf", 404, "not found");
        page("/nfe", 404, "");
        page("/err", 503, "unavailable");
        page("/form", 200, "<form method=post action=/post></form><form method=post action=/post200></form>");
        m_server.Post("/post", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/ok"); });
        m_server.Post("/post200", [](const httplib::Request&, httplib::Response& r) { r.set_content("posted", "text/html"); });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~PageServer()
    {
        m_server.stop();
        m_thread.join();
    }
    QUrl at(const QString& path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path)); }
    int hits(const QString& key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hits.value(key);
    }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    QMap<QString, int> m_hits;
};

QSslCertificate qtCert(X509* x)
{
    unsigned char* der = nullptr;
    const int n = i2d_X509(x, &der);
    const QSslCertificate c(QByteArray(reinterpret_cast<char*>(der), n), QSsl::Der);
    OPENSSL_free(der);
    return c;
}

// Everything an account session reports, collected on the GUI thread.
struct Events : QObject
{
    QStringList logins;
    int logouts = 0, serviceLogins = 0, autoLoginFails = 0;
    QList<QPair<QString, QByteArray>> cards;
    QList<int> netErrors;
    bool offGuiThread = false;

    explicit Events(VuAccount* a)
    {
        auto seen = [this] { offGuiThread = offGuiThread || QThread::currentThread() != thread(); };
        connect(a, &VuAccount::onAcccountLogin, this, [=](const QString& uid) { logins << uid, seen(); });
        connect(a, &VuAccount::onAccountLogout, this, [=] { ++logouts, seen(); });
        connect(a, &VuAccount::onAccountUserCardGot, this, [=](const QString& n, const QByteArray& i) { cards << qMakePair(n, i), seen(); });
        connect(a, &VuAccount::onVuotServiceLogin, this, [=] { ++serviceLogins, seen(); });
        connect(a, &VuAccount::onNetworkError, this, [=](QNetworkReply::NetworkError e) { netErrors << int(e), seen(); });
        connect(a, &VuAccount::onAutoLoginFail, this, [=] { ++autoLoginFails, seen(); });
    }
};

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

    SimHome m_home;
    PageServer m_pages;
    std::unique_ptr<MCefWebView> m_view; // the sign-in view of the account tests

    std::unique_ptr<MCefWebView> shownView(const QUrl& url = QUrl())
    {
        auto view = std::make_unique<MCefWebView>();
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->resize(440, 570);
        if (!url.isEmpty())
            view->load(url);
        view->show();
        return view;
    }
    static QVariant eval(MCefWebView* view, const QString& js)
    {
        auto result = std::make_shared<QPair<bool, QVariant>>();
        view->clientHandler()->runJavaScript(js, [result](const QVariant& r) { *result = qMakePair(true, r); });
        return QTest::qWaitFor([&] { return result->first; }, 30000) ? result->second : QVariant();
    }
    // Runs an action on the sign-in view and waits for a load that ends on path.
    bool landsOn(const QString& path, const std::function<void()>& action)
    {
        QSignalSpy finished(m_view.get(), &MCefWebView::loadFinished);
        action();
        return QTest::qWaitFor([&] { return !finished.isEmpty() && m_view->url().path() == path; }, 30000);
    }
    void submit(const QString& user, const QString& password)
    {
        m_view->runScript(QStringLiteral("document.getElementById('user').value='%1';document.getElementById('password')"
                                         ".value='%2';document.getElementById('submit').click();").arg(user, password));
    }
    QList<SimRequestRecord> requests(const QString& path) const
    {
        QList<SimRequestRecord> out;
        for (const SimRequestRecord& r : m_home.cloud->state()->requests())
            if (r.path == path)
                out << r;
        return out;
    }

private slots:
    void initTestCase()
    {
        // The first view starts the runtime, which trusts the emulator's CA for its hosts.
        QVERIFY(m_home.start(scenarioJson(), SimHome::Cloud, QString()));
        m_view = std::make_unique<MCefWebView>();
        m_view->setAttribute(Qt::WA_DeleteOnClose, false);
        m_view->resize(440, 570);
        QVERIFY(MCefLibPrivate::certificateTrust().hosts().contains(QStringLiteral("127.0.0.1")));
        CredentialStore::remove(QStringLiteral("account"));
    }
    void cleanupTestCase()
    {
        m_view.reset();
        MCefLibPrivate::shutdown();
        QVERIFY(!MCefLibPrivate::isRunning());
    }

    // A URL given while the browser is being made is stored and loaded once.
    void urlGivenWhileCreating_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("another") << "/a" << "/b";
        QTest::newRow("the same") << "/created" << "/created";
    }
    void urlGivenWhileCreating()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        const int before = m_pages.hits("GET " + second);
        auto view = shownView(m_pages.at(first));
        QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
        QCOMPARE(view->browserState(), 1);
        view->load(m_pages.at(second));
        QCOMPARE(view->url(), m_pages.at(second)); // stored, not yet loaded
        QTRY_VERIFY_WITH_TIMEOUT(view->url() == m_pages.at(second) && finished.count() == 1, 30000);
        view->load(m_pages.at("/ok")); // all of the first loads is reported by then
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
        QCOMPARE(m_pages.hits("GET " + second), before + 1);
        QCOMPARE(finished.first().at(0).toInt(), second == "/b" ? 200 : 201);
    }

    void sizeAndScripts()
    {
        MCefWebView view;
        view.setAttribute(Qt::WA_DeleteOnClose, false);
        QTest::ignoreMessage(QtWarningMsg, "web client is not ready");
        view.registerScript(QStringLiteral("document.title='x';"));
        QVERIFY(!view.clientHandler());
        view.resize(440, 570);
        view.show();
        QCOMPARE(view.browserState(), 1);
        view.resize(300, 200);
        QCOMPARE(view.browserSize(), QSize(440, 570)); // kept until the browser exists
        QTRY_COMPARE_WITH_TIMEOUT(view.browserState(), 2, 30000);
        QCOMPARE(view.browserSize(), QSize(300, 200));

        view.registerScript("window.__runs=(window.__runs||0)+1;window.__body=window.__body||String(!!document.body);");
        QSignalSpy finished(&view, &MCefWebView::loadFinished);
        view.load(m_pages.at("/ok"));
        QVERIFY(finished.wait(30000));
        // Run when the document is made (before its body) and when it has loaded.
        QTRY_COMPARE_WITH_TIMEOUT(eval(&view, "window.__runs").toInt(), 2, 30000);
        QCOMPARE(eval(&view, "window.__body").toString(), QStringLiteral("false"));
    }

    void statusOfEachLoad_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("200") << "/ok" << 200;
        QTest::newRow("201") << "/created" << 201;
        QTest::newRow("404 with body") << "/nf" << 404;
        QTest::newRow("404 without body") << "/nfe" << 404;
        QTest::newRow("503") << "/err" << 503;
        QTest::newRow("nothing listens") << "" << 501;
    }
    void statusOfEachLoad()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        QTcpServer probe; // a port where nothing listens once it is closed again
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QUrl dead(QStringLiteral("http://127.0.0.1:%1/gone?ticket=T-one-time-77").arg(probe.serverPort()));
        probe.close();
        auto view = shownView();
        QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 30000);
        QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
        LogCapture log;
        view->load(path.isEmpty() ? dead : m_pages.at(path));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().at(0).toInt(), status);
        view->load(m_pages.at("/ok")); // nothing more of the first load comes before this one
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
        QCOMPARE(finished.last().at(0).toInt(), 200);
        // The generated page is logged without the address's one-time ticket.
        QCOMPARE(log.count("/gone with error ERR_CONNECTION_REFUSED (-102)"), status == 501 ? 1 : 0);
        QVERIFY(!log.contains("T-one-time-77"));
    }

    void postIsNotSentAgain()
    {
        auto view = shownView(m_pages.at("/form"));
        QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
        QVERIFY(finished.wait(30000));
        view->runScript("document.forms[0].submit();"); // answered by a redirect to a GET
        QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 2 && view->url() == m_pages.at("/ok"), 30000);
        view->load(m_pages.at("/form"));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 3, 30000);
        view->runScript("document.forms[1].submit();");
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 4, 30000);
        QCOMPARE(finished.last().at(0).toInt(), 200);
        QCOMPARE(m_pages.hits("POST /post") + m_pages.hits("POST /post200"), 2);
        QCOMPARE(m_pages.hits("HEAD /post200") + m_pages.hits("HEAD /post"), 0);
    }

    // The view is used from the account thread: calls go over to the GUI
    // thread and signals come back queued. When the GUI thread blocks on
    // that thread (a shutdown) while it waits, it gives up when asked to stop.
    void callsFromAnotherThread()
    {
        auto view = shownView();
        QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 30000);
        QThread worker;
        ThreadJoin::watch(&worker);
        worker.start();
        QObject receiver;
        receiver.moveToThread(&worker);
        QAtomicPointer<QThread> seenOn;
        connect(view.get(), &MCefWebView::loadFinished, &receiver, [&](int) { seenOn.storeRelease(QThread::currentThread()); });
        WebViewPort* port = view.get();
        QUrl url;
        QAtomicInt step(0), returned(0);
        runQueued(&receiver, [&] { port->load(m_pages.at("/a")); });
        QTRY_COMPARE_WITH_TIMEOUT(seenOn.loadAcquire(), &worker, 30000);
        runQueued(&receiver, [&] {
            url = port->url(); // answered by the GUI thread, which spins below
            step.storeRelease(1);
        });
        QTRY_COMPARE_WITH_TIMEOUT(step.loadAcquire(), 1, 30000);
        QCOMPARE(url, m_pages.at("/a"));

        QTest::ignoreMessage(QtWarningMsg, "web view call given up");
        runQueued(&receiver, [&] {
            step.storeRelease(2);
            port->url();
            returned.storeRelease(1);
        });
        while (step.loadAcquire() != 2)
            QThread::yieldCurrentThread();
        QElapsedTimer t;
        t.start();
        worker.requestInterruption();
        worker.quit();
        QVERIFY(ThreadJoin::wait(&worker, 30000));
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed()))); // at once, not after its 10 s limit
        QCOMPARE(returned.loadAcquire(), 1);
    }

    // Only an unknown authority, for a configured host, with a chain that
    // really goes up to the one extra CA, is overridden.
    void certificateTrust_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("chain"); // leaf and CA: o(ur) or f(oreign)
        QTest::addColumn<bool>("authorityOnly");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("our leaf") << "LOCALHOST" << "o" << true << true;
        QTest::newRow("our leaf and CA, by address") << "127.0.0.1" << "oO" << true << true;
        QTest::newRow("host not configured") << "example.org" << "o" << true << false;
        QTest::newRow("certificate of another name") << "other.test" << "o" << true << false;
        QTest::newRow("not only the authority") << "localhost" << "o" << false << false;
        QTest::newRow("another CA's leaf") << "localhost" << "f" << true << false;
        QTest::newRow("another CA's leaf, ours appended") << "localhost" << "fO" << true << false;
        QTest::newRow("no chain") << "localhost" << "" << true << false;
    }
    void certificateTrust()
    {
        QFETCH(QString, host);
        QFETCH(QString, chain);
        QFETCH(bool, authorityOnly);
        QFETCH(bool, accepted);
        QTemporaryDir a, b;
        SimCertificates ours, foreign;
        QVERIFY(ours.prepare(a.path()) && foreign.prepare(b.path()));
        QList<QSslCertificate> certs;
        for (QChar c : chain)
            certs << (c == 'o' ? qtCert(ours.serverCert()) : c == 'f' ? qtCert(foreign.serverCert())
                                                                   : QSslCertificate::fromPath(ours.caFile()).first());
        CertificateTrust trust;
        QVERIFY(trust.setCaFile(ours.caFile()));
        trust.setHosts({"LocalHost", "127.0.0.1", "other.test"});
        QCOMPARE(trust.accept(host, certs, authorityOnly), accepted);
        // A CA file that others may write (or swap) is not trusted.
        QVERIFY(QFile::setPermissions(ours.caFile(), QFile::permissions(ours.caFile()) | QFile::WriteOther));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("extra CA .* is not trusted"));
        QVERIFY(!trust.setCaFile(ours.caFile()));
        QVERIFY(!trust.accept(host, certs, authorityOnly));
    }

    void certificatesInTheBrowser()
    {
        QTemporaryDir other;
        SimCertificates stranger;
        QVERIFY(stranger.prepare(other.path()));
        httplib::SSLServer strangers(stranger.serverCert(), stranger.serverKey());
        strangers.Get("/", [](const httplib::Request&, httplib::Response& r) { r.set_content("hi", "text/plain"); });
        const int port = strangers.bind_to_any_port("127.0.0.1");
        std::thread serving([&] { strangers.listen_after_bind(); });
        auto view = shownView();
        QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 30000);
        QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
        auto status = [&](const QString& url) {
            finished.clear();
            view->load(QUrl(url));
            return finished.wait(30000) ? finished.first().at(0).toInt() : -1;
        };
        LogCapture log;
        const QString account = Endpoints::current().account + "/pass/serviceLogin"; // https://127.0.0.1:port/...
        const int refusedAnotherCa = status(QStringLiteral("https://127.0.0.1:%1/").arg(port));
        const int refusedHost = status(QString(account).replace("127.0.0.1", "localhost")); // a host not configured
        const int accepted = status(account);
        strangers.stop();
        serving.join();
        QCOMPARE(QList<int>({refusedAnotherCa, refusedHost, accepted}), QList<int>({501, 501, 200}));
        QCOMPARE(log.count("certificate error"), 2);
        QCOMPARE(log.count("ERR_CERT_AUTHORITY_INVALID"), 2);
    }

    void accountRecordRules_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("kept"); // uid, pass token, name, icon, as written back; empty: refused
        QTest::newRow("no name") << QByteArray(R"({"uid": "1", "pass_token": "t", "user_icon": ""})") << "";
        QTest::newRow("empty uid") << QByteArray(R"({"name": "n", "uid": "", "pass_token": "t", "user_icon": ""})") << "";
        QTest::newRow("number uid") << QByteArray(R"({"name": "n", "uid": 1, "pass_token": "t", "user_icon": ""})") << "";
        QTest::newRow("empty token") << QByteArray(R"({"name": "n", "uid": "1", "pass_token": "", "user_icon": ""})") << "";
        QTest::newRow("no icon") << QByteArray(R"({"name": "n", "uid": "1", "pass_token": "t"})") << "";
        QTest::newRow("empty name, stray icon text")
            << QByteArray(R"({"name": "", "uid": "42", "pass_token": "tok", "user_icon": "aGVs*bG8="})") << "42 tok  aGVsbG8=";
    }
    void accountRecordRules()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, kept);
        VuAccount account;
        QCOMPARE(account.readCache(QJsonDocument::fromJson(record).object()), !kept.isEmpty());
        const QJsonObject back = account.writeCache();
        QCOMPARE(back.keys().size(), 4);
        QCOMPARE(QStringList({back.value("uid").toString(), back.value("pass_token").toString(), back.value("name").toString(),
                              back.value("user_icon").toString()}).join(' ').trimmed(), kept);
    }

    // Signed in through the page, out through the page; on the page while no
    // sign-in is asked for, no cookie is read.
    void signInAndOutThroughThePage()
    {
        auto account = std::make_unique<VuAccount>();
        Events ev(account.get());
        // What the main window does with every user card: keep the record.
        connect(account.get(), &VuAccount::onAccountUserCardGot, this, [&] { VuAccount::storeRecord(account->writeCache()); });
        account->loginByWeb(m_view.get());
        // Shown once the driver has subscribed to it and asked for the page,
        // as the main window does.
        QTRY_COMPARE_WITH_TIMEOUT(m_view->url(), WebLogin::loginPageUrl(), 30000);
        QVERIFY(landsOn("/pass/serviceLogin", [this] { m_view->show(); }));
        const SimRequestRecord page = requests("/pass/serviceLogin").last();
        QCOMPARE(page.target, "/pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN");
        QCOMPARE(page.userAgent, QStringLiteral("vuNative/1.0"));
        QTRY_VERIFY_WITH_TIMEOUT(eval(m_view.get(), "!!document.getElementById('vu-account-fit')").toBool(), 30000);
        // The page as the user sees it; VC_UPDATE_SCREENSHOTS=1 refreshes the documented one.
        const QString dir = qEnvironmentVariableIsSet("VC_UPDATE_SCREENSHOTS") ? QStringLiteral(VC_SOURCE_DIR "/docs/screenshots")
                                                                               : QStringLiteral(VC_BINARY_DIR "/screenshots");
        QVERIFY(QDir().mkpath(dir) && m_view->grab().save(dir + "/signin-page.png"));

        QVERIFY(landsOn("/pass/login", [this] { submit(kUserId, "wrong"); }));
        QVERIFY(landsOn("/pass/auth/security/home", [this] { submit(kUserId, "secret"); }));
        QTRY_COMPARE_WITH_TIMEOUT(ev.serviceLogins, 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(ev.cards.size(), 1, 30000);
        QCOMPARE(ev.logins, QStringList{kUserId}); // the wrong password signed nobody in
        QCOMPARE(ev.cards.first().first, QStringLiteral("Alex"));
        QVERIFY(!ev.cards.first().second.isEmpty() && !ev.offGuiThread && ev.netErrors.isEmpty());
        QVERIFY(account->uid == kUserId && !account->serviceToken.isEmpty() && !account->ssecurity.isEmpty());
        QCOMPARE(requests("/pass/serviceLogin").last().cookie, QString("passToken=%1; userId=%2; deviceId=pcdev1").arg(kPassToken, kUserId));
        const QJsonObject stored = VuAccount::storedRecord();
        QCOMPARE(stored.value("uid").toString() + stored.value("pass_token").toString() + stored.value("name").toString(),
                 kUserId + kPassToken + "Alex");
        QCOMPARE(QByteArray::fromBase64(stored.value("user_icon").toString().toLatin1()), ev.cards.first().second);

        m_home.cloud->state()->clearRequests();
        QVERIFY(landsOn("/pass/serviceLogin", [&] { account->logout(); }));
        QTRY_COMPARE_WITH_TIMEOUT(ev.logouts, 1, 30000);
        QCOMPARE(requests("/pass/logout").first().target,
                 QString("/pass/logout?userId=%1&callback=%2/&_json=true&passive=true&hidden=false").arg(kUserId, Endpoints::current().account));
        QVERIFY(account->uid.isEmpty() && account->serviceToken.isEmpty() && account->ssecurity.isEmpty());
        const QUrl home(Endpoints::current().account + "/pass/auth/security/home");
        QTRY_VERIFY_WITH_TIMEOUT(m_view->urlCookies(home).isEmpty(), 30000); // the service cleared them

        // Signed in on the page while nobody asked: the cookies are there,
        // but they are not read (the sign-out after it is the sync point).
        QVERIFY(landsOn("/pass/auth/security/home", [this] { submit(kUserId, "secret"); }));
        QVERIFY(!m_view->urlCookies(home).isEmpty());
        QVERIFY(landsOn("/pass/serviceLogin", [&] { account->logout(); }));
        QTRY_COMPARE_WITH_TIMEOUT(ev.logouts, 2, 30000);
        QCOMPARE(ev.logins.size(), 1);
        QCOMPARE(ev.serviceLogins, 1);
    }

    void signInFromTheRecord()
    {
        // The next start: a session from the stored record, out by code.
        auto account = std::make_unique<VuAccount>();
        Events ev(account.get());
        QVERIFY(account->readCache(VuAccount::storedRecord()));
        m_home.cloud->state()->clearRequests();
        account->loginByCache();
        QTRY_COMPARE_WITH_TIMEOUT(ev.serviceLogins, 1, 30000);
        QCOMPARE(ev.cards.size(), 1); // from the record, not from the service
        QCOMPARE(ev.cards.first().first, QStringLiteral("Alex"));
        QVERIFY(ev.logins.isEmpty() && requests("/pass/usersCard").isEmpty());
        QCOMPARE(requests("/pass/serviceLogin").first().cookie, QString("passToken=%1; userId=%2; deviceId=").arg(kPassToken, kUserId));
        QTest::ignoreMessage(QtInfoMsg, "logoutByCode");
        account->logout();
        QTRY_COMPARE_WITH_TIMEOUT(ev.logouts, 1, 30000);
        const SimRequestRecord out = requests("/pass/logout").first();
        QCOMPARE(out.target, QString("/pass/logout?userId=%1&callback=%2/&_json=true&passive=true&hidden=false")
                                 .arg(kUserId, Endpoints::current().account));
        QCOMPARE(out.cookie, QString());
        QCOMPARE(account->uid, kUserId); // logout by code leaves the credentials

        // A revoked token: the automatic sign-in fails; the record goes.
        QJsonObject record = VuAccount::storedRecord();
        record.insert("pass_token", "PT-revoked");
        auto revoked = std::make_unique<VuAccount>();
        Events failed(revoked.get());
        QVERIFY(revoked->readCache(record));
        revoked->loginByCache();
        QTRY_COMPARE_WITH_TIMEOUT(failed.autoLoginFails, 1, 30000);
        QCOMPARE(failed.serviceLogins, 0);
        QVERIFY(VuAccount::removeRecord());
        QVERIFY(VuAccount::storedRecord().isEmpty());
    }

    void failuresOfTheSession()
    {
        // The service login fails after the page signed in: a warning, and
        // no automatic-sign-in failure (that is for the record's way).
        m_home.setCloudFaults(R"({"service_login": "code_nonzero"})");
        auto account = std::make_unique<VuAccount>();
        Events ev(account.get());
        LogCapture log;
        QVERIFY(landsOn("/pass/serviceLogin", [&] { account->loginByWeb(m_view.get()); }));
        QVERIFY(landsOn("/pass/auth/security/home", [this] { submit(kUserId, "secret"); }));
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("account service login fail in web"), 30000);
        QCOMPARE(ev.logins, QStringList{kUserId});
        QCOMPARE(ev.serviceLogins + ev.autoLoginFails, 0);
        QVERIFY(account->serviceToken.isEmpty());
        m_home.setCloudFaults("{}");

        // The same view again keeps one subscription: one failed load, one error.
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^webview not changed:"));
        QVERIFY(landsOn("/pass/auth/security/home", [&] { account->loginByWeb(m_view.get()); }));
        m_view->load(QUrl(Endpoints::current().account + "/missing"));
        QTRY_VERIFY_WITH_TIMEOUT(!ev.netErrors.isEmpty(), 30000);
        account->logout(); // its end comes after any second error
        QTRY_COMPARE_WITH_TIMEOUT(ev.logouts, 1, 30000);
        QCOMPARE(ev.netErrors, QList<int>{int(QNetworkReply::HostNotFoundError)});
        QVERIFY(log.contains("on_loadFinished fail:404"));

        // Without a network, the sign-out by code still ends the session.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString closed = QStringLiteral("https://127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        const Endpoints saved = Endpoints::current();
        Endpoints dead = saved;
        dead.account = closed;
        Endpoints::setCurrent(dead);
        auto offline = std::make_unique<VuAccount>();
        Events off(offline.get());
        QVERIFY(offline->readCache(QJsonObject{{"name", "Alex"}, {"uid", kUserId}, {"pass_token", kPassToken}, {"user_icon", ""}}));
        offline->loginByCache();
        QTRY_VERIFY_WITH_TIMEOUT(!off.netErrors.isEmpty(), 30000);
        offline->logout();
        QTRY_COMPARE_WITH_TIMEOUT(off.logouts, 1, 30000);
        QVERIFY(log.contains("handleLogoutReply: reply error "));
        Endpoints::setCurrent(saved);
    }
};

QTEST_MAIN(TestBrowser)
#include "tst_browser.moc"
