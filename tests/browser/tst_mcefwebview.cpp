#include "app/appglobals.h"
#include "app/threadjoin.h"
#include "browser/mcefclienthandler.h"
#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "tests/support/queuedcall.h"
#include "testcerts.h"

#include <httplib.h>

#include <QMap>
#include <QWebEngineProfile>
#include <mutex>
#include <QSignalSpy>
#include <QTcpServer>
#include <QThread>
#include <QtTest>

#include <memory>
#include <thread>

namespace {

// A local web server counting the requests of each method and path.
class TestServer
{
public:
    explicit TestServer(httplib::Server* server)
        : m_server(server)
    {
        auto count = [this](const httplib::Request& req) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_hits[QString::fromStdString(req.method + " " + req.path)];
        };
        m_server->set_pre_routing_handler([count](const httplib::Request& req, httplib::Response&) {
            count(req);
            return httplib::Server::HandlerResponse::Unhandled;
        });
        auto page = [](const char* body) { return std::string("<html><head><title>t</title></head><body>") + body + "</body></html>"; };
        m_server->Get("/ok", [page](const httplib::Request&, httplib::Response& r) { r.set_content(page("ok"), "text/html"); });
        m_server->Get("/a", [page](const httplib::Request&, httplib::Response& r) { r.set_content(page("a"), "text/html"); });
        m_server->Get("/b", [page](const httplib::Request&, httplib::Response& r) { r.set_content(page("b"), "text/html"); });
        m_server->Get("/created", [page](const httplib::Request&, httplib::Response& r) {
            r.status = 201;
            r.set_content(page("created"), "text/html");
        });
        m_server->Get("/nf", [page](const httplib::Request&, httplib::Response& r) {
            r.status = 404;
            r.set_content(page("not found"), "text/html");
        });
        m_server->Get("/nfe", [](const httplib::Request&, httplib::Response& r) { r.status = 404; });
        m_server->Get("/err", [page](const httplib::Request&, httplib::Response& r) {
            r.status = 503;
            r.set_content(page("unavailable"), "text/html");
        });
        m_server->Get("/form", [page](const httplib::Request&, httplib::Response& r) {
            r.set_content(page("<form method=post action=/post><input name=a value=1></form>"
                               "<form method=post action=/post200><input name=a value=1></form>"),
                          "text/html");
        });
        m_server->Post("/post", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/ok"); });
        m_server->Post("/post200", [page](const httplib::Request&, httplib::Response& r) {
            r.set_content(page("posted"), "text/html");
        });
        m_server->Get("/cookie", [page](const httplib::Request&, httplib::Response& r) {
            r.set_header("Set-Cookie", "secretTok=s1; Path=/; HttpOnly");
            r.set_content(page("cookie"), "text/html");
        });
        m_server->Get("/pathcookie", [page](const httplib::Request&, httplib::Response& r) {
            r.set_header("Set-Cookie", "onlyHere=p1; Path=/deep; HttpOnly");
            r.set_content(page("cookie"), "text/html");
        });
        m_server->Get("/wide", [page](const httplib::Request&, httplib::Response& r) {
            r.set_content(page("<div style='width:1000px;height:50px'>wide</div>"), "text/html");
        });
        m_server->Get("/popup", [page](const httplib::Request&, httplib::Response& r) {
            r.set_content(page("<script>window.open('/ok','_blank');</script>"), "text/html");
        });
        m_port = m_server->bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server->listen_after_bind(); });
    }
    ~TestServer()
    {
        m_server->stop();
        m_thread.join();
    }
    int port() const { return m_port; }
    int hits(const QString& key)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hits.value(key);
    }

private:
    httplib::Server* m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    QMap<QString, int> m_hits;
};

int freePort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort(); // closed again when s goes
}

} // namespace

class TstMCefWebView : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void runtimeStartsOnce();
    void urlDuringCreationIsStoredAndLoadedOnce();
    void sameUrlDuringCreationIsNotLoadedTwice();
    void resizeBeforeCreationCreatesAtNewSize();
    void resizeWhileCreatingIsApplied();
    void registerScriptBeforeHandlerIsDropped();
    void registeredScriptRunsAtLoadStartAndEnd();
    void accountScriptFitsWidePages();
    void httpStatus_data();
    void httpStatus();
    void postResultIsNotSentAgain();
    void unreachableUrlShowsErrorPageWith501();
    void errorPageEscapesItsTexts();
    void statusRules();
    void cookiesOfUrlIncludeHttpOnly();
    void callsFromAnotherThread();
    void waitingCallGivesUpWhenThreadIsStopped();
    void popupOpensItsOwnWindow();
    void certificates();

