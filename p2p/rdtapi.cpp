// RDT functions: a reliable byte stream per channel of a session. The
// session's TCP connection already keeps order and delivery; this layer adds
// the open/close handshake, buffering and the read time-out.

#include "p2p/rdtapi.h"

#include "p2p/p2pdevice.h"
#include "p2p/p2pregistry.h"
#include "p2p/p2psession.h"

#include <algorithm>
#include <chrono>

using namespace vcp2p;

namespace {

using Ref = P2PRegistry::ChannelRef;

int stateError(const P2PSession& s, const P2PRdtChannel& r, uint64_t generation)
{
    if (r.generation != generation)
        return s.state == P2PSession::State::Closed ? RDT_ER_SESSION_CLOSED : RDT_ER_LOCAL_EXIT;
    if (r.remoteClosed)
        return RDT_ER_REMOTE_EXIT;
    if (s.state != P2PSession::State::Connected)
        return RDT_ER_SESSION_CLOSED;
    return 0;
}

int destroyRdt(int rdtId)
{
    auto& reg = P2PRegistry::instance();
    Ref ref;
    if (!reg.rdt(rdtId, &ref))
        return RDT_ER_INVALID_RDT_ID;
    reg.removeRdt(rdtId);
    P2PSession& s = *ref.session;
    bool tell = false;
    {
        std::lock_guard<std::mutex> l(s.mutex);
        P2PRdtChannel& r = s.rdt[ref.channel];
        if (r.generation == ref.generation) {
            tell = s.state == P2PSession::State::Connected;
            r.generation++;
            r.rdtId = -1;
            r.localOpen = false;
            r.remoteOpen = false;
            r.remoteClosed = false;
            r.data.clear();
        }
    }
    s.cv.notify_all();
    if (tell)
        s.send(MsgKind::RdtClose, static_cast<uint8_t>(ref.channel), nullptr, 0);
    return RDT_ER_NoERROR;
}

} // namespace

extern "C" {

int RDT_Initialize(void)
{
    auto& reg = P2PRegistry::instance();
    std::lock_guard<std::mutex> l(reg.mutex);
    reg.rdtInit = true;
    return RDT_MAX_IDS;
}

int RDT_DeInitialize(void)
{
    auto& reg = P2PRegistry::instance();
    for (int id : reg.rdtIds(false))
        destroyRdt(id);
    std::lock_guard<std::mutex> l(reg.mutex);
    reg.rdtInit = false;
    return RDT_ER_NoERROR;
}

int RDT_Create(int sessionId, int timeoutMs, unsigned char channel)
{
    if (channel < 1 || channel >= IOTC_MAX_CHANNELS || timeoutMs < 0)
        return RDT_ER_INVALID_ARG;
    auto& reg = P2PRegistry::instance();
    auto s = reg.session(sessionId);
    if (!s)
        return RDT_ER_INVALID_SID;
    if (!s->isDevice) {
        std::lock_guard<std::mutex> l(reg.mutex);
        if (!reg.rdtInit)
            return RDT_ER_NOT_INITIALIZED;
    }
    uint64_t generation;
    {
        std::lock_guard<std::mutex> l(s->mutex);
        if (s->state != P2PSession::State::Connected)
            return s->state == P2PSession::State::Claimed || s->state == P2PSession::State::Connecting
                ? RDT_ER_INVALID_SID
                : RDT_ER_SESSION_CLOSED;
        P2PRdtChannel& r = s->rdt[channel];
        if (r.localOpen)
            return RDT_ER_CHANNEL_IN_USE;
        r.localOpen = true;
        generation = ++r.generation;
    }
    const int id = reg.addRdt(Ref{s, channel, generation});
    if (id < 0) {
        std::lock_guard<std::mutex> l(s->mutex);
        s->rdt[channel].localOpen = false;
        s->rdt[channel].generation++;
        return id;
    }
    {
        std::lock_guard<std::mutex> l(s->mutex);
        s->rdt[channel].rdtId = id;
    }
    s->send(MsgKind::RdtOpen, channel, nullptr, 0);
    int err = 0;
    {
        std::unique_lock<std::mutex> l(s->mutex);
        P2PRdtChannel& r = s->rdt[channel];
        s->cv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] {
            return r.remoteOpen || r.remoteClosed || r.generation != generation
                || s->state != P2PSession::State::Connected;
        });
        if (r.generation != generation || s->state != P2PSession::State::Connected)
            err = RDT_ER_SESSION_CLOSED;
        else if (r.remoteClosed && !r.remoteOpen)
            err = RDT_ER_REMOTE_EXIT; // the peer refused the stream
        else if (!r.remoteOpen)
            err = RDT_ER_TIMEOUT;
    }
    if (err) {
        destroyRdt(id);
        return err;
    }
    return id;
}

int RDT_Write(int rdtId, const char* buf, int size)
{
    if (!buf || size <= 0 || size > RDT_MAX_WRITE_SIZE)
        return RDT_ER_INVALID_ARG;
    Ref ref;
    if (!P2PRegistry::instance().rdt(rdtId, &ref))
        return RDT_ER_INVALID_RDT_ID;
    P2PSession& s = *ref.session;
    {
        std::lock_guard<std::mutex> l(s.mutex);
        if (const int err = stateError(s, s.rdt[ref.channel], ref.generation))
            return err;
    }
    if (s.faults && (s.faults->load() & (P2PD_FAULT_MUTE | P2PD_FAULT_SILENT)))
        return size;
    if (!s.send(MsgKind::RdtData, static_cast<uint8_t>(ref.channel), buf, static_cast<size_t>(size)))
        return RDT_ER_SESSION_CLOSED;
    return size;
}

int RDT_Read(int rdtId, char* buf, int size, int timeoutMs)
{
    if (!buf || size <= 0)
        return RDT_ER_INVALID_ARG;
    Ref ref;
    if (!P2PRegistry::instance().rdt(rdtId, &ref))
        return RDT_ER_INVALID_RDT_ID;
    P2PSession& s = *ref.session;
    std::unique_lock<std::mutex> l(s.mutex);
    P2PRdtChannel& r = s.rdt[ref.channel];
    s.cv.wait_for(l, std::chrono::milliseconds(std::max(timeoutMs, 0)), [&] {
        return r.generation != ref.generation || !r.data.empty() || stateError(s, r, ref.generation) != 0;
    });
    if (r.generation == ref.generation && !r.data.empty()) {
        const size_t n = std::min(r.data.size(), static_cast<size_t>(size));
        std::copy(r.data.begin(), r.data.begin() + static_cast<std::ptrdiff_t>(n), buf);
        r.data.erase(r.data.begin(), r.data.begin() + static_cast<std::ptrdiff_t>(n));
        return static_cast<int>(n);
    }
    const int err = stateError(s, r, ref.generation);
    return err ? err : RDT_ER_TIMEOUT;
}

int RDT_Destroy(int rdtId)
{
    return destroyRdt(rdtId);
}

} // extern "C"
