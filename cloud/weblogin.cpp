#include "cloud/weblogin.h"

#include "core/endpoints.h"
#include "core/webviewport.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QTimer>
#include <QUrlQuery>

namespace {
const char kSecurityHome[] = "/pass/auth/security/home";
const char kServiceLogin[] = "/pass/serviceLogin";

QUrl accountUrl(const char* path)
{
    QUrl url(Endpoints::current().account);
    url.setScheme(QStringLiteral("https"));
    url.setPath(QLatin1String(path));
    return url;
}
} // namespace

WebLogin::WebLogin(QObject* parent)
    : QObject(parent)
{
    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
}

QUrl WebLogin::loginPageUrl()
{
    QUrl url = accountUrl(kServiceLogin);
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("sid"), QStringLiteral("passport"));
    q.addQueryItem(QStringLiteral("_json"), QStringLiteral("false"));
    q.addQueryItem(QStringLiteral("passive"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("hidden"), QStringLiteral("fasle"));
    q.addQueryItem(QStringLiteral("_locale"), QStringLiteral("zh_CN"));
    url.setQuery(q);
    return url;
}

QUrl WebLogin::logoutUrl(const QString& userId)
{
    QUrl url = accountUrl("/pass/logout");
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("userId"), userId);
    q.addQueryItem(QStringLiteral("callback"), accountUrl("/").toString(QUrl::FullyEncoded));
    q.addQueryItem(QStringLiteral("_json"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("passive"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("hidden"), QStringLiteral("false"));
    url.setQuery(q);
    return url;
}

QString WebLogin::scriptPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/html/scripts/vuaccount.js");
}

bool WebLogin::viewAlive() const
{
    return m_webView && m_viewObject;
}

void WebLogin::setWebView(WebViewPort* webView)
{
    if (webView == m_webView) {
        qWarning("webview not changed:%p", static_cast<void*>(webView));
        return;
    }
    if (m_viewObject)
        disconnect(m_viewObject, nullptr, this, nullptr);
    m_webView = webView;
    m_viewObject = webView ? webView->signalSource() : nullptr;
    if (!m_viewObject)
        return;
    connect(m_viewObject, SIGNAL(inited()), this, SLOT(onInited()));
    connect(m_viewObject, SIGNAL(loadFinished(int)), this, SLOT(on_loadFinished(int)));
    connect(m_viewObject, SIGNAL(loadStarted()), this, SLOT(onLoadStarted()));
    connect(m_viewObject, SIGNAL(titleChanged(QString)), this, SLOT(onTitleChanged(QString)));
    connect(m_viewObject, SIGNAL(urlChanged(QUrl)), this, SLOT(onUrlChanged(QUrl)));
}

void WebLogin::onInited()
{
    QString script;
    QFile file(scriptPath());
    if (file.open(QIODevice::ReadOnly))
        script = QString::fromUtf8(file.readAll());
    else // sign-in cannot finish without it: an install that left it out shows here
        qWarning("page script %s not readable: %s", qUtf8Printable(file.fileName()), qUtf8Printable(file.errorString()));
    if (viewAlive())
        m_webView->registerScript(script);
}

void WebLogin::openLoginPage()
{
    m_loginPending = true;
    m_logoutPending = false;
    if (viewAlive())
        m_webView->load(loginPageUrl());
}

// The account service's own page: https, the configured host and port, and
// exactly this path. A look-alike address (another host carrying the path
// in its query, say) does not count, so no other site's cookies can pass
// for the account's.
bool WebLogin::isAccountPage(const QUrl& url, const QString& path)
{
    const QUrl account(Endpoints::current().account);
    return url.scheme() == QLatin1String("https") && url.host() == account.host()
        && url.port(443) == account.port(443) && url.path() == path;
}

void WebLogin::on_loadFinished(int http_code)
{
    const int cls = http_code / 100;
    if (cls != 2) {
        qWarning("on_loadFinished fail:%d", http_code);
        if (cls == 4 || cls == 5)
            emit onNetworkError(QNetworkReply::HostNotFoundError);
        return;
    }
    if (!viewAlive())
        return;
    const QUrl current = m_webView->url();

    if (m_loginPending && isAccountPage(current, QLatin1String(kSecurityHome)))
        visitCookies(current, 3);
    if (m_logoutPending && isAccountPage(current, QLatin1String(kServiceLogin))) {
        m_logoutPending = false;
        m_passToken.clear();
        m_userId.clear();
        m_deviceId.clear();
        emit logoutSuccess();
    }
}

// The engine reports cookie changes on its own schedule; should the page
// finish before the cookies it was given have been reported, look again a
// little later (a few times) while the browser is still on that page.
void WebLogin::visitCookies(const QUrl& url, int retries)
{
    if (!viewAlive())
        return;
    const QList<QNetworkCookie> cookies = m_webView->urlCookies(url);
    bool emitted = false;
    for (int i = 0; i < cookies.size(); ++i) {
        bool deleteCookie = false;
        if (!Visit(cookies.at(i), i, cookies.size(), deleteCookie)) {
            emitted = true;
            break;
        }
    }
    const bool complete = !m_passToken.isEmpty() && !m_userId.isEmpty() && !m_deviceId.isEmpty();
    if (emitted || complete || retries <= 0)
        return;
    QTimer::singleShot(200, this, [this, url, retries] {
        if (m_loginPending && viewAlive() && m_webView->url() == url)
            visitCookies(url, retries - 1);
    });
}

bool WebLogin::Visit(const QNetworkCookie& cookie, int count, int total, bool& deleteCookie)
{
    Q_UNUSED(count);
    Q_UNUSED(total);
    deleteCookie = false;
    const bool completeBefore = !m_passToken.isEmpty() && !m_userId.isEmpty() && !m_deviceId.isEmpty();
    const QByteArray name = cookie.name();
    const QString value = QString::fromUtf8(cookie.value());
    if (name == "passToken")
        m_passToken = value;
    else if (name == "userId")
        m_userId = value;
    else if (name == "deviceId")
        m_deviceId = value;
    const bool completeAfter = !m_passToken.isEmpty() && !m_userId.isEmpty() && !m_deviceId.isEmpty();
    if (!completeBefore && completeAfter) {
        emit onPasstokenGot(m_deviceId, m_userId, m_passToken);
        return false;
    }
    return true;
}

void WebLogin::logoutByWeb()
{
    m_loginPending = false;
    m_logoutPending = true;
    qInfo("logoutByWeb");
    // Fully encoded, the address cannot close the script's string.
    const QString address = logoutUrl(m_userId).toString(QUrl::FullyEncoded);
    if (viewAlive())
        m_webView->runScript(QStringLiteral("top.location.href=\"") + address + QStringLiteral("\";"));
}
