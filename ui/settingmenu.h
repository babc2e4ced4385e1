#pragma once

#include <QWidget>

class QPushButton;

// The user menu shown under the user icon: a popup drawn inside the main
// window (a child widget over its content) with the tooltip bubble and the
// items "About" and "Logout". The owner places it, and deletes it on onHide().
class SettingMenu : public QWidget
{
    Q_OBJECT
public:
    explicit SettingMenu(QWidget* parent = nullptr);

    QPushButton* aboutItem() const { return m_about; }
    QPushButton* logoutItem() const { return m_logout; }

    // Whether the mouse is over the menu (the owner's hide timer asks).
    bool isMouseOver() const;

signals:
    void onHide();
    void aboutTriggered();
    void logoutTriggered();
    void mouseLeft();

protected:
    void hideEvent(QHideEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    void retranslate();

    QPushButton* m_about;
    QPushButton* m_logout;
};
