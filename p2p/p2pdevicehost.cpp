#include "p2p/p2pdevicehost.h"

#include "p2p/p2pdevice.h"
#include "p2p/p2pregistry.h"
#include "p2p/p2psession.h"
#include "p2p/p2pwire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace vcp2p {

namespace {
constexpr int kHandshakeMs = 2000;
}

P2PDeviceHost::P2PDeviceHost() : faults(std::make_shared<std::atomic<unsigned>>(0u)) {}

P2PDeviceHost::~P2PDeviceHost()
{
    stop();
}

int P2PDeviceHost::start(const std::string& uid, const std::string& directory, const std::string& bindAddress,
                         unsigned short port)
{
    m_uid = uid;
    std::string host;
    uint16_t dirPort = 0;
    if (!P2PWire::parseHostPort(directory, &host, &dirPort))
        return IOTC_ER_DIRECTORY_UNREACHABLE;

    m_listenFd = P2PWire::listenOn(bindAddress, port, &m_port);
    if (m_listenFd < 0)
        return P2PD_ER_LISTEN_FAILED;

    m_dirFd = P2PWire::connectTo(host, dirPort, -1, 3000, bindAddress);
    if (m_dirFd < 0) {
        ::close(m_listenFd);
        m_listenFd = -1;
        return IOTC_ER_DIRECTORY_UNREACHABLE;
    }
    const std::string req = "REGISTER " + uid + " " + std::to_string(m_port) + "\n";
    std::string answer;
    if (!P2PWire::writeAll(m_dirFd, req.data(), req.size())
        || P2PWire::readLine(m_dirFd, &answer, -1, 3000) != 1 || answer != "OK") {
        ::close(m_dirFd);
        ::close(m_listenFd);
        m_dirFd = m_listenFd = -1;
        if (answer == "TAKEN")
            return P2PD_ER_UID_TAKEN;
        if (answer == "BAD")
            return IOTC_ER_INVALID_ARG;
        return IOTC_ER_DIRECTORY_UNREACHABLE;
    }
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { loop(); });
    return 0;
}

void P2PDeviceHost::stop()
{
    {
        std::lock_guard<std::mutex> l(m_mutex);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    m_cv.notify_all();
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
        m_thread.join();
    }
    if (m_dirFd >= 0)
        ::close(m_dirFd);
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    m_dirFd = m_listenFd = m_wakeFd = -1;

    std::deque<int> pending;
    std::vector<int> stalled;
    std::vector<std::weak_ptr<P2PSession>> sessions;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        pending.swap(m_pending);
        stalled.swap(m_stalled);
        sessions.swap(m_sessions);
    }
    for (int fd : stalled)
        ::close(fd);
    auto& reg = P2PRegistry::instance();
    for (int sid : pending) {
        // Never handed out: nobody else knows the id, release it here.
        if (auto s = reg.session(sid)) {
            s->close(false);
            reg.removeSession(sid, s);
        }
    }
    for (auto& w : sessions)
        if (auto s = w.lock())
            s->close(false);
}

int P2PDeviceHost::accept(unsigned int timeoutMs)
{
    std::unique_lock<std::mutex> l(m_mutex);
    const bool ready = m_cv.wait_for(l, std::chrono::milliseconds(timeoutMs),
                                     [this] { return m_stopped || !m_pending.empty(); });
    if (m_stopped)
        return P2PD_ER_INVALID_DEVICE;
    if (!ready)
        return IOTC_ER_TIMEOUT;
    const int sid = m_pending.front();
    m_pending.pop_front();
    return sid;
}

