// The P2P library through its C API, against one device served by this
// process. A case connects a client session to the device and drives both
// ends from the test thread (a device call that waits runs on std::async).
// One connection carries everything in order, so a marker sent behind the
// data a case is about proves that the data has arrived: no case sleeps.
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/p2pregistry.h"
#include "p2p/p2psession.h"
#include "p2p/rdtapi.h"
#include "p2pfuzz.h"

#include <QtTest>
#include <arpa/inet.h>
#include <cstring>
#include <functional>
#include <future>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vcp2p;

namespace {

constexpr char kUid[] = "UID-P2P-HARNESS-0020";
static_assert(sizeof kUid - 1 == IOTC_UID_MAX_LEN, "the device's UID has the largest length");
constexpr unsigned kMarker = 0x4D41524Bu;

// What the device answers to a login; `hold` runs while it decides.
struct Login
{
    int verdict = 0, resend = 1;
    unsigned service = 0;
    std::function<void()> hold;
    std::string account, password;
};

int decide(void* user, int, const char* account, const char* password, int* resend, unsigned* service)
{
    auto* l = static_cast<Login*>(user);
    l->account = account;
    l->password = password;
    *resend = l->resend;
    *service = l->service;
    if (l->hold)
        l->hold();
    return l->verdict;
}

// A client session with AV channel 0, and the device's ends of both.
struct Link
{
    int sid = -1, dsid = -1, av = -1, dav = -1;
    ~Link() { avClientStop(av); P2PD_AvServStop(dav); IOTC_Session_Close(sid); IOTC_Session_Close(dsid); }
};

std::vector<char> pattern(int size, int seed)
{
    std::vector<char> v(size_t(qMax(size, 0)));
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = char(seed * 31 + int(i) * 7 + 1);
    return v;
}
QByteArray bytes(const std::vector<char>& v, int n = -1) { return QByteArray(v.data(), n < 0 ? int(v.size()) : n); }
int video(int av, char* buf, int size, char* h = nullptr, int hs = 0) { return avRecvFrameData2(av, buf, size, nullptr, nullptr, h, hs, nullptr, nullptr); }

bool rawSend(int sid, MsgKind kind, uint8_t channel, const std::vector<char>& payload)
{
    auto s = P2PRegistry::instance().session(sid);
    return s && s->send(kind, channel, payload.data(), payload.size());
}

template <typename F>
auto inSession(int sid, F f)
{
    auto s = P2PRegistry::instance().session(sid);
    std::lock_guard<std::mutex> l(s->mutex);
    return f(*s);
}
// Holders of the session besides the registry: a call in progress holds one.
long users(int sid) { return P2PRegistry::instance().session(sid).use_count() - 2; }

// Sends raw bytes to the directory on a fresh connection and returns the
// first line of the answer ("" when it hangs up); keeps the connection open
// in *keep.
// A plain connection to a loopback port (reads time out after 10 s).
int dial(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

QByteArray ask(int port, const QByteArray& request, int* keep = nullptr)
{
    const int fd = dial(port);
    ::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
    QByteArray line;
    for (char c; ::recv(fd, &c, 1, 0) == 1 && c != '\n';)
        line += c;
    keep ? void(*keep = fd) : void(::close(fd));
    return line;
}

struct LoginRow
{
    QByteArray account, password;
    int verdict, resend;
    unsigned service;
    int channel, expected; // expected 0: an index
};
struct IoRow
{
    int size, readerBuffer;
    bool raw; // sent by a peer that skips the checks
    int expected; // -1: the message never arrives
};
struct RdtRow
{
    int channel, timeoutMs;
    QByteArray session, device;
    int expected;
};
} // namespace

Q_DECLARE_METATYPE(LoginRow)
Q_DECLARE_METATYPE(IoRow)
Q_DECLARE_METATYPE(RdtRow)

class TestP2p : public QObject
{
    Q_OBJECT

    int m_dir = -1, m_dev = -1;
    std::string m_dirAddr;

    int dirPort() const { return P2PDir_Port(m_dir); }

    // Connects l.sid (claimed here when unset) and takes the device's end.
    bool connect(Link& l)
    {
        if (l.sid < 0)
            l.sid = IOTC_Get_SessionID();
        if (IOTC_Connect_ByUID_Parallel(kUid, l.sid) != l.sid)
            return false;
        l.dsid = P2PD_Accept(m_dev, 10000);
        return l.dsid >= 0;
    }
    // Logs in on `channel`: the client's result, the device's in *dav.
    static int login(Link& l, Login& who, int* dav, int channel = 0, const char* account = "admin",
                     const char* password = "pw", int* resend = nullptr, unsigned* service = nullptr)
    {
        auto dev = std::async(std::launch::async, [&] { return P2PD_AvServStart(l.dsid, uchar(channel), 10000, decide, &who); });
        const int r = avClientStart2(l.sid, account, password, 10, service, uchar(channel), resend);
        *dav = dev.get();
        return r;
    }
    bool open(Link& l)
    {
        Login ok;
        return connect(l) && (l.av = login(l, ok, &l.dav)) >= 0 && l.dav >= 0;
    }
    // A marker from `from`, received on `to`: all sent before it has arrived.
    static bool sync(int from, int to)
    {
        unsigned type = 0;
        char b[8];
        return avSendIOCtrl(from, kMarker, nullptr, 0) == 0 && avRecvIOCtrl(to, &type, b, sizeof b, 10000) == 0
            && type == kMarker;
    }
    // Opens the RDT stream on `channel` at both ends.
    static bool openRdt(const Link& l, int channel, int* c, int* d)
    {
        auto dev = std::async(std::launch::async, [&] { return RDT_Create(l.dsid, 10000, uchar(channel)); });
        *c = RDT_Create(l.sid, 10000, uchar(channel));
        *d = dev.get();
        return *c >= 0 && *d >= 0;
    }
    static QByteArray rdtRead(int id, int size, int timeoutMs)
    {
        QByteArray b(size, '\0');
        const int n = RDT_Read(id, b.data(), size, timeoutMs);
        return n >= 0 ? b.left(n) : "error " + QByteArray::number(n);
    }

private slots:
    void initTestCase()
    {
        m_dir = P2PDir_Start(0);
        QVERIFY(m_dir >= 0);
        m_dirAddr = "127.0.0.1:" + std::to_string(dirPort());
        QCOMPARE(IOTC_Set_Directory(m_dirAddr.c_str()), 0);
        QCOMPARE(IOTC_Initialize2(0), 0);
        QCOMPARE(avInitialize(128), 128);
        QCOMPARE(RDT_Initialize(), RDT_MAX_IDS);
        m_dev = P2PD_Register(kUid, nullptr, 0);
        QVERIFY(m_dev >= 0);
        QCOMPARE(P2PD_Unregister(P2PD_Register("UID-GONE", nullptr, 0)), 0);
        QTRY_COMPARE(ask(dirPort(), "RESOLVE UID-GONE\n"), QByteArray("OFFLINE"));
    }

