// Camera clients and the camera list manager against the emulated home: the
// steps of a play, every way a play can end before or after connecting, the
// memory card's channel, sessions that break, the cloud's records and polls,
// a log without secrets, and nine clients played and stopped at random.
//
// VC_STRESS_CYCLES sets the number of play/stop cycles of the nine clients
// (default 24), VC_STRESS_SEED their random seed (default 20261206).
#include "core/logfile.h"
#include "camera/avframerecvthread.h"
#include "client/vucameralistmgr.h"
#include "cloud/apicredentials.h"
#include "cloud/vuotapi.h"
#include "clienttest.h"
#include "tests/support/audiotestmain.h"
#include "tests/support/logcapture.h"
#include "tests/support/queuedcall.h"
#include "tests/support/simhome.h"

#include <QDir>

#include <algorithm>
#include <memory>
#include <random>

namespace {

QByteArray camera(const char* did, const QByteArray& more = QByteArray(), const char* owner = "1234567890")
{
    return QByteArray(R"({"did": ")") + did + R"(", "owner": ")" + owner
        + R"(", "width": 320, "height": 180, "fps": 10)" + more + "}";
}

const QByteArray kCard = R"(, "recordings": [{"start": 1765000000, "length": 120, "motion": true}])";

QByteArray scenario()
{
    QList<QByteArray> cams = {
        camera("c1", kCard), camera("pin", R"(, "pincode": "1234")" + kCard),
        camera("asleep", R"(, "power": false)"), camera("unknown", R"(, "faults": {"props": {"power": "standby"}})"),
        camera("busy", R"(, "max_client": true)"), camera("nopeer", R"(, "faults": {"no_p2p_id": true})"),
        camera("away", R"(, "online": false)"),
        camera("gone", R"(, "faults": {"cloud_stale_online": true})"),
        camera("shy", R"(, "faults": {"p2p_refuse": true})"), camera("stall", R"(, "faults": {"p2p_stall": true})"),
        camera("hold", R"(, "faults": {"p2p_stall_login": true})"),
        camera("hang", kCard + R"(, "faults": {"timeline_silent": true})"), camera("hung", R"(, "sdcard": false)"),
        camera("refuse", R"(, "recordings": [{"start": 1765000000, "length": 60}], "faults": {"rdt_refuse": true})"),
        camera("drop", R"(, "sdcard": false)"), camera("mute", R"(, "sdcard": false)"), camera("slow"),
        camera("m1", R"(, "password": "VIEWPASS-e2e-m1-secret")" + kCard, "555"),
        camera("m2", R"(, "model": "hovia.camera.v4", "sdcard": false)", "555"),
    };
    // The nine of the stress case: every third with a card, one H.265.
    for (int i = 1; i <= 9; ++i)
        cams << camera(qPrintable(QStringLiteral("x%1").arg(i)),
                       QByteArray(i % 3 ? R"(, "sdcard": false)" : kCard.constData())
                           + (i == 5 ? R"(, "model": "hovia.camera.v4")" : ""), "999");
    return R"({"seed": "client-tests", "accounts": [{"user_id": "1234567890", "password": "pw"},
        {"user_id": "555", "password": "pw"}, {"user_id": "777", "password": "pw"}, {"user_id": "999", "password": "pw"}],
        "rooms": [{"id": "r1", "name": "Hall", "icon": "hall", "owner": "555", "dids": ["m1"]}],
        "cameras": [)" + cams.join(',') + "]}";
}

QList<int> steps(const ThreadSafeSpy& spy)
{
    QList<int> out;
    for (const QList<QVariant>& args : spy.calls())
        out << args.at(0).value<PlayStatus>();
    return out;
}

// The first argument of each call.
QVariantList firsts(const ThreadSafeSpy& spy)
{
    QVariantList out;
    for (const QList<QVariant>& args : spy.calls())
        out << args.at(0);
    return out;
}

// Asks for the device list once, waits until the manager handled the answer
// and its clients took the records it handed them.
bool poll(VuCameraListMgr& mgr)
{
    mgr.getDeviceList();
    if (!QTest::qWaitFor([&] { return mgr.findChildren<VuotApi*>().isEmpty(); }, 15000))
        return false;
    for (VuCameraClient* c : mgr.cameras())
        runQueuedAndWait(c, [] {});
    return true;
}

