// The camera tile with its real camera client against the in-process emulated
// home: clients come from the camera list manager as in the main window, and
// every failure, pin-code answer, power and online change comes from the
// emulated cloud and cameras. Covers the automatic retry budget and the retry
// button's, -20009 with and without an entered pin code, a camera that goes
// to sleep while playing and wakes up, and one that drops off the network
// while playing and comes back.

#include "uitestsupport.h"

#include "client/vucameralistmgr.h"
#include "tests/support/logcapture.h"
#include "tests/client/simworld.h"
#include "ui/mlabel.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/videolabel.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QPushButton>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kScenario = R"({
  "seed": "tile-live",
  "accounts": [{"user_id": "1234567890", "password": "pw"}],
  "rooms": [{"id": "r1", "name": "Hall", "owner": "1234567890",
             "dids": ["refused", "pinned", "latepin", "sleepy", "away"]}],
  "cameras": [
    {"did": "refused", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180,
     "fps": 10, "sdcard": false, "faults": {"p2p_refuse": true}},
    {"did": "pinned", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180,
     "fps": 10, "sdcard": false, "pincode": "1357"},
    {"did": "latepin", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180,
     "fps": 10, "sdcard": false},
    {"did": "sleepy", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180,
     "fps": 10, "sdcard": false},
    {"did": "away", "model": "hovia.camera.v3", "owner": "1234567890", "width": 320, "height": 180,
     "fps": 10, "sdcard": false}
  ]
})";

using UiTest::hasContent;

QString playLine(const QString& did, int count, const char* reason)
{
    return QStringLiteral("camera %1: play video at %2 times from last stable status.[%3]")
        .arg(did)
        .arg(count)
        .arg(QLatin1String(reason));
}

// How often the tile entered a state (from any other).
int entered(const LogCapture& log, const QString& did, int state)
{
    const QString head = QStringLiteral("camera %1: ui state from \"").arg(did);
    const QString tail = QStringLiteral("\" to \"%1\"").arg(QLatin1String(VuCameraWidgetUI::stateName(state)));
    int n = 0;
    for (const QString& l : log.lines())
        n += l.startsWith(head) && l.endsWith(tail) ? 1 : 0;
    return n;
}

void typeCode(PinCodeWidget* pin, const char* code)
{
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(pin->edit(i), code[i]);
}

} // namespace

class TstCameraTileLive : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void tenRetryBudgetThenRetryButton();
    void wrongPincodeAsksAgainRightOnePlays();
    void pincodeErrorWithoutPincodeIsRetried();
    void sleepWhilePlayingThenPowerOn();
    void offlineWhilePlayingThenBack();

private:
    VuCameraClient* clientOf(const QString& did) const;
    // A tile for the camera's client from a new list manager polling the
    // device list every pollMs.
    VuCameraWidget* makeTile(const QString& did, int pollMs = 300);
    // Waits for Playing and real pictures coming after the ones shown so far.
    bool playsWithPictures(VuCameraWidget* t, int ms = 20000);
    // The automatic retries of a play the play button started and that
    // failed with err every time: counts 1 to 12, no 13th, the error overlay.
    void checkRetryRun(const LogCapture& log, const QString& did, int err);

    QTemporaryDir m_home;
    SimWorld m_world;
    VuCameraListMgr* m_mgr = nullptr;
    VuCameraWidget* m_tile = nullptr;
};

void TstCameraTileLive::initTestCase()
{
    QVERIFY(m_home.isValid());
    UiTest::useHome(m_home.path());
    UiTest::setUp();
    qRegisterMetaType<QList<VuCameraClient*>>("QList<VuCameraClient*>");
    QVERIFY(m_world.start(kScenario));
}

void TstCameraTileLive::cleanupTestCase() { m_world.stop(); }

void TstCameraTileLive::init() { UiTest::clearWarnings(); }

void TstCameraTileLive::cleanup()
{
    // As the main window closes: the tiles go, the manager destroys the
    // clients and says when they are all gone.
    delete m_tile;
    m_tile = nullptr;
    if (m_mgr) {
        ThreadSafeSpy stopped(m_mgr, &VuCameraListMgr::stopped);
        m_mgr->stop();
        QVERIFY(stopped.count() == 1 || stopped.wait(20000));
        delete m_mgr;
        m_mgr = nullptr;
    }
}

VuCameraClient* TstCameraTileLive::clientOf(const QString& did) const
{
    for (VuCameraClient* c : m_mgr->cameras())
        if (c->did() == did)
            return c;
    return nullptr;
}

