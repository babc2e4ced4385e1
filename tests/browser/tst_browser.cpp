// The embedded browser (one runtime for the whole program) against the emulated account service: the web view's own
// rules, certificate trust, and the account session end to end on its own thread (sign-in page, service login, user
// card, the stored record, both ways of signing out).
#include "../cloud/cloudscenario.h"

#include "core/credentialstore.h"
#include "core/threadjoin.h"
#include "browser/mcefclienthandler.h"
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
#include <openssl/x509.h>
#include <thread>

using namespace cloudtest;

namespace {

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

    explicit Events(VuAccount* a)
    {
        connect(a, &VuAccount::onAcccountLogin, this, [this](const QString& uid) { logins << uid; });
        connect(a, &VuAccount::onAccountLogout, this, [this] { ++logouts; });
        connect(a, &VuAccount::onAccountUserCardGot, this, [this](const QString& n, const QByteArray& i) { cards << qMakePair(n, i); });
        connect(a, &VuAccount::onVuotServiceLogin, this, [this] { ++serviceLogins; });
        connect(a, &VuAccount::onNetworkError, this, [this](QNetworkReply::NetworkError e) { netErrors << int(e); });
        connect(a, &VuAccount::onAutoLoginFail, this, [this] { ++autoLoginFails; });
    }
};

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT

    SimHome m_home;
    std::unique_ptr<MCefWebView> m_view; // the sign-in view of the account tests
    QTemporaryDir m_certs;
    SimCertificates m_ours, m_foreign; // a CA with a leaf each, made once (key pairs take time)

    static std::unique_ptr<MCefWebView> newView(bool shown = true)
    {
        auto view = std::make_unique<MCefWebView>();
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->resize(440, 570);
        view->setVisible(shown);
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
    static QString closedAddress() // where nothing listens once the probe is closed again
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
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
        m_view = newView(false);
        QVERIFY(m_ours.prepare(m_certs.filePath("ours")) && m_foreign.prepare(m_certs.filePath("foreign")));
        CredentialStore::remove(QStringLiteral("account"));
    }
    void cleanup() { m_home.setCloudFaults("{}"); }
    void cleanupTestCase()
    {
        m_view.reset();
        MCefLibPrivate::shutdown();
        QVERIFY(!MCefLibPrivate::isRunning());
    }

    void statusOfEachLoad_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::newRow("200") << "/pass/serviceLogin" << 200;
        QTest::newRow("404 with body") << "/pass/auth/security/home" << 404;
        QTest::newRow("404 without body") << "/missing" << 404;
        QTest::newRow("503") << "/pass/logout" << 503;
        QTest::newRow("nothing listens") << "" << 501;
    }
    void statusOfEachLoad()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        m_home.setCloudFaults(R"({"http_status": {"/pass/auth/security/home": 404, "/pass/logout": 503}})");
        const QString signIn = Endpoints::current().account + "/pass/serviceLogin";
        auto view = newView();
        QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 30000);
        QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
        LogCapture log;
        view->load(QUrl(path.isEmpty() ? "http://" + closedAddress() + "/gone?ticket=T-one-time-77" : Endpoints::current().account + path));
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().at(0).toInt(), status);
        view->load(QUrl(signIn)); // nothing more of the first load comes before this one
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 30000);
        QCOMPARE(finished.last().at(0).toInt(), 200);
        // The generated page is logged without the address's one-time ticket.
        QCOMPARE(log.count("/gone with error ERR_CONNECTION_REFUSED (-102)"), status == 501 ? 1 : 0);
        QVERIFY(!log.contains("T-one-time-77"));
    }

    // The GUI thread blocked on the account thread (a shutdown) while that waits for the view: the call gives up.
    void waitingCallGivesUp()
    {
        QThread worker;
        ThreadJoin::watch(&worker);
        worker.start();
        QObject receiver;
        receiver.moveToThread(&worker);
        QAtomicInt step(0);
        QTest::ignoreMessage(QtWarningMsg, "web view call given up");
        runQueued(&receiver, [&] {
            step.storeRelease(1);
            step.storeRelease(m_view->url().isEmpty() ? 2 : 3);
        });
        while (step.loadAcquire() != 1)
            QThread::yieldCurrentThread();
        QElapsedTimer t;
        t.start();
        worker.requestInterruption();
        worker.quit();
        QVERIFY(ThreadJoin::wait(&worker, 30000));
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed()))); // at once, not after its 10 s limit
        QCOMPARE(step.loadAcquire(), 2);
    }

    // Only an unknown authority, for a configured host, with a chain that really goes up to the one extra CA, is
    // overridden.
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
    }
    void certificateTrust()
    {
        QFETCH(QString, host);
        QFETCH(QString, chain);
        QFETCH(bool, authorityOnly);
        QFETCH(bool, accepted);
        QList<QSslCertificate> certs;
        for (QChar c : chain)
            certs << (c == 'o' ? qtCert(m_ours.serverCert()) : c == 'f' ? qtCert(m_foreign.serverCert())
                                                                     : QSslCertificate::fromPath(m_ours.caFile()).first());
        QTemporaryDir dir;
        const QString ca = dir.filePath("ca.pem");
        QVERIFY(QFile::copy(m_ours.caFile(), ca));
        CertificateTrust trust;
        QVERIFY(trust.setCaFile(ca));
        trust.setHosts({"LocalHost", "127.0.0.1", "other.test"});
        QCOMPARE(trust.accept(host, certs, authorityOnly), accepted);
        // A CA file that others may write (or swap) is not trusted.
        QVERIFY(QFile::setPermissions(ca, QFile::permissions(ca) | QFile::WriteOther));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("extra CA .* is not trusted"));
        QVERIFY(!trust.setCaFile(ca));
        QVERIFY(!trust.accept(host, certs, authorityOnly));
    }

    void certificatesInTheBrowser()
    {
        httplib::SSLServer strangers(m_foreign.serverCert(), m_foreign.serverKey());
        strangers.Get("/", [](const httplib::Request&, httplib::Response& r) { r.set_content("hi", "text/plain"); });
        const int port = strangers.bind_to_any_port("127.0.0.1");
        std::thread serving([&] { strangers.listen_after_bind(); });
        auto view = newView();
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
        strangers.stop(), serving.join();
        QCOMPARE(QList<int>({refusedAnotherCa, refusedHost, accepted}), QList<int>({501, 501, 200}));
        QVERIFY(log.count("certificate error") == 2 && log.count("ERR_CERT_AUTHORITY_INVALID") == 2);
    }

    // Three pop-up windows at once, no more (the refusal logged); a closed one makes room for the next.
    void popupsAreCapped()
    {
        auto view = newView();
        QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
        view->load(QUrl(Endpoints::current().account + "/pass/serviceLogin"));
        QVERIFY(finished.wait(30000));
        LogCapture log;
        MCefClientHandler* page = view->clientHandler();
        view->runScript("for (var i = 0; i < 5; ++i) window.open('about:blank', 'w' + i);");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("pop-up window refused, 3 already open"), 2, 30000);
        QCOMPARE(page->popupCount(), 3);
        page->closeAllBrowsers(false);
        QTRY_COMPARE_WITH_TIMEOUT(page->popupCount(), 0, 30000);
        view->runScript("window.open('about:blank', 'again');");
        QTRY_COMPARE_WITH_TIMEOUT(page->popupCount(), 1, 30000);
        page->closeAllBrowsers(false);
        QTRY_COMPARE_WITH_TIMEOUT(page->popupCount(), 0, 30000);
        QCOMPARE(log.count("pop-up window refused"), 2);
    }

    // Signed in through the page, out through the page; on the page while no sign-in is asked for, no cookie is read.
    void signInAndOutThroughThePage()
    {
        auto account = std::make_unique<VuAccount>();
        Events ev(account.get());
        // What the main window does with every user card: keep the record.
        connect(account.get(), &VuAccount::onAccountUserCardGot, this, [&] { VuAccount::storeRecord(account->writeCache()); });
        account->loginByWeb(m_view.get());
        // Shown once the driver has subscribed to it and asked for the page, as the main window does.
        QTRY_COMPARE_WITH_TIMEOUT(m_view->url(), WebLogin::loginPageUrl(), 30000);
        QVERIFY(landsOn("/pass/serviceLogin", [this] { m_view->show(); }));
        const SimRequestRecord page = requests("/pass/serviceLogin").last();
        QCOMPARE(page.target, "/pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN");
        QCOMPARE(page.userAgent, QStringLiteral("vuNative/1.0"));
        QTRY_VERIFY_WITH_TIMEOUT(eval(m_view.get(), "!!document.getElementById('vu-account-fit')").toBool(), 30000);
        QVERIFY(!eval(m_view.get(), "!!document.getElementById('error')").toBool()); // no complaint before a try
        // The page as the user sees it; VC_UPDATE_SCREENSHOTS=1 refreshes the documented one.
        const QString dir = qEnvironmentVariableIsSet("VC_UPDATE_SCREENSHOTS") ? QStringLiteral(VC_SOURCE_DIR "/docs/screenshots")
                                                                               : QStringLiteral(VC_BINARY_DIR "/screenshots");
        QVERIFY(QDir().mkpath(dir) && m_view->grab().save(dir + "/signin-page.png"));

        QVERIFY(landsOn("/pass/login", [this] { submit(kUserId, "wrong"); }));
        // The page says so, in its language still, and keeps the user id.
        QCOMPARE(eval(m_view.get(), "document.documentElement.lang+' '+!!document.getElementById('error')+' '"
                                    "+document.getElementById('user').value").toString(), "zh-CN true " + kUserId);
        QVERIFY(landsOn("/pass/auth/security/home", [this] { submit(kUserId, "secret"); }));
        QTRY_COMPARE_WITH_TIMEOUT(ev.serviceLogins, 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(ev.cards.size(), 1, 30000);
        QCOMPARE(ev.logins, QStringList{kUserId}); // the wrong password signed nobody in
        QVERIFY(ev.cards.first().first == "Alex" && !ev.cards.first().second.isEmpty() && ev.netErrors.isEmpty());
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

        // Signed in on the page while nobody asked: the cookies are there, but they are not read (the sign-out after it
        // is the sync point).
        QVERIFY(landsOn("/pass/auth/security/home", [this] { submit(kUserId, "secret"); }));
        QVERIFY(!m_view->urlCookies(home).isEmpty());
        QVERIFY(landsOn("/pass/serviceLogin", [&] { account->logout(); }));
        QTRY_COMPARE_WITH_TIMEOUT(ev.logouts, 2, 30000);
        QVERIFY(ev.logins.size() == 1 && ev.serviceLogins == 1);
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
        QVERIFY(ev.cards.size() == 1 && ev.cards.first().first == "Alex"); // from the record, not from the service
        QVERIFY(ev.logins.isEmpty() && requests("/pass/usersCard").isEmpty());
        QCOMPARE(requests("/pass/serviceLogin").first().cookie, QString("passToken=%1; userId=%2; deviceId=").arg(kPassToken, kUserId));
        QTest::ignoreMessage(QtInfoMsg, "logoutByCode");
        account->logout();
        QTRY_COMPARE_WITH_TIMEOUT(ev.logouts, 1, 30000);
        const SimRequestRecord out = requests("/pass/logout").first();
        QCOMPARE(out.target, QString("/pass/logout?userId=%1&callback=%2/&_json=true&passive=true&hidden=false")
                                 .arg(kUserId, Endpoints::current().account));
        QCOMPARE(out.cookie, QString());
        QVERIFY(account->uid == kUserId && account->serviceToken.isEmpty() && account->ssecurity.isEmpty()); // the secrets go

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
        // The service login fails after the page signed in: a warning and the error page (a network error), no
        // automatic-sign-in failure (that is for the record's way).
        m_home.setCloudFaults(R"({"service_login": "code_nonzero"})");
        auto account = std::make_unique<VuAccount>();
        Events ev(account.get());
        LogCapture log;
        QVERIFY(landsOn("/pass/serviceLogin", [&] { account->loginByWeb(m_view.get()); }));
        QVERIFY(landsOn("/pass/auth/security/home", [this] { submit(kUserId, "secret"); }));
        QTRY_VERIFY_WITH_TIMEOUT(!ev.netErrors.isEmpty(), 30000);
        QVERIFY(log.contains("account service login fail in web") && ev.logins == QStringList{kUserId});
        QVERIFY(ev.serviceLogins + ev.autoLoginFails == 0 && account->serviceToken.isEmpty());
        QCOMPARE(ev.netErrors.takeFirst(), int(QNetworkReply::UnknownServerError));
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
        const Endpoints saved = Endpoints::current();
        Endpoints dead = saved;
        dead.account = "https://" + closedAddress();
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
