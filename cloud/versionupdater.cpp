#include "cloud/versionupdater.h"

#include "core/appglobals.h"
#include "core/appinfo.h"
#include "core/endpoints.h"
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
#include <vcversion.h>

VersionUpdater::VersionUpdater(QObject* parent, AppInfo* info, QNetworkAccessManager* manager)
    : QObject(parent), m_info(info ? info : AppInfo::instance()),
      m_manager(manager ? manager : AppGlobals::networkManager())
{
    qRegisterMetaType<PromptPolicy>("PromptPolicy");
}

QVersionNumber VersionUpdater::ownVersion()
{
    const QVersionNumber v = QVersionNumber::fromString(QStringLiteral(VC_VERSION_STRING));
    return QVersionNumber(v.segmentAt(0), v.segmentAt(1), v.segmentAt(2));
}

void VersionUpdater::check()
{
    FunctionTrace trace("VersionUpdater::check");
    m_currentVersion = ownVersion();
    m_checkTime = QDateTime::fromString(m_info->getString(QStringLiteral("updater"), QStringLiteral("check_time"), QString()),
                                        Qt::ISODate);
    m_netVersion = QVersionNumber::fromString(m_info->getString(QStringLiteral("updater"), QStringLiteral("version"), QString()));
    m_policy = m_info->getInt(QStringLiteral("updater"), QStringLiteral("update_policy"), 1);
    if (m_policy < 0 || m_policy > 2) {
        qWarning("invalid update_policy value:%d", m_policy);
        m_policy = 1;
    }
    m_url = m_info->getString(QStringLiteral("updater"), QStringLiteral("url"), QString());
    const int days = m_info->getInt(QStringLiteral("settings"), QStringLiteral("update_days"), 1);

    if (m_checkTime.isNull() || !m_checkTime.isValid()) {
        qInfo("first time to check version.");
        query();
        return;
    }
    const qint64 elapsed = m_checkTime.daysTo(QDateTime::currentDateTime());
    if (elapsed >= days) {
        qInfo("%d days passed, and check version.", static_cast<int>(elapsed));
        query();
    } else if (m_netVersion.isNull()) {
        qInfo(" version still not got, and check again.");
        query();
    } else if (m_url.isEmpty()) {
        qWarning("version url is empty, and check again.");
        query();
    }
}

void VersionUpdater::query()
{
    FunctionTrace trace("VersionUpdater::query");
    if (!m_manager) {
        qWarning("onCheckVersionFinished: reply error no network manager");
        return;
    }
    QUrl url(Endpoints::current().update + QStringLiteral("/updates/vu-updateV6.php"));
    url.setQuery(QStringLiteral("v=0.0.1&c=4.0&d=VuCamera&b=X"), QUrl::StrictMode);
    QNetworkRequest request(url);
    setUserAgent(request);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setSslConfiguration(Endpoints::sslConfiguration());
    QNetworkReply* reply = m_manager->get(request);
    limitReplySize(reply);
    connect(reply, &QNetworkReply::finished, this, &VersionUpdater::onCheckVersionFinished);
}

void VersionUpdater::onCheckVersionFinished()
{
    FunctionTrace trace("VersionUpdater::onCheckVersionFinished");
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning("onCheckVersionFinished: reply error %s", qUtf8Printable(SecretRedactor::redact(reply->errorString())));
        return;
    }
    m_checkTime = QDateTime::currentDateTime();
    m_info->setString(QStringLiteral("updater"), QStringLiteral("check_time"), m_checkTime.toString(Qt::ISODate));

    Published published;
    if (!parseReply(reply->readAll(), published))
        return;
    m_netVersion = published.version;
    m_policy = published.policy;
    m_url = published.url;
    m_info->setString(QStringLiteral("updater"), QStringLiteral("version"), m_netVersion.toString());
    m_info->setInt(QStringLiteral("updater"), QStringLiteral("update_policy"), m_policy);
    m_info->setString(QStringLiteral("updater"), QStringLiteral("url"), m_url);
    emit onNetVersionGot(m_netVersion, static_cast<PromptPolicy>(m_policy));
}

bool VersionUpdater::parseReply(const QByteArray& body, Published& out)
{
    QJsonParseError pe{};
    const QJsonDocument doc = JsonReader::parse(QString::fromUtf8(body).toUtf8(), &pe);
    if (doc.isNull() || pe.error != QJsonParseError::NoError)
        return false;
    const QJsonObject root = doc.object();
    if (root.isEmpty())
        return false;
    const QJsonValue latestValue = root.value(QLatin1String("LatestVersion"));
    if (!latestValue.isObject())
        return false;
    const QJsonObject latest = latestValue.toObject();
    for (const char* key : {"version", "md5", "filesize", "filename"}) {
        if (!latest.value(QLatin1String(key)).isString())
            return false;
    }
    const QJsonValue mirrors = root.value(QLatin1String("MirrorList"));
    if (!mirrors.isArray() || mirrors.toArray().isEmpty())
        return false;
    const QString versionText = latest.value(QLatin1String("version")).toString();
    const QVersionNumber v = QVersionNumber::fromString(versionText);
    int policy = v.segmentCount() > 3 ? v.segmentAt(3) : int(PromptManual);
    // The policy travels as a PromptPolicy: a value outside the enum must
    // not get that far.
    if (policy < PromptNever || policy > PromptAtStart) {
        qWarning("invalid update_policy value:%d", policy);
        policy = PromptManual;
    }
    out.version = QVersionNumber(v.segmentAt(0), v.segmentAt(1), v.segmentAt(2));
    out.policy = policy;
    out.url = mirrors.toArray().at(0).toVariant().toString() + QLatin1Char('/') + versionText + QLatin1Char('/')
        + latest.value(QLatin1String("filename")).toString();
    return true;
}

QUrl VersionUpdater::safeDownloadUrl() const
{
    const QUrl u(m_url, QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || u.host().isEmpty()) {
        qWarning("update url refused, not an http or https address: %s", qUtf8Printable(m_url.left(200)));
        return QUrl();
    }
    return u;
}

bool VersionUpdater::openDownloadUrl(const std::function<bool(const QUrl&)>& opener) const
{
    const QUrl u = safeDownloadUrl();
    if (u.isEmpty() || !opener)
        return false;
    return opener(u);
}
