// The sign-in driver against a small account page served over HTTPS, with
// the real browser under Xvfb and the driver on its own thread.

#include "app/endpoints.h"
#include "app/threadjoin.h"
#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "cloud/weblogin.h"
#include "tests/support/queuedcall.h"
#include "testcerts.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <mutex>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

// The account service as far as the page is concerned: the sign-in form,
// its cookies, the security home and the logout.
class FakeAccountPage
{
public:
    FakeAccountPage(TestCert* leaf)
        : m_server(leaf->cert, leaf->key)
    {
        auto page = [](const std::string& body) {
            return "<!DOCTYPE html><html><head><title>Sign in</title></head><body>" + body + "</body></html>";
        };
        const std::string form = "<h1>Sign in</h1><form id=login method=post action=/pass/login>"
                                 "<label>User id <input id=user name=user></label>"
                                 "<label>Password <input id=password name=password type=password></label>"
                                 "<button id=submit type=submit>Sign in</button></form>";
        m_server.Get("/pass/serviceLogin", [this, page, form](const httplib::Request& req, httplib::Response& r) {
            record(req);
            r.set_content(page(form), "text/html");
        });
        m_server.Post("/pass/login", [this, page, form](const httplib::Request& req, httplib::Response& r) {
            record(req);
            if (req.get_param_value("password") != "secret") {
                r.set_content(page("<p id=error>Wrong user id or password.</p>" + form), "text/html");
                return;
            }
            const bool wrongCase = req.get_param_value("user") == "wrongcase";
            r.set_header("Set-Cookie", std::string(wrongCase ? "PassToken" : "passToken")
                                           + "=tok-" + req.get_param_value("user") + "; Path=/; Secure; HttpOnly");
            r.set_header("Set-Cookie", "userId=1234567890; Path=/; Secure; HttpOnly");
            r.set_header("Set-Cookie", "deviceId=pcdev1; Path=/; Secure; HttpOnly");
            r.set_redirect("/pass/auth/security/home");
        });
        m_server.Get("/pass/auth/security/home", [this, page](const httplib::Request& req, httplib::Response& r) {
            record(req);
            r.set_content(page("<h1>Signed in</h1>"), "text/html");
        });
        m_server.Get("/pass/logout", [this](const httplib::Request& req, httplib::Response& r) {
            record(req);
            for (const char* name : {"passToken", "PassToken", "userId", "deviceId"})
                r.set_header("Set-Cookie", std::string(name) + "=; Path=/; Secure; HttpOnly; Max-Age=0");
            r.set_redirect("/pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN");
        });
        m_server.Get("/missing", [this](const httplib::Request& req, httplib::Response& r) {
            record(req);
            r.status = 404;
            r.set_content("<html><body>missing</body></html>", "text/html");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~FakeAccountPage()
    {
        m_server.stop();
        m_thread.join();
    }
    int port() const { return m_port; }
    QStringList requests()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    void record(const httplib::Request& req)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests << QString::fromStdString(req.method + " " + req.target);
    }

    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    QStringList m_requests;
};

} // namespace

class TstWebLogin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void addresses();
    void signInAndOutThroughThePage();
    void failedLoadsReportNetworkError();
    void sameViewTwiceKeepsSubscriptions();

private:
    void run(std::function<void()> fn) { runQueued(m_login.get(), std::move(fn)); }
    bool submit(const QString& user, const QString& password);

    std::unique_ptr<TestCert> m_ca, m_leaf;
    std::unique_ptr<FakeAccountPage> m_page;
    std::unique_ptr<MCefWebView> m_view;
    QThread m_thread;
    std::unique_ptr<WebLogin> m_login;
    QList<QStringList> m_got;
    int m_logouts = 0;
    QList<int> m_netErrors;
};

