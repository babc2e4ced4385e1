#include "ui/imageslabel.h"
#include "ui/respixmap.h"

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
    m_interval = interval;
    m_running = count >= 1 && interval >= 1;
    if (count < 1) {
        m_timer->stop();
        hide();
        return;
    }
    showImage(prefix + suffix);
    if (!m_running) {
        m_timer->stop();
        return;
    }
    if (isVisible())
        m_timer->start(interval);
}

void ImagesLabel::stop()
{
    m_running = false;
    m_timer->stop();
}

bool ImagesLabel::isRunning() const
{
    return m_running;
}

bool ImagesLabel::isTicking() const
{
    return m_timer->isActive();
}

// A page that is not shown (the loading page once the grid is up) costs no
// wake-ups: the sequence rests until it is shown again.
void ImagesLabel::showEvent(QShowEvent* e)
{
    QLabel::showEvent(e);
    if (m_running && !m_timer->isActive())
        m_timer->start(m_interval);
}

void ImagesLabel::hideEvent(QHideEvent* e)
{
    QLabel::hideEvent(e);
    m_timer->stop();
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
    const QPixmap pm = ResPixmap::load(path);
    if (pm.isNull())
        qWarning("image sequence picture missing: %s", qUtf8Printable(path));
    setPixmap(pm);
}
