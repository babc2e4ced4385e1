#pragma once

#include <QPointF>
#include <QRectF>

// The digital zoom of one picture: which part of the source is shown, in
// normalised source coordinates (0..1 both ways). Zoom 1 shows it all; at
// zoom z the visible part is 1/z of the width and of the height, so the
// picture keeps its shape. The part never leaves the picture.
//
// Points and deltas are normalised to the view (0..1 across the shown
// picture), whatever its size in pixels.
class ZoomView
{
public:
    static constexpr double kMaxZoom = 8.0;
    static constexpr double kStep = 1.25; // one wheel notch, one +/- key

    double zoom() const { return m_zoom; }
    bool isZoomed() const { return m_zoom > 1.0; }
    QRectF rect() const;

    // Multiplies the zoom by factor (kept within 1..kMaxZoom) so that the
    // source point under viewPoint stays under it. False when nothing moved.
    bool zoomAbout(double factor, const QPointF& viewPoint);
    // Moves the picture by delta (a drag to the right shows more of the
    // left), stopping at its edges. False when nothing moved.
    bool pan(const QPointF& delta);
    // Back to the whole picture. False when it was shown already.
    bool reset();

private:
    void clampOrigin();

    double m_zoom = 1.0;
    QPointF m_origin; // top left of the visible part
};
