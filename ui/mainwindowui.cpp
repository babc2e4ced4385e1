#include "ui/mainwindowui.h"

#include "app/appinfo.h"
#include "app/externalurl.h"
#include "browser/mcefwebview.h"
#include "client/vucameraclient.h"
#include "ui/imageslabel.h"
#include "ui/mlabel.h"
#include "ui/mmessagebox.h"
#include "ui/mnavigatebar.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/titlebar.h"
#include "ui/viewmodewidget.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QCursor>
#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace {

const QString kSettings = QStringLiteral("settings");
const QString kPageMode = QStringLiteral("page_mode");

int storedPageMode()
{
    const int mode = AppInfo::instance()->getInt(kSettings, kPageMode, 0);
    return (mode < 0 || mode > 3) ? 0 : mode;
}

// A round picture of the user for the title bar.
QPixmap roundIcon(const QPixmap& source, int size)
{
    QPixmap out(size, size);
    out.fill(Qt::transparent);
    if (source.isNull())
        return out;
    const QPixmap scaled = source.scaled(size, size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing, true);
    QPainterPath clip;
    clip.addEllipse(QRectF(0, 0, size, size));
    p.setClipPath(clip);
    p.drawPixmap((size - scaled.width()) / 2, (size - scaled.height()) / 2, scaled);
    return out;
}

constexpr int kUserIconSize = 24;

} // namespace

MainWindowUI::MainWindowUI(QWidget* window, int menuHideMs, UrlOpener urlOpener)
    : QObject(window), m_window(window), m_pageMode(storedPageMode()), m_urlOpener(std::move(urlOpener))
{
    m_tileFactory = [](VuCameraClient* cam, QWidget* parent) { return new VuCameraWidget(cam, parent); };
    if (!m_urlOpener)
        m_urlOpener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

    m_rootLayout = new QVBoxLayout(m_window);
    m_rootLayout->setContentsMargins(0, 0, 0, 0);
    m_rootLayout->setSpacing(0);

    m_titleBar = new TitleBar(m_window);
    m_titleBar->setButtonState(1);
    connect(m_titleBar, &TitleBar::minButtonClicked, m_window, &QWidget::showMinimized);
    connect(m_titleBar, &TitleBar::closeButtonClicked, this, &MainWindowUI::confirmQuit);

    // The user card: a round icon under a frame, and the nick name.
    m_userCard = new QWidget(m_titleBar);
    m_userCard->setObjectName(QStringLiteral("user_card_"));
    auto* cardLayout = new QHBoxLayout(m_userCard);
    cardLayout->setContentsMargins(0, 0, 0, 0);
    cardLayout->setSpacing(6);
    m_userIcon = new MLabel(m_userCard);
    m_userIcon->setObjectName(QStringLiteral("user_icon_"));
    m_userIcon->setFixedSize(kUserIconSize, kUserIconSize);
    m_userIcon->setCursor(Qt::PointingHandCursor);
    m_userIconFrame = new QLabel(m_userIcon);
    m_userIconFrame->setGeometry(0, 0, kUserIconSize, kUserIconSize);
    m_userIconFrame->setScaledContents(true);
    m_userIconFrame->setPixmap(QPixmap(QStringLiteral(":/res/imgs/user_icon_frame.png")));
    m_userIconFrame->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_userNameLabel = new QLabel(m_userCard);
    m_userNameLabel->setObjectName(QStringLiteral("user_name_"));
    m_userNameLabel->setFixedWidth(120);
    m_userNameLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    cardLayout->addWidget(m_userIcon);
    cardLayout->addWidget(m_userNameLabel);
    m_userCard->hide();
    m_titleBar->addTrailingWidget(m_userCard);
    connect(m_userIcon, &MLabel::onEnterEvent, this, &MainWindowUI::onUserIconEntered);
    connect(m_userIcon, &MLabel::Clicked, this, [this](MLabel*) { showUserMenu(); });
    m_menuTimer = new QTimer(this);
    m_menuTimer->setSingleShot(true);
    m_menuTimer->setInterval(menuHideMs);
    connect(m_menuTimer, &QTimer::timeout, this, &MainWindowUI::checkMenuHide);

    m_content = new QWidget(m_window);
    m_content->setObjectName(QStringLiteral("content_frame_"));
    m_contentLayout = new QHBoxLayout(m_content);
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->setSpacing(0);

    m_rootLayout->addWidget(m_titleBar);
    m_rootLayout->addWidget(m_content, 1);

    connect(this, &MainWindowUI::initLoginPage_s, this, &MainWindowUI::onInitLoginPage);
}

