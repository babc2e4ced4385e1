#include "p2p/p2pregistry.h"

#include "p2p/avapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/rdtapi.h"

#include <cstdlib>

namespace vcp2p {

P2PRegistry& P2PRegistry::instance()
{
    // Never destroyed: sessions may still run threads while the process exits.
    static P2PRegistry* registry = new P2PRegistry;
    return *registry;
}

std::shared_ptr<P2PSession> P2PRegistry::newSession(bool device, int* error)
{
    std::lock_guard<std::mutex> l(mutex);
    for (int i = 0; i < IOTC_MAX_SESSIONS; ++i) {
        if (!m_sessions[i]) {
            m_sessions[i] = std::make_shared<P2PSession>(i, device);
            return m_sessions[i];
        }
    }
    *error = IOTC_ER_EXCEED_MAX_SESSION;
    return nullptr;
}

std::shared_ptr<P2PSession> P2PRegistry::session(int sid)
{
    if (sid < 0 || sid >= IOTC_MAX_SESSIONS)
        return nullptr;
    std::lock_guard<std::mutex> l(mutex);
    return m_sessions[sid];
}

void P2PRegistry::removeSession(int sid, const std::shared_ptr<P2PSession>& s)
{
    if (sid < 0 || sid >= IOTC_MAX_SESSIONS)
        return;
    std::lock_guard<std::mutex> l(mutex);
    if (m_sessions[sid] == s)
        m_sessions[sid].reset();
}

std::vector<std::shared_ptr<P2PSession>> P2PRegistry::allSessions()
{
    std::lock_guard<std::mutex> l(mutex);
    std::vector<std::shared_ptr<P2PSession>> out;
    for (auto& s : m_sessions)
        if (s)
            out.push_back(s);
    return out;
}

int P2PRegistry::addAv(const ChannelRef& ref, bool device)
{
    std::lock_guard<std::mutex> l(mutex);
    int index = 0;
    while (m_avs.count(index))
        ++index;
    m_avs[index] = AvEntry{ref, device};
    return index;
}

bool P2PRegistry::av(int index, ChannelRef* ref)
{
    std::lock_guard<std::mutex> l(mutex);
    auto it = m_avs.find(index);
    if (it == m_avs.end())
        return false;
    *ref = it->second.ref;
    return true;
}

void P2PRegistry::removeAv(int index)
{
    std::lock_guard<std::mutex> l(mutex);
    m_avs.erase(index);
}

int P2PRegistry::clientAvCount()
{
    std::lock_guard<std::mutex> l(mutex);
    int n = 0;
    for (auto& e : m_avs)
        if (!e.second.device)
            ++n;
    return n;
}

std::vector<int> P2PRegistry::avIndices(bool device)
{
    std::lock_guard<std::mutex> l(mutex);
    std::vector<int> out;
    for (auto& e : m_avs)
        if (e.second.device == device)
            out.push_back(e.first);
    return out;
}

int P2PRegistry::addRdt(const ChannelRef& ref)
{
    std::lock_guard<std::mutex> l(mutex);
    if (m_rdts.size() >= RDT_MAX_IDS)
        return RDT_ER_EXCEED_MAX_CHANNEL;
    int id = 0;
    while (m_rdts.count(id))
        ++id;
    m_rdts[id] = ref;
    return id;
}

bool P2PRegistry::rdt(int id, ChannelRef* ref)
{
    std::lock_guard<std::mutex> l(mutex);
    auto it = m_rdts.find(id);
    if (it == m_rdts.end())
        return false;
    *ref = it->second;
    return true;
}

void P2PRegistry::removeRdt(int id)
{
    std::lock_guard<std::mutex> l(mutex);
    m_rdts.erase(id);
}

std::vector<int> P2PRegistry::rdtIds(bool device)
{
    std::lock_guard<std::mutex> l(mutex);
    std::vector<int> out;
    for (auto& e : m_rdts)
        if (e.second.session->isDevice == device)
            out.push_back(e.first);
    return out;
}

int P2PRegistry::addDevice(const std::shared_ptr<P2PDeviceHost>& d)
{
    std::lock_guard<std::mutex> l(mutex);
    const int h = m_nextDevice++;
    m_devices[h] = d;
    return h;
}

std::shared_ptr<P2PDeviceHost> P2PRegistry::device(int handle)
{
    std::lock_guard<std::mutex> l(mutex);
    auto it = m_devices.find(handle);
    return it == m_devices.end() ? nullptr : it->second;
}

std::shared_ptr<P2PDeviceHost> P2PRegistry::takeDevice(int handle)
{
    std::lock_guard<std::mutex> l(mutex);
    auto it = m_devices.find(handle);
    if (it == m_devices.end())
        return nullptr;
    auto d = it->second;
    m_devices.erase(it);
    return d;
}

int P2PRegistry::addDirectory(const std::shared_ptr<P2PDirectory>& d)
{
    std::lock_guard<std::mutex> l(mutex);
    const int h = m_nextDirectory++;
    m_directories[h] = d;
    return h;
}

std::shared_ptr<P2PDirectory> P2PRegistry::directoryService(int handle)
{
    std::lock_guard<std::mutex> l(mutex);
    auto it = m_directories.find(handle);
    return it == m_directories.end() ? nullptr : it->second;
}

std::shared_ptr<P2PDirectory> P2PRegistry::takeDirectory(int handle)
{
    std::lock_guard<std::mutex> l(mutex);
    auto it = m_directories.find(handle);
    if (it == m_directories.end())
        return nullptr;
    auto d = it->second;
    m_directories.erase(it);
    return d;
}

std::string P2PRegistry::directoryAddress()
{
    {
        std::lock_guard<std::mutex> l(mutex);
        if (!directory.empty())
            return directory;
    }
    const char* env = std::getenv("VC_P2P_DIRECTORY");
    return env ? std::string(env) : std::string();
}

} // namespace vcp2p
