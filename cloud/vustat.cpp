#include "cloud/vustat.h"

#include "core/endpoints.h"
#include "core/functiontrace.h"
#include "cloud/mnetworkreply.h"
#include "cloud/secretredactor.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>
#include <openssl/evp.h>

const char* const VuStat::kAppId = "2882303761517580742";
const char* const VuStat::kAppKey = "5691758012742";
const char* const VuStat::kSalt = "vC7#qL2!pZ9sT4xW8mN1bR6yH3kD5fJ0e";

namespace {

// How much of a failed report's answer goes to the log.
constexpr qint64 kLoggedBodyBytes = 200;

QString g_clientId;
QByteArray g_reportKey;
QString g_version;
QNetworkAccessManager* g_manager = nullptr;

QJsonDocument wrap(const QString& category, const QJsonArray& values, qint64 nowMs)
{
    QJsonObject cat;
    cat.insert(QStringLiteral("category"), category);
    cat.insert(QStringLiteral("values"), values);
    QJsonObject report;
    report.insert(QStringLiteral("endTS"), static_cast<double>(nowMs));
    report.insert(QStringLiteral("startTS"), static_cast<double>(nowMs - 1));
    report.insert(QStringLiteral("content"), QJsonArray{cat});
    return QJsonDocument(QJsonArray{report});
}

QJsonObject value(const QString& key, const char* type, const QJsonValue& v)
{
    QJsonObject o;
    o.insert(QStringLiteral("key"), key);
    o.insert(QStringLiteral("type"), QLatin1String(type));
    o.insert(QStringLiteral("value"), v);
    return o;
}

void send(const char* traceName, const QJsonDocument& doc)
{
    FunctionTrace trace(traceName);
    const QByteArray cipher = VuStat::encrypt(doc.toJson(), VuStat::reportKey());
    VuStat::upload(QString::fromLatin1(cipher.toHex()));
}

} // namespace

VuStat::VuStat(QObject* parent) : QObject(parent) {}

QString VuStat::clientId()
{
    if (g_clientId.isEmpty()) {
        for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
            const auto f = iface.flags();
            if ((f & QNetworkInterface::IsUp) && (f & QNetworkInterface::IsRunning)
                && !(f & QNetworkInterface::IsLoopBack)) {
                g_clientId = QString::fromLatin1(iface.hardwareAddress().toLatin1().toHex());
                break;
            }
        }
        if (g_clientId.isEmpty())
            g_clientId = QStringLiteral("mac_not_found");
    }
    return g_clientId;
}

QByteArray VuStat::reportKey()
{
    if (g_reportKey.isEmpty()) {
        const QString seed = QStringLiteral("seed:%1-%2-%3")
                                 .arg(QLatin1String(kAppId), QLatin1String(kAppKey), clientId());
        g_reportKey = QCryptographicHash::hash(seed.toLatin1(), QCryptographicHash::Md5).toHex().left(16).toUpper();
    }
    return g_reportKey;
}

QString VuStat::version() { return g_version; }

void VuStat::setVersion(const QString& version) { g_version = version; }
void setVersion(const QString& version) { VuStat::setVersion(version); }

QJsonDocument VuStat::actionReport(const QString& name, qint64 nowMs)
{
    return wrap(QStringLiteral("default_category"), QJsonArray{value(name, "event", 1)}, nowMs);
}

QJsonDocument VuStat::errorReport(const QString& name, int code, qint64 nowMs)
{
    return wrap(QStringLiteral("default_category"),
                QJsonArray{value(name + QStringLiteral("_error"), "property", code)}, nowMs);
}

QJsonDocument VuStat::aliveReport(qint64 nowMs)
{
    const QString deviceId = QString::fromLatin1(
        QCryptographicHash::hash(clientId().toLatin1(), QCryptographicHash::Md5).toHex());
    QJsonArray values;
    values << value(QStringLiteral("device_id"), "property", deviceId)
           << value(QStringLiteral("OS"), "property", QSysInfo::kernelVersion())
           << value(QStringLiteral("model"), "property", QStringLiteral("PC"))
           << value(QStringLiteral("new"), "event", 1)
           << value(QStringLiteral("vustat_dau"), "event", 1);
    return wrap(QStringLiteral("vustat_basic"), values, nowMs);
}

