// Window chrome and small widgets: page selector, room selector with its
// stored choice, title bar maximise/restore, frameless move and resize,
// message box, image sequences, choosers, translation and resources.

#include "uitestsupport.h"

#include "app/appinfo.h"
#include "ui/framelesshelper.h"
#include "ui/imageslabel.h"
#include "ui/mlabel.h"
#include "ui/mmessagebox.h"
#include "ui/mnavigatebar.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/titlebar.h"
#include "ui/videolabel.h"
#include "ui/videosolutioncombobox.h"
#include "ui/viewmodelistwidget.h"
#include "ui/viewmodewidget.h"
#include "ui/vuantimationwidget.h"
#include "ui/vudatebutton.h"

#include <QDirIterator>
#include <QIcon>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

Q_DECLARE_METATYPE(QMouseEvent*)

class TstUiWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void navigateBar_data();
    void navigateBar();
    void navigateBarClicks();

    void roomsOneNamedRoom();
    void roomsNamedAndDefault();
    void roomsRemoval();
    void roomsStoredChoice();
    void roomsStoredFallbacks();
    void roomsIcons();

    void titleBarMaximiseRestore();
    void titleBarButtonStates();

    void framelessResizeStopsAtMinimum();
    void framelessRubberBandAppliesOnRelease();
    void framelessMoveAndCursor();

    void messageBoxResults();
    void messageBoxDeletedWhileOpen();

    void imagesLabel();
    void animationWidget();
    void choosers();
    void smallSignals();
    void videoLabelPaintsWithoutLayoutPasses();

    void translation();
    void resourcesPresent();

private:
    QTemporaryDir m_dir;
};

void TstUiWidgets::initTestCase()
{
    UiTest::setUp();
    QVERIFY(m_dir.isValid());
    qRegisterMetaType<QMouseEvent*>();
}

void TstUiWidgets::cleanupTestCase()
{
    QCOMPARE(UiTest::resourceWarnings(), QStringList());
}

// ---- MNavigateBar -------------------------------------------------------------

void TstUiWidgets::navigateBar_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("items");
    QTest::addColumn<bool>("prev");
    QTest::addColumn<bool>("next");

    QTest::newRow("12 at 1") << 12 << 1 << "1* 2 3 4 5 6 7 8 ... 12" << false << true;
    QTest::newRow("12 at 6") << 12 << 6 << "1 ... 3 4 5 6* 7 8 9 ... 12" << true << true;
    QTest::newRow("12 at 12") << 12 << 12 << "1 ... 5 6 7 8 9 10 11 12*" << true << false;
    QTest::newRow("12 at 5") << 12 << 5 << "1 2 3 4 5* 6 7 8 ... 12" << true << true;
    QTest::newRow("12 at 8") << 12 << 8 << "1 ... 5 6 7 8* 9 10 11 12" << true << true;
    QTest::newRow("9 at 1") << 9 << 1 << "1* 2 3 4 5 6 7 8 9" << false << true;
    QTest::newRow("9 at 5") << 9 << 5 << "1 2 3 4 5* 6 7 8 9" << true << true;
    QTest::newRow("9 at 9") << 9 << 9 << "1 2 3 4 5 6 7 8 9*" << true << false;
    QTest::newRow("10 at 10") << 10 << 10 << "1 ... 3 4 5 6 7 8 9 10*" << true << false;
    QTest::newRow("3 at 2") << 3 << 2 << "1 2* 3" << true << true;
    QTest::newRow("1 at 1") << 1 << 1 << "1*" << false << false;
    QTest::newRow("0") << 0 << 1 << "" << false << false;
    QTest::newRow("12 at 40 clamped") << 12 << 40 << "1 ... 5 6 7 8 9 10 11 12*" << true << false;
    QTest::newRow("12 at 0 clamped") << 12 << 0 << "1* 2 3 4 5 6 7 8 ... 12" << false << true;
}

void TstUiWidgets::navigateBar()
{
    QFETCH(int, count);
    QFETCH(int, page);
    QFETCH(QString, items);
    QFETCH(bool, prev);
    QFETCH(bool, next);

    MNavigateBar bar;
    bar.setPageCount(count);
    QCOMPARE(bar.currentPage(), 1);
    bar.setCurrentPage(page);
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), items);
    QCOMPARE(bar.previousButton()->isEnabled(), prev);
    QCOMPARE(bar.nextButton()->isEnabled(), next);
}

