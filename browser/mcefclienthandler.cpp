#include "browser/mcefclienthandler.h"

#include "browser/mceflibprivate.h"

#include <QDebug>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineHistory>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <mutex>

namespace {

const char kScriptName[] = "vu_registered_script";
const char kEngineErrorPage[] = "chrome-error://";

// Runs in an isolated world after each main-frame load; see the class comment.
QString probeScript(bool askServer)
{
    return QStringLiteral(
               "(function(ask){var r={href:String(location.href)};"
               "if(r.href.indexOf('chrome-error:')===0){"
               "var e=document.querySelector('.error-code');if(e)r.ec=String(e.textContent).trim();}"
               "else if(ask&&/^https?:/.test(r.href)){"
               "try{var x=new XMLHttpRequest();x.open('HEAD',r.href,false);x.send();r.st=x.status;}"
               "catch(err){r.st=0;}}"
               "return JSON.stringify(r);})(%1)")
        .arg(askServer ? QStringLiteral("true") : QStringLiteral("false"));
}

} // namespace

// Remembers the method of the latest main-frame request (redirects included),
// so that a document that answered a POST is never requested again.
class MCefClientHandler::RequestWatcher : public QWebEngineUrlRequestInterceptor
{
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        if (info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_method = info.requestMethod();
    }

    bool lastWasSafe() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_method == "GET" || m_method == "HEAD";
    }

private:
    mutable std::mutex m_mutex;
    QByteArray m_method = "GET";
};

MCefClientHandler::MCefClientHandler(QWebEngineProfile* profile, QObject* parent, bool popup)
    : QWebEnginePage(profile, parent)
    , m_popup(popup)
    , m_watcher(new RequestWatcher())
    , m_alive(std::make_shared<bool>(true))
{
    setUrlRequestInterceptor(m_watcher.get());
    connect(this, &QWebEnginePage::loadStarted, this, &MCefClientHandler::onLoadStartedEvent);
    connect(this, &QWebEnginePage::loadFinished, this, &MCefClientHandler::onLoadFinishedEvent);
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
        if (m_listener)
            m_listener->onAddressChange(url);
        updateNavState();
    });
    connect(this, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
        if (m_listener)
            m_listener->onTitleChange(title);
    });
    connect(this, &QWebEnginePage::windowCloseRequested, this, [this] { m_closing = true; });
}

MCefClientHandler::~MCefClientHandler()
{
    *m_alive = false;
    if (m_counted)
        --MCefLibPrivate::openBrowsers();
    setUrlRequestInterceptor(nullptr);
    // Pop-ups are windows of their own; they go with their opener.
    for (const QPointer<QObject>& view : qAsConst(m_popups))
        delete view.data();
}

void MCefClientHandler::registerScript(const QString& script)
{
    m_script = script;
    QWebEngineScriptCollection& collection = scripts();
    for (const QWebEngineScript& old : collection.findScripts(QLatin1String(kScriptName)))
        collection.remove(old);
    if (script.isEmpty())
        return;
    // Load start: injected when each new main-frame document is created.
    QWebEngineScript s;
    s.setName(QLatin1String(kScriptName));
    s.setInjectionPoint(QWebEngineScript::DocumentCreation);
    s.setWorldId(QWebEngineScript::MainWorld);
    s.setRunsOnSubFrames(false);
    s.setSourceCode(QStringLiteral("if(location.href!=='about:blank'){\n") + script + QStringLiteral("\n}"));
    collection.insert(s);
}

void MCefClientHandler::announceCreated()
{
    std::weak_ptr<bool> alive = m_alive;
    QTimer::singleShot(0, this, [this, alive] {
        if (alive.expired())
            return;
        if (!m_counted) {
            m_counted = true;
            ++MCefLibPrivate::openBrowsers();
        }
        if (m_listener)
            m_listener->onBrowserCreated();
    });
}

void MCefClientHandler::closeAllBrowsers(bool force)
{
    Q_UNUSED(force);
    bool any = false;
    for (const QPointer<QObject>& entry : qAsConst(m_popups)) {
        if (auto* view = qobject_cast<QWidget*>(entry.data())) {
            view->close();
            any = true;
        }
    }
    if (!any) {
        m_closing = true;
        triggerAction(QWebEnginePage::RequestClose);
    }
}

void MCefClientHandler::onLoadStartedEvent()
{
    ++m_loadSeq;
    m_loading = true;
    if (m_listener)
        m_listener->onLoadingStateChange(true);
}

