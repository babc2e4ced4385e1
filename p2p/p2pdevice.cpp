// Device-side and directory functions.

#include "p2p/p2pdevice.h"

#include "p2p/p2pdevicehost.h"
#include "p2p/p2pdirectory.h"
#include "p2p/p2pregistry.h"
#include "p2p/p2psession.h"

#include <chrono>
#include <cstring>

namespace vcp2p {
int stopAvChannel(int avIndex);
int sendAvFrame(int avIndex, bool audio, const char* data, int size, const char* header, int headerSize);
}

using namespace vcp2p;

extern "C" {

int P2PDir_Start(unsigned short port)
{
    return P2PDir_Start2(nullptr, port);
}

int P2PDir_Start2(const char* address, unsigned short port)
{
    auto d = std::make_shared<P2PDirectory>();
    if (!d->start(port, address && *address ? address : "127.0.0.1"))
        return P2PD_ER_LISTEN_FAILED;
    return P2PRegistry::instance().addDirectory(d);
}

int P2PDir_Port(int dirHandle)
{
    auto d = P2PRegistry::instance().directoryService(dirHandle);
    return d ? d->port() : P2PD_ER_INVALID_DEVICE;
}

int P2PDir_Stop(int dirHandle)
{
    auto d = P2PRegistry::instance().takeDirectory(dirHandle);
    if (!d)
        return P2PD_ER_INVALID_DEVICE;
    d->stop();
    return 0;
}

int P2PD_Register(const char* uid, const char* directory, unsigned short port)
{
    return P2PD_Register2(uid, directory, nullptr, port);
}

int P2PD_Register2(const char* uid, const char* directory, const char* bindAddress, unsigned short port)
{
    if (!uid)
        return IOTC_ER_INVALID_ARG;
    const size_t n = std::strlen(uid);
    if (n == 0 || n > IOTC_UID_MAX_LEN)
        return IOTC_ER_INVALID_ARG;
    for (size_t i = 0; i < n; ++i)
        if (uid[i] <= ' ' || uid[i] > '~')
            return IOTC_ER_INVALID_ARG;
    auto& reg = P2PRegistry::instance();
    const std::string dir = directory && *directory ? std::string(directory) : reg.directoryAddress();
    auto d = std::make_shared<P2PDeviceHost>();
    // The handle is needed by sessions created from the first connect on.
    const int handle = reg.addDevice(d);
    d->handle = handle;
    const int r = d->start(uid, dir, bindAddress && *bindAddress ? bindAddress : "127.0.0.1", port);
    if (r < 0) {
        reg.takeDevice(handle);
        return r;
    }
    return handle;
}

int P2PD_Unregister(int device)
{
    auto d = P2PRegistry::instance().takeDevice(device);
    if (!d)
        return P2PD_ER_INVALID_DEVICE;
    d->stop();
    return 0;
}

int P2PD_Port(int device)
{
    auto d = P2PRegistry::instance().device(device);
    return d ? d->port() : P2PD_ER_INVALID_DEVICE;
}

int P2PD_SetFaults(int device, unsigned int faults)
{
    auto d = P2PRegistry::instance().device(device);
    if (!d)
        return P2PD_ER_INVALID_DEVICE;
    d->faults->store(faults);
    return 0;
}

int P2PD_Accept(int device, unsigned int timeoutMs)
{
    auto d = P2PRegistry::instance().device(device);
    if (!d)
        return P2PD_ER_INVALID_DEVICE;
    return d->accept(timeoutMs);
}

int P2PD_AvServStart(int sessionId, unsigned char channel, unsigned int timeoutMs,
                     P2PD_LoginCallback callback, void* user)
{
    if (channel >= IOTC_MAX_CHANNELS)
        return AV_ER_INVALID_ARG;
    auto& reg = P2PRegistry::instance();
    auto s = reg.session(sessionId);
    if (!s || !s->isDevice)
        return IOTC_ER_INVALID_SID;
    std::string account, password;
    {
        std::unique_lock<std::mutex> l(s->mutex);
        P2PAvChannel& ch = s->av[channel];
        auto stalled = [&] { return s->faults && (s->faults->load() & P2PD_FAULT_STALL_AV); };
        s->cv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] {
            return (ch.loginPending && !stalled()) || s->state != P2PSession::State::Connected;
        });
        if (s->state == P2PSession::State::RemoteClosed)
            return AV_ER_SESSION_CLOSE_BY_REMOTE;
        if (s->state == P2PSession::State::RemoteLost)
            return AV_ER_REMOTE_TIMEOUT_DISCONNECT;
        if (s->state != P2PSession::State::Connected)
            return IOTC_ER_INVALID_SID;
        if (!ch.loginPending || stalled())
            return AV_ER_TIMEOUT;
        ch.loginPending = false;
        account.swap(ch.account);
        password.swap(ch.password);
    }
    int resend = 1;
    unsigned int serviceType = 0;
    const int verdict = callback ? callback(user, sessionId, account.c_str(), password.c_str(), &resend,
                                            &serviceType)
                                 : 0;
    // Wipe the password copies as soon as the decision is made.
    std::fill(password.begin(), password.end(), '\0');
    unsigned char answer[8];
    if (verdict < 0) {
        P2PWire::putU32(answer, static_cast<uint32_t>(verdict));
        s->send(MsgKind::AvLoginRefuse, channel, answer, 4);
        return verdict;
    }
    uint64_t generation;
    int oldIndex;
    {
        std::lock_guard<std::mutex> l(s->mutex);
        P2PAvChannel& ch = s->av[channel];
        oldIndex = ch.avIndex;
        generation = ++ch.generation;
        ch.open = true;
        ch.remoteStopped = false;
        ch.io.clear();
        ch.videoSent = ch.audioSent = 0;
    }
    if (oldIndex >= 0)
        reg.removeAv(oldIndex);
    const int index = reg.addAv(P2PRegistry::ChannelRef{s, channel, generation}, true);
    {
        std::lock_guard<std::mutex> l(s->mutex);
        if (s->av[channel].generation == generation)
            s->av[channel].avIndex = index;
    }
    s->cv.notify_all();
    P2PWire::putU32(answer, static_cast<uint32_t>(resend));
    P2PWire::putU32(answer + 4, serviceType);
    s->send(MsgKind::AvLoginOk, channel, answer, 8);
    return index;
}

