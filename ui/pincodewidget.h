#pragma once

#include <QFrame>

class QLabel;
class QTimer;
class PinCodeLineEdit;

// The pin-code entry: four one-character boxes of which only the one to fill
// is enabled. The fourth character emits onPinCodeChanged(code).
class PinCodeWidget : public QFrame
{
    Q_OBJECT
public:
    explicit PinCodeWidget(QWidget* parent = nullptr);

    static constexpr int Length = 4;

    PinCodeLineEdit* edit(int i) const { return m_edits[i]; }
    QString code() const { return m_code; }
    // "Pin Code incorrect!" for ms milliseconds; the boxes are reset.
    void showError(int ms = 2000);
    bool isErrorShown() const;

public slots:
    void reset();

signals:
    void onPinCodeChanged(const QString& code);

protected:
    void changeEvent(QEvent* e) override;

private:
    void onTextEdited(int i, const QString& text);
    void onTextDeleted(int i);
    void activate(int i);
    void retranslate();

    PinCodeLineEdit* m_edits[Length];
    QLabel* m_title;
    QLabel* m_error;
    QTimer* m_errorTimer;
    QString m_code;
};
