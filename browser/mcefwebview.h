#pragma once

#include "core/webviewport.h"
#include "browser/mcefclienthandler.h"

#include <QPointer>
#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

#include <functional>
#include <memory>
#include <mutex>

class MCefLibPrivate;


// The widget that hosts the sign-in browser. The first view starts the
// browser runtime. The browser itself is created when the widget is first
// shown (or resized) with a positive size: state 0 (none), 1 (creation
// requested), 2 (created).
//
// Threads: the widget and the engine live on the GUI thread, but the public
// operations (the WebViewPort ones and the navigation slots) may be called
// from any thread: they are carried over to the GUI thread, queued, and those
// with a result wait for it. A waiting caller gives up when its thread is
// asked to stop (QThread::requestInterruption), when the view goes away or
// after 10 s, so shutting the account thread down never deadlocks against a
// GUI thread that is waiting for it. The signals reach receivers on other
// threads queued.
class MCefWebView : public QWidget, public MCefClientHandler::Listener, public WebViewPort
{
    Q_OBJECT
public:
    explicit MCefWebView(QWidget* parent = nullptr);
    ~MCefWebView() override;

    // WebViewPort
    QObject* signalSource() override { return this; }
    void load(const QUrl& url) override;
    QUrl url() override;
    void registerScript(const QString& script) override;
    void runScript(const QString& script) override;
    QList<QNetworkCookie> urlCookies(const QUrl& url) override;

    // GUI thread.
    int browserState() const { return m_state; }
    QSize browserSize() const;
    MCefClientHandler* clientHandler() const { return m_handler.data(); }
    QWebEngineView* browserView() const { return m_browser.data(); }

signals:
    void inited();
    void titleChanged(QString title);
    void urlChanged(QUrl url);
    void loadStarted();
    void loadFinished(int http_code);
    void navStateChanged(bool canGoBack, bool canGoForward);

public slots:
    void back();
    void forward();
    void reload();
    void stop();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct CallRegistry;

    // MCefClientHandler::Listener
    void onAddressChange(const QUrl& url) override;
    void onLoadingStateChange(bool isLoading) override;
    void onNavStateChange(bool canGoBack, bool canGoForward) override;
    void onBrowserCreated() override;
    void onPostEvent(QEvent* event) override;
    void onTitleChange(const QString& title) override;
    void onLoadEnd(int httpStatusCode) override;

    void createBrowser();
    void resizeBrowser();
    bool onGuiThread() const;
    void post(std::function<void()> fn);
    Q_INVOKABLE void runPosted();
    template <typename R>
    R callOnGui(std::function<R()> fn, R fallback);

    std::shared_ptr<MCefLibPrivate> m_lib;
    int m_state = 0;
    bool m_pendingResize = false;
    bool m_pendingUrl = false;
    bool m_shown = false;
    QUrl m_url;
    QUrl m_createdUrl;
    std::mutex m_mutex;
    QPointer<MCefClientHandler> m_handler;
    QPointer<QWebEngineView> m_browser;
    std::shared_ptr<CallRegistry> m_calls;
};
