// Widgets of the window and the tile: page selector, rooms and the stored
// choice, the translation, the resources named by code and style sheets, and
// the playback timeline (its debounce at 0 ms: the coalescing is tested, not
// the clock).

#include "uitestsupport.h"

#include "core/appinfo.h"
#include "ui/framelesshelper.h"
#include "ui/imageslabel.h"
#include "ui/mnavigatebar.h"
#include "ui/respixmap.h"
#include "ui/roomlistbar.h"
#include "ui/timelinetoolswidget.h"
#include "ui/timelinewidget.h"
#include "ui/timedatelinewidget.h"
#include "ui/titlebar.h"
#include "ui/vudatebutton.h"

#include <QtTest>
#include <QtWidgets>

#include <algorithm>

namespace {
void mouse(QWidget* w, QEvent::Type type, const QPoint& local, const QPoint& global, Qt::MouseButton button,
           Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(local), QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A room bar's selections since the last take(): "all", "default", "shared", "named:<name>".
struct RoomSignals : QStringList
{
    explicit RoomSignals(RoomListBar* bar)
    {
        QObject::connect(bar, &RoomListBar::roomAllSelected, [this] { append(QStringLiteral("all")); });
        QObject::connect(bar, &RoomListBar::roomDefaultSelected, [this] { append(QStringLiteral("default")); });
        QObject::connect(bar, &RoomListBar::roomSharedSelected, [this] { append(QStringLiteral("shared")); });
        QObject::connect(bar, &RoomListBar::roomSelected, [this](const QString& n) { append(QStringLiteral("named:") + n); });
    }
    QString take()
    {
        const QString out = join(QLatin1Char(' '));
        clear();
        return out;
    }
};

QString texts(const RoomListBar& bar)
{
    return bar.buttonTexts().join(QLatin1Char('|'));
}

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

} // namespace

class TstUiWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { UiTest::setUp(); }
    void cleanupTestCase() { QCOMPARE(UiTest::resourceWarnings(), QStringList()); }
    void navigateBar_data();
    void navigateBar();
    void navigateBarClicks();
    void roomsSelectTheStoredChoice_data();
    void roomsSelectTheStoredChoice();
    void roomsUserChoiceIsKept();
    void roomsRemoval();
    void framelessEdgesAndLimits_data();
    void framelessEdgesAndLimits();
    void translation();
    void everyNamedResourceResolves();
    void hiddenSequenceRests();
    void areasAndDays();
    void choosingAMoment_data();
    void choosingAMoment();
    void dayAndLiveButtonsSeek();
    void pendingSeekFollowsFrames();
    void zoomLimits();
    void arrowsAndDragAreDebounced();
    void choosingADayCancelsAPendingMove();
    void dayStripChecksAndScrolls();

private:
    QTemporaryDir m_dir;
};

void TstUiWidgets::navigateBar_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("items");
    QTest::newRow("12 at 1") << 12 << 1 << "1* 2 3 4 5 6 7 8 ... 12";
    QTest::newRow("12 at 5") << 12 << 5 << "1 2 3 4 5* 6 7 8 ... 12";
    QTest::newRow("12 at 6") << 12 << 6 << "1 ... 3 4 5 6* 7 8 9 ... 12";
    QTest::newRow("12 at 8") << 12 << 8 << "1 ... 5 6 7 8* 9 10 11 12";
    QTest::newRow("12 at 9") << 12 << 9 << "1 ... 5 6 7 8 9* 10 11 12";
    QTest::newRow("12 at 12") << 12 << 12 << "1 ... 5 6 7 8 9 10 11 12*";
    QTest::newRow("9 at 5") << 9 << 5 << "1 2 3 4 5* 6 7 8 9";
    QTest::newRow("10 at 10") << 10 << 10 << "1 ... 3 4 5 6 7 8 9 10*";
    QTest::newRow("3 at 2") << 3 << 2 << "1 2* 3";
    QTest::newRow("2 at 2") << 2 << 2 << "1 2*";
    QTest::newRow("1 at 1") << 1 << 1 << "1*";
    QTest::newRow("0") << 0 << 1 << "";
    QTest::newRow("12 at 40 clamped") << 12 << 40 << "1 ... 5 6 7 8 9 10 11 12*";
    QTest::newRow("12 at 0 clamped") << 12 << 0 << "1* 2 3 4 5 6 7 8 ... 12";
}

