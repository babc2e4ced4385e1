#pragma once

#include <QWidget>

class QPushButton;
class QTimer;

// Pan and tilt: four buttons (left 1, right 2, up 3, down 4). Holding a
// button repeats its direction every repeatMs (300 ms in the program);
// releasing sends it once more.
class MotorControlWidget : public QWidget
{
    Q_OBJECT
public:
    enum Direction { Left = 1, Right = 2, Up = 3, Down = 4 };

    explicit MotorControlWidget(QWidget* parent = nullptr, int repeatMs = 300);

    QPushButton* button(int direction) const;
    int heldDirection() const { return m_held; }

signals:
    void motorDirectionTiggered(int direction);

protected:
    // Hidden while held (the tile stopped playing): the repeat ends.
    void hideEvent(QHideEvent* e) override;

private:
    void onPressed(int direction);
    void onReleased(int direction);

    QPushButton* m_buttons[4];
    QTimer* m_repeat;
    int m_held = 0;
};
