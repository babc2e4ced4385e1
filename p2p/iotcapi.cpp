// IOTC functions: session ids, connect by UID through the directory, stop,
// check, close, free channels, directory address.

#include "p2p/iotcapi.h"

#include "p2p/avapi.h"
#include "p2p/p2pregistry.h"
#include "p2p/p2psession.h"
#include "p2p/p2pwire.h"
#include "p2p/rdtapi.h"

#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

using namespace vcp2p;

namespace {

constexpr unsigned int kVersion = 0x03000100;

bool validUid(const char* uid)
{
    if (!uid)
        return false;
    const size_t n = std::strlen(uid);
    if (n == 0 || n > IOTC_UID_MAX_LEN)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (uid[i] <= ' ' || uid[i] > '~')
            return false;
    return true;
}

// Maps a P2PWire result (-2 stopped, -3 time-out, other failure) to a code.
int wireError(int r, int otherwise)
{
    if (r == -2)
        return IOTC_ER_CONNECT_STOPPED;
    if (r == -3)
        return IOTC_ER_TIMEOUT;
    return otherwise;
}

// Resolves the UID and opens the session connection. Returns the socket or a
// negative IOTC code.
int openConnection(const std::string& uid, int stopFd, int64_t deadline)
{
    const std::string dir = P2PRegistry::instance().directoryAddress();
    std::string host;
    uint16_t port = 0;
    if (!P2PWire::parseHostPort(dir, &host, &port))
        return IOTC_ER_DIRECTORY_UNREACHABLE;

    auto left = [deadline] {
        const int64_t l = deadline - P2PWire::nowMs();
        return l > 0 ? static_cast<int>(l) : 0;
    };

    const int dfd = P2PWire::connectTo(host, port, stopFd, left());
    if (dfd < 0)
        return wireError(dfd, IOTC_ER_DIRECTORY_UNREACHABLE);
    const std::string req = "RESOLVE " + uid + "\n";
    std::string answer;
    int r = P2PWire::writeAll(dfd, req.data(), req.size()) ? P2PWire::readLine(dfd, &answer, stopFd, left()) : -1;
    ::close(dfd);
    if (r != 1)
        return wireError(r, IOTC_ER_DIRECTORY_UNREACHABLE);
    std::string devHost;
    uint16_t devPort = 0;
    switch (P2PWire::parseResolveAnswer(answer, &devHost, &devPort)) {
    case ResolveAnswer::Unknown:
        return IOTC_ER_UNKNOWN_UID;
    case ResolveAnswer::Offline:
        return IOTC_ER_DEVICE_OFFLINE;
    case ResolveAnswer::Bad:
        return IOTC_ER_DIRECTORY_UNREACHABLE;
    case ResolveAnswer::At:
        break;
    }

    const int fd = P2PWire::connectTo(devHost, devPort, stopFd, left());
    if (fd < 0)
        return wireError(fd, IOTC_ER_DEVICE_UNREACHABLE);
    unsigned char header[P2PWire::kHeaderSize];
    P2PWire::encodeHeader(header, MsgKind::Hello, 0, static_cast<uint32_t>(uid.size()));
    if (!P2PWire::writeAll(fd, header, sizeof header) || !P2PWire::writeAll(fd, uid.data(), uid.size())) {
        ::close(fd);
        return IOTC_ER_DEVICE_UNREACHABLE;
    }
    r = P2PWire::readFull(fd, header, sizeof header, stopFd, left());
    if (r != 1) {
        ::close(fd);
        return wireError(r, IOTC_ER_DEVICE_UNREACHABLE);
    }
    WireHeader answerHeader;
    P2PWire::decodeHeader(header, &answerHeader);
    const int hello = P2PWire::helloAnswer(answerHeader);
    if (hello == 1)
        return fd;
    ::close(fd);
    if (hello == 0)
        return IOTC_ER_SESSION_REFUSED;
    return IOTC_ER_DEVICE_UNREACHABLE;
}

} // namespace

