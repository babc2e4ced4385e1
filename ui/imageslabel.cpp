#include "ui/imageslabel.h"

#include <QPixmap>
#include <QTimer>

ImagesLabel::ImagesLabel(QWidget* parent)
    : QLabel(parent), m_timer(new QTimer(this))
{
    setAlignment(Qt::AlignCenter);
    connect(m_timer, &QTimer::timeout, this, &ImagesLabel::onTimeOut);
}

void ImagesLabel::start(int interval, const QString& prefix, const QString& suffix, int count)
{
    m_prefix = prefix;
    m_suffix = suffix;
    m_count = count;
    m_index = -1;
    if (count < 1) {
        m_timer->stop();
        hide();
        return;
    }
    showImage(prefix + suffix);
    if (interval < 1) {
        m_timer->stop();
        return;
    }
    m_timer->start(interval);
}

void ImagesLabel::stop()
{
    m_timer->stop();
}

bool ImagesLabel::isRunning() const
{
    return m_timer->isActive();
}

void ImagesLabel::onTimeOut()
{
    if (m_count < 1)
        return;
    m_index = (m_index + 1) % m_count;
    showImage(m_prefix + QString::number(m_index) + m_suffix);
}

void ImagesLabel::showImage(const QString& path)
{
    const QPixmap pm(path);
    if (pm.isNull())
        qWarning("image sequence picture missing: %s", qUtf8Printable(path));
    setPixmap(pm);
}
