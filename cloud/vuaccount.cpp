#include "cloud/vuaccount.h"

#include "core/credentialstore.h"
#include "core/endpoints.h"
#include "core/functiontrace.h"
#include "core/threadjoin.h"
#include "core/webviewport.h"
#include "cloud/mnetworkreply.h"
#include "cloud/secretredactor.h"
#include "cloud/servicelogin.h"
#include "cloud/usercard.h"
#include "cloud/weblogin.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QThread>
#include <QUrlQuery>

namespace {
const char kServiceId[] = "velmorio";
const char kRecordKey[] = "account";
} // namespace

VuAccount::VuAccount()
    : QObject(nullptr)
{
    FunctionTrace trace("VuAccount::VuAccount");
    qRegisterMetaType<WebViewPort*>("WebViewPort*");
    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
    // Not a child: an object cannot own the thread it is moved into.
    m_thread = new QThread();
    m_thread->setObjectName(QStringLiteral("account"));
    moveToThread(m_thread);
    // Made here rather than in init(): a call right after construction must
    // not be lost while the thread is still starting. The object lives in the
    // worker thread, so these arrive there queued, after init() has run.
    connect(this, &VuAccount::loginByWeb_s, this, &VuAccount::handleLoginByWeb);
    connect(this, &VuAccount::loginByCache_s, this, &VuAccount::handleLoginByCache);
    connect(this, &VuAccount::logout_s, this, &VuAccount::handleLogout);
    connect(m_thread, &QThread::started, this, &VuAccount::init);
    connect(m_thread, &QThread::finished, this, &VuAccount::uninit, Qt::DirectConnection);
    ThreadJoin::watch(m_thread);
    m_thread->start(QThread::InheritPriority);
}

VuAccount::~VuAccount()
{
    FunctionTrace trace("VuAccount::~VuAccount");
    // A call waiting on the GUI thread (the web view) gives up at once.
    m_thread->requestInterruption();
    m_thread->quit();
    ThreadJoin::wait(m_thread);
    delete m_thread;
    m_webLogin.reset();
}

void VuAccount::init()
{
    FunctionTrace trace("VuAccount::init");
    m_manager = new QNetworkAccessManager(this);

    m_webLogin = std::make_shared<WebLogin>();
    connect(m_webLogin.get(), &WebLogin::onPasstokenGot, this, &VuAccount::onPasstokenGot);
    connect(m_webLogin.get(), &WebLogin::logoutSuccess, this, &VuAccount::onLogout);
    connect(m_webLogin.get(), &WebLogin::onNetworkError, this, &VuAccount::onNetworkError);

    m_userCard = new UserCard(this);
    connect(m_userCard, &UserCard::onUserCardGot, this, &VuAccount::onUserCardGot);
    connect(m_userCard, &UserCard::onUserCardGotFail, this, &VuAccount::onUserCardGotFail);

    m_serviceLogin = new ServiceLogin(this);
    connect(m_serviceLogin, &ServiceLogin::onServiceLogin, this, &VuAccount::onServiceLogin);
    connect(m_serviceLogin, &ServiceLogin::onServiceLoginFail, this, &VuAccount::onServiceLoginFail);
    connect(m_serviceLogin, &ServiceLogin::onNetworkError, this, &VuAccount::onNetworkError);

}

void VuAccount::uninit()
{
    FunctionTrace trace("VuAccount::uninit");
    m_webLogin.reset();
    delete m_serviceLogin;
    m_serviceLogin = nullptr;
    delete m_userCard;
    m_userCard = nullptr;
    delete m_manager;
    m_manager = nullptr;
}

bool VuAccount::readCache(const QJsonObject& record)
{
    const QJsonValue name = record.value(QLatin1String("name"));
    const QJsonValue uid = record.value(QLatin1String("uid"));
    const QJsonValue passToken = record.value(QLatin1String("pass_token"));
    const QJsonValue icon = record.value(QLatin1String("user_icon"));
    if (!name.isString() || !uid.isString() || uid.toString().isEmpty() || !passToken.isString()
        || passToken.toString().isEmpty() || !icon.isString())
        return false;
    m_info.uid = uid.toString();
    m_info.passToken = passToken.toString();
    m_info.name = name.toString();
    m_info.userIcon = QByteArray::fromBase64(icon.toString().toLocal8Bit());
    return true;
}

QJsonObject VuAccount::writeCache() const
{
    QJsonObject o;
    o.insert(QStringLiteral("name"), m_info.name);
    o.insert(QStringLiteral("uid"), m_info.uid);
    o.insert(QStringLiteral("pass_token"), m_info.passToken);
    o.insert(QStringLiteral("user_icon"), QString::fromLatin1(m_info.userIcon.toBase64()));
    return o;
}

bool VuAccount::storeRecord(const QJsonObject& record)
{
    return CredentialStore::writeJson(QLatin1String(kRecordKey), record);
}

QJsonObject VuAccount::storedRecord()
{
    return CredentialStore::readJson(QLatin1String(kRecordKey));
}

