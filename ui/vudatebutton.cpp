#include "ui/vudatebutton.h"

#include <QApplication>
#include <QMouseEvent>

VuDateButton::VuDateButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::PointingHandCursor);
}

void VuDateButton::mousePressEvent(QMouseEvent* e)
{
    m_pressPos = e->globalPos();
    m_dragging = false;
    emit mousePressed(e);
    QPushButton::mousePressEvent(e);
}

void VuDateButton::mouseMoveEvent(QMouseEvent* e)
{
    if ((e->buttons() & Qt::LeftButton)
        && (e->globalPos() - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
        m_dragging = true;
    emit mouseMoved(e);
    QPushButton::mouseMoveEvent(e);
}

void VuDateButton::mouseReleaseEvent(QMouseEvent* e)
{
    emit mouseReleased(e);
    if (m_dragging) {
        // The strip was dragged: no click.
        m_dragging = false;
        setDown(false);
        e->accept();
        return;
    }
    QPushButton::mouseReleaseEvent(e);
}
