// Audio and timeline over the real P2P library, against a device served in
// this process with the emulator's audio source and timeline reply: frames
// travel the AV channel into the player's PCM device, the timeline thread
// fetches the card's list over RDT, and stopping waits for a running read.
#include "camera/audiodevice.h"
#include "camera/audioplayer.h"
#include "camera/audiorecvthread.h"
#include "camera/rdtupdatethread.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/p2pdevice.h"
#include "p2p/rdtapi.h"
#include "sim/devicefeatures/simaudiosource.h"
#include "sim/devicefeatures/simtimeline.h"

#include <QJsonDocument>
#include <QJsonObject>
#include "tests/support/threadsafespy.h"
#include <QtTest>
#include <sodium.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

const QByteArray kKey(32, '\x3c');

// A device whose sessions run `handler(sid, av)` after the AV login.
class Device
{
public:
    using Handler = std::function<void(int sid, int av)>;
    Device(const char* uid, Handler h)
        : m_handler(std::move(h))
    {
        handle = P2PD_Register(uid, nullptr, 0);
        if (handle >= 0)
            m_acceptor = std::thread([this] { run(); });
    }
    ~Device()
    {
        stopping = true;
        if (handle >= 0)
            P2PD_Unregister(handle);
        if (m_acceptor.joinable())
            m_acceptor.join();
        for (auto& t : m_sessions)
            t.join();
    }
    int handle = -1;
    std::atomic<bool> stopping{false};

private:
    void run()
    {
        for (;;) {
            const int sid = P2PD_Accept(handle, 200);
            if (sid == P2PD_ER_INVALID_DEVICE)
                return;
            if (sid < 0)
                continue;
            m_sessions.emplace_back([this, sid] {
                const int av = P2PD_AvServStart(sid, 0, 5000, nullptr, nullptr);
                if (av >= 0)
                    m_handler(sid, av);
                if (av >= 0)
                    P2PD_AvServStop(av);
                IOTC_Session_Close(sid);
            });
        }
    }
    Handler m_handler;
    std::thread m_acceptor;
    std::vector<std::thread> m_sessions;
};

// Device side: answers 0x300/0x301 with a stream of tone frames, 0x200 by
// opening the announced RDT channel and serving timeline requests.
struct CameraBehaviour
{
    QList<SimRecording> recordings;
    bool answerTimeline = true;
    std::atomic<int> audioFramesSent{0};

    void operator()(int sid, int av)
    {
        SimAudioSource source(138, kKey);
        bool audioOn = false;
        std::atomic<int> rdt{-1};
        std::thread rdtThread;
        for (;;) {
            unsigned int type = 0;
            char buf[2048];
            const int n = avRecvIOCtrl(av, &type, buf, sizeof buf, audioOn ? 20 : 100);
            if (n == AV_ER_TIMEOUT) {
                if (audioOn) {
                    QByteArray frame, header;
                    source.nextFrame(&frame, &header);
                    if (P2PD_SendAudioData(av, frame.constData(), frame.size(), header.constData(), header.size())
                        == 0)
                        ++audioFramesSent;
                }
                continue;
            }
            if (n < 0)
                break;
            if (type == 0x300)
                audioOn = true;
            else if (type == 0x301)
                audioOn = false;
            else if (type == 0x200 && rdt < 0) {
                const int ch = QJsonDocument::fromJson(QByteArray(buf, n)).object().value("channel").toInt();
                rdtThread = std::thread([this, sid, ch, &rdt] {
                    const int id = RDT_Create(sid, 10000, static_cast<unsigned char>(ch));
                    if (id < 0)
                        return;
                    rdt = id;
                    for (;;) {
                        char req[4];
                        int got = 0;
                        while (got < 4) {
                            const int r = RDT_Read(rdt, req + got, 4 - got, 1000);
                            if (r == RDT_ER_TIMEOUT)
                                continue;
                            if (r <= 0)
                                return;
                            got += r;
                        }
                        if (!answerTimeline)
                            continue;
                        const QByteArray reply = SimTimeline::reply(recordings);
                        RDT_Write(rdt, reply.constData(), reply.size());
                    }
                });
            }
        }
        if (rdtThread.joinable())
            rdtThread.join();
        if (rdt >= 0)
            RDT_Destroy(rdt);
    }
};

int toSample(const QByteArray& pcm, int i)
{
    return qint16(quint16(uchar(pcm[2 * i])) | quint16(uchar(pcm[2 * i + 1]) << 8));
}

} // namespace

class TestMediaLink : public QObject
{
    Q_OBJECT

private:
    int m_dir = -1;

    // Connects and opens the AV channel; *sid and *av set.
    bool open(const char* uid, int* sid, int* av)
    {
        *sid = IOTC_Get_SessionID();
        if (*sid < 0 || IOTC_Connect_ByUID_Parallel(uid, *sid) < 0)
            return false;
        int resend = 0;
        *av = avClientStart2(*sid, "admin", "pw", 5, nullptr, 0, &resend);
        return *av >= 0;
    }
    static void close(int sid, int av)
    {
        if (av >= 0)
            avClientStop(av);
        if (sid >= 0)
            IOTC_Session_Close(sid);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");
        m_dir = P2PDir_Start(0);
        QVERIFY(m_dir >= 0);
        const std::string addr = "127.0.0.1:" + std::to_string(P2PDir_Port(m_dir));
        QCOMPARE(IOTC_Set_Directory(addr.c_str()), 0);
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
    }

