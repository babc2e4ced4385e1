#pragma once

// Process-wide tables of the P2P library: session ids, AV indices, RDT ids,
// devices and directories, the init flags and the directory address.
// The registry's mutex is never held while a session's mutex is taken.

#include "p2p/iotcapi.h"
#include "p2p/p2psession.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcp2p {

class P2PDeviceHost;
class P2PDirectory;

class P2PRegistry
{
public:
    static P2PRegistry& instance();

    struct ChannelRef
    {
        std::shared_ptr<P2PSession> session;
        int channel = -1;
        uint64_t generation = 0;
    };

    std::mutex mutex;
    bool iotcInit = false;
    bool avInit = false;
    bool rdtInit = false;
    int avMaxChannels = 128;
    std::atomic<unsigned> maxBufKB{5000};
    // A session sends KeepAlive after keepAliveMs without sending anything,
    // and counts a peer from which nothing came for silenceLimitMs as lost.
    std::atomic<int> keepAliveMs{3000};
    std::atomic<int> silenceLimitMs{10000};
    std::string directory;

    // Sessions
    std::shared_ptr<P2PSession> newSession(bool device, int* error);
    std::shared_ptr<P2PSession> session(int sid);
    void removeSession(int sid, const std::shared_ptr<P2PSession>& s);
    std::vector<std::shared_ptr<P2PSession>> allSessions();

    // AV indices and RDT ids
    int addAv(const ChannelRef& ref, bool device);
    bool av(int index, ChannelRef* ref);
    void removeAv(int index);
    int clientAvCount();
    std::vector<int> avIndices(bool device);

    int addRdt(const ChannelRef& ref);
    bool rdt(int id, ChannelRef* ref);
    void removeRdt(int id);
    std::vector<int> rdtIds(bool device);

    // Devices and directories
    int addDevice(const std::shared_ptr<P2PDeviceHost>& d);
    std::shared_ptr<P2PDeviceHost> device(int handle);
    std::shared_ptr<P2PDeviceHost> takeDevice(int handle);
    int addDirectory(const std::shared_ptr<P2PDirectory>& d);
    std::shared_ptr<P2PDirectory> directoryService(int handle);
    std::shared_ptr<P2PDirectory> takeDirectory(int handle);

    // "host:port" from IOTC_Set_Directory, else VC_P2P_DIRECTORY; empty if none.
    std::string directoryAddress();

private:
    std::shared_ptr<P2PSession> m_sessions[IOTC_MAX_SESSIONS];
    struct AvEntry { ChannelRef ref; bool device; };
    std::map<int, AvEntry> m_avs;
    std::map<int, ChannelRef> m_rdts;
    std::map<int, std::shared_ptr<P2PDeviceHost>> m_devices;
    std::map<int, std::shared_ptr<P2PDirectory>> m_directories;
    int m_nextDevice = 0;
    int m_nextDirectory = 0;
};

} // namespace vcp2p