int P2PD_AvServStop(int avIndex)
{
    return stopAvChannel(avIndex);
}

int P2PD_SendFrameData(int avIndex, const char* data, int size, const char* header, int headerSize)
{
    return sendAvFrame(avIndex, false, data, size, header, headerSize);
}

int P2PD_SendAudioData(int avIndex, const char* data, int size, const char* header, int headerSize)
{
    return sendAvFrame(avIndex, true, data, size, header, headerSize);
}

int P2PD_Session_Drop(int sessionId)
{
    auto& reg = P2PRegistry::instance();
    auto s = reg.session(sessionId);
    if (!s || !s->isDevice)
        return IOTC_ER_INVALID_SID;
    s->close(true);
    reg.removeSession(sessionId, s);
    return 0;
}

int P2PD_RdtRefuse(int sessionId, unsigned char channel, unsigned int timeoutMs)
{
    if (channel < 1 || channel >= IOTC_MAX_CHANNELS)
        return IOTC_ER_INVALID_ARG;
    auto s = P2PRegistry::instance().session(sessionId);
    if (!s || !s->isDevice)
        return IOTC_ER_INVALID_SID;
    {
        std::unique_lock<std::mutex> l(s->mutex);
        P2PRdtChannel& r = s->rdt[channel];
        s->cv.wait_for(l, std::chrono::milliseconds(timeoutMs),
                       [&] { return r.remoteOpen || s->state != P2PSession::State::Connected; });
        if (s->state != P2PSession::State::Connected)
            return IOTC_ER_INVALID_SID;
        if (!r.remoteOpen)
            return IOTC_ER_TIMEOUT;
        if (r.localOpen)
            return IOTC_ER_INVALID_ARG; // opened here: RDT_Destroy closes it
        r.remoteOpen = false;
        r.data.clear();
    }
    s->send(MsgKind::RdtClose, channel, nullptr, 0);
    return 0;
}

int P2PD_Session_Uid(int sessionId, char* buf, int size)
{
    auto s = P2PRegistry::instance().session(sessionId);
    if (!s)
        return IOTC_ER_INVALID_SID;
    std::lock_guard<std::mutex> l(s->mutex);
    if (!buf || size <= static_cast<int>(s->uid.size()))
        return IOTC_ER_INVALID_ARG;
    std::memcpy(buf, s->uid.c_str(), s->uid.size() + 1);
    return static_cast<int>(s->uid.size());
}

} // extern "C"
