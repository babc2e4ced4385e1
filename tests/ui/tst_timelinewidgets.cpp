// The playback timeline: area merging, day buttons, choosing a moment,
// following frames with the pending-seek tolerance, the axis's zoom, arrows,
// drag and the 500 ms debounce.

#include "uitestsupport.h"

#include "ui/timedatelinewidget.h"
#include "ui/timelinetoolswidget.h"
#include "ui/timelinewidget.h"
#include "ui/vudatebutton.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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

// Local wall-clock time as seconds since 1970.
qint64 at(int y, int m, int d, int hh, int mm, int ss = 0)
{
    return QDateTime(QDate(y, m, d), QTime(hh, mm, ss)).toSecsSinceEpoch();
}

// The delivered list ends with one record that is not drawn.
QVector<RecordFileHeader> delivered(QVector<RecordFileHeader> v)
{
    v.append(rec(at(2030, 1, 1, 0, 0), 10));
    return v;
}

QString selection(const QSignalSpy& spy, int i = 0)
{
    const QList<QVariant>& a = spy.at(i);
    return QStringLiteral("%1,%2,%3").arg(a.at(0).toInt()).arg(a.at(1).toInt()).arg(a.at(2).toInt());
}
} // namespace

class TstTimelineWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void wireFormat();
    void judgeColor();
    void singleHeaderDrawsNothing();
    void mergingAndGaps();
    void dayButtonsCrossMidnight();
    void choosingAMoment();
    void pendingSeekTolerance();
    void pendingLiveSeek();
    void framesWithoutHeaders();
    void zoomLimits();
    void arrowsDebounced();
    void dragMovesAndIgnoresPosition();
    void dayStripDatesAndLive();
    void dayStripScrolling();
};

void TstTimelineWidgets::initTestCase()
{
    UiTest::setUp(false);
}

void TstTimelineWidgets::cleanupTestCase()
{
    QCOMPARE(UiTest::resourceWarnings(), QStringList());
}

void TstTimelineWidgets::wireFormat()
{
    const uchar bytes[8] = {0x10, 0x32, 0x54, 0x76, 200, 1, 0, 9};
    const RecordFileHeader h = RecordFileHeader::fromBytes(bytes);
    QCOMPARE(h.startTime, 0x76543210u);
    QCOMPARE(int(h.duration), 200);
    QCOMPARE(int(h.motioned), 1);
    QCOMPARE(int(h.saved), 0);
    uchar back[8] = {};
    h.toBytes(back);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(back), 8), QByteArray(reinterpret_cast<const char*>(bytes), 8));
    QVERIFY(QMetaType::type("RecordFileHeader") != QMetaType::UnknownType || qMetaTypeId<RecordFileHeader>() > 0);
}

void TstTimelineWidgets::judgeColor()
{
    QCOMPARE(int(TimeLineToolsWidget::judgeColor(0, 0)), 0);
    QCOMPARE(int(TimeLineToolsWidget::judgeColor(1, 0)), 1);
    QCOMPARE(int(TimeLineToolsWidget::judgeColor(0, 1)), 2);
    QCOMPARE(int(TimeLineToolsWidget::judgeColor(1, 1)), 2);
    QCOMPARE(int(TimeLineToolsWidget::judgeColor(2, 2)), 0);
}

void TstTimelineWidgets::singleHeaderDrawsNothing()
{
    TimeLineToolsWidget w;
    QVERIFY(!w.buttonsShown());
    w.updateFileHeaders({rec(at(2026, 3, 10, 10, 0), 60)});
    QVERIFY(w.buttonsShown());
    QVERIFY(w.fileHeaders().isEmpty());
    QVERIFY(w.timeLine()->timeAreas().isEmpty());
    QVERIFY(w.dateLine()->dates().isEmpty());
    // Nothing to choose from: no request.
    QSignalSpy spy(&w, SIGNAL(locationSelected(int,int,int)));
    w.onLocationSelected(int(at(2026, 3, 10, 10, 0)));
    QCOMPARE(spy.count(), 0);
    // An empty list hides the buttons again.
    w.updateFileHeaders({});
    QVERIFY(!w.buttonsShown());
}

