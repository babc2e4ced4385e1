#pragma once

#include <QLabel>

// A label that reports clicks and the mouse entering or leaving it.
class MLabel : public QLabel
{
    Q_OBJECT
public:
    explicit MLabel(QWidget* parent = nullptr);
    explicit MLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void Clicked(MLabel* clicked);
    void onEnterEvent();
    void onLeaveEvent();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void enterEvent(QEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    bool m_pressed = false;
};
