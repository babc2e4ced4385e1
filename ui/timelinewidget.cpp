#include "ui/timelinewidget.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

namespace {
const QColor kColors[6] = {
    QColor(152, 76, 19, 220),   // motion recording
    QColor(101, 50, 12, 220),   // plain recording, live tail
    QColor(12, 63, 101, 220),   // saved recording
    QColor(254, 77, 0, 240),    // centre line and marker
    QColor(189, 61, 75, 255),   // date labels
    QColor(128, 127, 126, 255), // ticks
};
} // namespace

TimeLineWidget::TimeLineWidget(QWidget* parent, int debounceMs)
    : QWidget(parent), m_selectTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("time_line_"));
    setAttribute(Qt::WA_StyledBackground, true);
    setMinimumHeight(34);
    setCursor(Qt::OpenHandCursor);
    m_selectTimer->setSingleShot(true);
    m_selectTimer->setInterval(debounceMs);
    connect(m_selectTimer, &QTimer::timeout, this, &TimeLineWidget::onDebounce);
}

QColor TimeLineWidget::color(int index)
{
    return (index >= 0 && index < 6) ? kColors[index] : QColor();
}

double TimeLineWidget::leftEdge() const
{
    return m_currentTime - double(width()) * m_secondsPerPixel / 2.0;
}

bool TimeLineWidget::zoomIn()
{
    if (m_secondsPerPixel <= MinSecondsPerPixel)
        return false;
    --m_secondsPerPixel;
    update();
    return true;
}

bool TimeLineWidget::zoomOut()
{
    if (m_secondsPerPixel >= MaxSecondsPerPixel)
        return false;
    ++m_secondsPerPixel;
    update();
    return true;
}

void TimeLineWidget::updateTimeAreas(QVector<TimeAreaHeader> vec_time)
{
    m_areas = vec_time;
    // No picture has placed the axis yet: show the end of the recordings
    // rather than 1970.
    if (m_currentTime == 0 && m_live && !m_areas.isEmpty())
        m_currentTime = m_areas.last().end();
    update();
}

void TimeLineWidget::updateCurrentDate(QDate date)
{
    m_selectTimer->stop();
    if (date.isNull()) {
        m_live = true;
        if (!m_areas.isEmpty())
            m_currentTime = m_areas.last().end();
    } else {
        m_live = false;
        m_currentTime = int(QDateTime(date, QTime(0, 0)).toSecsSinceEpoch());
    }
    update();
    emit locationChanged(m_currentTime);
    emit locationSelected(m_currentTime);
}

void TimeLineWidget::updateCurrentTimestamp(int timestamp)
{
    if (isDragging() || timestamp == m_currentTime)
        return;
    m_currentTime = timestamp;
    update();
}

void TimeLineWidget::moveTo(int t)
{
    m_currentTime = t;
    update();
    emit locationChanged(t);
    m_pendingValue = t;
    m_selectTimer->start();
}

void TimeLineWidget::onDebounce()
{
    emit locationSelected(m_pendingValue);
}

void TimeLineWidget::goLeft()
{
    if (m_areas.isEmpty())
        return;
    moveTo(m_currentTime - StepSeconds);
}

void TimeLineWidget::goRight()
{
    if (m_areas.isEmpty())
        return;
    moveTo(m_currentTime + StepSeconds);
}

void TimeLineWidget::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_dragStartX = e->pos().x();
        m_dragX = m_dragStartX;
        setCursor(Qt::ClosedHandCursor);
        e->accept();
        return;
    }
    QWidget::mousePressEvent(e);
}

void TimeLineWidget::mouseMoveEvent(QMouseEvent* e)
{
    if (isDragging()) {
        m_dragX = e->pos().x();
        update();
        e->accept();
        return;
    }
    QWidget::mouseMoveEvent(e);
}