bool P2PDeviceHost::readGreeting(Greeting& g)
{
    for (;;) {
        size_t want = P2PWire::kHeaderSize;
        if (g.bytes.size() >= P2PWire::kHeaderSize) {
            WireHeader hello;
            P2PWire::decodeHeader(reinterpret_cast<const unsigned char*>(g.bytes.data()), &hello);
            const int length = P2PWire::helloUidLength(hello);
            if (length < 0) {
                ::close(g.fd);
                return true;
            }
            want += static_cast<size_t>(length);
            if (g.bytes.size() == want) {
                handshake(g.fd, g.bytes.substr(P2PWire::kHeaderSize));
                return true;
            }
        }
        // Never beyond the Hello: what follows it belongs to the session.
        char buf[256];
        const ssize_t n = ::recv(g.fd, buf, std::min(sizeof buf, want - g.bytes.size()), MSG_DONTWAIT);
        if (n > 0) {
            g.bytes.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return false;
        ::close(g.fd); // gone before its Hello was whole
        return true;
    }
}

void P2PDeviceHost::handshake(int fd, const std::string& uid)
{
    const unsigned f = faults->load();
    if (f & P2PD_FAULT_STALL) {
        std::lock_guard<std::mutex> l(m_mutex);
        m_stalled.push_back(fd);
        return;
    }
    if ((f & P2PD_FAULT_REFUSE) || uid != m_uid) {
        unsigned char refuse[P2PWire::kHeaderSize];
        P2PWire::encodeHeader(refuse, MsgKind::HelloRefuse, 0, 0);
        P2PWire::writeAll(fd, refuse, sizeof refuse);
        ::close(fd);
        return;
    }
    int err = 0;
    auto s = P2PRegistry::instance().newSession(true, &err);
    if (!s) {
        unsigned char refuse[P2PWire::kHeaderSize];
        P2PWire::encodeHeader(refuse, MsgKind::HelloRefuse, 0, 0);
        P2PWire::writeAll(fd, refuse, sizeof refuse);
        ::close(fd);
        return;
    }
    s->faults = faults;
    s->deviceHandle = handle;
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (!s->attach(fd, m_uid))
        return;
    s->send(MsgKind::HelloOk, 0, nullptr, 0);
    {
        std::lock_guard<std::mutex> l(m_mutex);
        m_pending.push_back(s->id);
        m_sessions.push_back(s);
    }
    m_cv.notify_all();
}

void P2PDeviceHost::loop()
{
    for (;;) {
        std::vector<pollfd> fds = {{m_wakeFd, POLLIN, 0}, {m_listenFd, POLLIN, 0}, {m_dirFd, POLLIN, 0}};
        for (const Greeting& g : m_greetings)
            fds.push_back({g.fd, POLLIN, 0});
        const size_t stalledFrom = fds.size();
        {
            // Stalled connects are watched too, so that one the client gave
            // up on is closed here instead of piling up.
            std::lock_guard<std::mutex> l(m_mutex);
            for (int fd : m_stalled)
                fds.push_back({fd, POLLIN, 0});
        }
        int timeoutMs = -1;
        const auto now = std::chrono::steady_clock::now();
        for (const Greeting& g : m_greetings) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(g.deadline - now).count();
            timeoutMs = static_cast<int>(std::max<int64_t>(0, timeoutMs < 0 ? left : std::min<int64_t>(timeoutMs, left)));
        }
        if (::poll(fds.data(), fds.size(), timeoutMs) < 0)
            continue;
        if (fds[0].revents) {
            for (const Greeting& g : m_greetings)
                ::close(g.fd);
            m_greetings.clear();
            return;
        }
        // Greetings: read what came, close those past their time.
        std::vector<Greeting> waiting;
        const auto after = std::chrono::steady_clock::now();
        for (size_t i = 0; i < m_greetings.size(); ++i) {
            Greeting& g = m_greetings[i];
            if (fds[3 + i].revents && readGreeting(g))
                continue;
            if (after >= g.deadline) {
                ::close(g.fd);
                continue;
            }
            waiting.push_back(std::move(g));
        }
        m_greetings.swap(waiting);
        for (size_t i = stalledFrom; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            char c;
            if (::recv(fds[i].fd, &c, 1, MSG_DONTWAIT) > 0)
                continue; // a stalled client may talk: it is still not answered
            std::lock_guard<std::mutex> l(m_mutex);
            for (auto it = m_stalled.begin(); it != m_stalled.end(); ++it) {
                if (*it == fds[i].fd) {
                    ::close(*it);
                    m_stalled.erase(it);
                    break;
                }
            }
        }
        if (fds[2].revents) {
            // The directory went away (or spoke out of turn): the
            // registration is gone; keep serving the sessions we have.
            char c;
            if (::recv(m_dirFd, &c, 1, MSG_DONTWAIT) <= 0) {
                ::close(m_dirFd);
                m_dirFd = -1;
            }
        }
        if (fds[1].revents & POLLIN) {
            const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd >= 0)
                m_greetings.push_back({fd, std::string(), std::chrono::steady_clock::now()
                                                              + std::chrono::milliseconds(kHandshakeMs)});
        }
    }
}

} // namespace vcp2p
