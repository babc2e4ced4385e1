#include "sim/devicefeatures/simpantilt.h"

#include <mutex>


SimPanTilt::SimPanTilt(int pan, int tilt)
    : m_pan(pan)
    , m_tilt(tilt)
{
}

QJsonObject SimPanTilt::command(const QJsonObject& request)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int op = request.value(QStringLiteral("operation")).toInt(0);
    int* axis = nullptr;
    int delta = 0;
    int max = 0;
    switch (op) {
    case Left: axis = &m_pan; delta = -Step; max = PanMax; break;
    case Right: axis = &m_pan; delta = Step; max = PanMax; break;
    case Up: axis = &m_tilt; delta = Step; max = TiltMax; break;
    case Down: axis = &m_tilt; delta = -Step; max = TiltMax; break;
    default:
        return QJsonObject{{QStringLiteral("ret"), -2}, {QStringLiteral("angle"), m_pan}};
    }
    const int target = *axis + delta;
    if (target < 0 || target > max)
        return QJsonObject{{QStringLiteral("ret"), -1}, {QStringLiteral("angle"), *axis}};
    *axis = target;
    return QJsonObject{{QStringLiteral("ret"), 0}, {QStringLiteral("angle"), *axis}};
}

int SimPanTilt::pan() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pan;
}

int SimPanTilt::tilt() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tilt;
}
