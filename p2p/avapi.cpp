// AV functions: login on a channel, IO-control both ways, frame reception
// with the client's receive buffer limit.

#include "p2p/avapi.h"

#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/p2pregistry.h"
#include "p2p/p2psession.h"

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace vcp2p;

namespace {

using Ref = P2PRegistry::ChannelRef;

// Why a channel cannot carry data any more, 0 when it can. Session lock held.
int channelErrorLocked(const P2PSession& s, const P2PAvChannel& ch, uint64_t generation)
{
    if (ch.generation != generation)
        return s.state == P2PSession::State::Closed ? IOTC_ER_INVALID_SID : AV_ER_CLIENT_EXIT;
    if (s.state == P2PSession::State::Closed)
        return IOTC_ER_INVALID_SID;
    if (ch.remoteStopped || s.state == P2PSession::State::RemoteClosed)
        return AV_ER_SESSION_CLOSE_BY_REMOTE;
    if (s.state == P2PSession::State::RemoteLost)
        return AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    return 0;
}

int sessionStateError(P2PSession::State st)
{
    switch (st) {
    case P2PSession::State::RemoteClosed: return AV_ER_SESSION_CLOSE_BY_REMOTE;
    case P2PSession::State::RemoteLost: return AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    default: return AV_ER_INVALID_SID;
    }
}

bool muted(const P2PSession& s)
{
    return s.faults && (s.faults->load() & (P2PD_FAULT_MUTE | P2PD_FAULT_SILENT));
}

// Waits up to timeoutMs on the channel of avIndex until ready(channel) holds
// or the channel can carry nothing more. Then take(channel, lock) makes the
// result, the session's lock held; otherwise the channel's error, or
// AV_ER_TIMEOUT when the time ran out (AV_ER_INVALID_ARG: unknown index).
template <class Ready, class Take>
int waitOnChannel(int avIndex, unsigned int timeoutMs, Ready ready, Take take)
{
    Ref ref;
    if (!P2PRegistry::instance().av(avIndex, &ref))
        return AV_ER_INVALID_ARG;
    P2PSession& s = *ref.session;
    std::unique_lock<std::mutex> l(s.mutex);
    P2PAvChannel& ch = s.av[ref.channel];
    s.cv.wait_for(l, std::chrono::milliseconds(timeoutMs), [&] {
        return ch.generation != ref.generation || ready(ch) || channelErrorLocked(s, ch, ref.generation) != 0;
    });
    if (ch.generation != ref.generation || !ready(ch)) {
        const int err = channelErrorLocked(s, ch, ref.generation);
        return err ? err : AV_ER_TIMEOUT;
    }
    return take(ch, l);
}

int recvFrame(int avIndex, bool audio, char* buf, int bufSize, int* actualFrameSize,
              int* expectedFrameSize, char* frameInfoBuf, int frameInfoBufSize,
              int* actualFrameInfoSize, unsigned int* frameIndex)
{
    if (!buf || bufSize <= 0)
        return AV_ER_INVALID_ARG;
    Ref ref;
    if (!P2PRegistry::instance().av(avIndex, &ref))
        return AV_ER_INVALID_ARG;
    P2PSession& s = *ref.session;
    std::lock_guard<std::mutex> l(s.mutex);
    P2PAvChannel& ch = s.av[ref.channel];
    if (ch.generation != ref.generation)
        return channelErrorLocked(s, ch, ref.generation);
    std::deque<P2PFrame>& q = audio ? ch.audio : ch.video;
    if (q.empty()) {
        const int err = channelErrorLocked(s, ch, ref.generation);
        return err ? err : AV_ER_DATA_NOREADY;
    }
    P2PFrame f = std::move(q.front());
    q.pop_front();
    if (frameIndex)
        *frameIndex = f.number;
    if (f.lost)
        return AV_ER_LOSED_THIS_FRAME;
    (audio ? ch.audioBytes : ch.videoBytes) -= f.size();
    const int size = static_cast<int>(f.size());
    if (expectedFrameSize)
        *expectedFrameSize = size;
    if (size > bufSize) {
        if (actualFrameSize)
            *actualFrameSize = 0;
        return AV_ER_BUFPARA_MAXSIZE_INSUFF;
    }
    std::memcpy(buf, f.data(), f.size());
    if (actualFrameSize)
        *actualFrameSize = size;
    int headerCopied = 0;
    if (frameInfoBuf && frameInfoBufSize > 0) {
        headerCopied = std::min<int>(frameInfoBufSize, AV_FRAME_HEADER_SIZE);
        std::memcpy(frameInfoBuf, f.header(), static_cast<size_t>(headerCopied));
    }
    if (actualFrameInfoSize)
        *actualFrameInfoSize = headerCopied;
    return size;
}

} // namespace