void TstUiWidgets::navigateBarClicks()
{
    MNavigateBar bar;
    QSignalSpy spy(&bar, &MNavigateBar::onPageNumberChanged);
    bar.setPageCount(12);
    bar.show();
    QCOMPARE(spy.count(), 0);

    bar.nextButton()->click();
    QCOMPARE(spy.takeFirst().at(0).toInt(), 2);
    bar.lastButton()->click();
    QCOMPARE(spy.takeFirst().at(0).toInt(), 12);
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), QStringLiteral("1 ... 5 6 7 8 9 10 11 12*"));
    // The middle button labelled 7 moves to page 7 and re-centres the window.
    bar.middleButton(2)->click();
    QCOMPARE(spy.takeFirst().at(0).toInt(), 7);
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), QStringLiteral("1 ... 4 5 6 7* 8 9 10 ... 12"));
    // Clicking the current page changes nothing and keeps it checked.
    bar.middleButton(3)->click();
    QCOMPARE(spy.count(), 0);
    QVERIFY(bar.middleButton(3)->isChecked());
    bar.previousButton()->click();
    QCOMPARE(spy.takeFirst().at(0).toInt(), 6);

    // The same page count again keeps the current page.
    bar.setPageCount(12);
    QCOMPARE(bar.currentPage(), 6);
    bar.setPageCount(4);
    QCOMPARE(bar.currentPage(), 1);
    QCOMPARE(bar.visibleItems().join(QLatin1Char(' ')), QStringLiteral("1* 2 3 4"));
}

// ---- RoomListBar --------------------------------------------------------------

struct RoomSpies
{
    explicit RoomSpies(RoomListBar* bar)
        : all(bar, &RoomListBar::roomAllSelected), def(bar, &RoomListBar::roomDefaultSelected),
          shared(bar, &RoomListBar::roomSharedSelected), named(bar, &RoomListBar::roomSelected)
    {
    }
    // "all", "default", "shared", "named:<name>" for each signal so far.
    QString last() const
    {
        if (all.count() + def.count() + shared.count() + named.count() != 1)
            return QStringLiteral("signals: %1").arg(all.count() + def.count() + shared.count() + named.count());
        if (all.count())
            return QStringLiteral("all");
        if (def.count())
            return QStringLiteral("default");
        if (shared.count())
            return QStringLiteral("shared");
        return QStringLiteral("named:") + named.first().at(0).toString();
    }
    void clear()
    {
        all.clear();
        def.clear();
        shared.clear();
        named.clear();
    }
    QSignalSpy all, def, shared, named;
};

void TstUiWidgets::roomsOneNamedRoom()
{
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms1.json")), QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("u1"));
    RoomSpies spies(&bar);
    bar.setRooms({QStringLiteral("Living")}, {QStringLiteral("living")}, false, false);
    QCOMPARE(bar.buttonTexts(), QStringList{QStringLiteral("Living")});
    // "all" is the default choice; with no "All Rooms" the named room is chosen.
    QCOMPARE(spies.last(), QStringLiteral("named:Living"));
    QVERIFY(bar.isSelected(QStringLiteral("Living"), false));
    // A selection made by the rebuild is not a user choice: nothing stored.
    QCOMPARE(settings.getString(QStringLiteral("user_u1"), QStringLiteral("room_type"), QStringLiteral("-")),
             QStringLiteral("-"));
}

void TstUiWidgets::roomsNamedAndDefault()
{
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms2.json")), QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("u1"));
    RoomSpies spies(&bar);
    bar.setRooms({QStringLiteral("Living")}, {QStringLiteral("living")}, true, false);
    QCOMPARE(bar.buttonTexts(),
             (QStringList{QStringLiteral("Living"), QStringLiteral("Default Room"), QStringLiteral("All Rooms")}));
    QCOMPARE(spies.last(), QStringLiteral("all"));
    QVERIFY(bar.hasRoom(QString(), false));
    QVERIFY(!bar.hasRoom(QString(), true));
    QVERIFY(bar.hasRoom(QStringLiteral("Living"), false));
    QVERIFY(!bar.hasRoom(QStringLiteral("Kitchen"), false));

    // Clicking another button announces it; clicking the current one does not.
    spies.clear();
    bar.button(1)->click();
    QCOMPARE(spies.last(), QStringLiteral("default"));
    spies.clear();
    bar.button(1)->click();
    QCOMPARE(spies.last(), QStringLiteral("signals: 0"));
    QVERIFY(bar.button(1)->isChecked());
}

void TstUiWidgets::roomsRemoval()
{
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms3.json")), QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("u1"));
    bar.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {QString(), QString()}, true, true);
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), QStringLiteral("A|B|Default Room|Shared|All Rooms"));

    RoomSpies spies(&bar);
    bar.button(3)->click(); // Shared
    QCOMPARE(spies.last(), QStringLiteral("shared"));
    spies.clear();

    // Removing the selected "Shared" clears the selection and selects again
    // as on a rebuild: the stored "shared" no longer exists, so "All Rooms".
    bar.removeRoom(QString(), true);
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), QStringLiteral("A|B|Default Room|All Rooms"));
    QCOMPARE(spies.last(), QStringLiteral("all"));
    spies.clear();

    // Removing a room that is not selected leaves the selection alone.
    bar.removeRoom(QStringLiteral("A"), false);
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), QStringLiteral("B|Default Room|All Rooms"));
    QCOMPARE(spies.last(), QStringLiteral("signals: 0"));
    QCOMPARE(bar.currentKind(), int(RoomListBar::All));

    // Fewer than two other buttons: "All Rooms" goes as well, and the first
    // named room is selected.
    bar.removeRoom(QString(), false);
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), QStringLiteral("B"));
    QCOMPARE(spies.last(), QStringLiteral("named:B"));

    // Unknown rooms are ignored.
    spies.clear();
    bar.removeRoom(QStringLiteral("Nowhere"), false);
    bar.removeRoom(QString(), true);
    QCOMPARE(bar.buttonCount(), 1);
    QCOMPARE(spies.last(), QStringLiteral("signals: 0"));
}