VuCameraWidget* TstCameraTileLive::makeTile(const QString& did, int pollMs)
{
    // The clients as the main window gets them: from the list manager.
    m_mgr = new VuCameraListMgr();
    ThreadSafeSpy loaded(m_mgr, &VuCameraListMgr::deviceListLoaded);
    m_mgr->setPollInterval(pollMs);
    m_mgr->start();
    if ((loaded.count() == 0 && !loaded.wait(15000)) || m_mgr->cameras().size() != 5)
        return nullptr;
    VuCameraClient* c = clientOf(did);
    if (!c)
        return nullptr;
    m_tile = new VuCameraWidget(c);
    m_tile->resize(480, 330);
    m_tile->show();
    return m_tile;
}

bool TstCameraTileLive::playsWithPictures(VuCameraWidget* t, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (t->ui()->state() != VuCameraWidgetUI::Playing && clock.elapsed() < ms)
        QTest::qWait(20);
    if (t->ui()->state() != VuCameraWidgetUI::Playing)
        return false;
    const quint64 before = t->picturesShown();
    while ((t->picturesShown() < before + 3 || !hasContent(t->currentPicture())) && clock.elapsed() < ms)
        QTest::qWait(20);
    return t->ui()->state() == VuCameraWidgetUI::Playing && t->picturesShown() >= before + 3
           && hasContent(t->currentPicture()) && t->ui()->videoLabel()->isVisible();
}

void TstCameraTileLive::checkRetryRun(const LogCapture& log, const QString& did, int err)
{
    QCOMPARE(log.count(playLine(did, 1, "manual")), 1);
    for (int count = 2; count <= 12; ++count) {
        const QString line = playLine(did, count, "auto retry");
        QVERIFY2(log.count(line) == 1, qPrintable(line));
    }
    QCOMPARE(log.count(QStringLiteral("camera %1: play video at 13 times").arg(did)), 0);
    QCOMPARE(log.count(QStringLiteral("camera %1: play error[%2] after 10 retry").arg(did).arg(err)), 1);
    VuCameraWidgetUI* ui = m_tile->ui();
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::StoppedForError));
    QVERIFY(ui->overlay(VuCameraWidgetUI::StoppedForError)->isVisible());
    QVERIFY(ui->retryLabel()->isVisible());
    QCOMPARE(ui->errorTextLabel()->text(), VuCameraWidget::errorText(err));
    QVERIFY(!ui->videoLabel()->isVisible());
    QVERIFY(!m_tile->isPlayTimerActive());
}

// A camera that refuses every P2P session: the play button's budget of ten
// gives eleven automatic attempts, each one a real device pass, property
// read and refused connect, then the error overlay. The retry button grants
// one automatic retry more; once the camera accepts again it plays.
void TstCameraTileLive::tenRetryBudgetThenRetryButton()
{
    LogCapture log;
    const QString did = QStringLiteral("refused");
    VuCameraWidget* t = makeTile(did);
    QVERIFY(t);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
    ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
    const int passes = m_world.requestsTo(QStringLiteral("/device/devicepass"));

    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError), 30000);
    qInfo("eleven automatic retries took %lld ms", clock.elapsed());
    QCOMPARE(failed.count(), 12);
    const int err = failed.first().first().toInt();
    QVERIFY2(err < 0 && err != -20009 && err != -64 && err != -90, qPrintable(QString::number(err)));
    for (const QList<QVariant>& args : failed.calls())
        QCOMPARE(args.first().toInt(), err);
    // Each attempt went to the cloud and the camera again.
    QCOMPARE(m_world.requestsTo(QStringLiteral("/device/devicepass")) - passes, 12);
    checkRetryRun(log, did, err);
    QTest::qWait(500);
    QCOMPARE(failed.count(), 12); // and nothing more by itself
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError));

    // The retry button: its own play and one automatic retry.
    QTest::mouseClick(t->ui()->retryLabel(), Qt::LeftButton);
    QCOMPARE(log.count(playLine(did, 11, "manual retry")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 14, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError), 5000);
    QCOMPARE(log.count(playLine(did, 12, "auto retry")), 2);
    QCOMPARE(log.count(QStringLiteral("camera %1: play error[%2] after 10 retry").arg(did).arg(err)), 2);
    QTest::qWait(500);
    QCOMPARE(failed.count(), 14);
    QVERIFY(t->ui()->retryLabel()->isVisible());

    // The camera takes sessions again: the retry button plays.
    m_world.setCamera(did, [](SimCamera& cam) { cam.faults.remove(QStringLiteral("p2p_refuse")); });
    QTest::mouseClick(t->ui()->retryLabel(), Qt::LeftButton);
    QVERIFY(playsWithPictures(t));
    QCOMPARE(t->retriesLeft(), int(VuCameraWidget::RetryBudget));
    QVERIFY(!t->ui()->overlay(VuCameraWidgetUI::StoppedForError)->isVisible());
    QCOMPARE(failed.count(), 14);
    QVERIFY(UiTest::resourceWarnings().isEmpty());
}

