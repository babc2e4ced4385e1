#include "cloud/servicelogin.h"

#include "core/endpoints.h"
#include "core/functiontrace.h"
#include "core/jsonreader.h"
#include "cloud/mnetworkreply.h"
#include "cloud/secretredactor.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

ServiceLogin::ServiceLogin(QObject* parent, int stepTimeoutMs) : QObject(parent), m_stepTimeoutMs(stepTimeoutMs)
{
    static const int registered = [] {
        qRegisterMetaType<QList<QSslError>>("QList<QSslError>");
        qRegisterMetaType<QList<QNetworkCookie>>("QList<QNetworkCookie>");
        return 1;
    }();
    Q_UNUSED(registered);
}

void ServiceLogin::login(const QString& sid, const QString& userId, const QString& passToken, const QString& deviceId)
{
    FunctionTrace trace("ServiceLogin::login");
    if (m_manager) {
        m_manager->clearAccessCache();
        // The dropped exchange ends here: none of its handlers runs. The old
        // manager goes later, as login may be called from one of its
        // replies' handlers.
        m_manager->disconnect(this);
        for (QNetworkReply* r : m_manager->findChildren<QNetworkReply*>()) {
            r->disconnect(this);
            r->abort();
        }
        m_manager->deleteLater();
    }
    m_manager = new QNetworkAccessManager(this);
    connect(m_manager, &QNetworkAccessManager::sslErrors, this, &ServiceLogin::handleSslErrors);
    m_serviceId = sid;
    m_userId = userId;
    m_passToken = passToken;
    m_deviceId = deviceId;
    m_serviceToken.clear();
    m_ssecurity.clear();
    SecretRedactor::addSecret(passToken);
    getLocation();
}

void ServiceLogin::getLocation()
{
    FunctionTrace trace("ServiceLogin::getLocation");
    QUrl url(Endpoints::current().account + QStringLiteral("/pass/serviceLogin"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("sid"), m_serviceId);
    query.addQueryItem(QStringLiteral("_json"), QStringLiteral("true"));
    query.addQueryItem(QStringLiteral("passive"), QStringLiteral("true"));
    query.addQueryItem(QStringLiteral("hidden"), QStringLiteral("fasle"));
    query.addQueryItem(QStringLiteral("userId"), m_userId);
    url.setQuery(query);

    QNetworkRequest request(url);
    QList<QNetworkCookie> cookies;
    cookies << QNetworkCookie("passToken", m_passToken.toLatin1())
            << QNetworkCookie("userId", m_userId.toLatin1())
            << QNetworkCookie("deviceId", m_deviceId.toLatin1());
    request.setHeader(QNetworkRequest::CookieHeader, QVariant::fromValue(cookies));
    setUserAgent(request);
    request.setSslConfiguration(Endpoints::sslConfiguration());
    QNetworkReply* reply = m_manager->get(request);
    limitReplySize(reply);
    watch(reply, m_stepTimeoutMs);
    connect(reply, &QNetworkReply::finished, this, &ServiceLogin::getLocationFinished);
}

void ServiceLogin::getLocationFinished()
{
    FunctionTrace trace("ServiceLogin::getLocationFinished");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("onAuthInfoReply: reply error %s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        emit onNetworkError(reply->error());
        return;
    }
    if (!reply->hasRawHeader("extension-pragma")) {
        qWarning("not found extension-pragma: ");
        emit onServiceLoginFail();
        return;
    }
    const QByteArray pragma = reply->rawHeader("extension-pragma");
    QString ssecurity;
    long long nonce = 0;
    if (!extractSecurity(pragma, ssecurity, nonce)) {
        qWarning("invalid format: %s", SecretRedactor::redact(pragma).constData());
        emit onServiceLoginFail();
        return;
    }
    SecretRedactor::addSecret(ssecurity);
    const QString body = QString::fromUtf8(reply->readAll());
    QString location;
    if (!extractLocation(body, location)) {
        qWarning("invalid format: %s", qUtf8Printable(SecretRedactor::redact(body)));
        emit onServiceLoginFail();
        return;
    }
    getServiceToken(location, ssecurity, nonce);
}

bool ServiceLogin::extractSecurity(const QByteArray& ext_pragma, QString& ssecurity, long long& nonce)
{
    QJsonParseError pe{};
    const QJsonDocument doc = JsonReader::parse(ext_pragma, &pe);
    if (doc.isNull() || pe.error != QJsonParseError::NoError)
        return false;
    const QJsonObject o = doc.object();
    if (o.isEmpty())
        return false;
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        if (it.key() == QLatin1String("ssecurity")) {
            ssecurity = it.value().toVariant().toString();
        } else if (it.key() == QLatin1String("nonce")) {
            const double d = it.value().toDouble(0.0);
            // Out-of-range values cannot be converted; they count as 0.
            nonce = (d >= -9.2e18 && d <= 9.2e18) ? static_cast<long long>(d) : 0;
        }
    }
    return !ssecurity.isEmpty();
}

