#include "camera/zoomview.h"

#include <QtGlobal>
#include <cmath>

namespace {
// Zooming out by the steps it went in lands within rounding of 1x: that is 1x.
constexpr double kSnap = 1e-6;
} // namespace

QRectF ZoomView::rect() const
{
    const double side = 1.0 / m_zoom;
    return QRectF(m_origin, QSizeF(side, side));
}

void ZoomView::clampOrigin()
{
    const double limit = 1.0 - 1.0 / m_zoom;
    m_origin.setX(qBound(0.0, m_origin.x(), limit));
    m_origin.setY(qBound(0.0, m_origin.y(), limit));
}

bool ZoomView::zoomAbout(double factor, const QPointF& viewPoint)
{
    if (!(factor > 0.0))
        return false;
    double zoom = qBound(1.0, m_zoom * factor, kMaxZoom);
    if (std::abs(zoom - 1.0) < kSnap)
        zoom = 1.0;
    if (zoom == m_zoom)
        return false;
    const QPointF p(qBound(0.0, viewPoint.x(), 1.0), qBound(0.0, viewPoint.y(), 1.0));
    const QPointF source = m_origin + p / m_zoom;
    m_zoom = zoom;
    m_origin = source - p / m_zoom;
    clampOrigin();
    return true;
}

bool ZoomView::pan(const QPointF& delta)
{
    const QPointF before = m_origin;
    m_origin -= delta / m_zoom;
    clampOrigin();
    return m_origin != before;
}

bool ZoomView::reset()
{
    if (!isZoomed())
        return false;
    m_zoom = 1.0;
    m_origin = QPointF();
    return true;
}