void TstUiWidgets::navigateBar()
{
    QFETCH(int, count);
    QFETCH(int, page);
    QFETCH(QString, items);
    MNavigateBar bar;
    bar.setPageCount(count);
    bar.setCurrentPage(page);
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), items);
    const int current = qBound(1, page, qMax(1, count));
    QCOMPARE(bar.previousButton()->isEnabled(), current > 1);
    QCOMPARE(bar.nextButton()->isEnabled(), current < count);
}

void TstUiWidgets::navigateBarClicks()
{
    MNavigateBar bar;
    QSignalSpy spy(&bar, &MNavigateBar::onPageNumberChanged);
    bar.setPageCount(12);
    bar.show();
    bar.nextButton()->click();
    bar.lastButton()->click();
    bar.middleButton(2)->click(); // labelled 7: re-centres the window
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), QStringLiteral("1 ... 4 5 6 7* 8 9 10 ... 12"));
    bar.middleButton(3)->click(); // the current page: nothing, and it stays checked
    QVERIFY(bar.middleButton(3)->isChecked());
    bar.previousButton()->click();
    QCOMPARE(spy.count(), 4);
    QCOMPARE(QVariantList({spy[0][0], spy[1][0], spy[2][0], spy[3][0]}), QVariantList({2, 12, 7, 6}));
    // The same count keeps the page; another starts at 1.
    bar.setPageCount(12);
    QCOMPARE(bar.currentPage(), 6);
    bar.setPageCount(4);
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), QStringLiteral("1* 2 3 4"));
}

void TstUiWidgets::roomsSelectTheStoredChoice_data()
{
    QTest::addColumn<QString>("stored"); // room_type:room_name
    QTest::addColumn<QString>("rooms");  // named rooms, D (default) and S (shared)
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QString>("selected");
    QTest::newRow("one named room") << ":" << "Living" << "Living" << "named:Living";
    QTest::newRow("two buttons bring All") << ":" << "Living|D" << "Living|Default Room|All Rooms" << "all";
    QTest::newRow("everything") << ":" << "A|B|D|S" << "A|B|Default Room|Shared|All Rooms" << "all";
    QTest::newRow("stored room") << "named:B" << "A|B" << "A|B|All Rooms" << "named:B";
    QTest::newRow("stored room gone") << "named:Gone" << "A|B|D" << "A|B|Default Room|All Rooms" << "named:A";
    QTest::newRow("all, only default") << "all:" << "D" << "Default Room" << "default";
    QTest::newRow("all, only shared") << "all:" << "S" << "Shared" << "shared";
    QTest::newRow("stored shared") << "shared:" << "A|D|S" << "A|Default Room|Shared|All Rooms" << "shared";
    QTest::newRow("stored shared gone") << "shared:" << "A|D" << "A|Default Room|All Rooms" << "all";
    QTest::newRow("stored default") << "default:" << "A|D" << "A|Default Room|All Rooms" << "default";
    QTest::newRow("empty") << "all:" << "" << "" << "";
}

void TstUiWidgets::roomsSelectTheStoredChoice()
{
    QFETCH(QString, stored);
    QFETCH(QString, rooms);
    QFETCH(QString, buttons);
    QFETCH(QString, selected);
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms-%1.json").arg(QTest::currentDataTag())), QString());
    const QString group = QStringLiteral("user_9");
    auto storedNow = [&] {
        return settings.getString(group, QStringLiteral("room_type"), QString()) + QLatin1Char(':')
            + settings.getString(group, QStringLiteral("room_name"), QString());
    };
    settings.setString(group, QStringLiteral("room_type"), stored.section(QLatin1Char(':'), 0, 0));
    settings.setString(group, QStringLiteral("room_name"), stored.section(QLatin1Char(':'), 1));
    QStringList names = rooms.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    const bool def = names.removeAll(QStringLiteral("D")) > 0;
    const bool shared = names.removeAll(QStringLiteral("S")) > 0;
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("9"));
    RoomSignals spies(&bar);
    bar.setRooms(names, QStringList(), def, shared);
    QCOMPARE(texts(bar), buttons);
    QCOMPARE(spies.take(), selected);
    // A selection by the rebuild is no user's choice: the stored one stays.
    QCOMPARE(storedNow(), stored);
}

