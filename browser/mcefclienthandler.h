#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <memory>

class QEvent;
class QWebEngineProfile;


// The browser client of one web view: turns the engine's page callbacks into
// listener calls, runs the registered script at load start and end, shows a
// generated page for failed loads, refuses unknown certificates and opens
// pop-ups as windows of their own. Lives on the GUI thread.
//
// HTTP status of a main-frame load. The widget API of the engine reports only
// success (no network error and a status below 400) or failure. The exact
// status is read as follows, and the engine's verdict always decides the
// class:
//  - the engine's own error page (address "chrome-error://chromewebdata/")
//    names the failure in its text: "HTTP ERROR <n>" is an HTTP error without
//    a body (status n); anything else is a network error, answered with the
//    generated page and status 501;
//  - for a document that was fetched with GET, a synchronous same-origin
//    HEAD request from an isolated script world asks the server again, with
//    the page's own cookies, TLS decisions and user agent. Its status is
//    taken when it agrees with the engine's verdict (below 400 exactly when
//    the load succeeded); otherwise, and for documents that answered a POST
//    (which must not be sent twice), the status is 200 for success and 500
//    for failure;
//  - a failure that left a healthy document in place is an aborted load
//    (stopped or replaced) and reports nothing.
// Alternatives considered: the navigation timing entry has no response
// status in this engine version; request interceptors and URL scheme
// handlers cannot see responses of http(s); a second request from our own
// network manager would miss the browser's session cookies and TLS state.
class MCefClientHandler : public QWebEnginePage
{
    Q_OBJECT
public:
    // Receives the browser's notifications (the web view implements it).
    class Listener
    {
    public:
        virtual ~Listener() = default;
        virtual void onAddressChange(const QUrl& url) = 0;
        virtual void onLoadingStateChange(bool isLoading) = 0;
        virtual void onNavStateChange(bool canGoBack, bool canGoForward) = 0;
        virtual void onBrowserCreated() = 0;
        virtual void onPostEvent(QEvent* event) = 0;
        virtual void onTitleChange(const QString& title) = 0;
        virtual void onLoadEnd(int httpStatusCode) = 0;
    };

    // The most pop-up windows open at once; a page's further ones are refused.
    static constexpr int kMaxOpenPopups = 3;

    MCefClientHandler(QWebEngineProfile* profile, QObject* parent, bool popup = false);
    ~MCefClientHandler() override;

    void setListener(Listener* listener) { m_listener = listener; }
    // Replaces the script run in every main-frame page at load start and end.
    void registerScript(const QString& script);
    QString registeredScript() const { return m_script; }

    // Reports the browser as created on the next turn of the event loop.
    void announceCreated();
    bool isClosing() const { return m_closing; }
    int popupCount() const { return m_popups.size(); }
    // Closes the pop-up windows, or the main browser when there are none.
    void closeAllBrowsers(bool force);
    // Marks the next failed load as a stop requested by the user.
    void markStopping() { m_stopping = m_loading; }
    bool isLoadingPage() const { return m_loading; }

    // The page shown for a failed load (texts escaped).
    static QString errorPage(const QUrl& failedUrl, const QString& errorText, int errorCode);
    // The engine's numeric code for an error name such as "ERR_CONNECTION_REFUSED".
    static int netErrorCode(const QString& name);
    // Status from the engine's verdict and the server's answer to the probe
    // (0 or less: no answer); 0 means an aborted load with nothing to report.
    static int statusFor(bool ok, int probedStatus);

protected:
    bool certificateError(const QWebEngineCertificateError& error) override;
    QWebEnginePage* createWindow(WebWindowType type) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    class RequestWatcher;

    void onLoadStartedEvent();
    void onLoadFinishedEvent(bool ok);
    void finishLoad(bool ok, const QString& probe);
    void updateNavState();

    bool m_popup;
    Listener* m_listener = nullptr;
    QString m_script;
    bool m_closing = false;
    bool m_stopping = false;
    bool m_counted = false;
    bool m_loading = false;
    quint64 m_loadSeq = 0;
    QList<QPointer<QObject>> m_popups; // the pop-up windows (QWebEngineView)
    std::unique_ptr<RequestWatcher> m_watcher;
    std::shared_ptr<bool> m_alive;
};
