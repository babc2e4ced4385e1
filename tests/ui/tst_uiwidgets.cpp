// Window chrome: page selector, room selector with its stored choice, title
// bar, frameless move and resize, message box, grid chooser, translation, and
// every resource the code and the style sheets name.

#include "uitestsupport.h"

#include "app/appinfo.h"
#include "ui/framelesshelper.h"
#include "ui/mmessagebox.h"
#include "ui/mnavigatebar.h"
#include "ui/roomlistbar.h"
#include "ui/timelinetoolswidget.h"
#include "ui/titlebar.h"
#include "ui/viewmodelistwidget.h"
#include "ui/viewmodewidget.h"

#include <QDirIterator>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>
#include <algorithm>

namespace {
void sendMouse(QWidget* w, QEvent::Type type, const QPoint& local, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(local), QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// Drags from local point `from` by `delta` with the left button (the window
// moves under the mouse, so the points are computed before).
void drag(QWidget* w, const QPoint& from, const QPoint& delta, bool release = true)
{
    const QPoint g = w->mapToGlobal(from);
    auto send = [w, g, from](QEvent::Type type, const QPoint& d, Qt::MouseButton b, Qt::MouseButtons bs) {
        QMouseEvent e(type, QPointF(from + d), QPointF(from + d), QPointF(g + d), b, bs, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    send(QEvent::MouseButtonPress, QPoint(), Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, delta / 2, Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseMove, delta, Qt::NoButton, Qt::LeftButton);
    if (release)
        send(QEvent::MouseButtonRelease, delta, Qt::LeftButton, Qt::NoButton);
}

// The selections a room bar announced since the last take(): "all",
// "default", "shared", "named:<name>".
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
} // namespace

class TstUiWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { QCOMPARE(UiTest::resourceWarnings(), QStringList()); }

    void navigateBar_data();
    void navigateBar();
    void navigateBarClicks();
    void roomsSelectTheStoredChoice_data();
    void roomsSelectTheStoredChoice();
    void roomsUserChoiceIsKept();
    void roomsRemoval();
    void titleBar();
    void framelessMoveAndResize();
    void messageBox();
    void choosers();
    void translation();
    void everyNamedResourceResolves();

private:
    QTemporaryDir m_dir;
};

void TstUiWidgets::initTestCase()
{
    UiTest::setUp();
    QVERIFY(m_dir.isValid());
}


void TstUiWidgets::navigateBar_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("items");
    QTest::newRow("12 at 1") << 12 << 1 << "1* 2 3 4 5 6 7 8 ... 12";
    QTest::newRow("12 at 5") << 12 << 5 << "1 2 3 4 5* 6 7 8 ... 12";
    QTest::newRow("12 at 6") << 12 << 6 << "1 ... 3 4 5 6* 7 8 9 ... 12";
    QTest::newRow("12 at 8") << 12 << 8 << "1 ... 5 6 7 8* 9 10 11 12";
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
    QCOMPARE(spy.count(), 0);
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
    QTest::addColumn<QString>("stored"); // room_type[:room_name]
    QTest::addColumn<QString>("rooms");  // named rooms, then D (default) and S (shared)
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<QString>("selected");
    QTest::newRow("one named room") << "" << "Living" << "Living" << "named:Living";
    QTest::newRow("two buttons bring All") << "" << "Living|D" << "Living|Default Room|All Rooms" << "all";
    QTest::newRow("everything") << "" << "A|B|D|S" << "A|B|Default Room|Shared|All Rooms" << "all";
    QTest::newRow("stored room") << "named:B" << "A|B" << "A|B|All Rooms" << "named:B";
    QTest::newRow("stored room gone") << "named:Gone" << "A|B|D" << "A|B|Default Room|All Rooms" << "named:A";
    QTest::newRow("all, only default") << "all" << "D" << "Default Room" << "default";
    QTest::newRow("all, only shared") << "all" << "S" << "Shared" << "shared";
    QTest::newRow("stored shared") << "shared" << "A|D|S" << "A|Default Room|Shared|All Rooms" << "shared";
    QTest::newRow("stored shared gone") << "shared" << "A|D" << "A|Default Room|All Rooms" << "all";
    QTest::newRow("stored default") << "default" << "A|D" << "A|Default Room|All Rooms" << "default";
    QTest::newRow("empty") << "all" << "" << "" << "";
}

void TstUiWidgets::roomsSelectTheStoredChoice()
{
    QFETCH(QString, stored);
    QFETCH(QString, rooms);
    QFETCH(QString, buttons);
    QFETCH(QString, selected);
    AppInfo settings(m_dir.filePath(QStringLiteral("rooms-%1.json").arg(QTest::currentDataTag())), QString());
    const QString group = QStringLiteral("user_9");
    if (!stored.isEmpty()) {
        settings.setString(group, QStringLiteral("room_type"), stored.section(QLatin1Char(':'), 0, 0));
        settings.setString(group, QStringLiteral("room_name"), stored.section(QLatin1Char(':'), 1));
    }
    QStringList names = rooms.split(QLatin1Char('|'), Qt::SkipEmptyParts);
    const bool def = names.removeAll(QStringLiteral("D")) > 0;
    const bool shared = names.removeAll(QStringLiteral("S")) > 0;
    RoomListBar bar;
    bar.setSettings(&settings);
    bar.setUserId(QStringLiteral("9"));
    RoomSignals spies(&bar);
    bar.setRooms(names, QStringList(), def, shared);
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), buttons);
    QCOMPARE(spies.take(), selected);
    // A selection made by the rebuild is no choice of the user's: the stored
    // one stays for when its room comes back.
    QCOMPARE(settings.getString(group, QStringLiteral("room_type"), QString()), stored.section(QLatin1Char(':'), 0, 0));
    QCOMPARE(settings.getString(group, QStringLiteral("room_name"), QString()), stored.section(QLatin1Char(':'), 1));
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
    QCOMPARE(spies.take(), QStringLiteral("named:B"));
    bar.button(1)->click(); // the current one: nothing
    QCOMPARE(spies.take(), QString());
    QVERIFY(bar.button(1)->isChecked());

    // The choice survives a restart; another user has a separate one.
    AppInfo reread(file, QString());
    QVERIFY(reread.load());
    for (const char* uid : {"42", "7"}) {
        RoomListBar again;
        again.setSettings(&reread);
        again.setUserId(QLatin1String(uid));
        RoomSignals s2(&again);
        again.setRooms({QStringLiteral("A"), QStringLiteral("B")}, {}, false, false);
        QCOMPARE(s2.take(), QLatin1String(uid) == QLatin1String("42") ? QStringLiteral("named:B") : QStringLiteral("all"));
    }
    bar.button(2)->click();
    QCOMPARE(settings.getString(QStringLiteral("user_42"), QStringLiteral("room_type"), QString()), QStringLiteral("all"));

    // Icons by name, unknown ones the default.
    QCOMPARE(RoomListBar::iconPath(QStringLiteral("living")), QStringLiteral(":/res/rooms/living_normal.png"));
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
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), QStringLiteral("A|B|Default Room|All Rooms"));
    QCOMPARE(spies.take(), QStringLiteral("all"));
    // A room not selected goes quietly.
    bar.removeRoom(QStringLiteral("A"), false);
    QCOMPARE(spies.take(), QString());
    QCOMPARE(bar.currentKind(), int(RoomListBar::All));
    // One button left: "All Rooms" goes as well, the named room is selected.
    bar.removeRoom(QString(), false);
    QCOMPARE(bar.buttonTexts().join(QLatin1Char('|')), QStringLiteral("B"));
    QCOMPARE(spies.take(), QStringLiteral("named:B"));
    bar.removeRoom(QStringLiteral("Nowhere"), false);
    bar.removeRoom(QString(), true);
    QCOMPARE(bar.buttonCount(), 1);
    QCOMPARE(spies.take(), QString());
}


