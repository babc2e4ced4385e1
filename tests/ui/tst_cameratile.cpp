// The camera tile's play logic, driven through its camera client's signals:
// the retry budget, pin codes, power and online changes, the play timer, the
// bottom bar, the snapshot, the pin-code entry and the motor buttons. Renders
// the tile in each overlay state into <build>/screenshots.

#include "uitestsupport.h"

#include "app/appinfo.h"
#include "tests/support/logcapture.h"
#include "client/vucameraclient.h"
#include "ui/mlabel.h"
#include "ui/motorcontrolwidget.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/statusinfoframe.h"
#include "ui/timelinetoolswidget.h"
#include "ui/videolabel.h"
#include "ui/videosolutioncombobox.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QDateTime>
#include <QDir>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <memory>

namespace {

// Stands in for the camera: records plays and power checks and hands out the
// pictures a test queues.
class TestTile : public VuCameraWidget
{
public:
    using VuCameraWidget::VuCameraWidget;

    QStringList pincodes;
    QList<int> qualities;
    QList<bool> audio;
    int powerChecks = 0;
    bool framesFlow = false;
    int speed = 0;
    quint32 timestamp = 0;
    int grabs = 0;
    QSize pictureSize; // the label's size when empty
    bool playback = false;
    quint64 picturesGiven = 0;

protected:
    void clientPlay(int quality, bool openAudio, const QString& pincode) override
    {
        pincodes << pincode;
        qualities << quality;
        audio << openAudio;
    }
    void clientCheckPowerOnce() override { ++powerChecks; }
    QPixmap clientGrabFrame(FrameInfo& info, bool wantSpeed, int& outSpeed) override
    {
        ++grabs;
        outSpeed = wantSpeed ? speed : 0;
        if (!framesFlow)
            return QPixmap();
        info.timestamp = timestamp;
        info.isPlayback = playback;
        info.sendTimeUs = 1000 + ++picturesGiven;
        QPixmap p(pictureSize.isEmpty() ? ui()->videoSize() : pictureSize);
        p.fill(QColor(40, 90, 150));
        QPainter painter(&p);
        painter.setPen(Qt::white);
        painter.drawText(p.rect(), Qt::AlignCenter, QStringLiteral("live picture"));
        return p;
    }
};

VuotCameraStat record(const QString& did, bool online, bool pincode,
                      const QString& model = QStringLiteral("hovia.camera.v2"))
{
    VuotCameraStat s;
    s.did = did;
    s.name = QStringLiteral("Camera ") + did;
    s.model = model;
    s.isOnline = online;
    s.isSetPincode = pincode;
    return s;
}

} // namespace

class TstCameraTile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void speedAndErrorTexts();
    void initialStates();
    void tenRetryBudget();
    void retryButtonBudget();
    void maxClientShowsError();
    void wrongPincodeAsksAgain();
    void pincodeErrorWithoutPincodeIsRetried();
    void powerOffAndOn();
    void offlineAndBack();
    void playTimerShowsPicturesSpeedAndBuffering();
    void stopReturnsToStopped();
    void bottomBarSlides();
    void qualityIsStoredPerCamera();
    void fullscreenSignals();
    void snapshotSavesPng();
    void pinCodeEntry();
    void motorRepeats();
    void translationApplies();
    void screenshots();

private:
    TestTile* makeTile(const VuotCameraStat& rec);
    void play(TestTile* t);
    void fail(int err);
    // The lines of this case's log that contain part.
    QStringList linesWith(const QString& part) const { return m_log->lines().filter(part); }

    QTemporaryDir m_home;
    std::unique_ptr<LogCapture> m_log;
    VuCameraClient* m_client = nullptr;
    TestTile* m_tile = nullptr;
    QString m_shots;
};

void TstCameraTile::initTestCase()
{
    QVERIFY(m_home.isValid());
    UiTest::useHome(m_home.path());
    UiTest::setUp();
    m_log = std::make_unique<LogCapture>();
    qRegisterMetaType<PlayStatus>("PlayStatus");
    m_shots = QStringLiteral(VC_BINARY_DIR "/screenshots");
    QDir().mkpath(m_shots);
}