void TstTimelineWidgets::mergingAndGaps()
{
    const qint64 s = at(2026, 3, 10, 10, 0);
    TimeLineToolsWidget w;
    w.updateFileHeaders(delivered({
        rec(s, 60), rec(s + 60, 60),          // touching, same class: one area
        rec(s + 121, 30),                     // one-second gap: a new area
        rec(s + 151, 30, 1),                  // touching, other class: a new area
        rec(0, 50),                           // skipped
        rec(s + 181, 20, 1), rec(s + 201, 10, 1, 1),
    }));
    const QVector<TimeAreaHeader> areas = w.timeLine()->timeAreas();
    QCOMPARE(areas.size(), 4);
    QCOMPARE(areas[0], (TimeAreaHeader{int(s), 120, 0}));
    QCOMPARE(areas[1], (TimeAreaHeader{int(s + 121), 30, 0}));
    QCOMPARE(areas[2], (TimeAreaHeader{int(s + 151), 50, 1}));
    QCOMPARE(areas[3], (TimeAreaHeader{int(s + 201), 10, 2}));
    QCOMPARE(w.fileHeaders().size(), 7);

    // The same list again changes nothing; a new one rebuilds.
    w.updateFileHeaders(delivered({rec(s, 60)}));
    QCOMPARE(w.timeLine()->timeAreas().size(), 1);
}

void TstTimelineWidgets::dayButtonsCrossMidnight()
{
    TimeLineToolsWidget w;
    w.resize(600, 70);
    w.updateFileHeaders(delivered({
        rec(at(2026, 3, 9, 12, 0), 60),
        rec(at(2026, 3, 9, 23, 58), 240),  // runs into the 10th
        rec(at(2026, 3, 10, 23, 56), 240), // ends exactly at midnight of the 11th
        rec(at(2026, 3, 12, 8, 0), 30),
    }));
    const QVector<QDate> days = w.dateLine()->dates();
    QCOMPARE(days, (QVector<QDate>{QDate(2026, 3, 9), QDate(2026, 3, 10), QDate(2026, 3, 12)}));
    QCOMPARE(w.dateLine()->dateButton(0)->text(), QStringLiteral(" 03/09 "));
    QCOMPARE(w.dateLine()->dateButton(2)->text(), QStringLiteral(" 03/12 "));
    QCOMPARE(w.dateLine()->liveButton()->text(), QStringLiteral("Live"));
    QVERIFY(w.dateLine()->isLiveChecked());
}

void TstTimelineWidgets::choosingAMoment()
{
    const qint64 s = at(2026, 3, 10, 10, 0);
    TimeLineToolsWidget w;
    w.updateFileHeaders(delivered({rec(s, 60), rec(s + 60, 60), rec(s + 300, 100), rec(s + 400, 50, 1)}));
    QSignalSpy three(&w, SIGNAL(locationSelected(int,int,int)));
    QSignalSpy two(&w, SIGNAL(locationSelected(int,int)));

    w.onLocationSelected(int(s + 90)); // inside the second record
    QCOMPARE(selection(three), QStringLiteral("%1,30,0").arg(s + 60));
    QCOMPARE(two.count(), 1);
    QCOMPARE(w.pendingSeek(), int(s + 90));

    w.onLocationSelected(int(s + 200)); // in the gap: the next recording from its start
    QCOMPARE(selection(three, 1), QStringLiteral("%1,0,0").arg(s + 300));
    QCOMPARE(w.pendingSeek(), int(s + 300));

    w.onLocationSelected(int(s - 5000)); // before the first
    QCOMPARE(selection(three, 2), QStringLiteral("%1,0,0").arg(s));

    w.onLocationSelected(int(s + 449)); // last second of the last record
    QCOMPARE(selection(three, 3), QStringLiteral("%1,49,0").arg(s + 400));

    w.onLocationSelected(int(s + 450)); // at the end: live
    QCOMPARE(selection(three, 4), QStringLiteral("0,0,0"));
    QCOMPARE(w.pendingSeek(), 0);
    w.onLocationSelected(int(s + 100000));
    QCOMPARE(selection(three, 5), QStringLiteral("0,0,0"));

    // Choosing a day on the strip goes through the axis: the first recording
    // of that day from its start.
    w.dateLine()->dateButton(0)->click();
    QCOMPARE(w.dateLine()->checkedDate(), QDate(2026, 3, 10));
    QCOMPARE(selection(three, 6), QStringLiteral("%1,0,0").arg(s));
    QVERIFY(!w.timeLine()->isLive());
    // "Live" goes to the end of the recordings and asks for live video.
    w.dateLine()->liveButton()->click();
    QCOMPARE(selection(three, 7), QStringLiteral("0,0,0"));
    QVERIFY(w.timeLine()->isLive());
    QCOMPARE(w.timeLine()->currentTime(), int(s + 450));
}

