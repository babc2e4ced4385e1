#include "ui/mainwindowui.h"

#include "core/externalurl.h"
#include "client/vucameraclient.h"
#include "ui/cameralistbar.h"
#include "ui/framelesshelper.h"
#include "ui/gridbottombar.h"
#include "ui/gridpage.h"
#include "ui/mmessagebox.h"
#include "ui/statepages.h"
#include "ui/titlebar.h"
#include "ui/usercardwidget.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

MainWindowUI::MainWindowUI(QWidget* window, int menuHideMs, UrlOpener urlOpener)
    : QObject(window), m_window(window), m_pageMode(GridPage::storedPageMode()), m_urlOpener(std::move(urlOpener))
{
    m_tileFactory = [](VuCameraClient* cam, QWidget* parent) { return new VuCameraWidget(cam, parent); };
    if (!m_urlOpener)
        m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    // Moving is live; a resize shows the new frame and takes it on release.
    m_frameless = new FramelessHelper(this);
    m_frameless->setWidgetMovable(true);
    m_frameless->setWidgetResizable(true);
    m_frameless->setRubberBandOnMove(false);
    m_frameless->setRubberBandOnResize(true);
    m_frameless->setTitleHeight(TitleBarHeight);
    m_frameless->activateOn(m_window);
    m_window->installEventFilter(this);

    auto* rootLayout = new QVBoxLayout(m_window);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);

    m_titleBar = new TitleBar(m_window);
    m_titleBar->setButtonState(1);
    connect(m_titleBar, &TitleBar::minButtonClicked, m_window, &QWidget::showMinimized);
    connect(m_titleBar, &TitleBar::closeButtonClicked, this, &MainWindowUI::confirmQuit);

    m_userCard = new UserCardWidget(m_window, menuHideMs, m_titleBar);
    m_titleBar->addTrailingWidget(m_userCard);
    connect(m_userCard, &UserCardWidget::aboutTriggered, this, &MainWindowUI::showAbout);
    connect(m_userCard, &UserCardWidget::logoutTriggered, this, &MainWindowUI::confirmLogout);

    m_pages = new StatePages(m_window);
    connect(m_pages, &StatePages::retryClicked, this, &MainWindowUI::toRetryLogin);
    connect(m_pages, &StatePages::storeClicked, this, &MainWindowUI::toOpenStore);

    rootLayout->addWidget(m_titleBar);
    rootLayout->addWidget(m_pages, 1);

    connect(this, &MainWindowUI::initLoginPage_s, this, &MainWindowUI::onInitLoginPage);
}

bool MainWindowUI::eventFilter(QObject* watched, QEvent* e)
{
    // The cells follow the window (they are worked out from its size).
    if (watched == m_window && e->type() == QEvent::Resize)
        relayoutTiles();
    return QObject::eventFilter(watched, e);
}

MainWindowUI::~MainWindowUI()
{
    // The tiles go with their page; nothing may refer to them afterwards.
    deletePage();
}

const char* MainWindowUI::stateName(int state)
{
    static const char* const names[] = {"none", "startup check", "web login", "signing in", "loading cameras",
                                        "net error", "no camera", "has camera", "signing out", "quitting"};
    return (state >= StartupCheck && state <= Quitting) ? names[state] : "none";
}

MainWindowUI::PageKind MainWindowUI::pageKindOf(int state)
{
    switch (state) {
    case WebLogin:
        return LoginPage;
    case NetError:
        return NetErrorPage;
    case NoCamera:
        return NoCameraPage;
    case HasCamera:
        return CameraPage;
    case StartupCheck:
    case SigningIn:
    case LoadingCameras:
    case SigningOut:
    case Quitting:
        return LoadingPage;
    default:
        return NoPage;
    }
}

void MainWindowUI::setState(int state)
{
    if (state == m_state)
        return;
    qInfo("main window: ui state from \"%s\" to \"%s\"", stateName(m_state), stateName(state));
    m_state = state;
    showPage(pageKindOf(state));
}

// ---- pages ----------------------------------------------------------------------

void MainWindowUI::showPage(PageKind kind)
{
    if (kind == m_pageKind)
        return;
    hideUserMenu();
    if (m_pageKind == LoginPage)
        m_pages->hideLogin();
    else
        deletePage();
    m_pageKind = kind;
    switch (kind) {
    case LoginPage:
        showLoginPage();
        break;
    case LoadingPage:
        m_pages->showLoading();
        break;
    case NetErrorPage:
        m_pages->showNetError();
        break;
    case NoCameraPage:
        m_pages->showNoCamera();
        break;
    case CameraPage:
        makeGridPage();
        break;
    case NoPage:
        break;
    }
}