void MCefClientHandler::onLoadFinishedEvent(bool ok)
{
    m_loading = false;
    if (!ok && m_stopping) {
        m_stopping = false;
        return;
    }
    m_stopping = false;
    const quint64 seq = m_loadSeq;
    std::weak_ptr<bool> alive = m_alive;
    runJavaScript(probeScript(m_watcher->lastWasSafe()), QWebEngineScript::ApplicationWorld,
                  [this, alive, seq, ok](const QVariant& result) {
                      if (alive.expired() || seq != m_loadSeq)
                          return; // page gone, or a newer load has started
                      finishLoad(ok, result.toString());
                  });
}

void MCefClientHandler::finishLoad(bool ok, const QString& probe)
{
    const QJsonObject r = QJsonDocument::fromJson(probe.toUtf8()).object();
    const QString href = r.value(QLatin1String("href")).toString();
    if (href.isEmpty() || href == QLatin1String("about:blank"))
        return;

    int status = 0;
    if (href.startsWith(QLatin1String(kEngineErrorPage))) {
        const QString ec = r.value(QLatin1String("ec")).toString();
        static const QRegularExpression httpError(QStringLiteral("^HTTP ERROR (\\d{3})$"));
        const QRegularExpressionMatch m = httpError.match(ec);
        if (m.hasMatch()) {
            status = m.captured(1).toInt();
        } else {
            const QString name = ec.startsWith(QLatin1String("ERR_")) ? ec : QStringLiteral("ERR_FAILED");
            const int code = netErrorCode(name);
            if (code == -3) // ERR_ABORTED: no page, no message
                return;
            const QString html = errorPage(requestedUrl(), name, code);
            // The log gets the page without the address's query, fragment and
            // user part: a sign-in redirect carries one-time tickets there.
            qWarning("%s", qUtf8Printable(errorPage(
                requestedUrl().adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo), name, code)));
            // Written into the engine's error document in place: no second
            // load, so nothing else is reported for this failure.
            const QString json = QString::fromUtf8(
                QJsonDocument(QJsonArray{html}).toJson(QJsonDocument::Compact));
            runJavaScript(QStringLiteral("document.open();document.write(%1[0]);document.close();").arg(json),
                          QWebEngineScript::ApplicationWorld);
            // The engine's error page counts as "not implemented".
            status = 501;
        }
    } else {
        status = statusFor(ok, r.value(QLatin1String("st")).toInt(0));
        if (status == 0)
            return;
        if (!m_script.isEmpty())
            runJavaScript(m_script, QWebEngineScript::MainWorld);
    }
    updateNavState();
    if (m_listener)
        m_listener->onLoadEnd(status);
}

int MCefClientHandler::statusFor(bool ok, int probedStatus)
{
    if (probedStatus > 0 && (probedStatus < 400) == ok)
        return probedStatus;
    if (!ok && probedStatus > 0 && probedStatus < 400)
        return 0; // a healthy document stayed: the load was aborted
    return ok ? 200 : 500;
}

void MCefClientHandler::updateNavState()
{
    if (m_listener)
        m_listener->onNavStateChange(history()->canGoBack(), history()->canGoForward());
}

QString MCefClientHandler::errorPage(const QUrl& failedUrl, const QString& errorText, int errorCode)
{
    return QStringLiteral("<html><body bgcolor=\"white\"><h2>Failed to load URL ")
        + failedUrl.toString().toHtmlEscaped() + QStringLiteral(" with error ")
        + errorText.toHtmlEscaped() + QStringLiteral(" (") + QString::number(errorCode)
        + QStringLiteral(").</h2></body></html>");
}

