// The playback timeline: the recording list turned into areas and day buttons,
// a chosen moment into a play request, frames followed with the pending-seek
// tolerance, and the axis's zoom, arrows, drag and debounce (a 0 ms debounce
// here: the coalescing is tested, not the clock).

#include "uitestsupport.h"

#include "ui/timedatelinewidget.h"
#include "ui/timelinetoolswidget.h"
#include "ui/timelinewidget.h"
#include "ui/vudatebutton.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {
RecordFileHeader rec(qint64 start, int length, int motion = 0, int saved = 0)
{
    RecordFileHeader h;
    h.startTime = quint32(start);
    h.duration = quint8(length);
    h.motioned = quint8(motion);
    h.saved = quint8(saved);
    return h;
}

// Local time on a day of March 2026, as seconds since 1970.
qint64 at(int day, int hh, int mm)
{
    return QDateTime(QDate(2026, 3, day), QTime(hh, mm)).toSecsSinceEpoch();
}
const qint64 s = at(10, 10, 0);

// The delivered list ends with one record that is not drawn.
QVector<RecordFileHeader> delivered(QVector<RecordFileHeader> v)
{
    v.append(rec(at(20, 0, 0), 10));
    return v;
}

QString selection(const QSignalSpy& spy, int i = 0)
{
    const QList<QVariant>& a = spy.at(i);
    return QStringLiteral("%1,%2,%3").arg(a.at(0).toInt() - (a.at(0).toInt() ? s : 0)).arg(a.at(1).toInt()).arg(a.at(2).toInt());
}

void mouse(QWidget* w, QEvent::Type type, const QPoint& global, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, w->mapFromGlobal(global), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Runs the event loop until a 0 ms timer started now has fired.
bool sync()
{
    QTimer later;
    later.setSingleShot(true);
    QSignalSpy fired(&later, &QTimer::timeout);
    later.start(0);
    return fired.wait();
}
} // namespace

class TstTimelineWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTest::setUp(false); }
    void cleanupTestCase() { QCOMPARE(UiTest::resourceWarnings(), QStringList()); }
    void wireFormat();
    void areasAndDays();
    void choosingAMoment_data();
    void choosingAMoment();
    void dayAndLiveButtonsSeek();
    void pendingSeekFollowsFrames();
    void zoomLimits();
    void arrowsAndDragAreDebounced();
    void choosingADayCancelsAPendingMove();
    void dayStripChecksAndScrolls();
};

void TstTimelineWidgets::wireFormat()
{
    const uchar bytes[8] = {0x10, 0x32, 0x54, 0x76, 200, 1, 0, 9};
    const RecordFileHeader h = RecordFileHeader::fromBytes(bytes);
    QCOMPARE(h.startTime, 0x76543210u);
    QCOMPARE(QList<int>({h.duration, h.motioned, h.saved}), QList<int>({200, 1, 0}));
    uchar back[8] = {};
    h.toBytes(back);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(back), 8), QByteArray(reinterpret_cast<const char*>(bytes), 8));
}

void TstTimelineWidgets::areasAndDays()
{
    TimeLineToolsWidget w;
    // Only the trailing record: the buttons, nothing drawn, nothing to choose.
    w.updateFileHeaders({rec(s, 60)});
    QVERIFY(w.buttonsShown() && w.timeLine()->timeAreas().isEmpty());
    QSignalSpy spy(&w, SIGNAL(locationSelected(int,int,int)));
    w.onLocationSelected(int(s));
    QCOMPARE(spy.count(), 0);
    w.updateFileHeaders({});
    QVERIFY(!w.buttonsShown());

    w.updateFileHeaders(delivered({rec(s, 60), rec(s + 60, 60), // touching, same class: one area
                                   rec(s + 121, 30),            // a one-second gap: a new area
                                   rec(s + 151, 30, 1),         // touching, motion: a new area
                                   rec(0, 50),                  // skipped
                                   rec(s + 181, 20, 1), rec(s + 201, 10, 1, 1)})); // saved beats motion
    QCOMPARE(w.timeLine()->timeAreas(),
             (QVector<TimeAreaHeader>{{int(s), 120, 0}, {int(s + 121), 30, 0}, {int(s + 151), 50, 1}, {int(s + 201), 10, 2}}));

    // Days in order of appearance; a recording's end is exclusive.
    w.updateFileHeaders(delivered({rec(at(9, 12, 0), 60), rec(at(9, 23, 58), 240), // runs into the 10th
                                   rec(at(10, 23, 56), 240), // ends exactly at midnight
                                   rec(at(12, 8, 0), 30)}));
    QCOMPARE(w.dateLine()->dates(), (QVector<QDate>{QDate(2026, 3, 9), QDate(2026, 3, 10), QDate(2026, 3, 12)}));
    QVERIFY(w.dateLine()->isLiveChecked());
}