QByteArray VuStat::encrypt(const QByteArray& plain, const QByteArray& key)
{
    QByteArray out((plain.size() / 16 + 1) * 16, '\0');
    if (key.size() != 16) {
        qWarning("ERROR in EVP_EncryptInit_ex: key has %d bytes", key.size());
        return out;
    }
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx || EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                                   reinterpret_cast<const unsigned char*>(key.constData()), nullptr) != 1) {
        qWarning("ERROR in EVP_EncryptInit_ex");
        EVP_CIPHER_CTX_free(ctx);
        return out;
    }
    int len = 0;
    if (EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                          reinterpret_cast<const unsigned char*>(plain.constData()), plain.size()) != 1) {
        qWarning("ERROR in EVP_EncryptUpdate");
        EVP_CIPHER_CTX_free(ctx);
        return out;
    }
    int tail = 0;
    if (EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len, &tail) != 1) {
        qWarning("ERROR in EVP_EncryptFinal_ex");
        EVP_CIPHER_CTX_free(ctx);
        return out;
    }
    out.resize(len + tail);
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

QString VuStat::sign(const QMap<QString, QString>& items)
{
    QString text;
    for (auto it = items.constBegin(); it != items.constEnd(); ++it) // QMap: ascending keys
        text += it.key() + it.value();
    text += QLatin1String(kSalt);
    return QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex());
}

QMap<QString, QString> VuStat::uploadItems(const QString& statValue)
{
    QMap<QString, QString> items;
    items.insert(QStringLiteral("app_id"), QLatin1String(kAppId));
    items.insert(QStringLiteral("app_key"), QLatin1String(kAppKey));
    items.insert(QStringLiteral("channel"), QStringLiteral("default_channel"));
    items.insert(QStringLiteral("vustatv"), QStringLiteral("3"));
    items.insert(QStringLiteral("version"), g_version);
    items.insert(QStringLiteral("sdk_version"), QStringLiteral("2.0.0"));
    items.insert(QStringLiteral("device_id"), clientId());
    items.insert(QStringLiteral("stat_value"), statValue);
    items.insert(QStringLiteral("sign"), sign(items));
    return items;
}

void VuStat::upload(const QString& statValue)
{
    FunctionTrace trace("VuStat::upload");
    const QMap<QString, QString> items = uploadItems(statValue);
    QUrlQuery query;
    for (auto it = items.constBegin(); it != items.constEnd(); ++it)
        query.addQueryItem(it.key(), it.value());
    QUrl url(Endpoints::current().stats + QStringLiteral("/vustats/v2"));
    url.setQuery(query);
    QNetworkRequest request(url);
    setUserAgent(request);
    if (!g_manager)
        g_manager = new QNetworkAccessManager;
    QNetworkReply* reply = g_manager->get(request);
    limitReplySize(reply);
    auto* receiver = new VuStat(reply);
    connect(reply, &QNetworkReply::finished, receiver, &VuStat::onPostFinished);
}

void VuStat::onPostFinished()
{
    FunctionTrace trace("VuStat::onPostFinished");
    auto* reply = qobject_cast<QNetworkReply*>(parent());
    if (!reply)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("vustat err:%s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        // The body is the server's: at most a line of it, without secrets.
        qWarning("vustat err:%s", qUtf8Printable(SecretRedactor::redact(QString::fromUtf8(reply->read(kLoggedBodyBytes)))));
    } else {
        reply->readAll();
    }
    reply->deleteLater();
}

void reportAction(const QString& name) { VuStat::reportAction(name); }
void reportError(const QString& name, int code) { VuStat::reportError(name, code); }
void reportAlive() { VuStat::reportAlive(); }

void VuStat::reportAction(const QString& name)
{
    send("VuStat::reportAction", VuStat::actionReport(name, QDateTime::currentMSecsSinceEpoch()));
}

void VuStat::reportError(const QString& name, int code)
{
    send("VuStat::reportError", VuStat::errorReport(name, code, QDateTime::currentMSecsSinceEpoch()));
}

void VuStat::reportAlive()
{
    send("VuStat::reportAlive", VuStat::aliveReport(QDateTime::currentMSecsSinceEpoch()));
}
