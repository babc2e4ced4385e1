#include "ui/mainwindow.h"

#include "core/appinfo.h"
#include "core/credentialstore.h"
#include "browser/mcefwebview.h"
#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "cloud/apicredentials.h"
#include "cloud/versionupdater.h"
#include "cloud/vuaccount.h"
#include "cloud/vustat.h"
#include "ui/mainwindowui.h"
#include "ui/mmessagebox.h"
#include "ui/vucamerawidget.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>
#include <QUrl>

namespace {
const QString kSettings = QStringLiteral("settings");
const QString kRemember = QStringLiteral("remember");
const QString kAccountKey = QStringLiteral("account");
} // namespace

const char* const MainWindow::kDefaultStoreUrl = "https://store.velmor.example/vucamera";

MainWindow::MainWindow(MainWindowUI::UrlOpener urlOpener)
    : QLabel(nullptr, Qt::FramelessWindowHint | Qt::WindowMinimizeButtonHint)
{
    setObjectName(QStringLiteral("main_window_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFocusPolicy(Qt::StrongFocus);
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1100, 700);
    // A screen smaller than the usual minimum still gets a window that fits.
    setMinimumSize(qMin(660, available.width()), qMin(470, available.height()));
    setGeometry(startupGeometry(available));

    // 1. The interface and the account.
    m_ui = new MainWindowUI(this, MainWindowUI::MenuHideMs, std::move(urlOpener));
    connect(m_ui, &MainWindowUI::toCloseApp, this, &MainWindow::onCloseApp);
    connect(m_ui, &MainWindowUI::toLogout, this, &MainWindow::onLogout);
    connect(m_ui, &MainWindowUI::toRetryLogin, this, &MainWindow::onRetryLogin);
    connect(m_ui, &MainWindowUI::showAbout, this, &MainWindow::onAbout);
    connect(m_ui, &MainWindowUI::toLoginByWeb, this, &MainWindow::onLoginByWeb);
    connect(m_ui, &MainWindowUI::toOpenStore, this, &MainWindow::onOpenStore);

    m_account = new VuAccount();
    connect(m_account, &VuAccount::onAcccountLogin, this, &MainWindow::onAcccountLogin);
    connect(m_account, &VuAccount::onAccountLogout, this, &MainWindow::onAccountLogoutFinished);
    connect(m_account, &VuAccount::onAccountUserCardGot, this, &MainWindow::onAccountUserCardGot);
    connect(m_account, &VuAccount::onVuotServiceLogin, this, &MainWindow::onVuotServiceLogin);
    connect(m_account, &VuAccount::onNetworkError, this, &MainWindow::onNetworkError);
    connect(m_account, &VuAccount::onAutoLoginFail, this, &MainWindow::onAutoLoginFail);

    // A sign-out whose record removal the keyring refused: removed now.
    CredentialStore::removePending(*AppInfo::instance());

    // 2. The version check; the decision uses what an earlier check stored.
    m_updater = new VersionUpdater(this);
    m_updater->check();
    VuStat::setVersion(m_updater->currentVersion().toString());
    m_hasNewVersion = m_updater->hasNewVersion();

    // 3. The prompt first when a newer version asks for it, else sign in.
    if (m_hasNewVersion && m_updater->policy() == PromptAtStart) {
        QTimer::singleShot(10, this, &MainWindow::promptVersionAtStart);
        m_ui->setState(MainWindowUI::StartupCheck);
    } else {
        startLogin();
    }
}

MainWindow::~MainWindow()
{
    m_closing = true;
    m_ui->setClosing(true);
    // The account's thread first: nothing signs in or out any more.
    delete m_account;
    m_account = nullptr;
    // Then the tiles, then the cameras they showed.
    delete m_ui;
    m_ui = nullptr;
    if (m_listMgr) {
        disconnect(m_listMgr, nullptr, this, nullptr);
        delete m_listMgr.data();
    }
}

QRect MainWindow::startupGeometry(const QRect& available)
{
    const int W = available.width();
    const int H = available.height();
    int width;
    int height;
    if (W <= H) {
        // Upright: the full width, as high as a 16:9 picture under the bars.
        width = W;
        height = (W - 5) * 1080 / 1920 + 83;
    } else {
        // Three quarters of the height with the matching width; never less
        // than 1100 x 700 unless the area itself is smaller.
        height = 3 * H / 4;
        width = (height - 83) * 1920 / 1080 + 5;
        if (height < 700 || width < 1100) {
            width = 1100;
            height = 700;
        }
    }
    width = qMin(width, W);
    height = qMin(height, H);
    const int x = available.x() + (W - width) / 2;
    const int y = available.y() + qMax(0, (H - height) / 2 - 10);
    return QRect(x, y, width, height);
}

void MainWindow::promptVersionAtStart()
{
    MMessageBox box(this);
    const QString text = tr("current_version:%1, new version:%2, update it?")
                             .arg(m_updater->currentVersion().toString(), m_updater->netVersion().toString());
    if (box.exec(tr("Current Version"), text) == 1) {
        m_updater->openDownloadUrl([this](const QUrl& url) { return m_ui->openUrl(url); });
        VuStat::reportAction(QStringLiteral("accept_updates"));
    } else {
        VuStat::reportAction(QStringLiteral("ignore_updates"));
    }
    if (!m_closing)
        startLogin();
}

void MainWindow::startLogin()
{
    const bool remember = AppInfo::instance()->getBool(kSettings, kRemember, true);
    const QJsonObject record = remember ? CredentialStore::readJson(kAccountKey) : QJsonObject();
    if (remember && m_account->readCache(record)) {
        m_ui->setState(MainWindowUI::SigningIn);
        m_account->loginByCache();
    } else {
        m_ui->setState(MainWindowUI::WebLogin);
    }
    auto* mgr = new VuCameraListMgr(this);
    m_listMgr = mgr;
    connect(mgr, &VuCameraListMgr::startFailed, this, &MainWindow::onGotDevListFail);
    connect(mgr, &VuCameraListMgr::stopped, this, &MainWindow::onDeviceListMgrStopped);
    connect(mgr, &VuCameraListMgr::cameraAdded, m_ui, &MainWindowUI::onCameraAdded);
    connect(mgr, &VuCameraListMgr::cameraRemoved, m_ui, &MainWindowUI::onCameraRemoved);
    connect(mgr, &VuCameraListMgr::deviceListLoaded, m_ui, &MainWindowUI::onDeviceListLoaded);
    emit listMgrCreated(mgr);
}

void MainWindow::stopListMgr()
{
    if (!m_listMgr)
        return;
    VuCameraListMgr* mgr = m_listMgr;
    m_listMgr = nullptr;
    disconnect(mgr, &VuCameraListMgr::cameraAdded, m_ui, &MainWindowUI::onCameraAdded);
    disconnect(mgr, &VuCameraListMgr::cameraRemoved, m_ui, &MainWindowUI::onCameraRemoved);
    disconnect(mgr, &VuCameraListMgr::deviceListLoaded, m_ui, &MainWindowUI::onDeviceListLoaded);
    mgr->stop();
}

// ---- account ----------------------------------------------------------------

void MainWindow::onLoginByWeb()
{
    if (m_closing)
        return;
    m_account->loginByWeb(m_ui->loginView());
}

void MainWindow::onAcccountLogin(QString uid)
{
    if (m_closing)
        return;
    m_ui->setUserId(uid);
    m_ui->setState(MainWindowUI::SigningIn);
}

void MainWindow::onAutoLoginFail()
{
    if (m_closing)
        return;
    qWarning("auto login failed, and goto web page");
    m_ui->setState(MainWindowUI::WebLogin);
    VuStat::reportError(QStringLiteral("auto_login"), -1);
}

void MainWindow::onVuotServiceLogin()
{
    if (m_closing)
        return;
    m_ui->setState(MainWindowUI::LoadingCameras);
    m_ui->setUserId(m_account->uid);
    VuCameraListMgr::setApiCredentials(m_account->uid, m_account->serviceToken, m_account->ssecurity);
    if (m_listMgr)
        m_listMgr->start();
    else
        qWarning("service login without a camera list manager");
}

void MainWindow::onNetworkError(QNetworkReply::NetworkError net_err)
{
    if (m_closing)
        return;
    m_ui->setState(MainWindowUI::NetError);
    VuStat::reportError(QStringLiteral("net_work"), int(net_err));
}

void MainWindow::onAccountUserCardGot(QString nick_name, QByteArray user_icon)
{
    AppInfo::instance()->setBool(kSettings, kRemember, true);
    if (CredentialStore::writeJson(kAccountKey, m_account->writeCache()))
        CredentialStore::keep(kAccountKey, *AppInfo::instance());
    else
        qWarning("the account record could not be stored; the next start signs in on the web page");
    m_ui->setUserCard(nick_name, user_icon);
}

void MainWindow::onAccountLogoutFinished()
{
    stopListMgr();
    if (!m_closing)
        startLogin();
}

// ---- camera list ----------------------------------------------------------------

void MainWindow::onGotDevListFail(int err_code)
{
    if (m_closing)
        return;
    qWarning("device list got fail");
    VuStat::reportError(QStringLiteral("load_camera_list"), err_code);
    const int state = m_ui->state();
    if (state == MainWindowUI::LoadingCameras || state == MainWindowUI::NoCamera
        || state == MainWindowUI::HasCamera)
        m_ui->setState(MainWindowUI::NetError);
    else
        qWarning("ignore dev list error event for invalid status:%d", state);
}

void MainWindow::onDeviceListMgrStopped()
{
    if (QObject* mgr = sender())
        mgr->deleteLater();
    if (m_closing)
        close();
}

// ---- user actions -----------------------------------------------------------------

void MainWindow::onLogout()
{
    VuStat::reportAction(QStringLiteral("click_logout_btn"));
    m_ui->setState(MainWindowUI::SigningOut);
    if (AppInfo::instance()->getBool(kSettings, kRemember, true)) {
        qInfo("disable auto login policy");
        AppInfo::instance()->setBool(kSettings, kRemember, false);
        if (!CredentialStore::forget(kAccountKey, *AppInfo::instance()))
            QTimer::singleShot(0, this, &MainWindow::tellRecordKept);
    }
    // Nothing signs requests for this user any more.
    ApiCredentials::clear();
    m_account->logout();
    m_ui->setUserCard(QString(), QByteArray());
}

void MainWindow::tellRecordKept()
{
    MMessageBox box(this);
    box.exec(tr("Sign Out"),
             tr("The saved sign-in could not be removed from the keyring (is it locked?). It will be removed at the next start."),
             true);
}

void MainWindow::onRetryLogin()
{
    qInfo("retry login");
    VuStat::reportAction(QStringLiteral("retry_login"));
    stopListMgr();
    startLogin();
}

void MainWindow::onCloseApp()
{
    m_closing = true;
    m_ui->setClosing(true);
    VuStat::reportAction(QStringLiteral("click_quit_btn"));
    if (!m_listMgr)
        close();
    else
        stopListMgr(); // closes on stopped
}

void MainWindow::onAbout()
{
    MMessageBox box(this);
    const QString current = m_updater->currentVersion().toString();
    if (m_updater->hasNewVersion()) {
        const QString text = tr("current_version:%1, new version:%2, update it?")
                                 .arg(current, m_updater->netVersion().toString());
        if (box.exec(tr("Current Version"), text) == 1) {
            m_updater->openDownloadUrl([this](const QUrl& url) { return m_ui->openUrl(url); });
            VuStat::reportAction(QStringLiteral("accept_manual_updates"));
        } else {
            VuStat::reportAction(QStringLiteral("ignore_manual_updates"));
        }
    } else {
        box.exec(tr("Current Version"), tr("current_version:%1, already latest").arg(current), true);
    }
}

void MainWindow::onOpenStore()
{
    const QString url = AppInfo::instance()->getString(kSettings, QStringLiteral("store_url"),
                                                       QString::fromLatin1(kDefaultStoreUrl));
    m_ui->openUrl(QUrl(url));
    VuStat::reportAction(QStringLiteral("goto_marqet_btn"));
}

// ---- window events ----------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* e)
{
    if (m_closing) {
        e->accept();
        return;
    }
    // Closing from outside (the window manager) asks like the close button.
    e->ignore();
    if (m_ui)
        QTimer::singleShot(0, m_ui, &MainWindowUI::confirmQuit);
}

void MainWindow::keyPressEvent(QKeyEvent* e)
{
    // Keys that a focused field (the sign-in page, a pin code) did not take.
    if (!m_ui || m_ui->state() != MainWindowUI::HasCamera
        || e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        QLabel::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Escape:
        m_ui->leaveFullscreen();
        break;
    case Qt::Key_F11:
        if (m_ui->isFullscreen()) {
            m_ui->leaveFullscreen();
        } else {
            // The tile under the mouse, else the first one of the page.
            VuCameraWidget* tile = nullptr;
            for (VuCameraWidget* t : m_ui->shownTiles()) {
                if (t->isVisible() && t->rect().contains(t->mapFromGlobal(QCursor::pos())))
                    tile = t;
            }
            if (!tile && !m_ui->shownTiles().isEmpty())
                tile = m_ui->shownTiles().first();
            m_ui->enterFullscreen(tile);
        }
        break;
    case Qt::Key_R: // records the tile under the mouse
        for (VuCameraWidget* t : m_ui->shownTiles()) {
            if (t->isVisible() && t->rect().contains(t->mapFromGlobal(QCursor::pos())))
                t->toggleRecording();
        }
        break;
    case Qt::Key_PageUp:
        m_ui->goToPage(m_ui->currentPage() - 1);
        break;
    case Qt::Key_PageDown:
        m_ui->goToPage(m_ui->currentPage() + 1);
        break;
    case Qt::Key_1:
        m_ui->chooseGridMode(0);
        break;
    case Qt::Key_4:
        m_ui->chooseGridMode(1);
        break;
    case Qt::Key_9:
        m_ui->chooseGridMode(2);
        break;
    default:
        QLabel::keyPressEvent(e);
        return;
    }
    e->accept();
}
