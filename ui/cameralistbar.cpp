#include "ui/cameralistbar.h"

#include "client/vucameraclient.h"
#include "ui/vucamerawidget.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QVariant>
#include <QVBoxLayout>

CameraListBar::CameraListBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("left_bar_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedWidth(Width);
    auto* leftLayout = new QVBoxLayout(this);
    leftLayout->setContentsMargins(8, 12, 8, 12);
    leftLayout->setSpacing(6);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("camera_count_"));
    m_count->setWordWrap(true);
    leftLayout->addWidget(m_count);
    auto* list = new QScrollArea(this);
    list->setObjectName(QStringLiteral("camera_list_"));
    list->setFrameShape(QFrame::NoFrame);
    list->setWidgetResizable(true);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list = new QWidget(list);
    m_list->setObjectName(QStringLiteral("camera_list_content_"));
    auto* listLayout = new QVBoxLayout(m_list);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(4);
    listLayout->addStretch(1);
    list->setWidget(m_list);
    leftLayout->addWidget(list, 1);
}

QPushButton* CameraListBar::makeItem()
{
    auto* item = new QPushButton(m_list);
    item->setObjectName(QStringLiteral("camera_list_item_"));
    item->setCheckable(true);
    item->setCursor(Qt::PointingHandCursor);
    item->setFocusPolicy(Qt::NoFocus);
    connect(item, &QPushButton::clicked, this, [this, item]() {
        // The check follows the page, not the click.
        for (const Item& it : qAsConst(m_items)) {
            if (it.button == item) {
                item->setChecked(!item->isChecked());
                emit cameraClicked(it.tileIndex);
                return;
            }
        }
    });
    auto* lay = static_cast<QVBoxLayout*>(m_list->layout());
    lay->insertWidget(lay->count() - 1, item);
    return item;
}

void CameraListBar::setCameras(const QList<VuCameraWidget*>& roomTiles, const QList<VuCameraWidget*>& shown)
{
    for (const Item& it : qAsConst(m_items)) {
        if (it.client)
            disconnect(it.client, nullptr, this, nullptr);
    }
    QVector<Item> wanted;
    for (int i = 0; i < roomTiles.size(); ++i) {
        if (VuCameraClient* c = roomTiles.at(i)->client())
            wanted.append({nullptr, c, i});
    }
    while (m_items.size() > wanted.size()) {
        QPushButton* gone = m_items.takeLast().button;
        gone->hide();
        gone->deleteLater(); // it may be the one whose click led here
    }
    for (int k = 0; k < wanted.size(); ++k) {
        wanted[k].button = k < m_items.size() ? m_items[k].button : makeItem();
        wanted[k].button->setChecked(shown.contains(roomTiles.at(wanted[k].tileIndex)));
        // Queued from the camera's thread; the item is refreshed here.
        connect(wanted[k].client, &VuCameraClient::nameChanged, this, &CameraListBar::refresh);
        connect(wanted[k].client, &VuCameraClient::onlineStateChanged, this, &CameraListBar::refresh);
    }
    m_items = wanted;
    m_total = roomTiles.size();
    refresh();
}

void CameraListBar::refresh()
{
    int online = 0;
    for (const Item& it : qAsConst(m_items)) {
        if (!it.client)
            continue;
        const bool on = it.client->isOnline();
        online += on ? 1 : 0;
        const QString name = it.client->name();
        it.button->setText(it.button->fontMetrics().elidedText(name, Qt::ElideRight, Width - 34));
        it.button->setToolTip(name);
        const QVariant was = it.button->property("online");
        if (!was.isValid() || was.toBool() != on) {
            it.button->setProperty("online", on);
            // The style sheet's marker depends on the property.
            it.button->style()->unpolish(it.button);
            it.button->style()->polish(it.button);
        }
    }
    const QString count = QCoreApplication::translate("MainWindowUI", "%1 cameras, %2 online");
    m_count->setText(count.arg(m_total).arg(online));
}

QString CameraListBar::countText() const
{
    return m_count->text();
}