void TstTimelineWidgets::choosingAMoment_data()
{
    // Recordings s..s+120 (two files), s+300..s+400 and s+400..s+450: the
    // request (start - s, offset, 0) and the awaited moment (- s).
    QTest::addColumn<int>("t");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("pending");
    QTest::newRow("inside the second file") << 90 << "60,30,0" << 90;
    QTest::newRow("first second") << 0 << "0,0,0" << 0;
    QTest::newRow("before the first") << -5000 << "0,0,0" << 0;
    QTest::newRow("end of a file: the next") << 60 << "60,0,0" << 60;
    QTest::newRow("end of a run: the next recording") << 120 << "300,0,0" << 300;
    QTest::newRow("in a gap: the next recording") << 200 << "300,0,0" << 300;
    QTest::newRow("last second") << 449 << "400,49,0" << 449;
    QTest::newRow("at the end: live") << 450 << "live" << int(-s);
    QTest::newRow("far after: live") << 100000 << "live" << int(-s);
}

void TstTimelineWidgets::choosingAMoment()
{
    QFETCH(int, t);
    QFETCH(QString, request);
    QFETCH(int, pending);
    TimeLineToolsWidget w;
    w.updateFileHeaders(delivered({rec(s, 60), rec(s + 60, 60), rec(s + 300, 100), rec(s + 400, 50, 1)}));
    QSignalSpy three(&w, SIGNAL(locationSelected(int,int,int)));
    QSignalSpy two(&w, SIGNAL(locationSelected(int,int)));
    w.onLocationSelected(int(s + t));
    QCOMPARE(three.count(), 1);
    QCOMPARE(two.count(), 1);
    QCOMPARE(selection(three), request == QLatin1String("live") ? QStringLiteral("0,0,0") : request);
    QCOMPARE(w.pendingSeek(), int(s + pending));
}

void TstTimelineWidgets::dayAndLiveButtonsSeek()
{
    TimeLineToolsWidget w;
    w.updateFileHeaders(delivered({rec(at(9, 8, 0), 100), rec(s, 60), rec(s + 300, 50)}));
    QSignalSpy three(&w, SIGNAL(locationSelected(int,int,int)));
    // A day: the first recording of that day from its start.
    w.dateLine()->dateButton(1)->click();
    QCOMPARE(w.dateLine()->checkedDate(), QDate(2026, 3, 10));
    QCOMPARE(selection(three), QStringLiteral("0,0,0"));
    QVERIFY(!w.timeLine()->isLive());
    // "Live": the end of the recordings, and live video.
    w.dateLine()->liveButton()->click();
    QCOMPARE(three.at(1).at(0).toInt(), 0);
    QVERIFY(w.timeLine()->isLive());
    QCOMPARE(w.timeLine()->currentTime(), int(s + 350));
}

