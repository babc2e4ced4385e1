// The P2P library through its public C API, with a device served by the same
// process: sessions, stop, AV login, IO-control, frames, buffer limit, RDT.

#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/rdtapi.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// A device that hands every accepted session to a handler on its own thread.
class TestDevice
{
public:
    using Handler = std::function<void(int sid)>;

    TestDevice(const char* uid, Handler h) : m_handler(std::move(h))
    {
        handle = P2PD_Register(uid, nullptr, 0);
        if (handle >= 0)
            m_acceptor = std::thread([this] { run(); });
    }
    ~TestDevice()
    {
        if (handle >= 0)
            P2PD_Unregister(handle);
        if (m_acceptor.joinable())
            m_acceptor.join();
        for (auto& t : m_sessions)
            t.join();
    }
    int handle = -1;

private:
    void run()
    {
        for (;;) {
            const int sid = P2PD_Accept(handle, 200);
            if (sid == P2PD_ER_INVALID_DEVICE)
                return;
            if (sid >= 0)
                m_sessions.emplace_back([this, sid] { m_handler(sid); });
        }
    }
    Handler m_handler;
    std::thread m_acceptor;
    std::vector<std::thread> m_sessions;
};

struct Login
{
    std::string account, password;
    int resend = 1;
    std::atomic<int> seen{0};
};

int checkLogin(void* user, int, const char* account, const char* password, int* resend, unsigned int* service)
{
    auto* l = static_cast<Login*>(user);
    l->seen++;
    *service = 7;
    *resend = l->resend;
    if (account == l->account && password == l->password)
        return 0;
    return AV_ER_WRONG_VIEWACC_PWD;
}

// Waits until the device side has closed its session (its handler returned).
void closeWhenDone(int sid, int av)
{
    if (av >= 0)
        P2PD_AvServStop(av);
    IOTC_Session_Close(sid);
}

} // namespace

class TstP2pSdk : public QObject
{
    Q_OBJECT

private:
    int m_dir = -1;
    int connectClient(const char* uid)
    {
        const int sid = IOTC_Get_SessionID();
        if (sid < 0)
            return sid;
        const int r = IOTC_Connect_ByUID_Parallel(uid, sid);
        if (r < 0) {
            IOTC_Session_Close(sid);
            return r;
        }
        return sid;
    }

private slots:
    void initTestCase()
    {
        m_dir = P2PDir_Start(0);
        QVERIFY(m_dir >= 0);
        const std::string addr = "127.0.0.1:" + std::to_string(P2PDir_Port(m_dir));
        QCOMPARE(IOTC_Set_Directory(addr.c_str()), 0);
        char buf[64];
        QCOMPARE(IOTC_Get_Directory(buf, sizeof buf), int(addr.size()));
        QCOMPARE(std::string(buf), addr);
        QCOMPARE(IOTC_Initialize2(0), 0);
        QVERIFY(avInitialize(16) > 0);
        QVERIFY(RDT_Initialize() > 0);
    }

    void cleanupTestCase()
    {
        RDT_DeInitialize();
        avDeInitialize();
        IOTC_DeInitialize();
        P2PDir_Stop(m_dir);
        IOTC_Set_Directory(nullptr);
    }

    void init() { avClientSetMaxBufSize(0); }

    void directorySetting()
    {
        QCOMPARE(IOTC_Set_Directory("nonsense"), IOTC_ER_INVALID_ARG);
        QCOMPARE(IOTC_Set_Directory("127.0.0.1:0"), IOTC_ER_INVALID_ARG);
        // A duplicate UID is refused while the first device lives.
        TestDevice a("UID-dup", [](int sid) { IOTC_Session_Close(sid); });
        QVERIFY(a.handle >= 0);
        QCOMPARE(P2PD_Register("UID-dup", nullptr, 0), P2PD_ER_UID_TAKEN);
        QCOMPARE(P2PD_Register("bad uid", nullptr, 0), IOTC_ER_INVALID_ARG);
        QCOMPARE(P2PD_Register("UID-x", "127.0.0.1:1", 0), IOTC_ER_DIRECTORY_UNREACHABLE);
    }

