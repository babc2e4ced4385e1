#include "ui/cameralistbar.h"

#include "client/vucameraclient.h"
#include "ui/vucamerawidget.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
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

void CameraListBar::setCameras(const QList<VuCameraWidget*>& roomTiles, const QList<VuCameraWidget*>& shown)
{
    auto* lay = static_cast<QVBoxLayout*>(m_list->layout());
    const QList<QPushButton*> old = m_list->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    qDeleteAll(old);
    int online = 0;
    for (int i = 0; i < roomTiles.size(); ++i) {
        VuCameraWidget* t = roomTiles.at(i);
        VuCameraClient* c = t->client();
        if (!c)
            continue;
        online += c->isOnline() ? 1 : 0;
        auto* item = new QPushButton(m_list);
        item->setObjectName(QStringLiteral("camera_list_item_"));
        item->setCheckable(true);
        item->setChecked(shown.contains(t));
        item->setCursor(Qt::PointingHandCursor);
        item->setFocusPolicy(Qt::NoFocus);
        item->setProperty("online", c->isOnline());
        const QString name = c->name();
        item->setText(item->fontMetrics().elidedText(name, Qt::ElideRight, Width - 34));
        item->setToolTip(name);
        connect(item, &QPushButton::clicked, this, [this, i]() { emit cameraClicked(i); });
        lay->insertWidget(lay->count() - 1, item);
    }
    const QString count = QCoreApplication::translate("MainWindowUI", "%1 cameras, %2 online");
    m_count->setText(count.arg(roomTiles.size()).arg(online));
}
