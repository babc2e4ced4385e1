#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>

#include "ui/settingmenu.h"
#include "ui/vucamerawidget.h"

class FramelessHelper;
class GridPage;
class MCefWebView;
class MLabel;
class MNavigateBar;
class QPushButton;
class QUrl;
class QWidget;
class RoomListBar;
class StatePages;
class TitleBar;
class UserCardWidget;
class ViewModeWidget;
class VuCameraClient;

// Composes the content of the main window and switches it with the state:
// the title bar with the user card (UserCardWidget) and its menu, the page of the
// state under it (StatePages: loading, sign-in, network error, no camera)
// or the camera grid (GridPage), full screen of one tile, and the sign-out
// and quit confirmations.
class MainWindowUI : public QObject
{
    Q_OBJECT
public:
    static constexpr int TitleBarHeight = 30;

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

    // The user menu hides this long after the mouse left the user icon
    // (unless the mouse is over the menu then).
    static constexpr int MenuHideMs = 200;

    // Opens an address in the desktop browser.
    using UrlOpener = std::function<bool(const QUrl&)>;

    // window: the main window, which becomes this object's parent; it is
    // moved and resized by a FramelessHelper (a drag resizes with a rubber
    // band, so the tiles and their decoders get one new size, on release),
    // and its resizes re-place the tiles. urlOpener: what opens web addresses
    // (the desktop browser when empty; tests hand in their own).
    explicit MainWindowUI(QWidget* window, int menuHideMs = MenuHideMs, UrlOpener urlOpener = UrlOpener());
    ~MainWindowUI() override;

    void setState(int state);
    int state() const { return m_state; }
    static const char* stateName(int state);

    // Quitting was confirmed: list events are ignored from now on.
    void setClosing(bool closing) { m_closing = closing; }
    bool isClosing() const { return m_closing; }

    // The signed-in user, whose room choice the room bar keeps.
    void setUserId(const QString& uid);
    // The user card in the title bar; an empty name and icon clear it.
    void setUserCard(const QString& nickName, const QByteArray& icon);
    QString userName() const;

    // Tiles are made by this factory (tests hand in tiles that stand in for
    // the camera); the default makes a VuCameraWidget.
    using TileFactory = std::function<VuCameraWidget*(VuCameraClient*, QWidget*)>;
    void setTileFactory(TileFactory factory) { m_tileFactory = std::move(factory); }

    // Camera list events (connected by the main window to the list manager).
    void onDeviceListLoaded(const QList<VuCameraClient*>& devLst);
    void onCameraAdded(VuCameraClient* cam);
    void onCameraRemoved(VuCameraClient* cam);

    // Grid.
    int pageMode() const;
    // Chooses the grid mode as the chooser does (index 0, 1, 2 for 1, 4, 9).
    void chooseGridMode(int index);
    int currentPage() const;  // 0-based
    int pageCount() const;
    void goToPage(int page);  // 0-based; in full screen the next camera
    void selectAllRooms();
    bool isFullscreen() const;
    VuCameraWidget* fullscreenTile() const;
    // Full screen for a tile (its button, or F11) and back (its button,
    // Escape, F11).
    void enterFullscreen(VuCameraWidget* tile);
    void leaveFullscreen();
    // Places the tiles of the current page again (the window was resized),
    // unless the window geometry is being switched for full screen.
    void relayoutTiles();

    // The cells of a page of pageMode x pageMode slots in an area of the
    // given size, slot by slot, relative to the area.
    static QList<QRect> cellGeometry(const QSize& area, int pageMode);

    // Parts, for the main window and tests (empty or null off their page).
    QList<VuCameraWidget*> allTiles() const;
    QList<VuCameraWidget*> roomTiles() const;
    QList<VuCameraWidget*> shownTiles() const;
    QList<QWidget*> placeholders() const;
    VuCameraWidget* tileOf(VuCameraClient* cam) const;
    MCefWebView* loginView() const;
    QWidget* pageWidget() const;
    TitleBar* titleBar() const { return m_titleBar; }
    FramelessHelper* framelessHelper() const { return m_frameless; }
    RoomListBar* roomListBar() const;
    MNavigateBar* navigateBar() const;
    ViewModeWidget* viewModeWidget() const;
    QWidget* leftBar() const;
    QWidget* bottomBar() const;
    QPushButton* playAllButton() const;
    SettingMenu* settingMenu() const;
    MLabel* userIcon() const;

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

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private slots:
    void onInitLoginPage();

private:
    enum PageKind { NoPage, LoadingPage, LoginPage, NetErrorPage, NoCameraPage, CameraPage };
    static PageKind pageKindOf(int state);
    void showPage(PageKind kind);
    void deletePage();
    void showLoginPage();
    void makeGridPage();
    // The window's side of full screen: its geometry and the bars.
    void setWindowFullscreen(bool fullscreen);
    // Logs and says true when a list event comes in a state that has no use for it.
    bool ignoredListEvent() const;

    QWidget* m_window;
    TitleBar* m_titleBar = nullptr;
    FramelessHelper* m_frameless = nullptr;
    UserCardWidget* m_userCard = nullptr;
    StatePages* m_pages = nullptr;
    PageKind m_pageKind = NoPage;
    // The grid page while it is shown.
    QPointer<GridPage> m_grid;

    int m_pageMode = 0; // the grid mode while no grid page is shown
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