void TstCameraTile::init()
{
    m_log->clear();
    UiTest::clearWarnings();
}

void TstCameraTile::cleanup()
{
    delete m_tile;
    m_tile = nullptr;
    delete m_client;
    m_client = nullptr;
}

TestTile* TstCameraTile::makeTile(const VuotCameraStat& rec)
{
    m_client = new VuCameraClient(rec);
    m_tile = new TestTile(m_client);
    m_tile->resize(480, 330);
    m_tile->show();
    return m_tile;
}

void TstCameraTile::play(TestTile* t)
{
    QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
}

void TstCameraTile::fail(int err) { emit m_client->failed(err); }

void TstCameraTile::speedAndErrorTexts()
{
    QCOMPARE(VuCameraWidget::speedText(1023), QStringLiteral("0KB/S"));
    QCOMPARE(VuCameraWidget::speedText(1048576), QStringLiteral("1.0MB/S"));
    QCOMPARE(VuCameraWidget::speedText(1073741824), QStringLiteral("1.0GB/S"));
    QCOMPARE(VuCameraWidget::speedText(0), QStringLiteral("0KB/S"));
    QCOMPARE(VuCameraWidget::speedText(300 * 1024 + 1000), QStringLiteral("300KB/S"));
    QCOMPARE(VuCameraWidget::speedText(1048575), QStringLiteral("1023KB/S"));
    QCOMPARE(VuCameraWidget::speedText(1572864), QStringLiteral("1.5MB/S"));
    QCOMPARE(VuCameraWidget::errorText(1), QStringLiteral("net error"));
    QCOMPARE(VuCameraWidget::errorText(5), QStringLiteral("up to max client to play"));
    QCOMPARE(VuCameraWidget::errorText(-13), QStringLiteral("Error (-13)"));
}

void TstCameraTile::initialStates()
{
    {
        TestTile* t = makeTile(record(QStringLiteral("off1"), false, false));
        QVERIFY(t->isCreated());
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Offline));
        QVERIFY(t->ui()->offlineFlag()->isVisible());
        QVERIFY(!t->ui()->onlineFlag()->isVisible());
        QVERIFY(t->ui()->overlay(VuCameraWidgetUI::Offline)->isVisible());
        QVERIFY(!t->ui()->videoLabel()->isVisible());
        cleanup();
    }
    {
        TestTile* t = makeTile(record(QStringLiteral("pin1"), true, true));
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Pincode));
        QVERIFY(t->ui()->pinCodeWidget()->isVisible());
        QVERIFY(t->ui()->onlineFlag()->isVisible());
        QVERIFY(!t->ui()->offlineFlag()->isVisible());
        cleanup();
    }
    TestTile* t = makeTile(record(QStringLiteral("cam1"), true, false));
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
    QVERIFY(t->ui()->playButton()->isVisible());
    QVERIFY(!t->isPowerChecking());
    QCOMPARE(t->ui()->nameLabel()->text(), QStringLiteral("Camera cam1"));
    // Setting the shown state again does nothing.
    const int before = linesWith(QStringLiteral("ui state")).size();
    t->ui()->setState(VuCameraWidgetUI::Stopped);
    QCOMPARE(linesWith(QStringLiteral("ui state")).size(), before);
    QVERIFY(UiTest::resourceWarnings().isEmpty());
}

