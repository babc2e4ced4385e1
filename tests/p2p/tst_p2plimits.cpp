// What a hostile peer can make a session hold: the wire reader is fed
// hand-made messages over a socket pair and the queues are checked.
#include "p2p/avapi.h"
#include "p2p/p2psession.h"

#include <QtTest>

#include <chrono>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace vcp2p;

namespace {

constexpr uint8_t kIoChannel = 1;
constexpr uint8_t kRdtChannel = 2;
constexpr uint8_t kClosedRdtChannel = 3;
constexpr uint32_t kMarker = 0xBEEF;

class Peer
{
public:
    Peer()
    {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sv) != 0)
            return;
        m_fd = sv[1];
        session = std::make_shared<P2PSession>(4242, false);
        {
            std::lock_guard<std::mutex> l(session->mutex);
            session->av[kIoChannel].open = true;
            session->rdt[kRdtChannel].localOpen = true;
        }
        session->attach(sv[0], "HOSTILE-UID");
    }
    ~Peer()
    {
        if (session)
            session->close(true);
        if (m_fd >= 0)
            ::close(m_fd);
    }

    bool sendRaw(const void* p, size_t n) { return P2PWire::writeAll(m_fd, p, n); }
    bool send(MsgKind kind, uint8_t channel, const std::vector<char>& payload)
    {
        unsigned char header[P2PWire::kHeaderSize];
        P2PWire::encodeHeader(header, kind, channel, static_cast<uint32_t>(payload.size()));
        return sendRaw(header, sizeof header) && (payload.empty() || sendRaw(payload.data(), payload.size()));
    }
    bool sendIo(uint32_t type, size_t bytes)
    {
        std::vector<char> p(4 + bytes, 'i');
        P2PWire::putU32(reinterpret_cast<unsigned char*>(p.data()), type);
        return send(MsgKind::IoCtrl, kIoChannel, p);
    }
    // Sends a marker and waits until the reader has queued it: everything
    // sent before has been handled.
    bool sync()
    {
        if (!sendIo(kMarker, 1))
            return false;
        std::unique_lock<std::mutex> l(session->mutex);
        return session->cv.wait_for(l, std::chrono::seconds(10), [this] {
            const auto& io = session->av[kIoChannel].io;
            return !io.empty() && io.back().type == kMarker;
        });
    }
    template <typename F>
    auto locked(F f)
    {
        std::lock_guard<std::mutex> l(session->mutex);
        return f(*session);
    }

    std::shared_ptr<P2PSession> session;

private:
    int m_fd = -1;
};

} // namespace

class TestP2pLimits : public QObject
{
    Q_OBJECT

private slots:
    void hugeLengthFieldEndsTheConnection()
    {
        Peer peer;
        QVERIFY(peer.session);
        // A header announcing a 4 GiB payload: nothing is allocated, the
        // connection counts as lost.
        unsigned char header[P2PWire::kHeaderSize];
        P2PWire::encodeHeader(header, MsgKind::IoCtrl, kIoChannel, 0xFFFFFFFFu);
        QVERIFY(peer.sendRaw(header, sizeof header));
        std::unique_lock<std::mutex> l(peer.session->mutex);
        QVERIFY(peer.session->cv.wait_for(l, std::chrono::seconds(10), [&] {
            return peer.session->state == P2PSession::State::RemoteLost;
        }));
        QVERIFY(peer.session->av[kIoChannel].io.empty());
    }

    void ioControlQueueStaysBounded()
    {
        Peer peer;
        QVERIFY(peer.session);
        // Larger than any IO-control message: dropped.
        QVERIFY(peer.sendIo(7, AV_MAX_IOCTRL_SIZE + 1));
        QVERIFY(peer.sendIo(8, AV_MAX_IOCTRL_SIZE));
        QVERIFY(peer.sync());
        QCOMPARE(peer.locked([](P2PSession& s) { return s.av[kIoChannel].io.size(); }), size_t(2));
        QCOMPARE(peer.locked([](P2PSession& s) { return s.av[kIoChannel].io.front().type; }), 8u);
        // A flood that nobody reads keeps only the newest messages.
        for (int i = 0; i < 3000; ++i)
            QVERIFY(peer.sendIo(100, 16));
        QVERIFY(peer.sync());
        QCOMPARE(peer.locked([](P2PSession& s) { return s.av[kIoChannel].io.size(); }), size_t(1024));
    }

    void rdtBytesForAClosedChannelAreDropped()
    {
        Peer peer;
        QVERIFY(peer.session);
        const std::vector<char> chunk(1024 * 1024, 'r');
        for (int i = 0; i < 3; ++i)
            QVERIFY(peer.send(MsgKind::RdtData, kClosedRdtChannel, chunk));
        QVERIFY(peer.sync());
        QCOMPARE(peer.locked([](P2PSession& s) { return s.rdt[kClosedRdtChannel].data.size(); }), size_t(0));
    }

    void rdtFloodBreaksTheStream()
    {
        Peer peer;
        QVERIFY(peer.session);
        const std::vector<char> chunk(1024 * 1024, 'r');
        // Within the limit everything is kept for the reader.
        QVERIFY(peer.send(MsgKind::RdtData, kRdtChannel, chunk));
        QVERIFY(peer.sync());
        QCOMPARE(peer.locked([](P2PSession& s) { return s.rdt[kRdtChannel].data.size(); }), chunk.size());
        // Past it the stream ends as closed by the peer, its bytes released.
        const int chunks = int(kMaxRdtBuffered / chunk.size()) + 4;
        for (int i = 0; i < chunks; ++i)
            QVERIFY(peer.send(MsgKind::RdtData, kRdtChannel, chunk));
        QVERIFY(peer.sync());
        QVERIFY(peer.locked([](P2PSession& s) { return s.rdt[kRdtChannel].remoteClosed; }));
        QVERIFY(peer.locked([](P2PSession& s) { return s.rdt[kRdtChannel].data.size(); }) <= kMaxRdtBuffered);
        QCOMPARE(peer.locked([](P2PSession& s) { return s.rdt[kRdtChannel].data.size(); }), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestP2pLimits)
#include "tst_p2plimits.moc"
