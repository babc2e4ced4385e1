#pragma once

#include <QPushButton>

// A checkable day button of the timeline's day strip. Its mouse events are
// re-emitted so that the strip can be dragged by its buttons; a press that
// turns into a drag does not click the button.
class VuDateButton : public QPushButton
{
    Q_OBJECT
public:
    explicit VuDateButton(const QString& text, QWidget* parent = nullptr);

signals:
    void mousePressed(QMouseEvent* e);
    void mouseMoved(QMouseEvent* e);
    void mouseReleased(QMouseEvent* e);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QPoint m_pressPos;
    bool m_dragging = false;
};