void TstCameraTile::tenRetryBudget()
{
    TestTile* t = makeTile(record(QStringLiteral("cam2"), true, false));
    play(t);
    QCOMPARE(t->pincodes.size(), 1);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));
    QCOMPARE(linesWith(QStringLiteral("play video at 1 times from last stable status.[manual]")).size(), 1);
    QCOMPARE(t->retriesLeft(), 10);

    for (int count = 2; count <= 12; ++count) {
        fail(-13);
        QCOMPARE(t->pincodes.size(), count);
        const QString line = QStringLiteral("camera cam2: play video at %1 times from last stable status.[auto retry]")
                                 .arg(count);
        QVERIFY2(linesWith(line).size() == 1, qPrintable(line));
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));
    }
    fail(-13);
    QCOMPARE(t->pincodes.size(), 12); // no thirteenth attempt
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError));
    QCOMPARE(t->ui()->errorTextLabel()->text(), QStringLiteral("Error (-13)"));
    QVERIFY(t->ui()->retryLabel()->isVisible());
    QCOMPARE(linesWith(QStringLiteral("camera cam2: play error[-13] after 10 retry")).size(), 1);
}

void TstCameraTile::retryButtonBudget()
{
    TestTile* t = makeTile(record(QStringLiteral("cam3"), true, false));
    t->ui()->setErrorText(QStringLiteral("x"));
    t->ui()->setState(VuCameraWidgetUI::StoppedForError);
    QSignalSpy retry(t->ui(), &VuCameraWidgetUI::retryTriggered);
    QTest::mouseClick(t->ui()->retryLabel(), Qt::LeftButton);
    QCOMPARE(retry.size(), 1);
    QCOMPARE(t->pincodes.size(), 1);
    QCOMPARE(linesWith(QStringLiteral("play video at 11 times from last stable status.[manual retry]")).size(), 1);
    fail(1);
    QCOMPARE(t->pincodes.size(), 2);
    QCOMPARE(linesWith(QStringLiteral("play video at 12 times from last stable status.[auto retry]")).size(), 1);
    fail(1);
    QCOMPARE(t->pincodes.size(), 2);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError));
    QCOMPARE(t->ui()->errorTextLabel()->text(), QStringLiteral("net error"));
}

void TstCameraTile::maxClientShowsError()
{
    TestTile* t = makeTile(record(QStringLiteral("cam4"), true, false));
    play(t);
    fail(5);
    QCOMPARE(t->pincodes.size(), 1);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError));
    QCOMPARE(t->ui()->errorTextLabel()->text(), QStringLiteral("up to max client to play"));
    QCOMPARE(linesWith(QStringLiteral("camera cam4: play failed 4 max client")).size(), 1);
}

void TstCameraTile::wrongPincodeAsksAgain()
{
    TestTile* t = makeTile(record(QStringLiteral("pin2"), true, true));
    PinCodeWidget* pin = t->ui()->pinCodeWidget();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(pin->edit(i), char('1' + i));
    QCOMPARE(t->pincodes, QStringList{QStringLiteral("1234")});
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Authing));
    emit m_client->played(Authing);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Authing));
    fail(-20009);
    QCOMPARE(t->pincodes.size(), 1); // no retry with a wrong code
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Pincode));
    QVERIFY(pin->isErrorShown());
    for (int i = 0; i < 4; ++i)
        QVERIFY(pin->edit(i)->text().isEmpty());
    QVERIFY(pin->edit(0)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!pin->isErrorShown(), 3000);
}

void TstCameraTile::pincodeErrorWithoutPincodeIsRetried()
{
    TestTile* t = makeTile(record(QStringLiteral("cam5"), true, false));
    play(t);
    fail(-20009);
    QCOMPARE(t->pincodes.size(), 2);
    QCOMPARE(linesWith(QStringLiteral("play video at 2 times from last stable status.[auto retry]")).size(), 1);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));
    cleanup();

    // Played without a code although the client knows of one (it learnt
    // it after the tile offered the entry): no retry, the entry instead.
    t = makeTile(record(QStringLiteral("cam5b"), true, true));
    t->onPlayTriggered();
    QCOMPARE(t->pincodes, QStringList{QString()});
    fail(-20009);
    QCOMPARE(t->pincodes.size(), 1);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Pincode));
    QVERIFY(!t->ui()->pinCodeWidget()->isErrorShown());
    QCOMPARE(linesWith(QStringLiteral("camera cam5b: pin code needed")).size(), 1);
}

