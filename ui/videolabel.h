#pragma once

#include <QLabel>
#include <QPixmap>

// The tile's picture area. Live pictures replace each other twenty or more
// times a second; QLabel::setPixmap would ask the tile's layout for a new
// pass and repaint the style sheet's background under every one of them.
// setFrame only stores the picture and repaints this widget, which covers
// itself: the picture centred, black around it. Without a picture it is a
// plain label again.
class VideoLabel : public QLabel
{
    Q_OBJECT
public:
    explicit VideoLabel(QWidget* parent = nullptr);

    void setFrame(const QPixmap& picture);
    void clearFrame();
    QPixmap frame() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QPixmap m_frame;
};
