#include "ui/viewmodewidget.h"
#include "ui/respixmap.h"

#include "ui/viewmodelistwidget.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>

ViewModeWidget::ViewModeWidget(QWidget* parent)
    : QPushButton(parent)
{
    setObjectName(QStringLiteral("page_mode_cbx_"));
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(132, 30);

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("view_mode_icon"));
    m_icon->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("view_mode_txt"));
    m_text->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_arrow = new QLabel(this);
    m_arrow->setObjectName(QStringLiteral("view_mode_arrow"));
    m_arrow->setAttribute(Qt::WA_TransparentForMouseEvents, true);
    m_arrow->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/arrow_up.png")));

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(10, 0, 8, 0);
    lay->setSpacing(8);
    lay->addWidget(m_icon);
    lay->addWidget(m_text, 1);
    lay->addWidget(m_arrow);

    m_list = new ViewModeListWidget(this);
    m_list->hide();
    connect(m_list, &ViewModeListWidget::entryChosen, this, &ViewModeWidget::choose);
    connect(this, &QPushButton::clicked, this, &ViewModeWidget::showList);
    setCurrentIndex(0);
}

void ViewModeWidget::setCurrentIndex(int index)
{
    if (index < 0 || index > 2)
        return;
    m_current = index;
    m_list->setCurrentIndex(index);
    updateLook();
}

void ViewModeWidget::choose(int index)
{
    if (index < 0 || index > 2)
        return;
    setCurrentIndex(index);
    emit currentIndexChanged(index);
}

void ViewModeWidget::updateLook()
{
    static const int modes[3] = {1, 4, 9};
    m_icon->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/grid_mode_%1.png").arg(modes[m_current])));
    m_text->setText(ViewModeListWidget::caption(m_current));
}

void ViewModeWidget::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange && m_current >= 0)
        updateLook();
    QPushButton::changeEvent(e);
}

void ViewModeWidget::showList()
{
    m_list->adjustSize();
    // Above the chooser, centred on it (it sits in the bottom bar).
    const QPoint topCentre = mapToGlobal(QPoint(width() / 2, 0));
    m_list->move(topCentre.x() - m_list->width() / 2, topCentre.y() - m_list->height() - 2);
    m_list->show();
}