void TstCameraTile::powerOffAndOn()
{
    TestTile* t = makeTile(record(QStringLiteral("cam6"), true, false));
    play(t);
    emit m_client->played(Playing);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Playing));
    QVERIFY(t->isPlayTimerActive());
    QCOMPARE(t->retriesLeft(), 10);

    emit m_client->powerStateChanged(false);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForSleep));
    QVERIFY(!t->isPlayTimerActive());
    QVERIFY(t->isPowerChecking());
    QCOMPARE(t->powerChecks, 1); // one check at once
    QVERIFY(t->ui()->wakeUpButton()->isVisible());
    QCOMPARE(linesWith(QStringLiteral("camera cam6: power state changed to be OFF")).size(), 1);
    QCOMPARE(linesWith(QStringLiteral("camera cam6: start check power timer")).size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(t->powerChecks, 2, 4000); // and every 3 s

    emit m_client->powerStateChanged(true);
    QCOMPARE(t->pincodes.size(), 2);
    QCOMPARE(linesWith(QStringLiteral("play video at 2 times from last stable status.[auto play as for power on]")).size(), 1);
    QVERIFY(!t->isPowerChecking());
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));

    // A play answered with -64 also puts the tile to sleep and polls.
    fail(-64);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForSleep));
    QVERIFY(t->isPowerChecking());
    // Woken with no retries left: back to the play button.
    t->onStopPlayTriggered();
    emit m_client->powerStateChanged(false);
    emit m_client->powerStateChanged(true);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
}

void TstCameraTile::offlineAndBack()
{
    TestTile* t = makeTile(record(QStringLiteral("cam7"), true, false));
    play(t);
    emit m_client->played(Playing);
    QVERIFY(t->isPlayTimerActive());
    emit m_client->onlineStateChanged(false);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Offline));
    QVERIFY(!t->isPlayTimerActive());
    QVERIFY(t->ui()->offlineFlag()->isVisible());
    QVERIFY(!t->ui()->onlineFlag()->isVisible());
    emit m_client->onlineStateChanged(true);
    QCOMPARE(t->pincodes.size(), 2);
    QCOMPARE(linesWith(QStringLiteral("play video at 2 times from last stable status.[auto play as for online again]")).size(), 1);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));

    // Without retries left the tile only returns to its resting state.
    t->onStopPlayTriggered();
    emit m_client->onlineStateChanged(false);
    emit m_client->onlineStateChanged(true);
    QCOMPARE(t->pincodes.size(), 2);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
}