namespace vcp2p {

// Shared by avClientStop and P2PD_AvServStop.
int stopAvChannel(int avIndex)
{
    auto& reg = P2PRegistry::instance();
    Ref ref;
    if (!reg.av(avIndex, &ref))
        return AV_ER_INVALID_ARG;
    reg.removeAv(avIndex);
    P2PSession& s = *ref.session;
    bool tell = false;
    {
        std::lock_guard<std::mutex> l(s.mutex);
        P2PAvChannel& ch = s.av[ref.channel];
        if (ch.generation == ref.generation) {
            tell = s.state == P2PSession::State::Connected && !ch.remoteStopped;
            ch.generation++;
            ch.open = false;
            ch.avIndex = -1;
            ch.login = P2PAvChannel::Login::None;
            ch.io.clear();
            ch.video.clear();
            ch.audio.clear();
            ch.videoBytes = ch.audioBytes = 0;
        }
    }
    s.cv.notify_all();
    if (tell)
        s.send(MsgKind::AvStop, static_cast<uint8_t>(ref.channel), nullptr, 0);
    return AV_ER_NoERROR;
}

// Sends a media frame from a device channel.
int sendAvFrame(int avIndex, bool audio, const char* data, int size, const char* header, int headerSize)
{
    if (!data || size <= 0 || size > AV_MAX_FRAME_SIZE || headerSize < 0 || headerSize > AV_FRAME_HEADER_SIZE
        || (headerSize > 0 && !header))
        return AV_ER_INVALID_ARG;
    Ref ref;
    if (!P2PRegistry::instance().av(avIndex, &ref) || !ref.session->isDevice)
        return AV_ER_INVALID_ARG;
    P2PSession& s = *ref.session;
    unsigned char prefix[4 + AV_FRAME_HEADER_SIZE] = {};
    {
        std::lock_guard<std::mutex> l(s.mutex);
        P2PAvChannel& ch = s.av[ref.channel];
        if (const int err = channelErrorLocked(s, ch, ref.generation))
            return err;
        P2PWire::putU32(prefix, audio ? ch.audioSent++ : ch.videoSent++);
    }
    if (muted(s))
        return AV_ER_NoERROR;
    if (headerSize > 0)
        std::memcpy(prefix + 4, header, static_cast<size_t>(headerSize));
    if (!s.send(audio ? MsgKind::Audio : MsgKind::Video, static_cast<uint8_t>(ref.channel), prefix,
                sizeof prefix, data, static_cast<size_t>(size)))
        return AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    return AV_ER_NoERROR;
}

} // namespace vcp2p

