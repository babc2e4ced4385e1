#include "ui/pincodelineedit.h"

#include <QKeyEvent>
#include <QTimer>

PinCodeLineEdit::PinCodeLineEdit(QWidget* parent) : QLineEdit(parent)
{
    setObjectName(QStringLiteral("pincode_edit_"));
    setMaxLength(1);
    setAlignment(Qt::AlignCenter);
    setContextMenuPolicy(Qt::NoContextMenu);
}

void PinCodeLineEdit::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Backspace || e->key() == Qt::Key_Delete) {
        clear();
        emit textDeleted();
        e->accept();
        return;
    }
    QLineEdit::keyPressEvent(e);
}

void PinCodeLineEdit::focusInEvent(QFocusEvent* e)
{
    QLineEdit::focusInEvent(e);
    if (!hasSelectedText() && !text().isEmpty())
        selectAll();
}