void TstCameraTile::playTimerShowsPicturesSpeedAndBuffering()
{
    TestTile* t = makeTile(record(QStringLiteral("cam8"), true, false));
    t->framesFlow = true;
    t->speed = 1048576;
    t->timestamp = quint32(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toSecsSinceEpoch());
    play(t);
    emit m_client->played(Playing);
    QTRY_VERIFY(!t->currentPicture().isNull());
    QCOMPARE(t->ui()->videoLabel()->frame().size(), t->ui()->videoSize());
    // Each picture handed over is counted once and its info kept.
    QTRY_VERIFY(t->picturesGiven >= 3);
    QCOMPARE(t->picturesShown(), t->picturesGiven);
    QCOMPARE(t->lastFrameInfo().sendTimeUs, 1000 + t->picturesGiven);
    QCOMPARE(t->lastFrameInfo().timestamp, t->timestamp);
    QCOMPARE(t->ui()->timeStampLabel()->text(), QStringLiteral("03/04/2026 05:06:07"));
    QTRY_COMPARE(t->ui()->speedLabel()->text(), QStringLiteral("1.0MB/S"));
    QVERIFY(t->ui()->speedLabel()->isVisible());

    // Three seconds without pictures: buffering and a power check.
    t->framesFlow = false;
    QTest::qWait(2500);
    QVERIFY(!t->ui()->isBuffering());
    QTRY_VERIFY_WITH_TIMEOUT(t->ui()->isBuffering(), 2000);
    QVERIFY(t->isPowerChecking());
    QCOMPARE(t->ui()->statusFrame()->text(), QStringLiteral("Buffering..."));
    QVERIFY(t->ui()->statusFrame()->isAnimating());
    // Pictures again: the check stops, the overlay goes a second later.
    t->framesFlow = true;
    QTRY_VERIFY(!t->isPowerChecking());
    QVERIFY(t->ui()->isBuffering());
    QTRY_VERIFY_WITH_TIMEOUT(!t->ui()->isBuffering(), 2000);

    // Hidden (another page): no pictures come, and that is no stall.
    t->framesFlow = false;
    t->hide();
    QTest::qWait(3500);
    QVERIFY(!t->isPowerChecking());
    QVERIFY(!t->ui()->isBuffering());
    t->show();
    t->framesFlow = true;

    // A picture of another size is fitted into the label keeping its shape,
    // with one warning for the change (not one per picture).
    QVERIFY(linesWith(QStringLiteral("video frame size changed")).isEmpty());
    t->pictureSize = QSize(320, 180);
    const QSize label = t->ui()->videoSize();
    const QString changed = QStringLiteral("video frame size changed: from 320x180 to UI: %1x%2")
                                .arg(label.width()).arg(label.height());
    QTRY_VERIFY(!linesWith(changed).isEmpty());
    const quint64 before = t->picturesShown();
    QTRY_VERIFY(t->picturesShown() > before + 3);
    QCOMPARE(linesWith(changed).size(), 1);
    const QSize fitted = QSize(320, 180).scaled(label, Qt::KeepAspectRatio);
    QCOMPARE(t->currentPicture().size(), fitted);
    QVERIFY(fitted.width() == label.width() || fitted.height() == label.height());

    // The speed label shows nothing outside playing.
    emit m_client->failed(-13);
    QVERIFY(!t->isPlayTimerActive());
    QVERIFY(!t->ui()->speedLabel()->isVisible());
    emit m_client->netSpeedUpdated(4096);
    QVERIFY(t->ui()->speedLabel()->text().isEmpty());
}

void TstCameraTile::stopReturnsToStopped()
{
    TestTile* t = makeTile(record(QStringLiteral("cam9"), true, false));
    play(t);
    emit m_client->played(Playing);
    QSignalSpy stopped(t, &VuCameraWidget::stopped);
    QTRY_VERIFY(t->ui()->bottomBar()->isVisible());
    QTest::mouseClick(t->ui()->stopButton(), Qt::LeftButton);
    QCOMPARE(t->retriesLeft(), 0);
    QVERIFY(!t->isPlayTimerActive());
    // The real client answers from its worker thread.
    QTRY_COMPARE(stopped.size(), 1);
    QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
    QCOMPARE(linesWith(QStringLiteral("camera cam9: video stopped")).size(), 1);
}

void TstCameraTile::bottomBarSlides()
{
    TestTile* t = makeTile(record(QStringLiteral("cam10"), true, false));
    QFrame* bar = t->ui()->bottomBar();
    QVERIFY(!bar->isVisible());
    play(t);
    emit m_client->played(Playing);
    QVERIFY(t->ui()->bottomBarAnimation()->state() == QAbstractAnimation::Running);
    QTRY_VERIFY(t->ui()->bottomBarAnimation()->state() == QAbstractAnimation::Stopped);
    QCOMPARE(bar->geometry(), QRect(0, t->height() - 30, t->width(), 30));
    QVERIFY(bar->isVisible());
    QVERIFY(linesWith(QStringLiteral("bottom bar is showing or hiding")).isEmpty());
    // Leaving playing slides it out; turning round half way logs and restarts.
    t->ui()->setState(VuCameraWidgetUI::ReadingProperties);
    QTest::qWait(100);
    t->ui()->setState(VuCameraWidgetUI::Playing);
    QCOMPARE(linesWith(QStringLiteral("bottom bar is showing or hiding")).size(), 1);
    QTRY_COMPARE(bar->geometry(), QRect(0, t->height() - 30, t->width(), 30));
    t->ui()->setState(VuCameraWidgetUI::Stopped);
    QTRY_VERIFY(!bar->isVisible());
    QCOMPARE(bar->y(), t->height());
}

