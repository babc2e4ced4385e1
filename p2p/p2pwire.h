#pragma once

// Socket helpers and the message framing shared by both sides of a session.
//
// Every message on a session's TCP connection is an 8-byte header
//   u8 kind, u8 channel, u16 reserved (0), u32 payload length (little-endian)
// followed by the payload. Kinds and payloads:
//   Hello         client -> device: the UID the client looked up
//   HelloOk       device -> client: empty
//   HelloRefuse   device -> client: empty
//   AvLogin       client -> device: account NUL password NUL
//   AvLoginOk     device -> client: u32 resend, u32 service type
//   AvLoginRefuse device -> client: i32 code
//   AvStop        either: the sender closed its side of the AV channel
//   IoCtrl        either: u32 type, then the message bytes
//   Video, Audio  device -> client: u32 frame number, 24-byte header, frame bytes
//   RdtOpen, RdtData, RdtClose: RDT stream control and bytes on the channel
//   Bye           either: the sender closes the session
//   KeepAlive     either: empty; sent when the sender has sent nothing else
//                 for a while (P2PRegistry::keepAliveMs)
// A connection that ends without Bye is a peer that vanished, and so is one
// on which nothing at all came for P2PRegistry::silenceLimitMs.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vcp2p {

enum class MsgKind : uint8_t {
    Hello = 1,
    HelloOk,
    HelloRefuse,
    AvLogin,
    AvLoginOk,
    AvLoginRefuse,
    AvStop,
    IoCtrl,
    Video,
    Audio,
    RdtOpen,
    RdtData,
    RdtClose,
    Bye,
    KeepAlive,
};

// A message header as it came from the peer (kind unchecked: the receiver
// ignores kinds it does not know).
struct WireHeader
{
    uint8_t kind = 0;
    uint8_t channel = 0;
    uint32_t length = 0;
};

// A directory request line, parsed (see p2pdirectory.h).
struct DirectoryRequest
{
    enum Verb { Bad, Resolve, Register } verb = Bad;
    std::string uid;   // Resolve: whatever followed the verb
    uint16_t port = 0; // Register only
};

// The directory's answer to RESOLVE, parsed.
enum class ResolveAnswer { At, Offline, Unknown, Bad };

class P2PWire
{
public:
    static constexpr size_t kHeaderSize = 8;
    static constexpr uint32_t kMaxPayload = 4u * 1024u * 1024u + 64u;
    // Longest UID a Hello may carry.
    static constexpr uint32_t kMaxHelloUid = 64;
    // Longest directory line (without '\n') either side accepts.
    static constexpr size_t kMaxLine = 512;

    // The parsers of what a peer sends: pure, so they can be fed anything.
    // A header; false when its length is beyond kMaxPayload (not our protocol).
    static bool decodeHeader(const unsigned char* in, WireHeader* out);
    // Device side, first message of a connection: the UID length a Hello
    // announces, or -1 for anything else.
    static int helloUidLength(const WireHeader& h);
    // Client side, the device's answer to Hello: 1 accepted, 0 refused, -1 neither.
    static int helloAnswer(const WireHeader& h);
    // Device side, AvLogin: "account NUL password NUL" (bytes after the second
    // NUL are ignored). false when either NUL is missing.
    static bool parseAvLogin(const char* p, size_t n, std::string* account, std::string* password);
    // Directory side: "RESOLVE <uid>" or "REGISTER <uid> <port>".
    static DirectoryRequest parseDirectoryRequest(const std::string& line);
    // Client side: "AT <host> <port>", "OFFLINE" or "UNKNOWN".
    static ResolveAnswer parseResolveAnswer(const std::string& line, std::string* host, uint16_t* port);

    // Splits "host:port"; false when malformed.
    static bool parseHostPort(const std::string& text, std::string* host, uint16_t* port);

    // Connects to host:port. Gives up when stopFd (an eventfd, -1: none)
    // becomes readable (returns -2), or after timeoutMs (returns -3); other
    // failures return -1. On success the connected socket (blocking mode).
    // With a source address (an IPv4 literal, not "0.0.0.0"), the socket is
    // bound to it first, so the peer sees the connection come from there.
    // A listening TCP socket on address:port (an IPv4 literal; port 0: any
    // free port); the bound port goes to *boundPort. Returns the socket, or -1.
    static int listenOn(const std::string& address, uint16_t port, uint16_t* boundPort);
    static int listenLoopback(uint16_t port, uint16_t* boundPort) { return listenOn("127.0.0.1", port, boundPort); }
    static int connectTo(const std::string& host, uint16_t port, int stopFd, int timeoutMs,
                         const std::string& source = std::string());

    // Waits until fd is readable; 1 readable, 0 time-out, -2 stopped, -1 error.
    // timeoutMs < 0 waits without limit.
    static int waitReadable(int fd, int stopFd, int timeoutMs);

    // Reads exactly n bytes, waiting at most timeoutMs in total (< 0: no
    // limit) and giving up when stopFd fires. 1 done, 0 peer closed, -1
    // error, -2 stopped, -3 time-out.
    static int readFull(int fd, void* buf, size_t n, int stopFd = -1, int timeoutMs = -1);

    // Writes everything, waiting at most timeoutMs in total for the peer to
    // take it (< 0: no limit). false on any error or at the time-out.
    static bool writeAll(int fd, const void* buf, size_t n, int timeoutMs = -1);

    // Reads one text line (up to '\n', at most kMaxLine bytes). Same results as
    // readFull; the line is returned without the '\n'.
    static int readLine(int fd, std::string* line, int stopFd, int timeoutMs);

    static void putU32(unsigned char* p, uint32_t v);
    static uint32_t getU32(const unsigned char* p);

    static void encodeHeader(unsigned char* out, MsgKind kind, uint8_t channel, uint32_t length);

    // Peer address of a connected socket.
    static void peerAddress(int fd, std::string* ip, uint16_t* port);

    static int64_t nowMs();
};

} // namespace vcp2p
