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
        QRect r(QPoint(0, 0), m_frame.size());
        r.moveCenter(rect().center());
        update(r);
    } else {
        update();
    }
}

void VideoLabel::clearFrame()
{
    if (m_frame.isNull())
        return;
    m_frame = QPixmap();
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    update();
}

void VideoLabel::paintEvent(QPaintEvent* e)
{
    if (m_frame.isNull()) {
        QLabel::paintEvent(e);
        return;
    }
    QPainter painter(this);
    QRect target(QPoint(0, 0), m_frame.size());
    target.moveCenter(rect().center());
    const QRegion around = QRegion(e->rect()).subtracted(target);
    for (const QRect& r : around)
        painter.fillRect(r, Qt::black);
    painter.drawPixmap(target.topLeft(), m_frame);
}