void TstWebLogin::initTestCase()
{
    m_ca = makeCert("Account CA", nullptr, nullptr, 21);
    m_leaf = makeCert("127.0.0.1", m_ca.get(), "IP:127.0.0.1,DNS:localhost", 22);
    m_page = std::make_unique<FakeAccountPage>(m_leaf.get());
    Endpoints e = Endpoints::current();
    e.account = QStringLiteral("https://127.0.0.1:%1").arg(m_page->port());
    Endpoints::setCurrent(e);

    m_view = std::make_unique<MCefWebView>();
    m_view->setAttribute(Qt::WA_DeleteOnClose, false);
    MCefLibPrivate::certificateTrust().setCaCertificate(m_ca->qt());
    MCefLibPrivate::certificateTrust().setHosts({QStringLiteral("127.0.0.1"), QStringLiteral("localhost")});

    ThreadJoin::watch(&m_thread);
    m_thread.start();
    m_login = std::make_unique<WebLogin>();
    m_login->moveToThread(&m_thread);
    connect(m_login.get(), &WebLogin::onPasstokenGot, this,
            [this](const QString& d, const QString& u, const QString& p) { m_got << QStringList{d, u, p}; });
    connect(m_login.get(), &WebLogin::logoutSuccess, this, [this] { ++m_logouts; });
    connect(m_login.get(), &WebLogin::onNetworkError, this,
            [this](QNetworkReply::NetworkError e) { m_netErrors << int(e); });
    WebViewPort* port = m_view.get();
    run([this, port] { m_login->setWebView(port); });
}

void TstWebLogin::cleanupTestCase()
{
    runQueuedAndWait(m_login.get(), [this] { m_login->moveToThread(qApp->thread()); });
    m_thread.quit();
    ThreadJoin::wait(&m_thread);
    m_login.reset();
    m_view.reset();
    MCefLibPrivate::shutdown();
    m_page.reset();
}

void TstWebLogin::addresses()
{
    const QString host = QStringLiteral("127.0.0.1:%1").arg(m_page->port());
    QCOMPARE(WebLogin::loginPageUrl().toString(),
             QStringLiteral("https://%1/pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN")
                 .arg(host));
    QCOMPARE(WebLogin::logoutUrl(QStringLiteral("42")).toString(QUrl::FullyEncoded),
             QStringLiteral("https://%1/pass/logout?userId=42&callback=https://%1/&_json=true&passive=true&hidden=false")
                 .arg(host));
    // A user id cannot break out of the logout script's string.
    QVERIFY(!WebLogin::logoutUrl(QStringLiteral("1\";alert(1)//")).toString(QUrl::FullyEncoded).contains(QLatin1Char('"')));
}

bool TstWebLogin::submit(const QString& user, const QString& password)
{
    QSignalSpy finished(m_view.get(), &MCefWebView::loadFinished);
    m_view->runScript(QStringLiteral("document.getElementById('user').value='%1';"
                                     "document.getElementById('password').value='%2';"
                                     "document.getElementById('submit').click();")
                          .arg(user, password));
    return finished.wait(15000);
}