    void connectCheckAndClose()
    {
        std::atomic<int> deviceSid{-1};
        std::atomic<bool> sawClose{false};
        TestDevice dev("UID-basic", [&](int sid) {
            deviceSid = sid;
            char uid[32];
            P2PD_Session_Uid(sid, uid, sizeof uid);
            unsigned int type = 0;
            char buf[16];
            // Wait for the client to go away: the AV login never comes, the
            // session ends by the client's close.
            const int r = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
            sawClose = (r == AV_ER_SESSION_CLOSE_BY_REMOTE);
            (void)type;
            (void)buf;
            IOTC_Session_Close(sid);
        });
        QVERIFY(dev.handle >= 0);
        const int sid = connectClient("UID-basic");
        QVERIFY2(sid >= 0, QByteArray::number(sid));
        IOTCSessionInfo info;
        QCOMPARE(IOTC_Session_Check(sid, &info), 0);
        QCOMPARE(int(info.mode), IOTC_MODE_LAN);
        QCOMPARE(QByteArray(info.uid), QByteArray("UID-basic"));
        QCOMPARE(QByteArray(info.remoteIp), QByteArray("127.0.0.1"));
        QCOMPARE(int(info.remotePort), P2PD_Port(dev.handle));
        QVERIFY(info.version != 0);
        QTRY_VERIFY(deviceSid >= 0);
        // Connecting the same id again is refused.
        QCOMPARE(IOTC_Connect_ByUID_Parallel("UID-basic", sid), IOTC_ER_ALREADY_CONNECTED);
        QCOMPARE(IOTC_Session_Close(sid), 0);
        QCOMPARE(IOTC_Session_Close(sid), IOTC_ER_INVALID_SID);
        QCOMPARE(IOTC_Session_Check(sid, &info), IOTC_ER_INVALID_SID);
        QTRY_VERIFY(sawClose.load());
    }

    void connectFailures()
    {
        QElapsedTimer t;
        t.start();
        QCOMPARE(connectClient("UID-nobody"), IOTC_ER_UNKNOWN_UID);
        QVERIFY(t.elapsed() < 2000);
        QCOMPARE(IOTC_Connect_ByUID_Parallel("UID-nobody", 200), IOTC_ER_INVALID_SID);
        const int sid = IOTC_Get_SessionID();
        QCOMPARE(IOTC_Connect_ByUID_Parallel("", sid), IOTC_ER_INVALID_ARG);
        QCOMPARE(IOTC_Connect_ByUID_Parallel("UID-longer-than-twenty-chars", sid), IOTC_ER_INVALID_ARG);
        IOTC_Session_Close(sid);

        TestDevice dev("UID-refuse", [](int sid) { IOTC_Session_Close(sid); });
        QCOMPARE(P2PD_SetFaults(dev.handle, P2PD_FAULT_REFUSE), 0);
        QCOMPARE(connectClient("UID-refuse"), IOTC_ER_SESSION_REFUSED);

        // A device that was registered and went away reads as offline.
        const int h = P2PD_Register("UID-gone", nullptr, 0);
        QVERIFY(h >= 0);
        QCOMPARE(P2PD_Unregister(h), 0);
        QTRY_COMPARE(connectClient("UID-gone"), IOTC_ER_DEVICE_OFFLINE);
    }

    void stopFromAnotherThread()
    {
        TestDevice dev("UID-stall", [](int sid) { IOTC_Session_Close(sid); });
        QCOMPARE(P2PD_SetFaults(dev.handle, P2PD_FAULT_STALL), 0);
        const int sid = IOTC_Get_SessionID();
        QVERIFY(sid >= 0);
        std::atomic<int> result{1};
        QElapsedTimer sinceStop;
        std::atomic<qint64> returnedAfter{-1};
        std::thread t([&] {
            result = IOTC_Connect_ByUID_Parallel("UID-stall", sid);
            returnedAfter = sinceStop.elapsed();
        });
        QTest::qWait(300);
        QCOMPARE(result.load(), 1); // still blocked
        sinceStop.start();
        QCOMPARE(IOTC_Connect_Stop_BySID(sid), 0);
        t.join();
        QCOMPARE(result.load(), IOTC_ER_CONNECT_STOPPED);
        QVERIFY2(returnedAfter < 1000, QByteArray::number(returnedAfter.load()));
        IOTC_Session_Close(sid);

        // A stop between claiming the id and the connect stops that connect.
        const int sid2 = IOTC_Get_SessionID();
        QCOMPARE(IOTC_Connect_Stop_BySID(sid2), 0);
        QCOMPARE(IOTC_Connect_ByUID_Parallel("UID-stall", sid2), IOTC_ER_CONNECT_STOPPED);
        IOTC_Session_Close(sid2);

        // Closing the session also ends a blocked connect.
        const int sid3 = IOTC_Get_SessionID();
        std::thread t3([&] { result = IOTC_Connect_ByUID_Parallel("UID-stall", sid3); });
        QTest::qWait(100);
        IOTC_Session_Close(sid3);
        t3.join();
        QCOMPARE(result.load(), IOTC_ER_INVALID_SID);
    }

