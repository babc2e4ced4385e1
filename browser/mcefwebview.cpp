#include "browser/mcefwebview.h"

#include "browser/mceflibprivate.h"

#include <QColor>
#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QResizeEvent>
#include <QShowEvent>
#include <QThread>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <condition_variable>
#include <mutex>

namespace {
const int kCallTimeoutMs = 10000;

// One cross-thread call waiting for its result.
struct PendingCall
{
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool cancelled = false;
};
} // namespace

// Calls that wait for the GUI thread; shared with the waiters so that the
// view may go away while they wait.
struct MCefWebView::CallRegistry
{
    std::mutex mutex;
    bool closing = false;
    QList<std::shared_ptr<PendingCall>> calls;
    // Work handed to the GUI thread, in order. It travels here, under the
    // mutex, rather than inside Qt's queued event: only a bare wake-up goes
    // through the event queue, so the hand-over is one the thread sanitizer
    // can follow.
    QList<std::function<void()>> posted;
};

MCefWebView::MCefWebView(QWidget* parent)
    : QWidget(parent)
    , m_calls(std::make_shared<CallRegistry>())
{
    BrowserRuntimeConfig config;
    config.userAgent = "vuNative/1.0";
    config.backgroundColor = 0;
    config.locale = "zh-CN";
    m_lib = MCefLibPrivate::acquire(config);
    // The engine draws into its own child widget; no native window is needed.
    setAttribute(Qt::WA_DeleteOnClose);
}

MCefWebView::~MCefWebView()
{
    {
        std::lock_guard<std::mutex> lock(m_calls->mutex);
        m_calls->closing = true;
        for (const auto& call : qAsConst(m_calls->calls)) {
            std::lock_guard<std::mutex> callLock(call->mutex);
            call->cancelled = true;
            call->done.notify_all();
        }
    }
    // The page must go before the runtime that holds its profile.
    delete m_browser.data();
    m_lib.reset();
}

bool MCefWebView::onGuiThread() const
{
    return QThread::currentThread() == thread();
}

void MCefWebView::post(std::function<void()> fn)
{
    if (onGuiThread()) {
        fn();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_calls->mutex);
        if (m_calls->closing)
            return;
        m_calls->posted.append(std::move(fn));
    }
    QMetaObject::invokeMethod(this, "runPosted", Qt::QueuedConnection);
}

void MCefWebView::runPosted()
{
    QList<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lock(m_calls->mutex);
        work.swap(m_calls->posted);
    }
    for (const auto& fn : qAsConst(work))
        fn();
}

template <typename R>
R MCefWebView::callOnGui(std::function<R()> fn, R fallback)
{
    if (onGuiThread())
        return fn();
    std::shared_ptr<CallRegistry> registry = m_calls;
    auto call = std::make_shared<PendingCall>();
    auto result = std::make_shared<R>(fallback);
    {
        std::lock_guard<std::mutex> lock(registry->mutex);
        if (registry->closing)
            return fallback;
        registry->calls.append(call);
    }
    post([call, result, fn] {
        R r = fn();
        std::lock_guard<std::mutex> lock(call->mutex);
        *result = std::move(r);
        call->finished = true;
        call->done.notify_all();
    });

    bool finished = false;
    {
        QElapsedTimer waited;
        waited.start();
        std::unique_lock<std::mutex> lock(call->mutex);
        while (!call->finished && !call->cancelled) {
            if (QThread::currentThread()->isInterruptionRequested() || waited.elapsed() > kCallTimeoutMs)
                break;
            call->done.wait_for(lock, std::chrono::milliseconds(50));
        }
        finished = call->finished;
    }
    {
        std::lock_guard<std::mutex> lock(registry->mutex);
        registry->calls.removeOne(call);
    }
    if (!finished)
        qWarning("web view call given up");
    return finished ? *result : fallback;
}

void MCefWebView::load(const QUrl& url)
{
    post([this, url] {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_url = url;
        if (m_state == 1) {
            // Loaded once the browser reports it exists.
            m_pendingUrl = true;
            return;
        }
        if (m_state == 2 && !url.isEmpty() && m_handler)
            m_handler->load(url);
    });
}

