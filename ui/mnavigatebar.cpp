#include "ui/mnavigatebar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

QPushButton* MNavigateBar::makePageButton()
{
    auto* b = new QPushButton(this);
    b->setObjectName(QStringLiteral("nav_page_num_"));
    b->setCheckable(true);
    b->setAutoExclusive(false);
    b->setFocusPolicy(Qt::NoFocus);
    b->setCursor(Qt::PointingHandCursor);
    b->setMinimumWidth(28);
    b->setFixedHeight(28);
    b->hide();
    connect(b, &QPushButton::clicked, this, [this, b] {
        // Checking is the bar's business; a click only moves.
        b->setChecked(!b->isChecked());
        goTo(b->text().toInt());
    });
    return b;
}

MNavigateBar::MNavigateBar(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("nav_bar_"));
    setAttribute(Qt::WA_StyledBackground, true);

    m_prev = new QPushButton(this);
    m_prev->setObjectName(QStringLiteral("nav_page_up_"));
    m_prev->setFocusPolicy(Qt::NoFocus);
    m_prev->setCursor(Qt::PointingHandCursor);
    m_prev->setFixedSize(28, 28);
    m_next = new QPushButton(this);
    m_next->setObjectName(QStringLiteral("nav_page_down_"));
    m_next->setFocusPolicy(Qt::NoFocus);
    m_next->setCursor(Qt::PointingHandCursor);
    m_next->setFixedSize(28, 28);

    m_first = makePageButton();
    m_moreLeft = new QLabel(QStringLiteral("..."), this);
    m_moreLeft->setObjectName(QStringLiteral("nav_more_"));
    m_moreLeft->setAlignment(Qt::AlignCenter);
    m_moreLeft->hide();
    for (auto& b : m_middle)
        b = makePageButton();
    m_moreRight = new QLabel(QStringLiteral("..."), this);
    m_moreRight->setObjectName(QStringLiteral("nav_more_"));
    m_moreRight->setAlignment(Qt::AlignCenter);
    m_moreRight->hide();
    m_last = makePageButton();

    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(4);
    lay->addWidget(m_prev);
    lay->addWidget(m_first);
    lay->addWidget(m_moreLeft);
    for (auto* b : m_middle)
        lay->addWidget(b);
    lay->addWidget(m_moreRight);
    lay->addWidget(m_last);
    lay->addWidget(m_next);

    connect(m_prev, &QPushButton::clicked, this, [this] { goTo(m_current - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { goTo(m_current + 1); });
    setPageCount(0);
}

void MNavigateBar::setPageCount(int n)
{
    if (n < 0)
        n = 0;
    if (n == m_count)
        return;
    m_count = n;
    m_first->setText(QStringLiteral("1"));
    m_first->setVisible(n > 0);
    for (int k = 0; k < MiddleCount; ++k) {
        m_middle[k]->setVisible(k < n - 2);
        m_middle[k]->setText(QString::number(k + 2));
    }
    m_last->setVisible(n > 1);
    m_last->setText(QString::number(n));
    m_moreLeft->hide();
    m_moreRight->setVisible(n > MiddleCount + 2);
    setCurrentPage(1);
}

void MNavigateBar::setCurrentPage(int p)
{
    const int n = m_count;
    if (n > 0 && (p < 1 || p > n)) {
        qWarning("page %d out of 1..%d, clamped", p, n);
        p = qBound(1, p, n);
    }
    m_current = p;
    m_prev->setEnabled(p > 1);
    m_next->setEnabled(p < n);
    m_first->setChecked(n > 0 && p == 1);
    m_last->setChecked(n > 1 && p == n);

    if (n > MiddleCount + 2) {
        int from = p - 3;
        if (from < 2)
            from = 2;
        if (from + MiddleCount - 1 >= n)
            from = n - MiddleCount;
        for (int k = 0; k < MiddleCount; ++k)
            m_middle[k]->setText(QString::number(from + k));
        m_moreLeft->setVisible(from != 2);
        m_moreRight->setVisible(from + MiddleCount - 1 != n - 1);
    }
    for (auto* b : m_middle)
        b->setChecked(b->text().toInt() == p);
}

void MNavigateBar::goTo(int p)
{
    if (p < 1 || p > m_count)
        return;
    if (p == m_current) {
        setCurrentPage(p);
        return;
    }
    setCurrentPage(p);
    emit onPageNumberChanged(p);
}

QStringList MNavigateBar::visibleItems() const
{
    QStringList out;
    auto page = [&out](const QPushButton* b) {
        if (!b->isHidden())
            out << (b->isChecked() ? b->text() + QLatin1Char('*') : b->text());
    };
    page(m_first);
    if (!m_moreLeft->isHidden())
        out << m_moreLeft->text();
    for (auto* b : m_middle)
        page(b);
    if (!m_moreRight->isHidden())
        out << m_moreRight->text();
    page(m_last);
    return out;
}
