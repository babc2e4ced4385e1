#pragma once

// The directory service: devices keep a connection open with
//   "REGISTER <uid> <port>\n"  -> "OK\n" | "TAKEN\n" | "BAD\n"
// and stay registered (at <port> of the address that connection comes from)
// until that connection ends;
// clients ask on a short connection
//   "RESOLVE <uid>\n"          -> "AT <host> <port>\n" | "OFFLINE\n" | "UNKNOWN\n"
// ("OFFLINE": the uid was registered before, but its device is gone now.)
// One thread polls the listening socket and every connection.

#include <map>
#include <set>
#include <string>
#include <thread>

namespace vcp2p {

class P2PDirectory
{
public:
    P2PDirectory() = default;
    ~P2PDirectory();
    P2PDirectory(const P2PDirectory&) = delete;
    P2PDirectory& operator=(const P2PDirectory&) = delete;

    // Listens on address:port (an IPv4 literal; port 0: ephemeral). false on
    // failure.
    bool start(unsigned short port, const std::string& address = "127.0.0.1");
    void stop();
    unsigned short port() const { return m_port; }

private:
    struct Conn
    {
        std::string in;
        std::string uid; // set while it holds a registration
        std::string ip;  // where the connection comes from
    };
    void loop();
    void onLine(int fd, Conn& c, const std::string& line, bool* closeIt);

    int m_listenFd = -1;
    int m_wakeFd = -1;
    unsigned short m_port = 0;
    std::thread m_thread;
    std::map<int, Conn> m_conns;
    std::map<std::string, std::pair<std::string, unsigned short>> m_entries; // uid -> device address, port
    std::set<std::string> m_seen;                     // every uid ever registered
};

} // namespace vcp2p
