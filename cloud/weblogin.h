#pragma once

#include <QNetworkCookie>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class WebViewPort;

// Drives the embedded browser for the account session: opens the account
// service's sign-in page, registers the page script, and once the browser
// reaches the account's security home page reads its cookies there and
// hands over pass token, user id and device id. Signs out by sending the
// page to the logout address.
//
// Lives on the account thread. The view is reached only through WebViewPort
// (which carries each call to the GUI thread), so this folder needs no widget
// header; the view's notifications arrive here queued, and the cookies are
// fetched from the view and visited on this thread.
class WebLogin : public QObject
{
    Q_OBJECT
public:
    explicit WebLogin(QObject* parent = nullptr);

    void setWebView(WebViewPort* webView);
    void openLoginPage();
    void logoutByWeb();

    bool isLoginPending() const { return m_loginPending; }
    bool isLogoutPending() const { return m_logoutPending; }

    // Called once per cookie of the security home page; true: go on visiting.
    bool Visit(const QNetworkCookie& cookie, int count, int total, bool& deleteCookie);

    // The addresses this class uses, for the account service in Endpoints.
    static QUrl loginPageUrl();
    static QUrl logoutUrl(const QString& userId);
    static QString scriptPath();

signals:
    void onPasstokenGot(QString deviceId, QString uid, QString passToken);
    void logoutSuccess();
    void onNetworkError(QNetworkReply::NetworkError net_err);

private slots:
    void onInited();
    void on_loadFinished(int http_code);
    void onLoadStarted() {}
    void onTitleChanged(const QString&) {}
    void onUrlChanged(const QUrl&) {}

private:
    bool viewAlive() const;
    static bool isAccountPage(const QUrl& url, const QString& path);

    WebViewPort* m_webView = nullptr;
    QPointer<QObject> m_viewObject;
    bool m_loginPending = false;
    bool m_logoutPending = false;
    QString m_passToken;
    QString m_userId;
    QString m_deviceId;
};