private:
    std::unique_ptr<MCefWebView> shownView(const QUrl& url = QUrl());
    QUrl at(const char* path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->port()).arg(QLatin1String(path)));
    }
    QString pageText(MCefWebView* view)
    {
        QString text;
        bool done = false;
        view->clientHandler()->toPlainText([&](const QString& t) {
            text = t;
            done = true;
        });
        for (int i = 0; i < 500 && !done; ++i)
            QTest::qWait(10);
        return text;
    }
    QVariant eval(MCefWebView* view, const QString& js)
    {
        QVariant v;
        bool done = false;
        view->clientHandler()->runJavaScript(js, [&](const QVariant& r) {
            v = r;
            done = true;
        });
        for (int i = 0; i < 500 && !done; ++i)
            QTest::qWait(10);
        return v;
    }

    std::unique_ptr<httplib::Server> m_http;
    std::unique_ptr<TestServer> m_server;
};

void TstMCefWebView::initTestCase()
{
    m_http = std::make_unique<httplib::Server>();
    m_server = std::make_unique<TestServer>(m_http.get());
    QVERIFY(m_server->port() > 0);
}

void TstMCefWebView::cleanupTestCase()
{
    MCefLibPrivate::shutdown();
    QVERIFY(!MCefLibPrivate::isRunning());
    m_server.reset();
}

std::unique_ptr<MCefWebView> TstMCefWebView::shownView(const QUrl& url)
{
    auto view = std::make_unique<MCefWebView>();
    view->setAttribute(Qt::WA_DeleteOnClose, false);
    view->resize(440, 570);
    if (!url.isEmpty())
        view->load(url);
    view->show();
    return view;
}

void TstMCefWebView::runtimeStartsOnce()
{
    MCefWebView a;
    QVERIFY(AppGlobals::browserInitialized);
    QVERIFY(MCefLibPrivate::isRunning());
    auto lib = MCefLibPrivate::acquire(BrowserRuntimeConfig());
    MCefWebView b;
    QCOMPARE(MCefLibPrivate::acquire(BrowserRuntimeConfig()), lib);
    QCOMPARE(lib->config().userAgent, QByteArray("vuNative/1.0"));
    QCOMPARE(lib->config().locale, QByteArray("zh-CN"));
    QVERIFY(lib->profile()->isOffTheRecord());
    QCOMPARE(lib->profile()->httpUserAgent(), QStringLiteral("vuNative/1.0"));
    QCOMPARE(lib->profile()->httpAcceptLanguage(), QStringLiteral("zh-CN"));
    QVERIFY(qgetenv("QTWEBENGINE_CHROMIUM_FLAGS").contains("--lang=zh-CN"));
}

void TstMCefWebView::urlDuringCreationIsStoredAndLoadedOnce()
{
    auto view = shownView(at("/a"));
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    QCOMPARE(view->browserState(), 1);
    view->load(at("/b"));
    QCOMPARE(view->browserState(), 1);
    QCOMPARE(view->url(), at("/b")); // stored, not yet loaded
    QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(view->url() == at("/b") && !finished.isEmpty()
                                 && finished.last().at(0).toInt() == 200,
                             15000);
    QTest::qWait(300);
    QCOMPARE(m_server->hits(QStringLiteral("GET /b")), 1);
    QVERIFY(m_server->hits(QStringLiteral("GET /a")) <= 1);
}

void TstMCefWebView::sameUrlDuringCreationIsNotLoadedTwice()
{
    const int before = m_server->hits(QStringLiteral("GET /created"));
    auto view = shownView(at("/created"));
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    QSignalSpy started(view.get(), &MCefWebView::loadStarted);
    view->load(at("/created"));
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.first().at(0).toInt(), 201);
    QTest::qWait(300);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(started.size(), 1);
    QCOMPARE(m_server->hits(QStringLiteral("GET /created")), before + 1);
}

void TstMCefWebView::resizeBeforeCreationCreatesAtNewSize()
{
    MCefWebView view;
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    QCOMPARE(view.browserState(), 0);
    view.resize(440, 570);
    view.show();
    QVERIFY(view.browserState() >= 1);
    QCOMPARE(view.browserSize(), QSize(440, 570));
}

void TstMCefWebView::resizeWhileCreatingIsApplied()
{
    auto view = shownView();
    QCOMPARE(view->browserState(), 1);
    view->resize(300, 200);
    QCOMPARE(view->browserSize(), QSize(440, 570)); // kept until the browser exists
    QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 5000);
    QCOMPARE(view->browserSize(), QSize(300, 200));
    view->resize(500, 400);
    QCOMPARE(view->browserSize(), QSize(500, 400));
}