QUrl MCefWebView::url()
{
    return callOnGui<QUrl>(
        [this]() -> QUrl {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_state == 2 && m_handler)
                return m_handler->url();
            return m_url;
        },
        QUrl());
}

void MCefWebView::registerScript(const QString& script)
{
    post([this, script] {
        if (!m_handler) {
            qWarning("web client is not ready");
            return;
        }
        m_handler->registerScript(script);
    });
}

void MCefWebView::runScript(const QString& script)
{
    post([this, script] {
        if (m_handler)
            m_handler->runJavaScript(script, QWebEngineScript::MainWorld);
    });
}

QList<QNetworkCookie> MCefWebView::urlCookies(const QUrl& url)
{
    return callOnGui<QList<QNetworkCookie>>([this, url] { return m_lib->cookiesForUrl(url); },
                                           QList<QNetworkCookie>());
}

QSize MCefWebView::browserSize() const
{
    return m_browser ? m_browser->size() : QSize();
}

void MCefWebView::back()
{
    post([this] {
        if (m_state == 2 && m_handler)
            m_handler->triggerAction(QWebEnginePage::Back);
    });
}

void MCefWebView::forward()
{
    post([this] {
        if (m_state == 2 && m_handler)
            m_handler->triggerAction(QWebEnginePage::Forward);
    });
}

void MCefWebView::reload()
{
    post([this] {
        if (m_state == 2 && m_handler)
            m_handler->triggerAction(QWebEnginePage::Reload);
    });
}

void MCefWebView::stop()
{
    post([this] {
        if (m_state == 2 && m_handler) {
            m_handler->markStopping();
            m_handler->triggerAction(QWebEnginePage::Stop);
        }
    });
}

void MCefWebView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_shown = true;
    if (m_state == 0)
        createBrowser();
    resizeBrowser();
}

void MCefWebView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    resizeBrowser();
}

void MCefWebView::resizeBrowser()
{
    switch (m_state) {
    case 0:
        createBrowser();
        break;
    case 1:
        m_pendingResize = true;
        break;
    default:
        if (m_browser)
            m_browser->setGeometry(rect());
        break;
    }
}

void MCefWebView::createBrowser()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_handler || width() <= 0 || height() <= 0)
        return;
    auto* browser = new QWebEngineView(this);
    browser->setContextMenuPolicy(Qt::NoContextMenu);
    auto* handler = new MCefClientHandler(m_lib->profile(), browser);
    handler->setBackgroundColor(QColor::fromRgba(m_lib->config().backgroundColor));
    handler->setListener(this);
    browser->setPage(handler);
    browser->setGeometry(rect());
    browser->show();
    m_browser = browser;
    m_handler = handler;
    m_createdUrl = m_url;
    if (!m_url.isEmpty())
        handler->load(m_url);
    m_state = 1;
    handler->announceCreated();
    lock.unlock();
    emit inited();
}

void MCefWebView::onAddressChange(const QUrl& url)
{
    emit urlChanged(url);
}

void MCefWebView::onLoadingStateChange(bool isLoading)
{
    if (!isLoading)
        return;
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool any = !m_url.isEmpty();
    lock.unlock();
    if (any)
        emit loadStarted();
}

void MCefWebView::onNavStateChange(bool canGoBack, bool canGoForward)
{
    emit navStateChanged(canGoBack, canGoForward);
}

void MCefWebView::onBrowserCreated()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state = 2;
    if (m_pendingResize) {
        m_pendingResize = false;
        if (m_browser)
            m_browser->setGeometry(rect());
    }
    // A URL given while the browser was being created is loaded now, once;
    // when it is the one the browser was created with, it is already loading.
    if (m_pendingUrl) {
        m_pendingUrl = false;
        if (!m_url.isEmpty() && m_url != m_createdUrl && m_handler)
            m_handler->load(m_url);
    }
}

void MCefWebView::onPostEvent(QEvent* event)
{
    QCoreApplication::postEvent(this, event, Qt::HighEventPriority);
}

void MCefWebView::onTitleChange(const QString& title)
{
    emit titleChanged(title);
}

void MCefWebView::onLoadEnd(int httpStatusCode)
{
    emit loadFinished(httpStatusCode);
}
