#include "ui/statusinfoframe.h"

#include "ui/imageslabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>

StatusInfoFrame::StatusInfoFrame(QWidget* parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("status_info_frame"));
    setAttribute(Qt::WA_TranslucentBackground);
    m_image = new ImagesLabel(this);
    m_image->setFixedSize(28, 28);
    m_image->setScaledContents(true);
    m_info = new QLabel(this);
    m_info->setObjectName(QStringLiteral("status_info_text_"));
    // The plate colour is also in the style sheet; kept here so the frame
    // reads well without it.
    m_info->setStyleSheet(QStringLiteral("background-color: rgba(20, 20, 20, 180);"));
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    row->addStretch();
    row->addWidget(m_image);
    row->addWidget(m_info);
    row->addStretch();
    auto* col = new QVBoxLayout(this);
    col->setContentsMargins(0, 0, 0, 0);
    col->addStretch();
    col->addLayout(row);
    col->addStretch();
    hide();
}

void StatusInfoFrame::showInfo(const QString& text, const QString& prefix, const QString& suffix,
                               int count, int interval)
{
    m_info->setText(text);
    m_image->show();
    m_image->start(interval, prefix, suffix, count);
    show();
    raise();
}

void StatusInfoFrame::hideInfo()
{
    m_image->stop();
    hide();
}

QString StatusInfoFrame::text() const { return m_info->text(); }

bool StatusInfoFrame::isAnimating() const { return m_image->isRunning(); }

void StatusInfoFrame::mouseReleaseEvent(QMouseEvent* e)
{
    QFrame::mouseReleaseEvent(e);
    if (rect().contains(e->pos()))
        emit clicked();
}
