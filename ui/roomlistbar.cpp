#include "ui/roomlistbar.h"

#include "core/appinfo.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QIcon>
#include <QPushButton>
#include <QScrollArea>

namespace {
const QString kRoomType = QStringLiteral("room_type");
const QString kRoomName = QStringLiteral("room_name");

QString typeName(RoomListBar::Kind k)
{
    switch (k) {
    case RoomListBar::All:
        return QStringLiteral("all");
    case RoomListBar::Default:
        return QStringLiteral("default");
    case RoomListBar::Shared:
        return QStringLiteral("shared");
    case RoomListBar::Named:
        break;
    }
    return QStringLiteral("named");
}
} // namespace

RoomListBar::RoomListBar(QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("room_list_bar_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedHeight(Height);
    m_group->setExclusive(true);
    // Many rooms scroll sideways instead of widening the window.
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("room_list_scroll_"));
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(m_scroll);
    content->setObjectName(QStringLiteral("room_list_content_"));
    m_layout = new QHBoxLayout(content);
    m_layout->setContentsMargins(12, 0, 12, 0);
    m_layout->setSpacing(6);
    m_layout->addStretch(1);
    m_scroll->setWidget(content);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_scroll);
}

AppInfo* RoomListBar::settings() const
{
    return m_settings ? m_settings : AppInfo::instance();
}

QString RoomListBar::group() const
{
    return QStringLiteral("user_") + m_uid;
}

QString RoomListBar::iconPath(const QString& icon)
{
    const QString path = QStringLiteral(":/res/rooms/%1_normal.png").arg(icon);
    if (!icon.isEmpty() && QFile::exists(path))
        return path;
    return QStringLiteral(":/res/rooms/default_1_normal.png");
}

void RoomListBar::addButton(Kind kind, const QString& name, const QString& icon)
{
    auto* b = new QPushButton(m_scroll->widget());
    b->setObjectName(QStringLiteral("room_btn_"));
    b->setCheckable(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    const QString normal = iconPath(icon);
    QIcon ic(normal);
    QString checked = normal;
    checked.replace(QLatin1String("_normal.png"), QLatin1String("_checked.png"));
    if (QFile::exists(checked))
        ic.addFile(checked, QSize(), QIcon::Normal, QIcon::On);
    b->setIcon(ic);
    b->setIconSize(QSize(18, 18));
    b->setProperty("room_kind", typeName(kind));
    m_group->addButton(b);
    // Before the trailing stretch.
    m_layout->insertWidget(m_layout->count() - 1, b);
    m_buttons.append({b, kind, name});
    connect(b, &QPushButton::clicked, this, [this, b] {
        for (int i = 0; i < m_buttons.size(); ++i) {
            if (m_buttons[i].button == b) {
                if (b != m_current)
                    activate(i, true);
                return;
            }
        }
    });
}

void RoomListBar::retranslate()
{
    for (const Entry& e : qAsConst(m_buttons)) {
        switch (e.kind) {
        case Default:
            e.button->setText(tr("Default Room"));
            break;
        case Shared:
            e.button->setText(tr("Shared"));
            break;
        case All:
            e.button->setText(tr("All Rooms"));
            break;
        case Named: {
            const QString shown = e.button->fontMetrics().elidedText(e.name, Qt::ElideRight, NameWidth);
            e.button->setText(shown);
            e.button->setToolTip(shown == e.name ? QString() : e.name);
            break;
        }
        }
    }
}

void RoomListBar::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

void RoomListBar::setRooms(const QStringList& names, const QStringList& icons, bool hasDefault,
                           bool hasShared)
{
    while (!m_buttons.isEmpty())
        removeAt(m_buttons.size() - 1);
    m_current = nullptr;

    for (int i = 0; i < names.size(); ++i) {
        if (names[i].isEmpty() || indexOf(Named, names[i]) >= 0) {
            qWarning("room list: skipping an empty or repeated room name");
            continue;
        }
        addButton(Named, names[i], icons.value(i));
    }
    if (hasDefault)
        addButton(Default, QString(), QStringLiteral("default_1"));
    if (hasShared)
        addButton(Shared, QString(), QStringLiteral("share_1"));
    if (m_buttons.size() >= 2)
        addButton(All, QString(), QStringLiteral("all_1"));
    retranslate();
    selectStored();
}

int RoomListBar::indexOf(Kind kind, const QString& name) const
{
    for (int i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i].kind == kind && (kind != Named || m_buttons[i].name == name))
            return i;
    }
    return -1;
}

