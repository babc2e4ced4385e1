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
    const DirectoryRequest req = P2PWire::parseDirectoryRequest(line);
    if (req.verb == DirectoryRequest::Resolve) {
        auto it = m_entries.find(req.uid);
        if (it == m_entries.end())
            reply(fd, m_seen.count(req.uid) ? "OFFLINE\n" : "UNKNOWN\n");
        else
            reply(fd, "AT " + it->second.first + " " + std::to_string(it->second.second) + "\n");
        *closeIt = true;
    } else if (req.verb == DirectoryRequest::Register && c.uid.empty()) {
        if (m_entries.count(req.uid)) {
            reply(fd, "TAKEN\n");
            *closeIt = true;
        } else {
            m_entries[req.uid] = {c.ip, req.port};
            m_seen.insert(req.uid);
            c.uid = req.uid;
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
