#pragma once

#include <QLabel>
#include <QPixmap>
#include <QPointer>
#include <QRectF>
#include <QVector>

// The tile's picture area. Live pictures replace each other twenty or more
// times a second; QLabel::setPixmap would ask the tile's layout for a new
// pass and repaint the style sheet's background under every one of them.
// setFrame only stores the picture and repaints this widget, which covers
// itself: the picture centred, black around it. Without a picture it is a
// plain label again.
//
// While the picture is zoomed an inset in its bottom right corner shows the
// whole picture with the part shown framed on it.
class VideoLabel : public QLabel
{
    Q_OBJECT
public:
    explicit VideoLabel(QWidget* parent = nullptr);

    void setFrame(const QPixmap& picture);
    void clearFrame();
    QPixmap frame() const { return m_frame; }
    // Where the picture is drawn; the whole label without one.
    QRect pictureRect() const;

    // whole: a picture of all of the source; shown: the part on screen
    // (normalised). A null picture removes the inset.
    void setOverview(const QPixmap& whole, const QRectF& shown);
    bool hasOverview() const { return !m_overview.isNull(); }
    // Where the inset is drawn (a fifth of the picture's width), clear of
    // the bottom pixels the tile's bars cover.
    QRect insetRect() const;
    void setInsetBottom(int covered) { m_insetBottom = covered; }

    // A sibling that lies over the picture and paints every pixel of its
    // rectangle (the tile's bottom bar): a new picture leaves its area out
    // of the repaint, so the sibling is not painted again under every one.
    void addOpaqueCover(QWidget* sibling);
    // What a new picture of the current size repaints.
    QRegion pictureUpdateRegion() const;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QPixmap m_frame;
    QPixmap m_overview;
    QPixmap m_overviewScaled; // m_overview at the inset's size
    QRectF m_shown;
    int m_insetBottom = 0;
    QVector<QPointer<QWidget>> m_covers;
};