bool VuAccount::removeRecord()
{
    return CredentialStore::remove(QLatin1String(kRecordKey));
}

void VuAccount::loginByCache()
{
    FunctionTrace trace("VuAccount::loginByCache");
    emit loginByCache_s();
}

void VuAccount::loginByWeb(WebViewPort* webView)
{
    FunctionTrace trace("VuAccount::loginByWeb");
    emit loginByWeb_s(webView);
}

void VuAccount::logout()
{
    FunctionTrace trace("VuAccount::logout");
    emit logout_s();
}

void VuAccount::handleLoginByCache()
{
    FunctionTrace trace("VuAccount::handleLoginByCache");
    m_loginByCache = true;
    emit onAccountUserCardGot(m_info.name, m_info.userIcon);
    // The record carries no device id: normally empty on this path.
    m_serviceLogin->login(QLatin1String(kServiceId), m_info.uid, m_info.passToken, m_info.deviceId);
}

void VuAccount::handleLoginByWeb(WebViewPort* webView)
{
    FunctionTrace trace("VuAccount::handleLoginByWeb");
    m_webLogin->setWebView(webView);
    const QString deviceId = m_info.deviceId;
    m_info = AccountInfo();
    m_info.deviceId = deviceId;
    m_loginByCache = false;
    m_webLogin->openLoginPage();
}

void VuAccount::onPasstokenGot(const QString& deviceId, const QString& uid, const QString& passToken)
{
    FunctionTrace trace("VuAccount::onPasstokenGot");
    m_info.deviceId = deviceId;
    m_info.uid = uid;
    m_info.passToken = passToken;
    emit onAcccountLogin(uid);
    m_userCard->get(uid);
    m_serviceLogin->login(QLatin1String(kServiceId), uid, passToken, deviceId);
}

void VuAccount::onServiceLogin(const QString& serviceToken, const QString& ssecurity)
{
    FunctionTrace trace("VuAccount::onServiceLogin");
    m_info.serviceToken = serviceToken;
    m_info.ssecurity = ssecurity;
    emit onVuotServiceLogin();
}

void VuAccount::onServiceLoginFail()
{
    FunctionTrace trace("VuAccount::onServiceLoginFail");
    if (m_loginByCache) {
        emit onAutoLoginFail();
        return;
    }
    // Signed in on the page, refused by the service: the error page with its
    // retry, not a loading page that never ends.
    qWarning("account service login fail in web");
    emit onNetworkError(QNetworkReply::UnknownServerError);
}

void VuAccount::onUserCardGot()
{
    FunctionTrace trace("VuAccount::onUserCardGot");
    m_info.name = m_userCard->nick;
    m_info.userIcon = m_userCard->icon;
    emit onAccountUserCardGot(m_userCard->nick, m_userCard->icon);
}

void VuAccount::onUserCardGotFail()
{
    FunctionTrace trace("VuAccount::onUserCardGotFail");
    m_info.name = m_info.uid;
    emit onAccountUserCardGot(m_userCard->nick, m_userCard->icon);
}

void VuAccount::handleLogout()
{
    FunctionTrace trace("VuAccount::handleLogout");
    if (m_loginByCache)
        logoutByCode();
    else
        m_webLogin->logoutByWeb();
}

void VuAccount::logoutByCode()
{
    FunctionTrace trace("VuAccount::logoutByCode");
    qInfo("logoutByCode");
    const Endpoints endpoints = Endpoints::current();
    QUrl root(endpoints.account);
    root.setScheme(QStringLiteral("https"));
    root.setPath(QStringLiteral("/"));
    QUrl url = root;
    url.setPath(QStringLiteral("/pass/logout"));
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("userId"), m_info.uid);
    q.addQueryItem(QStringLiteral("callback"), root.toString(QUrl::FullyEncoded));
    q.addQueryItem(QStringLiteral("_json"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("passive"), QStringLiteral("true"));
    q.addQueryItem(QStringLiteral("hidden"), QStringLiteral("false"));
    url.setQuery(q);
    QNetworkRequest request(url);
    setUserAgent(request);
    request.setSslConfiguration(Endpoints::sslConfiguration());
    QNetworkReply* reply = m_manager->get(request);
    limitReplySize(reply);
    watch(reply, 10000);
    connect(reply, &QNetworkReply::finished, this, &VuAccount::onLogoutByCode);
}

void VuAccount::onLogoutByCode()
{
    FunctionTrace trace("VuAccount::onLogoutByCode");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (reply) {
        reply->deleteLater();
        if (reply->error() != QNetworkReply::NoError)
            qWarning("handleLogoutReply: reply error %s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
    }
    // The user stays named; the secrets of the session go.
    m_info.passToken.clear();
    m_info.serviceToken.clear();
    m_info.ssecurity.clear();
    emit onAccountLogout();
}

void VuAccount::onLogout()
{
    FunctionTrace trace("VuAccount::onLogout");
    const QString deviceId = m_info.deviceId;
    m_info = AccountInfo();
    m_info.deviceId = deviceId;
    m_userCard->clear();
    m_loginByCache = false;
    emit onAccountLogout();
}
