#include "camera/motorreply.h"

#include "core/jsonreader.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonValue>
#include <cstring>

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

QJsonObject MotorReply::parsePayload(const char* data, int len)
{
    if (!data || len <= 0)
        return {};
    const void* nul = std::memchr(data, '\0', size_t(len));
    const int textLen = nul ? int(static_cast<const char*>(nul) - data) : len;
    if (textLen == 0)
        return {};
    const QJsonDocument doc = JsonReader::parse(QByteArray(data, textLen));
    return doc.isObject() ? doc.object() : QJsonObject();
}