// A camera with a pin code: the tile asks for it; a wrong one is answered
// -20009 by the cloud and asked again (no automatic retry); the right one
// plays.
void TstCameraTileLive::wrongPincodeAsksAgainRightOnePlays()
{
    LogCapture log;
    const QString did = QStringLiteral("pinned");
    VuCameraWidget* t = makeTile(did);
    QVERIFY(t);
    VuCameraWidgetUI* ui = t->ui();
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::Pincode));
    PinCodeWidget* pin = ui->pinCodeWidget();
    QVERIFY(pin->isVisible());
    ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
    const int passes = m_world.requestsTo(QStringLiteral("/device/devicepass"));

    typeCode(pin, "2468");
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::Authing));
    QTRY_VERIFY_WITH_TIMEOUT(pin->isErrorShown(), 10000);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toInt(), -20009);
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::Pincode));
    QVERIFY(pin->isVisible());
    for (int i = 0; i < 4; ++i)
        QVERIFY(pin->edit(i)->text().isEmpty());
    QVERIFY(!ui->overlay(VuCameraWidgetUI::StoppedForError)->isVisible());
    QTest::qWait(500);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(m_world.requestsTo(QStringLiteral("/device/devicepass")) - passes, 1);
    QCOMPARE(log.count(QStringLiteral("camera %1: play video at 2 times").arg(did)), 0);
    QCOMPARE(t->client()->status(), ClientStatus::Disconnected);

    typeCode(pin, "1357");
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::Authing));
    QVERIFY(playsWithPictures(t));
    QVERIFY(!pin->isVisible());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(m_world.requestsTo(QStringLiteral("/device/devicepass")) - passes, 2);
    QCOMPARE(log.count(playLine(did, 1, "manual")), 2);
}

// The camera got a pin code after the list was read, so the tile shows the
// play button and plays without one: the cloud's -20009 counts as a common
// error and is retried within the budget, then shown as an error. Once the
// client knows of the pin code, the next -20009 asks for it.
void TstCameraTileLive::pincodeErrorWithoutPincodeIsRetried()
{
    LogCapture log;
    const QString did = QStringLiteral("latepin");
    // Polls far enough apart that the retries are over before the first.
    VuCameraWidget* t = makeTile(did, 6000);
    QVERIFY(t);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
    m_world.setCamera(did, [](SimCamera& cam) { cam.pincode = QStringLiteral("2020"); });
    ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);

    QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError), 30000);
    QCOMPARE(failed.count(), 12);
    for (const QList<QVariant>& args : failed.calls())
        QCOMPARE(args.first().toInt(), -20009);
    checkRetryRun(log, did, -20009);
    QCOMPARE(t->ui()->errorTextLabel()->text(), QStringLiteral("Error (-20009)"));
    QVERIFY(!t->ui()->pinCodeWidget()->isVisible());
    QCOMPARE(entered(log, did, VuCameraWidgetUI::Authing), 0);

    // The next poll tells the client about the pin code. The retry button
    // then meets -20009 again: now the tile asks for the code instead of
    // going round the error overlay for good.
    QVERIFY(!t->client()->isPincodeEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(t->client()->isPincodeEnabled(), 8000);
    QTest::mouseClick(t->ui()->retryLabel(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::Pincode), 10000);
    QCOMPARE(failed.count(), 13);
    QCOMPARE(failed.last().first().toInt(), -20009);
    QVERIFY(t->ui()->pinCodeWidget()->isVisible());
    QVERIFY(!t->ui()->overlay(VuCameraWidgetUI::StoppedForError)->isVisible());
    QTest::qWait(300);
    QCOMPARE(failed.count(), 13); // no automatic retry without a code
    typeCode(t->ui()->pinCodeWidget(), "2020");
    QVERIFY(playsWithPictures(t));
    QCOMPARE(failed.count(), 13);
    m_world.setCamera(did, [](SimCamera& cam) { cam.pincode.clear(); });
}