    void avLoginAndIoCtrl()
    {
        Login login;
        login.account = "admin";
        login.password = "pw123";
        std::atomic<bool> done{false};
        TestDevice dev("UID-av", [&](int sid) {
            int av = -1;
            for (int i = 0; i < 3 && av < 0; ++i) {
                av = P2PD_AvServStart(sid, 0, 5000, checkLogin, &login);
                if (av < 0 && av != AV_ER_WRONG_VIEWACC_PWD)
                    break;
            }
            if (av >= 0) {
                // Echo every IO-control message back with type + 1.
                for (;;) {
                    unsigned int type = 0;
                    char buf[AV_MAX_IOCTRL_SIZE];
                    const int n = avRecvIOCtrl(av, &type, buf, sizeof buf, 2000);
                    if (n < 0)
                        break;
                    avSendIOCtrl(av, type + 1, buf, n);
                }
            }
            closeWhenDone(sid, av);
            done = true;
        });
        const int sid = connectClient("UID-av");
        QVERIFY(sid >= 0);
        int resend = -1;
        unsigned int service = 0;
        QCOMPARE(avClientStart2(sid, "admin", "wrong", 5, &service, 0, &resend), AV_ER_WRONG_VIEWACC_PWD);
        const int av = avClientStart2(sid, "admin", "pw123", 5, &service, 0, &resend);
        QVERIFY2(av >= 0, QByteArray::number(av));
        QCOMPARE(resend, 1);
        QCOMPARE(service, 7u);
        QCOMPARE(login.seen.load(), 2);
        QCOMPARE(avClientStart2(sid, "admin", "pw123", 5, nullptr, 0, nullptr), AV_ER_CHANNEL_IN_USE);

        // Time-out with nothing queued.
        unsigned int type = 0;
        char buf[2048];
        QElapsedTimer t;
        t.start();
        QCOMPARE(avRecvIOCtrl(av, &type, buf, sizeof buf, 150), AV_ER_TIMEOUT);
        QVERIFY(t.elapsed() >= 140 && t.elapsed() < 2000);

        // A 2048-byte message arrives whole, without any terminator added.
        std::string big(2048, 'x');
        QCOMPARE(avSendIOCtrl(av, 0x100, big.data(), int(big.size())), 0);
        std::memset(buf, 0, sizeof buf);
        QCOMPARE(avRecvIOCtrl(av, &type, buf, sizeof buf, 2000), 2048);
        QCOMPARE(type, 0x101u);
        QCOMPARE(std::string(buf, 2048), big);
        // Too small a buffer drops the message with its own code.
        QCOMPARE(avSendIOCtrl(av, 0x200, big.data(), 100), 0);
        QCOMPARE(avRecvIOCtrl(av, &type, buf, 50, 2000), AV_ER_BUFPARA_MAXSIZE_INSUFF);
        QCOMPARE(type, 0x201u);
        QCOMPARE(avSendIOCtrl(av, 1, big.data(), AV_MAX_IOCTRL_SIZE + 1), AV_ER_EXCEED_MAX_SIZE);

        // Concurrent send and receive on the one channel.
        const int count = 300;
        std::atomic<int> received{0};
        std::atomic<bool> orderOk{true};
        std::thread reader([&] {
            for (int i = 0; i < count; ++i) {
                unsigned int ty = 0;
                char b[64];
                const int n = avRecvIOCtrl(av, &ty, b, sizeof b, 3000);
                if (n != 4 || ty != 0x501u) {
                    orderOk = false;
                    return;
                }
                int v;
                std::memcpy(&v, b, 4);
                if (v != i)
                    orderOk = false;
                received++;
            }
        });
        std::thread writer([&] {
            for (int i = 0; i < count; ++i)
                avSendIOCtrl(av, 0x500, reinterpret_cast<const char*>(&i), 4);
        });
        writer.join();
        reader.join();
        QVERIFY(orderOk.load());
        QCOMPARE(received.load(), count);

        // avClientStop wakes a blocked receive and invalidates the index.
        std::atomic<int> blocked{1};
        std::thread w([&] {
            unsigned int ty;
            char b[8];
            blocked = avRecvIOCtrl(av, &ty, b, sizeof b, 5000);
        });
        QTest::qWait(100);
        QCOMPARE(avClientStop(av), 0);
        w.join();
        QCOMPARE(blocked.load(), AV_ER_CLIENT_EXIT);
        QCOMPARE(avSendIOCtrl(av, 1, nullptr, 0), AV_ER_INVALID_ARG);
        QTRY_VERIFY(done.load());
        IOTC_Session_Close(sid);
    }