int RoomListBar::indexOf(const QString& name, bool shared) const
{
    if (name.isEmpty())
        return indexOf(shared ? Shared : Default, QString());
    return indexOf(Named, name);
}

bool RoomListBar::hasRoom(const QString& name, bool shared) const
{
    return indexOf(name, shared) >= 0;
}

void RoomListBar::removeAt(int index)
{
    QPushButton* b = m_buttons[index].button;
    if (b == m_current)
        m_current = nullptr;
    m_group->removeButton(b);
    m_layout->removeWidget(b);
    m_buttons.remove(index);
    delete b;
}

void RoomListBar::removeRoom(const QString& name, bool shared)
{
    const int i = indexOf(name, shared);
    if (i < 0)
        return;
    removeAt(i);
    const int all = indexOf(All, QString());
    if (all >= 0 && m_buttons.size() - 1 < 2)
        removeAt(all);
    if (!m_current)
        selectStored();
}

bool RoomListBar::selectRoom(const QString& name, bool shared)
{
    const int i = indexOf(name, shared);
    if (i < 0)
        return false;
    activate(i, true);
    return true;
}

bool RoomListBar::selectAll()
{
    const int i = indexOf(All, QString());
    if (i < 0)
        return false;
    activate(i, true);
    return true;
}

bool RoomListBar::isSelected(const QString& name, bool shared) const
{
    const int i = indexOf(name, shared);
    return i >= 0 && m_buttons[i].button == m_current;
}

QStringList RoomListBar::buttonTexts() const
{
    QStringList out;
    for (const Entry& e : m_buttons)
        out << e.button->text();
    return out;
}

int RoomListBar::currentKind() const
{
    for (const Entry& e : m_buttons) {
        if (e.button == m_current)
            return e.kind;
    }
    return -1;
}

QString RoomListBar::currentName() const
{
    for (const Entry& e : m_buttons) {
        if (e.button == m_current)
            return e.name;
    }
    return QString();
}

QPushButton* RoomListBar::button(int index) const
{
    return (index >= 0 && index < m_buttons.size()) ? m_buttons[index].button : nullptr;
}

void RoomListBar::selectStored()
{
    if (m_buttons.isEmpty())
        return;
    AppInfo* s = settings();
    const QString type = s->getString(group(), kRoomType, QStringLiteral("all"));
    int index = -1;
    if (type == QLatin1String("named")) {
        index = indexOf(Named, s->getString(group(), kRoomName, QString()));
    } else if (type == QLatin1String("default")) {
        index = indexOf(Default, QString());
    } else if (type == QLatin1String("shared")) {
        index = indexOf(Shared, QString());
    } else {
        index = indexOf(All, QString());
    }
    // A stored default or shared room that is gone: "All Rooms" when shown.
    if (index < 0 && type != QLatin1String("named"))
        index = indexOf(All, QString());
    // Nothing stored matches: the first named room, else the default room,
    // else the shared room.
    if (index < 0 && !m_buttons.isEmpty() && m_buttons.first().kind == Named)
        index = 0;
    if (index < 0)
        index = indexOf(Default, QString());
    if (index < 0)
        index = indexOf(Shared, QString());
    if (index < 0)
        index = indexOf(All, QString());
    if (index >= 0)
        activate(index, false);
}

void RoomListBar::storeChoice(const Entry& e)
{
    if (m_uid.isEmpty())
        return;
    AppInfo* s = settings();
    const QString type = typeName(e.kind);
    if (s->getString(group(), kRoomType, QString()) != type)
        s->setString(group(), kRoomType, type);
    if (e.kind == Named && s->getString(group(), kRoomName, QString()) != e.name)
        s->setString(group(), kRoomName, e.name);
}

void RoomListBar::activate(int index, bool store)
{
    const Entry e = m_buttons[index];
    m_current = e.button;
    e.button->setChecked(true);
    if (store)
        storeChoice(e);
    switch (e.kind) {
    case All:
        emit roomAllSelected();
        break;
    case Default:
        emit roomDefaultSelected();
        break;
    case Shared:
        emit roomSharedSelected();
        break;
    case Named:
        emit roomSelected(e.name);
        break;
    }
}
