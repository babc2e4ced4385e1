#pragma once

#include "camera/zoomview.h"

#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QRectF>

class VideoLabel;

// The digital zoom of a tile's picture, in the tile and in full screen: the
// wheel zooms about the cursor (a notch is ZoomView::kStep, 1x to 8x), a left
// drag pans while zoomed, a double click or `0` returns to 1x, `+` and `-`
// zoom about the centre. At 1x the label's clicks go on to the tile as
// before. Each change is announced as the part to show (cropChanged), which
// the decoder cuts from the full-size picture; the label shows an overview
// inset while zoomed.
class VideoZoom : public QObject
{
    Q_OBJECT
public:
    explicit VideoZoom(VideoLabel* label, QObject* parent = nullptr);

    const ZoomView& view() const { return m_view; }
    // Back to 1x (the stream stopped); cropChanged when it was zoomed.
    void reset();
    // The whole picture that came with a zoomed one: the inset shows it.
    void showOverview(const QImage& whole);

signals:
    void cropChanged(const QRectF& crop);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // pos in the label's pixels, normalised to the picture shown.
    QPointF viewPoint(const QPoint& pos) const;
    bool zoomAbout(double factor, const QPointF& viewPoint);
    void changed();

    VideoLabel* const m_label;
    ZoomView m_view;
    QPixmap m_overview; // the last whole picture, for the inset (the decoder's once it sends one)
    bool m_dragging = false;
    QPoint m_lastPos;
};
