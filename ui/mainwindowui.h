#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <functional>

class ImagesLabel;
class MCefWebView;
class MLabel;
class MNavigateBar;
class QFrame;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QTimer;
class QVBoxLayout;
class QWidget;
class RoomListBar;
#include "ui/settingmenu.h"
#include "ui/vucamerawidget.h"
class TitleBar;
class ViewModeWidget;
class VuCameraClient;

// Builds and swaps the pages of the main window and owns the camera tiles:
// the loading, sign-in, network error, no-camera and camera grid pages, the
// grid of 1, 4 or 9 tiles per page with paging and room filtering, and the
// full-screen view of one tile.
class MainWindowUI : public QObject
{
    Q_OBJECT
public:
    static constexpr int BottomBarHeight = 48;
    static constexpr int LeftBarWidth = 120;
    static constexpr int TitleBarHeight = 30;
    static constexpr int TileBarHeight = 30; // the tile's own bottom bar
    static constexpr int TileSpacing = 6;

    enum State {
        StartupCheck = 1,
        WebLogin = 2,
        SigningIn = 3,
        LoadingCameras = 4,
        NetError = 5,
        NoCamera = 6,
        HasCamera = 7,
        SigningOut = 8,
        Quitting = 9
    };

    // The user menu hides this long after the mouse left it and the icon.
    static constexpr int MenuHideMs = 300;

    // Opens an address in the desktop browser.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // window: the main window, which becomes this object's parent. urlOpener:
    // what opens web addresses (the desktop browser when empty; tests hand
    // in their own).
    explicit MainWindowUI(QWidget* window, int menuHideMs = MenuHideMs, UrlOpener urlOpener = UrlOpener());
    ~MainWindowUI() override;

    void setState(int state);
    int state() const { return m_state; }
    static const char* stateName(int state);

    // Quitting was confirmed: list events are ignored from now on.
    void setClosing(bool closing) { m_closing = closing; }
    bool isClosing() const { return m_closing; }

    // The signed-in user, whose room choice the room bar keeps.
    void setUserId(const QString& uid) { m_userId = uid; }
    // The user card in the title bar; an empty name and icon clear it.
    void setUserCard(const QString& nickName, const QByteArray& icon);
    QString userName() const { return m_userName; }

    // Tiles are made by this factory (tests hand in tiles that stand in for
    // the camera); the default makes a VuCameraWidget.
    using TileFactory = std::function<VuCameraWidget*(VuCameraClient*, QWidget*)>;
    void setTileFactory(TileFactory factory) { m_tileFactory = std::move(factory); }

    // Camera list events (connected by the main window to the list manager).
    void onDeviceListLoaded(const QList<VuCameraClient*>& devLst);
    void onCameraAdded(VuCameraClient* cam);
    void onCameraRemoved(VuCameraClient* cam);

    // Grid.
    int pageMode() const { return m_pageMode; }
    // Chooses the grid mode as the chooser does (index 0, 1, 2 for 1, 4, 9).
    void chooseGridMode(int index);
    int currentPage() const;  // 0-based
    int pageCount() const;
    void goToPage(int page);  // 0-based; as the navigation bar's page change
    void selectAllRooms();
    // Starts every stopped camera of the current page (the "Play all" button).
    void playAllShown();
    bool isFullscreen() const { return !m_fullscreenTile.isNull(); }
    VuCameraWidget* fullscreenTile() const { return m_fullscreenTile; }
    // Full screen for a tile (its button, or F11) and back (its button,
    // Escape, F11).
    void enterFullscreen(VuCameraWidget* tile);
    void leaveFullscreen();

    // The cells of a page of pageMode x pageMode slots in an area of the
    // given size, slot by slot, relative to the area.
    static QList<QRect> cellGeometry(const QSize& area, int pageMode);
    // The window geometry at start on a screen of the given size.
    static QRect startupGeometry(const QSize& screen);

    // Parts, for the main window and tests.
    QList<VuCameraWidget*> allTiles() const { return m_allTiles; }
    QList<VuCameraWidget*> roomTiles() const { return m_roomTiles; }
    QList<VuCameraWidget*> shownTiles() const { return m_shownTiles; }
    QList<QWidget*> placeholders() const { return m_placeholders; }
    VuCameraWidget* anchorTile() const { return m_anchorTile; }
    VuCameraWidget* tileOf(VuCameraClient* cam) const;
    MCefWebView* loginView() const { return m_loginView; }
    QWidget* pageWidget() const { return m_page; }
    TitleBar* titleBar() const { return m_titleBar; }
    RoomListBar* roomListBar() const { return m_roomBar; }
    MNavigateBar* navigateBar() const { return m_navBar; }
    ViewModeWidget* viewModeWidget() const { return m_viewMode; }
    QWidget* gridArea() const { return m_rightFrame; }
    QWidget* leftBar() const { return m_leftBar; }
    QWidget* bottomBar() const { return m_bottomBar; }
    QPushButton* playAllButton() const { return m_playAll; }
    SettingMenu* settingMenu() const { return m_menu; }
    MLabel* userIcon() const { return m_userIcon; }