void TstUiWidgets::roomsStoredChoice()
{
    const QString file = m_dir.filePath(QStringLiteral("rooms4.json"));
    AppInfo settings(file, QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("42"));
    bar.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {QString(), QString()}, false, false);
    bar.button(1)->click();
    QCOMPARE(settings.getString(QStringLiteral("user_42"), QStringLiteral("room_type"), QString()), QStringLiteral("named"));
    QCOMPARE(settings.getString(QStringLiteral("user_42"), QStringLiteral("room_name"), QString()), QStringLiteral("B"));

    // The choice survives a restart (a fresh settings object on the file).
    AppInfo reread(file, QString());
    QVERIFY(reread.load());
    RoomListBar again;
    again.setSettings(&reread);
    again.setUserId(QStringLiteral("42"));
    RoomSpies spies(&again);
    again.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {QString(), QString()}, false, false);
    QCOMPARE(spies.last(), QStringLiteral("named:B"));

    // Another user has a separate choice.
    RoomListBar other;
    other.setSettings(&reread);
    other.setUserId(QStringLiteral("7"));
    RoomSpies otherSpies(&other);
    other.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {QString(), QString()}, false, false);
    QCOMPARE(otherSpies.last(), QStringLiteral("all"));

    // "All Rooms" chosen: stored as "all".
    again.button(2)->click();
    QCOMPARE(reread.getString(QStringLiteral("user_42"), QStringLiteral("room_type"), QString()), QStringLiteral("all"));
}

void TstUiWidgets::roomsStoredFallbacks()
{
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms5.json")), QString());
    const QString g = QStringLiteral("user_9");
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("9"));
    RoomSpies spies(&bar);

    // A stored named room that no longer exists: the first named room.
    settings.setString(g, QStringLiteral("room_type"), QStringLiteral("named"));
    settings.setString(g, QStringLiteral("room_name"), QStringLiteral("Gone"));
    bar.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {QString(), QString()}, true, false);
    QCOMPARE(spies.last(), QStringLiteral("named:A"));
    // The stored preference is kept for when the room comes back.
    QCOMPARE(settings.getString(g, QStringLiteral("room_name"), QString()), QStringLiteral("Gone"));
    spies.clear();
    bar.setRooms({QStringLiteral("A"), QStringLiteral("Gone")}, {QString(), QString()}, false, false);
    QCOMPARE(spies.last(), QStringLiteral("named:Gone"));
    spies.clear();

    // "all" stored but only one button: named, else default, else shared.
    settings.setString(g, QStringLiteral("room_type"), QStringLiteral("all"));
    bar.setRooms({}, {}, true, false);
    QCOMPARE(spies.last(), QStringLiteral("default"));
    spies.clear();
    bar.setRooms({}, {}, false, true);
    QCOMPARE(spies.last(), QStringLiteral("shared"));
    spies.clear();

    // Stored "shared" with shared cameras present.
    settings.setString(g, QStringLiteral("room_type"), QStringLiteral("shared"));
    bar.setRooms({QStringLiteral("A")}, {QString()}, true, true);
    QCOMPARE(spies.last(), QStringLiteral("shared"));
    spies.clear();
    // ...and without them: the "all" rule.
    bar.setRooms({QStringLiteral("A")}, {QString()}, true, false);
    QCOMPARE(spies.last(), QStringLiteral("all"));
    spies.clear();

    // An empty bar selects nothing.
    bar.setRooms({}, {}, false, false);
    QCOMPARE(spies.last(), QStringLiteral("signals: 0"));
    QCOMPARE(bar.currentKind(), -1);
}

void TstUiWidgets::roomsIcons()
{
    // Many rooms scroll instead of demanding a wider window.
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms6.json")), QString());
    RoomListBar bar;
    bar.setSettings(&settings);
    QStringList names;
    for (int i = 0; i < 30; ++i)
        names << QStringLiteral("Room number %1").arg(i);
    bar.setRooms(names, QStringList(), true, true);
    QCOMPARE(bar.buttonCount(), 33);
    QVERIFY(bar.minimumSizeHint().width() < 200);

    QCOMPARE(RoomListBar::iconPath(QStringLiteral("living")), QStringLiteral(":/res/rooms/living_normal.png"));
    QCOMPARE(RoomListBar::iconPath(QStringLiteral("no_such_icon")), QStringLiteral(":/res/rooms/default_1_normal.png"));
    QCOMPARE(RoomListBar::iconPath(QString()), QStringLiteral(":/res/rooms/default_1_normal.png"));
    for (const char* name : {"default_1", "share_1", "all_1"})
        QVERIFY(!QPixmap(QStringLiteral(":/res/rooms/%1_normal.png").arg(QLatin1String(name))).isNull());
}

// ---- TitleBar -------------------------------------------------------------------