void TstUiWidgets::titleBar()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    auto* bar = new TitleBar(&window);
    (new QVBoxLayout(&window))->addWidget(bar, 0, Qt::AlignTop);
    const QRect before(130, 90, 820, 540);
    window.setGeometry(before);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto button = [bar](const char* name) { return bar->findChild<QPushButton*>(QLatin1String(name)); };
    QSignalSpy maxSpy(bar, &TitleBar::maxButtonClicked);
    button("max_btn_")->click();
    QCOMPARE(window.geometry(), window.screen()->availableGeometry());
    QVERIFY(button("max_btn_")->isHidden() && !button("restore_btn_")->isHidden());
    // While maximised the frameless helper neither moves nor resizes.
    FramelessHelper helper;
    helper.activateOn(&window);
    drag(&window, QPoint(2, 200), QPoint(100, 0));
    QCOMPARE(window.geometry(), window.screen()->availableGeometry());
    button("restore_btn_")->click();
    QCOMPARE(window.geometry(), before);
    QVERIFY(!button("max_btn_")->isHidden() && button("restore_btn_")->isHidden());
    // A double click on the bar toggles too, only in the resizable state (1).
    QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 15));
    QVERIFY(bar->isMaximized());
    QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 15));
    QCOMPARE(window.geometry(), before);
    QCOMPARE(maxSpy.count(), 2);
    const QStringList states = {QStringLiteral("min_btn_ close_btn_"), QStringLiteral("min_btn_ max_btn_ close_btn_"),
                                QStringLiteral("close_btn_")};
    for (int state : {0, 2, 1, 2}) {
        bar->setButtonState(state);
        QStringList shown;
        for (const char* n : {"min_btn_", "restore_btn_", "max_btn_", "close_btn_"})
            if (!button(n)->isHidden())
                shown << QLatin1String(n);
        QCOMPARE(shown.join(QLatin1Char(' ')), states[state]);
    }
    QTest::mouseDClick(bar, Qt::LeftButton, Qt::NoModifier, QPoint(200, 15));
    QCOMPARE(maxSpy.count(), 2);
}

