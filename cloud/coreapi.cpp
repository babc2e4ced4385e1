#include "cloud/coreapi.h"

#include "core/endpoints.h"
#include "core/functiontrace.h"
#include "core/jsonreader.h"
#include "cloud/apicredentials.h"
#include "cloud/mnetworkreply.h"
#include "cloud/rc4dropcoder.h"
#include "cloud/secretredactor.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

namespace {
// How much of an undecodable reply goes to the log.
constexpr int kLoggedReplyChars = 1000;
}

CoreApi::CoreApi(QObject* parent, int watchdogMs)
    : QObject(parent), m_manager(new QNetworkAccessManager(this)),
      m_userId(apiUserId()), m_serviceToken(apiServiceToken()), m_watchdogMs(watchdogMs)
{
    const QString domain = Endpoints::current().cookieDomain;
    auto* jar = new QNetworkCookieJar(m_manager);
    QNetworkCookie uid("userId", m_userId.toLatin1());
    uid.setPath(QStringLiteral("/"));
    uid.setDomain(domain);
    jar->insertCookie(uid);
    QNetworkCookie token("serviceToken", m_serviceToken.toLatin1());
    token.setPath(QStringLiteral("/"));
    token.setDomain(domain);
    jar->insertCookie(token);
    m_manager->setCookieJar(jar);

    m_request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    setUserAgent(m_request);
}

QNetworkReply* CoreApi::post(const QString& path, const QJsonObject& params)
{
    const QByteArray body = m_signer.sign(path, params, apiSsecurity());
    QNetworkRequest request(m_request);
    request.setUrl(QUrl(Endpoints::current().homeApi + QStringLiteral("/app") + path));
    request.setSslConfiguration(Endpoints::sslConfiguration());
    QNetworkReply* reply = m_manager->post(request, body);
    reply->setObjectName(path);
    limitReplySize(reply);
    return reply;
}

void CoreApi::sendRequest(const QString& path, const QJsonObject& params, quint32 timeoutMs)
{
    FunctionTrace trace("CoreApi::sendRequest");
    QNetworkReply* reply = post(path, params);
    if (timeoutMs != kNoLimit)
        watch(reply, m_watchdogMs);
    connect(reply, &QNetworkReply::finished, this, &CoreApi::onSendRequestFinished);
}

int CoreApi::getResult(const QString& path, const QJsonObject& params, QJsonObject& result, quint32 timeoutMs)
{
    FunctionTrace trace("CoreApi::getResult");
    QNetworkReply* reply = post(path, params);
    QEventLoop loop;
    connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (timeoutMs != kNoLimit) {
        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, reply, &QNetworkReply::abort);
        timer->start(static_cast<int>(qMin<quint32>(timeoutMs, 0x7FFFFFFF)));
    }
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return evaluate(reply, result, 3);
}

void CoreApi::onSendRequestFinished()
{
    FunctionTrace trace("CoreApi::onSendRequestFinished");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    QJsonObject result;
    const int code = evaluate(reply, result, 1);
    emit sendRequestFinished(code, code == 0 ? result : QJsonObject());
}

int CoreApi::evaluate(QNetworkReply* reply, QJsonObject& result, int cancelledCode)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("%s send request failed:%s", qUtf8Printable(reply->objectName()),
                 qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        if (replyTooLarge(reply))
            return 2; // cut off: no object can come of it
        return reply->error() == QNetworkReply::OperationCanceledError ? cancelledCode : 1;
    }
    return decodeReply(reply->readAll(), apiSsecurity(), m_signer.lastNonce(), result);
}

int CoreApi::decodeReply(const QByteArray& body, const QString& ssecurity, const QString& nonce, QJsonObject& result)
{
    RC4DropCoder coder(RequestSigner::signedNonce(ssecurity, nonce));
    const QByteArray plain = coder.decryptFromBase64(body);
    QJsonParseError pe{};
    const QJsonDocument doc = JsonReader::parse(plain, &pe);
    if (doc.isNull() || pe.error != QJsonParseError::NoError) {
        // Masked first, then cut: a cut could leave part of a secret unmatched.
        qWarning("invalid format:%s",
                 qUtf8Printable(SecretRedactor::redact(QString::fromUtf8(plain)).left(kLoggedReplyChars)));
        return 2;
    }
    if (!doc.isObject())
        return 2;
    result = doc.object();
    return 0;
}