void TstTimelineWidgets::pendingSeekTolerance()
{
    const qint64 s = at(2026, 3, 10, 10, 0);
    TimeLineToolsWidget w;
    w.updateFileHeaders(delivered({rec(s, 200), rec(s + 1000, 200)}));
    QSignalSpy switched(&w, &TimeLineToolsWidget::locationSwitched);

    // Live video running at about s + 5000.
    const int live = int(s + 5000);
    w.updateFrameTime(live, false);
    QCOMPARE(w.timeLine()->currentTime(), live);
    QCOMPARE(w.lastFrameTime(), live);

    // Seek into the first recording: the target is s + 100.
    w.onLocationSelected(int(s + 100));
    QCOMPARE(w.pendingSeek(), int(s + 100));
    // Tolerance |(s+100 - live) / 2| = 2450. Stale live frames are ignored.
    w.updateFrameTime(live + 1, false);
    w.updateFrameTime(live + 2, true);
    w.updateFrameTime(int(s + 100 + 2451), true);
    QCOMPARE(switched.count(), 0);
    QCOMPARE(w.timeLine()->currentTime(), live);
    QCOMPARE(w.pendingSeek(), int(s + 100));
    // Within the tolerance: switched, and the timeline follows.
    w.updateFrameTime(int(s + 101), true);
    QCOMPARE(switched.count(), 1);
    QCOMPARE(w.pendingSeek(), -1);
    QCOMPARE(w.timeLine()->currentTime(), int(s + 101));
    QCOMPARE(w.dateLine()->checkedDate(), QDate(2026, 3, 10));
    // Later frames simply move the timeline.
    FrameInfo info;
    info.timestamp = quint32(s + 102);
    info.isPlayback = true;
    w.updateFrameInfo(info);
    QCOMPARE(switched.count(), 1);
    QCOMPARE(w.timeLine()->currentTime(), int(s + 102));
}

void TstTimelineWidgets::pendingLiveSeek()
{
    const qint64 s = at(2026, 3, 10, 10, 0);
    TimeLineToolsWidget w;
    w.updateFileHeaders(delivered({rec(s, 200)}));
    QSignalSpy switched(&w, &TimeLineToolsWidget::locationSwitched);
    QSignalSpy selected(&w, SIGNAL(locationSelected(int,int,int)));
    w.updateFrameTime(int(s + 50), true);
    QVERIFY(!w.dateLine()->isLiveChecked());

    w.onLocationSelected(int(s + 999));
    QCOMPARE(selection(selected), QStringLiteral("0,0,0"));
    // Playback frames still arriving are ignored until the first live frame.
    w.updateFrameTime(int(s + 51), true);
    QCOMPARE(switched.count(), 0);
    QCOMPARE(w.timeLine()->currentTime(), int(s + 50));
    const int now = int(s + 90000);
    w.updateFrameTime(now, false);
    QCOMPARE(switched.count(), 1);
    QCOMPARE(w.pendingSeek(), -1);
    QCOMPARE(w.timeLine()->currentTime(), now);
    QVERIFY(w.dateLine()->isLiveChecked());
}

void TstTimelineWidgets::framesWithoutHeaders()
{
    TimeLineToolsWidget w;
    w.updateFrameTime(12345, false);
    QCOMPARE(w.timeLine()->currentTime(), 0);
    QCOMPARE(w.lastFrameTime(), 0);
}