void TstWebLogin::signInAndOutThroughThePage()
{
    QSignalSpy inited(m_view.get(), &MCefWebView::inited);
    QSignalSpy finished(m_view.get(), &MCefWebView::loadFinished);
    run([this] { m_login->openLoginPage(); });
    m_view->resize(440, 570);
    m_view->show();
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.last().at(0).toInt(), 200);
    QCOMPARE(inited.size(), 1);
    QVERIFY(m_page->requests().contains(
        QStringLiteral("GET /pass/serviceLogin?sid=passport&_json=false&passive=true&hidden=fasle&_locale=zh_CN")));
    // The page script from beside the program runs in the page.
    QFile script(WebLogin::scriptPath());
    QVERIFY2(script.exists(), qPrintable(script.fileName()));
    // Asked again until the script has run; a slow machine (or a sanitizer
    // build) may take seconds.
    // The answers of calls still on their way may arrive after this loop.
    auto fitted = std::make_shared<bool>(false);
    QElapsedTimer asking;
    asking.start();
    while (!*fitted && asking.elapsed() < 15000) {
        m_view->clientHandler()->runJavaScript(QStringLiteral("!!document.getElementById('vu-account-fit')"),
                                               [fitted](const QVariant& v) { *fitted = *fitted || v.toBool(); });
        QTest::qWait(50);
    }
    QVERIFY(*fitted);

    // A cookie named "PassToken" does not count as the pass token.
    QVERIFY(submit(QStringLiteral("wrongcase"), QStringLiteral("secret")));
    QTRY_VERIFY_WITH_TIMEOUT(m_view->url().path() == QLatin1String("/pass/auth/security/home"), 5000);
    QTest::qWait(500);
    QVERIFY(m_got.isEmpty());

    // A wrong password keeps the page.
    run([this] { m_login->openLoginPage(); });
    QVERIFY(finished.wait(15000));
    QVERIFY(submit(QStringLiteral("1234567890"), QStringLiteral("nope")));
    QTest::qWait(300);
    QVERIFY(m_got.isEmpty());

    QVERIFY(submit(QStringLiteral("1234567890"), QStringLiteral("secret")));
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), 1, 10000);
    QCOMPARE(m_got.first(), (QStringList{QStringLiteral("pcdev1"), QStringLiteral("1234567890"),
                                         QStringLiteral("tok-1234567890")}));
    // Another visit of the security home fires nothing while the values are held.
    run([this] { m_login->openLoginPage(); });
    m_view->load(QUrl(QStringLiteral("https://127.0.0.1:%1/pass/auth/security/home").arg(m_page->port())));
    QTest::qWait(800);
    QCOMPARE(m_got.size(), 1);

    // Logout through the page.
    run([this] { m_login->logoutByWeb(); });
    QTRY_COMPARE_WITH_TIMEOUT(m_logouts, 1, 15000);
    QVERIFY(m_page->requests().contains(
        QStringLiteral("GET /pass/logout?userId=1234567890&callback=https://127.0.0.1:%1/&_json=true&passive=true&hidden=false")
            .arg(m_page->port())));
    bool pending = true;
    runQueuedAndWait(m_login.get(), [&] { pending = m_login->isLogoutPending(); });
    QVERIFY(!pending);

    // Signing in again while no login is pending reads no cookies.
    QVERIFY(submit(QStringLiteral("1234567890"), QStringLiteral("secret")));
    QTRY_VERIFY_WITH_TIMEOUT(m_view->url().path() == QLatin1String("/pass/auth/security/home"), 5000);
    QTest::qWait(500);
    QCOMPARE(m_got.size(), 1);

    // A look-alike address (another host name of the same server) does not count.
    run([this] { m_login->openLoginPage(); });
    QVERIFY(finished.wait(15000));
    m_view->load(QUrl(QStringLiteral("https://localhost:%1/pass/auth/security/home").arg(m_page->port())));
    QVERIFY(finished.wait(15000));
    QTest::qWait(500);
    QCOMPARE(m_got.size(), 1);

    // Now pending, the real page completes the sign-in again.
    m_view->load(QUrl(QStringLiteral("https://127.0.0.1:%1/pass/auth/security/home").arg(m_page->port())));
    QTRY_COMPARE_WITH_TIMEOUT(m_got.size(), 2, 10000);
}

void TstWebLogin::failedLoadsReportNetworkError()
{
    m_netErrors.clear();
    QSignalSpy finished(m_view.get(), &MCefWebView::loadFinished);
    QTest::ignoreMessage(QtWarningMsg, "on_loadFinished fail:404");
    m_view->load(QUrl(QStringLiteral("https://127.0.0.1:%1/missing").arg(m_page->port())));
    QVERIFY(finished.wait(15000));
    QTRY_COMPARE_WITH_TIMEOUT(m_netErrors, QList<int>{int(QNetworkReply::HostNotFoundError)}, 5000);
}

void TstWebLogin::sameViewTwiceKeepsSubscriptions()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^webview not changed:")));
    WebViewPort* port = m_view.get();
    runQueuedAndWait(m_login.get(), [this, port] { m_login->setWebView(port); });
    // Still one subscription: one load gives one network error.
    m_netErrors.clear();
    QTest::ignoreMessage(QtWarningMsg, "on_loadFinished fail:404");
    QSignalSpy finished(m_view.get(), &MCefWebView::loadFinished);
    m_view->load(QUrl(QStringLiteral("https://127.0.0.1:%1/missing?again").arg(m_page->port())));
    QVERIFY(finished.wait(15000));
    QTest::qWait(300);
    QCOMPARE(m_netErrors.size(), 1);
}

QTEST_MAIN(TstWebLogin)
#include "tst_weblogin.moc"
