// The camera tile's play logic, driven through its camera client's signals
// with a stand-in for the camera (plays, power checks and pictures): the
// retry budget, pin codes, power and online changes, the play timer, the
// bottom bar, the snapshot, the pin-code entry and the motor buttons, all on
// short tile timings.

#include "uitestsupport.h"

#include "core/appinfo.h"
#include "tests/client/clienttest.h"
#include "tests/support/logcapture.h"
#include "ui/cameragrid.h"
#include "ui/mlabel.h"
#include "ui/motorcontrolwidget.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/recordindicator.h"
#include "ui/statusinfoframe.h"
#include "ui/timelinetoolswidget.h"
#include "ui/videolabel.h"
#include "ui/videosolutioncombobox.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

// Status tick 5 ms, buffering after 40 ms and hidden 30 ms after pictures
// return, power check 20 ms, bar slide 30 ms, motor repeat 20 ms.
const TileTimings kFast{5, 40, 30, 20, 30, 20};

// Stands in for the camera: records plays and power checks and, like the
// receive thread, announces a picture every 5 ms while framesFlow is set;
// backlog pictures wait behind one announcement.
class TestTile : public VuCameraWidget
{
public:
    explicit TestTile(VuCameraClient* c) : VuCameraWidget(c, nullptr, kFast)
    {
        connect(&feed, &QTimer::timeout, this, [this, c] {
            if (framesFlow)
                emit c->pictureReady();
        });
        feed.start(5);
    }

    QTimer feed;
    QStringList pincodes;
    QList<int> qualities;
    QList<bool> audio;
    int powerChecks = 0;
    bool framesFlow = false;
    int backlog = 0;
    int grabs = 0;
    int speed = 0;
    quint32 timestamp = 0;
    QImage overview; // handed out with every picture, as the decoder does while zoomed
    QSize pictureSize; // the label's size when empty
    quint64 picturesGiven = 0;
    QElapsedTimer sincePicture; // restarted as each picture is handed out

protected:
    void clientPlay(int quality, bool openAudio, const QString& pincode) override
    {
        pincodes << pincode;
        qualities << quality;
        audio << openAudio;
    }
    void clientCheckPowerOnce() override { ++powerChecks; }
    int clientBytesPerSecond() override { return speed; }
    QPixmap clientGrabFrame(FrameInfo& info, bool& more) override
    {
        ++grabs;
        more = backlog > 1;
        if (backlog > 0)
            --backlog;
        else if (!framesFlow)
            return QPixmap();
        info.timestamp = timestamp;
        info.overview = overview;
        info.sendTimeUs = 1000 + ++picturesGiven;
        sincePicture.restart();
        // Marked corners: a rescaled or shifted picture does not match.
        QImage p(pictureSize.isEmpty() ? ui()->videoSize() : pictureSize, QImage::Format_RGB32);
        p.fill(QColor(40, 90, 150));
        p.setPixel(0, 0, qRgb(255, 0, 0));
        p.setPixel(p.width() - 1, p.height() - 1, qRgb(0, 255, 0));
        return QPixmap::fromImage(p);
    }
};

// Counts the paint events a widget receives.
class PaintCount : public QObject
{
public:
    explicit PaintCount(QWidget* w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        count += e->type() == QEvent::Paint;
        return false;
    }
};

QString playLine(int count, const char* reason)
{
    return QStringLiteral("camera cam: play video at %1 times from last stable status.[%2]").arg(count).arg(reason);
}

} // namespace

