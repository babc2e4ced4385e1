// CameraController's audio, timeline and motor commands against emulated
// cameras (P2P library + emulator device with its card and motor features).
#include "tests/support/testpassports.h"
#include "app/camerapassport.h"
#include "camera/cameracontroller.h"
#include "camera/libp2p.h"
#include "tests/support/logcapture.h"
#include "sim/device/simcamerasession.h"
#include "sim/device/simioctrldispatcher.h"
#include "sim/device/simp2phost.h"
#include "sim/devicefeatures/simdevicefeatures.h"
#include "sim/scenario/scenario.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QtTest>
#include <mutex>

namespace {

const char* const kScenario = R"({
  "seed": "tst-cameracommands",
  "cameras": [
    {"did": "cam-card", "p2p_id": "UID-card", "password": "pw-card",
     "recordings": [{"start": 1765000000, "length": 60, "motion": true, "saved": false},
                    {"start": 1765000060, "length": 30, "motion": false, "saved": true}]},
    {"did": "cam-nocard", "p2p_id": "UID-nocard", "password": "pw-nocard", "sdcard": false},
    {"did": "cam-silent", "p2p_id": "UID-silent", "password": "pw-silent",
     "faults": {"timeline_silent": true}},
    {"did": "cam-motor", "p2p_id": "UID-motor", "password": "pw-motor"}
  ]
})";

} // namespace

class TestCameraCommands : public QObject
{
    Q_OBJECT

private:
    Scenario* m_scenario = nullptr;
    SimP2pHost* m_host = nullptr;
    SimIoCtrlDispatcher m_features; // the emulator's handlers, behind a spy
    std::mutex m_spyMutex;
    QList<int> m_rdtChannels; // channels announced with 0x200, in order
    QList<int> m_rdtStops;

    CameraPassport passport(const QString& did)
    {
        return testpassports::plainPassport(*m_scenario, did);
    }

    QList<int> stops()
    {
        std::lock_guard<std::mutex> l(m_spyMutex);
        return m_rdtStops;
    }
    QList<int> announced()
    {
        std::lock_guard<std::mutex> l(m_spyMutex);
        return m_rdtChannels;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");
        m_scenario = new Scenario(this);
        QVERIFY(m_scenario->loadJson(kScenario));
        m_host = new SimP2pHost(m_scenario, this);
        SimDeviceFeatures::install(m_features);
        for (unsigned int type : {SimDeviceFeatures::IoRdtStart, SimDeviceFeatures::IoRdtStop,
                                  SimDeviceFeatures::IoMotor}) {
            m_host->dispatcher().add(type, [this](SimCameraSession& s, unsigned int t, const QByteArray& payload) {
                {
                    std::lock_guard<std::mutex> l(m_spyMutex);
                    const int ch = QJsonDocument::fromJson(payload).object().value("channel").toInt(-1);
                    if (t == SimDeviceFeatures::IoRdtStart)
                        m_rdtChannels.append(ch);
                    else if (t == SimDeviceFeatures::IoRdtStop)
                        m_rdtStops.append(ch);
                }
                m_features.dispatch(s, t, payload);
            });
        }
        QVERIFY(m_host->start());
        QCOMPARE(LibP2p::setDirectory(m_host->directoryAddress()), 0);
        QVERIFY(LibP2p::initialize() > 0);
    }

    void cleanupTestCase()
    {
        LibP2p::deInitialize();
        m_host->stop();
        LibP2p::setDirectory(QString());
    }

    void motorReplyHandling()
    {
        LogCapture log;
        CameraController c(nullptr);
        c.onIoctrlEvent(0xF006, QJsonDocument::fromJson(R"({"ret":0,"angle":50})").object());
        QVERIFY(log.contains("motor angle changed: 180"));
        c.onIoctrlEvent(0xF006, QJsonDocument::fromJson(R"({"ret":-1})").object());
        QVERIFY(log.contains("control motor failed: -1"));
        c.onIoctrlEvent(0xF006, QJsonDocument::fromJson(R"({"angle":10})").object());
        QVERIFY(log.contains("invalid json format:"));
        log.clear();
        c.onIoctrlEvent(0x1FF, QJsonDocument::fromJson(R"({"ret":-1})").object());
        QVERIFY(log.lines().isEmpty());
    }