void MainWindowUI::deletePage()
{
    if (m_grid) {
        if (isFullscreen())
            leaveFullscreen();
        m_pageMode = m_grid->grid()->pageMode();
        m_grid = nullptr;
    }
    m_pages->deletePage();
}

void MainWindowUI::makeGridPage()
{
    // The content under the title bar, whether or not the layouts caught up.
    auto content = [this]() {
        QSize area = m_window->size();
        if (!m_titleBar->isHidden())
            area.rheight() -= TitleBarHeight;
        return area;
    };
    m_grid = new GridPage(m_pageMode, m_userId, m_tileFactory, content, m_pages);
    connect(m_grid, &GridPage::enterFullscreenWanted, this, &MainWindowUI::enterFullscreen);
    connect(m_grid, &GridPage::leaveFullscreenWanted, this, &MainWindowUI::leaveFullscreen);
    m_pages->showPage(m_grid);
}

void MainWindowUI::showLoginPage()
{
    if (!m_pages->loginView()) {
        emit initLoginPage_s();
        return;
    }
    m_pages->showLogin();
    emit toLoginByWeb();
}

void MainWindowUI::onInitLoginPage()
{
    m_pages->showLogin();
    emit toLoginByWeb();
}

MCefWebView* MainWindowUI::loginView() const { return m_pages->loginView(); }
QWidget* MainWindowUI::pageWidget() const { return m_pages->page(); }

// ---- user card and confirmations --------------------------------------------------

void MainWindowUI::setUserId(const QString& uid)
{
    m_userId = uid;
    if (m_grid)
        m_grid->setUserId(uid);
}

void MainWindowUI::setUserCard(const QString& nickName, const QByteArray& icon) { m_userCard->setUser(nickName, icon); }
QString MainWindowUI::userName() const { return m_userCard->userName(); }
MLabel* MainWindowUI::userIcon() const { return m_userCard->icon(); }
SettingMenu* MainWindowUI::settingMenu() const { return m_userCard->menu(); }
void MainWindowUI::showUserMenu() { m_userCard->showMenu(); }
void MainWindowUI::hideUserMenu() { m_userCard->hideMenu(); }

void MainWindowUI::confirmLogout()
{
    hideUserMenu();
    MMessageBox box(m_window);
    if (box.exec(tr("Account Quit"), tr("Are you sure to quit current account?")) != 1)
        return;
    setState(SigningOut);
    qInfo("click logout button");
    emit toLogout();
}

void MainWindowUI::confirmQuit()
{
    if (m_closing || m_askingQuit)
        return;
    m_askingQuit = true;
    MMessageBox box(m_window);
    const int answer = box.exec(tr("Application Quit"), tr("Are you sure to close app?"));
    m_askingQuit = false;
    if (answer != 1)
        return;
    m_closing = true;
    setState(Quitting);
    emit toCloseApp();
}

bool MainWindowUI::openUrl(const QUrl& url) const
{
    const QUrl web = ExternalUrl::webUrl(url);
    if (web.isEmpty()) {
        qWarning("refusing to open a web address that is not http or https");
        return false;
    }
    return m_urlOpener(web);
}

// ---- camera list events -------------------------------------------------------

bool MainWindowUI::ignoredListEvent() const
{
    if (m_state == LoadingCameras || m_state == NoCamera || m_state == HasCamera)
        return false;
    qWarning("ignore dev list error event for invalid status:%d", m_state);
    return true;
}

void MainWindowUI::onDeviceListLoaded(const QList<VuCameraClient*>& devLst)
{
    if (m_closing || ignoredListEvent())
        return;
    if (devLst.isEmpty()) {
        setState(NoCamera);
        return;
    }
    setState(HasCamera);
    m_grid->addCameras(devLst);
}

void MainWindowUI::onCameraAdded(VuCameraClient* cam)
{
    if (m_closing || !cam || ignoredListEvent())
        return;
    if (m_state != HasCamera) {
        // The first camera of an empty list comes as a loaded list.
        onDeviceListLoaded({cam});
        return;
    }
    m_grid->addCamera(cam);
}

void MainWindowUI::onCameraRemoved(VuCameraClient* cam)
{
    if (!cam)
        return;
    if (m_state != HasCamera) {
        ignoredListEvent();
        cam->destroy();
        return;
    }
    m_grid->removeCamera(cam);
}

// ---- grid -----------------------------------------------------------------------

int MainWindowUI::pageMode() const { return m_grid ? m_grid->grid()->pageMode() : m_pageMode; }

