#include "p2p/p2pwire.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vcp2p {

bool P2PWire::parseHostPort(const std::string& text, std::string* host, uint16_t* port)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= text.size())
        return false;
    const std::string p = text.substr(colon + 1);
    if (p.size() > 5)
        return false;
    unsigned long v = 0;
    for (char c : p) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    if (v == 0 || v > 65535)
        return false;
    *host = text.substr(0, colon);
    *port = static_cast<uint16_t>(v);
    return true;
}

int64_t P2PWire::nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int P2PWire::waitReadable(int fd, int stopFd, int timeoutMs)
{
    pollfd fds[2];
    fds[0] = {fd, POLLIN, 0};
    fds[1] = {stopFd, POLLIN, 0};
    const int n = stopFd >= 0 ? 2 : 1;
    const int64_t deadline = timeoutMs >= 0 ? nowMs() + timeoutMs : -1;
    for (;;) {
        int wait = -1;
        if (deadline >= 0) {
            const int64_t left = deadline - nowMs();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        const int r = ::poll(fds, static_cast<nfds_t>(n), wait);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 2 && (fds[1].revents & POLLIN))
            return -2;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR))
            return 1;
        if (r == 0)
            return 0;
    }
}

int P2PWire::connectTo(const std::string& host, uint16_t port, int stopFd, int timeoutMs, const std::string& source)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    const std::string portText = std::to_string(port);
    if (::getaddrinfo(host.c_str(), portText.c_str(), &hints, &res) != 0 || !res)
        return -1;
    sockaddr_in addr{};
    std::memcpy(&addr, res->ai_addr, sizeof addr);
    ::freeaddrinfo(res);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    if (!source.empty() && source != "0.0.0.0"
        && (::inet_pton(AF_INET, source.c_str(), &from.sin_addr) != 1
            || ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) < 0)) {
        ::close(fd);
        return -1;
    }
    int r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (r < 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    if (r < 0) {
        pollfd fds[2];
        fds[0] = {fd, POLLOUT, 0};
        fds[1] = {stopFd, POLLIN, 0};
        const int n = stopFd >= 0 ? 2 : 1;
        const int64_t deadline = nowMs() + timeoutMs;
        for (;;) {
            const int64_t left = deadline - nowMs();
            if (left <= 0) {
                ::close(fd);
                return -3;
            }
            const int pr = ::poll(fds, static_cast<nfds_t>(n), static_cast<int>(left));
            if (pr < 0 && errno == EINTR)
                continue;
            if (pr < 0) {
                ::close(fd);
                return -1;
            }
            if (n == 2 && (fds[1].revents & POLLIN)) {
                ::close(fd);
                return -2;
            }
            if (fds[0].revents)
                break;
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0 || err != 0) {
            ::close(fd);
            return -1;
        }
    }
    const int flags = ::fcntl(fd, F_GETFL);
    ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

int P2PWire::readFull(int fd, void* buf, size_t n, int stopFd, int timeoutMs)
{
    auto* p = static_cast<unsigned char*>(buf);
    const int64_t deadline = timeoutMs >= 0 ? nowMs() + timeoutMs : -1;
    size_t got = 0;
    while (got < n) {
        if (stopFd >= 0 || deadline >= 0) {
            int wait = -1;
            if (deadline >= 0) {
                const int64_t left = deadline - nowMs();
                if (left <= 0)
                    return -3;
                wait = static_cast<int>(left);
            }
            const int w = waitReadable(fd, stopFd, wait);
            if (w == 0)
                return -3;
            if (w < 0)
                return w;
        }
        const ssize_t r = ::recv(fd, p + got, n - got, 0);
        if (r == 0)
            return 0;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        got += static_cast<size_t>(r);
    }
    return 1;
}

bool P2PWire::writeAll(int fd, const void* buf, size_t n, int timeoutMs)
{
    const auto* p = static_cast<const unsigned char*>(buf);
    const int64_t deadline = timeoutMs >= 0 ? nowMs() + timeoutMs : -1;
    size_t sent = 0;
    while (sent < n) {
        const ssize_t r = ::send(fd, p + sent, n - sent, MSG_NOSIGNAL | (deadline >= 0 ? MSG_DONTWAIT : 0));
        if (r >= 0) {
            sent += static_cast<size_t>(r);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (deadline < 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return false;
        const int64_t left = deadline - nowMs();
        if (left <= 0)
            return false;
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) < 0 && errno != EINTR)
            return false;
    }
    return true;
}

int P2PWire::readLine(int fd, std::string* line, int stopFd, int timeoutMs)
{
    line->clear();
    const int64_t deadline = timeoutMs >= 0 ? nowMs() + timeoutMs : -1;
    for (;;) {
        int left = -1;
        if (deadline >= 0) {
            const int64_t l = deadline - nowMs();
            if (l <= 0)
                return -3;
            left = static_cast<int>(l);
        }
        char c = 0;
        const int r = readFull(fd, &c, 1, stopFd, left);
        if (r != 1)
            return r;
        if (c == '\n')
            return 1;
        if (line->size() >= kMaxLine)
            return -1;
        line->push_back(c);
    }
}

void P2PWire::putU32(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

uint32_t P2PWire::getU32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
        | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void P2PWire::encodeHeader(unsigned char* out, MsgKind kind, uint8_t channel, uint32_t length)
{
    out[0] = static_cast<unsigned char>(kind);
    out[1] = channel;
    out[2] = 0;
    out[3] = 0;
    putU32(out + 4, length);
}

bool P2PWire::decodeHeader(const unsigned char* in, WireHeader* out)
{
    out->kind = in[0];
    out->channel = in[1];
    out->length = getU32(in + 4);
    return out->length <= kMaxPayload;
}

int P2PWire::helloUidLength(const WireHeader& h)
{
    if (h.kind != static_cast<uint8_t>(MsgKind::Hello) || h.length > kMaxHelloUid)
        return -1;
    return static_cast<int>(h.length);
}

int P2PWire::helloAnswer(const WireHeader& h)
{
    if (h.kind == static_cast<uint8_t>(MsgKind::HelloOk) && h.length == 0)
        return 1;
    return h.kind == static_cast<uint8_t>(MsgKind::HelloRefuse) ? 0 : -1;
}

bool P2PWire::parseAvLogin(const char* p, size_t n, std::string* account, std::string* password)
{
    const void* nul = n ? std::memchr(p, 0, n) : nullptr;
    if (!nul)
        return false;
    const size_t accLen = static_cast<size_t>(static_cast<const char*>(nul) - p);
    const void* nul2 = std::memchr(p + accLen + 1, 0, n - accLen - 1);
    if (!nul2)
        return false;
    account->assign(p, accLen);
    password->assign(p + accLen + 1, static_cast<const char*>(nul2));
    return true;
}

namespace {

bool validUid(const std::string& uid)
{
    if (uid.empty() || uid.size() > 20)
        return false;
    for (char c : uid)
        if (c <= ' ' || c > '~')
            return false;
    return true;
}

} // namespace

DirectoryRequest P2PWire::parseDirectoryRequest(const std::string& line)
{
    DirectoryRequest req;
    const size_t sp = line.find(' ');
    const std::string verb = line.substr(0, sp);
    const std::string rest = sp == std::string::npos ? std::string() : line.substr(sp + 1);
    if (verb == "RESOLVE") {
        req.verb = DirectoryRequest::Resolve;
        req.uid = rest;
    } else if (verb == "REGISTER") {
        // The port as a device writes it: digits only, nothing after them.
        const size_t sp2 = rest.find(' ');
        const std::string uid = rest.substr(0, sp2);
        std::string host;
        if (validUid(uid) && sp2 != std::string::npos && parseHostPort("h:" + rest.substr(sp2 + 1), &host, &req.port)) {
            req.verb = DirectoryRequest::Register;
            req.uid = uid;
        }
    }
    return req;
}

ResolveAnswer P2PWire::parseResolveAnswer(const std::string& line, std::string* host, uint16_t* port)
{
    if (line == "UNKNOWN")
        return ResolveAnswer::Unknown;
    if (line == "OFFLINE")
        return ResolveAnswer::Offline;
    if (line.compare(0, 3, "AT ") != 0)
        return ResolveAnswer::Bad;
    std::string addr = line.substr(3);
    const size_t sp = addr.find(' ');
    if (sp == std::string::npos)
        return ResolveAnswer::Bad;
    addr[sp] = ':';
    return parseHostPort(addr, host, port) ? ResolveAnswer::At : ResolveAnswer::Bad;
}

void P2PWire::peerAddress(int fd, std::string* ip, uint16_t* port)
{
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ip->clear();
    *port = 0;
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0 && addr.sin_family == AF_INET) {
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
        *ip = text;
        *port = ntohs(addr.sin_port);
    }
}

int P2PWire::listenOn(const std::string& address, uint16_t port, uint16_t* boundPort)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || ::listen(fd, 64) < 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) < 0) {
        ::close(fd);
        return -1;
    }
    if (boundPort)
        *boundPort = ntohs(addr.sin_port);
    return fd;
}

} // namespace vcp2p