class TstCameraTile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<LogCapture> m_log; // made once the test run has its own handler
    VuCameraClient* m_client = nullptr;
    TestTile* m_tile = nullptr;

    TestTile* makeTile(const VuotCameraStat& rec)
    {
        m_client = new VuCameraClient(rec);
        m_tile = new TestTile(m_client);
        m_tile->resize(480, 300); // a cell of the 4-grid: 16:9 under the 30-pixel top bar
        m_tile->show();
        return m_tile;
    }
    // Played from the button, and the client reports the video started.
    void playing(TestTile* t)
    {
        QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
        emit m_client->played(Playing);
    }
    void fail(int err) { emit m_client->failed(err); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        UiTest::useHome(m_home.path());
        UiTest::setUp();
        m_log = std::make_unique<LogCapture>();
    }
    void init()
    {
        m_log->clear();
        UiTest::clearWarnings();
    }
    void cleanup()
    {
        delete m_tile;
        m_tile = nullptr;
        delete m_client;
        m_client = nullptr;
    }

    void speedText_data()
    {
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << qint64(0) << "0KB/S";
        QTest::newRow("1023") << qint64(1023) << "0KB/S";
        QTest::newRow("300K") << qint64(300 * 1024 + 1000) << "300KB/S";
        QTest::newRow("1M-1") << qint64(1048575) << "1023KB/S";
        QTest::newRow("1M") << qint64(1048576) << "1.0MB/S";
        QTest::newRow("1.5M") << qint64(1572864) << "1.5MB/S";
        QTest::newRow("1G") << qint64(1073741824) << "1.0GB/S";
    }
    void speedText()
    {
        QFETCH(qint64, rate);
        QFETCH(QString, text);
        QCOMPARE(VuCameraWidget::speedText(rate), text);
    }

    void initialStates_data()
    {
        QTest::addColumn<bool>("online");
        QTest::addColumn<bool>("pincode");
        QTest::addColumn<int>("state");
        QTest::newRow("offline") << false << false << int(VuCameraWidgetUI::Offline);
        QTest::newRow("pin code") << true << true << int(VuCameraWidgetUI::Pincode);
        QTest::newRow("plain") << true << false << int(VuCameraWidgetUI::Stopped);
    }
    void initialStates()
    {
        QFETCH(bool, online);
        QFETCH(bool, pincode);
        QFETCH(int, state);
        TestTile* t = makeTile(cameraRecord("cam", online, pincode, QStringLiteral("hovia.camera.v4")));
        QCOMPARE(t->ui()->state(), state);
        QVERIFY(t->ui()->overlay(state)->isVisible());
        QCOMPARE(t->ui()->offlineFlag()->isVisible(), !online);
        QCOMPARE(t->ui()->onlineFlag()->isVisible(), online);
        QVERIFY(!t->ui()->videoLabel()->isVisible() && !t->isPowerChecking());
        t->ui()->setState(VuCameraWidgetUI::Connecting); // the loading overlay's pictures too
        QVERIFY(UiTest::resourceWarnings().isEmpty());
    }

    // The play button grants ten automatic retries (plays 1 to 12), the retry
    // button only the last one (plays 11 and 12); then the error overlay.
    // -20009 without an entered code is a common error.
    void retryBudget_data()
    {
        QTest::addColumn<bool>("retryButton");
        QTest::addColumn<int>("err");
        QTest::addColumn<QString>("text");
        QTest::newRow("play button") << false << -13 << "Error (-13)";
        QTest::newRow("play button, no pin code") << false << -20009 << "Error (-20009)";
        QTest::newRow("retry button") << true << 1 << "net error";
    }
    void retryBudget()
    {
        QFETCH(bool, retryButton);
        QFETCH(int, err);
        QFETCH(QString, text);
        TestTile* t = makeTile(cameraRecord("cam"));
        const int first = retryButton ? 11 : 1;
        if (retryButton)
            t->ui()->setState(VuCameraWidgetUI::StoppedForError);
        QTest::mouseClick(retryButton ? static_cast<QWidget*>(t->ui()->retryLabel()) : t->ui()->playButton(), Qt::LeftButton);
        QCOMPARE(m_log->count(playLine(first, retryButton ? "manual retry" : "manual")), 1);
        for (int count = first; count <= 12; ++count) {
            QCOMPARE(t->pincodes.size(), count - first + 1);
            QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));
            if (count > first)
                QVERIFY2(m_log->count(playLine(count, "auto retry")) == 1, qPrintable(playLine(count, "auto retry")));
            fail(err);
        }
        QCOMPARE(t->pincodes.size(), 13 - first); // no thirteenth play
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::StoppedForError));
        QCOMPARE(t->ui()->errorTextLabel()->text(), text);
        QCOMPARE(m_log->count(QStringLiteral("camera cam: play error[%1] after 10 retry").arg(err)), 1);
    }

    // Failures that are not retried: a wrong pin code asks again, -20009 for a
    // camera the client knows to have a pin code asks for it, the viewer limit
    // shows its error, a sleeping camera the sleep overlay.
    void failureOutcomes_data()
    {
        QTest::addColumn<bool>("pincode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("err");
        QTest::addColumn<int>("state");
        QTest::newRow("wrong pin code") << true << "1234" << -20009 << int(VuCameraWidgetUI::Pincode);
        QTest::newRow("pin code needed") << true << "" << -20009 << int(VuCameraWidgetUI::Pincode);
        QTest::newRow("viewer limit") << false << "" << 5 << int(VuCameraWidgetUI::StoppedForError);
        QTest::newRow("asleep") << false << "" << -64 << int(VuCameraWidgetUI::StoppedForSleep);
    }
    void failureOutcomes()
    {
        QFETCH(bool, pincode);
        QFETCH(QString, typed);
        QFETCH(int, err);
        QFETCH(int, state);
        TestTile* t = makeTile(cameraRecord("cam", true, pincode));
        PinCodeWidget* pin = t->ui()->pinCodeWidget();
        for (int i = 0; i < typed.size(); ++i)
            QTest::keyClick(pin->edit(i), typed.at(i).toLatin1());
        if (typed.isEmpty())
            t->onPlayTriggered();
        QCOMPARE(t->pincodes, QStringList{typed});
        QCOMPARE(t->ui()->state(), int(typed.isEmpty() ? VuCameraWidgetUI::ReadingProperties : VuCameraWidgetUI::Authing));
        fail(err);
        QCOMPARE(t->pincodes.size(), 1);
        QCOMPARE(t->ui()->state(), state);
        QCOMPARE(pin->isErrorShown(), !typed.isEmpty());
        QVERIFY(pin->edit(0)->text().isEmpty() && pin->edit(0)->isEnabled());
        QCOMPARE(t->isPowerChecking(), err == -64);
    }

    // Power off or offline while playing stops the pictures; power on or
    // online again plays by itself with the budget left, else goes to rest.
    void powerAndOnlineChanges_data()
    {
        QTest::addColumn<bool>("power");
        QTest::newRow("power") << true;
        QTest::newRow("online") << false;
    }
    void powerAndOnlineChanges()
    {
        QFETCH(bool, power);
        TestTile* t = makeTile(cameraRecord("cam"));
        auto change = [&](bool on) { power ? m_client->powerStateChanged(on) : m_client->onlineStateChanged(on); };
        playing(t);
        QVERIFY(t->isPlayTimerActive());
        change(false);
        QVERIFY(!t->isPlayTimerActive());
        QCOMPARE(t->ui()->state(), int(power ? VuCameraWidgetUI::StoppedForSleep : VuCameraWidgetUI::Offline));
        QCOMPARE(t->ui()->offlineFlag()->isVisible(), !power);
        QCOMPARE(t->isPowerChecking(), power);
        if (power) {
            QCOMPARE(t->powerChecks, 1); // one at once, then at the interval
            QTRY_VERIFY(t->powerChecks >= 3);
        }
        change(true);
        QCOMPARE(t->pincodes.size(), 2);
        QCOMPARE(m_log->count(playLine(2, power ? "auto play as for power on" : "auto play as for online again")), 1);
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::ReadingProperties));
        QVERIFY(!t->isPowerChecking() && t->ui()->onlineFlag()->isVisible());
        // Without retries left the tile only returns to its resting state.
        t->onStopPlayTriggered();
        change(false);
        change(true);
        QCOMPARE(t->pincodes.size(), 2);
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
    }

    void playTimerShowsPicturesSpeedAndBuffering()
    {
        TestTile* t = makeTile(cameraRecord("cam"));
        t->speed = 1048576;
        t->timestamp = quint32(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toSecsSinceEpoch());
        // Pictures announced before the play is reported wait for it.
        t->backlog = 2;
        emit m_client->pictureReady();
        QCoreApplication::sendPostedEvents(t, QEvent::MetaCall);
        QCOMPARE(t->grabs, 0);
        playing(t);
        QTRY_COMPARE(t->picturesShown(), quint64(2));
        t->framesFlow = true;
        QTRY_VERIFY(t->picturesGiven >= 12);
        QCOMPARE(t->picturesShown(), t->picturesGiven);
        QCOMPARE(t->lastFrameInfo().sendTimeUs, 1000 + t->picturesGiven);
        QCOMPARE(t->ui()->timeStampLabel()->text(), QStringLiteral("03/04/2026 05:06:07"));
        QCOMPARE(t->ui()->speedLabel()->text(), QStringLiteral("1.0MB/S"));
        // Out of the playing state and back within the same second of the
        // stream: the stamp is shown again.
        t->ui()->setState(VuCameraWidgetUI::WaitingForPlaying);
        QVERIFY(t->ui()->timeStampLabel()->text().isEmpty());
        t->ui()->setState(VuCameraWidgetUI::Playing);
        QTRY_COMPARE(t->ui()->timeStampLabel()->text(), QStringLiteral("03/04/2026 05:06:07"));

        // No picture for longer than the buffering time: buffering and power
        // checks; pictures again: the checks stop, the overlay goes soon after.
        t->framesFlow = false;
        QTRY_VERIFY(t->ui()->isBuffering());
        QVERIFY(t->sincePicture.elapsed() > kFast.bufferingAfterMs);
        QVERIFY(t->isPowerChecking() && t->ui()->statusFrame()->isAnimating());
        QCOMPARE(t->ui()->statusFrame()->text(), QStringLiteral("Buffering..."));
        t->framesFlow = true;
        QTRY_VERIFY(!t->isPowerChecking());
        QTRY_VERIFY(!t->ui()->isBuffering());

        // Hidden (another page): no pictures come, and that is no stall.
        t->framesFlow = false;
        t->hide();
        QTest::qWait(2 * kFast.bufferingAfterMs);
        QVERIFY(!t->isPowerChecking());
        t->show();
        t->framesFlow = true;

        // A picture of another size (decoded before a resize reached the
        // decoder) is drawn as it is, centred, with one warning for the
        // change (not one per picture).
        t->pictureSize = QSize(320, 180);
        const quint64 before = t->picturesShown();
        QTRY_VERIFY(t->picturesShown() > before + 3);
        QCOMPARE(m_log->count(QStringLiteral("video frame size changed: from 320x180 to UI: 480x270")), 1);
        QCOMPARE(t->currentPicture().size(), QSize(320, 180));
        const QImage drawn = t->ui()->videoLabel()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn.copy(80, 45, 320, 180), t->currentPicture().toImage());
        QCOMPARE(drawn.pixel(79, 44), qRgb(0, 0, 0));

        // One announcement brings every waiting picture, each on its own
        // turn; nothing is fetched beyond them.
        t->framesFlow = false;
        QCoreApplication::sendPostedEvents(t, QEvent::MetaCall); // announcements already sent
        int grabs = t->grabs;
        const quint64 shown = t->picturesShown();
        t->backlog = 4;
        emit m_client->pictureReady();
        QTRY_COMPARE(t->picturesShown(), shown + 4);
        QCoreApplication::sendPostedEvents(t, QEvent::MetaCall);
        QCOMPARE(t->grabs, grabs + 4);

        // Out of playing no picture is fetched, and the speed label shows nothing.
        fail(-13);
        grabs = t->grabs;
        t->backlog = 2;
        emit m_client->pictureReady();
        QCoreApplication::sendPostedEvents(t, QEvent::MetaCall);
        QCOMPARE(t->grabs, grabs);
        QVERIFY(!t->isPlayTimerActive() && !t->ui()->speedLabel()->isVisible());
        emit m_client->netSpeedUpdated(4096);
        QVERIFY(t->ui()->speedLabel()->text().isEmpty());
    }

    // In every cell of the grid the picture is all of the tile under the top
    // bar, 16:9; the decoder is told that size (again on a resize), its
    // pictures are drawn 1:1, and the pad lies inside the picture, clear of
    // the bottom bar.
    void pictureFillsTheCell_data()
    {
        QTest::addColumn<QSize>("area");
        QTest::addColumn<int>("mode");
        QTest::newRow("9-grid") << QSize(980, 622) << 3;
        QTest::newRow("4-grid") << QSize(980, 622) << 2;
        QTest::newRow("full screen") << QSize(1920, 1080) << 1;
    }
    void pictureFillsTheCell()
    {
        QFETCH(QSize, area);
        QFETCH(int, mode);
        TestTile* t = makeTile(cameraRecord("cam"));
        QSignalSpy sizes(m_client, &VuCameraClient::setVideoFrameSize_s);
        t->framesFlow = true;
        playing(t);
        QCOMPARE(sizes.size(), 1);
        QCOMPARE(sizes.last(), (QList<QVariant>{480, 270}));
        t->resize(CameraGrid::cellGeometry(area, mode).first().size());
        const QRect picture = t->ui()->videoLabel()->geometry();
        QCOMPARE(picture, QRect(0, 30, t->width(), t->height() - 30));
        QCOMPARE(picture.width() * 9, picture.height() * 16);
        QCOMPARE(sizes.last(), (QList<QVariant>{picture.width(), picture.height()}));
        QTRY_COMPARE(t->currentPicture().size(), picture.size());
        const QImage drawn = t->ui()->videoLabel()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(drawn, t->currentPicture().toImage());
        // The pad shows only while the pointer is over the tile.
        MotorControlWidget* motor = t->ui()->motorWidget();
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QApplication::sendEvent(t, &leave); // wherever the screen's pointer is
        QVERIFY(!motor->isVisible());
        QApplication::sendEvent(t, &enter);
        const QRect pad = motor->geometry();
        QVERIFY(motor->isVisible() && pad.height() > 0);
        QVERIFY2(picture.adjusted(0, 0, 0, -30).contains(pad), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(pad.x()).arg(pad.y()).arg(pad.width()).arg(pad.height())));
        QApplication::sendEvent(t, &leave);
        QVERIFY(!motor->isVisible());
        // New pictures do not paint the opaque bottom bar over again.
        QTRY_VERIFY(t->ui()->bottomBarAnimation()->state() == QAbstractAnimation::Stopped);
        // The bottom bar's controls lie side by side inside it, whatever the cell.
        QFrame* bar = t->ui()->bottomBar();
        QCOMPARE(bar->width(), t->width());
        bar->layout()->activate();
        QList<QRect> controls;
        for (QWidget* c : bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!c->isVisibleTo(bar))
                continue;
            const QRect across(c->x(), 0, c->width(), 1);
            QVERIFY2(bar->rect().contains(c->geometry()), qPrintable(c->objectName()));
            for (const QRect& other : controls)
                QVERIFY2(!other.intersects(across), qPrintable(c->objectName()));
            controls << across;
        }
        QCOMPARE(t->ui()->recordButton()->text().isEmpty(), mode == 3); // the icon alone in the 9-grid
        PaintCount barPaints(bar), picturePaints(t->ui()->videoLabel());
        QTRY_VERIFY(picturePaints.count >= 1); // with whatever else was waiting to be painted
        barPaints.count = 0;
        QTRY_VERIFY(picturePaints.count >= 4);
        QCOMPARE(barPaints.count, 0);
    }

    // Wheel, drag, keys and double click zoom (the client gets the part to cut); a stop: 1x.
    void zoomReachesTheClient()
    {
        TestTile* t = makeTile(cameraRecord("cam"));
        QSignalSpy crops(m_client, &VuCameraClient::setVideoCrop_s);
        VideoLabel* v = t->ui()->videoLabel();
        auto send = [&](QEvent&& e) { QApplication::sendEvent(v, &e); return crops.isEmpty() ? QRectF() : crops.last().first().toRectF(); };
        t->framesFlow = true;
        playing(t);
        QTRY_VERIFY(!v->frame().isNull()); // 480 x 270; a notch about (1/5, 1/5), then a drag by a tenth:
        QCOMPARE(send(QWheelEvent(QPointF(96, 54), {}, {}, {0, 120}, {}, {}, Qt::NoScrollPhase, false)), QRectF(.04, .04, .8, .8));
        QVERIFY(v->hasOverview() && v->rect().contains(v->insetRect()) && v->insetRect().width() == 96);
        t->overview = QImage(96, 54, QImage::Format_RGB32); // the decoder's whole picture: the inset is live
        t->overview.fill(Qt::red);
        QTRY_COMPARE(v->grab().toImage().pixelColor(v->insetRect().center()), QColor(Qt::red));
        send(QMouseEvent(QEvent::MouseButtonPress, QPoint(240, 135), Qt::LeftButton, Qt::LeftButton, {}));
        QCOMPARE(send(QMouseEvent(QEvent::MouseMove, QPoint(288, 108), Qt::NoButton, Qt::LeftButton, {})), QRectF(0, .12, .8, .8));
        QCOMPARE(send(QKeyEvent(QEvent::KeyPress, Qt::Key_0, {})), QRectF(0, 0, 1, 1));
        QCOMPARE(send(QKeyEvent(QEvent::KeyPress, Qt::Key_Plus, {})), QRectF(.1, .1, .8, .8));
        QCOMPARE(send(QMouseEvent(QEvent::MouseButtonDblClick, QPoint(9, 9), Qt::LeftButton, Qt::LeftButton, {})), QRectF(0, 0, 1, 1));
        const quint64 shown = t->picturesShown(); // some decoded while zoomed still come: no inset at 1x
        QTRY_VERIFY(t->picturesShown() > shown + 2);
        QVERIFY(!v->hasOverview());
        send(QKeyEvent(QEvent::KeyPress, Qt::Key_Plus, {}));
        QTest::mouseClick(t->ui()->stopButton(), Qt::LeftButton);
        QCOMPARE(crops.last().first().toRectF(), QRectF(0, 0, 1, 1));
    }

    // The name takes what the time stamp, speed and flag leave, elided with
    // "…" on set and on resize, the full name as tool tip; the others keep
    // their place whatever the name.
    void nameIsElided()
    {
        TestTile* t = makeTile(cameraRecord("cam"));
        t->framesFlow = true;
        t->timestamp = quint32(QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)).toSecsSinceEpoch());
        t->resize(304, 201);
        playing(t);
        QLabel* name = t->ui()->nameLabel();
        QLabel* stamp = t->ui()->timeStampLabel();
        QTRY_VERIFY(!stamp->text().isEmpty() && !t->ui()->speedLabel()->text().isEmpty());
        QTRY_COMPARE(name->text(), QStringLiteral("cam"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest); // the stamp's text laid out
        const QRect stampPlace = stamp->geometry();
        const QString full = QStringLiteral("Neighbour's porch by the garden gate");
        emit m_client->nameChanged(full);
        QCOMPARE(name->toolTip(), full);
        QTRY_VERIFY2(name->text().endsWith(QChar(0x2026)), qPrintable(name->text()));
        QVERIFY(full.startsWith(name->text().chopped(1)));
        QVERIFY(name->fontMetrics().horizontalAdvance(name->text()) <= name->contentsRect().width());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCOMPARE(stamp->geometry(), stampPlace);
        QVERIFY(name->geometry().right() < stamp->x());
        t->resize(1856, 1074);
        QTRY_COMPARE(name->text(), full);
        t->resize(304, 201);
        QTRY_VERIFY(name->text().endsWith(QChar(0x2026)));
    }

    // A card without recordings shows no timeline row (a list of only the
    // trailing record is empty); the row comes with recordings, over the
    // picture above the bottom bar, the pad above it.
    void timelineOnlyWithRecordings()
    {
        TestTile* t = makeTile(cameraRecord("cam"));
        playing(t);
        t->ui()->setSdcardReady(true);
        TimeLineToolsWidget* row = t->ui()->timeLine();
        const quint32 now = quint32(QDateTime::currentSecsSinceEpoch());
        const RecordFileHeader rec{now - 600, 60, 0, 0, 0};
        const QVector<QVector<RecordFileHeader>> lists{{}, {rec}, {rec, rec}, {}};
        for (int i = 0; i < lists.size(); ++i) {
            emit m_client->timeLineReady(lists[i]);
            QCOMPARE(row->isVisible(), i == 2);
        }
        emit m_client->timeLineReady({rec, rec});
        QVERIFY(row->isVisible());
        QCOMPARE(row->geometry().bottom(), t->height() - 31);
        QCOMPARE(row->width(), t->width());
        const QRect pad = t->ui()->motorWidget()->geometry(); // centred between top bar and row
        QVERIFY(pad.bottom() < row->y() && qAbs((pad.top() - 30) - (row->y() - 1 - pad.bottom())) <= 1);
        t->resize(304, 201); // too small for the row
        QVERIFY(!row->isVisible());
    }

    void bottomBarSlides()
    {
        TestTile* t = makeTile(cameraRecord("cam"));
        QFrame* bar = t->ui()->bottomBar();
        const QRect shown(0, t->height() - 30, t->width(), 30);
        QVERIFY(!bar->isVisible());
        playing(t);
        QVERIFY(t->ui()->bottomBarAnimation()->state() == QAbstractAnimation::Running);
        QTRY_COMPARE(bar->geometry(), shown);
        // Turning round half way logs and slides back.
        t->ui()->setState(VuCameraWidgetUI::ReadingProperties);
        QCOMPARE(m_log->count("bottom bar is showing or hiding"), 0);
        t->ui()->setState(VuCameraWidgetUI::Playing);
        QCOMPARE(m_log->count("bottom bar is showing or hiding"), 1);
        QTRY_VERIFY(t->ui()->bottomBarAnimation()->state() == QAbstractAnimation::Stopped);
        QCOMPARE(bar->geometry(), shown);
        t->ui()->setState(VuCameraWidgetUI::Stopped);
        QTRY_VERIFY(!bar->isVisible());
        QCOMPARE(bar->y(), t->height());
    }

    // The chosen quality is kept per camera (a broken stored value gives HD)
    // and goes with the next play, as does the sound switch.
    void qualityIsStoredPerCamera()
    {
        AppInfo::instance()->setInt(QStringLiteral("camq2"), QStringLiteral("quality"), 7);
        QCOMPARE(makeTile(cameraRecord("camq2"))->ui()->quality(), 2);
        cleanup();
        makeTile(cameraRecord("camq"))->ui()->qualityChooser()->choose(1);
        cleanup();
        TestTile* t = makeTile(cameraRecord("camq"));
        t->ui()->soundOnButton()->click();
        QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
        QCOMPARE(t->qualities, QList<int>{1});
        QCOMPARE(t->audio, QList<bool>{true});
    }

    // A snapshot saves the picture shown; a stop clears it, so nothing of
    // the old stream is saved afterwards.
    void snapshotSavesPng()
    {
        TestTile* t = makeTile(cameraRecord("cam/snap"));
        QVERIFY(t->saveSnapshot(m_home.path()).isEmpty()); // nothing shown yet
        t->framesFlow = true;
        playing(t);
        QTRY_VERIFY(!t->currentPicture().isNull() && t->ui()->snapshotButton()->isVisible());
        QTest::mouseClick(t->ui()->snapshotButton(), Qt::LeftButton);
        const QDir folder(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation) + "/VuCamera");
        QVERIFY2(folder.path().startsWith(m_home.path()), qPrintable(folder.path()));
        const QStringList files = folder.entryList({QStringLiteral("*.png")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().startsWith(QStringLiteral("cam_snap_")));
        const QImage saved(folder.filePath(files.first()));
        QCOMPARE(saved.size(), t->currentPicture().size());
        QCOMPARE(saved.pixelColor(2, 2), QColor(40, 90, 150));
        QVERIFY(t->ui()->snapshotLabel()->isVisible() && t->ui()->snapshotLabel()->text().contains(files.first()));
        QVERIFY(!t->saveSnapshot().isEmpty()); // a second in the same second has its own name
        QCOMPARE(folder.entryList({QStringLiteral("*.png")}, QDir::Files).size(), 2);

        QSignalSpy stopped(t, &VuCameraWidget::stopped);
        QTest::mouseClick(t->ui()->stopButton(), Qt::LeftButton);
        QCOMPARE(t->retriesLeft(), 0);
        QVERIFY(!t->isPlayTimerActive());
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Disconnecting));
        QTRY_COMPARE(stopped.size(), 1); // the real client answers from its worker
        QCOMPARE(t->ui()->state(), int(VuCameraWidgetUI::Stopped));
        QVERIFY(t->currentPicture().isNull());
        QVERIFY(t->saveSnapshot().isEmpty());
    }

    // Record asks the client, whose answers show: a refusal (noted, logged), the dot, the saved file.
    void recordingShowsOnTheTile()
    {
        TestTile* t = makeTile(cameraRecord("cam"));
        playing(t);
        t->ui()->recordButton()->click(); // the stand-in camera does not play
        QTRY_VERIFY(t->ui()->snapshotLabel()->isVisible() && m_log->contains("camera cam: recording: " + t->ui()->snapshotLabel()->text()));
        emit m_client->recordingStarted(QStringLiteral("/v/cam_1.mp4"));
        QVERIFY(t->ui()->recordIndicator()->isVisible() && t->ui()->recordIndicator()->text() == "REC 00:00");
        emit m_client->recordingSaved(QStringLiteral("/v/cam_1.mp4"));
        QVERIFY(!t->ui()->recordIndicator()->isVisible() && t->ui()->snapshotLabel()->text() == "Saved cam_1.mp4");
    }

    void pinCodeEntry()
    {
        PinCodeWidget w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QSignalSpy changed(&w, &PinCodeWidget::onPinCodeChanged);
        auto enabled = [&w] {
            QString s;
            for (int i = 0; i < PinCodeWidget::Length; ++i)
                s += w.edit(i)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
            return s;
        };
        QCOMPARE(enabled(), QStringLiteral("1000"));
        QTest::keyClick(w.edit(0), 'a');
        QCOMPARE(enabled(), QStringLiteral("0100"));
        // Backspace in an empty box goes back to the one before, its text selected.
        QTest::keyClick(w.edit(1), Qt::Key_Backspace);
        QCOMPARE(enabled(), QStringLiteral("1000"));
        QVERIFY(w.edit(0)->hasSelectedText());
        QTest::keyClick(w.edit(0), 'x');
        QTest::keyClick(w.edit(1), 'b');
        QTest::keyClick(w.edit(2), Qt::Key_Backspace);
        QCOMPARE(enabled(), QStringLiteral("0100"));
        QTest::keyClick(w.edit(1), 'y');
        QTest::keyClick(w.edit(2), 'c');
        QCOMPARE(changed.size(), 0);
        QTest::keyClick(w.edit(3), 'd');
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed.first().first().toString(), QStringLiteral("xycd"));
    }

    void motorRepeats()
    {
        MotorControlWidget m(nullptr, kFast.motorRepeatMs);
        QSignalSpy dir(&m, &MotorControlWidget::motorDirectionTiggered);
        emit m.button(MotorControlWidget::Up)->pressed();
        QCOMPARE(m.heldDirection(), int(MotorControlWidget::Up));
        QVERIFY(dir.isEmpty());
        QTRY_VERIFY(dir.size() >= 2); // repeated while held
        emit m.button(MotorControlWidget::Up)->released();
        const int held = dir.size();
        QTest::qWait(3 * kFast.motorRepeatMs);
        QCOMPARE(dir.size(), held); // and sent once more on release only
        QCOMPARE(dir.first().first().toInt(), int(MotorControlWidget::Up));
        emit m.button(MotorControlWidget::Left)->pressed();
        emit m.button(MotorControlWidget::Left)->released();
        QCOMPARE(dir.size(), held + 1);
        QCOMPARE(dir.last().first().toInt(), int(MotorControlWidget::Left));
        // Hidden while held (the tile stopped playing): sent once more, the repeat ends.
        m.show();
        emit m.button(MotorControlWidget::Down)->pressed();
        m.hide();
        QCOMPARE(m.heldDirection(), 0);
        QCOMPARE(dir.size(), held + 2);
        QCOMPARE(dir.last().first().toInt(), int(MotorControlWidget::Down));
    }
};

QTEST_MAIN(TstCameraTile)
#include "tst_cameratile.moc"
