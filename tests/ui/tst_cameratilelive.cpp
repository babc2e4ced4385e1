// The camera tile with its real camera client against the in-process emulated
// home: the client comes from a camera list manager as in the main window
// (its polls run when a case asks), and every failure, pin-code answer, power
// and online change comes from the emulated cloud and cameras. The tile logic
// in detail is tst_cameratile's (pin codes included); these cases check that
// the client's reports and the tile's reactions fit together over time.

#include "uitestsupport.h"

#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "cloud/vuotapi.h"
#include "tests/support/logcapture.h"
#include "tests/support/queuedcall.h"
#include "tests/support/simhome.h"
#include "tests/support/threadsafespy.h"
#include "ui/mlabel.h"
#include "ui/videolabel.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray scenario()
{
    QByteArrayList cams;
    for (const char* c : {R"("refused", "faults": {"p2p_refuse": true})", R"("sleepy")", R"("away")"})
        cams << QByteArray(R"({"owner": "1234567890", "width": 320, "height": 180, "fps": 10, "sdcard": false, "did": )") + c + "}";
    return R"({"seed": "tile-live", "accounts": [{"user_id": "1234567890", "password": "pw"}], "cameras": [)"
        + cams.join(',') + "]}";
}

const QString kPass = QStringLiteral("/device/devicepass");

QString playLine(const QString& did, int count, const char* reason)
{
    return QStringLiteral("camera %1: play video at %2 times from last stable status.[%3]").arg(did).arg(count).arg(reason);
}

} // namespace

