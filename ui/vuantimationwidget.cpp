#include "ui/vuantimationwidget.h"
#include "ui/respixmap.h"

#include <QPixmap>
#include <QTimer>

VuAntimationWidget::VuAntimationWidget(QWidget* parent)
    : QLabel(parent), m_timer(new QTimer(this))
{
    setAlignment(Qt::AlignCenter);
    m_timer->setInterval(100);
    connect(m_timer, &QTimer::timeout, this, &VuAntimationWidget::onTimeOut);
}

void VuAntimationWidget::setImages(const QString& prefix, const QString& suffix, int count)
{
    m_prefix = prefix;
    m_suffix = suffix;
    m_count = count;
    m_index = 0;
    if (count > 0) {
        setPixmap(ResPixmap::load(prefix + QLatin1Char('0') + suffix));
    } else {
        clear();
        m_timer->stop();
    }
}

void VuAntimationWidget::setInterval(int ms)
{
    m_timer->setInterval(ms > 0 ? ms : 100);
}

int VuAntimationWidget::interval() const
{
    return m_timer->interval();
}

bool VuAntimationWidget::isRunning() const
{
    return m_timer->isActive();
}

void VuAntimationWidget::start()
{
    if (m_count < 1)
        return;
    m_timer->start();
}

void VuAntimationWidget::stop()
{
    m_timer->stop();
}

void VuAntimationWidget::onTimeOut()
{
    if (m_count < 1)
        return;
    m_index = (m_index + 1) % m_count;
    const QString path = m_prefix + QString::number(m_index) + m_suffix;
    const QPixmap pm = ResPixmap::load(path);
    if (pm.isNull())
        qWarning("animation picture missing: %s", qUtf8Printable(path));
    setPixmap(pm);
}
