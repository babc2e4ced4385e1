#pragma once

#include <QFrame>

class QLabel;
class ImagesLabel;

// A centred, transparent overlay that shows a short text on a dark
// translucent plate beside an image sequence (busy or info). Clicking it
// emits clicked().
class StatusInfoFrame : public QFrame
{
    Q_OBJECT
public:
    explicit StatusInfoFrame(QWidget* parent = nullptr);

    // Shows text beside prefix + 0..count-1 + suffix, one image per interval.
    void showInfo(const QString& text, const QString& prefix, const QString& suffix, int count,
                  int interval);
    void hideInfo();
    QString text() const;
    bool isAnimating() const;

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    ImagesLabel* m_image;
    QLabel* m_info;
};