    void avLoginTimeoutAndNoResend()
    {
        Login login;
        login.account = "admin";
        login.password = "pw";
        login.resend = 0;
        std::atomic<int> devResult{1};
        TestDevice dev("UID-noresend", [&](int sid) {
            devResult = P2PD_AvServStart(sid, 0, 5000, checkLogin, &login);
            // Keep the session until the client closes it.
            unsigned int t;
            char b[4];
            while (devResult >= 0 && avRecvIOCtrl(devResult, &t, b, sizeof b, 100) == AV_ER_TIMEOUT) {
            }
            closeWhenDone(sid, devResult);
        });
        const int sid = connectClient("UID-noresend");
        QVERIFY(sid >= 0);
        int resend = -1;
        const int av = avClientStart2(sid, "admin", "pw", 5, nullptr, 0, &resend);
        QVERIFY(av >= 0);
        QCOMPARE(resend, 0);
        avClientStop(av);
        IOTC_Session_Close(sid);

        TestDevice stall("UID-avstall", [&](int sid) {
            P2PD_AvServStart(sid, 0, 3000, checkLogin, &login);
            IOTC_Session_Close(sid);
        });
        P2PD_SetFaults(stall.handle, P2PD_FAULT_STALL_AV);
        const int sid2 = connectClient("UID-avstall");
        QVERIFY(sid2 >= 0);
        QElapsedTimer t;
        t.start();
        QCOMPARE(avClientStart2(sid2, "admin", "pw", 1, nullptr, 0, nullptr), AV_ER_TIMEOUT);
        QVERIFY(t.elapsed() >= 900);
        IOTC_Session_Close(sid2);
    }

    void peerCloseAndDrop_data()
    {
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("expected");
        QTest::newRow("device closes session") << 0 << AV_ER_SESSION_CLOSE_BY_REMOTE;
        QTest::newRow("device stops channel") << 1 << AV_ER_SESSION_CLOSE_BY_REMOTE;
        QTest::newRow("device drops connection") << 2 << AV_ER_REMOTE_TIMEOUT_DISCONNECT;
    }

