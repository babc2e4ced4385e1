// Camera audio end to end: an emulated camera plays video with its test tone
// (A-law and PCM cameras); the controller's player decodes it into the audio
// device, and audio can be switched off and on again while playing.
#include "tests/support/testpassports.h"
#include "app/camerapassport.h"
#include "camera/audiodevice.h"
#include "camera/audioplayer.h"
#include "camera/cameracontroller.h"
#include "camera/libp2p.h"
#include "camera/videobuffer.h"
#include "tests/support/logcapture.h"
#include "sim/device/simp2phost.h"
#include "sim/devicefeatures/simdevicefeatures.h"
#include "sim/media/simvideofeature.h"
#include "sim/scenario/scenario.h"
#include "tests/support/audiotestmain.h"

#include <QtTest>
#include <sodium.h>

namespace {

const char* const kScenario = R"({
  "seed": "tst-cameraaudio",
  "cameras": [
    {"did": "cam-alaw", "p2p_id": "UID-alaw", "password": "pw1", "width": 320, "height": 180, "fps": 10,
     "audio_codec": 138},
    {"did": "cam-pcm", "p2p_id": "UID-pcm", "password": "pw2", "width": 320, "height": 180, "fps": 10,
     "audio_codec": 136}
  ]
})";

qint64 pcmWritten(CameraController& c)
{
    AudioPlayer* p = c.audioPlayer();
    AudioDevice* d = p ? p->device() : nullptr;
    return d ? d->pcmBytesWritten() : -1;
}

} // namespace

class TestCameraAudio : public QObject
{
    Q_OBJECT

    Scenario* m_scenario = nullptr;
    SimP2pHost* m_host = nullptr;

    CameraPassport passport(const QString& did)
    {
        return testpassports::signedPassport(*m_scenario, did);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        m_scenario = new Scenario(this);
        QVERIFY(m_scenario->loadJson(kScenario));
        m_host = new SimP2pHost(m_scenario, this);
        SimVideoFeature::install(m_host->dispatcher());
        SimDeviceFeatures::install(m_host->dispatcher());
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

    void audioWhilePlaying_data()
    {
        QTest::addColumn<QString>("did");
        QTest::newRow("A-law camera") << "cam-alaw";
        QTest::newRow("PCM camera") << "cam-pcm";
    }
    void audioWhilePlaying()
    {
        QFETCH(QString, did);
        const CameraPassport p = passport(did);
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        VideoBuffer vb(false, p.sharedKey);
        QCOMPARE(c.play(&vb, 2, true), 0);
        QVERIFY(c.audioPlayer());
        // One second of tone is 16000 PCM bytes.
        QTRY_VERIFY_WITH_TIMEOUT(pcmWritten(c) > 16000, 15000);

        {
            LogCapture log;
            QCOMPARE(c.playAudio(), 0); // already on
            QVERIFY(log.contains("audio_player is still running now"));
        }
        QVERIFY(c.stopAudio() >= 0);
        QVERIFY(!c.audioPlayer()->isRunning());
        QCOMPARE(pcmWritten(c), qint64(-1)); // the device is gone with the audio

        QCOMPARE(c.playAudio(), 0); // on again while the video keeps playing
        QTRY_VERIFY_WITH_TIMEOUT(pcmWritten(c) > 8000, 15000);
        QCOMPARE(c.stopPlay(), 0);
        QVERIFY(!c.audioPlayer());
    }

    void playWithoutAudioThenSwitchOn()
    {
        const CameraPassport p = passport("cam-alaw");
        CameraController c(&p);
        QCOMPARE(c.connCamera(), 0);
        VideoBuffer vb(false, p.sharedKey);
        QCOMPARE(c.play(&vb, 2, false), 0);
        QTest::qWait(500);
        QVERIFY(!c.audioPlayer()->isRunning());
        QCOMPARE(c.playAudio(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(pcmWritten(c) > 8000, 15000);
        QCOMPARE(c.stopPlay(), 0);
    }
};

VC_AUDIO_TEST_GUILESS_MAIN(TestCameraAudio)
#include "tst_cameraaudio.moc"
