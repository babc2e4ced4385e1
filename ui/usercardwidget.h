#pragma once

#include <QPointer>
#include <QWidget>

class MLabel;
class QLabel;
class QTimer;
class SettingMenu;

// The user card at the right end of the title bar (`user_card_`): the round
// user icon (`user_icon_`) under its frame and the nick name (`user_name_`),
// hidden until a user is set. Hovering or clicking the icon opens the user
// menu inside the window at y = MenuTop under the icon; it hides menuHideMs
// after the mouse left the icon (or the menu) unless the mouse is over the
// menu then, and it is deleted once hidden.
class UserCardWidget : public QWidget
{
    Q_OBJECT
public:
    static constexpr int IconSize = 24;
    // The largest avatar decoded (a few megabytes of pixels); a picture that
    // claims more is refused before decoding and the default one shown.
    static constexpr int MaxIconSide = 1024;
    static constexpr int MenuTop = 48; // in the window's coordinates

    // window: the main window, parent of the menu.
    UserCardWidget(QWidget* window, int menuHideMs, QWidget* parent);
    ~UserCardWidget() override;

    // The icon from the cloud's bytes (the default picture when they are not
    // a sane picture) and the nick name; an empty name and icon clear the
    // card and close the menu.
    void setUser(const QString& nickName, const QByteArray& icon);
    QString userName() const { return m_userName; }
    MLabel* icon() const { return m_icon; }

    // The menu while it is open.
    SettingMenu* menu() const { return m_menu; }
    void showMenu();
    void hideMenu();

signals:
    // The menu's items; "About" closes the menu first.
    void aboutTriggered();
    void logoutTriggered();

private:
    void checkMenuHide();

    QWidget* m_window;
    MLabel* m_icon = nullptr;
    QLabel* m_iconFrame = nullptr;
    QLabel* m_nameLabel = nullptr;
    QString m_userName;
    QPointer<SettingMenu> m_menu;
    QTimer* m_menuTimer = nullptr;
};