extern "C" {

void avClientSetMaxBufSize(unsigned int maxBufSizeKB)
{
    P2PRegistry::instance().maxBufKB.store(maxBufSizeKB ? maxBufSizeKB : AV_DEFAULT_MAX_BUF_KB);
}

int avInitialize(int maxChannels)
{
    auto& reg = P2PRegistry::instance();
    std::lock_guard<std::mutex> l(reg.mutex);
    reg.avInit = true;
    reg.avMaxChannels = maxChannels > 0 ? maxChannels : 128;
    return reg.avMaxChannels;
}

int avDeInitialize(void)
{
    auto& reg = P2PRegistry::instance();
    for (int index : reg.avIndices(false))
        stopAvChannel(index);
    std::lock_guard<std::mutex> l(reg.mutex);
    reg.avInit = false;
    return AV_ER_NoERROR;
}

int avClientStart2(int sessionId, const char* viewAccount, const char* viewPassword,
                   unsigned int timeoutSec, unsigned int* serviceType, unsigned char channel,
                   int* resend)
{
    auto& reg = P2PRegistry::instance();
    int maxChannels;
    {
        std::lock_guard<std::mutex> l(reg.mutex);
        if (!reg.avInit)
            return AV_ER_NOT_INITIALIZED;
        maxChannels = reg.avMaxChannels;
    }
    if (!viewAccount || !viewPassword || channel >= IOTC_MAX_CHANNELS)
        return AV_ER_INVALID_ARG;
    const size_t accLen = std::strlen(viewAccount);
    const size_t pwLen = std::strlen(viewPassword);
    if (accLen > AV_MAX_ACCOUNT_LEN || pwLen > AV_MAX_ACCOUNT_LEN)
        return AV_ER_INVALID_ARG;
    auto s = reg.session(sessionId);
    if (!s || s->isDevice)
        return AV_ER_INVALID_SID;
    if (reg.clientAvCount() >= maxChannels)
        return AV_ER_EXCEED_MAX_CHANNEL;

    uint64_t generation;
    {
        std::lock_guard<std::mutex> l(s->mutex);
        if (s->state != P2PSession::State::Connected)
            return sessionStateError(s->state);
        P2PAvChannel& ch = s->av[channel];
        if (ch.avIndex >= 0 || ch.login == P2PAvChannel::Login::Waiting)
            return AV_ER_CHANNEL_IN_USE;
        generation = ++ch.generation;
        ch.login = P2PAvChannel::Login::Waiting;
        ch.open = false;
        ch.remoteStopped = false;
    }
    std::string login(viewAccount, accLen + 1);
    login.append(viewPassword, pwLen + 1);
    if (!s->send(MsgKind::AvLogin, channel, login.data(), login.size())) {
        std::lock_guard<std::mutex> l(s->mutex);
        s->av[channel].login = P2PAvChannel::Login::None;
        return AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    }

    const auto limit = std::chrono::seconds(timeoutSec ? timeoutSec : 10);
    int result = 0;
    int resendFlag = 0;
    unsigned int service = 0;
    {
        std::unique_lock<std::mutex> l(s->mutex);
        P2PAvChannel& ch = s->av[channel];
        s->cv.wait_for(l, limit, [&] {
            return ch.login != P2PAvChannel::Login::Waiting || ch.generation != generation
                || s->state != P2PSession::State::Connected;
        });
        if (ch.generation != generation || s->state == P2PSession::State::Closed) {
            result = IOTC_ER_INVALID_SID;
        } else if (ch.login == P2PAvChannel::Login::Ok) {
            resendFlag = ch.resend;
            service = ch.serviceType;
            result = 0;
        } else if (ch.login == P2PAvChannel::Login::Refused) {
            result = ch.loginCode;
        } else if (s->state != P2PSession::State::Connected) {
            result = sessionStateError(s->state);
        } else {
            result = AV_ER_TIMEOUT;
        }
        if (ch.generation == generation) {
            ch.login = P2PAvChannel::Login::None;
            if (result < 0)
                ch.open = false;
        }
    }
    if (result < 0)
        return result;

    const int index = reg.addAv(Ref{s, channel, generation}, false);
    {
        std::lock_guard<std::mutex> l(s->mutex);
        if (s->av[channel].generation == generation)
            s->av[channel].avIndex = index;
    }
    if (serviceType)
        *serviceType = service;
    if (resend)
        *resend = resendFlag;
    return index;
}

int avClientStop(int avIndex)
{
    return stopAvChannel(avIndex);
}

int avSendIOCtrl(int avIndex, unsigned int ioType, const char* ioData, int ioDataSize)
{
    if (ioDataSize < 0 || (ioDataSize > 0 && !ioData))
        return AV_ER_INVALID_ARG;
    if (ioDataSize > AV_MAX_IOCTRL_SIZE)
        return AV_ER_EXCEED_MAX_SIZE;
    Ref ref;
    if (!P2PRegistry::instance().av(avIndex, &ref))
        return AV_ER_INVALID_ARG;
    P2PSession& s = *ref.session;
    {
        std::lock_guard<std::mutex> l(s.mutex);
        if (const int err = channelErrorLocked(s, s.av[ref.channel], ref.generation))
            return err;
    }
    if (muted(s))
        return AV_ER_NoERROR;
    unsigned char type[4];
    P2PWire::putU32(type, ioType);
    if (!s.send(MsgKind::IoCtrl, static_cast<uint8_t>(ref.channel), type, sizeof type, ioData,
                static_cast<size_t>(ioDataSize)))
        return AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    return AV_ER_NoERROR;
}

int avRecvIOCtrl(int avIndex, unsigned int* ioType, char* ioData, int ioDataMaxSize, unsigned int timeoutMs)
{
    if (!ioType || ioDataMaxSize < 0 || (ioDataMaxSize > 0 && !ioData))
        return AV_ER_INVALID_ARG;
    return waitOnChannel(avIndex, timeoutMs, [](const P2PAvChannel& ch) { return !ch.io.empty(); },
        [&](P2PAvChannel& ch, std::unique_lock<std::mutex>& l) {
            P2PIoMsg m = std::move(ch.io.front());
            ch.io.pop_front();
            l.unlock();
            *ioType = m.type;
            if (static_cast<int>(m.data.size()) > ioDataMaxSize)
                return AV_ER_BUFPARA_MAXSIZE_INSUFF;
            if (!m.data.empty())
                std::memcpy(ioData, m.data.data(), m.data.size());
            return static_cast<int>(m.data.size());
        });
}

int avRecvFrameData2(int avIndex, char* buf, int bufSize, int* actualFrameSize, int* expectedFrameSize,
                     char* frameInfoBuf, int frameInfoBufSize, int* actualFrameInfoSize,
                     unsigned int* frameIndex)
{
    return recvFrame(avIndex, false, buf, bufSize, actualFrameSize, expectedFrameSize, frameInfoBuf,
                     frameInfoBufSize, actualFrameInfoSize, frameIndex);
}

int avWaitVideoFrame(int avIndex, unsigned int timeoutMs)
{
    return waitOnChannel(avIndex, timeoutMs, [](const P2PAvChannel& ch) { return !ch.video.empty(); },
        [](P2PAvChannel&, std::unique_lock<std::mutex>&) { return AV_ER_NoERROR; });
}

int avRecvAudioData(int avIndex, char* buf, int bufSize, char* frameInfoBuf, int frameInfoBufSize,
                    unsigned int* frameIndex)
{
    return recvFrame(avIndex, true, buf, bufSize, nullptr, nullptr, frameInfoBuf, frameInfoBufSize, nullptr,
                     frameIndex);
}

} // extern "C"