void TstMCefWebView::registerScriptBeforeHandlerIsDropped()
{
    MCefWebView view;
    view.setAttribute(Qt::WA_DeleteOnClose, false);
    QTest::ignoreMessage(QtWarningMsg, "web client is not ready");
    view.registerScript(QStringLiteral("document.title='x';"));
    QVERIFY(!view.clientHandler());
}

void TstMCefWebView::registeredScriptRunsAtLoadStartAndEnd()
{
    auto view = shownView();
    view->registerScript(QStringLiteral("window.__runs=(window.__runs||0)+1;"
                                        "window.__bodyAtFirst=window.__bodyAtFirst||String(!!document.body);"));
    QCOMPARE(view->clientHandler()->registeredScript().isEmpty(), false);
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    view->load(at("/ok"));
    QVERIFY(finished.wait(15000));
    QTRY_COMPARE_WITH_TIMEOUT(eval(view.get(), QStringLiteral("window.__runs")).toInt(), 2, 3000);
    // The first run happens when the document is created, before its body exists.
    QCOMPARE(eval(view.get(), QStringLiteral("window.__bodyAtFirst")).toString(), QStringLiteral("false"));
}

void TstMCefWebView::accountScriptFitsWidePages()
{
    QFile file(QStringLiteral(VC_SOURCE_DIR "/browser/html/scripts/vuaccount.js"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    auto view = shownView();
    view->registerScript(QString::fromUtf8(file.readAll()));
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    view->load(at("/wide"));
    QVERIFY(finished.wait(15000));
    // Scaled so that the page (1000 px of content plus the body's padding) fits 440 px.
    QTRY_VERIFY_WITH_TIMEOUT(!eval(view.get(), QStringLiteral("document.body.style.zoom")).toString().isEmpty(), 3000);
    const double zoom = eval(view.get(), QStringLiteral("document.body.style.zoom")).toString().toDouble();
    QVERIFY2(zoom > 0.40 && zoom <= 0.44, qPrintable(QString::number(zoom)));
    QCOMPARE(eval(view.get(), QStringLiteral("document.querySelectorAll('#vu-account-fit').length")).toInt(), 1);
    QCOMPARE(eval(view.get(), QStringLiteral("document.querySelector('meta[name=viewport]').content")).toString(),
             QStringLiteral("width=440,initial-scale=1,user-scalable=no"));
    // A page that fits is left at its size.
    view->load(at("/ok"));
    QVERIFY(finished.wait(15000));
    QTRY_COMPARE_WITH_TIMEOUT(eval(view.get(), QStringLiteral("document.body.style.zoom")).toString(), QString(), 3000);
}

void TstMCefWebView::httpStatus_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("status");
    QTest::newRow("200") << "/ok" << 200;
    QTest::newRow("201") << "/created" << 201;
    QTest::newRow("404 with body") << "/nf" << 404;
    QTest::newRow("404 without body") << "/nfe" << 404;
    QTest::newRow("503") << "/err" << 503;
}

void TstMCefWebView::httpStatus()
{
    QFETCH(QString, path);
    QFETCH(int, status);
    auto view = shownView();
    QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 5000);
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    view->load(at(path.toLatin1().constData()));
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.first().at(0).toInt(), status);
    QTest::qWait(200);
    QCOMPARE(finished.size(), 1);
}

void TstMCefWebView::postResultIsNotSentAgain()
{
    auto view = shownView(at("/form"));
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    QVERIFY(finished.wait(15000));
    // POST answered by a redirect: the document came from a GET.
    view->runScript(QStringLiteral("document.forms[0].submit();"));
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.last().at(0).toInt(), 200);
    QCOMPARE(view->url(), at("/ok"));
    QCOMPARE(m_server->hits(QStringLiteral("POST /post")), 1);

    view->load(at("/form"));
    QVERIFY(finished.wait(15000));
    view->runScript(QStringLiteral("document.forms[1].submit();"));
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.last().at(0).toInt(), 200);
    QTest::qWait(200);
    QCOMPARE(m_server->hits(QStringLiteral("POST /post200")), 1);
    QCOMPARE(m_server->hits(QStringLiteral("HEAD /post200")), 0);
}