extern "C" {

int IOTC_Initialize2(unsigned short udpPort)
{
    (void)udpPort;
    auto& reg = P2PRegistry::instance();
    std::lock_guard<std::mutex> l(reg.mutex);
    reg.iotcInit = true;
    return IOTC_ER_NoERROR;
}

int IOTC_DeInitialize(void)
{
    auto& reg = P2PRegistry::instance();
    {
        std::lock_guard<std::mutex> l(reg.mutex);
        if (!reg.iotcInit)
            return IOTC_ER_NoERROR;
        reg.iotcInit = false;
    }
    for (auto& s : reg.allSessions()) {
        if (s->isDevice)
            continue;
        s->close(false);
        reg.removeSession(s->id, s);
    }
    return IOTC_ER_NoERROR;
}

int IOTC_Get_SessionID(void)
{
    auto& reg = P2PRegistry::instance();
    {
        std::lock_guard<std::mutex> l(reg.mutex);
        if (!reg.iotcInit)
            return IOTC_ER_NOT_INITIALIZED;
    }
    int err = 0;
    auto s = reg.newSession(false, &err);
    return s ? s->id : err;
}

int IOTC_Connect_ByUID_Parallel(const char* uid, int sessionId)
{
    auto& reg = P2PRegistry::instance();
    {
        std::lock_guard<std::mutex> l(reg.mutex);
        if (!reg.iotcInit)
            return IOTC_ER_NOT_INITIALIZED;
    }
    if (!validUid(uid))
        return IOTC_ER_INVALID_ARG;
    auto s = reg.session(sessionId);
    if (!s || s->isDevice)
        return IOTC_ER_INVALID_SID;
    const int stopFd = ::eventfd(0, EFD_CLOEXEC);
    if (stopFd < 0)
        return IOTC_ER_INVALID_ARG;
    {
        std::lock_guard<std::mutex> l(s->mutex);
        if (s->state != P2PSession::State::Claimed) {
            ::close(stopFd);
            return s->state == P2PSession::State::Closed ? IOTC_ER_INVALID_SID : IOTC_ER_ALREADY_CONNECTED;
        }
        if (s->stopRequested) {
            s->stopRequested = false;
            ::close(stopFd);
            return IOTC_ER_CONNECT_STOPPED;
        }
        s->state = P2PSession::State::Connecting;
        s->stopFd = stopFd;
    }

    const int fd = openConnection(uid, stopFd, P2PWire::nowMs() + IOTC_CONNECT_LIMIT_MS);

    int result = sessionId;
    {
        std::lock_guard<std::mutex> l(s->mutex);
        s->stopFd = -1;
        ::close(stopFd);
        if (s->state != P2PSession::State::Connecting) {
            // Closed while connecting.
            result = IOTC_ER_INVALID_SID;
        } else if (fd < 0) {
            s->state = P2PSession::State::Claimed;
            result = fd;
        }
    }
    if (result < 0) {
        if (fd >= 0)
            ::close(fd);
        return result;
    }
    return s->attach(fd, uid) ? sessionId : IOTC_ER_INVALID_SID;
}

int IOTC_Connect_Stop_BySID(int sessionId)
{
    auto s = P2PRegistry::instance().session(sessionId);
    if (!s)
        return IOTC_ER_INVALID_SID;
    std::lock_guard<std::mutex> l(s->mutex);
    if (s->state == P2PSession::State::Connecting && s->stopFd >= 0) {
        const uint64_t one = 1;
        (void)!::write(s->stopFd, &one, sizeof one);
    } else if (s->state == P2PSession::State::Claimed) {
        s->stopRequested = true;
    }
    return IOTC_ER_NoERROR;
}

int IOTC_Session_Check(int sessionId, IOTCSessionInfo* info)
{
    if (!info)
        return IOTC_ER_INVALID_ARG;
    auto s = P2PRegistry::instance().session(sessionId);
    if (!s)
        return IOTC_ER_INVALID_SID;
    std::lock_guard<std::mutex> l(s->mutex);
    std::memset(info, 0, sizeof *info);
    if (s->state == P2PSession::State::Claimed || s->state == P2PSession::State::Connecting
        || s->state == P2PSession::State::Closed)
        return IOTC_ER_INVALID_SID;
    info->mode = IOTC_MODE_LAN;
    info->isDevice = s->isDevice ? 1 : 0;
    std::strncpy(info->uid, s->uid.c_str(), IOTC_UID_MAX_LEN);
    std::strncpy(info->remoteIp, s->remoteIp.c_str(), sizeof info->remoteIp - 1);
    info->remotePort = s->remotePort;
    info->version = kVersion;
    info->natType = 0;
    if (s->state == P2PSession::State::RemoteClosed)
        return IOTC_ER_SESSION_CLOSE_BY_REMOTE;
    if (s->state == P2PSession::State::RemoteLost)
        return IOTC_ER_REMOTE_TIMEOUT_DISCONNECT;
    return IOTC_ER_NoERROR;
}

int IOTC_Session_Close(int sessionId)
{
    auto& reg = P2PRegistry::instance();
    auto s = reg.session(sessionId);
    if (!s)
        return IOTC_ER_INVALID_SID;
    s->close(false);
    reg.removeSession(sessionId, s);
    return IOTC_ER_NoERROR;
}

int IOTC_Session_Shutdown(int sessionId)
{
    auto s = P2PRegistry::instance().session(sessionId);
    if (!s)
        return IOTC_ER_INVALID_SID;
    s->close(false);
    return IOTC_ER_NoERROR;
}

int IOTC_Set_KeepAlive(unsigned int intervalMs, unsigned int timeoutMs)
{
    const unsigned int interval = intervalMs ? intervalMs : 3000u;
    const unsigned int limit = timeoutMs ? timeoutMs : 10000u;
    if (interval >= limit || limit > 3600000u)
        return IOTC_ER_INVALID_ARG;
    auto& reg = P2PRegistry::instance();
    reg.keepAliveMs = static_cast<int>(interval);
    reg.silenceLimitMs = static_cast<int>(limit);
    return IOTC_ER_NoERROR;
}

int IOTC_Session_Get_Free_Channel(int sessionId)
{
    auto s = P2PRegistry::instance().session(sessionId);
    if (!s)
        return IOTC_ER_INVALID_SID;
    std::lock_guard<std::mutex> l(s->mutex);
    if (s->state != P2PSession::State::Connected)
        return IOTC_ER_INVALID_SID;
    for (int ch = 1; ch < IOTC_MAX_CHANNELS; ++ch) {
        if (!s->reserved[ch] && s->rdt[ch].rdtId < 0) {
            s->reserved[ch] = true;
            return ch;
        }
    }
    return IOTC_ER_NO_FREE_CHANNEL;
}

int IOTC_Set_Directory(const char* hostPort)
{
    auto& reg = P2PRegistry::instance();
    std::string text = hostPort ? hostPort : "";
    if (!text.empty()) {
        std::string host;
        uint16_t port = 0;
        if (!P2PWire::parseHostPort(text, &host, &port))
            return IOTC_ER_INVALID_ARG;
    }
    std::lock_guard<std::mutex> l(reg.mutex);
    reg.directory = text;
    return IOTC_ER_NoERROR;
}

int IOTC_Get_Directory(char* buf, int size)
{
    const std::string dir = P2PRegistry::instance().directoryAddress();
    if (dir.empty())
        return IOTC_ER_DIRECTORY_UNREACHABLE;
    if (!buf || size <= static_cast<int>(dir.size()))
        return IOTC_ER_INVALID_ARG;
    std::memcpy(buf, dir.c_str(), dir.size() + 1);
    return static_cast<int>(dir.size());
}

} // extern "C"