    void motorMovesTheHeadUntilTheEndStop()
    {
        LogCapture log;
        const CameraPassport p = passport("cam-motor");
        CameraController c(&p);
        c.controlMotor(2); // not connected: nothing happens
        QCOMPARE(c.connCamera(), 0);
        c.controlMotor(2); // head at 50 -> 55: 198 degrees
        QTRY_VERIFY(log.contains("motor angle changed: 198"));
        for (int i = 0; i < 12; ++i)
            c.controlMotor(2);
        QTRY_VERIFY(log.contains("control motor failed: -1"));
        QVERIFY(log.contains("motor angle changed: 360"));
        QElapsedTimer t;
        t.start();
        QCOMPARE(c.stopPlay(), 0);
        QVERIFY2(t.elapsed() < 2500, "the event thread must stop within its receive time-out");
    }

    void audioCommandsNeedAPlayer()
    {
        LogCapture log;
        const CameraPassport p = passport("cam-motor");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        QCOMPARE(c.playAudio(), 0);
        QVERIFY(log.contains("audio_player already destroyed"));
        QCOMPARE(c.stopAudio(), 0);
        QVERIFY(log.contains("audio player already destroyed.."));
        c.stopPlay();
    }

    void timelineAfterStartRdt()
    {
        const CameraPassport p = passport("cam-card");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        QList<QVector<RecordFileHeader>> got;
        connect(&c, &CameraController::timeLineReady, this, [&](QVector<RecordFileHeader> v) { got.append(v); });
        const int before = announced().size();
        QCOMPARE(c.startRDT(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), 1, 10000);
        QCOMPARE(got.first().size(), 3); // two recordings and the card's trailing record
        QCOMPARE(got.first()[0].startTime, 1765000000u);
        QCOMPARE(int(got.first()[0].motioned), 1);
        QCOMPARE(got.first()[1].startTime, 1765000060u);
        QCOMPARE(int(got.first()[1].saved), 1);

        {
            LogCapture log;
            QCOMPARE(c.startRDT(), 4);
            QVERIFY(log.contains("camera cam-card:rdt already started"));
        }
        QCOMPARE(announced().size(), before + 1);
        const int first = announced().last();
        QVERIFY(first > 0);

        c.stopRDT();
        QTRY_VERIFY(stops().contains(first));
        QCOMPARE(c.startRDT(), 0);
        QTRY_COMPARE(announced().size(), before + 2);
        QVERIFY2(announced().last() != first, "a fresh channel is asked for after stopRDT");
        QTRY_COMPARE_WITH_TIMEOUT(got.size(), 2, 10000);
        QCOMPARE(got.last().size(), 3);
        c.stopPlay();
        c.stopRDT(); // nothing left to stop
    }

    void cameraWithoutCardRefusesRdt()
    {
        LogCapture log;
        const CameraPassport p = passport("cam-nocard");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        int delivered = 0;
        connect(&c, &CameraController::timeLineReady, this, [&] { ++delivered; });
        QCOMPARE(c.startRDT(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains("RDT_Create failed["), 15000);
        QCOMPARE(delivered, 0);
        c.stopPlay();
    }

    void stopPlayWaitsForRunningRdtRead()
    {
        const CameraPassport p = passport("cam-silent");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        QCOMPARE(c.startRDT(), 0);
        QTest::qWait(1500); // channel open, the request sent, the read waiting (5 s)
        QElapsedTimer t;
        t.start();
        QCOMPARE(c.stopPlay(), 0);
        const qint64 waited = t.elapsed();
        QVERIFY2(waited >= 2000 && waited < 7000, qPrintable(QString::number(waited)));
        QVERIFY(!c.connected());
    }
};

QTEST_GUILESS_MAIN(TestCameraCommands)
#include "tst_cameracommands.moc"