void MainWindowUI::chooseGridMode(int index)
{
    if (!m_grid || index < 0 || index > 2)
        return;
    if (isFullscreen())
        leaveFullscreen();
    m_grid->chooseGridMode(index);
}

int MainWindowUI::currentPage() const { return m_grid ? m_grid->grid()->currentPage() : 0; }
int MainWindowUI::pageCount() const { return m_grid ? m_grid->grid()->pageCount() : 0; }

void MainWindowUI::goToPage(int page)
{
    if (m_grid)
        m_grid->grid()->goToPage(page);
}

void MainWindowUI::selectAllRooms()
{
    if (m_grid)
        m_grid->selectAllRooms();
}

void MainWindowUI::relayoutTiles()
{
    if (m_state != HasCamera || m_geometryChanging || !m_grid)
        return;
    m_grid->grid()->placeTiles();
}

QList<QRect> MainWindowUI::cellGeometry(const QSize& area, int pageMode)
{
    return CameraGrid::cellGeometry(area, pageMode);
}

QList<VuCameraWidget*> MainWindowUI::allTiles() const
{
    return m_grid ? m_grid->grid()->allTiles() : QList<VuCameraWidget*>();
}

QList<VuCameraWidget*> MainWindowUI::roomTiles() const
{
    return m_grid ? m_grid->grid()->roomTiles() : QList<VuCameraWidget*>();
}

QList<VuCameraWidget*> MainWindowUI::shownTiles() const
{
    return m_grid ? m_grid->grid()->shownTiles() : QList<VuCameraWidget*>();
}

QList<QWidget*> MainWindowUI::placeholders() const
{
    return m_grid ? m_grid->grid()->placeholders() : QList<QWidget*>();
}

VuCameraWidget* MainWindowUI::tileOf(VuCameraClient* cam) const
{
    return m_grid ? m_grid->grid()->tileOf(cam) : nullptr;
}

RoomListBar* MainWindowUI::roomListBar() const { return m_grid ? m_grid->rooms() : nullptr; }
MNavigateBar* MainWindowUI::navigateBar() const { return m_grid ? m_grid->bottomBar()->navigateBar() : nullptr; }

ViewModeWidget* MainWindowUI::viewModeWidget() const
{
    return m_grid ? m_grid->bottomBar()->viewModeWidget() : nullptr;
}

QPushButton* MainWindowUI::playAllButton() const { return m_grid ? m_grid->bottomBar()->playAllButton() : nullptr; }
QWidget* MainWindowUI::leftBar() const { return m_grid ? m_grid->leftBar() : nullptr; }
QWidget* MainWindowUI::bottomBar() const { return m_grid ? m_grid->bottomBar() : nullptr; }

// ---- full screen ------------------------------------------------------------------

bool MainWindowUI::isFullscreen() const { return m_grid && m_grid->grid()->isFullscreen(); }
VuCameraWidget* MainWindowUI::fullscreenTile() const { return m_grid ? m_grid->grid()->fullscreenTile() : nullptr; }

void MainWindowUI::enterFullscreen(VuCameraWidget* tile)
{
    if (!tile || m_state != HasCamera || !m_grid || !m_grid->grid()->allTiles().contains(tile))
        return;
    if (isFullscreen() && tile == fullscreenTile())
        return;
    if (!isFullscreen())
        setWindowFullscreen(true);
    hideUserMenu();
    m_grid->showFullscreen(tile);
}

void MainWindowUI::leaveFullscreen()
{
    if (!isFullscreen())
        return;
    m_grid->endFullscreen();
    setWindowFullscreen(false);
    m_grid->restoreGridMode();
}

void MainWindowUI::setWindowFullscreen(bool fullscreen)
{
    if (fullscreen) {
        m_savedGeometry = m_window->saveGeometry();
        m_savedRect = m_window->geometry();
        QScreen* screen = m_window->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        m_geometryChanging = true;
        // Frameless helpers leave a window alone while it fills the screen.
        m_window->setProperty("framelessMaximized", true);
        if (screen)
            m_window->setGeometry(screen->geometry());
        m_titleBar->hide();
        m_grid->setBarsShown(false);
        m_geometryChanging = false;
        return;
    }
    m_geometryChanging = true;
    m_window->restoreGeometry(m_savedGeometry);
    // Without a window frame some platforms put the window back shifted by
    // the frame they assume; the saved rectangle is what the user had.
    if (m_window->geometry() != m_savedRect)
        m_window->setGeometry(m_savedRect);
    m_window->setProperty("framelessMaximized", m_titleBar->isMaximized());
    m_titleBar->show();
    m_grid->setBarsShown(true);
    m_geometryChanging = false;
}