bool ServiceLogin::extractLocation(const QString& rawJsonText, QString& location)
{
    static const QString marker = QStringLiteral("&&&START&&&");
    const int at = rawJsonText.indexOf(marker);
    if (at < 0)
        return false;
    QJsonParseError pe{};
    const QJsonDocument doc = JsonReader::parse(rawJsonText.mid(at + marker.size()).toUtf8(), &pe);
    if (doc.isNull() || pe.error != QJsonParseError::NoError)
        return false;
    const QJsonObject o = doc.object();
    if (o.isEmpty())
        return false;
    int code = -1;
    QString desc;
    for (auto it = o.constBegin(); it != o.constEnd(); ++it) {
        if (it.key() == QLatin1String("desc"))
            desc = it.value().toVariant().toString();
        else if (it.key() == QLatin1String("code"))
            code = it.value().toInt(0);
        else if (it.key() == QLatin1String("location"))
            location = it.value().toVariant().toString();
    }
    if (code != 0) {
        qWarning("login fail: %s", qUtf8Printable(SecretRedactor::redact(desc)));
        return false;
    }
    return true;
}

QString ServiceLogin::clientSign(qlonglong nonce, const QString& ssecurity)
{
    const QString text = QStringLiteral("nonce=%1&%2").arg(nonce).arg(ssecurity);
    const QByteArray digest = QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Sha1);
    return QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(digest.toBase64())));
}

void ServiceLogin::getServiceToken(QString location, QString ssecurity, qlonglong nonce)
{
    FunctionTrace trace("ServiceLogin::getServiceToken");
    m_ssecurity = ssecurity;
    const QUrl url(location + QStringLiteral("&clientSign=") + clientSign(nonce, ssecurity), QUrl::TolerantMode);
    QNetworkRequest request(url);
    setUserAgent(request);
    request.setSslConfiguration(Endpoints::sslConfiguration());
    QNetworkReply* reply = m_manager->get(request);
    limitReplySize(reply);
    watch(reply, m_stepTimeoutMs);
    connect(reply, &QNetworkReply::finished, this, &ServiceLogin::getServiceTokenFinished);
}

void ServiceLogin::getServiceTokenFinished()
{
    FunctionTrace trace("ServiceLogin::getServiceTokenFinished");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("handleLoginReply: reply error %s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        emit onNetworkError(reply->error());
        return;
    }
    reply->readAll();
    const QVariant header = reply->header(QNetworkRequest::SetCookieHeader);
    if (header.isValid())
        m_serviceToken = serviceTokenOf(header.value<QList<QNetworkCookie>>());
    if (m_serviceToken.isEmpty()) {
        qWarning("serviceToken is empty");
        emit onServiceLoginFail();
        return;
    }
    SecretRedactor::addSecret(m_serviceToken);
    emit onServiceLogin(m_serviceToken, m_ssecurity);
}

QString ServiceLogin::serviceTokenOf(const QList<QNetworkCookie>& cookies)
{
    for (const QNetworkCookie& c : cookies) {
        if (c.name() == "serviceToken")
            return QString::fromLatin1(c.value());
    }
    return QString();
}

void ServiceLogin::handleSslErrors(QNetworkReply* reply, QList<QSslError> errors)
{
    FunctionTrace trace("ServiceLogin::handleSslErrors");
    // The pass token travels on these requests: a certificate that does not
    // check out ends the request (it fails with an SSL error) instead of
    // being ignored.
    qWarning("handle ssl errors for:%s", qUtf8Printable(SecretRedactor::redact(reply->url().toDisplayString())));
    for (const QSslError& e : errors)
        qWarning("ssl error:%s", qUtf8Printable(e.errorString()));
}