void TstUiWidgets::framelessMoveAndResize()
{
    QWidget w(nullptr, Qt::FramelessWindowHint);
    w.setMinimumSize(300, 200);
    const QRect start(100, 100, 400, 300);
    w.setGeometry(start);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    FramelessHelper helper;
    helper.activateOn(&w);
    const struct { QPoint from, delta; QRect result; Qt::CursorShape cursor; } drags[] = {
        // Left edge past the minimum: stops, the right edge fixed.
        {{2, 150}, {250, 0}, {200, 100, 300, 300}, Qt::SizeHorCursor},
        // Bottom-right corner far up and left: the minimum, the top-left fixed.
        {{398, 298}, {-500, -500}, {100, 100, 300, 200}, Qt::SizeFDiagCursor},
        {{200, 1}, {0, 400}, {100, 200, 400, 200}, Qt::SizeVerCursor},
        {{1, 296}, {-30, 0}, {70, 100, 430, 300}, Qt::SizeBDiagCursor},
        {{399, 150}, {60, 0}, {100, 100, 460, 300}, Qt::SizeHorCursor},
        {{200, 150}, {40, 25}, {140, 125, 400, 300}, Qt::ArrowCursor}, // inside: a move
    };
    for (const auto& d : drags) {
        w.setGeometry(start);
        sendMouse(&w, QEvent::MouseMove, d.from, Qt::NoButton, Qt::NoButton);
        QCOMPARE(w.cursor().shape(), d.cursor);
        drag(&w, d.from, d.delta);
        QCOMPARE(w.geometry(), d.result);
    }
}


void TstUiWidgets::messageBox()
{
    QWidget parent;
    parent.show();
    MMessageBox box(&parent);
    // Each way out, pressed from inside the box's own loop.
    const struct { const char* button; int key; bool okOnly; int result; } ways[] = {
        {"msg_ok_btn_", 0, false, 1},       {"msg_cancel_btn_", 0, false, 0}, {"msg_close_btn_", 0, false, 0},
        {nullptr, Qt::Key_Return, true, 1}, {nullptr, Qt::Key_Escape, false, 0},
    };
    for (const auto& way : ways) {
        bool cancelShown = false;
        QTimer::singleShot(0, &box, [&] {
            cancelShown = !box.findChild<QPushButton*>(QStringLiteral("msg_cancel_btn_"))->isHidden();
            if (way.button)
                box.findChild<QPushButton*>(QLatin1String(way.button))->click();
            else
                QTest::keyClick(&box, Qt::Key(way.key));
        });
        QCOMPARE(box.exec(QStringLiteral("Title"), QStringLiteral("Are you sure?"), way.okOnly), way.result);
        QCOMPARE(cancelShown, !way.okOnly);
        QVERIFY(!box.isVisible() && !box.isRunning());
    }
    QCOMPARE(box.findChild<QWidget*>(QStringLiteral("msg_body_"))->property("plainText").toString(),
             QStringLiteral("Are you sure?"));

    // The parent deleted while the box is open: Cancel, and the box goes too.
    auto* owner = new QWidget;
    owner->show();
    QPointer<MMessageBox> doomed = new MMessageBox(owner);
    QTimer::singleShot(0, owner, [owner] { delete owner; });
    QCOMPARE(doomed->exec(QStringLiteral("t"), QStringLiteral("x"), false), 0);
    QVERIFY(doomed.isNull());
}



