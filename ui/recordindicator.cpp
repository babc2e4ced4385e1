#include "ui/recordindicator.h"

#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>

namespace {
constexpr int kTickMs = 500;
constexpr int kDot = 10;
constexpr int kPad = 6;
} // namespace

RecordIndicator::RecordIndicator(QWidget* parent, Clock clock)
    : QWidget(parent)
    , m_clock(std::move(clock))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("record_indicator_"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (!m_clock) {
        auto steady = std::make_shared<QElapsedTimer>();
        steady->start();
        m_clock = [steady] { return steady->elapsed(); };
    }
    m_timer->setInterval(kTickMs);
    connect(m_timer, &QTimer::timeout, this, &RecordIndicator::refresh);
    hide();
}

QString RecordIndicator::elapsedText(qint64 ms)
{
    const qint64 s = qMax<qint64>(0, ms) / 1000;
    const QChar zero(QLatin1Char('0'));
    const QString minSec = QStringLiteral("%1:%2").arg(s / 60 % 60, 2, 10, zero).arg(s % 60, 2, 10, zero);
    return s < 3600 ? minSec : QStringLiteral("%1:%2").arg(s / 3600).arg(minSec);
}

void RecordIndicator::start()
{
    m_startMs = m_clock();
    m_timer->start();
    refresh();
    show();
    raise();
}

void RecordIndicator::stop()
{
    m_timer->stop();
    hide();
}

bool RecordIndicator::isRunning() const
{
    return m_timer->isActive();
}

void RecordIndicator::refresh()
{
    const QString text = QStringLiteral("REC ") + elapsedText(m_clock() - m_startMs);
    if (text == m_text)
        return;
    m_text = text;
    updateGeometry();
    QWidget::update();
}

QSize RecordIndicator::sizeHint() const
{
    const QFontMetrics fm(font());
    return QSize(kPad * 3 + kDot + fm.horizontalAdvance(QStringLiteral("REC 0:00:00")), fm.height() + kPad);
}

void RecordIndicator::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20, 180));
    p.drawRoundedRect(rect(), 4, 4);
    p.setBrush(QColor(0xe5, 0x39, 0x35));
    p.drawEllipse(QRectF(kPad, (height() - kDot) / 2.0, kDot, kDot));
    p.setPen(Qt::white);
    p.drawText(rect().adjusted(kPad * 2 + kDot, 0, -kPad, 0), Qt::AlignVCenter | Qt::AlignLeft, m_text);
}
