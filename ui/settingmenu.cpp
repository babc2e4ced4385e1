#include "ui/settingmenu.h"

#include <QCursor>
#include <QEvent>
#include <QPainter>
#include <QStyleOption>
#include <QFrame>
#include <QPushButton>
#include <QVBoxLayout>

SettingMenu::SettingMenu(QWidget* parent)
    : QWidget(parent)
{
    // A child of the main window drawn over its content, never a window of
    // its own: it cannot float above other applications.
    setObjectName(QStringLiteral("setting_menu_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedSize(132, 100);

    m_about = new QPushButton(this);
    m_about->setObjectName(QStringLiteral("about_menu_item_"));
    m_about->setCursor(Qt::PointingHandCursor);
    m_about->setFocusPolicy(Qt::NoFocus);
    auto* line = new QFrame(this);
    line->setObjectName(QStringLiteral("hort_line"));
    line->setFixedHeight(1);
    m_logout = new QPushButton(this);
    m_logout->setObjectName(QStringLiteral("logout_menu_item_"));
    m_logout->setCursor(Qt::PointingHandCursor);
    m_logout->setFocusPolicy(Qt::NoFocus);

    auto* lay = new QVBoxLayout(this);
    // The top margin leaves room for the bubble's pointer.
    lay->setContentsMargins(8, 16, 8, 8);
    lay->setSpacing(2);
    lay->addWidget(m_about);
    lay->addWidget(line);
    lay->addWidget(m_logout);

    connect(m_about, &QPushButton::clicked, this, &SettingMenu::aboutTriggered);
    connect(m_logout, &QPushButton::clicked, this, &SettingMenu::logoutTriggered);
    retranslate();
}

void SettingMenu::retranslate()
{
    m_about->setText(tr("About"));
    m_logout->setText(tr("Logout"));
}

void SettingMenu::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

bool SettingMenu::isMouseOver() const
{
    return isVisible() && rect().contains(mapFromGlobal(QCursor::pos()));
}

void SettingMenu::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    emit onHide();
}

void SettingMenu::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    emit mouseLeft();
}

void SettingMenu::paintEvent(QPaintEvent*)
{
    // The style sheet's bubble (its corners stay clear) is drawn here.
    QStyleOption opt;
    opt.initFrom(this);
    QPainter p(this);
    style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, this);
}