void TstMCefWebView::unreachableUrlShowsErrorPageWith501()
{
    auto view = shownView();
    QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 5000);
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    // The address carries a one-time ticket: the page shows it, the log does not.
    const QUrl dead(QStringLiteral("http://127.0.0.1:%1/gone?ticket=T-one-time-77&clientSign=c1").arg(freePort()));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^<html><body bgcolor=\"white\"><h2>Failed to load URL "
                                                           "http://127\\.0\\.0\\.1:\\d+/gone with error "
                                                           "ERR_CONNECTION_REFUSED \\(-102\\)")));
    view->load(dead);
    QVERIFY(finished.wait(15000));
    QCOMPARE(finished.first().at(0).toInt(), 501);
    QTRY_VERIFY_WITH_TIMEOUT(pageText(view.get()).contains(QStringLiteral("Failed to load URL")), 5000);
    QVERIFY(pageText(view.get()).contains(QStringLiteral("ERR_CONNECTION_REFUSED (-102)")));
    QTest::qWait(300);
    QCOMPARE(finished.size(), 1); // the generated page reports nothing of its own
}

void TstMCefWebView::errorPageEscapesItsTexts()
{
    const QString html = MCefClientHandler::errorPage(QUrl(QStringLiteral("http://h/<b>x</b>?q=\"a\"&r=<i>")),
                                                      QStringLiteral("ERR_<script>"), -7);
    QVERIFY(!html.contains(QStringLiteral("<b>")));
    QVERIFY(!html.contains(QStringLiteral("<script>")));
    QVERIFY(!html.contains(QStringLiteral("<i>")));
    QVERIFY(html.startsWith(QStringLiteral("<html><body bgcolor=\"white\"><h2>Failed to load URL ")));
    QVERIFY(html.endsWith(QStringLiteral(" (-7).</h2></body></html>")));
    QCOMPARE(MCefClientHandler::netErrorCode(QStringLiteral("ERR_NAME_NOT_RESOLVED")), -105);
    QCOMPARE(MCefClientHandler::netErrorCode(QStringLiteral("ERR_SOMETHING_NEW")), -2);
}

void TstMCefWebView::statusRules()
{
    QCOMPARE(MCefClientHandler::statusFor(true, 204), 204);
    QCOMPARE(MCefClientHandler::statusFor(false, 418), 418);
    QCOMPARE(MCefClientHandler::statusFor(true, 0), 200);   // no answer
    QCOMPARE(MCefClientHandler::statusFor(false, 0), 500);
    QCOMPARE(MCefClientHandler::statusFor(true, 405), 200); // the engine decides the class
    QCOMPARE(MCefClientHandler::statusFor(false, 200), 0);  // aborted
}

void TstMCefWebView::cookiesOfUrlIncludeHttpOnly()
{
    auto view = shownView(at("/cookie"));
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    QVERIFY(finished.wait(15000));
    view->load(at("/pathcookie"));
    QVERIFY(finished.wait(15000));
    auto names = [&](const QUrl& url) -> QStringList {
        QStringList n;
        QList<QNetworkCookie> cookies;
        for (int i = 0; i < 300 && (cookies = view->urlCookies(url)).isEmpty(); ++i)
            QTest::qWait(10);
        for (const QNetworkCookie& c : qAsConst(cookies))
            n << QString::fromLatin1(c.name() + '=' + c.value());
        return n;
    };
    const QStringList top = names(at("/ok"));
    QVERIFY(top.contains(QStringLiteral("secretTok=s1")));
    QVERIFY(!top.contains(QStringLiteral("onlyHere=p1")));
    QVERIFY(names(at("/deep/x")).contains(QStringLiteral("onlyHere=p1")));
    // Other hosts get none of them.
    QVERIFY(view->urlCookies(QUrl(QStringLiteral("http://localhost:%1/ok").arg(m_server->port()))).isEmpty());
}

void TstMCefWebView::callsFromAnotherThread()
{
    auto view = shownView(at("/ok"));
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    QVERIFY(finished.wait(15000));

    // A receiver on another thread gets the signals queued.
    QThread worker;
    ThreadJoin::watch(&worker);
    worker.start();
    QObject receiver;
    receiver.moveToThread(&worker);
    QAtomicPointer<QThread> seenOn;
    QObject::connect(view.get(), &MCefWebView::loadFinished, &receiver,
                     [&](int) { seenOn.storeRelease(QThread::currentThread()); });

    struct Stop
    {
        QThread& t;
        ~Stop()
        {
            t.quit();
            ThreadJoin::wait(&t);
        }
    } stopper{worker};
    WebViewPort* port = view.get();
    runQueued(&receiver, [&] { port->load(at("/a")); });
    QVERIFY(finished.wait(15000));
    QUrl got;
    QAtomicInt answered(0);
    runQueued(&receiver, [&] {
        got = port->url(); // waits for the GUI thread, which spins below
        answered.storeRelease(1);
    });
    QTRY_COMPARE_WITH_TIMEOUT(answered.loadAcquire(), 1, 5000);
    QCOMPARE(got, at("/a"));
    QTRY_COMPARE_WITH_TIMEOUT(seenOn.loadAcquire(), &worker, 3000);
}

