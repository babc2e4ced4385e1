#include "ui/motorcontrolwidget.h"

#include <QGridLayout>
#include <QPushButton>
#include <QTimer>

MotorControlWidget::MotorControlWidget(QWidget* parent, int repeatMs) : QWidget(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_repeat = new QTimer(this);
    m_repeat->setInterval(repeatMs);
    connect(m_repeat, &QTimer::timeout, this, [this]() {
        if (m_held)
            emit motorDirectionTiggered(m_held);
    });
    static const char* const names[4] = {"yuntai_left_btn", "yuntai_right_btn", "yuntai_up_btn",
                                         "yuntai_down_btn"};
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    for (int i = 0; i < 4; ++i) {
        const int direction = i + 1;
        m_buttons[i] = new QPushButton(this);
        m_buttons[i]->setObjectName(QLatin1String(names[i]));
        m_buttons[i]->setFocusPolicy(Qt::NoFocus);
        m_buttons[i]->setCursor(Qt::PointingHandCursor);
        connect(m_buttons[i], &QPushButton::pressed, this, [this, direction]() { onPressed(direction); });
        connect(m_buttons[i], &QPushButton::released, this, [this, direction]() { onReleased(direction); });
    }
    grid->addWidget(m_buttons[Up - 1], 0, 1);
    grid->addWidget(m_buttons[Left - 1], 1, 0);
    grid->addWidget(m_buttons[Right - 1], 1, 2);
    grid->addWidget(m_buttons[Down - 1], 2, 1);
}

QPushButton* MotorControlWidget::button(int direction) const
{
    return direction >= 1 && direction <= 4 ? m_buttons[direction - 1] : nullptr;
}

void MotorControlWidget::hideEvent(QHideEvent* e)
{
    if (m_held)
        onReleased(m_held);
    QWidget::hideEvent(e);
}

void MotorControlWidget::onPressed(int direction)
{
    m_held = direction;
    m_repeat->start();
}

void MotorControlWidget::onReleased(int direction)
{
    Q_UNUSED(direction)
    if (m_held)
        emit motorDirectionTiggered(m_held);
    m_repeat->stop();
    m_held = 0;
}
