#include "p2p/p2psession.h"

#include "p2p/avapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/p2pregistry.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>

namespace vcp2p {

P2PSession::P2PSession(int sid, bool device) : id(sid), isDevice(device) {}

P2PSession::~P2PSession()
{
    close(true);
}

bool P2PSession::attach(int fd, const std::string& theUid)
{
    std::string ip;
    uint16_t port = 0;
    P2PWire::peerAddress(fd, &ip, &port);
    std::lock_guard<std::mutex> l(mutex);
    if (m_closed) {
        ::close(fd);
        return false;
    }
    {
        std::lock_guard<std::mutex> w(m_writeMutex);
        m_fd = fd;
    }
    m_lastSendMs = P2PWire::nowMs();
    uid = theUid;
    remoteIp = ip;
    remotePort = port;
    state = State::Connected;
    m_reader = std::thread([this] { readerLoop(); });
    return true;
}

bool P2PSession::send(MsgKind kind, uint8_t channel, const void* a, size_t na, const void* b,
                      size_t nb, const void* c, size_t nc)
{
    unsigned char header[P2PWire::kHeaderSize];
    P2PWire::encodeHeader(header, kind, channel, static_cast<uint32_t>(na + nb + nc));
    std::lock_guard<std::mutex> w(m_writeMutex);
    if (m_fd < 0)
        return false;
    const int64_t deadline = P2PWire::nowMs() + kSendTimeoutMs;
    auto put = [&](const void* p, size_t n) {
        const int64_t left = deadline - P2PWire::nowMs();
        return n == 0 || (left > 0 && P2PWire::writeAll(m_fd, p, n, static_cast<int>(left)));
    };
    if (!put(header, sizeof header) || !put(a, na) || !put(b, nb) || !put(c, nc)) {
        ::shutdown(m_fd, SHUT_RDWR); // the reader sees the peer lost
        return false;
    }
    m_lastSendMs = P2PWire::nowMs();
    return true;
}

bool P2PSession::silentFault() const
{
    return faults && (faults->load() & P2PD_FAULT_SILENT);
}

void P2PSession::keepAlive()
{
    // Only when no other message is on its way: a busy writer is proof of
    // life enough, and the reader must never wait for one.
    std::unique_lock<std::mutex> w(m_writeMutex, std::try_to_lock);
    if (!w.owns_lock() || m_fd < 0)
        return;
    unsigned char header[P2PWire::kHeaderSize];
    P2PWire::encodeHeader(header, MsgKind::KeepAlive, 0, 0);
    if (P2PWire::writeAll(m_fd, header, sizeof header, 0))
        m_lastSendMs = P2PWire::nowMs();
}

void P2PSession::close(bool silent)
{
    int fd;
    {
        std::lock_guard<std::mutex> l(mutex);
        if (m_closed)
            return;
        m_closed = true;
        m_closing = true;
        fd = m_fd; // set by attach under this lock too
        if (state == State::Connecting && stopFd >= 0) {
            const uint64_t one = 1;
            (void)!::write(stopFd, &one, sizeof one);
        }
        state = State::Closed;
        for (auto& ch : av)
            ch.generation++;
        for (auto& r : rdt)
            r.generation++;
    }
    cv.notify_all();
    if (fd >= 0 && !silent && !silentFault()) {
        // A Bye only if the line is free within 200 ms and the peer takes it
        // at once: a writer blocked on a peer that reads nothing must not hold
        // us. Polled with try_lock (the thread sanitizer cannot see a timed lock).
        std::unique_lock<std::mutex> w(m_writeMutex, std::defer_lock);
        for (int i = 0; i < 200 && !w.try_lock(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        unsigned char header[P2PWire::kHeaderSize];
        P2PWire::encodeHeader(header, MsgKind::Bye, 0, 0);
        if (w.owns_lock())
            P2PWire::writeAll(fd, header, sizeof header, 200);
    }
    // Without the write lock: this also releases a sender blocked on the peer.
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    if (m_reader.joinable())
        m_reader.join();
    {
        std::lock_guard<std::mutex> w(m_writeMutex);
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
}

void P2PSession::readerLoop()
{
    int fd;
    {
        std::lock_guard<std::mutex> w(m_writeMutex);
        fd = m_fd;
    }
    auto& reg = P2PRegistry::instance();
    bool bye = false;
    std::vector<char> payload;
    int64_t lastHeard = P2PWire::nowMs();
    while (!m_closing) {
        const int keepAliveMs = reg.keepAliveMs.load();
        const int limitMs = reg.silenceLimitMs.load();
        const int64_t now = P2PWire::nowMs();
        if (silentFault()) {
            // A hung device: reads nothing, sends nothing, keeps the line.
            lastHeard = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (now - m_lastSendMs >= keepAliveMs)
            keepAlive();
        if (now - lastHeard >= limitMs)
            break; // silent for too long: the peer is lost
        const int64_t wait = std::min<int64_t>(keepAliveMs - (now - m_lastSendMs), limitMs - (now - lastHeard));
        const int w = P2PWire::waitReadable(fd, -1, static_cast<int>(std::max<int64_t>(wait, 1)));
        if (w < 0)
            break;
        if (w == 0)
            continue;
        unsigned char header[P2PWire::kHeaderSize];
        if (P2PWire::readFull(fd, header, sizeof header, -1, limitMs) != 1)
            break;
        WireHeader h;
        if (!P2PWire::decodeHeader(header, &h))
            break; // not our protocol: treat as a broken connection
        payload.resize(h.length);
        if (h.length && P2PWire::readFull(fd, payload.data(), h.length, -1, limitMs) != 1)
            break;
        lastHeard = P2PWire::nowMs();
        if (!receive(h, payload)) {
            bye = true;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> l(mutex);
        if (state == State::Connected)
            state = bye ? State::RemoteClosed : State::RemoteLost;
    }
    cv.notify_all();
}

void P2PSession::queueFrame(P2PAvChannel& ch, bool audio, std::vector<char>& payload)
{
    if (payload.size() < 4 + AV_FRAME_HEADER_SIZE)
        return;
    const uint32_t number = P2PWire::getU32(reinterpret_cast<const unsigned char*>(payload.data()));
    const size_t size = payload.size() - 4 - AV_FRAME_HEADER_SIZE;
    std::deque<P2PFrame>& q = audio ? ch.audio : ch.video;
    size_t& used = audio ? ch.audioBytes : ch.videoBytes;
    if (used + size > ch.bufLimit) {
        // No room: drop the whole frame, leave one marker per run of losses.
        if (q.empty() || !q.back().lost) {
            P2PFrame marker;
            marker.lost = true;
            marker.number = number;
            q.push_back(std::move(marker));
        }
        return;
    }
    P2PFrame f;
    f.number = number;
    f.message = std::move(payload);
    used += size;
    q.push_back(std::move(f));
}

bool P2PSession::receive(const WireHeader& h, std::vector<char>& payload)
{
    const auto kind = static_cast<MsgKind>(h.kind);
    if (kind == MsgKind::Bye)
        return false;
    if (kind == MsgKind::KeepAlive || h.channel >= kChannels)
        return true;
    const uint8_t channel = h.channel;
    std::unique_lock<std::mutex> l(mutex);
    P2PAvChannel& ch = av[channel];
    P2PRdtChannel& r = rdt[channel];
    const auto* u = reinterpret_cast<const unsigned char*>(payload.data());
    switch (kind) {
    case MsgKind::AvLogin: {
        if (!isDevice || !P2PWire::parseAvLogin(payload.data(), payload.size(), &ch.account, &ch.password))
            return true;
        ch.loginPending = true;
        break;
    }
    case MsgKind::AvLoginOk:
        if (isDevice || ch.login != P2PAvChannel::Login::Waiting || payload.size() < 8)
            return true;
        ch.resend = static_cast<int>(P2PWire::getU32(u));
        ch.serviceType = P2PWire::getU32(u + 4);
        ch.login = P2PAvChannel::Login::Ok;
        // Open from here on, so that messages right behind the answer count.
        ch.open = true;
        ch.remoteStopped = false;
        ch.io.clear();
        ch.video.clear();
        ch.audio.clear();
        ch.videoBytes = ch.audioBytes = 0;
        ch.bufLimit = static_cast<size_t>(P2PRegistry::instance().maxBufKB.load()) * 1024u;
        break;
    case MsgKind::AvLoginRefuse:
        if (isDevice || ch.login != P2PAvChannel::Login::Waiting || payload.size() < 4)
            return true;
        ch.loginCode = static_cast<int>(P2PWire::getU32(u));
        if (ch.loginCode >= 0)
            ch.loginCode = AV_ER_WRONG_VIEWACC_PWD;
        ch.login = P2PAvChannel::Login::Refused;
        break;
    case MsgKind::AvStop:
        ch.remoteStopped = true;
        ch.loginPending = false;
        break;
    case MsgKind::IoCtrl: {
        // Larger than any IO-control message of the protocol: a broken or
        // hostile peer; the message is dropped so the queue stays small
        // (at most 1024 messages of AV_MAX_IOCTRL_SIZE bytes).
        if (!ch.open || ch.remoteStopped || payload.size() < 4 || payload.size() > 4 + AV_MAX_IOCTRL_SIZE)
            return true;
        P2PIoMsg m;
        m.type = P2PWire::getU32(u);
        m.data.assign(payload.begin() + 4, payload.end());
        if (ch.io.size() >= 1024)
            ch.io.pop_front(); // a reader that never reads must not eat all memory
        ch.io.push_back(std::move(m));
        break;
    }
    case MsgKind::Video:
    case MsgKind::Audio:
        if (isDevice || !ch.open || ch.remoteStopped)
            return true;
        queueFrame(ch, kind == MsgKind::Audio, payload);
        break;
    case MsgKind::RdtOpen:
        r.remoteOpen = true;
        r.remoteClosed = false;
        break;
    case MsgKind::RdtData:
        // Bytes for a channel nobody has open would pile up unread (and leak
        // into the next stream on that channel): they are dropped.
        if (r.remoteClosed || !r.localOpen)
            return true;
        if (r.data.size() + payload.size() > kMaxRdtBuffered) {
            // A peer that sends far more than is read: the stream is broken
            // off (readers get RDT_ER_REMOTE_EXIT) instead of eating memory.
            r.data.clear();
            r.data.shrink_to_fit();
            r.remoteClosed = true;
            break;
        }
        r.data.insert(r.data.end(), payload.begin(), payload.end());
        break;
    case MsgKind::RdtClose:
        if (r.localOpen) {
            r.remoteClosed = true;
        } else {
            r.remoteOpen = false;
            r.remoteClosed = false;
            r.data.clear();
        }
        break;
    default:
        return true;
    }
    l.unlock();
    cv.notify_all();
    return true;
}

} // namespace vcp2p