void TstMCefWebView::waitingCallGivesUpWhenThreadIsStopped()
{
    auto view = shownView();
    QThread worker;
    ThreadJoin::watch(&worker);
    worker.start();
    QObject receiver;
    receiver.moveToThread(&worker);
    QAtomicInt returned(0);
    runQueued(&receiver, [&] {
        view->url();
        returned.storeRelease(1);
    });
    // The GUI thread blocks on the worker, as a shutdown does; no deadlock.
    QThread::msleep(100);
    QElapsedTimer t;
    t.start();
    worker.requestInterruption();
    worker.quit();
    QTest::ignoreMessage(QtWarningMsg, "web view call given up");
    QVERIFY(ThreadJoin::wait(&worker, 5000));
    QVERIFY(t.elapsed() < 2000);
    QCOMPARE(returned.loadAcquire(), 1);
}

void TstMCefWebView::popupOpensItsOwnWindow()
{
    const int before = MCefLibPrivate::openBrowsers().load();
    auto view = shownView(at("/popup"));
    QTRY_COMPARE_WITH_TIMEOUT(view->clientHandler()->popupCount(), 1, 10000);
    QCOMPARE(MCefLibPrivate::openBrowsers().load(), before + 2);
    view->clientHandler()->closeAllBrowsers(false);
    QTRY_COMPARE_WITH_TIMEOUT(view->clientHandler()->popupCount(), 0, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(MCefLibPrivate::openBrowsers().load(), before + 1, 5000);
    view.reset();
    QCOMPARE(MCefLibPrivate::openBrowsers().load(), before);
}

void TstMCefWebView::certificates()
{
    auto ca = makeCert("Emulator CA", nullptr, nullptr, 11);
    auto otherCa = makeCert("Stranger CA", nullptr, nullptr, 12);
    auto leaf = makeCert("localhost", ca.get(), "DNS:localhost,IP:127.0.0.1", 13);
    auto strangerLeaf = makeCert("localhost", otherCa.get(), "DNS:localhost,IP:127.0.0.1", 14);

    httplib::SSLServer good(leaf->cert, leaf->key);
    httplib::SSLServer stranger(strangerLeaf->cert, strangerLeaf->key);
    TestServer goodSrv(&good);
    TestServer strangerSrv(&stranger);

    CertificateTrust& trust = MCefLibPrivate::certificateTrust();
    trust.setCaCertificate(ca->qt());
    trust.setHosts({QStringLiteral("localhost")});

    auto view = shownView();
    QTRY_COMPARE_WITH_TIMEOUT(view->browserState(), 2, 5000);
    QSignalSpy finished(view.get(), &MCefWebView::loadFinished);
    auto loadStatus = [&](const QUrl& url) {
        finished.clear();
        view->load(url);
        if (!finished.wait(15000))
            return -1;
        return finished.first().at(0).toInt();
    };
    const QRegularExpression refused(QStringLiteral("certificate error .* refused"));
    const QRegularExpression errorPage(QStringLiteral("ERR_CERT_AUTHORITY_INVALID"));

    // A host that is not configured, with a certificate of the right CA.
    QTest::ignoreMessage(QtWarningMsg, refused);
    QTest::ignoreMessage(QtWarningMsg, errorPage);
    QCOMPARE(loadStatus(QUrl(QStringLiteral("https://127.0.0.1:%1/ok").arg(goodSrv.port()))), 501);
    QCOMPARE(goodSrv.hits(QStringLiteral("GET /ok")), 0);

    // The configured host, with a certificate of another CA.
    QTest::ignoreMessage(QtWarningMsg, refused);
    QTest::ignoreMessage(QtWarningMsg, errorPage);
    QCOMPARE(loadStatus(QUrl(QStringLiteral("https://localhost:%1/ok").arg(strangerSrv.port()))), 501);
    QCOMPARE(strangerSrv.hits(QStringLiteral("GET /ok")), 0);

    // The configured host with the emulator's CA.
    QCOMPARE(loadStatus(QUrl(QStringLiteral("https://localhost:%1/ok").arg(goodSrv.port()))), 200);
    QCOMPARE(goodSrv.hits(QStringLiteral("GET /ok")), 1);
    QCOMPARE(loadStatus(QUrl(QStringLiteral("https://localhost:%1/nf").arg(goodSrv.port()))), 404);

    trust.setHosts({});
    view.reset();
}

QTEST_MAIN(TstMCefWebView)
#include "tst_mcefwebview.moc"