class TstCameraTileLive : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    SimHome m_home;
    VuCameraListMgr* m_mgr = nullptr;
    VuCameraWidget* m_tile = nullptr;

    // A tile for the camera's client from a new list manager.
    VuCameraWidget* makeTile(const QString& did)
    {
        m_mgr = new VuCameraListMgr();
        ThreadSafeSpy loaded(m_mgr, &VuCameraListMgr::deviceListLoaded);
        m_mgr->setPollInterval(3600 * 1000);
        m_mgr->start();
        if (!QTest::qWaitFor([&] { return loaded.count() > 0; }, 15000))
            return nullptr;
        for (VuCameraClient* c : m_mgr->cameras()) {
            if (c->did() != did)
                continue;
            TileTimings timings;
            timings.bufferingAfterMs = 500;
            timings.powerCheckIntervalMs = 200;
            m_tile = new VuCameraWidget(c, nullptr, timings);
            m_tile->resize(480, 330);
            m_tile->show();
        }
        return m_tile;
    }

    // One poll of the device list, handled by the manager and the client.
    bool poll()
    {
        m_mgr->getDeviceList();
        if (!QTest::qWaitFor([&] { return m_mgr->findChildren<VuotApi*>().isEmpty(); }, 15000))
            return false;
        runQueuedAndWait(m_tile->client(), [] {});
        return true;
    }

    // Playing, with real pictures coming after those shown so far.
    bool playsWithPictures()
    {
        const quint64 before = m_tile->picturesShown();
        return QTest::qWaitFor([&] { return m_tile->ui()->state() == VuCameraWidgetUI::Playing
                                            && m_tile->picturesShown() >= before + 3
                                            && UiTest::hasContent(m_tile->currentPicture()); }, 20000)
            && m_tile->ui()->videoLabel()->isVisible() && m_tile->retriesLeft() == VuCameraWidget::RetryBudget;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        UiTest::useHome(m_dir.path());
        UiTest::setUp();
        qRegisterMetaType<QList<VuCameraClient*>>("QList<VuCameraClient*>");
        QVERIFY(m_home.start(scenario()));
    }
    void cleanupTestCase() { m_home.stop(); }
    void init() { UiTest::clearWarnings(); }
    void cleanup()
    {
        // As the main window closes: the tile goes, the manager destroys the
        // client and says when it is gone.
        delete m_tile;
        m_tile = nullptr;
        ThreadSafeSpy stopped(m_mgr, &VuCameraListMgr::stopped);
        m_mgr->stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 20000);
        delete m_mgr;
        m_mgr = nullptr;
        QVERIFY(UiTest::resourceWarnings().isEmpty());
    }

    // A camera that refuses every session: the play button's eleven
    // automatic retries each go to the cloud and the camera again, then the
    // error overlay; the retry button's one more. Once the camera takes
    // sessions again the retry button plays.
    void retryBudgetAgainstARefusingCamera()
    {
        LogCapture log;
        VuCameraWidget* t = makeTile("refused");
        QVERIFY(t);
        ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
        const int passes = m_home.requestsTo(kPass);
        QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError), 30000);
        QCOMPARE(failed.count(), 12);
        QCOMPARE(m_home.requestsTo(kPass) - passes, 12);
        QCOMPARE(log.count(playLine("refused", 12, "auto retry")), 1);
        QCOMPARE(t->client()->status(), ClientStatus::Disconnected);
        QTest::mouseClick(t->ui()->retryLabel(), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 14, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError), 5000);
        QCOMPARE(m_home.requestsTo(kPass) - passes, 14);
        m_home.setCamera("refused", [](SimCamera& cam) { cam.faults.remove(QStringLiteral("p2p_refuse")); });
        QTest::mouseClick(t->ui()->retryLabel(), Qt::LeftButton);
        QVERIFY(playsWithPictures());
        QCOMPARE(failed.count(), 14);
    }

    // A playing camera is switched off elsewhere and stops sending: once no
    // picture came for the buffering time the tile checks the power, finds it
    // off and shows the sleep overlay, no error; it keeps checking, and once
    // the camera is on again it plays by itself.
    void sleepWhilePlayingThenPowerOn()
    {
        LogCapture log;
        VuCameraWidget* t = makeTile("sleepy");
        QVERIFY(t);
        ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
        QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
        QVERIFY(playsWithPictures());
        m_home.setCamera("sleepy", [](SimCamera& cam) {
            cam.power = false;
            cam.faults.insert(QStringLiteral("p2p_mute"), true);
        });
        QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForSleep), 15000);
        QVERIFY(!t->isPlayTimerActive() && t->isPowerChecking());
        QCOMPARE(t->client()->status(), ClientStatus::Disconnected);
        const int asked = m_home.requestsTo("/home/rpc/sleepy");
        QTRY_VERIFY_WITH_TIMEOUT(m_home.requestsTo("/home/rpc/sleepy") > asked + 1, 5000);
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForSleep));
        m_home.setCamera("sleepy", [](SimCamera& cam) {
            cam.power = true;
            cam.faults.remove(QStringLiteral("p2p_mute"));
        });
        QVERIFY(playsWithPictures());
        QCOMPARE(log.count(playLine("sleepy", 2, "auto play as for power on")), 1);
        QVERIFY(!t->isPowerChecking());
        QCOMPARE(log.count("to \"stopped 4 error\""), 0);
        QCOMPARE(failed.count(), 0);
    }

    // A playing camera drops off the network: its session ends, the tile's
    // retry meets the cloud's "device offline" and shows "Offline" with its
    // budget spent by one, no error overlay, however often the list is asked.
    // Back on line, the next poll brings the tile back to playing.
    void offlineWhilePlayingThenBack()
    {
        LogCapture log;
        VuCameraWidget* t = makeTile("away");
        QVERIFY(t);
        ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
        QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
        QVERIFY(playsWithPictures());
        m_home.setCamera("away", [](SimCamera& cam) { cam.online = false; });
        QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::Offline), 15000);
        QVERIFY(t->ui()->offlineFlag()->isVisible() && !t->ui()->onlineFlag()->isVisible());
        QVERIFY(!t->isPlayTimerActive());
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toInt(), -20015);
        QCOMPARE(t->retriesLeft(), VuCameraWidget::RetryBudget - 1);
        QVERIFY(poll() && poll());
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Offline));
        m_home.setCamera("away", [](SimCamera& cam) { cam.online = true; });
        QVERIFY(poll());
        QVERIFY(playsWithPictures());
        QCOMPARE(log.count(playLine("away", 3, "auto play as for online again")), 1);
        QVERIFY(t->ui()->onlineFlag()->isVisible() && !t->ui()->offlineFlag()->isVisible());
        QCOMPARE(log.count("to \"stopped 4 error\""), 0);
        QCOMPARE(failed.count(), 1);
    }
};

QTEST_MAIN(TstCameraTileLive)
#include "tst_cameratilelive.moc"