void TstUiWidgets::roomsUserChoiceIsKept()
{
    const QString file = m_dir.filePath(QStringLiteral("rooms-kept.json"));
    AppInfo settings(file, QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("42"));
    bar.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {}, false, false);
    RoomSignals spies(&bar);
    bar.button(1)->click();
    bar.button(1)->click(); // the current one: nothing
    QCOMPARE(spies.take(), QStringLiteral("named:B"));
    QVERIFY(bar.button(1)->isChecked());
    // The choice survives a restart; another user has a separate one.
    AppInfo reread(file, QString());
    QVERIFY(reread.load());
    for (const QString& uid : {QStringLiteral("42"), QStringLiteral("7")}) {
        RoomListBar again;
        again.setSettings(&reread);
        again.setUserId(uid);
        RoomSignals s2(&again);
        again.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {}, false, false);
        QCOMPARE(s2.take(), uid == QLatin1String("42") ? QStringLiteral("named:B") : QStringLiteral("all"));
    }
    bar.button(2)->click();
    QCOMPARE(settings.getString(QStringLiteral("user_42"), QStringLiteral("room_type"), QString()), QStringLiteral("all"));
    QCOMPARE(RoomListBar::iconPath(QStringLiteral("no_such")), QStringLiteral(":/res/rooms/default_1_normal.png"));
}

void TstUiWidgets::roomsRemoval()
{
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms-removal.json")), QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {}, true, true);
    RoomSignals spies(&bar);
    bar.button(3)->click();
    QCOMPARE(spies.take(), QStringLiteral("shared"));
    // The selected "Shared" goes: selected again as on a rebuild, "All Rooms".
    bar.removeRoom(QString(), true);
    QCOMPARE(texts(bar), QStringLiteral("A|B|Default Room|All Rooms"));
    QCOMPARE(spies.take(), QStringLiteral("all"));
    // A room not selected goes quietly; unknown rooms are ignored.
    bar.removeRoom(QStringLiteral("A"), false);
    bar.removeRoom(QStringLiteral("Nowhere"), false);
    QCOMPARE(spies.take(), QString());
    QCOMPARE(bar.currentKind(), int(RoomListBar::All));
    // One button left: "All Rooms" goes as well, the named room is selected.
    bar.removeRoom(QString(), false);
    QCOMPARE(texts(bar), QStringLiteral("B"));
    QCOMPARE(spies.take(), QStringLiteral("named:B"));
}

void TstUiWidgets::framelessEdgesAndLimits_data()
{
    // A 200 x 100 window at (100, 100), 150 x 80 at least, 400 x 300 at most.
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QPoint>("delta");
    QTest::addColumn<QRect>("result");
    QTest::newRow("left border") << QPoint(4, 50) << QPoint(-30, 0) << QRect(70, 100, 230, 100);
    QTest::newRow("5 from the left: inside") << QPoint(5, 50) << QPoint(-30, 0) << QRect(100, 100, 200, 100);
    QTest::newRow("right border") << QPoint(195, 50) << QPoint(30, 0) << QRect(100, 100, 230, 100);
    QTest::newRow("6 from the right: inside") << QPoint(194, 50) << QPoint(30, 0) << QRect(100, 100, 200, 100);
    QTest::newRow("bottom border, past the maximum") << QPoint(100, 99) << QPoint(0, 500) << QRect(100, 100, 200, 300);
    QTest::newRow("top-left corner, past the minimum") << QPoint(0, 0) << QPoint(100, 50) << QRect(150, 120, 150, 80);
    QTest::newRow("bottom-right corner, to the minimum") << QPoint(199, 99) << QPoint(-50, -20) << QRect(100, 100, 150, 80);
}

