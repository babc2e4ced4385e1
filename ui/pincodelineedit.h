#pragma once

#include <QLineEdit>

// One box of the pin-code entry: a single character. Backspace or Delete
// clears it and emits textDeleted(); gaining focus with no selection selects
// its text so the next key replaces it.
class PinCodeLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit PinCodeLineEdit(QWidget* parent = nullptr);

signals:
    void textDeleted();

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
};