void TstTimelineWidgets::zoomLimits()
{
    TimeLineToolsWidget w;
    TimeLineWidget* axis = w.timeLine();
    QCOMPARE(axis->secondsPerPixel(), 5);
    for (int i = 0; i < 4; ++i)
        QVERIFY(axis->zoomIn());
    QCOMPARE(axis->secondsPerPixel(), 1);
    QVERIFY(!axis->zoomIn());
    w.onBtnTimeZoomInClicked();
    QCOMPARE(axis->secondsPerPixel(), 1);
    for (int i = 0; i < 29; ++i)
        w.onBtnTimeZoomOutClicked();
    QCOMPARE(axis->secondsPerPixel(), 30);
    QVERIFY(!axis->zoomOut());
    QCOMPARE(axis->secondsPerPixel(), 30);
    w.toolButton(QStringLiteral("btnTimeZoomIn"))->click();
    QCOMPARE(axis->secondsPerPixel(), 29);
}

void TstTimelineWidgets::arrowsDebounced()
{
    const qint64 s = at(2026, 3, 10, 10, 0);
    TimeLineToolsWidget w;
    w.resize(500, 70);
    w.show();
    w.updateFileHeaders(delivered({rec(s, 200), rec(s + 3000, 200)}));
    w.updateFrameTime(int(s + 10), true);
    QSignalSpy selected(&w, SIGNAL(locationSelected(int,int,int)));
    QSignalSpy changed(&w, &TimeLineToolsWidget::locationChanged);

    QPushButton* right = w.toolButton(QStringLiteral("btnTimeRight"));
    QVERIFY(right && right->isVisible());
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(right, Qt::LeftButton);
        QTest::qWait(60);
    }
    QCOMPARE(changed.count(), 3);
    QCOMPARE(w.timeLine()->currentTime(), int(s + 10 + 900));
    QCOMPARE(selected.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(selected.count(), 1, 2000);
    // One request, about 500 ms after the last click.
    QVERIFY2(clock.elapsed() >= 120 + 480, qPrintable(QString::number(clock.elapsed())));
    // s + 910 lies in the gap: the next recording from its start.
    QCOMPARE(selection(selected), QStringLiteral("%1,0,0").arg(s + 3000));
    QTest::qWait(600);
    QCOMPARE(selected.count(), 1);

    // Back arrows work the same way.
    w.toolButton(QStringLiteral("btnTimeLeft"))->click();
    w.toolButton(QStringLiteral("btnTimeLeft"))->click();
    QCOMPARE(w.timeLine()->currentTime(), int(s + 310));
    QTRY_COMPARE_WITH_TIMEOUT(selected.count(), 2, 2000);
    QCOMPARE(selection(selected, 1), QStringLiteral("%1,0,0").arg(s + 3000));

    // Without areas the arrows do nothing.
    TimeLineWidget bare;
    bare.goLeft();
    bare.goRight();
    QCOMPARE(bare.currentTime(), 0);
}

