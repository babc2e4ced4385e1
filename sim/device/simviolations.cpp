#include "sim/device/simviolations.h"

#include <QJsonObject>

void SimViolations::record(const QString& did, const QString& message, const QByteArray& payload,
                           const QString& rule)
{
    // Only the first bytes: enough to see what was sent.
    qWarning("sim camera %s: refused %s [%s]: %s", qUtf8Printable(did), qUtf8Printable(message),
             payload.left(64).toHex().constData(), qUtf8Printable(rule));
    std::lock_guard<std::mutex> l(m_mutex);
    m_list.append({did, message, payload, rule});
}

QList<SimViolation> SimViolations::list() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_list;
}

QList<SimViolation> SimViolations::take()
{
    std::lock_guard<std::mutex> l(m_mutex);
    QList<SimViolation> out;
    out.swap(m_list);
    return out;
}

QJsonArray SimViolations::toJson() const
{
    return toJson(list());
}

QJsonArray SimViolations::toJson(const QList<SimViolation>& list)
{
    QJsonArray out;
    for (const SimViolation& v : list)
        out.append(QJsonObject{{QStringLiteral("did"), v.did},
                               {QStringLiteral("message"), v.message},
                               {QStringLiteral("payload"), QString::fromLatin1(v.payload.toHex())},
                               {QStringLiteral("rule"), v.rule}});
    return out;
}
