#include "p2p/p2pdirectory.h"

#include "p2p/p2pwire.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vcp2p {

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

void reply(int fd, const std::string& text)
{
    P2PWire::writeAll(fd, text.data(), text.size());
}

} // namespace

P2PDirectory::~P2PDirectory()
{
    stop();
}

bool P2PDirectory::start(unsigned short port, const std::string& address)
{
    m_listenFd = P2PWire::listenOn(address, port, &m_port);
    if (m_listenFd < 0)
        return false;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { loop(); });
    return true;
}

void P2PDirectory::stop()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    for (auto& c : m_conns)
        ::close(c.first);
    m_conns.clear();
    m_entries.clear();
    m_seen.clear();
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_listenFd = m_wakeFd = -1;
}

void P2PDirectory::onLine(int fd, Conn& c, const std::string& line, bool* closeIt)
{
    const size_t sp = line.find(' ');
    const std::string verb = line.substr(0, sp);
    const std::string rest = sp == std::string::npos ? std::string() : line.substr(sp + 1);
    if (verb == "RESOLVE") {
        auto it = m_entries.find(rest);
        if (it == m_entries.end())
            reply(fd, m_seen.count(rest) ? "OFFLINE\n" : "UNKNOWN\n");
        else
            reply(fd, "AT " + it->second.first + " " + std::to_string(it->second.second) + "\n");
        *closeIt = true;
    } else if (verb == "REGISTER" && c.uid.empty()) {
        const size_t sp2 = rest.find(' ');
        const std::string uid = rest.substr(0, sp2);
        const long port = sp2 == std::string::npos ? 0 : std::strtol(rest.c_str() + sp2 + 1, nullptr, 10);
        if (!validUid(uid) || port <= 0 || port > 65535) {
            reply(fd, "BAD\n");
            *closeIt = true;
        } else if (m_entries.count(uid)) {
            reply(fd, "TAKEN\n");
            *closeIt = true;
        } else {
            m_entries[uid] = {c.ip, static_cast<unsigned short>(port)};
            m_seen.insert(uid);
            c.uid = uid;
            reply(fd, "OK\n");
        }
    } else {
        reply(fd, "BAD\n");
        *closeIt = true;
    }
}

void P2PDirectory::loop()
{
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({m_wakeFd, POLLIN, 0});
        fds.push_back({m_listenFd, POLLIN, 0});
        for (auto& c : m_conns)
            fds.push_back({c.first, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0) {
                Conn c;
                uint16_t peerPort = 0;
                P2PWire::peerAddress(fd, &c.ip, &peerPort);
                m_conns[fd] = c;
            }
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const int fd = fds[i].fd;
            auto it = m_conns.find(fd);
            if (it == m_conns.end())
                continue;
            char buf[512];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            bool closeIt = n <= 0;
            if (n > 0) {
                it->second.in.append(buf, static_cast<size_t>(n));
                size_t nl;
                while (!closeIt && (nl = it->second.in.find('\n')) != std::string::npos) {
                    const std::string line = it->second.in.substr(0, nl);
                    it->second.in.erase(0, nl + 1);
                    onLine(fd, it->second, line, &closeIt);
                }
                if (it->second.in.size() > 1024)
                    closeIt = true;
            }
            if (closeIt) {
                if (!it->second.uid.empty())
                    m_entries.erase(it->second.uid);
                ::close(fd);
                m_conns.erase(it);
            }
        }
    }
}

} // namespace vcp2p