void TstUiWidgets::framelessEdgesAndLimits()
{
    QFETCH(QPoint, press);
    QFETCH(QPoint, delta);
    QFETCH(QRect, result);
    const Qt::Edges edges = FramelessHelper::edgesAt(QRect(0, 0, 200, 100), press);
    QCOMPARE(FramelessHelper::resizedGeometry(QRect(100, 100, 200, 100), edges, delta, QSize(150, 80), QSize(400, 300)),
             result);
}

void TstUiWidgets::translation()
{
    // Every text of the catalogue is translated, and the catalogue loads.
    QFile ts(QStringLiteral(VC_SOURCE_DIR "/res/lang/vcam_zh_CN.ts"));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(ts.readAll());
    QVERIFY(!xml.contains(QLatin1String("type=\"unfinished\"")) && !xml.contains(QLatin1String("<translation></translation>")));
    QTranslator tr;
    QVERIFY(tr.load(QStringLiteral(":/res/lang/vcam_zh_CN.qm"), QString(), QString(), QString()));
    QCOMPARE(tr.translate("TitleBar", "Smart Camera"), QString::fromUtf8("智能摄像机"));
}

// An image sequence on a page that is not shown wakes nobody; shown again, it
// goes on.
void TstUiWidgets::hiddenSequenceRests()
{
    QWidget page;
    auto* images = new ImagesLabel(&page);
    page.show();
    images->start(50, QStringLiteral(":/res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    QVERIFY(images->isTicking());
    page.hide();
    QVERIFY(!images->isTicking() && images->isRunning());
    page.show();
    QVERIFY(images->isTicking());
    images->stop();
    page.hide();
    page.show();
    QVERIFY(!images->isTicking() && !images->isRunning());
}

void TstUiWidgets::everyNamedResourceResolves()
{
    QStringList all;
    for (QDirIterator it(QStringLiteral(":/res"), QDirIterator::Subdirectories); it.hasNext();)
        all << it.next();
    auto resolves = [&all](QString path) { // a file, or the start of one (sequences, %1 patterns)
        path = path.replace(QRegularExpression(QStringLiteral("^:res/")), QStringLiteral(":/res/")).section(QRegularExpression(QStringLiteral("[%<]")), 0, 0);
        return std::any_of(all.begin(), all.end(), [&](const QString& f) { return f.startsWith(path); });
    };
    const QRegularExpression literal(QStringLiteral("\"(:/?res/[^\"]+)\""));
    int named = 0;
    for (const char* folder : {"app", "ui", "client", "camera", "cloud", "browser"}) {
        QDirIterator it(QStringLiteral(VC_SOURCE_DIR "/") + QLatin1String(folder), {QStringLiteral("*.cpp"), QStringLiteral("*.h")});
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(f.readAll());
            QVERIFY2(!text.contains(QLatin1String("QPixmap(QStringLiteral(\":")), qPrintable(f.fileName() + " loads a picture without its @2x twin"));
            for (auto m = literal.globalMatch(text); m.hasNext(); ++named) {
                const QString path = m.next().captured(1);
                QVERIFY2(resolves(path), qPrintable(f.fileName() + QStringLiteral(" names ") + path));
            }
        }
    }
    QVERIFY(named > 15);
    // Every picture also at twice its pixels as name@2x, the file Qt picks at display scale 2.
    int pictures = 0;
    for (const QString& f : qAsConst(all)) {
        if (f.contains(QLatin1String("@2x")) || !(f.endsWith(QLatin1String(".png")) || f.endsWith(QLatin1String(".ico"))))
            continue;
        const QString twice = QString(f).insert(f.lastIndexOf(QLatin1Char('.')), QLatin1String("@2x"));
        const QImage one(f), two(twice);
        QVERIFY2(!one.isNull() && two.size() == one.size() * 2 && two.devicePixelRatio() == 2, qPrintable(twice));
        ++pictures;
    }
    QVERIFY(pictures > 100);
    // ...and the program loads that file at scale 2 (a QPixmap of a path never does).
    const QString logo = QStringLiteral(":/res/imgs/hovia.png");
    const QPixmap sharp = ResPixmap::load(logo, 2.0);
    QVERIFY(sharp.size() == QImage(logo).size() * 2 && sharp.devicePixelRatio() == 2.0);
    QCOMPARE(ResPixmap::load(logo, 1.0).size(), QImage(logo).size());
    QCOMPARE(ResPixmap::twinPath(QStringLiteral("a.b/c")), QStringLiteral("a.b/c@2x"));
    // Pictures in the style sheets load (cleanupTestCase: no style sheet warning).
    const QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
    for (const char* sheet : {":/res/css/general.css", ":/res/css/timeline.css"}) {
        QFile f{QString::fromLatin1(sheet)};
        QVERIFY2(f.open(QIODevice::ReadOnly), sheet);
        int n = 0;
        for (auto m = url.globalMatch(QString::fromUtf8(f.readAll())); m.hasNext(); ++n) {
            const QString path = m.next().captured(1).trimmed();
            QVERIFY2(!QPixmap(path).isNull(), qPrintable(QStringLiteral("%1 names %2").arg(QLatin1String(sheet), path)));
        }
        QVERIFY(n > 3);
    }
}

void TstUiWidgets::areasAndDays()
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

void TstUiWidgets::choosingAMoment_data()
{
    // Recordings s..s+120 (two files), s+300..s+400, s+400..s+450; times less s.
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

void TstUiWidgets::choosingAMoment()
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

void TstUiWidgets::dayAndLiveButtonsSeek()
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

void TstUiWidgets::pendingSeekFollowsFrames()
{
    TimeLineToolsWidget w;
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
    w.updateFrameTime(int(s + 102), true);
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

void TstUiWidgets::zoomLimits()
{
    TimeLineToolsWidget w;
    QCOMPARE(w.timeLine()->secondsPerPixel(), 5);
    for (int i = 0; i < 10; ++i)
        w.toolButton(QStringLiteral("btnTimeZoomIn"))->click();
    QCOMPARE(w.timeLine()->secondsPerPixel(), 1);
    QVERIFY(!w.timeLine()->zoomIn());
    for (int i = 0; i < 40; ++i)
        w.toolButton(QStringLiteral("btnTimeZoomOut"))->click();
    QCOMPARE(w.timeLine()->secondsPerPixel(), 30);
    QVERIFY(!w.timeLine()->zoomOut());
}

void TstUiWidgets::arrowsAndDragAreDebounced()
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

    // Dragging left moves forward in time; the playing position waits meanwhile.
    TimeLineWidget* axis = w.timeLine();
    axis->updateCurrentTimestamp(int(s + 100));
    QSignalSpy axisSelected(axis, &TimeLineWidget::locationSelected);
    QTest::mousePress(axis, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    mouse(axis, QEvent::MouseMove, QPoint(250, 20), axis->mapToGlobal(QPoint(250, 20)), Qt::NoButton, Qt::LeftButton);
    QVERIFY(axis->isDragging());
    axis->updateCurrentTimestamp(int(s + 150));
    QCOMPARE(axis->currentTime(), int(s + 100));
    QTest::mouseRelease(axis, Qt::LeftButton, Qt::NoModifier, QPoint(200, 20));
    QCOMPARE(axis->currentTime(), int(s + 600));
    QCOMPARE(axisSelected.count(), 0);
    QTRY_COMPARE(axisSelected.count(), 1);
    QCOMPARE(axisSelected.first().at(0).toInt(), int(s + 600));
}

void TstUiWidgets::choosingADayCancelsAPendingMove()
{
    TimeLineToolsWidget w(nullptr, 0);
    w.updateFileHeaders(delivered({rec(at(9, 8, 0), 100), rec(s, 60)}));
    QSignalSpy axis(w.timeLine(), &TimeLineWidget::locationSelected);
    w.timeLine()->goRight();
    w.dateLine()->dateButton(0)->click();
    QCOMPARE(axis.count(), 1);
    QCOMPARE(axis.at(0).at(0).toInt(), int(at(9, 0, 0)));
    QVERIFY(UiTest::sync());
    QCOMPARE(axis.count(), 1);
}

void TstUiWidgets::dayStripChecksAndScrolls()
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
}

QTEST_MAIN(TstUiWidgets)
#include "tst_uiwidgets.moc"
