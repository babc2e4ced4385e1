#pragma once

// One registered device: its listening socket, its registration with the
// directory (a connection held open), the thread that accepts client
// connects and answers their Hello, and the queue of new sessions that
// P2PD_Accept hands out.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vcp2p {

class P2PSession;

class P2PDeviceHost
{
public:
    P2PDeviceHost();
    ~P2PDeviceHost();
    P2PDeviceHost(const P2PDeviceHost&) = delete;
    P2PDeviceHost& operator=(const P2PDeviceHost&) = delete;

    // Listens on bindAddress:port and registers from that address; 0 or a
    // negative P2PD_/IOTC_ code.
    int start(const std::string& uid, const std::string& directory, const std::string& bindAddress,
              unsigned short port);
    // Unregisters, stops accepting, closes every session (ids stay claimed
    // until their owner closes them) and wakes P2PD_Accept.
    void stop();
    int accept(unsigned int timeoutMs);
    unsigned short port() const { return m_port; }
    const std::string& uid() const { return m_uid; }

    int handle = -1;
    const std::shared_ptr<std::atomic<unsigned>> faults;

private:
    // A connection whose Hello has not all arrived. Each is read as its bytes
    // come, in the accepting thread, so a client that connects and stays
    // silent holds up nobody else (it is closed at its deadline).
    struct Greeting
    {
        int fd;
        std::string bytes; // the Hello so far: header, then the UID
        std::chrono::steady_clock::time_point deadline;
    };

    void loop();
    // Reads what has come of a greeting; true when it is done with (answered
    // or closed), false while more is awaited.
    bool readGreeting(Greeting& g);
    void handshake(int fd, const std::string& uid);

    std::string m_uid;
    int m_listenFd = -1;
    int m_wakeFd = -1;
    int m_dirFd = -1;
    unsigned short m_port = 0;
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_stopped = false;
    std::deque<int> m_pending;
    std::vector<int> m_stalled;
    std::vector<Greeting> m_greetings; // the accepting thread's own
    std::vector<std::weak_ptr<P2PSession>> m_sessions;
};

} // namespace vcp2p
