#include "sim/device/simp2phost.h"

#include "p2p/p2pdevice.h"
#include "sim/device/simcameradevice.h"
#include "sim/scenario/scenario.h"

SimP2pHost::SimP2pHost(Scenario* scenario, QObject* parent)
    : QObject(parent)
    , m_scenario(scenario)
{
    // The scenario changes from any thread (control interface, tests): react
    // on that thread, the devices lock for themselves.
    connect(scenario, &Scenario::cameraChanged, this, &SimP2pHost::onCameraChanged, Qt::DirectConnection);
    connect(scenario, &Scenario::cameraAdded, this, &SimP2pHost::onCameraAdded, Qt::DirectConnection);
    connect(scenario, &Scenario::cameraRemoved, this, &SimP2pHost::onCameraRemoved, Qt::DirectConnection);
}

SimP2pHost::~SimP2pHost()
{
    stop();
}

bool SimP2pHost::start(unsigned short directoryPort, const QString& address)
{
    const int dir = P2PDir_Start2(address.toLatin1().constData(), directoryPort);
    if (dir < 0)
        return false;
    m_address = address;
    m_directoryPort = static_cast<unsigned short>(P2PDir_Port(dir));
    m_directory = dir;
    for (const SimCamera& c : m_scenario->cameras())
        onCameraAdded(c.did);
    return true;
}

void SimP2pHost::stop()
{
    std::map<QString, std::shared_ptr<SimCameraDevice>> devices;
    int dir;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        devices.swap(m_devices);
        dir = m_directory.exchange(-1);
    }
    for (auto& d : devices)
        d.second->shutdown();
    devices.clear();
    if (dir >= 0)
        P2PDir_Stop(dir);
}

QString SimP2pHost::directoryAddress() const
{
    return QStringLiteral("%1:%2").arg(m_address).arg(m_directoryPort);
}

std::shared_ptr<SimCameraDevice> SimP2pHost::device(const QString& did) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    auto it = m_devices.find(did);
    return it == m_devices.end() ? nullptr : it->second;
}

void SimP2pHost::onCameraChanged(const QString& did)
{
    if (auto d = device(did))
        d->apply();
}

void SimP2pHost::onCameraAdded(const QString& did)
{
    std::shared_ptr<SimCameraDevice> d;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (m_directory < 0 || m_devices.count(did))
            return;
        d = std::make_shared<SimCameraDevice>(m_scenario, did, &m_dispatcher, directoryAddress(), &m_violations);
        m_devices[did] = d;
    }
    d->apply();
}

void SimP2pHost::onCameraRemoved(const QString& did)
{
    std::shared_ptr<SimCameraDevice> d;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        auto it = m_devices.find(did);
        if (it == m_devices.end())
            return;
        d = it->second;
        m_devices.erase(it);
    }
    d->shutdown();
}