    void cleanupTestCase()
    {
        P2PD_Unregister(m_dev);
        RDT_DeInitialize();
        avDeInitialize();
        IOTC_DeInitialize();
        P2PDir_Stop(m_dir);
        IOTC_Set_Directory(nullptr);
    }

    void init()
    {
        P2PD_SetFaults(m_dev, 0);
        avClientSetMaxBufSize(0);
        IOTC_Set_Directory(m_dirAddr.c_str());
        for (int s; (s = P2PD_Accept(m_dev, 0)) >= 0;) // left over by a failed case
            IOTC_Session_Close(s);
    }

    void connectResults_data()
    {
        QTest::addColumn<QByteArray>("uid");
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<int>("expected");
        const QByteArray uid(kUid), none;
        QTest::newRow("UID of 20 characters") << uid << none << 0;
        QTest::newRow("UID of 21 characters") << uid + "X" << none << IOTC_ER_INVALID_ARG;
        QTest::newRow("empty UID") << none << none << IOTC_ER_INVALID_ARG;
        QTest::newRow("space in the UID") << QByteArray("UID 1") << none << IOTC_ER_INVALID_ARG;
        QTest::newRow("DEL in the UID") << QByteArray("UID\x7f") << none << IOTC_ER_INVALID_ARG;
        QTest::newRow("never registered") << QByteArray("UID~NEVER") << none << IOTC_ER_UNKNOWN_UID;
        QTest::newRow("registered and gone") << QByteArray("UID-GONE") << none << IOTC_ER_DEVICE_OFFLINE;
        QTest::newRow("refused by the device") << uid << QByteArray("refuse") << IOTC_ER_SESSION_REFUSED;
        QTest::newRow("no directory") << uid << QByteArray("no directory") << IOTC_ER_DIRECTORY_UNREACHABLE;
        QTest::newRow("dead device address") << QByteArray("UID-DEAD") << QByteArray("dead") << IOTC_ER_DEVICE_UNREACHABLE;
        QTest::newRow("stopped before") << uid << QByteArray("stop") << IOTC_ER_CONNECT_STOPPED;
        QTest::newRow("silent clients ahead") << uid << QByteArray("silent") << 0;
    }
    // Every failure leaves the session id claimed and fit for a new connect.
    void connectResults()
    {
        QFETCH(QByteArray, uid);
        QFETCH(QByteArray, setup);
        QFETCH(int, expected);
        Link l;
        l.sid = IOTC_Get_SessionID();
        if (expected) {
            int fd = -1;
            if (setup == "dead")
                QCOMPARE(ask(dirPort(), "REGISTER UID-DEAD 1\n", &fd), QByteArray("OK"));
            if (setup == "refuse")
                P2PD_SetFaults(m_dev, P2PD_FAULT_REFUSE);
            if (setup == "no directory")
                QCOMPARE(IOTC_Set_Directory("127.0.0.1:1"), 0);
            if (setup == "stop")
                QCOMPARE(IOTC_Connect_Stop_BySID(l.sid), 0);
            QCOMPARE(IOTC_Connect_ByUID_Parallel(uid.constData(), l.sid), expected);
            ::close(fd);
            init();
        }
        // Clients that connected before and said nothing, or half a Hello,
        // hold up no one: the device still waits for them after this connect;
        // one whose first message is no Hello was hung up on.
        std::vector<int> early;
        if (setup == "silent") {
            early = {dial(P2PD_Port(m_dev)), dial(P2PD_Port(m_dev)), dial(P2PD_Port(m_dev))};
            ::send(early[1], "\x01", 1, MSG_NOSIGNAL);
            unsigned char notHello[P2PWire::kHeaderSize];
            P2PWire::encodeHeader(notHello, MsgKind::Video, 0, 0);
            ::send(early[2], notHello, sizeof notHello, MSG_NOSIGNAL);
        }
        QVERIFY(connect(l));
        for (size_t i = 0; i < early.size(); ++i) {
            char c;
            QCOMPARE(::recv(early[i], &c, 1, MSG_DONTWAIT), ssize_t(i < 2 ? -1 : 0)); // -1: open, unanswered
            ::close(early[i]);
        }
        QCOMPARE(IOTC_Connect_ByUID_Parallel(kUid, l.sid), IOTC_ER_ALREADY_CONNECTED);
        QCOMPARE(IOTC_Connect_Stop_BySID(l.sid), 0); // no effect once connected
        IOTCSessionInfo info, device;
        QCOMPARE(IOTC_Session_Check(l.sid, &info), 0);
        QCOMPARE(IOTC_Session_Check(l.dsid, &device), 0);
        QCOMPARE(QByteArray(info.uid) + '|' + QByteArray(info.remoteIp) + '|' + QByteArray(device.uid), QByteArray(kUid) + "|127.0.0.1|" + kUid);
        QCOMPARE(QVector<int>({info.mode, info.isDevice, device.isDevice, info.remotePort}), QVector<int>({IOTC_MODE_LAN, 0, 1, P2PD_Port(m_dev)}));
        QCOMPARE(IOTC_Session_Check(l.sid, nullptr), IOTC_ER_INVALID_ARG);
        char buf[32];
        QCOMPARE(P2PD_Session_Uid(l.dsid, buf, sizeof kUid - 1), IOTC_ER_INVALID_ARG);
        QCOMPARE(P2PD_Session_Uid(l.dsid, buf, sizeof kUid), int(sizeof kUid - 1));
    }

