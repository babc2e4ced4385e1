#include "ui/titlebar.h"
#include "ui/respixmap.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyleOption>
#include <QWindow>

namespace {
QPushButton* makeButton(const char* name, QWidget* parent)
{
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(46, TitleBar::Height);
    return b;
}
} // namespace

TitleBar::TitleBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("title_bar_"));
    setFixedHeight(Height);
    setAttribute(Qt::WA_StyledBackground, true);

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("app_icon_"));
    m_icon->setFixedSize(20, 20);
    m_icon->setScaledContents(true);
    m_icon->setPixmap(ResPixmap::load(QStringLiteral(":/res/imgs/hovia.png")));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("app_title_"));

    m_vertLine = new QWidget(this);
    m_vertLine->setObjectName(QStringLiteral("vert_line"));
    m_vertLine->setAttribute(Qt::WA_StyledBackground, true);
    m_vertLine->setFixedSize(1, 14);

    m_minBtn = makeButton("min_btn_", this);
    m_restoreBtn = makeButton("restore_btn_", this);
    m_maxBtn = makeButton("max_btn_", this);
    m_closeBtn = makeButton("close_btn_", this);

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(10, 0, 0, 0);
    lay->setSpacing(0);
    lay->addWidget(m_icon);
    lay->addSpacing(8);
    lay->addWidget(m_title);
    lay->addStretch(1);
    lay->addWidget(m_vertLine);
    lay->addSpacing(6);
    lay->addWidget(m_minBtn);
    lay->addWidget(m_restoreBtn);
    lay->addWidget(m_maxBtn);
    lay->addWidget(m_closeBtn);

    connect(m_minBtn, &QPushButton::clicked, this, &TitleBar::onButtonMinClicked);
    connect(m_restoreBtn, &QPushButton::clicked, this, &TitleBar::onButtonRestoreClicked);
    connect(m_maxBtn, &QPushButton::clicked, this, &TitleBar::onButtonMaxClicked);
    connect(m_closeBtn, &QPushButton::clicked, this, &TitleBar::onButtonCloseClicked);

    retranslate();
    updateButtons();
}

void TitleBar::addTrailingWidget(QWidget* w)
{
    auto* lay = static_cast<QHBoxLayout*>(layout());
    const int at = lay->indexOf(m_vertLine);
    lay->insertWidget(at, w);
    lay->insertSpacing(at + 1, 10);
}

void TitleBar::retranslate()
{
    m_title->setText(tr("Smart Camera"));
    m_minBtn->setToolTip(tr("MinWindow"));
    m_restoreBtn->setToolTip(tr("RestoreWindow"));
    m_maxBtn->setToolTip(tr("MaxWindow"));
    m_closeBtn->setToolTip(tr("CloseWindow"));
}

void TitleBar::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QWidget::changeEvent(e);
}

void TitleBar::setTitle(const QString& title)
{
    m_title->setText(title);
}

QString TitleBar::title() const
{
    return m_title->text();
}

void TitleBar::setButtonState(int state)
{
    m_state = state;
    updateButtons();
}

void TitleBar::updateButtons()
{
    switch (m_state) {
    case 0:
        m_minBtn->show();
        m_restoreBtn->hide();
        m_maxBtn->hide();
        break;
    case 2:
        m_minBtn->hide();
        m_restoreBtn->hide();
        m_maxBtn->hide();
        break;
    default:
        m_minBtn->show();
        m_restoreBtn->setVisible(m_maximized);
        m_maxBtn->setVisible(!m_maximized);
        break;
    }
    m_closeBtn->show();
}

void TitleBar::onButtonMinClicked()
{
    emit minButtonClicked();
}

void TitleBar::onButtonMaxClicked()
{
    QWidget* w = window();
    if (!m_maximized)
        m_restoreGeometry = w->geometry();
    m_maximized = true;
    updateButtons();

    QScreen* screen = w->windowHandle() ? w->windowHandle()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::screenAt(w->geometry().center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    // FramelessHelper neither moves nor resizes a window maximised here.
    w->setProperty("framelessMaximized", true);
    if (screen)
        w->setGeometry(screen->availableGeometry());
    emit maxButtonClicked();
}

void TitleBar::onButtonRestoreClicked()
{
    m_maximized = false;
    updateButtons();
    window()->setProperty("framelessMaximized", false);
    if (m_restoreGeometry.isValid())
        window()->setGeometry(m_restoreGeometry);
    emit restoreButtonClicked();
}

void TitleBar::onButtonCloseClicked()
{
    emit closeButtonClicked();
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_state == 1) {
        if (m_maxBtn->isVisibleTo(this))
            onButtonMaxClicked();
        else
            onButtonRestoreClicked();
        e->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(e);
}

void TitleBar::paintEvent(QPaintEvent*)
{
    QStyleOption opt;
    opt.initFrom(this);
    QPainter p(this);
    style()->drawPrimitive(QStyle::PE_Widget, &opt, &p, this);
}