void TstTimelineWidgets::pendingSeekFollowsFrames()
{
    TimeLineToolsWidget w;
    w.updateFrameTime(12345, false); // no recordings: not followed
    QCOMPARE(w.timeLine()->currentTime(), 0);
    w.updateFileHeaders(delivered({rec(s, 200), rec(s + 1000, 200)}));
    QSignalSpy switched(&w, &TimeLineToolsWidget::locationSwitched);
    const int live = int(s + 5000);
    w.updateFrameTime(live, false);
    QCOMPARE(w.timeLine()->currentTime(), live);

    // Seek to s + 100: tolerance |(s+100 - live) / 2| = 2450; stale frames ignored.
    w.onLocationSelected(int(s + 100));
    w.updateFrameTime(live + 1, false);
    w.updateFrameTime(live + 2, true);
    w.updateFrameTime(int(s + 100 + 2451), true);
    QCOMPARE(switched.count(), 0);
    QCOMPARE(w.timeLine()->currentTime(), live);
    w.updateFrameTime(int(s + 100 + 2450), true);
    QCOMPARE(switched.count(), 1);
    QCOMPARE(w.pendingSeek(), -1);
    QCOMPARE(w.dateLine()->checkedDate(), QDate(2026, 3, 10));
    FrameInfo info;
    info.timestamp = quint32(s + 102);
    info.isPlayback = true;
    w.updateFrameInfo(info);
    QCOMPARE(w.timeLine()->currentTime(), int(s + 102));

    // Back to live: playback frames in flight are ignored until a live one.
    w.onLocationSelected(int(s + 99999));
    w.updateFrameTime(int(s + 103), true);
    QCOMPARE(switched.count(), 1);
    w.updateFrameTime(live + 9, false);
    QCOMPARE(switched.count(), 2);
    QCOMPARE(w.timeLine()->currentTime(), live + 9);
    QVERIFY(w.dateLine()->isLiveChecked());
}

void TstTimelineWidgets::zoomLimits()
{
    TimeLineToolsWidget w;
    TimeLineWidget* axis = w.timeLine();
    QCOMPARE(axis->secondsPerPixel(), 5);
    for (int i = 0; i < 4; ++i)
        w.toolButton(QStringLiteral("btnTimeZoomIn"))->click();
    QCOMPARE(axis->secondsPerPixel(), 1);
    QVERIFY(!axis->zoomIn());
    QCOMPARE(axis->secondsPerPixel(), 1);
    for (int i = 0; i < 29; ++i)
        w.toolButton(QStringLiteral("btnTimeZoomOut"))->click();
    QVERIFY(!axis->zoomOut());
    QCOMPARE(axis->secondsPerPixel(), 30);
}

