#include "cloud/usercard.h"

#include "core/endpoints.h"
#include "core/externalurl.h"
#include "core/functiontrace.h"
#include "core/jsonreader.h"
#include "cloud/mnetworkreply.h"
#include "cloud/secretredactor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

UserCard::UserCard(QObject* parent) : QObject(parent), m_manager(new QNetworkAccessManager(this)) {}

void UserCard::clear()
{
    nick.clear();
    iconUrl.clear();
    icon.clear();
}

void UserCard::get(const QString& uid)
{
    FunctionTrace trace("UserCard::get");
    QUrl url(Endpoints::current().accountApi + QStringLiteral("/pass/usersCard"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ids"), uid);
    url.setQuery(query);
    QNetworkRequest request(url);
    setUserAgent(request);
    request.setSslConfiguration(Endpoints::sslConfiguration());
    QNetworkReply* reply = m_manager->get(request);
    watch(reply, 10000);
    limitReplySize(reply);
    connect(reply, &QNetworkReply::finished, this, &UserCard::handleUserCardReply);
}

bool UserCard::parseCard(const QByteArray& body, QString& nick, QUrl& iconUrl)
{
    const QJsonDocument doc = JsonReader::parse(QString::fromUtf8(body).toUtf8());
    if (!doc.isObject() || doc.object().isEmpty())
        return false;
    const QJsonArray list = doc.object().value(QLatin1String("data")).toObject().value(QLatin1String("list")).toArray();
    if (list.isEmpty())
        return false;
    const QJsonObject first = list.at(0).toObject();
    if (first.isEmpty())
        return false;
    nick = first.value(QLatin1String("vuchatNick")).toString();
    iconUrl = QUrl(first.value(QLatin1String("vuchatIcon")).toString());
    return true;
}

void UserCard::handleUserCardReply()
{
    FunctionTrace trace("UserCard::handleUserCardReply");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("handleUserCardReply: reply error %s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        emit onUserCardGotFail();
        return;
    }
    parseCard(reply->readAll(), nick, iconUrl);
    if (iconUrl.isEmpty()) {
        qInfo("user icon is empty");
        emit onUserCardGot();
        return;
    }
    // The address comes from the cloud: a file: or other local address
    // would read the user's own files into the picture.
    if (ExternalUrl::webUrl(iconUrl).isEmpty()) {
        qWarning("user icon refused, not an http or https address: %s",
                 qUtf8Printable(iconUrl.toString().left(200)));
        iconUrl.clear();
        emit onUserCardGot();
        return;
    }
    QNetworkRequest request(iconUrl);
    setUserAgent(request);
    request.setSslConfiguration(Endpoints::sslConfigurationFor(iconUrl));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* iconReply = m_manager->get(request);
    watch(iconReply, 10000);
    limitReplySize(iconReply, kMaxIconBytes);
    connect(iconReply, &QNetworkReply::finished, this, &UserCard::handleUserIconReply);
}

void UserCard::handleUserIconReply()
{
    FunctionTrace trace("UserCard::handleUserIconReply");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (replyTooLarge(reply)) {
        qWarning("user icon larger than %lld bytes, ignored", static_cast<long long>(kMaxIconBytes));
        emit onUserCardGot();
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("handleUserIconReply: reply error %s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        emit onUserCardGotFail();
        return;
    }
    icon = reply->read(kMaxIconBytes + 1);
    if (icon.size() > kMaxIconBytes) {
        qWarning("user icon larger than %lld bytes, ignored", static_cast<long long>(kMaxIconBytes));
        icon.clear();
    }
    emit onUserCardGot();
}