void TstCameraTile::qualityIsStoredPerCamera()
{
    TestTile* t = makeTile(record(QStringLiteral("camq"), true, false));
    QCOMPARE(t->ui()->quality(), 2); // default HD
    t->ui()->qualityChooser()->choose(1);
    QCOMPARE(AppInfo::instance()->getInt(QStringLiteral("camq"), QStringLiteral("quality"), -1), 1);
    cleanup();
    t = makeTile(record(QStringLiteral("camq"), true, false));
    QCOMPARE(t->ui()->quality(), 1);
    // The sound switch of the bar goes with the next play.
    t->ui()->soundOnButton()->click();
    QVERIFY(t->ui()->isSoundOn());
    play(t);
    QCOMPARE(t->qualities, QList<int>{1});
    QCOMPARE(t->audio, QList<bool>{true});
    cleanup();
    // A broken stored value falls back to HD.
    AppInfo::instance()->setInt(QStringLiteral("camq2"), QStringLiteral("quality"), 7);
    t = makeTile(record(QStringLiteral("camq2"), true, false));
    QCOMPARE(t->ui()->quality(), 2);
}

void TstCameraTile::fullscreenSignals()
{
    TestTile* t = makeTile(record(QStringLiteral("camf"), true, false));
    play(t);
    emit m_client->played(Playing);
    QSignalSpy enter(t, &VuCameraWidget::enterFullscreen);
    QSignalSpy leave(t, &VuCameraWidget::leaveFullscreen);
    QTRY_VERIFY(t->ui()->fullscreenButton()->isVisible());
    QTest::mouseClick(t->ui()->fullscreenButton(), Qt::LeftButton);
    QCOMPARE(enter.size(), 1);
    QVERIFY(t->ui()->exitFullscreenButton()->isVisible());
    QVERIFY(!t->ui()->fullscreenButton()->isVisible());
    QTest::mouseClick(t->ui()->exitFullscreenButton(), Qt::LeftButton);
    QCOMPARE(leave.size(), 1);
    QVERIFY(t->ui()->fullscreenButton()->isVisible());
    // The window may leave full screen by itself: the buttons follow quietly.
    t->ui()->setFullscreenShown(true);
    t->ui()->setFullscreenShown(false);
    QVERIFY(t->ui()->fullscreenButton()->isVisible());
    QVERIFY(!t->ui()->exitFullscreenButton()->isVisible());
    QCOMPARE(enter.size(), 1);
    QCOMPARE(leave.size(), 1);

    // Sleep from the bar, wake up from the sleep overlay.
    QSignalSpy off(t->ui(), &VuCameraWidgetUI::powerOffTriggered);
    QSignalSpy on(t->ui(), &VuCameraWidgetUI::powerOnTriggered);
    QTest::mouseClick(t->ui()->sleepButton(), Qt::LeftButton);
    QCOMPARE(off.size(), 1);
    QCOMPARE(linesWith(QStringLiteral("camera camf: to sleep")).size(), 1);
    emit m_client->powerStateChanged(false);
    QVERIFY(t->ui()->wakeUpButton()->isVisible());
    QTest::mouseClick(t->ui()->wakeUpButton(), Qt::LeftButton);
    QCOMPARE(on.size(), 1);
    QCOMPARE(linesWith(QStringLiteral("camera camf: to wakeup")).size(), 1);
}