void TimeLineWidget::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && isDragging()) {
        const int dx = m_dragStartX - e->pos().x();
        m_dragStartX = -1;
        m_dragX = -1;
        setCursor(Qt::OpenHandCursor);
        if (dx != 0)
            moveTo(m_currentTime + dx * m_secondsPerPixel);
        else
            update();
        e->accept();
        return;
    }
    QWidget::mouseReleaseEvent(e);
}

void TimeLineWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    const int spp = m_secondsPerPixel;

    // While dragging the axis follows the mouse; it settles on release.
    int centre = m_currentTime;
    if (isDragging())
        centre += (m_dragStartX - m_dragX) * spp;
    const double left = centre - double(w) * spp / 2.0;
    const double right = left + double(w) * spp;

    // Background band of the recordings.
    const int bandTop = 12;
    const int bandHeight = h - 24;
    p.fillRect(QRect(0, bandTop, w, bandHeight), QColor(255, 255, 255, 10));

    auto fillSpan = [&](double from, double to, const QColor& c) {
        const double x0 = qMax(0.0, (from - left) / spp);
        const double x1 = qMin(double(w), (to - left) / spp);
        if (x1 > x0)
            p.fillRect(QRectF(x0, bandTop, x1 - x0, bandHeight), c);
    };
    for (const TimeAreaHeader& a : qAsConst(m_areas)) {
        if (a.end() < left || a.start > right)
            continue;
        const QColor c = a.colorClass == 2 ? kColors[2] : a.colorClass == 1 ? kColors[0] : kColors[1];
        fillSpan(a.start, a.end(), c);
    }
    if (m_live && !m_areas.isEmpty() && m_areas.last().end() < centre)
        fillSpan(m_areas.last().end(), centre, kColors[1]);

    // Nothing placed yet (no recordings, no picture): an empty band.
    if (m_currentTime == 0) {
        paintCentre(p, w, h);
        return;
    }

    // Ticks every five minutes on wall-clock multiples of five minutes.
    const QDateTime leftTime = QDateTime::fromSecsSinceEpoch(qint64(left));
    const double fraction = left - qint64(left);
    const QTime lt = leftTime.time();
    double first = (5 - lt.minute() % 5) * 60 - lt.second() - fraction;
    QFont font = p.font();
    font.setPixelSize(10);
    p.setFont(font);
    const QFontMetrics fm(font);
    for (double s = first; left + s < right; s += StepSeconds) {
        const double x = s / spp;
        const QDateTime t = QDateTime::fromSecsSinceEpoch(qint64(left + s + 0.5));
        const int minute = t.time().minute();
        const bool major = minute == 0 || minute == 30;
        p.setPen(QPen(kColors[5], 1));
        const int len = major ? 9 : 5;
        p.drawLine(QPointF(x, bandTop + bandHeight - len), QPointF(x, bandTop + bandHeight));
        p.drawLine(QPointF(x, bandTop), QPointF(x, bandTop + (major ? 4 : 2)));
        if (major) {
            p.setPen(QColor(200, 204, 212));
            p.drawText(QPointF(x + 3, h - 2), t.toString(QStringLiteral("hh:mm")));
            const int hour = t.time().hour();
            if (minute == 0 && (hour == 0 || hour == 23)) {
                p.setPen(kColors[4]);
                p.drawText(QPointF(x + 3, fm.ascent()),
                           QString::asprintf("%02d/%02d", t.date().month(), t.date().day()));
            }
        }
    }

    paintCentre(p, w, h);
}

void TimeLineWidget::paintCentre(QPainter& p, int w, int h)
{
    // Centre line with its marker.
    const double cx = w / 2.0;
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kColors[3], 2));
    p.drawLine(QPointF(cx, 0), QPointF(cx, h - 5));
    QPainterPath tri;
    tri.moveTo(cx - 5, h);
    tri.lineTo(cx + 5, h);
    tri.lineTo(cx, h - 6);
    tri.closeSubpath();
    p.fillPath(tri, kColors[3]);
}
