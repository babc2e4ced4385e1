#pragma once

#include "browser/certificatetrust.h"
#include "browser/mcefclientapp.h"

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

class Endpoints;
class QNetworkCookieJar;
class QWebEngineProfile;

// Settings the first web view hands to the runtime.
struct BrowserRuntimeConfig
{
    QByteArray userAgent;      // empty: the engine's own
    quint32 backgroundColor = 0; // ARGB; 0 is fully transparent
    QByteArray locale;         // empty: the engine's own
};

// The browser runtime of the process: the engine's switches, one
// off-the-record profile (no disk cache, no persistent cookies) shared by
// every page, and a mirror of that profile's cookies. Started by the first
// web view, it lives until shutdown() and the last view holding it are gone.
// GUI thread only, except certificateTrust() and openBrowsers().
class MCefLibPrivate
{
public:
    ~MCefLibPrivate();
    MCefLibPrivate(const MCefLibPrivate&) = delete;
    MCefLibPrivate& operator=(const MCefLibPrivate&) = delete;

    // The running runtime, started with config on the first call.
    static std::shared_ptr<MCefLibPrivate> acquire(const BrowserRuntimeConfig& config);
    // Drops the process's own reference (end of the application). The
    // profile goes when the last view holding the runtime is gone too.
    static void shutdown();
    static bool isRunning();

    // Which certificate errors pages may override (any thread).
    static CertificateTrust& certificateTrust();
    // Trusts the endpoints' extra CA for the hosts of the account service
    // and the home API; done at start with the current endpoints.
    static void trustEndpoints(const Endpoints& endpoints);
    // Run right after the engine has started, which puts every signal
    // disposition back to the default: the program's entry hands in what
    // reinstalls its crash dump and its orderly quit on SIGTERM.
    static void setEngineStartedHook(std::function<void()> hook);
    // Browsers alive in the process (main views and pop-ups).
    static std::atomic<int>& openBrowsers();

    QWebEngineProfile* profile() const { return m_profile; }
    const BrowserRuntimeConfig& config() const { return m_config; }
    // Cookies of the profile that a request to url would carry, HttpOnly included.
    QList<QNetworkCookie> cookiesForUrl(const QUrl& url) const;

private:
    explicit MCefLibPrivate(const BrowserRuntimeConfig& config);

    BrowserRuntimeConfig m_config;
    MCefClientApp m_app;
    QWebEngineProfile* m_profile = nullptr;
    QNetworkCookieJar* m_cookies = nullptr;
};
