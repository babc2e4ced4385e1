#include "ui/gridbottombar.h"

#include "ui/mnavigatebar.h"
#include "ui/viewmodewidget.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPushButton>

GridBottomBar::GridBottomBar(int pageMode, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("bottom_bar_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedHeight(Height);
    m_viewMode = new ViewModeWidget(this);
    if (pageMode > 0)
        m_viewMode->setCurrentIndex(pageMode - 1);
    connect(m_viewMode, &ViewModeWidget::currentIndexChanged, this, &GridBottomBar::gridModeChosen);
    m_playAll = new QPushButton(QCoreApplication::translate("MainWindowUI", "Play all"), this);
    m_playAll->setObjectName(QStringLiteral("play_all_btn_"));
    m_playAll->setCursor(Qt::PointingHandCursor);
    m_playAll->setFocusPolicy(Qt::NoFocus);
    m_playAll->setToolTip(QCoreApplication::translate("MainWindowUI", "Play every stopped camera of this page"));
    connect(m_playAll, &QPushButton::clicked, this, &GridBottomBar::playAllClicked);
    m_nav = new MNavigateBar(this);
    connect(m_nav, &MNavigateBar::onPageNumberChanged, this, &GridBottomBar::pageChosen);
    auto* bottomLayout = new QHBoxLayout(this);
    bottomLayout->setContentsMargins(12, 0, 12, 0);
    bottomLayout->setSpacing(12);
    bottomLayout->addWidget(m_viewMode);
    bottomLayout->addWidget(m_playAll);
    bottomLayout->addStretch(1);
    bottomLayout->addWidget(m_nav);
}

void GridBottomBar::showGridMode(int pageMode)
{
    m_viewMode->setCurrentIndex(pageMode - 1);
}

void GridBottomBar::chooseGridMode(int index)
{
    m_viewMode->choose(index);
}

void GridBottomBar::showPages(int count, int current)
{
    m_nav->setPageCount(count);
    m_nav->setCurrentPage(current);
}

void GridBottomBar::showCurrentPage(int current)
{
    m_nav->setCurrentPage(current);
}
