#pragma once

#include "cloud/accountinfo.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>

#include <memory>

class QNetworkAccessManager;
class QThread;
class ServiceLogin;
class UserCard;
class WebLogin;
class WebViewPort;

// The signed-in user. Signs in through the web page or from the stored
// account record, chains the user card and the service login behind it,
// signs out, and reports each step by signals. Lives on a worker thread of
// its own (the account thread); the GUI thread calls only the public
// operations, which are carried over by queued signals.
class VuAccount : public QObject
{
    Q_OBJECT
public:
    VuAccount();
    ~VuAccount() override;

    // GUI thread, while no sign-in is running.
    bool readCache(const QJsonObject& record);
    QJsonObject writeCache() const;

    void loginByCache();
    void loginByWeb(WebViewPort* webView);
    void logout();

    // The stored account record (key "account" of the credential store).
    static bool storeRecord(const QJsonObject& record);
    static QJsonObject storedRecord();
    static bool removeRecord();

    QThread* workerThread() const { return m_thread; }

private:
    AccountInfo m_info;

public:
    // Read by the main window after onVuotServiceLogin has arrived.
    const QString& uid = m_info.uid;
    const QString& serviceToken = m_info.serviceToken;
    const QString& ssecurity = m_info.ssecurity;

signals:
    void onAcccountLogin(QString uid);
    void onAccountLogout();
    void onAccountUserCardGot(QString nick_name, QByteArray user_icon);
    void onVuotServiceLogin();
    void onNetworkError(QNetworkReply::NetworkError err);
    void onAutoLoginFail();
    void loginByWeb_s(WebViewPort* webView);
    void loginByCache_s();
    void logout_s();

private:
    void init();
    void uninit();
    void handleLoginByCache();
    void handleLoginByWeb(WebViewPort* webView);
    void handleLogout();
    void logoutByCode();
    void onLogoutByCode();
    void onLogout();
    void onPasstokenGot(const QString& deviceId, const QString& uid, const QString& passToken);
    void onServiceLogin(const QString& serviceToken, const QString& ssecurity);
    void onServiceLoginFail();
    void onUserCardGot();
    void onUserCardGotFail();

    QThread* m_thread = nullptr;
    QNetworkAccessManager* m_manager = nullptr;
    std::shared_ptr<WebLogin> m_webLogin;
    UserCard* m_userCard = nullptr;
    ServiceLogin* m_serviceLogin = nullptr;
    bool m_loginByCache = false;
};
