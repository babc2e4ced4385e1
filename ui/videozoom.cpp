#include "ui/videozoom.h"

#include "ui/videolabel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <cmath>

VideoZoom::VideoZoom(VideoLabel* label, QObject* parent)
    : QObject(parent), m_label(label)
{
    // A click or the wheel gives the picture the keys (+, -, 0); the keys it
    // does not take go on to the window.
    m_label->setFocusPolicy(Qt::WheelFocus);
    m_label->installEventFilter(this);
}

void VideoZoom::reset()
{
    m_dragging = false;
    if (m_view.reset())
        changed();
}

void VideoZoom::showOverview(const QImage& whole)
{
    if (!m_view.isZoomed() || whole.isNull())
        return;
    m_overview = QPixmap::fromImage(whole);
    m_label->setOverview(m_overview, m_view.rect());
}

QPointF VideoZoom::viewPoint(const QPoint& pos) const
{
    const QRect r = m_label->pictureRect();
    if (r.width() <= 0 || r.height() <= 0)
        return QPointF(0.5, 0.5);
    return QPointF(double(pos.x() - r.x()) / r.width(), double(pos.y() - r.y()) / r.height());
}

bool VideoZoom::zoomAbout(double factor, const QPointF& point)
{
    if (m_label->frame().isNull())
        return false;
    if (!m_view.isZoomed())
        m_overview = m_label->frame(); // still the whole picture
    if (m_view.zoomAbout(factor, point))
        changed();
    return true;
}

void VideoZoom::changed()
{
    const bool zoomed = m_view.isZoomed();
    m_label->setOverview(zoomed ? m_overview : QPixmap(), m_view.rect());
    if (zoomed) {
        m_label->setCursor(m_dragging ? Qt::ClosedHandCursor : Qt::OpenHandCursor);
    } else {
        m_overview = QPixmap();
        m_label->unsetCursor();
    }
    emit cropChanged(m_view.rect());
}

bool VideoZoom::eventFilter(QObject* watched, QEvent* e)
{
    if (watched != m_label)
        return QObject::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::Wheel: {
        auto* we = static_cast<QWheelEvent*>(e);
        const double notches = we->angleDelta().y() / 120.0;
        if (notches == 0.0)
            return false;
        return zoomAbout(std::pow(ZoomView::kStep, notches), viewPoint(we->position().toPoint()));
    }
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() != Qt::LeftButton || !m_view.isZoomed())
            return false;
        m_dragging = true;
        m_lastPos = me->pos();
        m_label->setCursor(Qt::ClosedHandCursor);
        return true;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (!m_dragging)
            return false;
        const QRect r = m_label->pictureRect();
        const QPoint d = me->pos() - m_lastPos;
        m_lastPos = me->pos();
        if (r.width() > 0 && r.height() > 0 && m_view.pan(QPointF(double(d.x()) / r.width(), double(d.y()) / r.height())))
            changed();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (!m_dragging || me->button() != Qt::LeftButton)
            return false;
        m_dragging = false;
        if (m_view.isZoomed())
            m_label->setCursor(Qt::OpenHandCursor);
        return true;
    }
    case QEvent::MouseButtonDblClick: {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() != Qt::LeftButton || !m_view.isZoomed())
            return false;
        reset();
        return true;
    }
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(e);
        if (ke->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        switch (ke->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            return zoomAbout(ZoomView::kStep, QPointF(0.5, 0.5));
        case Qt::Key_Minus:
            return zoomAbout(1.0 / ZoomView::kStep, QPointF(0.5, 0.5));
        case Qt::Key_0:
            reset();
            return true;
        default:
            return false;
        }
    }
    default:
        return false;
    }
}