// A playing camera is put to sleep from elsewhere (it stops sending): after
// three seconds without pictures the tile checks the power, finds it off
// and shows the sleep overlay, no error; it keeps checking, and once the
// camera is on again it plays by itself.
void TstCameraTileLive::sleepWhilePlayingThenPowerOn()
{
    LogCapture log;
    const QString did = QStringLiteral("sleepy");
    VuCameraWidget* t = makeTile(did);
    QVERIFY(t);
    ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
    QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
    QVERIFY(playsWithPictures(t));
    QVERIFY(!t->isPowerChecking());

    m_world.setCamera(did, [](SimCamera& cam) {
        cam.power = false;
        cam.faults.insert(QStringLiteral("p2p_mute"), true);
    });
    QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::StoppedForSleep), 15000);
    VuCameraWidgetUI* ui = t->ui();
    QVERIFY(ui->overlay(VuCameraWidgetUI::StoppedForSleep)->isVisible());
    QVERIFY(ui->wakeUpButton()->isVisible());
    QVERIFY(!ui->overlay(VuCameraWidgetUI::StoppedForError)->isVisible());
    QVERIFY(!ui->videoLabel()->isVisible());
    QVERIFY(!t->isPlayTimerActive());
    QVERIFY(t->isPowerChecking());
    QCOMPARE(t->client()->status(), ClientStatus::Disconnected);
    QCOMPARE(log.count(QStringLiteral("camera %1: power state changed to be OFF").arg(did)), 1);
    QCOMPARE(entered(log, did, VuCameraWidgetUI::StoppedForError), 0);
    QCOMPARE(failed.count(), 0);

    // Asleep, the tile keeps asking the cloud (every 3 s).
    const QString rpc = QStringLiteral("/home/rpc/") + did;
    const int asked = m_world.requestsTo(rpc);
    QTRY_VERIFY_WITH_TIMEOUT(m_world.requestsTo(rpc) > asked, 5000);
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::StoppedForSleep));

    m_world.setCamera(did, [](SimCamera& cam) {
        cam.power = true;
        cam.faults.remove(QStringLiteral("p2p_mute"));
    });
    QVERIFY(playsWithPictures(t));
    QCOMPARE(log.count(playLine(did, 2, "auto play as for power on")), 1);
    QCOMPARE(log.count(QStringLiteral("camera %1: power state changed to be ON").arg(did)), 1);
    QVERIFY(!t->isPowerChecking());
    QVERIFY(!ui->overlay(VuCameraWidgetUI::StoppedForSleep)->isVisible());
    QCOMPARE(t->retriesLeft(), int(VuCameraWidget::RetryBudget));
    QCOMPARE(entered(log, did, VuCameraWidgetUI::StoppedForError), 0);
    QCOMPARE(failed.count(), 0);
}

// A playing camera drops off the network. Its session ends and the tile
// plays again at once, which the cloud answers "device offline": the tile
// shows "Offline" then, with its budget nearly whole and no error overlay,
// well before two polls of the device list would say so; when the camera is
// back, the next poll brings the tile back to playing by itself.
void TstCameraTileLive::offlineWhilePlayingThenBack()
{
    LogCapture log;
    const QString did = QStringLiteral("away");
    VuCameraWidget* t = makeTile(did, 2500);
    QVERIFY(t);
    ThreadSafeSpy failed(t->client(), &VuCameraClient::failed);
    QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
    QVERIFY(playsWithPictures(t));

    QElapsedTimer clock;
    clock.start();
    m_world.setCamera(did, [](SimCamera& cam) { cam.online = false; });
    QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::Offline), 15000);
    qInfo("offline shown %lld ms after the camera left", clock.elapsed());
    VuCameraWidgetUI* ui = t->ui();
    QVERIFY(ui->overlay(VuCameraWidgetUI::Offline)->isVisible());
    QVERIFY(ui->offlineFlag()->isVisible());
    QVERIFY(!ui->onlineFlag()->isVisible());
    QVERIFY(!ui->videoLabel()->isVisible());
    QVERIFY(!t->isPlayTimerActive());
    QVERIFY(!t->client()->isOnline());
    QCOMPARE(entered(log, did, VuCameraWidgetUI::StoppedForError), 0);
    // The session's end and nothing else was a failure; one retry found
    // the camera gone.
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().first().toInt(), -20015);
    QCOMPARE(log.count(playLine(did, 2, "auto retry")), 1);
    QCOMPARE(log.count(QStringLiteral("camera %1: play video at 3 times").arg(did)), 0);
    QCOMPARE(t->retriesLeft(), int(VuCameraWidget::RetryBudget) - 1);
    QTest::qWait(3000); // a poll or two later it is still offline
    QCOMPARE(ui->state(), int(VuCameraWidgetUI::Offline));
    QCOMPARE(entered(log, did, VuCameraWidgetUI::StoppedForError), 0);

    m_world.setCamera(did, [](SimCamera& cam) { cam.online = true; });
    QVERIFY(playsWithPictures(t));
    QCOMPARE(log.count(playLine(did, 3, "auto play as for online again")), 1);
    QVERIFY(ui->onlineFlag()->isVisible());
    QVERIFY(!ui->offlineFlag()->isVisible());
    QVERIFY(!ui->overlay(VuCameraWidgetUI::Offline)->isVisible());
    QCOMPARE(t->retriesLeft(), int(VuCameraWidget::RetryBudget));
    QCOMPARE(entered(log, did, VuCameraWidgetUI::StoppedForError), 0);
    QCOMPARE(failed.count(), 1);
}

QTEST_MAIN(TstCameraTileLive)
#include "tst_cameratilelive.moc"