    void directory_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray uid(kUid);
        QTest::newRow("live device") << "RESOLVE " + uid + "\n" << "AT 127.0.0.1 " + QByteArray::number(P2PD_Port(m_dev));
        QTest::newRow("never registered") << QByteArray("RESOLVE UID-NEVER\n") << QByteArray("UNKNOWN");
        QTest::newRow("gone") << QByteArray("RESOLVE UID-GONE\n") << QByteArray("OFFLINE");
        QTest::newRow("unknown verb") << QByteArray("HELLO there\n") << QByteArray("BAD");
        QTest::newRow("no port") << QByteArray("REGISTER UID-X\n") << QByteArray("BAD");
        QTest::newRow("port 65536") << QByteArray("REGISTER UID-X 65536\n") << QByteArray("BAD");
        QTest::newRow("port 65535") << QByteArray("REGISTER UID-X 65535\n") << QByteArray("OK");
        QTest::newRow("port with more after it") << QByteArray("REGISTER UID-Y 80x\n") << QByteArray("BAD");
        QTest::newRow("UID of 21 characters") << "REGISTER " + uid + "X 5\n" << QByteArray("BAD");
        QTest::newRow("taken UID") << "REGISTER " + uid + " 5\n" << QByteArray("TAKEN");
        QTest::newRow("a line without end") << QByteArray(3000, 'z') << QByteArray();
    }
    void directory()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, answer);
        QCOMPARE(ask(dirPort(), request), answer);
    }

    void registrationAndDirectorySetting()
    {
        QCOMPARE(P2PD_Register(kUid, nullptr, 0), P2PD_ER_UID_TAKEN);
        QCOMPARE(P2PD_Register("bad uid", nullptr, 0), IOTC_ER_INVALID_ARG);
        QCOMPARE(P2PD_Register("UID-P2P-HARNESS-00201", nullptr, 0), IOTC_ER_INVALID_ARG);
        QCOMPARE(P2PD_Register("UID-X", "127.0.0.1:1", 0), IOTC_ER_DIRECTORY_UNREACHABLE);
        for (const char* bad : {"nonsense", "127.0.0.1:0", "127.0.0.1:65536", ":80", "127.0.0.1:", "h:123456"})
            QVERIFY2(IOTC_Set_Directory(bad) == IOTC_ER_INVALID_ARG, bad);
        QCOMPARE(IOTC_Set_Directory("127.0.0.1:65535"), 0);
        char buf[16];
        QCOMPARE(IOTC_Get_Directory(buf, 15), IOTC_ER_INVALID_ARG); // no room for the NUL
        QCOMPARE(IOTC_Get_Directory(buf, 16), 15);
        QCOMPARE(IOTC_Set_Directory(nullptr), 0);
        QCOMPARE(IOTC_Get_Directory(buf, sizeof buf), IOTC_ER_DIRECTORY_UNREACHABLE);
        // A device that is gone takes no more calls; its sessions' ids stay
        // claimed until their owner closes them.
        QCOMPARE(IOTC_Set_Directory(m_dirAddr.c_str()), 0);
        const int dev = P2PD_Register("UID-SECOND", nullptr, 0), sid = IOTC_Get_SessionID();
        QCOMPARE(IOTC_Connect_ByUID_Parallel("UID-SECOND", sid), sid);
        const int dsid = P2PD_Accept(dev, 10000);
        QCOMPARE(P2PD_Unregister(dev) + IOTC_Session_Close(sid), 0);
        QCOMPARE(P2PD_Unregister(dev), P2PD_ER_INVALID_DEVICE);
        QCOMPARE(P2PD_Accept(dev, 0), P2PD_ER_INVALID_DEVICE);
        QCOMPARE(IOTC_Session_Close(dsid), 0);
    }

    // Devices bound to their own addresses are registered from there and
    // reached there (the directory stays on 127.0.0.1).
    void devicesAtTheirOwnAddresses()
    {
        QCOMPARE(P2PD_Register2("UID-AT-BAD", nullptr, "127.0.0", 0), P2PD_ER_LISTEN_FAILED);
        for (const QByteArray ip : {"127.0.0.2", "127.0.0.3"}) {
            const QByteArray uid = "UID-AT-" + ip;
            const int dev = P2PD_Register2(uid.constData(), nullptr, ip.constData(), 0);
            QVERIFY(dev >= 0);
            QCOMPARE(ask(dirPort(), "RESOLVE " + uid + "\n"), "AT " + ip + ' ' + QByteArray::number(P2PD_Port(dev)));
            {
                Link l;
                l.sid = IOTC_Get_SessionID();
                QCOMPARE(IOTC_Connect_ByUID_Parallel(uid.constData(), l.sid), l.sid);
                QVERIFY((l.dsid = P2PD_Accept(dev, 10000)) >= 0);
                IOTCSessionInfo info;
                QCOMPARE(IOTC_Session_Check(l.sid, &info), 0);
                QCOMPARE(QByteArray(info.remoteIp) + ':' + QByteArray::number(info.remotePort), ip + ':' + QByteArray::number(P2PD_Port(dev)));
            }
            QCOMPARE(P2PD_Unregister(dev), 0);
        }
    }

    // Ids are handed out lowest first, 256 in all, shared with device sessions.
    void sessionIds()
    {
        std::vector<int> ids;
        int s;
        while ((s = IOTC_Get_SessionID()) >= 0)
            ids.push_back(s);
        auto closeAll = qScopeGuard([&] { std::for_each(ids.begin(), ids.end(), IOTC_Session_Close); });
        QCOMPARE(s, IOTC_ER_EXCEED_MAX_SESSION);
        QCOMPARE(ids.back(), IOTC_MAX_SESSIONS - 1);
        IOTCSessionInfo info;
        QCOMPARE(IOTC_Session_Check(ids[0], &info), IOTC_ER_INVALID_SID); // claimed, not connected
        QCOMPARE(IOTC_Session_Close(ids[7]), 0);
        QCOMPARE(IOTC_Session_Close(ids[3]), 0);
        QCOMPARE(IOTC_Get_SessionID(), ids[3]);
        QCOMPARE(IOTC_Get_SessionID(), ids[7]);
        // Every id taken: the device has none for its end of a connect.
        QCOMPARE(IOTC_Connect_ByUID_Parallel(kUid, ids[3]), IOTC_ER_SESSION_REFUSED);
        QCOMPARE(IOTC_Session_Close(ids[7]), 0); // one left: enough
        QCOMPARE(IOTC_Connect_ByUID_Parallel(kUid, ids[3]), ids[3]);
        QCOMPARE(P2PD_Accept(m_dev, 10000), ids[7]);
    }

    void avLogin_data()
    {
        QTest::addColumn<LoginRow>("row");
        const QByteArray a("admin"), p("pw"), longest(AV_MAX_ACCOUNT_LEN, 'x');
        const int refused = AV_ER_WRONG_VIEWACC_PWD, bad = AV_ER_INVALID_ARG;
        QTest::newRow("accepted with resend") << LoginRow{a, p, 0, 1, 7, 0, 0};
        QTest::newRow("accepted without resend") << LoginRow{a, p, 0, 0, 0x8badf00d, 0, 0};
        QTest::newRow("refused, usual code") << LoginRow{a, p, refused, 1, 0, 0, refused};
        QTest::newRow("refused, device's own code") << LoginRow{a, p, -31337, 1, 0, 0, -31337};
        QTest::newRow("channel 31") << LoginRow{a, p, 0, 1, 0, 31, 0};
        QTest::newRow("channel 32") << LoginRow{a, p, 0, 1, 0, 32, bad};
        QTest::newRow("longest account") << LoginRow{longest, p, 0, 1, 0, 0, 0};
        QTest::newRow("account too long") << LoginRow{longest + "x", p, 0, 1, 0, 0, bad};
        QTest::newRow("longest password") << LoginRow{a, longest, 0, 1, 0, 0, 0};
        QTest::newRow("password too long") << LoginRow{a, longest + "x", 0, 1, 0, 0, bad};
    }
    // After any result, and after a stop, the channel takes a new login.
    void avLogin()
    {
        QFETCH(LoginRow, row);
        Link l;
        QVERIFY(connect(l));
        Login who{row.verdict, row.resend, row.service, {}, {}, {}}, ok;
        int dav = -1, dav2 = -1, resend = -1;
        unsigned service = 0;
        const char *account = row.account.constData(), *password = row.password.constData();
        const int r = row.expected == AV_ER_INVALID_ARG
            ? avClientStart2(l.sid, account, password, 10, nullptr, uchar(row.channel), nullptr)
            : login(l, who, &dav, row.channel, account, password, &resend, &service);
        if (row.expected) {
            QCOMPARE(r, row.expected);
        } else {
            QVERIFY(r >= 0 && dav >= 0);
            QCOMPARE(resend, row.resend);
            QCOMPARE(service, row.service);
            QCOMPARE(QByteArray(who.account.c_str()) + '/' + who.password.c_str(), row.account + '/' + row.password);
            QCOMPARE(avClientStart2(l.sid, "a", "b", 10, nullptr, uchar(row.channel), nullptr), AV_ER_CHANNEL_IN_USE);
            QCOMPARE(avClientStop(r), 0);
            QCOMPARE(avClientStop(r), AV_ER_INVALID_ARG);
            unsigned type;
            QCOMPARE(avRecvIOCtrl(dav, &type, nullptr, 0, 10000), AV_ER_SESSION_CLOSE_BY_REMOTE); // the device hears it
        }
        l.av = login(l, ok, &dav2, row.channel % IOTC_MAX_CHANNELS);
        QVERIFY(l.av >= 0 && sync(dav2, l.av));
        P2PD_AvServStop(dav2);
        P2PD_AvServStop(dav);
    }

    void avChannelLimits()
    {
        QCOMPARE(avInitialize(2), 2);
        auto restore = qScopeGuard([] { avInitialize(128); });
        Link l;
        QVERIFY(open(l));
        Login ok;
        int d1, d2;
        const int a1 = login(l, ok, &d1, 1);
        QVERIFY(a1 >= 0);
        QCOMPARE(avClientStart2(l.sid, "admin", "pw", 10, nullptr, 2, nullptr), AV_ER_EXCEED_MAX_CHANNEL);
        QCOMPARE(avClientStop(a1), 0);
        QCOMPARE(avClientStart2(l.sid, "admin", "pw", 10, nullptr, 0, nullptr), AV_ER_CHANNEL_IN_USE);
        const int a2 = login(l, ok, &d2, 2);
        QVERIFY(sync(d2, a2));
        avClientStop(a2);
        QCOMPARE(P2PD_AvServStart(l.dsid, 32, 0, nullptr, nullptr), AV_ER_INVALID_ARG);
        // A login nobody answers times out, and leaves the channel free.
        P2PD_SetFaults(m_dev, P2PD_FAULT_STALL_AV);
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 2; ++i)
            QCOMPARE(avClientStart2(l.sid, "admin", "pw", 1, nullptr, 3, nullptr), AV_ER_TIMEOUT);
        QVERIFY(t.elapsed() >= 1900); // each waited its second
        QCOMPARE(avDeInitialize(), 0);
        QCOMPARE(avClientStart2(l.sid, "admin", "pw", 10, nullptr, 3, nullptr), AV_ER_NOT_INITIALIZED);
    }

    void ioControl_data()
    {
        QTest::addColumn<IoRow>("row");
        const int max = AV_MAX_IOCTRL_SIZE;
        QTest::newRow("empty") << IoRow{0, 16, false, 0};
        QTest::newRow("one byte") << IoRow{1, 16, false, 1};
        QTest::newRow("largest") << IoRow{max, max, false, max};
        QTest::newRow("reader's buffer exactly") << IoRow{100, 100, false, 100};
        QTest::newRow("reader's buffer one short") << IoRow{100, 99, false, AV_ER_BUFPARA_MAXSIZE_INSUFF};
        QTest::newRow("one over the largest") << IoRow{max + 1, max + 1, false, AV_ER_EXCEED_MAX_SIZE};
        QTest::newRow("raw: largest") << IoRow{max, max, true, max};
        QTest::newRow("raw: one over the largest") << IoRow{max + 1, max + 1, true, -1};
        QTest::newRow("raw: no room for the type") << IoRow{-1, 16, true, -1};
    }
    // Both ways; the bytes arrive as sent with nothing added, or not at all.
    void ioControl()
    {
        QFETCH(IoRow, row);
        Link l;
        QVERIFY(open(l));
        const std::vector<char> data = pattern(row.size, 3);
        const unsigned type = 0xA1B2C3D4u ^ unsigned(row.size);
        for (int up = 0; up < (row.raw ? 1 : 2); ++up) {
            const int from = up ? l.av : l.dav, to = up ? l.dav : l.av;
            if (row.raw) {
                std::vector<char> msg(4);
                P2PWire::putU32(reinterpret_cast<unsigned char*>(msg.data()), type);
                msg.insert(msg.end(), data.begin(), data.end());
                msg.resize(row.size < 0 ? 3 : msg.size());
                QVERIFY(rawSend(l.dsid, MsgKind::IoCtrl, 0, msg));
            } else {
                QCOMPARE(avSendIOCtrl(from, type, data.data(), row.size), row.expected == AV_ER_EXCEED_MAX_SIZE ? row.expected : 0);
                if (row.expected == AV_ER_EXCEED_MAX_SIZE)
                    continue;
            }
            QCOMPARE(avSendIOCtrl(from, kMarker, nullptr, 0), 0);
            std::vector<char> buf(size_t(row.readerBuffer) + 16, 'Z');
            unsigned got = 0;
            const int r = avRecvIOCtrl(to, &got, buf.data(), row.readerBuffer, 10000);
            if (row.expected != -1) {
                QCOMPARE(r, row.expected);
                QCOMPARE(got, type);
                if (r >= 0)
                    QCOMPARE(bytes(buf, r + 1), bytes(data) + 'Z');
                QCOMPARE(avRecvIOCtrl(to, &got, buf.data(), row.readerBuffer, 10000), 0);
            }
            QCOMPARE(got, kMarker); // and nothing in between
        }
    }

    void ioQueueBound_data()
    {
        QTest::addColumn<int>("sent");
        QTest::newRow("1024 fill the queue") << 1024;
        QTest::newRow("1025: the oldest goes") << 1025;
    }
    // A reader that does not read keeps the newest 1024 messages.
    void ioQueueBound()
    {
        QFETCH(int, sent);
        Link l;
        QVERIFY(open(l));
        for (int i = 0; i < sent; ++i)
            QCOMPARE(avSendIOCtrl(l.dav, unsigned(i), "q", 1), 0);
        QCOMPARE(P2PD_SendFrameData(l.dav, "s", 1, nullptr, 0), 0); // behind them, on another queue
        QTRY_VERIFY(inSession(l.sid, [](P2PSession& s) { return !s.av[0].video.empty(); }));
        char buf[8];
        unsigned type;
        for (int i = sent - 1024; i < sent; ++i) {
            QCOMPARE(avRecvIOCtrl(l.av, &type, buf, sizeof buf, 0), 1);
            QCOMPARE(type, unsigned(i));
        }
        QCOMPARE(avRecvIOCtrl(l.av, &type, buf, sizeof buf, 0), AV_ER_TIMEOUT);
    }

    void frameBuffer_data()
    {
        QTest::addColumn<int>("bufKB");
        QTest::addColumn<QByteArray>("sent"); // v|a and the size of each frame
        QTest::addColumn<QByteArray>("video"); // what the reader gets: numbers, L<first lost>
        QTest::addColumn<QByteArray>("audio");
        const QByteArray none;
        QTest::newRow("frames fill it exactly") << 4 << QByteArray("v1024 v1024 v1024 v1024") << QByteArray("0 1 2 3") << none;
        QTest::newRow("one frame over") << 4 << QByteArray("v1024 v1024 v1024 v1024 v1") << QByteArray("0 1 2 3 L4") << none;
        QTest::newRow("a run of losses, one report") << 4 << QByteArray("v2048 v2048 v9 v1 v4096") << QByteArray("0 1 L2") << none;
        QTest::newRow("losses apart, two reports") << 4 << QByteArray("v4000 v97 v96 v200 v1") << QByteArray("0 L1 2 L3") << none;
        QTest::newRow("unread audio leaves video its room") << 4 << QByteArray("a4096 a1 v4096 v1") << QByteArray("0 L1") << QByteArray("0 L1");
        QTest::newRow("larger than the buffer") << 1 << QByteArray("v1025 v1024") << QByteArray("L0 1") << none;
    }
    // Whole frames or a loss report, each with its own header and number;
    // reading frees the room again.
    void frameBuffer()
    {
        QFETCH(int, bufKB);
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, video);
        QFETCH(QByteArray, audio);
        avClientSetMaxBufSize(unsigned(bufKB));
        Link l;
        QVERIFY(open(l));
        std::vector<int> sizes[2];
        auto header = [](int kind, int n) { return pattern(AV_FRAME_HEADER_SIZE, 100 * kind + n); };
        auto send = [&](int kind, int size) {
            const int n = int(sizes[kind].size());
            sizes[kind].push_back(size);
            return (kind ? P2PD_SendAudioData : P2PD_SendFrameData)(l.dav, pattern(size, n).data(), size, header(kind, n).data(), 24);
        };
        for (const QByteArray& f : sent.split(' '))
            QCOMPARE(send(f[0] == 'a', f.mid(1).toInt()), 0);
        QVERIFY(sync(l.dav, l.av));
        std::vector<char> buf(size_t(bufKB) * 1024 + 1);
        auto receive = [&](int kind, unsigned* number, char* h) {
            int actual = -1, expected = -1, headerSize = -1;
            const int r = kind ? avRecvAudioData(l.av, buf.data(), int(buf.size()), h, 24, number)
                               : avRecvFrameData2(l.av, buf.data(), int(buf.size()), &actual, &expected, h, 24, &headerSize, number);
            return !kind && r > 0 && (actual != r || expected != r || (h && headerSize != 24)) ? -1 : r;
        };
        for (int kind = 0; kind < 2; ++kind) {
            for (const QByteArray& e : (kind ? audio : video).split(' ')) {
                if (e.isEmpty())
                    break; // no frames of this kind
                unsigned number = 999;
                char h[AV_FRAME_HEADER_SIZE];
                const int r = receive(kind, &number, h), n = e.mid(e.startsWith('L')).toInt();
                QCOMPARE(number, unsigned(n));
                QCOMPARE(r, e.startsWith('L') ? AV_ER_LOSED_THIS_FRAME : sizes[kind][size_t(n)]);
                QVERIFY(r < 0 || (bytes(buf, r) == bytes(pattern(r, n)) && QByteArray(h, 24) == bytes(header(kind, n))));
            }
            QCOMPARE(receive(kind, nullptr, nullptr), AV_ER_DATA_NOREADY);
        }
        QCOMPARE(send(0, bufKB * 1024), 0);
        QVERIFY(sync(l.dav, l.av));
        QCOMPARE(receive(0, nullptr, nullptr), bufKB * 1024);
    }

    // What the reader's buffers and the sender's arguments allow.
    void frameSizes()
    {
        Link l;
        QVERIFY(open(l));
        const std::vector<char> big = pattern(AV_MAX_FRAME_SIZE + 1, 5), h = pattern(AV_FRAME_HEADER_SIZE, 9);
        QCOMPARE(P2PD_SendFrameData(l.dav, big.data(), 0, h.data(), 24), AV_ER_INVALID_ARG);
        QCOMPARE(P2PD_SendFrameData(l.dav, big.data(), AV_MAX_FRAME_SIZE + 1, h.data(), 24), AV_ER_INVALID_ARG);
        QCOMPARE(P2PD_SendFrameData(l.dav, big.data(), 10, h.data(), 25), AV_ER_INVALID_ARG);
        QCOMPARE(P2PD_SendFrameData(l.av, big.data(), 10, h.data(), 24), AV_ER_INVALID_ARG);
        QCOMPARE(P2PD_SendFrameData(l.dav, big.data(), AV_MAX_FRAME_SIZE, h.data(), 24), 0);
        for (int headerSize : {24, 24, 8})
            QCOMPARE(P2PD_SendFrameData(l.dav, big.data(), 100, h.data(), headerSize), 0);
        QCOMPARE(P2PD_SendAudioData(l.dav, big.data(), 50, h.data(), 24), 0);
        QVERIFY(sync(l.dav, l.av));
        std::vector<char> buf(AV_MAX_FRAME_SIZE);
        QCOMPARE(video(l.av, buf.data(), AV_MAX_FRAME_SIZE), AV_MAX_FRAME_SIZE);
        QVERIFY(buf == std::vector<char>(big.begin(), big.end() - 1));
        char info[AV_FRAME_HEADER_SIZE];
        std::memset(info, 'Z', sizeof info);
        int actual = -1, expected = -1, infoSize = -1;
        QCOMPARE(avRecvFrameData2(l.av, buf.data(), 100, &actual, &expected, info, 10, &infoSize, nullptr), 100);
        QCOMPARE(infoSize, 10);
        QCOMPARE(QByteArray(info, 24), bytes(h, 10) + QByteArray(14, 'Z'));
        QCOMPARE(avRecvFrameData2(l.av, buf.data(), 99, &actual, &expected, info, 24, &infoSize, nullptr), AV_ER_BUFPARA_MAXSIZE_INSUFF);
        QVERIFY(expected == 100 && actual == 0);
        QCOMPARE(video(l.av, buf.data(), 100, info, 24), 100); // the one too large is gone
        QCOMPARE(QByteArray(info, 24), bytes(h, 8) + QByteArray(16, '\0')); // a short header padded
        QCOMPARE(video(l.av, buf.data(), 100), AV_ER_DATA_NOREADY);
        QCOMPARE(avRecvAudioData(l.av, buf.data(), 50, nullptr, 0, nullptr), 50);
        QCOMPARE(avRecvAudioData(l.av, nullptr, 50, nullptr, 0, nullptr), AV_ER_INVALID_ARG);
        // From a peer that skips the checks: no room for the header, channel
        // 32, an unknown kind; all ignored.
        const int head = 4 + AV_FRAME_HEADER_SIZE;
        QVERIFY(rawSend(l.dsid, MsgKind::Video, 0, pattern(head - 1, 1)) && rawSend(l.dsid, MsgKind::Video, 32, pattern(head + 1, 1)));
        QVERIFY(rawSend(l.dsid, MsgKind(99), 0, pattern(head + 1, 1)) && sync(l.dav, l.av));
        QCOMPARE(video(l.av, buf.data(), 100), AV_ER_DATA_NOREADY);
    }

    void peerEnds_data()
    {
        QTest::addColumn<QByteArray>("how");
        QTest::addColumn<int>("avCode");
        QTest::addColumn<int>("checkCode");
        QTest::newRow("device closes the session") << QByteArray("close") << AV_ER_SESSION_CLOSE_BY_REMOTE << IOTC_ER_SESSION_CLOSE_BY_REMOTE;
        QTest::newRow("device stops its channel") << QByteArray("stop") << AV_ER_SESSION_CLOSE_BY_REMOTE << 0;
        QTest::newRow("device vanishes") << QByteArray("drop") << AV_ER_REMOTE_TIMEOUT_DISCONNECT << IOTC_ER_REMOTE_TIMEOUT_DISCONNECT;
    }
    // What was sent before the end is delivered first, then the reason, on
    // every call; after the local close the session is unknown (-14).
    void peerEnds()
    {
        QFETCH(QByteArray, how);
        QFETCH(int, avCode);
        QFETCH(int, checkCode);
        Link l;
        QVERIFY(open(l));
        QCOMPARE(P2PD_SendFrameData(l.dav, "v", 1, nullptr, 0) + P2PD_SendAudioData(l.dav, "a", 1, nullptr, 0), 0);
        QCOMPARE(avSendIOCtrl(l.dav, 7, "i", 1), 0);
        if (how == "stop")
            QCOMPARE(P2PD_AvServStop(std::exchange(l.dav, -1)), 0);
        else
            QCOMPARE((how == "close" ? IOTC_Session_Close : P2PD_Session_Drop)(std::exchange(l.dsid, -1)), 0);
        char buf[8];
        unsigned type = 0;
        for (int code : {1, avCode, IOTC_ER_INVALID_SID}) { // the data, the reason, after the close
            if (code == IOTC_ER_INVALID_SID) {
                QCOMPARE(avSendIOCtrl(l.av, 1, "x", 1), avCode);
                IOTCSessionInfo info;
                QCOMPARE(IOTC_Session_Check(l.sid, &info), checkCode);
                QCOMPARE(QByteArray(info.uid), QByteArray(kUid)); // filled all the same
                QCOMPARE(IOTC_Session_Close(std::exchange(l.sid, -1)), 0);
            }
            QCOMPARE(avRecvIOCtrl(l.av, &type, buf, sizeof buf, 10000), code);
            QCOMPARE(video(l.av, buf, 8), code);
            QCOMPARE(avRecvAudioData(l.av, buf, 8, nullptr, 0, nullptr), code);
        }
    }

    void wakeBlockedCall_data()
    {
        QTest::addColumn<QByteArray>("call");
        QTest::addColumn<QByteArray>("waker");
        QTest::addColumn<int>("expected");
        const struct { const char* call; const char* waker; int expected; } rows[] = {
            {"connect", "stop", IOTC_ER_CONNECT_STOPPED}, {"connect", "close", IOTC_ER_INVALID_SID},
            {"login", "close", IOTC_ER_INVALID_SID}, {"login", "device close", AV_ER_SESSION_CLOSE_BY_REMOTE},
            {"login", "device drop", AV_ER_REMOTE_TIMEOUT_DISCONNECT}, {"io", "av stop", AV_ER_CLIENT_EXIT},
            {"io", "close", IOTC_ER_INVALID_SID}, {"io", "av deinit", AV_ER_CLIENT_EXIT},
            {"io", "iotc deinit", IOTC_ER_INVALID_SID}, {"io", "device close", AV_ER_SESSION_CLOSE_BY_REMOTE},
            {"io", "device drop", AV_ER_REMOTE_TIMEOUT_DISCONNECT}, {"read", "destroy", RDT_ER_LOCAL_EXIT},
            {"read", "close", RDT_ER_SESSION_CLOSED}, {"read", "rdt deinit", RDT_ER_LOCAL_EXIT},
            {"read", "device destroy", RDT_ER_REMOTE_EXIT}, {"read", "device drop", RDT_ER_SESSION_CLOSED},
            {"create", "close", RDT_ER_SESSION_CLOSED}, {"create", "device refuse", RDT_ER_REMOTE_EXIT},
            {"create", "device drop", RDT_ER_SESSION_CLOSED}, {"connect", "shutdown", IOTC_ER_INVALID_SID},
            {"login", "shutdown", IOTC_ER_INVALID_SID}, {"read", "shutdown", RDT_ER_SESSION_CLOSED},
            {"io", "device hangs", AV_ER_REMOTE_TIMEOUT_DISCONNECT}, {"send", "close", AV_ER_REMOTE_TIMEOUT_DISCONNECT},
            {"frame", "device frame", 0}, {"frame", "close", IOTC_ER_INVALID_SID},
            {"frame", "device close", AV_ER_SESSION_CLOSE_BY_REMOTE},
        };
        for (const auto& r : rows)
            QTest::addRow("%s, %s", r.call, r.waker) << QByteArray(r.call) << QByteArray(r.waker) << r.expected;
    }
    // A call waiting on its own long time-out returns at once with the
    // reason when something else ends what it waits on.
    void wakeBlockedCall()
    {
        QFETCH(QByteArray, call);
        QFETCH(QByteArray, waker);
        QFETCH(int, expected);
        auto reinit = qScopeGuard([this] { IOTC_Initialize2(0); avInitialize(128); RDT_Initialize(); P2PD_SetFaults(m_dev, 0); IOTC_Set_KeepAlive(0, 0); });
        std::promise<void> entered, release;
        std::shared_future<void> released(release.get_future());
        Login held{AV_ER_WRONG_VIEWACC_PWD, 1, 0, [&] { entered.set_value(); released.wait(); }, {}, {}};
        std::future<int> device, blocked;
        auto unblock = qScopeGuard([&] { release.set_value(); }); // before the futures wait
        Link l; // closed first: a call still blocked wakes up
        int c = -1, d = -1;
        if (call == "connect") {
            P2PD_SetFaults(m_dev, P2PD_FAULT_STALL);
            l.sid = IOTC_Get_SessionID();
            blocked = std::async(std::launch::async, [sid = l.sid] { return IOTC_Connect_ByUID_Parallel(kUid, sid); });
            QTRY_VERIFY(inSession(l.sid, [](P2PSession& s) { return s.state == P2PSession::State::Connecting; }));
        } else if (call == "login") {
            QVERIFY(connect(l));
            device = std::async(std::launch::async, [&] { return P2PD_AvServStart(l.dsid, 0, 30000, decide, &held); });
            blocked = std::async(std::launch::async, [sid = l.sid] { return avClientStart2(sid, "a", "b", 30, nullptr, 0, nullptr); });
            QCOMPARE(entered.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
        } else if (call == "send") {
            // A device that reads nothing: the sender blocks once the
            // socket buffers are full (its current send is long running).
            QVERIFY(open(l));
            P2PD_SetFaults(m_dev, P2PD_FAULT_SILENT);
            auto since = std::make_shared<std::atomic<int64_t>>(INT64_MAX);
            blocked = std::async(std::launch::async, [since, av = l.av] {
                const std::vector<char> big(AV_MAX_IOCTRL_SIZE);
                int r;
                do
                    since->store(P2PWire::nowMs());
                while ((r = avSendIOCtrl(av, 1, big.data(), int(big.size()))) == 0);
                return r;
            });
            QTRY_VERIFY_WITH_TIMEOUT(P2PWire::nowMs() - since->load() > 500, 20000);
        } else {
            QVERIFY(open(l) && (call != "read" || openRdt(l, 1, &c, &d)));
            const long before = users(l.sid);
            blocked = std::async(std::launch::async, [call, sid = l.sid, av = l.av, c] { // copies: the wakers change l
                char b[8];
                unsigned t;
                return call == "io" ? avRecvIOCtrl(av, &t, b, sizeof b, 30000)
                    : call == "frame" ? avWaitVideoFrame(av, 30000)
                    : call == "read" ? RDT_Read(c, b, sizeof b, 30000) : RDT_Create(sid, 30000, 1);
            });
            QTRY_VERIFY(users(l.sid) > before);
        }
        const std::map<QByteArray, std::function<int()>> wakers = {
            {"stop", [&] { return IOTC_Connect_Stop_BySID(l.sid); }},
            {"close", [&] { return IOTC_Session_Close(std::exchange(l.sid, -1)); }},
            {"shutdown", [&] { return IOTC_Session_Shutdown(l.sid); }},
            {"device hangs", [&] { return P2PD_SetFaults(m_dev, P2PD_FAULT_SILENT) + IOTC_Set_KeepAlive(50, 500); }},
            {"av stop", [&] { return avClientStop(l.av); }},
            {"av deinit", [] { return avDeInitialize(); }},
            {"iotc deinit", [] { return IOTC_DeInitialize(); }},
            {"rdt deinit", [] { return RDT_DeInitialize(); }},
            {"destroy", [&] { return RDT_Destroy(c); }},
            {"device close", [&] { return IOTC_Session_Close(std::exchange(l.dsid, -1)); }},
            {"device drop", [&] { return P2PD_Session_Drop(std::exchange(l.dsid, -1)); }},
            {"device destroy", [&] { return RDT_Destroy(d); }},
            {"device refuse", [&] { return P2PD_RdtRefuse(l.dsid, 1, 10000); }},
            {"device frame", [&] { return P2PD_SendFrameData(l.dav, "v", 1, nullptr, 0); }},
        };
        QElapsedTimer t;
        t.start();
        QCOMPARE(wakers.at(waker)(), 0);
        QCOMPARE(blocked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
        QVERIFY2(t.elapsed() < 5000, "woken at once, not at its time-out (10 s and more)");
        QCOMPARE(blocked.get(), expected);
        RDT_Destroy(c);
        RDT_Destroy(d);
        if (waker == "shutdown") // the id stays claimed until its owner closes it
            QCOMPARE(IOTC_Session_Close(std::exchange(l.sid, -1)), 0);
        if (waker == "iotc deinit") // and nothing new opens
            QCOMPARE(IOTC_Get_SessionID(), IOTC_ER_NOT_INITIALIZED);
        if (waker == "rdt deinit")
            QCOMPARE(RDT_Create(l.sid, 10, 1), RDT_ER_NOT_INITIALIZED);
    }

    void rdtCreate_data()
    {
        QTest::addColumn<RdtRow>("row");
        const QByteArray link, none("none"), claimed("claimed"), opens("opens");
        QTest::newRow("channel 1") << RdtRow{1, 10000, link, opens, 0};
        QTest::newRow("channel 31") << RdtRow{31, 10000, link, opens, 0};
        QTest::newRow("channel 0 is the AV channel") << RdtRow{0, 10000, link, {}, RDT_ER_INVALID_ARG};
        QTest::newRow("channel 32") << RdtRow{32, 10000, link, {}, RDT_ER_INVALID_ARG};
        QTest::newRow("negative time-out") << RdtRow{1, -1, link, {}, RDT_ER_INVALID_ARG};
        QTest::newRow("no session") << RdtRow{1, 100, none, {}, RDT_ER_INVALID_SID};
        QTest::newRow("session not connected") << RdtRow{1, 100, claimed, {}, RDT_ER_INVALID_SID};
        QTest::newRow("nobody opens it") << RdtRow{4, 100, link, {}, RDT_ER_TIMEOUT};
        QTest::newRow("the device refuses") << RdtRow{5, 10000, link, "refuses", RDT_ER_REMOTE_EXIT};
        QTest::newRow("the device gave up before") << RdtRow{6, 100, link, "gave up", RDT_ER_TIMEOUT};
    }
    // A failed open leaves the channel fit for a real one.
    void rdtCreate()
    {
        QFETCH(RdtRow, row);
        Link l;
        QVERIFY(open(l));
        const int claimed = IOTC_Get_SessionID(), channel = row.channel;
        auto release = qScopeGuard([claimed] { IOTC_Session_Close(claimed); });
        std::future<int> dev;
        if (row.device == "opens")
            dev = std::async(std::launch::async, [&] { return RDT_Create(l.dsid, 10000, uchar(channel)); });
        if (row.device == "refuses")
            dev = std::async(std::launch::async, [&] { return P2PD_RdtRefuse(l.dsid, uchar(channel), 10000); });
        if (row.device == "gave up") // its open and close came in: nothing is open there
            QVERIFY(RDT_Create(l.dsid, 100, uchar(channel)) == RDT_ER_TIMEOUT && sync(l.dav, l.av));
        int r = RDT_Create(row.session == "none" ? -1 : row.session == "claimed" ? claimed : l.sid, row.timeoutMs, uchar(channel));
        int d = dev.valid() ? dev.get() : -1;
        const int ch = qBound(1, channel, IOTC_MAX_CHANNELS - 1);
        if (row.expected) {
            QCOMPARE(r, row.expected);
            QCOMPARE(d, row.device == "refuses" ? 0 : -1);
            QVERIFY(sync(l.av, l.dav)); // the device has seen everything
            QVERIFY(openRdt(l, ch, &r, &d));
        }
        QVERIFY(r >= 0 && d >= 0);
        QCOMPARE(RDT_Create(l.sid, 100, uchar(ch)), RDT_ER_CHANNEL_IN_USE);
        QCOMPARE(RDT_Write(r, "up", 2) + RDT_Write(d, "down", 4), 6);
        QCOMPARE(rdtRead(d, 8, 10000) + rdtRead(r, 8, 10000), QByteArray("updown"));
        QCOMPARE(RDT_Destroy(r), 0);
        QCOMPARE(RDT_Destroy(r), RDT_ER_INVALID_RDT_ID);
        QCOMPARE(P2PD_RdtRefuse(l.dsid, 0, 0), IOTC_ER_INVALID_ARG);
        RDT_Destroy(d);
    }

    // Writes up to the largest size; short reads keep the rest; the peer's
    // end comes after its data; unread bytes never reach a later stream.
    void rdtStream()
    {
        Link l;
        int c, d;
        QVERIFY(open(l) && openRdt(l, 3, &c, &d));
        const std::vector<char> big = pattern(RDT_MAX_WRITE_SIZE + 1, 1);
        QCOMPARE(RDT_Write(c, big.data(), 0), RDT_ER_INVALID_ARG);
        QCOMPARE(RDT_Write(c, big.data(), RDT_MAX_WRITE_SIZE + 1), RDT_ER_INVALID_ARG);
        QCOMPARE(RDT_Write(c, big.data(), RDT_MAX_WRITE_SIZE), RDT_MAX_WRITE_SIZE);
        QByteArray got;
        while (got.size() < RDT_MAX_WRITE_SIZE && !got.startsWith("error"))
            got += rdtRead(d, 65536, 10000);
        QCOMPARE(got, bytes(big, RDT_MAX_WRITE_SIZE));

        QCOMPARE(RDT_Write(d, "hello", 5) + RDT_Write(d, "world!", 6), 11);
        QVERIFY(sync(l.dav, l.av));
        QCOMPARE(rdtRead(c, 4, 0), QByteArray("hell"));
        QCOMPARE(rdtRead(c, 100, 0), QByteArray("oworld!"));
        QCOMPARE(rdtRead(c, 1, 0), "error " + QByteArray::number(RDT_ER_TIMEOUT));
        QCOMPARE(RDT_Read(c, nullptr, 1, 0), RDT_ER_INVALID_ARG);

        QCOMPARE(RDT_Write(d, "end", 3), 3);
        QCOMPARE(RDT_Destroy(d), 0);
        QVERIFY(sync(l.dav, l.av));
        QCOMPARE(rdtRead(c, 2, 0), QByteArray("en"));
        QCOMPARE(RDT_Write(c, "x", 1), RDT_ER_REMOTE_EXIT);
        QCOMPARE(RDT_Destroy(c), 0); // with "d" unread
        QVERIFY(sync(l.av, l.dav) && openRdt(l, 3, &c, &d));
        QCOMPARE(RDT_Write(d, "new", 3), 3);
        QVERIFY(sync(l.dav, l.av));
        QCOMPARE(rdtRead(c, 100, 0), QByteArray("new"));
        QCOMPARE(RDT_Destroy(d), 0);
        QCOMPARE(rdtRead(c, 100, 10000), "error " + QByteArray::number(RDT_ER_REMOTE_EXIT));
        RDT_Destroy(c);

        // Bytes for a channel nobody has open are dropped.
        QVERIFY(rawSend(l.dsid, MsgKind::RdtData, 6, {'o', 'l', 'd'}) && sync(l.dav, l.av) && openRdt(l, 6, &c, &d));
        QCOMPARE(RDT_Write(d, "fresh", 5), 5);
        QVERIFY(sync(l.dav, l.av));
        QCOMPARE(rdtRead(c, 100, 0), QByteArray("fresh"));
        RDT_Destroy(c);
        RDT_Destroy(d);
    }

    void rdtBacklog_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::newRow("exactly the limit") << int(kMaxRdtBuffered);
        QTest::newRow("one byte over") << int(kMaxRdtBuffered) + 1;
    }
    // A peer that sends far more than is read breaks the stream off.
    void rdtBacklog()
    {
        QFETCH(int, bytes);
        Link l;
        int c, d;
        QVERIFY(open(l) && openRdt(l, 7, &c, &d));
        std::vector<char> chunk = pattern(RDT_MAX_WRITE_SIZE, 2);
        for (int left = bytes; left > 0; left -= RDT_MAX_WRITE_SIZE)
            QVERIFY(RDT_Write(d, chunk.data(), qMin(left, RDT_MAX_WRITE_SIZE)) > 0);
        QVERIFY(sync(l.dav, l.av));
        qint64 total = 0;
        for (int n; (n = RDT_Read(c, chunk.data(), RDT_MAX_WRITE_SIZE, 0)) > 0;)
            total += n;
        const bool over = bytes > int(kMaxRdtBuffered);
        QCOMPARE(total, over ? 0 : qint64(bytes));
        QCOMPARE(RDT_Read(c, chunk.data(), 1, 0), over ? RDT_ER_REMOTE_EXIT : RDT_ER_TIMEOUT);
        RDT_Destroy(c);
        RDT_Destroy(d);
    }

    // The lowest unused channel 1..31, skipping one with an open stream.
    void freeChannels()
    {
        Link l;
        int c, d;
        QVERIFY(open(l) && openRdt(l, 1, &c, &d));
        for (int ch = 2; ch < IOTC_MAX_CHANNELS; ++ch)
            QCOMPARE(IOTC_Session_Get_Free_Channel(l.sid), ch);
        QCOMPARE(IOTC_Session_Get_Free_Channel(l.sid), IOTC_ER_NO_FREE_CHANNEL);
        const int claimed = IOTC_Get_SessionID();
        QCOMPARE(IOTC_Session_Get_Free_Channel(claimed), IOTC_ER_INVALID_SID);
        IOTC_Session_Close(claimed);
        QCOMPARE(IOTC_Session_Get_Free_Channel(-1), IOTC_ER_INVALID_SID);
        RDT_Destroy(c);
        RDT_Destroy(d);
    }

    void fuzzInputs() // what the fuzzer kept, and inputs made at the limits
    {
        for (const char* folder : {"fuzz-corpus/fuzz_p2pwire", "fuzz-regressions"}) {
            const QDir dir(QStringLiteral(VC_SOURCE_DIR "/tests/p2p/") + folder);
            QVERIFY2(!dir.entryList(QDir::Files).isEmpty(), folder);
            for (const QString& name : dir.entryList(QDir::Files)) {
                QFile f(dir.filePath(name));
                QVERIFY(f.open(QIODevice::ReadOnly));
                const QByteArray in = f.readAll();
                runP2PFuzzInput(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestP2p)
#include "tst_p2p.moc"