void TstCameraTile::snapshotSavesPng()
{
    TestTile* t = makeTile(record(QStringLiteral("cam/snap"), true, false));
    // Nothing shown yet: nothing saved.
    QVERIFY(t->saveSnapshot(m_home.path()).isEmpty());
    t->framesFlow = true;
    play(t);
    emit m_client->played(Playing);
    QTRY_VERIFY(!t->currentPicture().isNull());
    QTRY_VERIFY(t->ui()->snapshotButton()->isVisible());
    QTest::mouseClick(t->ui()->snapshotButton(), Qt::LeftButton);
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)
                           + QStringLiteral("/VuCamera");
    QVERIFY2(folder.startsWith(m_home.path()), qPrintable(folder));
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files);
    QCOMPARE(files.size(), 1);
    QVERIFY(files.first().startsWith(QStringLiteral("cam_snap_")));
    QImage saved(QDir(folder).filePath(files.first()));
    QVERIFY(!saved.isNull());
    QCOMPARE(saved.size(), t->currentPicture().size());
    QCOMPARE(saved.pixelColor(2, 2), QColor(40, 90, 150));
    QVERIFY(t->ui()->snapshotLabel()->isVisible());
    QVERIFY(t->ui()->snapshotLabel()->text().contains(files.first()));
    // A second one in the same second gets its own name.
    QVERIFY(!t->saveSnapshot().isEmpty());
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.png")}, QDir::Files).size(), 2);
}

void TstCameraTile::pinCodeEntry()
{
    PinCodeWidget w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QSignalSpy changed(&w, &PinCodeWidget::onPinCodeChanged);
    QVERIFY(w.edit(0)->isEnabled());
    for (int i = 1; i < 4; ++i)
        QVERIFY(!w.edit(i)->isEnabled());
    QTest::keyClick(w.edit(0), 'a');
    QVERIFY(!w.edit(0)->isEnabled());
    QVERIFY(w.edit(1)->isEnabled());
    QTest::keyClick(w.edit(1), 'b');
    // Backspace in the empty third box goes back to the second.
    QTest::keyClick(w.edit(2), Qt::Key_Backspace);
    QVERIFY(w.edit(1)->isEnabled());
    QVERIFY(!w.edit(2)->isEnabled());
    QVERIFY(w.edit(1)->hasSelectedText());
    QTest::keyClick(w.edit(1), 'x');
    QTest::keyClick(w.edit(2), 'c');
    QCOMPARE(changed.size(), 0);
    QTest::keyClick(w.edit(3), 'd');
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().toString(), QStringLiteral("axcd"));
    w.reset();
    QVERIFY(w.code().isEmpty());
    QVERIFY(w.edit(0)->isEnabled() && !w.edit(3)->isEnabled());
}

void TstCameraTile::motorRepeats()
{
    MotorControlWidget m;
    QSignalSpy dir(&m, &MotorControlWidget::motorDirectionTiggered);
    QCOMPARE(m.button(MotorControlWidget::Up)->objectName(), QStringLiteral("yuntai_up_btn"));
    m.button(MotorControlWidget::Up)->pressed();
    QCOMPARE(m.heldDirection(), 3);
    QTest::qWait(700);
    QCOMPARE(dir.size(), 2); // 300 and 600 ms
    emit m.button(MotorControlWidget::Up)->released();
    QCOMPARE(dir.size(), 3);
    for (const auto& args : dir)
        QCOMPARE(args.first().toInt(), 3);
    QTest::qWait(400);
    QCOMPARE(dir.size(), 3);
    QCOMPARE(m.heldDirection(), 0);
    emit m.button(MotorControlWidget::Left)->pressed();
    emit m.button(MotorControlWidget::Left)->released();
    QCOMPARE(dir.last().first().toInt(), 1);
}