MainWindowUI::~MainWindowUI()
{
    // The tiles go with their page; nothing may refer to them afterwards.
    if (m_menu)
        delete m_menu.data();
    deletePage();
}

const char* MainWindowUI::stateName(int state)
{
    switch (state) {
    case StartupCheck:
        return "startup check";
    case WebLogin:
        return "web login";
    case SigningIn:
        return "signing in";
    case LoadingCameras:
        return "loading cameras";
    case NetError:
        return "net error";
    case NoCamera:
        return "no camera";
    case HasCamera:
        return "has camera";
    case SigningOut:
        return "signing out";
    case Quitting:
        return "quitting";
    default:
        return "none";
    }
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
        return GridPage;
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

void MainWindowUI::showPage(PageKind kind)
{
    if (kind == m_pageKind)
        return;
    hideUserMenu();
    if (m_pageKind == LoginPage)
        showLoginView(false);
    else
        deletePage();
    m_pageKind = kind;
    switch (kind) {
    case LoginPage:
        showLoginView(true);
        return;
    case LoadingPage:
        m_page = makeLoadingPage();
        break;
    case NetErrorPage:
        m_page = makeNetErrorPage();
        break;
    case NoCameraPage:
        m_page = makeNoCameraPage();
        break;
    case GridPage:
        m_page = makeGridPage();
        break;
    case NoPage:
        return;
    }
    m_contentLayout->setContentsMargins(0, 0, 0, 0);
    m_contentLayout->addWidget(m_page, 1);
    m_page->show();
}

void MainWindowUI::deletePage()
{
    if (!m_page)
        return;
    if (m_pageKind == GridPage) {
        if (isFullscreen())
            leaveFullscreen();
        clearTiles();
    }
    QWidget* page = m_page;
    m_page = nullptr;
    m_leftBar = m_bottomBar = m_rightFrame = nullptr;
    m_roomBar = nullptr;
    m_navBar = nullptr;
    m_viewMode = nullptr;
    m_cameraCount = nullptr;
    m_cameraList = nullptr;
    m_playAll = nullptr;
    page->hide();
    delete page;
}

void MainWindowUI::clearTiles()
{
    m_allTiles.clear();
    m_roomTiles.clear();
    m_shownTiles.clear();
    m_placeholders.clear();
    m_anchorTile = nullptr;
    m_fullscreenTile = nullptr;
}

QWidget* MainWindowUI::makeLoadingPage()
{
    auto* page = new QWidget(m_content);
    page->setObjectName(QStringLiteral("loading_page_"));
    page->setAttribute(Qt::WA_StyledBackground, true);
    auto* images = new ImagesLabel(page);
    images->setObjectName(QStringLiteral("loading_images_"));
    images->setFixedSize(162, 162);
    images->setScaledContents(true);
    auto* lay = new QVBoxLayout(page);
    lay->addStretch(1);
    lay->addWidget(images, 0, Qt::AlignHCenter);
    lay->addStretch(1);
    images->start(50, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    return page;
}

QWidget* MainWindowUI::makeMessagePage(const char* pageName, const char* imageName, const QString& image,
                                       const char* labelName, const QString& text, const char* buttonName,
                                       const QString& buttonText, void (MainWindowUI::*clicked)())
{
    auto* page = new QWidget(m_content);
    page->setObjectName(QLatin1String(pageName));
    page->setAttribute(Qt::WA_StyledBackground, true);
    auto* img = new QLabel(page);
    img->setObjectName(QLatin1String(imageName));
    img->setPixmap(QPixmap(image));
    auto* label = new QLabel(text, page);
    label->setObjectName(QLatin1String(labelName));
    auto* button = new QPushButton(buttonText, page);
    button->setObjectName(QLatin1String(buttonName));
    button->setCursor(Qt::PointingHandCursor);
    connect(button, &QPushButton::clicked, this, clicked);
    auto* lay = new QVBoxLayout(page);
    lay->setSpacing(16);
    lay->addStretch(1);
    lay->addWidget(img, 0, Qt::AlignHCenter);
    lay->addWidget(label, 0, Qt::AlignHCenter);
    lay->addWidget(button, 0, Qt::AlignHCenter);
    lay->addStretch(1);
    return page;
}

QWidget* MainWindowUI::makeNetErrorPage()
{
    return makeMessagePage("net_error_page_", "net_err_img", QStringLiteral(":/res/imgs/net_error.png"),
                           "net_err_label", tr("net error,click to retry."), "retry_login_btn_", tr("Retry"),
                           &MainWindowUI::toRetryLogin);
}

QWidget* MainWindowUI::makeNoCameraPage()
{
    return makeMessagePage("no_dev_page_", "no_dev_img_", QStringLiteral(":/res/imgs/no_device.png"),
                           "no_dev_label_", tr("no camerar, please goto marqet."), "goto_marqet_btn_",
                           tr("MarqetStore"), &MainWindowUI::toOpenStore);
}

QWidget* MainWindowUI::makeGridPage()
{
    auto* page = new QWidget(m_content);
    page->setObjectName(QStringLiteral("has_dev_page_"));
    page->setAttribute(Qt::WA_StyledBackground, true);

    m_leftBar = new QWidget(page);
    m_leftBar->setObjectName(QStringLiteral("left_bar_"));
    m_leftBar->setAttribute(Qt::WA_StyledBackground, true);
    m_leftBar->setFixedWidth(LeftBarWidth);
    auto* leftLayout = new QVBoxLayout(m_leftBar);
    leftLayout->setContentsMargins(8, 12, 8, 12);
    leftLayout->setSpacing(6);
    m_cameraCount = new QLabel(m_leftBar);
    m_cameraCount->setObjectName(QStringLiteral("camera_count_"));
    m_cameraCount->setWordWrap(true);
    leftLayout->addWidget(m_cameraCount);
    auto* list = new QScrollArea(m_leftBar);
    list->setObjectName(QStringLiteral("camera_list_"));
    list->setFrameShape(QFrame::NoFrame);
    list->setWidgetResizable(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* listContent = new QWidget(list);
    listContent->setObjectName(QStringLiteral("camera_list_content_"));
    auto* listLayout = new QVBoxLayout(listContent);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(4);
    listLayout->addStretch(1);
    list->setWidget(listContent);
    leftLayout->addWidget(list, 1);
    m_cameraList = listContent;

    m_rightFrame = new QWidget(page);
    m_rightFrame->setObjectName(QStringLiteral("right_frame"));
    m_rightFrame->setAttribute(Qt::WA_StyledBackground, true);

    m_bottomBar = new QWidget(page);
    m_bottomBar->setObjectName(QStringLiteral("bottom_bar_"));
    m_bottomBar->setAttribute(Qt::WA_StyledBackground, true);
    m_bottomBar->setFixedHeight(BottomBarHeight);
    m_viewMode = new ViewModeWidget(m_bottomBar);
    if (m_pageMode > 0)
        m_viewMode->setCurrentIndex(m_pageMode - 1);
    connect(m_viewMode, &ViewModeWidget::currentIndexChanged, this, &MainWindowUI::onGridModeChosen);
    m_roomBar = new RoomListBar(m_bottomBar);
    m_roomBar->setUserId(m_userId);
    connect(m_roomBar, &RoomListBar::roomAllSelected, this, &MainWindowUI::applyRoomFilter);
    connect(m_roomBar, &RoomListBar::roomDefaultSelected, this, &MainWindowUI::applyRoomFilter);
    connect(m_roomBar, &RoomListBar::roomSharedSelected, this, &MainWindowUI::applyRoomFilter);
    connect(m_roomBar, &RoomListBar::roomSelected, this, &MainWindowUI::applyRoomFilter);
    m_playAll = new QPushButton(tr("Play all"), m_bottomBar);
    m_playAll->setObjectName(QStringLiteral("play_all_btn_"));
    m_playAll->setCursor(Qt::PointingHandCursor);
    m_playAll->setFocusPolicy(Qt::NoFocus);
    m_playAll->setToolTip(tr("Play every stopped camera of this page"));
    connect(m_playAll, &QPushButton::clicked, this, &MainWindowUI::playAllShown);
    m_navBar = new MNavigateBar(m_bottomBar);
    connect(m_navBar, &MNavigateBar::onPageNumberChanged, this, &MainWindowUI::onPageViewChanged);
    auto* bottomLayout = new QHBoxLayout(m_bottomBar);
    bottomLayout->setContentsMargins(12, 0, 12, 0);
    bottomLayout->setSpacing(12);
    bottomLayout->addWidget(m_viewMode);
    bottomLayout->addWidget(m_playAll);
    bottomLayout->addWidget(m_roomBar, 1);
    bottomLayout->addWidget(m_navBar);

    auto* rightLayout = new QVBoxLayout;
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    rightLayout->addWidget(m_rightFrame, 1);
    rightLayout->addWidget(m_bottomBar);
    auto* lay = new QHBoxLayout(page);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(m_leftBar);
    lay->addLayout(rightLayout, 1);
    return page;
}

void MainWindowUI::showLoginView(bool show)
{
    if (!show) {
        if (m_loginView)
            m_loginView->hide();
        if (m_loginSide)
            m_loginSide->hide();
        return;
    }
    if (!m_loginView) {
        emit initLoginPage_s();
        return;
    }
    m_contentLayout->setContentsMargins(0, 30, 80, 30);
    m_loginSide->show();
    m_loginView->show();
    emit toLoginByWeb();
}

void MainWindowUI::onInitLoginPage()
{
    if (!m_loginView) {
        m_loginSide = new QWidget(m_content);
        m_loginSide->setObjectName(QStringLiteral("login_side_"));
        auto* logo = new QLabel(m_loginSide);
        logo->setObjectName(QStringLiteral("login_logo_"));
        logo->setPixmap(QPixmap(QStringLiteral(":/res/imgs/hovia.png")));
        auto* title = new QLabel(tr("Smart Camera"), m_loginSide);
        title->setObjectName(QStringLiteral("login_title_"));
        auto* sideLayout = new QVBoxLayout(m_loginSide);
        sideLayout->addStretch(1);
        sideLayout->addWidget(logo, 0, Qt::AlignHCenter);
        sideLayout->addWidget(title, 0, Qt::AlignHCenter);
        sideLayout->addStretch(1);

        m_loginView = new MCefWebView(m_window);
        m_loginView->setObjectName(QStringLiteral("login_view_"));
        m_loginView->setWindowFlags(m_loginView->windowFlags() | Qt::FramelessWindowHint);
        m_loginView->setFixedSize(440, 570);
        m_contentLayout->addWidget(m_loginSide, 1);
        m_contentLayout->addWidget(m_loginView, 0, Qt::AlignVCenter);
    }
    m_contentLayout->setContentsMargins(0, 30, 80, 30);
    m_loginSide->show();
    m_loginView->show();
    emit toLoginByWeb();
}

void MainWindowUI::setUserCard(const QString& nickName, const QByteArray& icon)
{
    m_userName = nickName;
    if (nickName.isEmpty() && icon.isEmpty()) {
        m_userNameLabel->clear();
        m_userNameLabel->setToolTip(QString());
        m_userIcon->clear();
        m_userCard->hide();
        hideUserMenu();
        return;
    }
    QPixmap picture;
    // The bytes come from the cloud: a small file may still claim a huge
    // picture, so its size is read before anything is decoded.
    QBuffer buffer;
    buffer.setData(icon);
    QImageReader reader(&buffer);
    const QSize declared = reader.size();
    const bool sane = declared.isValid() && declared.width() <= 4096 && declared.height() <= 4096;
    if (!icon.isNull() && declared.isValid() && !sane)
        qWarning("user icon refused: it claims %dx%d pixels", declared.width(), declared.height());
    if (icon.isNull() || !sane || !picture.convertFromImage(reader.read())) {
        if (!icon.isNull())
            qWarning("user icon is not a picture (%d bytes), showing the default one", int(icon.size()));
        picture.load(QStringLiteral(":/res/imgs/default_user_icon.png"));
    }
    m_userIcon->setPixmap(roundIcon(picture, kUserIconSize));
    m_userIconFrame->raise();
    const QFontMetrics fm(m_userNameLabel->font());
    m_userNameLabel->setText(fm.elidedText(nickName, Qt::ElideRight, m_userNameLabel->width()));
    m_userNameLabel->setToolTip(nickName);
    m_userCard->show();
}

// ---- user menu --------------------------------------------------------------

void MainWindowUI::onUserIconEntered()
{
    showUserMenu();
}

void MainWindowUI::showUserMenu()
{
    if (m_userCard->isHidden())
        return;
    if (!m_menu) {
        m_menu = new SettingMenu(m_window);
        connect(m_menu, &SettingMenu::aboutTriggered, this, [this]() {
            hideUserMenu();
            emit showAbout();
        });
        connect(m_menu, &SettingMenu::logoutTriggered, this, &MainWindowUI::confirmLogout);
        connect(m_menu, &SettingMenu::mouseLeft, m_menuTimer, qOverload<>(&QTimer::start));
    }
    const QPoint below = m_userIcon->mapToGlobal(QPoint(m_userIcon->width() / 2, m_userIcon->height()));
    m_menu->move(below.x() - m_menu->width() / 2, below.y() + 2);
    m_menu->show();
    m_menu->raise();
    m_menuTimer->start();
}

void MainWindowUI::hideUserMenu()
{
    m_menuTimer->stop();
    if (m_menu) {
        SettingMenu* menu = m_menu;
        m_menu = nullptr;
        menu->hide();
        menu->deleteLater();
    }
}

void MainWindowUI::checkMenuHide()
{
    if (!m_menu)
        return;
    const bool overIcon = m_userIcon->isVisible()
        && m_userIcon->rect().contains(m_userIcon->mapFromGlobal(QCursor::pos()));
    if (overIcon || m_menu->isMouseOver())
        m_menuTimer->start();
    else
        hideUserMenu();
}

// ---- confirmations ------------------------------------------------------------

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
    for (VuCameraClient* cam : devLst) {
        if (cam && !tileOf(cam))
            addTile(cam);
    }
    if (m_pageMode == 0) {
        m_pageMode = m_allTiles.size() > 1 ? 2 : 1;
        m_viewMode->setCurrentIndex(m_pageMode - 1);
    }
    rebuildRooms();
    updateNavigateBar();
    layoutPage();
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
    if (tileOf(cam))
        return;
    VuCameraWidget* tile = addTile(cam);
    const bool newRoom = !m_roomBar->hasRoom(cam->roomName(), cam->isShared());
    if (newRoom)
        rebuildRooms();
    else
        applyRoomFilter();
    if (!tileInSelectedRoom(tile))
        qInfo("camera:%s added and it's room:%s not visibile", qUtf8Printable(cam->did()),
              qUtf8Printable(cam->roomName()));
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
    VuCameraWidget* tile = tileOf(cam);
    if (!tile) {
        qWarning("camera widget not found:%s", qUtf8Printable(cam->did()));
        cam->destroy();
        return;
    }
    if (tile == m_anchorTile) {
        if (tile == m_fullscreenTile) {
            qInfo("camera wa removed! that it is fullscreen now");
            leaveFullscreen();
        }
        m_anchorTile = nullptr;
    }
    const QString room = cam->roomName();
    const bool shared = cam->isShared();
    m_roomTiles.removeAll(tile);
    m_allTiles.removeAll(tile);
    m_shownTiles.removeAll(tile);
    cam->destroy();
    tile->hide();
    tile->deleteLater();

    bool roomLeft = false;
    for (VuCameraWidget* t : m_allTiles) {
        VuCameraClient* c = t->client();
        if (c && c->roomName() == room && c->isShared() == shared) {
            roomLeft = true;
            break;
        }
    }
    if (!roomLeft && m_roomBar->hasRoom(room, shared))
        m_roomBar->removeRoom(room, shared);
    // The grid closes the gap the tile left, whichever room is shown.
    applyRoomFilter();
}

VuCameraWidget* MainWindowUI::tileOf(VuCameraClient* cam) const
{
    for (VuCameraWidget* t : m_allTiles) {
        if (t->client() == cam)
            return t;
    }
    return nullptr;
}

VuCameraWidget* MainWindowUI::addTile(VuCameraClient* cam)
{
    VuCameraWidget* tile = m_tileFactory(cam, m_rightFrame);
    tile->hide();
    m_allTiles.append(tile);
    connect(tile, &VuCameraWidget::enterFullscreen, this, &MainWindowUI::onTileEnterFullscreen);
    connect(tile, &VuCameraWidget::leaveFullscreen, this, &MainWindowUI::onTileLeaveFullscreen);
    return tile;
}

// ---- rooms --------------------------------------------------------------------

void MainWindowUI::rebuildRooms()
{
    QStringList names;
    QStringList icons;
    bool hasDefault = false;
    bool hasShared = false;
    for (VuCameraWidget* t : m_allTiles) {
        VuCameraClient* c = t->client();
        if (!c)
            continue;
        const QString room = c->roomName();
        if (room.isEmpty()) {
            if (c->isShared())
                hasShared = true;
            else
                hasDefault = true;
        } else if (!names.contains(room)) {
            names << room;
            icons << c->roomIcon();
        }
    }
    m_roomBar->setUserId(m_userId);
    m_roomBar->setRooms(names, icons, hasDefault, hasShared);
    // The bar selects its stored choice and announces it; filter in any case.
    applyRoomFilter();
}

bool MainWindowUI::tileInSelectedRoom(VuCameraWidget* tile) const
{
    VuCameraClient* c = tile->client();
    if (!c || !m_roomBar)
        return false;
    switch (m_roomBar->currentKind()) {
    case RoomListBar::Named:
        return c->roomName() == m_roomBar->currentName();
    case RoomListBar::Default:
        return c->roomName().isEmpty() && !c->isShared();
    case RoomListBar::Shared:
        return c->isShared();
    default:
        return true;
    }
}

void MainWindowUI::selectAllRooms()
{
    if (m_roomBar && !m_roomBar->selectAll())
        applyRoomFilter();
}

void MainWindowUI::playAllShown()
{
    for (VuCameraWidget* t : m_shownTiles) {
        if (t->ui() && t->ui()->state() == VuCameraWidgetUI::Stopped)
            t->onPlayTriggered();
    }
}

void MainWindowUI::applyRoomFilter()
{
    if (!m_roomBar)
        return;
    m_roomTiles.clear();
    for (VuCameraWidget* t : m_allTiles) {
        if (tileInSelectedRoom(t))
            m_roomTiles.append(t);
    }
    if (m_anchorTile && !m_roomTiles.contains(m_anchorTile))
        m_anchorTile = nullptr;
    updateNavigateBar();
    layoutPage();
}

// ---- grid ---------------------------------------------------------------------

int MainWindowUI::currentPage() const
{
    const int n = m_pageMode > 0 ? m_pageMode * m_pageMode : 1;
    const int index = m_anchorTile ? m_roomTiles.indexOf(m_anchorTile) : -1;
    return index < 0 ? 0 : index / n;
}

int MainWindowUI::pageCount() const
{
    const int n = m_pageMode > 0 ? m_pageMode * m_pageMode : 1;
    return (m_roomTiles.size() + n - 1) / n;
}

void MainWindowUI::updateNavigateBar()
{
    if (!m_navBar)
        return;
    m_navBar->setPageCount(qMax(1, pageCount()));
    m_navBar->setCurrentPage(currentPage() + 1);
}

void MainWindowUI::onGridModeChosen(int index)
{
    if (index < 0 || index > 2)
        return;
    m_pageMode = index + 1;
    AppInfo::instance()->setInt(kSettings, kPageMode, m_pageMode);
    updateNavigateBar();
    layoutPage();
}

void MainWindowUI::chooseGridMode(int index)
{
    if (!m_viewMode || index < 0 || index > 2)
        return;
    if (isFullscreen())
        leaveFullscreen();
    m_viewMode->choose(index);
}

void MainWindowUI::onPageViewChanged(int page)
{
    const int n = m_pageMode > 0 ? m_pageMode * m_pageMode : 1;
    if (page - 1 == currentPage())
        return;
    if (page < 1 || (page - 1) * n >= m_roomTiles.size()) {
        qWarning("MainWindowUI::onPageViewChanged should never enter");
        return;
    }
    m_anchorTile = m_roomTiles.at((page - 1) * n);
    layoutPage();
}

void MainWindowUI::goToPage(int page)
{
    if (m_roomTiles.isEmpty() || page < 0 || page >= pageCount())
        return;
    if (isFullscreen()) {
        // Paging in full screen moves the full screen on to the next camera.
        VuCameraWidget* next = m_roomTiles.at(page);
        if (next == m_fullscreenTile)
            return;
        VuCameraWidget* previous = m_fullscreenTile;
        if (previous && previous->ui())
            previous->ui()->setFullscreenShown(false);
        m_fullscreenTile = next;
        m_anchorTile = next;
        if (next->ui())
            next->ui()->setFullscreenShown(true);
        layoutPage();
        return;
    }
    onPageViewChanged(page + 1);
}

void MainWindowUI::layoutPage()
{
    if (!m_rightFrame)
        return;
    const int n = m_pageMode > 0 ? m_pageMode * m_pageMode : 1;
    const int page = currentPage();
    for (VuCameraWidget* t : m_shownTiles) {
        if (t != m_anchorTile)
            t->hide();
    }
    qDeleteAll(m_placeholders);
    m_placeholders.clear();
    m_shownTiles.clear();
    for (int slot = 0; slot < n; ++slot) {
        const int index = page * n + slot;
        if (index < m_roomTiles.size()) {
            m_shownTiles.append(m_roomTiles.at(index));
        } else {
            auto* empty = new QLabel(m_rightFrame);
            empty->setObjectName(QStringLiteral("empty_camera"));
            empty->setAttribute(Qt::WA_StyledBackground, true);
            m_placeholders.append(empty);
        }
    }
    if (m_anchorTile && !m_shownTiles.contains(m_anchorTile))
        m_anchorTile->hide();
    if (!isFullscreen())
        m_anchorTile = m_roomTiles.value(page * n, nullptr);
    placeTiles();
    // Tiles are shown once they have their size: a tile starts playing when
    // shown and asks the camera for a picture of its size.
    for (VuCameraWidget* t : m_shownTiles) {
        if (t->isHidden())
            t->show();
    }
    for (QWidget* p : m_placeholders)
        p->show();
    if (m_navBar)
        m_navBar->setCurrentPage(page + 1);

    // The camera list of the left bar follows the room and the page.
    if (m_cameraList) {
        QWidget* content = m_cameraList;
        auto* lay = static_cast<QVBoxLayout*>(content->layout());
        const QList<QPushButton*> old = content->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
        qDeleteAll(old);
        int online = 0;
        for (int i = 0; i < m_roomTiles.size(); ++i) {
            VuCameraWidget* t = m_roomTiles.at(i);
            VuCameraClient* c = t->client();
            if (!c)
                continue;
            online += c->isOnline() ? 1 : 0;
            auto* item = new QPushButton(content);
            item->setObjectName(QStringLiteral("camera_list_item_"));
            item->setCheckable(true);
            item->setChecked(m_shownTiles.contains(t));
            item->setCursor(Qt::PointingHandCursor);
            item->setFocusPolicy(Qt::NoFocus);
            item->setProperty("online", c->isOnline());
            const QString name = c->name();
            item->setText(item->fontMetrics().elidedText(name, Qt::ElideRight, LeftBarWidth - 34));
            item->setToolTip(name);
            connect(item, &QPushButton::clicked, this, [this, i]() {
                const int size = m_pageMode > 0 ? m_pageMode * m_pageMode : 1;
                goToPage(i / size);
                updateNavigateBar();
            });
            lay->insertWidget(lay->count() - 1, item);
        }
        if (m_cameraCount)
            m_cameraCount->setText(tr("%1 cameras, %2 online").arg(m_roomTiles.size()).arg(online));
    }
}

void MainWindowUI::relayoutTiles()
{
    if (m_state != HasCamera || m_geometryChanging)
        return;
    placeTiles();
}

void MainWindowUI::placeTiles()
{
    if (!m_rightFrame)
        return;
    // The area the bars leave, whether or not the layouts have caught up yet.
    QSize area = m_window->size();
    if (!m_titleBar->isHidden())
        area.rheight() -= TitleBarHeight;
    if (m_bottomBar && !m_bottomBar->isHidden())
        area.rheight() -= BottomBarHeight;
    if (m_leftBar && !m_leftBar->isHidden())
        area.rwidth() -= LeftBarWidth;
    const QList<QRect> cells = cellGeometry(area, m_pageMode);
    int slot = 0;
    for (VuCameraWidget* t : m_shownTiles)
        t->setGeometry(cells.value(slot++));
    for (QWidget* p : m_placeholders)
        p->setGeometry(cells.value(slot++));
}

QList<QRect> MainWindowUI::cellGeometry(const QSize& area, int pageMode)
{
    const int m = pageMode > 0 ? pageMode : 1;
    int w = area.width() / m - TileSpacing;
    int h = area.height() / m - TileBarHeight - TileSpacing;
    w = qMax(0, w);
    h = qMax(0, h);
    // The largest 16:9 box, in integers so that the truncation is exact.
    if (qint64(w) * 9 >= qint64(h) * 16)
        w = int(qint64(h) * 16 / 9);
    else
        h = int(qint64(w) * 9 / 16);
    w -= w % 16;
    h -= h % 9;
    const int tileW = w;
    const int tileH = h + TileBarHeight;
    const int blockW = m * tileW + (m - 1) * TileSpacing;
    const int blockH = m * tileH + (m - 1) * TileSpacing;
    const int x0 = (area.width() - blockW) / 2;
    const int y0 = (area.height() - blockH) / 2;
    QList<QRect> cells;
    for (int k = 0; k < m * m; ++k) {
        const int row = k / m;
        const int col = k % m;
        cells << QRect(x0 + col * (tileW + TileSpacing), y0 + row * (tileH + TileSpacing), tileW, tileH);
    }
    return cells;
}

QRect MainWindowUI::startupGeometry(const QSize& screen)
{
    const int W = screen.width();
    const int H = screen.height();
    int width;
    int height;
    if (W <= H) {
        width = W;
        height = qMin(H, (W - 5) * 1080 / 1920 + 83);
    } else {
        height = 3 * H / 4;
        width = (height - 83) * 1920 / 1080 + 5;
        if (width < 1)
            width = W;
        if (height < 700 || width < 1100) {
            width = 1100;
            height = 700;
        }
    }
    const int x = qMax(0, (W - width) / 2);
    const int y = qMax(0, (H - height) / 2 - 10);
    return QRect(x, y, width, height);
}

// ---- full screen ------------------------------------------------------------------

void MainWindowUI::onTileEnterFullscreen()
{
    auto* tile = qobject_cast<VuCameraWidget*>(sender());
    if (tile)
        enterFullscreen(tile);
}

void MainWindowUI::onTileLeaveFullscreen()
{
    leaveFullscreen();
}

void MainWindowUI::enterFullscreen(VuCameraWidget* tile)
{
    if (!tile || m_state != HasCamera || !m_allTiles.contains(tile))
        return;
    if (isFullscreen()) {
        if (tile == m_fullscreenTile)
            return;
        if (m_fullscreenTile->ui())
            m_fullscreenTile->ui()->setFullscreenShown(false);
    } else {
        m_savedGeometry = m_window->saveGeometry();
        m_savedRect = m_window->geometry();
        m_savedPageMode = m_pageMode;
        QScreen* screen = m_window->screen();
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        m_geometryChanging = true;
        // Frameless helpers leave a window alone while it fills the screen.
        m_window->setProperty("framelessMaximized", true);
        if (screen)
            m_window->setGeometry(screen->geometry());
        m_titleBar->hide();
        m_leftBar->hide();
        m_bottomBar->hide();
        m_geometryChanging = false;
    }
    hideUserMenu();
    if (tile->ui())
        tile->ui()->setFullscreenShown(true);
    m_fullscreenTile = tile;
    m_anchorTile = tile;
    m_pageMode = 1;
    m_viewMode->setCurrentIndex(0);
    updateNavigateBar();
    layoutPage();
}

void MainWindowUI::leaveFullscreen()
{
    if (!isFullscreen())
        return;
    VuCameraWidget* tile = m_fullscreenTile;
    m_fullscreenTile = nullptr;
    if (tile->ui())
        tile->ui()->setFullscreenShown(false);
    m_geometryChanging = true;
    m_window->restoreGeometry(m_savedGeometry);
    // Without a window frame some platforms put the window back shifted by
    // the frame they assume; the saved rectangle is what the user had.
    if (m_window->geometry() != m_savedRect)
        m_window->setGeometry(m_savedRect);
    m_window->setProperty("framelessMaximized", m_titleBar->isMaximized());
    m_titleBar->show();
    if (m_leftBar)
        m_leftBar->show();
    if (m_bottomBar)
        m_bottomBar->show();
    m_geometryChanging = false;
    if (m_savedPageMode != m_pageMode && m_savedPageMode > 0) {
        m_pageMode = m_savedPageMode;
        if (m_viewMode)
            m_viewMode->setCurrentIndex(m_pageMode - 1);
    }
    updateNavigateBar();
    layoutPage();
}
