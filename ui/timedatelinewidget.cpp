#include "ui/timedatelinewidget.h"

#include "ui/vudatebutton.h"

#include <QButtonGroup>
#include <QDateTime>
#include <QEvent>
#include <QMouseEvent>

TimeDateLineWidget::TimeDateLineWidget(QWidget* parent)
    : QWidget(parent), m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("time_date_line_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedHeight(24);
    m_group->setExclusive(true);
    connect(m_group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && !m_quiet)
            onToggled(id);
    });
    updateBtns();
    // Live video at start.
    checkQuietly(m_live);
}

VuDateButton* TimeDateLineWidget::makeButton(const QString& text, int id)
{
    auto* b = new VuDateButton(text, this);
    b->setObjectName(id == LiveId ? QStringLiteral("date_live_btn_") : QStringLiteral("date_btn_"));
    b->setFixedSize(ButtonWidth, height());
    m_group->addButton(b, id);
    connect(b, &VuDateButton::mousePressed, this, &TimeDateLineWidget::onBtnMousePressd);
    connect(b, &VuDateButton::mouseMoved, this, &TimeDateLineWidget::onBtnMouseMoved);
    b->show();
    return b;
}

void TimeDateLineWidget::checkQuietly(VuDateButton* b)
{
    if (!b || b->isChecked())
        return;
    m_quiet = true;
    b->setChecked(true);
    m_quiet = false;
    ensureVisbile();
}

QDate TimeDateLineWidget::checkedDate() const
{
    const int id = m_group->checkedId();
    return (id >= 0 && id < m_dates.size()) ? m_dates[id] : QDate();
}

bool TimeDateLineWidget::isLiveChecked() const
{
    return m_live && m_live->isChecked();
}

VuDateButton* TimeDateLineWidget::dateButton(int index) const
{
    return m_buttons.value(index, nullptr);
}

void TimeDateLineWidget::updateDates(QVector<QDate> vec_date)
{
    if (vec_date == m_dates)
        return;
    m_dates = vec_date;
    updateBtns();
}

void TimeDateLineWidget::updateBtns()
{
    const QDate checked = checkedDate();
    const bool liveChecked = isLiveChecked() || !m_live;

    m_quiet = true;
    for (VuDateButton* b : qAsConst(m_buttons)) {
        m_group->removeButton(b);
        delete b;
    }
    m_buttons.clear();
    if (m_live) {
        m_group->removeButton(m_live);
        delete m_live;
        m_live = nullptr;
    }
    for (int i = 0; i < m_dates.size(); ++i)
        m_buttons.append(makeButton(m_dates[i].toString(QStringLiteral(" MM/dd ")), i));
    m_live = makeButton(tr("Live"), LiveId);
    m_quiet = false;

    // Keep the checked day when it is still listed.
    const int again = checked.isValid() ? m_dates.indexOf(checked) : -1;
    if (again >= 0)
        checkQuietly(m_buttons[again]);
    else if (liveChecked)
        checkQuietly(m_live);
    updateWidth();
    ensureVisbile();
}

void TimeDateLineWidget::updateWidth()
{
    const int n = m_buttons.size() + 1;
    m_buttonsWidth = n * ButtonWidth + (n - 1) * ButtonSpacing;
    setOffset(m_offset);
}

void TimeDateLineWidget::setOffset(int offset)
{
    // Never leave an empty gap on the right; 0 when everything fits.
    const int minOffset = qMin(0, width() - m_buttonsWidth);
    m_offset = qBound(minOffset, offset, 0);
    updateBtnsPos();
}

void TimeDateLineWidget::updateBtnsPos()
{
    int x = m_offset;
    for (VuDateButton* b : qAsConst(m_buttons)) {
        b->move(x, 0);
        x += ButtonWidth + ButtonSpacing;
    }
    if (m_live)
        m_live->move(x, 0);
}

void TimeDateLineWidget::ensureVisbile()
{
    auto* b = qobject_cast<VuDateButton*>(m_group->checkedButton());
    if (!b)
        return;
    const int x = b->x();
    if (x < 0)
        setOffset(m_offset - x);
    else if (x + b->width() > width())
        setOffset(m_offset - (x + b->width() - width()));
}

void TimeDateLineWidget::goLeft()
{
    setOffset(m_offset + ButtonWidth + ButtonSpacing);
}

void TimeDateLineWidget::goRight()
{
    setOffset(m_offset - (ButtonWidth + ButtonSpacing));
}

void TimeDateLineWidget::onToggled(int id)
{
    if (id == LiveId) {
        emit dateChanged(QDate());
        return;
    }
    if (id >= 0 && id < m_dates.size())
        emit dateChanged(m_dates[id]);
}

void TimeDateLineWidget::onBtnMousePressd(QMouseEvent* e)
{
    m_pressX = e->globalPos().x();
    m_pressOffset = m_offset;
}

void TimeDateLineWidget::onBtnMouseMoved(QMouseEvent* e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    setOffset(m_pressOffset + e->globalPos().x() - m_pressX);
}

void TimeDateLineWidget::updateCurrentTimestamp(int timestamp, bool is_playback)
{
    if (!is_playback) {
        checkQuietly(m_live);
        return;
    }
    const QDate day = QDateTime::fromSecsSinceEpoch(timestamp).date();
    const int i = m_dates.indexOf(day);
    if (i >= 0)
        checkQuietly(m_buttons[i]);
}

void TimeDateLineWidget::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    setOffset(m_offset);
    ensureVisbile();
}

void TimeDateLineWidget::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange && m_live)
        m_live->setText(tr("Live"));
    QWidget::changeEvent(e);
}
