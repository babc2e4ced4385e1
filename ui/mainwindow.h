#pragma once

#include <QByteArray>
#include <QLabel>
#include <QNetworkReply>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

class VersionUpdater;
class VuAccount;
#include "client/vucameralistmgr.h"
#include "ui/mainwindowui.h"

// The application's only top-level window and the controller of what the
// user sees: the version prompt, signing in (from the stored account or on
// the web page), loading the cameras, the grid, signing out and quitting.
// The pages and tiles are built by MainWindowUI.
class MainWindow : public QLabel
{
    Q_OBJECT
public:
    // urlOpener: what opens web addresses (the desktop browser when empty).
    explicit MainWindow(MainWindowUI::UrlOpener urlOpener = MainWindowUI::UrlOpener());
    ~MainWindow() override;

    // The window geometry at start inside a screen's available area (the
    // screen less its panels): the preferred size when it fits, else as much
    // of the area as there is, centred.
    static QRect startupGeometry(const QRect& available);

    // The store's home page unless "settings"/"store_url" says otherwise.
    static const char* const kDefaultStoreUrl;

    MainWindowUI* ui() const { return m_ui; }
    VuAccount* account() const { return m_account; }
    VersionUpdater* updater() const { return m_updater; }
    VuCameraListMgr* listMgr() const { return m_listMgr; }
    bool isClosing() const { return m_closing; }
    bool hasNewVersion() const { return m_hasNewVersion; }

public slots:
    void onDeviceListMgrStopped();
    void onNetworkError(QNetworkReply::NetworkError net_err);
    void onAutoLoginFail();
    void onGotDevListFail(int err_code);
    void onLoginByWeb();
    void onRetryLogin();
    void onCloseApp();
    void onLogout();
    void onAbout();

    void onAcccountLogin(QString uid);
    void onAccountLogoutFinished();
    void onAccountUserCardGot(QString nick_name, QByteArray user_icon);
    void onVuotServiceLogin();

    void onOpenStore();

signals:
    // A new camera list manager was made (tests shorten its poll interval).
    void listMgrCreated(VuCameraListMgr* mgr);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void promptVersionAtStart();
    // The stored sign-in outlived a sign-out (the keyring refused to remove it).
    void tellRecordKept();
    void startLogin();
    void stopListMgr();

    MainWindowUI* m_ui = nullptr;
    VuAccount* m_account = nullptr;
    VersionUpdater* m_updater = nullptr;
    QPointer<VuCameraListMgr> m_listMgr;
    bool m_closing = false;
    bool m_hasNewVersion = false;
};
