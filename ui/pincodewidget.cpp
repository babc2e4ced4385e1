#include "ui/pincodewidget.h"

#include "ui/pincodelineedit.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

PinCodeWidget::PinCodeWidget(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("pincode_widget_"));
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("pincode_title_"));
    m_title->setAlignment(Qt::AlignCenter);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("pincode_error_label_"));
    m_error->setAlignment(Qt::AlignCenter);
    m_error->setVisible(false);
    m_errorTimer = new QTimer(this);
    m_errorTimer->setSingleShot(true);
    connect(m_errorTimer, &QTimer::timeout, m_error, &QLabel::hide);

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addStretch();
    for (int i = 0; i < Length; ++i) {
        m_edits[i] = new PinCodeLineEdit(this);
        row->addWidget(m_edits[i]);
        connect(m_edits[i], &QLineEdit::textEdited, this,
                [this, i](const QString& t) { onTextEdited(i, t); });
        connect(m_edits[i], &PinCodeLineEdit::textDeleted, this, [this, i]() { onTextDeleted(i); });
    }
    row->addStretch();

    auto* col = new QVBoxLayout(this);
    col->addStretch();
    col->addWidget(m_title);
    col->addSpacing(6);
    col->addLayout(row);
    col->addSpacing(4);
    col->addWidget(m_error);
    col->addStretch();
    retranslate();
    reset();
}

void PinCodeWidget::reset()
{
    m_code.clear();
    for (PinCodeLineEdit* e : m_edits)
        e->clear();
    activate(0);
}

void PinCodeWidget::activate(int i)
{
    for (int k = 0; k < Length; ++k)
        m_edits[k]->setEnabled(k == i);
    m_edits[i]->setFocus();
    m_edits[i]->selectAll();
}

void PinCodeWidget::onTextEdited(int i, const QString& text)
{
    if (text.isEmpty())
        return;
    m_code = m_code.left(i);
    m_code.append(text.at(0));
    if (i + 1 < Length) {
        activate(i + 1);
        return;
    }
    // The code is complete: the last box stays enabled so a mistake can be
    // taken back with Backspace.
    emit onPinCodeChanged(m_code);
}

void PinCodeWidget::onTextDeleted(int i)
{
    m_code = m_code.left(i);
    if (i > 0) {
        m_code = m_code.left(i - 1);
        activate(i - 1);
    }
}

void PinCodeWidget::showError(int ms)
{
    reset();
    m_error->setText(tr("Pin Code incorrect!"));
    m_error->show();
    m_errorTimer->start(ms);
}

bool PinCodeWidget::isErrorShown() const { return !m_error->isHidden(); }

void PinCodeWidget::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange)
        retranslate();
    QFrame::changeEvent(e);
}

void PinCodeWidget::retranslate()
{
    m_title->setText(tr("Please enter the pin code"));
    if (!m_error->isHidden())
        m_error->setText(tr("Pin Code incorrect!"));
}
