#include "core/endpoints.h"

#include "core/filesafety.h"

#include <QDir>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <mutex>
#include <QSslCertificate>
#include <QUrl>
#include <QtGlobal>

namespace {

std::mutex g_mutex;
bool g_loaded = false;
Endpoints* g_current = nullptr;
std::mutex g_pathMutex; // apart from g_mutex: current() reads the path under g_mutex
QString g_filePath;

QString str(const QJsonObject& o, const char* key, const QString& def)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString() || v.toString().isEmpty())
        return def;
    QString s = v.toString();
    while (s.endsWith(QLatin1Char('/')) && s.contains(QLatin1String("://")))
        s.chop(1);
    return s;
}

} // namespace

Endpoints::Endpoints()
    : account(QStringLiteral("https://127.0.0.1:8443")),
      accountApi(QStringLiteral("http://127.0.0.1:8080")),
      homeApi(QStringLiteral("https://127.0.0.1:8444")),
      cookieDomain(QStringLiteral("127.0.0.1")),
      update(QStringLiteral("http://127.0.0.1:8081")),
      stats(QStringLiteral("http://127.0.0.1:8082")),
      p2pDirectory(QStringLiteral("127.0.0.1:32100"))
{
    caCertFile = QDir::tempPath() + QStringLiteral("/vucamera-sim/ca.pem");
}

QString Endpoints::accountAuthority() const
{
    const QUrl u(account);
    QString a = u.host();
    if (u.port() != -1)
        a += QLatin1Char(':') + QString::number(u.port());
    return a;
}

Endpoints Endpoints::fromJson(const QJsonObject& o)
{
    Endpoints e;
    e.account = str(o, "account", e.account);
    e.accountApi = str(o, "account_api", e.accountApi);
    e.homeApi = str(o, "home_api", e.homeApi);
    e.cookieDomain = str(o, "cookie_domain", QUrl(e.homeApi).host());
    e.update = str(o, "update", e.update);
    e.stats = str(o, "stats", e.stats);
    e.caCertFile = o.contains(QLatin1String("ca_cert")) ? o.value(QLatin1String("ca_cert")).toString()
                                                        : e.caCertFile;
    e.p2pDirectory = str(o, "p2p_directory", e.p2pDirectory);
    return e;
}

QJsonObject Endpoints::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("account"), account);
    o.insert(QStringLiteral("account_api"), accountApi);
    o.insert(QStringLiteral("home_api"), homeApi);
    o.insert(QStringLiteral("cookie_domain"), cookieDomain);
    o.insert(QStringLiteral("update"), update);
    o.insert(QStringLiteral("stats"), stats);
    o.insert(QStringLiteral("ca_cert"), caCertFile);
    o.insert(QStringLiteral("p2p_directory"), p2pDirectory);
    return o;
}

QString Endpoints::defaultFilePath()
{
    {
        std::lock_guard<std::mutex> lock(g_pathMutex);
        if (!g_filePath.isEmpty())
            return g_filePath;
    }
    const QString env = qEnvironmentVariable("VUCAMERA_ENDPOINTS");
    if (!env.isEmpty())
        return env;
    return QDir::tempPath() + QStringLiteral("/vucamera-sim/endpoints.json");
}

Endpoints Endpoints::load(const QString& path, bool* ok)
{
    if (ok)
        *ok = false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning("endpoints file %s not readable, using the defaults", qUtf8Printable(path));
        return Endpoints();
    }
    // The file decides where the pass token goes and which CA is trusted:
    // one that another local user could have written or swapped is ignored.
    QString why;
    if (!FileSafety::isTrustedConfigFile(path, &why)) {
        qWarning("endpoints file %s not trusted (%s), using the defaults", qUtf8Printable(path),
                 qUtf8Printable(why));
        return Endpoints();
    }
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &pe);
    if (!doc.isObject()) {
        qWarning("endpoints file %s is not a JSON object (%s), using the defaults",
                 qUtf8Printable(path), qUtf8Printable(pe.errorString()));
        return Endpoints();
    }
    if (ok)
        *ok = true;
    return fromJson(doc.object());
}

Endpoints Endpoints::current()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_loaded) {
        g_loaded = true;
        g_current = new Endpoints(load(defaultFilePath()));
    }
    return *g_current;
}

void Endpoints::setCurrent(const Endpoints& e)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_loaded = true;
    if (!g_current)
        g_current = new Endpoints(e);
    else
        *g_current = e;
}

void Endpoints::setFilePath(const QString& path)
{
    {
        std::lock_guard<std::mutex> lock(g_pathMutex);
        g_filePath = path;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_loaded = false;
}

void Endpoints::reload()
{
    setCurrent(load(defaultFilePath()));
}

QSslConfiguration Endpoints::sslConfiguration()
{
    // Parsing the system store and the CA file costs milliseconds per
    // request; keep the result until the CA file changes.
    static std::mutex cacheMutex;
    static QString cachedFile;
    static QDateTime cachedTime;
    static bool cached = false;
    static QSslConfiguration cachedConf;

    const Endpoints e = current();
    const QFileInfo info(e.caCertFile);
    const QDateTime mtime = info.exists() ? info.lastModified() : QDateTime();
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (cached && cachedFile == e.caCertFile && cachedTime == mtime)
        return cachedConf;

    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> cas = QSslConfiguration::systemCaCertificates();
    QString why;
    if (!e.caCertFile.isEmpty() && info.exists() && !FileSafety::isTrustedConfigFile(e.caCertFile, &why)) {
        qWarning("extra CA %s not trusted (%s), only the system store is used", qUtf8Printable(e.caCertFile),
                 qUtf8Printable(why));
    } else if (!e.caCertFile.isEmpty() && info.exists()) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(e.caCertFile, QSsl::Pem);
        if (extra.isEmpty())
            qWarning("no CA certificate in %s", qUtf8Printable(e.caCertFile));
        cas += extra;
    }
    conf.setCaCertificates(cas);
    cachedFile = e.caCertFile;
    cachedTime = mtime;
    cachedConf = conf;
    cached = true;
    return conf;
}

QSslConfiguration Endpoints::sslConfigurationFor(const QUrl& url)
{
    const Endpoints e = current();
    const QString host = url.host().toLower();
    for (const QString& service : {e.account, e.accountApi, e.homeApi, e.update, e.stats}) {
        if (!host.isEmpty() && QUrl(service).host().toLower() == host)
            return sslConfiguration();
    }
    QSslConfiguration conf = QSslConfiguration::defaultConfiguration();
    conf.setCaCertificates(QSslConfiguration::systemCaCertificates());
    return conf;
}
