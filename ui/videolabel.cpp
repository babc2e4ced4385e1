#include "ui/videolabel.h"

#include <QPaintEvent>
#include <QPainter>
#include <QRegion>

VideoLabel::VideoLabel(QWidget* parent)
    : QLabel(parent)
{
}

void VideoLabel::setFrame(const QPixmap& picture)
{
    if (picture.isNull()) {
        clearFrame();
        return;
    }
    const bool first = m_frame.isNull();
    const bool sameRect = !first && m_frame.size() == picture.size();
    m_frame = picture;
    if (first)
        setAttribute(Qt::WA_OpaquePaintEvent, true);
    if (sameRect) {
        // Only the picture changed; the black around it is already there.
        update(pictureUpdateRegion());
    } else {
        update();
    }
}

void VideoLabel::clearFrame()
{
    setOverview(QPixmap(), QRectF());
    if (m_frame.isNull())
        return;
    m_frame = QPixmap();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    update();
}

void VideoLabel::addOpaqueCover(QWidget* sibling)
{
    if (sibling && sibling->parentWidget() == parentWidget())
        m_covers.append(sibling);
}

QRegion VideoLabel::pictureUpdateRegion() const
{
    QRegion region(pictureRect());
    for (const QPointer<QWidget>& cover : m_covers) {
        if (cover && cover->isVisible())
            region -= cover->geometry().translated(-pos());
    }
    // The zoom's inset is drawn over the picture and must follow it.
    if (!m_overview.isNull())
        region += insetRect().adjusted(-2, -2, 2, 2);
    return region;
}

QRect VideoLabel::pictureRect() const
{
    if (m_frame.isNull())
        return rect();
    QRect r(QPoint(0, 0), m_frame.size());
    r.moveCenter(rect().center());
    return r;
}

void VideoLabel::setOverview(const QPixmap& whole, const QRectF& shown)
{
    if (whole.isNull() && m_overview.isNull())
        return;
    const QRect before = insetRect();
    if (whole.cacheKey() != m_overview.cacheKey())
        m_overviewScaled = QPixmap();
    m_overview = whole;
    m_shown = shown;
    update(before.united(insetRect()).adjusted(-2, -2, 2, 2));
}

QRect VideoLabel::insetRect() const
{
    if (m_overview.isNull())
        return QRect();
    const QRect picture = pictureRect();
    const int w = picture.width() / 5;
    const int h = m_overview.width() > 0 ? w * m_overview.height() / m_overview.width() : 0;
    const int margin = qMax(4, picture.width() / 60);
    const int bottom = qMin(picture.bottom() + 1, rect().bottom() + 1 - m_insetBottom) - margin;
    return QRect(picture.right() + 1 - margin - w, bottom - h, w, h);
}

void VideoLabel::paintEvent(QPaintEvent* e)
{
    if (m_frame.isNull()) {
        QLabel::paintEvent(e);
        return;
    }
    QPainter painter(this);
    const QRect target = pictureRect();
    const QRegion around = QRegion(e->rect()).subtracted(target);
    for (const QRect& r : around)
        painter.fillRect(r, Qt::black);
    painter.drawPixmap(target.topLeft(), m_frame);

    const QRect inset = insetRect();
    if (inset.isEmpty())
        return;
    if (m_overviewScaled.size() != inset.size())
        m_overviewScaled = m_overview.scaled(inset.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.drawPixmap(inset.topLeft(), m_overviewScaled);
    painter.setPen(QPen(QColor(255, 255, 255, 160), 1));
    painter.drawRect(inset.adjusted(-1, -1, 0, 0));
    const QRectF shown(inset.x() + m_shown.x() * inset.width(), inset.y() + m_shown.y() * inset.height(),
                       m_shown.width() * inset.width(), m_shown.height() * inset.height());
    painter.setPen(QPen(QColor(255, 200, 0), 2));
    painter.drawRect(shown.adjusted(1, 1, -1, -1));
}