int MCefClientHandler::netErrorCode(const QString& name)
{
    static const QHash<QString, int> codes{
        {QStringLiteral("ERR_FAILED"), -2},
        {QStringLiteral("ERR_ABORTED"), -3},
        {QStringLiteral("ERR_TIMED_OUT"), -7},
        {QStringLiteral("ERR_ACCESS_DENIED"), -10},
        {QStringLiteral("ERR_BLOCKED_BY_CLIENT"), -20},
        {QStringLiteral("ERR_BLOCKED_BY_RESPONSE"), -27},
        {QStringLiteral("ERR_CONNECTION_CLOSED"), -100},
        {QStringLiteral("ERR_CONNECTION_RESET"), -101},
        {QStringLiteral("ERR_CONNECTION_REFUSED"), -102},
        {QStringLiteral("ERR_CONNECTION_ABORTED"), -103},
        {QStringLiteral("ERR_CONNECTION_FAILED"), -104},
        {QStringLiteral("ERR_NAME_NOT_RESOLVED"), -105},
        {QStringLiteral("ERR_INTERNET_DISCONNECTED"), -106},
        {QStringLiteral("ERR_SSL_PROTOCOL_ERROR"), -107},
        {QStringLiteral("ERR_ADDRESS_INVALID"), -108},
        {QStringLiteral("ERR_ADDRESS_UNREACHABLE"), -109},
        {QStringLiteral("ERR_CONNECTION_TIMED_OUT"), -118},
        {QStringLiteral("ERR_NAME_RESOLUTION_FAILED"), -137},
        {QStringLiteral("ERR_CERT_COMMON_NAME_INVALID"), -200},
        {QStringLiteral("ERR_CERT_DATE_INVALID"), -201},
        {QStringLiteral("ERR_CERT_AUTHORITY_INVALID"), -202},
        {QStringLiteral("ERR_CERT_INVALID"), -207},
        {QStringLiteral("ERR_INVALID_URL"), -300},
        {QStringLiteral("ERR_DISALLOWED_URL_SCHEME"), -301},
        {QStringLiteral("ERR_UNKNOWN_URL_SCHEME"), -302},
        {QStringLiteral("ERR_TOO_MANY_REDIRECTS"), -310},
        {QStringLiteral("ERR_UNSAFE_REDIRECT"), -311},
        {QStringLiteral("ERR_UNSAFE_PORT"), -312},
        {QStringLiteral("ERR_INVALID_RESPONSE"), -320},
        {QStringLiteral("ERR_EMPTY_RESPONSE"), -324},
        {QStringLiteral("ERR_INVALID_HTTP_RESPONSE"), -370},
    };
    return codes.value(name, -2);
}

bool MCefClientHandler::certificateError(const QWebEngineCertificateError& error)
{
    const QString host = error.url().host();
    const bool authorityOnly = error.error() == QWebEngineCertificateError::CertificateAuthorityInvalid;
    const bool accepted = error.isOverridable()
        && MCefLibPrivate::certificateTrust().accept(host, error.certificateChain(), authorityOnly);
    if (!accepted)
        qWarning("browser: certificate error %d for %s refused", int(error.error()), qUtf8Printable(host));
    return accepted;
}

namespace {
// The pop-up windows open in the whole program (the GUI thread's count).
int g_openPopups = 0;
} // namespace

QWebEnginePage* MCefClientHandler::createWindow(WebWindowType type)
{
    Q_UNUSED(type);
    // A page cannot flood the desktop with windows (pop-ups of pop-ups count too).
    if (g_openPopups >= kMaxOpenPopups) {
        qWarning("browser: pop-up window refused, %d already open", g_openPopups);
        return nullptr;
    }
    auto* view = new QWebEngineView();
    ++g_openPopups;
    connect(view, &QObject::destroyed, [] { --g_openPopups; });
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->setContextMenuPolicy(Qt::NoContextMenu);
    auto* page = new MCefClientHandler(profile(), view, true);
    page->setBackgroundColor(backgroundColor());
    view->setPage(page);
    connect(page, &QWebEnginePage::windowCloseRequested, view, &QWidget::close);
    connect(page, &QWebEnginePage::titleChanged, view, &QWidget::setWindowTitle);
    m_popups.append(view);
    ++MCefLibPrivate::openBrowsers();
    std::weak_ptr<bool> alive = m_alive;
    // By the time destroyed() is emitted only the QObject part is left:
    // compare plain QObject addresses, never the view type.
    QObject* gone = view;
    connect(view, &QObject::destroyed, this, [this, alive, gone] {
        --MCefLibPrivate::openBrowsers();
        if (alive.expired())
            return;
        for (int i = m_popups.size() - 1; i >= 0; --i) {
            QObject* entry = m_popups.at(i);
            if (!entry || entry == gone)
                m_popups.removeAt(i);
        }
    });
    view->resize(800, 600);
    view->show();
    return page;
}

void MCefClientHandler::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                                 int lineNumber, const QString& sourceID)
{
    // The runtime's log is off: page console output is not written anywhere.
    Q_UNUSED(level);
    Q_UNUSED(message);
    Q_UNUSED(lineNumber);
    Q_UNUSED(sourceID);
}