void TstTimelineWidgets::dragMovesAndIgnoresPosition()
{
    TimeLineWidget axis;
    axis.resize(400, 40);
    axis.show();
    axis.updateTimeAreas({TimeAreaHeader{1000000, 600, 0}});
    axis.updateCurrentTimestamp(1000100);
    QSignalSpy selected(&axis, &TimeLineWidget::locationSelected);

    QTest::mousePress(&axis, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    QMouseEvent move(QEvent::MouseMove, QPointF(250, 20), axis.mapToGlobal(QPoint(250, 20)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&axis, &move);
    QVERIFY(axis.isDragging());
    // The playing position does not move the axis while it is dragged.
    axis.updateCurrentTimestamp(1000200);
    QCOMPARE(axis.currentTime(), 1000100);
    QTest::mouseRelease(&axis, Qt::LeftButton, Qt::NoModifier, QPoint(200, 20));
    QVERIFY(!axis.isDragging());
    QCOMPARE(axis.currentTime(), 1000100 + 100 * 5);
    QCOMPARE(selected.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(selected.count(), 1, 2000);
    QCOMPARE(selected.first().at(0).toInt(), 1000600);

    axis.updateCurrentTimestamp(1000200);
    QCOMPARE(axis.currentTime(), 1000200);
    QCOMPARE(axis.leftEdge(), 1000200 - 400 * 5 / 2.0);
}

void TstTimelineWidgets::dayStripDatesAndLive()
{
    TimeDateLineWidget strip;
    strip.resize(400, 24);
    QSignalSpy changed(&strip, &TimeDateLineWidget::dateChanged);
    strip.updateDates({QDate(2026, 3, 9), QDate(2026, 3, 10)});
    QVERIFY(strip.isLiveChecked());
    QCOMPARE(changed.count(), 0);

    // Frames check buttons without announcing a change.
    strip.updateCurrentTimestamp(int(at(2026, 3, 9, 18, 0)), true);
    QCOMPARE(strip.checkedDate(), QDate(2026, 3, 9));
    strip.updateCurrentTimestamp(int(at(2026, 3, 11, 18, 0)), true); // not listed
    QCOMPARE(strip.checkedDate(), QDate(2026, 3, 9));
    strip.updateCurrentTimestamp(int(at(2026, 3, 11, 18, 0)), false);
    QVERIFY(strip.isLiveChecked());
    QCOMPARE(changed.count(), 0);

    // The user's toggle does.
    strip.dateButton(1)->click();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toDate(), QDate(2026, 3, 10));
    strip.liveButton()->click();
    QCOMPARE(changed.count(), 2);
    QVERIFY(changed.at(1).at(0).toDate().isNull());

    // A new list keeps a checked day that is still listed.
    strip.dateButton(0)->click();
    strip.updateDates({QDate(2026, 3, 9), QDate(2026, 3, 10), QDate(2026, 3, 11)});
    QCOMPARE(strip.checkedDate(), QDate(2026, 3, 9));
    QCOMPARE(changed.count(), 3);
}

void TstTimelineWidgets::dayStripScrolling()
{
    TimeDateLineWidget strip;
    strip.resize(200, 24);
    strip.show();
    QVector<QDate> days;
    for (int i = 0; i < 10; ++i)
        days.append(QDate(2026, 3, 1).addDays(i));
    strip.updateDates(days);
    const int total = strip.buttonsWidth();
    QCOMPARE(total, 11 * TimeDateLineWidget::ButtonWidth + 10 * TimeDateLineWidget::ButtonSpacing);
    // "Live" is checked, so the row is scrolled to its right end.
    QCOMPARE(strip.scrollOffset(), 200 - total);
    strip.goRight();
    QCOMPARE(strip.scrollOffset(), 200 - total);
    for (int i = 0; i < 20; ++i)
        strip.goLeft();
    QCOMPARE(strip.scrollOffset(), 0);
    strip.goRight();
    QCOMPARE(strip.scrollOffset(), -(TimeDateLineWidget::ButtonWidth + TimeDateLineWidget::ButtonSpacing));

    // Dragging by a button moves the row, within the limits, without clicking.
    VuDateButton* b = strip.dateButton(3);
    const QPoint p = b->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, p, b->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &press);
    QMouseEvent move(QEvent::MouseMove, p - QPoint(100, 0), b->mapToGlobal(p) - QPoint(100, 0), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &move);
    QCOMPARE(strip.scrollOffset(), -(TimeDateLineWidget::ButtonWidth + TimeDateLineWidget::ButtonSpacing) - 100);
    QMouseEvent far(QEvent::MouseMove, p - QPoint(5000, 0), b->mapToGlobal(p) - QPoint(5000, 0), Qt::NoButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(b, &far);
    QCOMPARE(strip.scrollOffset(), 200 - total);
    QMouseEvent release(QEvent::MouseButtonRelease, p - QPoint(5000, 0), b->mapToGlobal(p) - QPoint(5000, 0),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(b, &release);
    QVERIFY(!b->isChecked());
    QVERIFY(strip.isLiveChecked());

    // Everything fits: offset 0.
    strip.resize(2000, 24);
    QCOMPARE(strip.scrollOffset(), 0);
}

QTEST_MAIN(TstTimelineWidgets)
#include "tst_timelinewidgets.moc"