    void audioFramesBecomePcm()
    {
        CameraBehaviour cam;
        Device device("UID-audio-1", std::ref(cam));
        QVERIFY(device.handle >= 0);
        int sid = -1, av = -1;
        QVERIFY(open("UID-audio-1", &sid, &av));

        AudioPlayer player(kKey);
        player.setHeadless(true);
        auto* recv = new AudioRecvthread(av, &player);
        ThreadSafeSpy failed(recv, &AudioRecvthread::failed);
        recv->start();
        player.start();
        QCOMPARE(avSendIOCtrl(av, 0x300, QByteArray(8, '\0').constData(), 8), 0);
        QTRY_VERIFY(player.device() != nullptr);
        AudioDevice* dev = player.device();
        QByteArray pcm(8000, '\0'); // half a second
        QCOMPARE(dev->read(pcm.data(), pcm.size()), qint64(pcm.size()));
        int peak = 0, crossings = 0;
        for (int i = 1; i < pcm.size() / 2; ++i) {
            peak = qMax(peak, qAbs(toSample(pcm, i)));
            crossings += (toSample(pcm, i - 1) < 0) != (toSample(pcm, i) < 0) ? 1 : 0;
        }
        // The tone at amplitude 3000, amplified ten times; 220 periods a half second.
        QVERIFY2(peak > 28000 && peak <= 32767, qPrintable(QString::number(peak)));
        QVERIFY2(qAbs(crossings / 2 - 220) <= 3, qPrintable(QString::number(crossings)));

        player.stop();
        recv->stop();
        delete recv;
        QCOMPARE(avSendIOCtrl(av, 0x301, QByteArray(8, '\0').constData(), 8), 0);
        QCOMPARE(failed.count(), 0);
        close(sid, av);
    }

    void remoteCloseEndsAudioReception()
    {
        Device device("UID-audio-2", [](int, int) { QThread::msleep(300); });
        int sid = -1, av = -1;
        QVERIFY(open("UID-audio-2", &sid, &av));
        AudioPlayer player(kKey);
        player.setHeadless(true);
        AudioRecvthread recv(av, &player);
        ThreadSafeSpy failed(&recv, &AudioRecvthread::failed);
        recv.start();
        QVERIFY(recv.wait(5000)); // ends by itself when the device leaves
        QCOMPARE(failed.count(), 1);
        const int code = failed.first().first().toInt();
        QVERIFY2(code == AV_ER_SESSION_CLOSE_BY_REMOTE || code == IOTC_ER_INVALID_SID
                     || code == AV_ER_REMOTE_TIMEOUT_DISCONNECT,
                 qPrintable(QString::number(code)));
        close(sid, av);
    }

    void timelineOverRdt()
    {
        CameraBehaviour cam;
        cam.recordings = {{1765000000, 60, true, false}, {1765000060, 120, false, true}};
        Device device("UID-rdt-1", std::ref(cam));
        int sid = -1, av = -1;
        QVERIFY(open("UID-rdt-1", &sid, &av));
        const int ch = IOTC_Session_Get_Free_Channel(sid);
        QVERIFY(ch > 0);
        const QByteArray announce = QJsonDocument(QJsonObject{{"channel", ch}}).toJson(QJsonDocument::Compact);
        QCOMPARE(avSendIOCtrl(av, 0x200, announce.constData(), announce.size()), 0);
        auto* rdt = new RDTUpdatethread(sid, ch);
        ThreadSafeSpy started(rdt, &RDTUpdatethread::rdtStarted);
        ThreadSafeSpy ready(rdt, &RDTUpdatethread::timeLineReady);
        rdt->start();
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 1, 10000);
        QCOMPARE(started.first().first().toBool(), true);
        const auto vec = ready.first().first().value<QVector<RecordFileHeader>>();
        QCOMPARE(vec.size(), 3); // two recordings and the trailing record
        QCOMPARE(vec[1].startTime, 1765000060u);
        QCOMPARE(int(vec[1].saved), 1);
        // A second request on the same channel gets a whole, aligned reply.
        emit rdt->getTimeLine_s();
        QTRY_COMPARE_WITH_TIMEOUT(ready.count(), 2, 10000);
        QCOMPARE(ready.at(1).first().value<QVector<RecordFileHeader>>().size(), 3);
        rdt->stop();
        delete rdt;
        close(sid, av);
    }

    void stopWaitsForRunningRdtRead()
    {
        CameraBehaviour cam;
        cam.answerTimeline = false; // the card never answers
        Device device("UID-rdt-2", std::ref(cam));
        int sid = -1, av = -1;
        QVERIFY(open("UID-rdt-2", &sid, &av));
        const int ch = IOTC_Session_Get_Free_Channel(sid);
        const QByteArray announce = QJsonDocument(QJsonObject{{"channel", ch}}).toJson(QJsonDocument::Compact);
        QCOMPARE(avSendIOCtrl(av, 0x200, announce.constData(), announce.size()), 0);
        auto* rdt = new RDTUpdatethread(sid, ch);
        ThreadSafeSpy started(rdt, &RDTUpdatethread::rdtStarted);
        ThreadSafeSpy failed(rdt, &RDTUpdatethread::failed);
        rdt->start();
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 10000);
        QTest::qWait(1000); // the thread now waits in its 5 s read
        QElapsedTimer t;
        t.start();
        rdt->stop();
        delete rdt; // returns when the read does
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 2500 && waited < 6000, qPrintable(QString::number(waited)));
        QCOMPARE(failed.count(), 0);
        close(sid, av);
    }
};

QTEST_GUILESS_MAIN(TestMediaLink)
#include "tst_medialink.moc"
