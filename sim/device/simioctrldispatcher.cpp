#include "sim/device/simioctrldispatcher.h"

#include "sim/device/simcamerasession.h"
#include "sim/device/simwirerules.h"

void SimIoCtrlDispatcher::add(unsigned int type, Handler handler)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_handlers[type] = std::move(handler);
}

void SimIoCtrlDispatcher::remove(unsigned int type)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_handlers.erase(type);
}

bool SimIoCtrlDispatcher::has(unsigned int type) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_handlers.count(type) != 0;
}

void SimIoCtrlDispatcher::addSessionStartHook(SessionHook hook)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_startHooks.push_back(std::move(hook));
}

void SimIoCtrlDispatcher::addSessionEndHook(SessionHook hook)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_endHooks.push_back(std::move(hook));
}

bool SimIoCtrlDispatcher::dispatch(SimCameraSession& session, unsigned int type, const QByteArray& payload) const
{
    Handler h;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        auto it = m_handlers.find(type);
        if (it != m_handlers.end())
            h = it->second;
    }
    // A command the camera knows must keep its rules; one it does not know
    // (neither a rule nor a handler) is a fault of the client as well. The
    // camera answers neither: the command has no effect at all.
    const QString rule = SimWireRules::covers(type)
        ? SimWireRules::checkIoCtrl(type, payload)
        : h ? QString() : QStringLiteral("a command the camera does not know");
    if (!rule.isEmpty()) {
        session.refuse(QStringLiteral("ioctrl 0x%1").arg(QString::number(type, 16).toUpper()), payload, rule);
        return false;
    }
    if (!h)
        return false;
    h(session, type, payload);
    return true;
}

void SimIoCtrlDispatcher::sessionStarted(SimCameraSession& session) const
{
    std::vector<SessionHook> hooks;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        hooks = m_startHooks;
    }
    for (auto& h : hooks)
        h(session);
}

void SimIoCtrlDispatcher::sessionEnded(SimCameraSession& session) const
{
    std::vector<SessionHook> hooks;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        hooks = m_endHooks;
    }
    for (auto& h : hooks)
        h(session);
}