void TstUiWidgets::titleBarMaximiseRestore()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    auto* lay = new QVBoxLayout(&window);
    lay->setContentsMargins(0, 0, 0, 0);
    auto* bar = new TitleBar(&window);
    lay->addWidget(bar);
    lay->addStretch();
    const QRect before(130, 90, 820, 540);
    window.setGeometry(before);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.geometry(), before);

    QSignalSpy maxSpy(bar, &TitleBar::maxButtonClicked);
    QSignalSpy restoreSpy(bar, &TitleBar::restoreButtonClicked);
    auto* maxBtn = bar->findChild<QPushButton*>(QStringLiteral("max_btn_"));
    auto* restoreBtn = bar->findChild<QPushButton*>(QStringLiteral("restore_btn_"));
    QVERIFY(maxBtn && restoreBtn);
    QVERIFY(maxBtn->isVisible());
    QVERIFY(!restoreBtn->isVisible());

    maxBtn->click();
    QCOMPARE(maxSpy.count(), 1);
    QCOMPARE(window.geometry(), window.screen()->availableGeometry());
    QVERIFY(!maxBtn->isVisible());
    QVERIFY(restoreBtn->isVisible());

    restoreBtn->click();
    QCOMPARE(restoreSpy.count(), 1);
    QCOMPARE(window.geometry(), before);
    QVERIFY(maxBtn->isVisible());

    // A double click on the bar toggles the same way in the resizable state.
    QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 15));
    QCOMPARE(maxSpy.count(), 2);
    QVERIFY(bar->isMaximized());
    QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 15));
    QCOMPARE(restoreSpy.count(), 2);
    QCOMPARE(window.geometry(), before);

    // While maximised the frameless helper neither moves nor resizes.
    FramelessHelper helper;
    helper.activateOn(&window);
    maxBtn->click();
    const QRect full = window.geometry();
    const QPoint g = window.mapToGlobal(QPoint(2, 200));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 200), QPointF(2, 200), QPointF(g), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(102, 200), QPointF(102, 200), QPointF(g + QPoint(100, 0)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(102, 200), QPointF(102, 200), QPointF(g + QPoint(100, 0)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &release);
    QCOMPARE(window.geometry(), full);
    restoreBtn->click();
    QCOMPARE(window.geometry(), before);
}