void TstCameraTile::translationApplies()
{
    QTranslator zh;
    QVERIFY(zh.load(QStringLiteral(":/res/lang/vcam_zh_CN.qm")));
    qApp->installTranslator(&zh);
    TestTile* t = makeTile(record(QStringLiteral("camzh"), true, false));
    QCOMPARE(t->ui()->retryLabel()->text(), QString::fromUtf8("点击重试"));
    QCOMPARE(t->ui()->snapshotButton()->text(), QString::fromUtf8("截图"));
    QCOMPARE(t->ui()->sleepButton()->text(), QString::fromUtf8("休眠"));
    QCOMPARE(VuCameraWidget::errorText(1), QString::fromUtf8("网络错误"));
    qApp->removeTranslator(&zh);
    QTRY_COMPARE(t->ui()->retryLabel()->text(), QStringLiteral("Click to retry"));
}

void TstCameraTile::screenshots()
{
    auto shoot = [this](TestTile* t, const QString& name) {
        QTest::qWait(400); // bottom bar slide and a few animation images
        const QImage img = t->grab().toImage();
        QVERIFY(!img.isNull());
        QVERIFY(img.save(m_shots + QStringLiteral("/tile-") + name + QStringLiteral(".png")));
    };
    TestTile* t = makeTile(record(QStringLiteral("shot1"), true, false));
    t->ui()->setName(QStringLiteral("Living room"));
    shoot(t, QStringLiteral("stopped"));
    play(t);
    shoot(t, QStringLiteral("reading-properties"));
    emit m_client->played(Connecting);
    shoot(t, QStringLiteral("connecting"));
    emit m_client->played(WaitingForPlaying);
    shoot(t, QStringLiteral("waiting-for-playing"));
    t->ui()->setState(VuCameraWidgetUI::Authing);
    shoot(t, QStringLiteral("authing"));
    t->ui()->setState(VuCameraWidgetUI::Disconnecting);
    shoot(t, QStringLiteral("disconnecting"));
    t->framesFlow = true;
    t->speed = 1572864;
    t->timestamp = quint32(QDateTime::currentSecsSinceEpoch());
    emit m_client->played(Playing);
    QTRY_VERIFY(!t->currentPicture().isNull());
    shoot(t, QStringLiteral("playing"));
    t->ui()->showSnapshotSaved(QStringLiteral("shot1_20260101_120000.png"));
    shoot(t, QStringLiteral("snapshot"));
    {
        // Playback: the memory card's recordings on the timeline.
        t->ui()->setSdcardReady(true);
        QVector<RecordFileHeader> recs;
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        for (int i = 0; i < 40; ++i) {
            RecordFileHeader h;
            h.startTime = quint32(now - 4 * 3600 + i * 300);
            h.duration = 240;
            h.motioned = i % 5 == 2 ? 1 : 0;
            recs.append(h);
        }
        emit m_client->timeLineReady(recs);
        t->timestamp = quint32(now - 3600);
        QVERIFY(t->ui()->timeLine()->isVisible());
        shoot(t, QStringLiteral("timeline-playback"));
        t->ui()->setSdcardReady(false);
    }
    t->framesFlow = false;
    QTRY_VERIFY_WITH_TIMEOUT(t->ui()->isBuffering(), 5000);
    shoot(t, QStringLiteral("buffering"));
    emit m_client->powerStateChanged(false);
    shoot(t, QStringLiteral("sleep"));
    t->ui()->setErrorText(VuCameraWidget::errorText(-13));
    t->ui()->setState(VuCameraWidgetUI::StoppedForError);
    shoot(t, QStringLiteral("error"));
    emit m_client->onlineStateChanged(false);
    shoot(t, QStringLiteral("offline"));
    cleanup();
    t = makeTile(record(QStringLiteral("shot2"), true, true, QStringLiteral("hovia.camera.v4")));
    shoot(t, QStringLiteral("pincode"));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(t->ui()->pinCodeWidget()->edit(i), '0');
    fail(-20009);
    shoot(t, QStringLiteral("pincode-error"));
    t->ui()->setState(VuCameraWidgetUI::ReadingProperties);
    shoot(t, QStringLiteral("loading-v4"));
    QVERIFY(UiTest::resourceWarnings().isEmpty());
}

QTEST_MAIN(TstCameraTile)
#include "tst_cameratile.moc"
