#pragma once

// One IOTC session, client or device side: its connection, the reader thread
// that sorts incoming messages into per-channel queues, and the state that
// the AV and RDT functions wait on. All fields below the mutex are guarded
// by it; waiters use the one condition variable (notify_all on any change).

#include "p2p/p2pwire.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vcp2p {

constexpr int kChannels = 32;
// Unread RDT bytes kept per channel; a peer that sends more breaks the stream.
constexpr size_t kMaxRdtBuffered = 8u * 1024u * 1024u;

struct P2PFrame
{
    static constexpr size_t kHeaderOffset = 4;
    static constexpr size_t kDataOffset = 4 + 24;

    bool lost = false;           // a marker for frames dropped here
    uint32_t number = 0;         // frame number (first lost one for markers)
    // The message as received: u32 number, 24-byte header, frame bytes (kept
    // whole so the frame is copied only once more, into the reader's buffer).
    std::vector<char> message;

    size_t size() const { return message.size() - kDataOffset; }
    const char* header() const { return message.data() + kHeaderOffset; }
    const char* data() const { return message.data() + kDataOffset; }
};

struct P2PIoMsg
{
    uint32_t type = 0;
    std::vector<char> data;
};

struct P2PAvChannel
{
    int avIndex = -1;           // this side's index while open
    uint64_t generation = 0;    // bumped at every local open and stop
    bool open = false;
    bool remoteStopped = false;

    // client: the login answer
    enum class Login { None, Waiting, Ok, Refused } login = Login::None;
    int loginCode = 0;
    int resend = 0;
    uint32_t serviceType = 0;

    // device: a login that waits for P2PD_AvServStart
    bool loginPending = false;
    std::string account;
    std::string password;

    std::deque<P2PIoMsg> io;
    std::deque<P2PFrame> video;
    std::deque<P2PFrame> audio;
    // Unread bytes per queue; each queue has its own budget of bufLimit, so
    // audio that nobody reads never starves the video.
    size_t videoBytes = 0;
    size_t audioBytes = 0;
    size_t bufLimit = 0;
    uint32_t videoSent = 0;
    uint32_t audioSent = 0;
};

struct P2PRdtChannel
{
    int rdtId = -1;
    uint64_t generation = 0;
    bool localOpen = false;
    bool remoteOpen = false;
    bool remoteClosed = false;
    std::deque<char> data;
};

class P2PSession : public std::enable_shared_from_this<P2PSession>
{
public:
    enum class State { Claimed, Connecting, Connected, Closed, RemoteClosed, RemoteLost };

    P2PSession(int id, bool isDevice);
    ~P2PSession();

    const int id;
    const bool isDevice;

    // Starts the reader thread on a connected socket (takes ownership).
    // false (socket closed) when the session was closed meanwhile.
    bool attach(int fd, const std::string& uid);

    // A peer that takes nothing for this long breaks the session.
    static constexpr int kSendTimeoutMs = 10000;

    // Sends one message (header + up to two payload parts). false when the
    // connection is not usable; a send that fails or times out half-way
    // breaks the connection (the peer could not parse what follows).
    bool send(MsgKind kind, uint8_t channel, const void* a, size_t na, const void* b = nullptr,
              size_t nb = 0, const void* c = nullptr, size_t nc = 0);

    // Local close: sends Bye (unless `silent`, or when the peer does not take
    // it at once), ends the connection, wakes every waiter and joins the
    // reader. Never waits for a sender blocked on the peer. Idempotent.
    void close(bool silent);

    // The device's fault switches, shared with the device (null on clients).
    std::shared_ptr<std::atomic<unsigned>> faults;
    int deviceHandle = -1;

    std::mutex mutex;
    std::condition_variable cv;
    State state = State::Claimed;
    bool stopRequested = false; // a stop that came before the connect
    int stopFd = -1;            // eventfd while connecting
    std::string uid;
    std::string remoteIp;
    uint16_t remotePort = 0;
    bool reserved[kChannels] = {};
    P2PAvChannel av[kChannels];
    P2PRdtChannel rdt[kChannels];

    // Whether sessions in this state can still carry data.
    bool usableLocked() const { return state == State::Connected; }

    // Applies one message from the peer (the reader's only way in; takes the
    // mutex). false when the message ends the session (Bye). The payload may
    // be taken over (frames keep it whole).
    bool receive(const WireHeader& h, std::vector<char>& payload);

private:
    void readerLoop();
    bool silentFault() const;
    void keepAlive();
    void queueFrame(P2PAvChannel& ch, bool audio, std::vector<char>& payload);

    int m_fd = -1;
    std::mutex m_writeMutex;
    std::atomic<int64_t> m_lastSendMs{0};
    std::atomic<bool> m_closing{false};
    std::thread m_reader;
    bool m_closed = false;
};

} // namespace vcp2p