// Starts a manager that polls only when asked; true once its first list came.
bool load(VuCameraListMgr& mgr, const ThreadSafeSpy& loaded)
{
    mgr.setPollInterval(3600 * 1000);
    mgr.start();
    return QTest::qWaitFor([&] { return loaded.count() > 0; }, 15000);
}

bool stopAndWait(VuCameraListMgr& mgr)
{
    ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
    mgr.stop();
    return QTest::qWaitFor([&] { return stopped.count() > 0; }, 20000) && stopped.count() == 1;
}

int envInt(const char* name, int fallback)
{
    return qEnvironmentVariableIntValue(name) > 0 ? qEnvironmentVariableIntValue(name) : fallback;
}

// Threads of this process whose name starts with prefix.
int threadsNamed(const QString& prefix)
{
    int n = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        n += comm.open(QIODevice::ReadOnly) && QString::fromUtf8(comm.readAll()).startsWith(prefix) ? 1 : 0;
    }
    return n;
}

} // namespace

class TestCameraClient : public QObject
{
    Q_OBJECT

private:
    SimHome m_home;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuCameraClient*>>("QList<VuCameraClient*>");
        QVERIFY(m_home.start(scenario()));
    }
    void cleanupTestCase() { m_home.stop(); }
    void init() { m_home.signIn(QStringLiteral("1234567890")); }
    void cleanup() { m_home.setCloudFaults("{}"); }

    void playDeliversPicturesAndTimeline_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<QString>("pincode");
        QTest::addColumn<bool>("card");
        QTest::newRow("memory card") << "c1" << "" << true;
        QTest::newRow("no card") << "drop" << "" << false;
        QTest::newRow("pin code") << "pin" << "1234" << true;
    }
    void playDeliversPicturesAndTimeline()
    {
        QFETCH(QString, did);
        QFETCH(QString, pincode);
        QFETCH(bool, card);
        auto* c = new VuCameraClient(cameraRecord(did, true, !pincode.isEmpty()));
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        ThreadSafeSpy ready(c, &VuCameraClient::pictureReady);
        c->setVideoFrameSize(320, 180);
        c->play(2, false, pincode);
        QCOMPARE(c->status(), ClientStatus::Connecting);
        // A second play while one runs is refused and changes nothing.
        QTest::ignoreMessage(QtWarningMsg, qPrintable("camera " + did + ": ignore play now, for status != Disconnected"));
        c->play(2, false, pincode);
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
        const QList<int> all{ReadingProperties, Connecting, WaitingForPlaying, Playing};
        QCOMPARE(steps(played), pincode.isEmpty() ? all : QList<int>{Authing} + all);
        QCOMPARE(c->isSdcardReady(), card);
        QCOMPARE(nextPicture(c).size(), QSize(320, 180));
        QVERIFY(ready.count() > 0); // the tile is told, it does not poll
        QVERIFY(c->receivedBytesPerSecond() > 0);
        if (card) {
            QTRY_VERIFY_WITH_TIMEOUT(timeline.count() > 0, 15000);
            const auto records = timeline.first().at(0).value<QVector<RecordFileHeader>>();
            QCOMPARE(records.size(), 2); // the recording and the all-zero closing record
            QCOMPARE(records.first().startTime, 1765000000u);
            QCOMPARE(int(records.first().duration), 120);
            QCOMPARE(int(records.first().motioned), 1);
        }
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        c->stopPlay();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 15000);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        FrameInfo info;
        QVERIFY(c->grabFrame(info).isNull() && c->receivedBytesPerSecond() == 0);
        QVERIFY(dispose(c));
        QCOMPARE(failed.count(), 0);
        QCOMPARE(timeline.isEmpty(), !card);
    }

    // A play that ends before pictures: exactly one report (failed, a power
    // or an online change), the steps so far, and the client ready again.
    void playEndsWithOneReport_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<QString>("pincode");
        QTest::addColumn<QString>("report");
        QTest::addColumn<int>("value");
        QTest::addColumn<QList<int>>("stepsSeen");
        const QList<int> props{ReadingProperties};
        const QList<int> connect{ReadingProperties, Connecting};
        QTest::newRow("wrong pin code") << "pin" << "0000" << "failed" << -20009 << QList<int>{Authing};
        QTest::newRow("asleep") << "asleep" << "" << "power" << 0 << props;
        QTest::newRow("power unknown") << "unknown" << "" << "power" << 0 << props;
        QTest::newRow("viewer limit") << "busy" << "" << "failed" << 5 << props;
        QTest::newRow("pass without peer id") << "nopeer" << "" << "failed" << -20009 << QList<int>();
        QTest::newRow("cloud says offline") << "away" << "" << "online" << 0 << props;
        QTest::newRow("connect finds it gone") << "gone" << "" << "online" << 0 << connect;
        QTest::newRow("session refused") << "shy" << "" << "failed" << -24 << connect;
    }
    void playEndsWithOneReport()
    {
        QFETCH(QString, did);
        QFETCH(QString, pincode);
        QFETCH(QString, report);
        QFETCH(int, value);
        QFETCH(QList<int>, stepsSeen);
        if (did == "gone") // gone from the network while the cloud still lists it
            m_home.setCamera(did, [](SimCamera& cam) { cam.online = false; });
        auto* c = new VuCameraClient(cameraRecord(did));
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy power(c, &VuCameraClient::powerStateChanged);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        c->play(2, false, pincode);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + power.count() + online.count(), 1, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Disconnected, 5000);
        QCOMPARE(c->isPowerOn(), report != "power");
        QCOMPARE(c->isOnline(), report != "online");
        c->play(2, false, pincode); // ready for a new play, which ends the same way
        QTRY_COMPARE_WITH_TIMEOUT(failed.count() + power.count() + online.count(), 2, 20000);
        QVERIFY(dispose(c));
        const ThreadSafeSpy& got = report == "failed" ? failed : report == "power" ? power : online;
        QCOMPARE(got.count(), 2);
        QCOMPARE(failed.count() + power.count() + online.count(), 2);
        QCOMPARE(got.first().at(0).toInt(), value);
        QCOMPARE(steps(played), stepsSeen + stepsSeen);
    }

    // Sleep and wake-up through the cloud, and a power check that finds the
    // camera switched off elsewhere: a playing session ends, the next play
    // goes through; a check that finds nothing new says nothing.
    void sleepWakeUpAndPowerCheck()
    {
        auto* c = new VuCameraClient(cameraRecord("c1"));
        ThreadSafeSpy power(c, &VuCameraClient::powerStateChanged);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        QVERIFY(playUntilPicture(c));
        c->sleep();
        QTRY_COMPARE_WITH_TIMEOUT(firsts(power), QVariantList{false}, 10000);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        c->wakeUp();
        QTRY_COMPARE_WITH_TIMEOUT(power.count(), 2, 10000);
        c->checkPowerOnce(); // on, as the client knows: no report, only the wake-up's
        c->wakeUp();
        QTRY_COMPARE_WITH_TIMEOUT(firsts(power), (QVariantList{false, true, true}), 10000);
        QVERIFY(playUntilPicture(c));
        m_home.setCamera("c1", [](SimCamera& cam) { cam.power = false; });
        c->checkPowerOnce();
        QTRY_COMPARE_WITH_TIMEOUT(power.count(), 4, 10000);
        QCOMPARE(c->status(), ClientStatus::Disconnected);
        m_home.setCamera("c1", [](SimCamera& cam) { cam.power = true; });
        QVERIFY(dispose(c));
        QCOMPARE(firsts(power), (QVariantList{false, true, true, false}));
        QCOMPARE(failed.count(), 0);
    }

    // Two polls can land before the worker takes the first record: each is
    // applied, in the order the list manager gave them.
    void recordsInABurstApplyInOrder()
    {
        auto* c = new VuCameraClient(cameraRecord("c1"));
        ThreadSafeSpy names(c, &VuCameraClient::nameChanged);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy pin(c, &VuCameraClient::pincodeEnabled);
        for (const auto& flags : {qMakePair(true, false), qMakePair(false, false), qMakePair(true, true)}) {
            VuotCameraStat r = cameraRecord("c1", flags.first, flags.second);
            r.name = QStringLiteral("Front door");
            c->setInfo(r);
        }
        runQueuedAndWait(c, [] {});
        QCOMPARE(firsts(names), QVariantList{"Front door"});
        QCOMPARE(c->name(), QStringLiteral("Front door"));
        QCOMPARE(firsts(online), (QVariantList{false, true}));
        QCOMPARE(firsts(pin), QVariantList{true});
        QVERIFY(dispose(c));
    }

    // A stop or a destroy ends the play at once (the tile's "stopped" within
    // half a second; 2 s here for a loaded machine) in every state, though
    // the camera stalls the connect (its guard: 30 s), the login (10 s), a
    // timeline read (5 s) or hangs altogether; no failure is reported.
    void stopIsPromptInEveryState_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<bool>("picture"); // playing when it comes
        QTest::addColumn<QString>("line"); // the state has been reached
        QTest::addColumn<bool>("destroy");
        QTest::newRow("connecting") << "stall" << false << "connect: \"UID-stall\"" << false;
        QTest::newRow("connecting, destroyed") << "stall" << false << "connect: \"UID-stall\"" << true;
        QTest::newRow("authenticating") << "hold" << false << "[UID-hold] Mode=LAN" << false;
        QTest::newRow("reading the timeline") << "hang" << true << "rdt started" << false;
        QTest::newRow("reading the timeline, destroyed") << "hang" << true << "rdt started" << true;
        QTest::newRow("playing") << "c1" << true << "" << false;
        QTest::newRow("camera hung") << "hung" << true << "" << false;
    }
    void stopIsPromptInEveryState()
    {
        QFETCH(QString, did);
        QFETCH(bool, picture);
        QFETCH(QString, line);
        QFETCH(bool, destroy);
        LogCapture log;
        auto* c = new VuCameraClient(cameraRecord(did));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy done(c, destroy ? SIGNAL(destroyed()) : SIGNAL(playStopped()));
        if (picture)
            QVERIFY(playUntilPicture(c));
        else
            c->play(2, false, QString());
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(line), 20000);
        if (did == "hung")
            m_home.setCamera(did, [](SimCamera& cam) { cam.faults.insert("p2p_silent", true); });
        QElapsedTimer t;
        t.start();
        destroy ? c->destroy() : c->stopPlay();
        QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 40000);
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        m_home.setCamera(did, [](SimCamera& cam) { cam.faults.remove("p2p_silent"); });
        if (destroy) {
            delete c;
        } else {
            QCOMPARE(c->status(), ClientStatus::Disconnected);
            QVERIFY(dispose(c));
        }
        QCOMPARE(failed.count(), 0);
    }

    // The cloud is slow with the device pass: a stop is answered at once and
    // the play gives up when the pass comes; a destroy waits for the pass and
    // then comes once. Neither reports anything else.
    void stopAndDestroyDuringASlowCloudCall()
    {
        LogCapture log;
        m_home.setCloudFaults(R"({"delay_ms": {"/app/device/devicepass": 2000}})");
        auto* c = new VuCameraClient(cameraRecord("slow"));
        ThreadSafeSpy played(c, &VuCameraClient::played);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        for (int round = 0; round < 2; ++round) {
            const int passes = m_home.requestsTo("/device/devicepass");
            c->play(2, false, QString());
            QTRY_VERIFY_WITH_TIMEOUT(m_home.requestsTo("/device/devicepass") > passes, 10000);
            if (round == 0) {
                QElapsedTimer t;
                t.start();
                c->stopPlay();
                QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
                QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
                QTRY_VERIFY_WITH_TIMEOUT(log.contains("play abandoned for stopping") || !played.isEmpty(), 15000);
                QCOMPARE(c->status(), ClientStatus::Disconnected);
            }
        }
        QVERIFY(dispose(c));
        QCOMPARE(played.count(), 0);
        QCOMPARE(failed.count(), 0);
    }

    // The card's channel is refused at every start: three attempts per play,
    // then the client leaves it while the video goes on.
    void refusedCardChannelIsTriedThreeTimesAPlay()
    {
        LogCapture log;
        auto* c = new VuCameraClient(cameraRecord("refuse"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        for (int round = 1; round <= 2; ++round) {
            log.clear();
            const int before = SimDeviceFeatures::rdtStartRequests("refuse");
            QVERIFY(playUntilPicture(c));
            QTRY_COMPARE_WITH_TIMEOUT(log.count("rdt channel did not open"), 3, 15000);
            // What the last refusal queued has run after two rounds on the worker.
            runQueuedAndWait(c, [] {});
            runQueuedAndWait(c, [] {});
            QCOMPARE(log.count("rdt started"), 3);
            QCOMPARE(log.lines().count(QStringLiteral("retry")), 2);
            QTRY_COMPARE_WITH_TIMEOUT(SimDeviceFeatures::rdtStartRequests("refuse") - before, 3, 5000);
            QCOMPARE(c->status(), ClientStatus::Connected);
            QVERIFY(!nextPicture(c).isNull());
            c->stopPlay();
            QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), round, 10000);
        }
        QVERIFY(dispose(c));
        QCOMPARE(log.count("rdt channel did not open"), 3);
        QCOMPARE(timeline.count(), 0);
        QCOMPARE(failed.count(), 0);
    }

    // A session that breaks while pictures flow: the camera loses power
    // (-20016), with and without sound, or stops sending (-20011 after the
    // no-frame time-out). One failed, no picture, the next play works, a recording ends saved.
    void sessionBreaksMidStream_data()
    {
        QTest::addColumn<QString>("did");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("audio");
        QTest::addColumn<int>("code");
        QTest::newRow("dropped") << "drop" << "p2p_drop" << false << -20016;
        QTest::newRow("dropped with sound") << "drop" << "p2p_drop" << true << -20016;
        QTest::newRow("silent") << "mute" << "p2p_mute" << false << int(AvframeRecvThread::kErrNoFrame);
    }
    void sessionBreaksMidStream()
    {
        QFETCH(QString, did);
        QFETCH(QString, fault);
        QFETCH(bool, audio);
        QFETCH(int, code);
        CameraTimings timings;
        timings.noFrameTimeoutMs = 2500;
        auto* c = new VuCameraClient(cameraRecord(did), timings);
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        ThreadSafeSpy recording(c, &VuCameraClient::recordingStarted);
        ThreadSafeSpy saved(c, &VuCameraClient::recordingSaved);
        ThreadSafeSpy refused(c, &VuCameraClient::recordingFailed);
        QTemporaryDir dir;
        QVERIFY(playUntilPicture(c, audio));
        c->startRecording(QStringLiteral("/proc/no/such/folder"));
        c->startRecording(dir.filePath("videos"));
        QTRY_VERIFY_WITH_TIMEOUT(!recording.isEmpty() && (nextPicture(c, 0), QFileInfo(recording.first().at(0).toString()).size() > 0), 15000);
        const QString path = recording.first().at(0).toString(); // written from a key frame on
        QElapsedTimer t;
        t.start();
        m_home.setCamera(did, [&](SimCamera& cam) { cam.faults.insert(fault, true); });
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 15000);
        QCOMPARE(failed.first().at(0).toInt(), code);
        QCOMPARE(firsts(saved), QVariantList{path});
        QVERIFY2(QRegularExpression(dir.filePath("videos/") + did + "_\\d{8}_\\d{6}\\.mp4").match(path).hasMatch(), qPrintable(path));
        QCOMPARE(refused.count(), 1);
        if (fault == "p2p_mute") // not before the time-out (counted from the last frame, just before the mute)
            QVERIFY2(t.elapsed() >= timings.noFrameTimeoutMs - 1000, qPrintable(QString::number(t.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Disconnected, 5000);
        FrameInfo info;
        QVERIFY(c->grabFrame(info).isNull() && c->receivedBytesPerSecond() == 0);
        m_home.setCamera(did, [&](SimCamera& cam) { cam.faults.remove(fault); });
        QVERIFY(playUntilPicture(c));
        QVERIFY(dispose(c));
        QCOMPARE(failed.count(), 1);
        QCOMPARE(online.count(), 0);
    }

    // The link breaks just as the user stops: the receive thread's report is
    // still queued for the worker when the stop runs there. It belongs to the
    // stopped stream and must not fail the client.
    void errorOfAStoppedStreamIsDropped()
    {
        LogCapture log;
        auto* c = new VuCameraClient(cameraRecord("drop"));
        ThreadSafeSpy failed(c, &VuCameraClient::failed);
        ThreadSafeSpy stopped(c, &VuCameraClient::playStopped);
        QVERIFY(playUntilPicture(c));
        QSemaphore held;
        runQueued(c, [&held] { held.acquire(); }); // the worker waits, the stop queues behind
        c->stopPlay();
        m_home.setCamera("drop", [](SimCamera& cam) { cam.faults.insert("p2p_drop", true); });
        QTRY_COMPARE_WITH_TIMEOUT(threadsNamed("AvframeRecv"), 0, 10000); // its report queued behind the stop
        held.release();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("of a stopped stream dropped") || !failed.isEmpty(), 10000);
        m_home.setCamera("drop", [](SimCamera& cam) { cam.faults.remove("p2p_drop"); });
        QVERIFY(dispose(c));
        QCOMPARE(failed.count(), 0);
    }

    // ---- the camera list manager --------------------------------------------

    // Rooms, then the device list; later polls add and remove cameras:
    // loaded when the set turns empty or non-empty, added and removed else.
    // A camera the cloud lists twice is one client with the first record.
    void listFollowsTheHome()
    {
        m_home.signIn(QStringLiteral("777"));
        auto add = [this](const char* did, const char* name) {
            m_home.scenario->addCamera(Scenario::cameraFromJson(QJsonObject{{"did", did}, {"owner", "777"}, {"name", name}}, "s"));
        };
        add("n1", "first"), add("n1", "second");
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy added(&mgr, &VuCameraListMgr::cameraAdded);
        ThreadSafeSpy removed(&mgr, &VuCameraListMgr::cameraRemoved);
        ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
        LogCapture log;
        QVERIFY(load(mgr, loaded));
        QCOMPARE(loaded.first().at(0).value<QList<VuCameraClient*>>().size(), 1);
        QVERIFY(mgr.cameras().size() == 1 && mgr.cameras().first()->name() == "first" && log.contains("camera n1 listed twice"));
        add("n2", "first"), add("n2", "second");
        QVERIFY(poll(mgr));
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(added.count(), 1);
        QCOMPARE(added.first().at(0).value<VuCameraClient*>()->did(), QStringLiteral("n2"));
        QVERIFY(mgr.cameras().size() == 2 && mgr.cameras().last()->name() == "first");
        for (const char* did : {"n1", "n1", "n2", "n2"})
            m_home.scenario->removeCamera(did);
        QVERIFY(poll(mgr));
        QCOMPARE(removed.count(), 2);
        QCOMPARE(loaded.count(), 2);
        QVERIFY(loaded.last().at(0).value<QList<VuCameraClient*>>().isEmpty());
        add("n3", "n3");
        QVERIFY(poll(mgr));
        QCOMPARE(loaded.count(), 3);
        QCOMPARE(loaded.last().at(0).value<QList<VuCameraClient*>>().value(0)->did(), QStringLiteral("n3"));
        m_home.scenario->removeCamera("n3");
        QVERIFY(poll(mgr));
        QVERIFY(removed.count() == 3 && loaded.count() == 4);
        // The tile owner destroys removed clients, the manager deletes them; their ends after a stop do not end it again.
        QList<QPointer<VuCameraClient>> gone;
        for (const auto& args : removed.calls())
            gone << args.at(0).value<VuCameraClient*>(), gone.last()->destroy();
        QVERIFY(stopAndWait(mgr));
        QTRY_VERIFY_WITH_TIMEOUT(std::all_of(gone.begin(), gone.end(), [](const QPointer<VuCameraClient>& c) { return c.isNull(); }), 20000);
        QCOMPARE(stopped.count(), 1);
    }

    // A camera goes offline for its client only on the second offline answer
    // in a row; an id once held back stays so until an offline is applied.
    void offlineNeedsTwoAnswers()
    {
        m_home.signIn(QStringLiteral("555"));
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy removed(&mgr, &VuCameraListMgr::cameraRemoved);
        QVERIFY(load(mgr, loaded));
        QCOMPARE(mgr.cameras().size(), 2);
        VuCameraClient* c = mgr.cameras().first();
        QCOMPARE(c->did() + c->roomName() + c->roomIcon(), QStringLiteral("m1Hallhall"));
        QVERIFY(mgr.cameras().last()->roomName().isEmpty());
        QVERIFY(mgr.cameras().last()->usesH265() && !c->usesH265());
        ThreadSafeSpy online(c, &VuCameraClient::onlineStateChanged);
        auto answer = [&](bool isOnline) {
            m_home.setCamera("m1", [isOnline](SimCamera& cam) { cam.online = isOnline; });
            return poll(mgr);
        };
        // Each answer with the reports the client has after it: a single
        // offline answer never reaches it; one held back earlier makes the
        // next offline answer apply; an applied one starts the count again.
        const QList<QPair<bool, int>> answers{{false, 0}, {true, 0}, {false, 1}, {true, 2}, {false, 2}, {false, 3},
                                              {true, 4}};
        for (const auto& a : answers) {
            QVERIFY(answer(a.first));
            QCOMPARE(online.count(), a.second);
        }
        QCOMPARE(firsts(online), (QVariantList{false, true, false, true}));
        // Failing polls change nothing: no camera goes, none goes offline.
        for (const char* f : {R"({"http_status": {"/app/home/device_list": 500}})",
                              R"({"malformed": {"/app/home/device_list": "array"}})"}) {
            m_home.setCloudFaults(f);
            QVERIFY(poll(mgr));
            QVERIFY(poll(mgr));
        }
        QCOMPARE(loaded.count() + removed.count(), 1);
        QCOMPARE(mgr.cameras().size(), 2);
        QCOMPARE(online.count(), 4);
        QVERIFY(stopAndWait(mgr));
    }

    // The first load retries a failed request at once, three times in the
    // manager's life, then reports the last code; no device list without rooms.
    void firstLoadRetriesThreeTimes_data()
    {
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("roomRequests");
        QTest::addColumn<int>("deviceRequests");
        QTest::newRow("rooms") << QByteArray(R"({"http_status": {"/app/homeroom/getroom": 500}})") << 1 << 4 << 0;
        QTest::newRow("devices") << QByteArray(R"({"http_status": {"/app/home/device_list": 500}})") << 1 << 1 << 4;
        QTest::newRow("garbage") << QByteArray(R"({"malformed": {"/app/home/device_list": "not_json"}})") << 2 << 1 << 4;
    }
    void firstLoadRetriesThreeTimes()
    {
        QFETCH(QByteArray, faults);
        QFETCH(int, code);
        QFETCH(int, roomRequests);
        QFETCH(int, deviceRequests);
        m_home.setCloudFaults(faults);
        const int rooms = m_home.requestsTo("/homeroom/getroom");
        const int devices = m_home.requestsTo("/home/device_list");
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy failed(&mgr, &VuCameraListMgr::startFailed);
        mgr.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 20000);
        QCOMPARE(failed.first().at(0).toInt(), code);
        QCOMPARE(m_home.requestsTo("/homeroom/getroom") - rooms, roomRequests);
        QCOMPARE(m_home.requestsTo("/home/device_list") - devices, deviceRequests);
        // The budget is never reset: a new start fails at its first failure.
        mgr.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 2, 10000);
        QCOMPARE(m_home.requestsTo("/homeroom/getroom") - rooms, roomRequests + 1);
        QCOMPARE(m_home.requestsTo("/home/device_list") - devices, deviceRequests ? deviceRequests + 1 : 0);
        QVERIFY(loaded.isEmpty() && mgr.cameras().isEmpty());
        ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
        mgr.stop(); // no clients: at once
        QCOMPARE(stopped.count(), 1);
    }

    // A camera played with its timeline from a list manager, with the
    // program's log file: no secret of the camera, its session or the cloud
    // session is in the log, in any form.
    void playingLeavesNoSecretInTheLog()
    {
        m_home.signIn(QStringLiteral("555"));
        QTemporaryDir dir;
        const QString logPath = dir.filePath(QStringLiteral("vucamera.log"));
        CameraPassport pass;
        {
            LogFile logFile(logPath);
            QVERIFY(logFile.isOpen());
            VuCameraListMgr mgr;
            ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
            QVERIFY(load(mgr, loaded));
            VuCameraClient* c = mgr.cameras().first();
            ThreadSafeSpy timeline(c, &VuCameraClient::timeLineReady);
            QVERIFY(playUntilPicture(c));
            QTRY_VERIFY_WITH_TIMEOUT(timeline.count() > 0, 15000);
            pass = c->passport();
            QVERIFY(stopAndWait(mgr));
        }
        QFile logFile(logPath);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QByteArray logText = logFile.readAll();
        QVERIFY(logText.contains("camera m1: work thread stopped"));
        const SimCamera cam = m_home.camera("m1");
        QCOMPARE(pass.password, cam.password);
        QList<QByteArray> secrets;
        for (const QString& s : {ApiCredentials::serviceToken(), ApiCredentials::ssecurity(), cam.password})
            secrets << s.toUtf8() << QUrl::toPercentEncoding(s);
        for (const QByteArray& key : {pass.sharedKey, pass.appSecretKey, cam.boxSecretKey,
                                      m_home.scenario->cloudSignSecretKey()})
            secrets << key.toHex() << key.toHex().toUpper() << key.toBase64()
                    << key.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
        for (const QByteArray& s : qAsConst(secrets)) {
            QVERIFY(s.size() >= 8);
            QVERIFY2(!logText.contains(s), "the log holds " + s);
        }
    }

    // Nine clients from a list manager played and stopped in a random
    // (seeded) interleaving, a quarter of the stops before the connect is
    // through; then all play, four are destroyed in random order and the
    // manager's stop ends the others.
    void playStopCyclesOverNineClients()
    {
        m_home.signIn(QStringLiteral("999"));
        const int cycles = envInt("VC_STRESS_CYCLES", 24);
        const quint32 seed = quint32(envInt("VC_STRESS_SEED", 20261206));
        std::mt19937 rng(seed);
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
        QVERIFY(load(mgr, loaded));
        const QList<VuCameraClient*> clients = mgr.cameras();
        QCOMPARE(clients.size(), 9);
        std::vector<std::unique_ptr<ThreadSafeSpy>> failures, destroyed;
        for (VuCameraClient* c : clients) {
            failures.emplace_back(new ThreadSafeSpy(c, &VuCameraClient::failed));
            destroyed.emplace_back(new ThreadSafeSpy(c, &VuCameraClient::destroyed));
        }
        QTRY_COMPARE_WITH_TIMEOUT(threadsNamed(QStringLiteral("cam-x")), 9, 5000);

        // A play on an idle client, later a stop of a playing or still
        // connecting one (a quarter of the plays at once), with random pauses.
        int started = 0;
        QList<int> playing;
        while (started < cycles || !playing.isEmpty()) {
            if (started >= cycles || playing.size() == 9 || (playing.size() >= 3 && rng() % 2 == 0)) {
                clients[playing.takeAt(int(rng() % quint32(playing.size())))]->stopPlay();
            } else {
                QList<int> idle;
                for (int k = 0; k < 9; ++k)
                    if (!playing.contains(k) && clients[k]->status() == ClientStatus::Disconnected)
                        idle << k;
                if (!idle.isEmpty()) {
                    const int k = idle.at(int(rng() % quint32(idle.size())));
                    clients[k]->play(int(rng() % 3), false, QString());
                    ++started;
                    if (rng() % 4 == 0) {
                        QTest::qWait(int(rng() % 40));
                        clients[k]->stopPlay();
                    } else {
                        playing << k;
                    }
                }
            }
            QTest::qWait(int(rng() % 80));
        }
        qInfo("stress: %d plays, seed %u", started, seed);

        // Every client comes to rest without a failure, then plays once more.
        for (int k = 0; k < 9; ++k) {
            QTRY_COMPARE_WITH_TIMEOUT(clients[k]->status(), ClientStatus::Disconnected, 20000);
            QVERIFY2(failures[k]->isEmpty(), qPrintable(clients[k]->did()));
        }
        for (VuCameraClient* c : clients)
            QVERIFY2(playUntilPicture(c), qPrintable(c->did()));

        // Each destroyed exactly once, without a hang, and no worker or
        // timeline thread outlives its client.
        QList<int> order{0, 1, 2, 3, 4, 5, 6, 7, 8};
        std::shuffle(order.begin(), order.end(), rng);
        QElapsedTimer t;
        t.start();
        for (int k : order.mid(0, 4))
            clients[k]->destroy();
        QTRY_COMPARE_WITH_TIMEOUT(mgr.cameras().size(), 5, 20000);
        mgr.stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 20000);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(threadsNamed(QStringLiteral("cam-x")), 0, 10000);
        QCOMPARE(threadsNamed(QStringLiteral("rdt-timeline")), 0);
        for (int k = 0; k < 9; ++k) {
            QCOMPARE(destroyed[k]->count(), 1);
            QVERIFY(failures[k]->isEmpty());
        }
    }
};

VC_AUDIO_TEST_MAIN(TestCameraClient)
#include "tst_cameraclient.moc"