void TstUiWidgets::choosers()
{
    ViewModeWidget mode;
    QSignalSpy modeSpy(&mode, &ViewModeWidget::currentIndexChanged);
    mode.show();
    mode.click();
    QVERIFY(mode.listWidget()->isVisible());
    QSignalSpy hidden(mode.listWidget(), &ViewModeListWidget::onHide);
    mode.listWidget()->findChild<QPushButton*>(QStringLiteral("grid_mode_9_"))->click();
    QCOMPARE(modeSpy.count(), 1);
    QCOMPARE(modeSpy.first().at(0).toInt(), 2);
    QCOMPARE(hidden.count(), 1);
    // Preselecting (a stored mode) announces nothing.
    mode.setCurrentIndex(0);
    QCOMPARE(modeSpy.count(), 1);
    QVERIFY(mode.listWidget()->entry(0)->isChecked());
}


void TstUiWidgets::translation()
{
    QTranslator tr;
    QVERIFY(tr.load(QStringLiteral(":/res/lang/vcam_zh_CN.qm"), QString(), QString(), QString()));
    QCOMPARE(tr.translate("MainWindow", "Are you sure to close app?"), QString::fromUtf8("确定要关闭应用吗？"));
    // Every text of the catalogue is translated.
    QFile ts(QStringLiteral(VC_SOURCE_DIR "/res/lang/vcam_zh_CN.ts"));
    QVERIFY(ts.open(QIODevice::ReadOnly));
    const QString xml = QString::fromUtf8(ts.readAll());
    QVERIFY(!xml.contains(QLatin1String("type=\"unfinished\"")));
    QVERIFY(!xml.contains(QLatin1String("<translation></translation>")));

    // Installed, the widgets switch language at once, and back.
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

void TstUiWidgets::everyNamedResourceResolves()
{
    // Every file under :/res, for prefixes (sequences, %1 patterns).
    QStringList all;
    for (QDirIterator it(QStringLiteral(":/res"), QDirIterator::Subdirectories); it.hasNext();)
        all << it.next();
    auto resolves = [&all](QString path) {
        path.replace(QRegularExpression(QStringLiteral("^:res/")), QStringLiteral(":/res/"));
        const int cut = path.indexOf(QRegularExpression(QStringLiteral("[%<]")));
        if (cut < 0 && path.contains(QLatin1Char('.')))
            return all.contains(path);
        const QString prefix = path.left(cut);
        return std::any_of(all.begin(), all.end(), [&prefix](const QString& f) { return f.startsWith(prefix); });
    };
    // Paths in the code.
    const QRegularExpression literal(QStringLiteral("\"(:/?res/[^\"]+)\""));
    int named = 0;
    for (const char* folder : {"app", "ui", "client", "camera", "cloud", "browser"}) {
        for (QDirIterator it(QStringLiteral(VC_SOURCE_DIR "/") + QLatin1String(folder), {QStringLiteral("*.cpp"), QStringLiteral("*.h")});
             it.hasNext();) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            for (auto m = literal.globalMatch(QString::fromUtf8(f.readAll())); m.hasNext(); ++named) {
                const QString path = m.next().captured(1);
                QVERIFY2(resolves(path), qPrintable(f.fileName() + QStringLiteral(" names ") + path));
            }
        }
    }
    QVERIFY(named > 15);
    // The three animations have all 26 pictures.
    for (const char* seq : {"state_sequencen_", "camera_icon_loading_nor_", "camera_v4_icon_loading_"})
        for (int i = 0; i < 26; ++i)
            QVERIFY(all.contains(QStringLiteral(":/res/gif/%1%2.png").arg(QLatin1String(seq)).arg(i)));
    // Pictures in the style sheets load.
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
    // Both sheets parse: widgets styled by them print no warning.
    UiTest::clearWarnings();
    TimeLineToolsWidget timeline;
    TitleBar bar;
    timeline.show();
    bar.show();
    QCoreApplication::processEvents();
    QCOMPARE(UiTest::resourceWarnings(), QStringList());
}

QTEST_MAIN(TstUiWidgets)
#include "tst_uiwidgets.moc"
