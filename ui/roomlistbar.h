#pragma once

#include <QStringList>
#include <QVector>
#include <QWidget>

class AppInfo;
class QButtonGroup;
class QHBoxLayout;
class QPushButton;
class QScrollArea;

// The room selector above the camera grid (Height high): one exclusive
// button per named room (a long name elided to NameWidth, in full as the
// tool tip), then "Default Room", "Shared" and "All Rooms" as the rooms
// require; many rooms scroll sideways.
// The user's choice is kept per user in the settings ("user_" + user id:
// "room_type" and "room_name") and selected again when the bar is rebuilt.
class RoomListBar : public QWidget
{
    Q_OBJECT
public:
    enum Kind { Named, Default, Shared, All };
    static constexpr int Height = 40;
    static constexpr int NameWidth = 140;

    explicit RoomListBar(QWidget* parent = nullptr);

    // The settings that keep the choice (AppInfo::instance() unless set) and
    // the signed-in user whose group is used.
    void setSettings(AppInfo* settings) { m_settings = settings; }
    void setUserId(const QString& uid) { m_uid = uid; }

    // Rebuilds the bar and selects the stored choice again (emitting its
    // signal). names and icons run in parallel (icon names of
    // ":/res/rooms/<icon>_normal.png").
    void setRooms(const QStringList& names, const QStringList& icons, bool hasDefault, bool hasShared);
    // An empty name removes "Shared" (shared set) or "Default Room".
    void removeRoom(const QString& name, bool shared);
    bool hasRoom(const QString& name, bool shared) const;

    // Selects the button of the room as a click would (emitting its signal
    // even when it is already the current one: the grid is filtered anew).
    bool selectRoom(const QString& name, bool shared);
    // Selects "All Rooms" when the bar shows it.
    bool selectAll();
    // Whether the room is the selected one.
    bool isSelected(const QString& name, bool shared) const;

    int buttonCount() const { return m_buttons.size(); }
    // The buttons' texts in order (tests, diagnostics).
    QStringList buttonTexts() const;
    // Kind and name of the selected button; Kind -1 when none.
    int currentKind() const;
    QString currentName() const;
    QPushButton* button(int index) const;

    static QString iconPath(const QString& icon);

signals:
    void roomAllSelected();
    void roomDefaultSelected();
    void roomSharedSelected();
    void roomSelected(QString room_id);

protected:
    void changeEvent(QEvent* e) override;

private:
    struct Entry
    {
        QPushButton* button;
        Kind kind;
        QString name;
    };

    void addButton(Kind kind, const QString& name, const QString& icon);
    int indexOf(Kind kind, const QString& name) const;
    int indexOf(const QString& name, bool shared) const;
    void removeAt(int index);
    void selectStored();
    void activate(int index, bool store);
    void storeChoice(const Entry& e);
    QString group() const;
    AppInfo* settings() const;
    void retranslate();

    QScrollArea* m_scroll;
    QHBoxLayout* m_layout;
    QButtonGroup* m_group;
    QVector<Entry> m_buttons;
    QPushButton* m_current = nullptr;
    AppInfo* m_settings = nullptr;
    QString m_uid;
};