    void peerCloseAndDrop()
    {
        QFETCH(int, how);
        QFETCH(int, expected);
        const std::string uid = "UID-peer" + std::to_string(how);
        TestDevice dev(uid.c_str(), [how](int sid) {
            const int av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
            if (av < 0) {
                IOTC_Session_Close(sid);
                return;
            }
            char header[AV_FRAME_HEADER_SIZE] = {};
            header[2] = 1;
            P2PD_SendFrameData(av, "frame-1", 7, header, sizeof header);
            P2PD_SendAudioData(av, "aud", 3, header, 8);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            if (how == 0) {
                IOTC_Session_Close(sid);
                P2PD_AvServStop(av);
            } else if (how == 1) {
                P2PD_AvServStop(av);
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                IOTC_Session_Close(sid);
            } else {
                P2PD_Session_Drop(sid);
                P2PD_AvServStop(av);
            }
        });
        const int sid = connectClient(uid.c_str());
        QVERIFY(sid >= 0);
        const int av = avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr);
        QVERIFY(av >= 0);
        QTest::qWait(50);
        // Frames sent before the close are still delivered, then the reason.
        char buf[64];
        char header[AV_FRAME_HEADER_SIZE];
        int actual = 0, expectedSize = 0, headerSize = 0;
        unsigned int number = 99;
        int r = AV_ER_DATA_NOREADY;
        for (int i = 0; i < 100 && r == AV_ER_DATA_NOREADY; ++i) {
            r = avRecvFrameData2(av, buf, sizeof buf, &actual, &expectedSize, header, sizeof header, &headerSize,
                                 &number);
            if (r == AV_ER_DATA_NOREADY)
                QTest::qWait(10);
        }
        QCOMPARE(r, 7);
        QCOMPARE(QByteArray(buf, 7), QByteArray("frame-1"));
        QCOMPARE(headerSize, AV_FRAME_HEADER_SIZE);
        QCOMPARE(int(header[2]), 1);
        QCOMPARE(number, 0u);
        // Polls a receive call until it gives something other than "not yet".
        auto poll = [](const std::function<int()>& call) {
            int v = AV_ER_DATA_NOREADY;
            for (int i = 0; i < 300 && v == AV_ER_DATA_NOREADY; ++i) {
                v = call();
                if (v == AV_ER_DATA_NOREADY)
                    QTest::qWait(10);
            }
            return v;
        };
        QCOMPARE(poll([&] { return avRecvAudioData(av, buf, sizeof buf, header, sizeof header, &number); }), 3);
        QCOMPARE(poll([&] {
                     return avRecvFrameData2(av, buf, sizeof buf, &actual, &expectedSize, header, sizeof header,
                                             &headerSize, &number);
                 }),
                 expected);
        QCOMPARE(avRecvAudioData(av, buf, sizeof buf, header, sizeof header, &number), expected);
        unsigned int type;
        QCOMPARE(avRecvIOCtrl(av, &type, buf, sizeof buf, 10), expected);
        QVERIFY(avSendIOCtrl(av, 1, "x", 1) < 0);
        // After a local session close the channel reports -14.
        IOTC_Session_Close(sid);
        QCOMPARE(avRecvFrameData2(av, buf, sizeof buf, &actual, &expectedSize, header, sizeof header,
                                  &headerSize, &number),
                 IOTC_ER_INVALID_SID);
        QCOMPARE(avRecvAudioData(av, buf, sizeof buf, header, sizeof header, &number), IOTC_ER_INVALID_SID);
        avClientStop(av);
    }

    void frameLossUnderTinyBuffer()
    {
        // 4 KB of buffer, 20 frames of 1000 bytes sent at once to a reader
        // that only starts later: whole frames are kept, the rest is lost.
        avClientSetMaxBufSize(4);
        std::atomic<bool> sent{false};
        TestDevice dev("UID-loss", [&](int sid) {
            const int av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
            if (av >= 0) {
                for (int i = 0; i < 20; ++i) {
                    std::string frame(1000, char('a' + i));
                    char header[AV_FRAME_HEADER_SIZE] = {};
                    header[20] = char(i);
                    P2PD_SendFrameData(av, frame.data(), int(frame.size()), header, sizeof header);
                }
                sent = true;
                unsigned int t;
                char b[4];
                while (avRecvIOCtrl(av, &t, b, sizeof b, 100) == AV_ER_TIMEOUT) {
                }
            }
            closeWhenDone(sid, av);
        });
        const int sid = connectClient("UID-loss");
        QVERIFY(sid >= 0);
        const int av = avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr);
        QVERIFY(av >= 0);
        QTRY_VERIFY(sent.load());
        QTest::qWait(200);
        std::vector<int> got;
        int losses = 0;
        unsigned int firstLost = 0;
        for (;;) {
            char buf[2000];
            char header[AV_FRAME_HEADER_SIZE];
            unsigned int number = 0;
            const int r = avRecvFrameData2(av, buf, sizeof buf, nullptr, nullptr, header, sizeof header, nullptr,
                                           &number);
            if (r == AV_ER_DATA_NOREADY)
                break;
            if (r == AV_ER_LOSED_THIS_FRAME) {
                if (!losses)
                    firstLost = number;
                ++losses;
                continue;
            }
            QCOMPARE(r, 1000);
            // Every delivered frame is complete and matches its header.
            QCOMPARE(int(header[20]), int(number));
            QCOMPARE(std::string(buf, 1000), std::string(1000, char('a' + number)));
            got.push_back(int(number));
        }
        QCOMPARE(int(got.size()), 4);
        QCOMPARE(got, (std::vector<int>{0, 1, 2, 3}));
        QCOMPARE(losses, 1); // one report for the run of lost frames
        QCOMPARE(firstLost, 4u);
        // Reading freed the buffer: new frames fit again.
        avClientStop(av);
        IOTC_Session_Close(sid);
    }

    void rdtStream()
    {
        std::atomic<int> devRead{0};
        TestDevice dev("UID-rdt", [&](int sid) {
            const int rdt = RDT_Create(sid, 3000, 3);
            if (rdt >= 0) {
                char req[4];
                int n = RDT_Read(rdt, req, sizeof req, 3000);
                devRead = n;
                RDT_Write(rdt, "hello", 5);
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                RDT_Write(rdt, "world!", 6);
                // Wait for the client to destroy its side.
                char b[4];
                while (RDT_Read(rdt, b, sizeof b, 100) == RDT_ER_TIMEOUT) {
                }
                RDT_Destroy(rdt);
            }
            IOTC_Session_Close(sid);
        });
        const int sid = connectClient("UID-rdt");
        QVERIFY(sid >= 0);
        const int ch = IOTC_Session_Get_Free_Channel(sid);
        QCOMPARE(ch, 1);
        QCOMPARE(IOTC_Session_Get_Free_Channel(sid), 2);
        // The device opens channel 3 only.
        QElapsedTimer t;
        t.start();
        QCOMPARE(RDT_Create(sid, 200, static_cast<unsigned char>(ch)), RDT_ER_TIMEOUT);
        QVERIFY(t.elapsed() >= 190);
        QCOMPARE(RDT_Create(sid, 1000, 0), RDT_ER_INVALID_ARG);
        const int rdt = RDT_Create(sid, 3000, 3);
        QVERIFY2(rdt >= 0, QByteArray::number(rdt));
        QCOMPARE(RDT_Create(sid, 100, 3), RDT_ER_CHANNEL_IN_USE);
        QCOMPARE(RDT_Write(rdt, "\x06\0\0\0", 4), 4);
        char buf[100];
        // Short read: asks for 100, gets what is there.
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 3000), 5);
        QCOMPARE(QByteArray(buf, 5), QByteArray("hello"));
        // Asked for fewer than available: the rest stays for the next read.
        QCOMPARE(RDT_Read(rdt, buf, 4, 3000), 4);
        QCOMPARE(QByteArray(buf, 4), QByteArray("worl"));
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 3000), 2);
        QCOMPARE(QByteArray(buf, 2), QByteArray("d!"));
        t.restart();
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 150), RDT_ER_TIMEOUT);
        QVERIFY(t.elapsed() >= 140);
        QCOMPARE(devRead.load(), 4);
        QCOMPARE(RDT_Destroy(rdt), 0);
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 10), RDT_ER_INVALID_RDT_ID);
        QCOMPARE(RDT_Destroy(rdt), RDT_ER_INVALID_RDT_ID);
        IOTC_Session_Close(sid);
    }

    void rdtPeerEnds()
    {
        TestDevice dev("UID-rdtend", [&](int sid) {
            const int rdt = RDT_Create(sid, 3000, 1);
            if (rdt >= 0) {
                RDT_Write(rdt, "bye", 3);
                RDT_Destroy(rdt);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            P2PD_Session_Drop(sid);
        });
        const int sid = connectClient("UID-rdtend");
        QVERIFY(sid >= 0);
        const int rdt = RDT_Create(sid, 3000, 1);
        QVERIFY(rdt >= 0);
        char buf[16];
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 2000), 3);
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 2000), RDT_ER_REMOTE_EXIT);
        QCOMPARE(RDT_Write(rdt, "x", 1), RDT_ER_REMOTE_EXIT);
        RDT_Destroy(rdt);
        IOTCSessionInfo info;
        QTRY_COMPARE(IOTC_Session_Check(sid, &info), IOTC_ER_REMOTE_TIMEOUT_DISCONNECT);
        QCOMPARE(RDT_Create(sid, 100, 2), RDT_ER_SESSION_CLOSED);
        IOTC_Session_Close(sid);
    }

    void rdtRefused()
    {
        std::atomic<int> refusals{0}, timedOut{0};
        TestDevice dev("UID-rdtno", [&](int sid) {
            // The first open on channel 2 is refused; nobody opens channel 4.
            if (P2PD_RdtRefuse(sid, 2, 3000) == 0)
                ++refusals;
            if (P2PD_RdtRefuse(sid, 4, 100) == IOTC_ER_TIMEOUT)
                ++timedOut;
            // The same channel can be opened for real afterwards.
            const int rdt = RDT_Create(sid, 3000, 2);
            if (rdt >= 0) {
                RDT_Write(rdt, "ok", 2);
                char b[4];
                while (RDT_Read(rdt, b, sizeof b, 100) == RDT_ER_TIMEOUT) {
                }
                RDT_Destroy(rdt);
            }
            IOTC_Session_Close(sid);
        });
        const int sid = connectClient("UID-rdtno");
        QVERIFY(sid >= 0);
        QCOMPARE(P2PD_RdtRefuse(sid, 2, 10), IOTC_ER_INVALID_SID); // a client session
        QElapsedTimer t;
        t.start();
        QCOMPARE(RDT_Create(sid, 5000, 2), RDT_ER_REMOTE_EXIT);
        QVERIFY2(t.elapsed() < 2000, QByteArray::number(t.elapsed()));
        QTRY_COMPARE(refusals.load(), 1); // counted just after the close went out
        QTRY_COMPARE(timedOut.load(), 1);
        const int rdt = RDT_Create(sid, 3000, 2);
        QVERIFY2(rdt >= 0, QByteArray::number(rdt));
        char buf[8];
        QCOMPARE(RDT_Read(rdt, buf, sizeof buf, 3000), 2);
        RDT_Destroy(rdt);
        IOTC_Session_Close(sid);
    }

    void muteAndUnregister()
    {
        std::atomic<int> av{-1};
        TestDevice dev("UID-mute", [&](int sid) {
            av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
            unsigned int t;
            char b[8];
            int r;
            while ((r = avRecvIOCtrl(av, &t, b, sizeof b, 100)) == AV_ER_TIMEOUT || r >= 0)
                avSendIOCtrl(av, 9, "k", 1);
            closeWhenDone(sid, av);
        });
        const int sid = connectClient("UID-mute");
        QVERIFY(sid >= 0);
        const int cav = avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr);
        QVERIFY(cav >= 0);
        unsigned int type;
        char buf[8];
        QVERIFY(avRecvIOCtrl(cav, &type, buf, sizeof buf, 1000) >= 0);
        P2PD_SetFaults(dev.handle, P2PD_FAULT_MUTE);
        QTest::qWait(150);
        while (avRecvIOCtrl(cav, &type, buf, sizeof buf, 0) >= 0) {
        }
        QCOMPARE(avRecvIOCtrl(cav, &type, buf, sizeof buf, 300), AV_ER_TIMEOUT);
        P2PD_SetFaults(dev.handle, 0);
        QVERIFY(avRecvIOCtrl(cav, &type, buf, sizeof buf, 1000) >= 0);
        // Unregistering closes the device's sessions: the client hears it.
        P2PD_Unregister(dev.handle);
        QTRY_COMPARE(avRecvIOCtrl(cav, &type, buf, sizeof buf, 100), AV_ER_SESSION_CLOSE_BY_REMOTE);
        dev.handle = -1;
        avClientStop(cav);
        IOTC_Session_Close(sid);
    }

    void parallelSessions()
    {
        // Several clients, each on its own thread, talk to one device at
        // once: connects, logins, IO-control both ways, frames and closes.
        TestDevice dev("UID-many", [](int sid) {
            const int av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
            for (;;) {
                unsigned int type = 0;
                char buf[64];
                const int n = avRecvIOCtrl(av, &type, buf, sizeof buf, 2000);
                if (n < 0)
                    break;
                char header[AV_FRAME_HEADER_SIZE] = {};
                P2PD_SendFrameData(av, buf, n > 0 ? n : 1, header, sizeof header);
                avSendIOCtrl(av, type, buf, n);
            }
            closeWhenDone(sid, av);
        });
        constexpr int clients = 4;
        constexpr int rounds = 40;
        std::atomic<int> ok{0};
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                const int sid = connectClient("UID-many");
                if (sid < 0)
                    return;
                const int av = avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr);
                int good = 0;
                for (int i = 0; av >= 0 && i < rounds; ++i) {
                    const std::string msg = std::to_string(c) + ":" + std::to_string(i);
                    avSendIOCtrl(av, 0x42, msg.data(), int(msg.size()));
                    unsigned int type = 0;
                    char buf[64];
                    const int n = avRecvIOCtrl(av, &type, buf, sizeof buf, 3000);
                    char frame[64];
                    int f = AV_ER_DATA_NOREADY;
                    for (int k = 0; k < 200 && f == AV_ER_DATA_NOREADY; ++k) {
                        f = avRecvFrameData2(av, frame, sizeof frame, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
                        if (f == AV_ER_DATA_NOREADY)
                            std::this_thread::sleep_for(std::chrono::milliseconds(2));
                    }
                    if (n == int(msg.size()) && std::string(buf, n) == msg && f == n
                        && std::string(frame, f) == msg)
                        ++good;
                }
                if (good == rounds)
                    ok++;
                avClientStop(av);
                IOTC_Session_Close(sid);
            });
        }
        for (auto& t : threads)
            t.join();
        QCOMPARE(ok.load(), clients);
    }

    void garbageOnTheWire()
    {
        // Whatever a stranger sends to the directory or a device, they
        // answer or hang up, and go on serving real clients.
        auto rawConnect = [](int port) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(port));
            if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(fd);
                return -1;
            }
            timeval tv{3, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
            return fd;
        };
        auto readAll = [](int fd) {
            std::string out;
            char buf[256];
            ssize_t n;
            while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0)
                out.append(buf, size_t(n));
            ::close(fd);
            return out;
        };
        const int dirPort = P2PDir_Port(m_dir);
        int fd = rawConnect(dirPort);
        QVERIFY(fd >= 0);
        ::send(fd, "HELLO there\n", 12, MSG_NOSIGNAL);
        QCOMPARE(readAll(fd), std::string("BAD\n"));
        fd = rawConnect(dirPort);
        ::send(fd, "REGISTER bad\n", 13, MSG_NOSIGNAL);
        QCOMPARE(readAll(fd), std::string("BAD\n"));
        fd = rawConnect(dirPort);
        const std::string noNewline(3000, 'z');
        ::send(fd, noNewline.data(), noNewline.size(), MSG_NOSIGNAL);
        QCOMPARE(readAll(fd), std::string());

        std::atomic<int> lastLogin{1};
        TestDevice dev("UID-garbage", [&](int sid) {
            lastLogin = P2PD_AvServStart(sid, 0, 3000, nullptr, nullptr);
            if (lastLogin >= 0)
                P2PD_AvServStop(lastLogin);
            IOTC_Session_Close(sid);
        });
        const int devPort = P2PD_Port(dev.handle);
        // Not a hello: hung up.
        fd = rawConnect(devPort);
        const unsigned char notHello[8] = {9, 0, 0, 0, 0, 0, 0, 0};
        ::send(fd, notHello, sizeof notHello, MSG_NOSIGNAL);
        QCOMPARE(readAll(fd), std::string());
        // A hello that claims a huge UID: hung up.
        fd = rawConnect(devPort);
        const unsigned char hugeHello[8] = {1, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f};
        ::send(fd, hugeHello, sizeof hugeHello, MSG_NOSIGNAL);
        QCOMPARE(readAll(fd), std::string());
        // A proper hello, then a message of absurd length: the device drops
        // the session as a vanished peer.
        fd = rawConnect(devPort);
        const std::string uid = "UID-garbage";
        unsigned char hello[8] = {1, 0, 0, 0, static_cast<unsigned char>(uid.size()), 0, 0, 0};
        ::send(fd, hello, sizeof hello, MSG_NOSIGNAL);
        ::send(fd, uid.data(), uid.size(), MSG_NOSIGNAL);
        unsigned char answer[8] = {};
        QCOMPARE(int(::recv(fd, answer, sizeof answer, MSG_WAITALL)), 8);
        QCOMPARE(int(answer[0]), 2); // accepted
        const unsigned char absurd[8] = {8, 0, 0, 0, 0xff, 0xff, 0xff, 0xff};
        ::send(fd, absurd, sizeof absurd, MSG_NOSIGNAL);
        QTRY_COMPARE(lastLogin.load(), AV_ER_REMOTE_TIMEOUT_DISCONNECT);
        ::close(fd);
        // Real clients are still served.
        const int sid = connectClient("UID-garbage");
        QVERIFY(sid >= 0);
        QVERIFY(avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr) >= 0);
        IOTC_Session_Close(sid);
    }

    void deInitializeWakesEverything()
    {
        TestDevice dev("UID-deinit", [&](int sid) {
            const int av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
            unsigned int t;
            char b[8];
            while (avRecvIOCtrl(av, &t, b, sizeof b, 100) == AV_ER_TIMEOUT) {
            }
            closeWhenDone(sid, av);
        });
        const int sid = connectClient("UID-deinit");
        QVERIFY(sid >= 0);
        const int av = avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr);
        QVERIFY(av >= 0);
        std::atomic<int> r{1};
        std::thread w([&] {
            unsigned int t;
            char b[8];
            r = avRecvIOCtrl(av, &t, b, sizeof b, 5000);
        });
        QTest::qWait(100);
        avDeInitialize();
        w.join();
        QCOMPARE(r.load(), AV_ER_CLIENT_EXIT);
        QCOMPARE(avClientStart2(sid, "a", "b", 5, nullptr, 0, nullptr), AV_ER_NOT_INITIALIZED);
        IOTC_DeInitialize();
        QCOMPARE(IOTC_Get_SessionID(), IOTC_ER_NOT_INITIALIZED);
        IOTCSessionInfo info;
        QCOMPARE(IOTC_Session_Check(sid, &info), IOTC_ER_INVALID_SID);
        QCOMPARE(IOTC_Initialize2(0), 0);
        QVERIFY(avInitialize(16) > 0);
    }
};

QTEST_GUILESS_MAIN(TstP2pSdk)
#include "tst_p2psdk.moc"