void TstTimelineWidgets::arrowsAndDragAreDebounced()
{
    TimeLineToolsWidget w(nullptr, 0);
    w.resize(500, 70);
    w.show();
    w.updateFileHeaders(delivered({rec(s, 200), rec(s + 3000, 200)}));
    w.updateFrameTime(int(s + 10), true);
    QSignalSpy selected(&w, SIGNAL(locationSelected(int,int,int)));
    QSignalSpy changed(&w, &TimeLineToolsWidget::locationChanged);
    // Each step is shown at once; one request comes for the last.
    for (int i = 0; i < 3; ++i)
        w.toolButton(QStringLiteral("btnTimeRight"))->click();
    QCOMPARE(changed.count(), 3);
    QCOMPARE(w.timeLine()->currentTime(), int(s + 910));
    QCOMPARE(selected.count(), 0);
    QTRY_COMPARE(selected.count(), 1);
    QCOMPARE(selection(selected), QStringLiteral("3000,0,0")); // s + 910 lies in the gap
    w.toolButton(QStringLiteral("btnTimeLeft"))->click();
    w.toolButton(QStringLiteral("btnTimeLeft"))->click();
    QCOMPARE(w.timeLine()->currentTime(), int(s + 310));
    QTRY_COMPARE(selected.count(), 2);

    // Dragging left moves forward in time; meanwhile the playing position
    // does not move the axis.
    TimeLineWidget* axis = w.timeLine();
    axis->updateCurrentTimestamp(int(s + 100));
    QSignalSpy axisSelected(axis, &TimeLineWidget::locationSelected);
    QTest::mousePress(axis, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    mouse(axis, QEvent::MouseMove, axis->mapToGlobal(QPoint(250, 20)), Qt::NoButton, Qt::LeftButton);
    QVERIFY(axis->isDragging());
    axis->updateCurrentTimestamp(int(s + 150));
    QCOMPARE(axis->currentTime(), int(s + 100));
    QTest::mouseRelease(axis, Qt::LeftButton, Qt::NoModifier, QPoint(200, 20));
    QVERIFY(!axis->isDragging());
    QCOMPARE(axis->currentTime(), int(s + 600));
    QCOMPARE(axisSelected.count(), 0);
    QTRY_COMPARE(axisSelected.count(), 1);
    QCOMPARE(axisSelected.first().at(0).toInt(), int(s + 600));
    // Without areas the arrows do nothing.
    TimeLineWidget bare;
    bare.goLeft();
    bare.goRight();
    QCOMPARE(bare.currentTime(), 0);
}

void TstTimelineWidgets::choosingADayCancelsAPendingMove()
{
    TimeLineToolsWidget w(nullptr, 0);
    w.updateFileHeaders(delivered({rec(at(9, 8, 0), 100), rec(s, 60)}));
    QSignalSpy axis(w.timeLine(), &TimeLineWidget::locationSelected);
    w.timeLine()->goRight();
    w.dateLine()->dateButton(0)->click();
    QCOMPARE(axis.count(), 1);
    QCOMPARE(axis.at(0).at(0).toInt(), int(at(9, 0, 0)));
    QVERIFY(sync());
    QCOMPARE(axis.count(), 1);
}

void TstTimelineWidgets::dayStripChecksAndScrolls()
{
    TimeDateLineWidget strip;
    strip.resize(200, 24);
    strip.show();
    QSignalSpy changed(&strip, &TimeDateLineWidget::dateChanged);
    QVector<QDate> days;
    for (int i = 0; i < 11; ++i)
        days.append(QDate(2026, 3, 1).addDays(i));
    strip.updateDates(days);
    // Eleven days and "Live" checked: scrolled to the right end, "Live" whole.
    const int step = TimeDateLineWidget::ButtonWidth + TimeDateLineWidget::ButtonSpacing;
    const int end = 200 - (12 * step - TimeDateLineWidget::ButtonSpacing);
    QCOMPARE(strip.scrollOffset(), end);
    QCOMPARE(strip.liveButton()->geometry().right(), 199);
    strip.goRight();
    QCOMPARE(strip.scrollOffset(), end);
    for (int i = 0; i < 20; ++i)
        strip.goLeft();
    QCOMPARE(strip.scrollOffset(), 0);
    strip.goRight();
    QCOMPARE(strip.scrollOffset(), -step);

    // Dragging by a button moves the row within its limits, without a click.
    VuDateButton* b = strip.dateButton(3);
    const QPoint p = b->mapToGlobal(b->rect().center());
    mouse(b, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
    mouse(b, QEvent::MouseMove, p - QPoint(100, 0), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(strip.scrollOffset(), -step - 100);
    mouse(b, QEvent::MouseMove, p - QPoint(5000, 0), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(strip.scrollOffset(), end);
    mouse(b, QEvent::MouseButtonRelease, p - QPoint(5000, 0), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!b->isChecked() && strip.isLiveChecked());

    // Frames check (and show) a listed day without announcing a change.
    strip.updateCurrentTimestamp(int(at(2, 18, 0)), true);
    QCOMPARE(strip.checkedDate(), QDate(2026, 3, 2));
    QCOMPARE(strip.dateButton(1)->x(), 0);
    strip.updateCurrentTimestamp(int(at(12, 18, 0)), true);
    QCOMPARE(strip.checkedDate(), QDate(2026, 3, 2));
    strip.updateCurrentTimestamp(int(at(12, 18, 0)), false);
    QVERIFY(strip.isLiveChecked());
    QCOMPARE(changed.count(), 0);
    // The user's choice does; a new list keeps a checked day still listed.
    strip.dateButton(1)->click();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toDate(), QDate(2026, 3, 2));
    strip.updateDates(days.mid(0, 5));
    QCOMPARE(strip.checkedDate(), QDate(2026, 3, 2));
    strip.liveButton()->click();
    QCOMPARE(changed.count(), 2);
    QVERIFY(changed.last().at(0).toDate().isNull());
    strip.resize(2000, 24); // everything fits
    QCOMPARE(strip.scrollOffset(), 0);
}

QTEST_MAIN(TstTimelineWidgets)
#include "tst_timelinewidgets.moc"