void TstUiWidgets::titleBarButtonStates()
{
    TitleBar bar;
    auto shown = [&bar]() {
        QStringList out;
        for (const char* n : {"min_btn_", "restore_btn_", "max_btn_", "close_btn_"}) {
            if (!bar.findChild<QPushButton*>(QLatin1String(n))->isHidden())
                out << QLatin1String(n);
        }
        return out.join(QLatin1Char(' '));
    };
    bar.setButtonState(0);
    QCOMPARE(shown(), QStringLiteral("min_btn_ close_btn_"));
    bar.setButtonState(1);
    QCOMPARE(shown(), QStringLiteral("min_btn_ max_btn_ close_btn_"));
    bar.setButtonState(2);
    QCOMPARE(shown(), QStringLiteral("close_btn_"));
    // No maximising from a double click outside state 1.
    QSignalSpy maxSpy(&bar, &TitleBar::maxButtonClicked);
    QTest::mouseDClick(&bar, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QCOMPARE(maxSpy.count(), 0);

    QSignalSpy minSpy(&bar, &TitleBar::minButtonClicked);
    QSignalSpy closeSpy(&bar, &TitleBar::closeButtonClicked);
    bar.findChild<QPushButton*>(QStringLiteral("close_btn_"))->click();
    bar.setButtonState(0);
    bar.findChild<QPushButton*>(QStringLiteral("min_btn_"))->click();
    QCOMPARE(closeSpy.count(), 1);
    QCOMPARE(minSpy.count(), 1);
    QCOMPARE(bar.findChild<QLabel*>(QStringLiteral("app_title_"))->text(), QStringLiteral("Smart Camera"));
    QCOMPARE(bar.findChild<QPushButton*>(QStringLiteral("max_btn_"))->toolTip(), QStringLiteral("MaxWindow"));
}

// ---- FramelessHelper ----------------------------------------------------------

namespace {
void sendMouse(QWidget* w, QEvent::Type type, const QPoint& local, const QPoint& global,
               Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(local), QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Drags from local point `from` by `delta` (global pixels) with the left button.
void drag(QWidget* w, const QPoint& from, const QPoint& delta, bool release = true)
{
    const QPoint g = w->mapToGlobal(from);
    sendMouse(w, QEvent::MouseButtonPress, from, g, Qt::LeftButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseMove, from + delta / 2, g + delta / 2, Qt::NoButton, Qt::LeftButton);
    sendMouse(w, QEvent::MouseMove, from + delta, g + delta, Qt::NoButton, Qt::LeftButton);
    if (release)
        sendMouse(w, QEvent::MouseButtonRelease, from + delta, g + delta, Qt::LeftButton, Qt::NoButton);
}
} // namespace

void TstUiWidgets::framelessResizeStopsAtMinimum()
{
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.setMinimumSize(300, 200);
    const QRect start(100, 100, 400, 300);
    w.setGeometry(start);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    FramelessHelper helper;
    helper.activateOn(&w);
    QVERIFY(w.testAttribute(Qt::WA_Hover));
    QVERIFY(w.hasMouseTracking());

    // Left edge dragged 250 px to the right: stops at 300 px wide, right edge fixed.
    drag(&w, QPoint(2, 150), QPoint(250, 0));
    QCOMPARE(w.geometry(), QRect(200, 100, 300, 300));

    // Bottom-right corner dragged far up and left: the minimum size, top-left fixed.
    w.setGeometry(start);
    drag(&w, QPoint(398, 298), QPoint(-500, -500));
    QCOMPARE(w.geometry(), QRect(100, 100, 300, 200));

    // Top edge dragged down past the minimum height.
    w.setGeometry(start);
    drag(&w, QPoint(200, 1), QPoint(0, 400));
    QCOMPARE(w.geometry(), QRect(100, 200, 400, 200));

    // Growing works freely.
    w.setGeometry(start);
    drag(&w, QPoint(399, 150), QPoint(60, 0));
    QCOMPARE(w.geometry(), QRect(100, 100, 460, 300));

    // The pure computation with a maximum size.
    QCOMPARE(FramelessHelper::resizedGeometry(QRect(0, 0, 100, 100), Qt::RightEdge | Qt::BottomEdge,
                                              QPoint(500, 500), QSize(50, 50), QSize(200, 150)),
             QRect(0, 0, 200, 150));
}

void TstUiWidgets::framelessRubberBandAppliesOnRelease()
{
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.setMinimumSize(300, 200);
    const QRect start(100, 100, 400, 300);
    w.setGeometry(start);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    FramelessHelper helper;
    helper.setRubberBandOnResize(true);
    helper.setRubberBandOnMove(false);
    helper.activateOn(&w);

    drag(&w, QPoint(398, 298), QPoint(50, -400), false);
    // While dragging only the band moves.
    QCOMPARE(w.geometry(), start);
    const QPoint g = w.mapToGlobal(QPoint(398, 298)) + QPoint(50, -400);
    sendMouse(&w, QEvent::MouseButtonRelease, QPoint(448, -102), g, Qt::LeftButton, Qt::NoButton);
    QCOMPARE(w.geometry(), QRect(100, 100, 450, 200));
}

void TstUiWidgets::framelessMoveAndCursor()
{
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.setMinimumSize(300, 200);
    w.setGeometry(QRect(100, 100, 400, 300));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    FramelessHelper helper;
    helper.activateOn(&w);

    drag(&w, QPoint(200, 150), QPoint(40, 25));
    QCOMPARE(w.geometry(), QRect(140, 125, 400, 300));

    auto cursorAt = [&w](const QPoint& p) {
        sendMouse(&w, QEvent::MouseMove, p, w.mapToGlobal(p), Qt::NoButton, Qt::NoButton);
        return w.cursor().shape();
    };
    QCOMPARE(cursorAt(QPoint(2, 2)), Qt::SizeFDiagCursor);
    QCOMPARE(cursorAt(QPoint(398, 298)), Qt::SizeFDiagCursor);
    QCOMPARE(cursorAt(QPoint(397, 1)), Qt::SizeBDiagCursor);
    QCOMPARE(cursorAt(QPoint(1, 296)), Qt::SizeBDiagCursor);
    QCOMPARE(cursorAt(QPoint(4, 150)), Qt::SizeHorCursor);
    QCOMPARE(cursorAt(QPoint(396, 150)), Qt::SizeHorCursor);
    QCOMPARE(cursorAt(QPoint(200, 0)), Qt::SizeVerCursor);
    QCOMPARE(cursorAt(QPoint(200, 299)), Qt::SizeVerCursor);
    QCOMPARE(cursorAt(QPoint(5, 150)), Qt::ArrowCursor);
    QCOMPARE(cursorAt(QPoint(200, 150)), Qt::ArrowCursor);

    // Not movable: a drag inside does nothing.
    helper.setWidgetMovable(false);
    drag(&w, QPoint(200, 150), QPoint(40, 25));
    QCOMPARE(w.geometry(), QRect(140, 125, 400, 300));
    helper.removeFrom(&w);
    helper.setWidgetMovable(true);
    drag(&w, QPoint(200, 150), QPoint(40, 25));
    QCOMPARE(w.geometry(), QRect(140, 125, 400, 300));
}

// ---- MMessageBox ----------------------------------------------------------------

void TstUiWidgets::messageBoxResults()
{
    QWidget parent;
    parent.resize(600, 400);
    parent.show();
    MMessageBox box(&parent);

    auto clickLater = [&box](const char* name) {
        QTimer::singleShot(20, &box, [&box, name] {
            QVERIFY(box.isVisible());
            QVERIFY(box.isRunning());
            box.findChild<QPushButton*>(QLatin1String(name))->click();
        });
    };
    clickLater("msg_ok_btn_");
    QCOMPARE(box.exec(QStringLiteral("Application Quit"), QStringLiteral("Are you sure to close app?"), false), 1);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.findChild<QTextEdit*>(QStringLiteral("msg_body_"))->toPlainText(),
             QStringLiteral("Are you sure to close app?"));

    clickLater("msg_cancel_btn_");
    QCOMPARE(box.exec(QStringLiteral("t"), QStringLiteral("x"), false), 0);
    clickLater("msg_close_btn_");
    QCOMPARE(box.exec(QStringLiteral("t"), QStringLiteral("x"), false), 0);

    // OK only: Cancel hidden.
    QTimer::singleShot(20, &box, [&box] {
        QVERIFY(box.findChild<QPushButton*>(QStringLiteral("msg_cancel_btn_"))->isHidden());
        QTest::keyClick(&box, Qt::Key_Return);
    });
    QCOMPARE(box.exec(QStringLiteral("Current Version"), QStringLiteral("latest"), true), 1);
    QTimer::singleShot(20, &box, [&box] { QTest::keyClick(&box, Qt::Key_Escape); });
    QCOMPARE(box.exec(QStringLiteral("t"), QStringLiteral("x"), false), 0);
    QVERIFY(!box.findChild<QPushButton*>(QStringLiteral("msg_cancel_btn_"))->isHidden());

    auto* body = box.findChild<QTextEdit*>(QStringLiteral("msg_body_"));
    QCOMPARE(body->size(), QSize(252, 74));
    QVERIFY(body->isReadOnly());
    QCOMPARE(body->contextMenuPolicy(), Qt::NoContextMenu);
    QCOMPARE(box.findChild<QWidget*>(QStringLiteral("msg_head_"))->height(), 44);
    QCOMPARE(box.findChild<QPushButton*>(QStringLiteral("msg_ok_btn_"))->height(), 45);
}

void TstUiWidgets::messageBoxDeletedWhileOpen()
{
    auto* parent = new QWidget;
    parent->show();
    QPointer<MMessageBox> box = new MMessageBox(parent);
    QTimer::singleShot(20, parent, [parent] { delete parent; });
    QCOMPARE(box->exec(QStringLiteral("t"), QStringLiteral("x"), false), 0);
    QVERIFY(box.isNull());
}

// ---- image sequences --------------------------------------------------------------

void TstUiWidgets::imagesLabel()
{
    ImagesLabel label;
    label.show();
    label.start(50, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    QVERIFY(label.isRunning());
    QVERIFY(!label.pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(label.currentIndex(), -1);
    for (int i = 0; i < 27; ++i)
        label.onTimeOut();
    QCOMPARE(label.currentIndex(), 0); // 26 images, then from 0 again
    QVERIFY(!label.pixmap(Qt::ReturnByValue).isNull());
    QTRY_VERIFY(label.currentIndex() > 0);

    label.start(0, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    QVERIFY(!label.isRunning());
    QVERIFY(label.isVisible());
    label.start(50, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 0);
    QVERIFY(!label.isRunning());
    QVERIFY(label.isHidden());
}

void TstUiWidgets::animationWidget()
{
    VuAntimationWidget w;
    QCOMPARE(w.interval(), 100);
    w.start();
    QVERIFY(!w.isRunning()); // nothing to show yet
    w.setImages(QStringLiteral(":res/gif/camera_icon_loading_nor_"), QStringLiteral(".png"), 26);
    QVERIFY(!w.pixmap(Qt::ReturnByValue).isNull());
    w.setInterval(20);
    w.start();
    QVERIFY(w.isRunning());
    QTRY_VERIFY(w.currentIndex() >= 3);
    w.stop();
    QVERIFY(!w.isRunning());
    w.setImages(QStringLiteral(":res/gif/camera_v4_icon_loading_"), QStringLiteral(".png"), 26);
    QVERIFY(!w.pixmap(Qt::ReturnByValue).isNull());
}

// ---- choosers and small widgets ---------------------------------------------------

void TstUiWidgets::choosers()
{
    VideoSolutionCombobox quality;
    QCOMPARE(quality.currentQuality(), 2);
    QCOMPARE(quality.text(), QStringLiteral("HD"));
    QSignalSpy before(&quality, &VideoSolutionCombobox::beforePopup);
    QSignalSpy after(&quality, &VideoSolutionCombobox::afterPopup);
    QSignalSpy changed(&quality, &VideoSolutionCombobox::currentQualityChanged);
    quality.show();
    quality.click();
    QCOMPARE(before.count(), 1);
    QVERIFY(quality.popupList()->isVisible());
    QCOMPARE(quality.item(0)->text(), QStringLiteral("Auto"));
    QCOMPARE(quality.item(1)->text(), QStringLiteral("SD"));
    quality.item(1)->click();
    QCOMPARE(after.count(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.first().at(0).toInt(), 1);
    QCOMPARE(quality.text(), QStringLiteral("SD"));
    // The same quality again announces nothing; preselecting never does.
    quality.choose(1);
    quality.setCurrentQuality(0);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(quality.currentQuality(), 0);

    ViewModeWidget mode;
    QSignalSpy modeSpy(&mode, &ViewModeWidget::currentIndexChanged);
    QCOMPARE(mode.objectName(), QStringLiteral("page_mode_cbx_"));
    mode.show();
    mode.click();
    QVERIFY(mode.listWidget()->isVisible());
    QSignalSpy hidden(mode.listWidget(), &ViewModeListWidget::onHide);
    auto* nine = mode.listWidget()->findChild<QPushButton*>(QStringLiteral("grid_mode_9_"));
    QVERIFY(nine);
    QCOMPARE(mode.listWidget()->findChild<QLabel*>(QStringLiteral("grid_mode_9_txt"))->text(), QStringLiteral("9Windows"));
    nine->click();
    QCOMPARE(modeSpy.count(), 1);
    QCOMPARE(modeSpy.first().at(0).toInt(), 2);
    QCOMPARE(hidden.count(), 1);
    mode.setCurrentIndex(0);
    QCOMPARE(modeSpy.count(), 1);
    QCOMPARE(mode.currentIndex(), 0);
    QVERIFY(mode.listWidget()->entry(0)->isChecked());
}

void TstUiWidgets::smallSignals()
{
    MLabel label(QStringLiteral("x"));
    label.resize(40, 20);
    QSignalSpy clicked(&label, &MLabel::Clicked);
    QSignalSpy entered(&label, &MLabel::onEnterEvent);
    QSignalSpy left(&label, &MLabel::onLeaveEvent);
    QTest::mouseClick(&label, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.first().at(0).value<MLabel*>(), &label);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&label, &enter);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&label, &leave);
    QCOMPARE(entered.count(), 1);
    QCOMPARE(left.count(), 1);

    SettingMenu menu;
    QSignalSpy hide(&menu, &SettingMenu::onHide);
    QSignalSpy about(&menu, &SettingMenu::aboutTriggered);
    QSignalSpy logout(&menu, &SettingMenu::logoutTriggered);
    menu.show();
    QCOMPARE(menu.aboutItem()->objectName(), QStringLiteral("about_menu_item_"));
    QCOMPARE(menu.aboutItem()->text(), QStringLiteral("About"));
    QCOMPARE(menu.logoutItem()->text(), QStringLiteral("Logout"));
    QVERIFY(menu.findChild<QWidget*>(QStringLiteral("hort_line")));
    menu.aboutItem()->click();
    menu.logoutItem()->click();
    menu.hide();
    QCOMPARE(about.count(), 1);
    QCOMPARE(logout.count(), 1);
    QCOMPARE(hide.count(), 1);

    // A day button: a press-move-release drag does not click it.
    VuDateButton day(QStringLiteral(" 03/10 "));
    day.resize(60, 22);
    day.show();
    QSignalSpy pressed(&day, &VuDateButton::mousePressed);
    QSignalSpy moved(&day, &VuDateButton::mouseMoved);
    QSignalSpy released(&day, &VuDateButton::mouseReleased);
    sendMouse(&day, QEvent::MouseButtonPress, QPoint(10, 10), day.mapToGlobal(QPoint(10, 10)), Qt::LeftButton, Qt::LeftButton);
    sendMouse(&day, QEvent::MouseMove, QPoint(40, 10), day.mapToGlobal(QPoint(40, 10)), Qt::NoButton, Qt::LeftButton);
    sendMouse(&day, QEvent::MouseButtonRelease, QPoint(40, 10), day.mapToGlobal(QPoint(40, 10)), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(released.count(), 1);
    QVERIFY(!day.isChecked());
    QTest::mouseClick(&day, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QVERIFY(day.isChecked());
}

// ---- translation and resources ---------------------------------------------------

void TstUiWidgets::translation()
{
    QTranslator tr;
    QVERIFY(tr.load(QStringLiteral(":/res/lang/vcam_zh_CN.qm"), QString(), QString(), QString()));
    QCOMPARE(tr.translate("TitleBar", "Smart Camera"), QString::fromUtf8("智能摄像机"));
    QCOMPARE(tr.translate("MMessageBox", "OK"), QString::fromUtf8("确定"));
    QCOMPARE(tr.translate("RoomListBar", "All Rooms"), QString::fromUtf8("全部房间"));
    QCOMPARE(tr.translate("MainWindow", "Are you sure to close app?"), QString::fromUtf8("确定要关闭应用吗？"));
    QCOMPARE(tr.translate("VuCameraWidgetUI", "Buffering..."), QString::fromUtf8("缓冲中..."));

    // Every text of the catalogue is translated.
    QFile ts(QStringLiteral(VC_SOURCE_DIR "/res/lang/vcam_zh_CN.ts"));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(ts.readAll());
    QVERIFY(!xml.contains(QLatin1String("type=\"unfinished\"")));
    QVERIFY(!xml.contains(QLatin1String("<translation></translation>")));
    QVERIFY(xml.count(QLatin1String("<message>")) > 80);

    // Installed, the widgets switch language at once.
    TitleBar bar;
    RoomListBar rooms;
    AppInfo settings(m_dir.filePath(QStringLiteral("tr.json")), QString());
    rooms.setSettings(&settings);
    rooms.setRooms({QStringLiteral("A")}, {QString()}, true, false);
    qApp->installTranslator(&tr);
    QTRY_COMPARE(bar.title(), QString::fromUtf8("智能摄像机"));
    QTRY_COMPARE(rooms.buttonTexts().last(), QString::fromUtf8("全部房间"));
    qApp->removeTranslator(&tr);
    QTRY_COMPARE(bar.title(), QStringLiteral("Smart Camera"));
}

void TstUiWidgets::resourcesPresent()
{
    // Every picture a style sheet names exists.
    const QRegularExpression url(QStringLiteral("url\\(([^)]+)\\)"));
    for (const char* sheet : {":/res/css/general.css", ":/res/css/timeline.css"}) {
        QFile f{QString::fromLatin1(sheet)};
        QVERIFY2(f.open(QIODevice::ReadOnly), sheet);
        const QString css = QString::fromUtf8(f.readAll());
        auto it = url.globalMatch(css);
        int n = 0;
        while (it.hasNext()) {
            const QString path = it.next().captured(1).trimmed();
            QVERIFY2(!QPixmap(path).isNull(), qPrintable(QStringLiteral("%1 names %2").arg(QLatin1String(sheet), path)));
            ++n;
        }
        QVERIFY(n > 3);
    }
    // The pictures the interface names by path.
    const QStringList named = {
        QStringLiteral(":/res/imgs/hovia.png"), QStringLiteral(":/res/imgs/hovia_gray.png"),
        QStringLiteral(":/res/imgs/tooltip_bg.png"), QStringLiteral(":/res/imgs/cam_bg.png"),
        QStringLiteral(":/res/imgs/default_user_icon.png"), QStringLiteral(":/res/imgs/user_icon_frame.png"),
        QStringLiteral(":/res/imgs/state_sequencen_sleep.png"), QStringLiteral(":/res/imgs/state_sequencen_sleep_v4.png"),
        QStringLiteral(":/res/imgs/state_sequencen_fail.png"), QStringLiteral(":/res/imgs/state_sequencen_fail_v4.png"),
        QStringLiteral(":/res/imgs/net_error.png"), QStringLiteral(":/res/imgs/no_device.png"),
        QStringLiteral(":/res/imgs/grid_mode_1.png"), QStringLiteral(":/res/imgs/grid_mode_4.png"),
        QStringLiteral(":/res/imgs/grid_mode_9.png"), QStringLiteral(":/res/imgs/arrow_up.png"),
    };
    for (const QString& p : named)
        QVERIFY2(!QPixmap(p).isNull(), qPrintable(p));
    for (const char* seq : {":res/gif/state_sequencen_", ":res/gif/camera_icon_loading_nor_", ":res/gif/camera_v4_icon_loading_"}) {
        for (int i = 0; i < 26; ++i) {
            const QString p = QLatin1String(seq) + QString::number(i) + QStringLiteral(".png");
            QVERIFY2(!QPixmap(p).isNull(), qPrintable(p));
        }
    }
    QVERIFY(!QIcon(QStringLiteral(":/res/icons/VuCamera.ico")).pixmap(32, 32).isNull());
    QVERIFY(QFile::exists(QStringLiteral(":/res/lang/vcam_zh_CN.qm")));
    int rooms = 0;
    QDirIterator it(QStringLiteral(":/res/rooms"));
    while (it.hasNext()) {
        it.next();
        ++rooms;
    }
    QVERIFY(rooms >= 20);
}

// Live pictures replace each other 20+ times a second in every tile: they
// must not cost the tile a layout pass each, and they must cover the label
// (picture centred, black around it) since nothing is painted beneath.
void TstUiWidgets::videoLabelPaintsWithoutLayoutPasses()
{
    QWidget tile;
    tile.resize(320, 150);
    auto* layout = new QVBoxLayout(&tile);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new VideoLabel(&tile);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    layout->addWidget(label);
    tile.show();
    QVERIFY(QTest::qWaitForWindowExposed(&tile));
    QCOMPARE(label->size(), QSize(320, 150));

    struct LayoutCounter : QObject
    {
        int requests = 0;
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::LayoutRequest)
                ++requests;
            return false;
        }
    } counter;
    tile.installEventFilter(&counter);
    QPixmap picture(266, 150);
    for (int i = 0; i < 10; ++i) {
        picture.fill(QColor(40 + i, 90, 150));
        label->setFrame(picture);
        QCoreApplication::processEvents();
    }
    QCOMPARE(counter.requests, 0);
    QCOMPARE(label->frame().cacheKey(), picture.cacheKey());
    QVERIFY(label->testAttribute(Qt::WA_OpaquePaintEvent));

    const QImage shown = label->grab().toImage();
    QCOMPARE(shown.pixelColor(160, 75), QColor(49, 90, 150)); // the last picture, centred
    QCOMPARE(shown.pixelColor(5, 75), QColor(Qt::black));    // the bars left and right
    QCOMPARE(shown.pixelColor(314, 75), QColor(Qt::black));
    QCOMPARE(shown.pixelColor(27, 75), QColor(49, 90, 150));

    // Without a picture it is a plain label again.
    label->clearFrame();
    QVERIFY(label->frame().isNull());
    QVERIFY(!label->testAttribute(Qt::WA_OpaquePaintEvent));
    label->setFrame(QPixmap());
    QVERIFY(label->frame().isNull());
}

QTEST_MAIN(TstUiWidgets)
#include "tst_uiwidgets.moc"