    // Places the tiles of the current page again (the window was resized).
    void relayoutTiles();
    // The window geometry is being switched (full screen): resizes do not
    // re-place the tiles meanwhile.
    bool isGeometryChanging() const { return m_geometryChanging; }

    // The sign-out and quit confirmations, and the user menu.
    void confirmLogout();
    void confirmQuit();
    void showUserMenu();
    void hideUserMenu();

    // Opens a web address (http or https only) with the opener.
    bool openUrl(const QUrl& url) const;

signals:
    void toCloseApp();
    void toLogout();
    void toRetryLogin();
    void showAbout();
    void toLoginByWeb();
    void initLoginPage_s();
    // The store button of the no-camera page.
    void toOpenStore();

private slots:
    void onInitLoginPage();

private:
    enum PageKind { NoPage, LoadingPage, LoginPage, NetErrorPage, NoCameraPage, GridPage };
    static PageKind pageKindOf(int state);
    void showPage(PageKind kind);
    void deletePage();
    QWidget* makeLoadingPage();
    QWidget* makeMessagePage(const char* pageName, const char* imageName, const QString& image,
                             const char* labelName, const QString& text, const char* buttonName,
                             const QString& buttonText, void (MainWindowUI::*clicked)());
    QWidget* makeNetErrorPage();
    QWidget* makeNoCameraPage();
    QWidget* makeGridPage();
    void showLoginView(bool show);
    void clearTiles();

    VuCameraWidget* addTile(VuCameraClient* cam);
    void rebuildRooms();
    bool tileInSelectedRoom(VuCameraWidget* tile) const;
    void applyRoomFilter();
    void updateNavigateBar();
    void layoutPage();
    void placeTiles();
    void onGridModeChosen(int index);
    void onPageViewChanged(int page);
    void onTileEnterFullscreen();
    void onTileLeaveFullscreen();
    // Logs and says true when a list event comes in a state that has no use for it.
    bool ignoredListEvent() const;
    void onUserIconEntered();
    void onUserIconLeft();
    void checkMenuHide();

    QWidget* m_window;
    QVBoxLayout* m_rootLayout = nullptr;
    TitleBar* m_titleBar = nullptr;
    QWidget* m_userCard = nullptr;
    MLabel* m_userIcon = nullptr;
    QLabel* m_userIconFrame = nullptr;
    QLabel* m_userNameLabel = nullptr;
    QString m_userName;
    QPointer<SettingMenu> m_menu;
    QTimer* m_menuTimer = nullptr;

    QWidget* m_content = nullptr;
    QHBoxLayout* m_contentLayout = nullptr;
    MCefWebView* m_loginView = nullptr;
    QWidget* m_loginSide = nullptr;
    QWidget* m_page = nullptr;
    PageKind m_pageKind = NoPage;

    // Grid page parts (alive while the grid page is).
    QWidget* m_leftBar = nullptr;
    QWidget* m_bottomBar = nullptr;
    QWidget* m_rightFrame = nullptr;
    RoomListBar* m_roomBar = nullptr;
    MNavigateBar* m_navBar = nullptr;
    ViewModeWidget* m_viewMode = nullptr;
    QLabel* m_cameraCount = nullptr;
    QWidget* m_cameraList = nullptr; // the left bar's list of cameras (its items)
    QPushButton* m_playAll = nullptr;

    QList<VuCameraWidget*> m_allTiles;
    QList<VuCameraWidget*> m_roomTiles;
    QList<VuCameraWidget*> m_shownTiles;
    QList<QWidget*> m_placeholders;
    QPointer<VuCameraWidget> m_anchorTile;
    QPointer<VuCameraWidget> m_fullscreenTile;
    int m_pageMode = 0;
    int m_savedPageMode = 0;
    QByteArray m_savedGeometry;
    QRect m_savedRect;
    bool m_geometryChanging = false;

    int m_state = 0;
    bool m_closing = false;
    bool m_askingQuit = false;
    QString m_userId;
    TileFactory m_tileFactory;
    UrlOpener m_urlOpener;
};
