#include "camera/motorreply.h"

#include <QDebug>
#include <QJsonValue>

MotorReply MotorReply::handle(unsigned int type, const QJsonObject& data)
{
    MotorReply reply;
    if (type != IoType || data.isEmpty())
        return reply;
    const QJsonValue ret = data.value(QStringLiteral("ret"));
    if (ret.isUndefined() || ret.isNull()) {
        qWarning() << "invalid json format:" << data;
        reply.m_kind = Invalid;
        return reply;
    }
    reply.m_ret = ret.toInt();
    if (reply.m_ret < 0) {
        qInfo() << "control motor failed:" << reply.m_ret;
        reply.m_kind = Failed;
        return reply;
    }
    const QJsonValue angle = data.value(QStringLiteral("angle"));
    if (angle.isUndefined() || angle.isNull()) {
        qWarning() << "invalid json format:" << data;
        reply.m_kind = Invalid;
        return reply;
    }
    reply.m_angle = angle.toInt() * 3.6;
    reply.m_kind = Moved;
    qInfo() << "motor angle changed:" << float(reply.m_angle);
    return reply;
}
