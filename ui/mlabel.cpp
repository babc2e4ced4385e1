#include "ui/mlabel.h"

#include <QMouseEvent>

MLabel::MLabel(QWidget* parent)
    : QLabel(parent)
{
}

MLabel::MLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent)
{
}

void MLabel::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        m_pressed = true;
        e->accept();
        return;
    }
    QLabel::mousePressEvent(e);
}

void MLabel::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        e->accept();
        // A click is a press and a release inside the label.
        if (rect().contains(e->pos()))
            emit Clicked(this);
        return;
    }
    QLabel::mouseReleaseEvent(e);
}

void MLabel::enterEvent(QEvent* e)
{
    QLabel::enterEvent(e);
    emit onEnterEvent();
}

void MLabel::leaveEvent(QEvent* e)
{
    QLabel::leaveEvent(e);
    emit onLeaveEvent();
}
