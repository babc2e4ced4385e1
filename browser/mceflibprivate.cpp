#include "browser/mceflibprivate.h"


#include "core/appglobals.h"
#include "core/endpoints.h"
#include "core/threadsanitizer.h"

#include <QCoreApplication>
#include <QNetworkCookieJar>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#ifdef VC_THREAD_SANITIZER
// Added to tests/sanitizers/tsan.supp in the programs that start the browser
// runtime. Its threads copy strings between them under their own
// synchronisation, which is not instrumented; the sanitizer sees only the
// C++ library's frames of such a copy (memcpy, new and delete inside
// std::string's assignment) and reports two runtime threads racing. Named
// here rather than in the shared file so that string copies stay checked in
// the programs of the P2P library, which copies strings between threads.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:basic_string<char, std::char_traits<char>, std::allocator<char> >::_M_assign\n";
}
#endif

namespace {
std::shared_ptr<MCefLibPrivate> g_runtime;
std::weak_ptr<MCefLibPrivate> g_alive;
}

std::shared_ptr<MCefLibPrivate> MCefLibPrivate::acquire(const BrowserRuntimeConfig& config)
{
    if (auto alive = g_alive.lock())
        return alive;
    g_runtime.reset(new MCefLibPrivate(config));
    g_alive = g_runtime;
    return g_runtime;
}

void MCefLibPrivate::shutdown()
{
    g_runtime.reset();
}

bool MCefLibPrivate::isRunning()
{
    return !g_alive.expired();
}

CertificateTrust& MCefLibPrivate::certificateTrust()
{
    static CertificateTrust trust;
    return trust;
}

void MCefLibPrivate::trustEndpoints(const Endpoints& endpoints)
{
    CertificateTrust& trust = certificateTrust();
    trust.setCaFile(endpoints.caCertFile);
    QStringList hosts;
    for (const QString& address : {endpoints.account, endpoints.accountApi, endpoints.homeApi}) {
        const QString host = QUrl(address).host();
        if (!host.isEmpty() && !hosts.contains(host))
            hosts << host;
    }
    trust.setHosts(hosts);
}

std::atomic<int>& MCefLibPrivate::openBrowsers()
{
    static std::atomic<int> count{0};
    return count;
}

namespace {
std::function<void()>& engineStartedHook()
{
    static std::function<void()> hook;
    return hook;
}
} // namespace

void MCefLibPrivate::setEngineStartedHook(std::function<void()> hook)
{
    engineStartedHook() = std::move(hook);
}

MCefLibPrivate::MCefLibPrivate(const BrowserRuntimeConfig& config)
    : m_config(config)
    , m_app(config.locale)
{
    // The switches are read when the engine starts, i.e. with the first profile.
    m_app.apply();
    trustEndpoints(Endpoints::current());
    AppGlobals::browserInitialized = true;

    // A profile without a storage name is off the record: memory cache only,
    // cookies kept for this run only.
    m_profile = new QWebEngineProfile();
    if (engineStartedHook())
        engineStartedHook()();
    m_profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    m_profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    if (!m_config.userAgent.isEmpty())
        m_profile->setHttpUserAgent(QString::fromLatin1(m_config.userAgent));
    if (!m_config.locale.isEmpty())
        m_profile->setHttpAcceptLanguage(QString::fromLatin1(m_config.locale));
    m_profile->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);

    // The engine hands cookies out only as they change; keep them all
    // (HttpOnly and Secure ones too) so they can be read per address.
    m_cookies = new QNetworkCookieJar();
    QWebEngineCookieStore* store = m_profile->cookieStore();
    QNetworkCookieJar* jar = m_cookies;
    QObject::connect(store, &QWebEngineCookieStore::cookieAdded, m_profile,
                     [jar](const QNetworkCookie& c) { jar->insertCookie(c); });
    QObject::connect(store, &QWebEngineCookieStore::cookieRemoved, m_profile,
                     [jar](const QNetworkCookie& c) { jar->deleteCookie(c); });
    store->loadAllCookies();
}

MCefLibPrivate::~MCefLibPrivate()
{
    // Pages are children of their views, which are gone by now.
    delete m_profile;
    delete m_cookies;
}

QList<QNetworkCookie> MCefLibPrivate::cookiesForUrl(const QUrl& url) const
{
    return m_cookies->cookiesForUrl(url);
}
