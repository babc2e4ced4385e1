// The camera grid of the main window without a network: start-up window
// geometry, cell geometry, the page modes, paging, placeholders, room
// filtering, cameras coming and going, and full screen. Tiles stand in for
// the camera (they never connect).

#include "uitestsupport.h"
#include "tests/support/threadsafespy.h"

#include "app/appinfo.h"
#include "client/vucameraclient.h"
#include "ui/mainwindowui.h"
#include "ui/mlabel.h"
#include "ui/mnavigatebar.h"
#include "ui/roomlistbar.h"
#include "ui/titlebar.h"
#include "ui/viewmodewidget.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QBuffer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>
#include <memory>

namespace {

class StandInTile : public VuCameraWidget
{
public:
    using VuCameraWidget::VuCameraWidget;
    int plays = 0;

protected:
    void clientPlay(int, bool, const QString&) override { ++plays; }
    void clientCheckPowerOnce() override {}
    QPixmap clientGrabFrame(FrameInfo&, bool, int&) override { return QPixmap(); }
};

struct Cam
{
    const char* did;
    const char* room; // "" for none
    bool shared;
};

} // namespace

class TstMainWindowGrid : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startupGeometry_data();
    void startupGeometry();
    void cellGeometry_data();
    void cellGeometry();
    void tinyAreaGivesEmptyCells();

    void pageModeFromCameraCount();
    void storedPageModeIsUsed();
    void sevenCamerasInNineAndFourModes();
    void tilesSitInTheirCells();
    void roomsFilterTheGrid();
    void addedCameraOutsideTheSelectedRoomStaysHidden();
    void removedCameraClosesTheGap();
    void removingTheLastCameraOfARoomDropsTheRoom();
    void removedWhileFullscreenReturnsToTheGrid();
    void fullscreenAndBack();
    void pagingInFullscreenMovesOn();
    void listEventsInOtherStatesAreIgnored();
    void playAllStartsTheStoppedTilesOfThePage();
    void userCardTakesOnlySanePictures();

private:
    void makeUi(const QList<Cam>& cams, bool load = true);
    QList<VuCameraClient*> m_clients;
    std::unique_ptr<QWidget> m_window;
    MainWindowUI* m_ui = nullptr;
    QSize m_windowSize{1100, 700};
};

void TstMainWindowGrid::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    UiTest::setUp();
}

void TstMainWindowGrid::init()
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 0);
    AppInfo::instance()->setString(QStringLiteral("user_42"), QStringLiteral("room_type"), QStringLiteral("all"));
}

void TstMainWindowGrid::cleanup()
{
    m_window.reset(); // the ui and the tiles with it
    m_ui = nullptr;
    m_windowSize = QSize(1100, 700);
    qDeleteAll(m_clients);
    m_clients.clear();
}

void TstMainWindowGrid::makeUi(const QList<Cam>& cams, bool load)
{
    m_window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    m_window->resize(m_windowSize);
    m_ui = new MainWindowUI(m_window.get());
    m_ui->setUserId(QStringLiteral("42"));
    m_ui->setTileFactory([](VuCameraClient* c, QWidget* parent) { return new StandInTile(c, parent); });
    for (const Cam& c : cams) {
        VuotCameraStat s;
        s.did = QString::fromLatin1(c.did);
        s.name = QStringLiteral("Camera ") + s.did;
        s.model = QStringLiteral("hovia.camera.v3");
        s.isOnline = true;
        s.shareFlag = c.shared ? 1 : 0;
        auto* client = new VuCameraClient(s);
        client->setRoom(QString::fromLatin1(c.room), QStringLiteral("living"));
        m_clients << client;
    }
    m_window->show();
    m_ui->setState(MainWindowUI::LoadingCameras);
    if (load)
        m_ui->onDeviceListLoaded(m_clients);
}

void TstMainWindowGrid::startupGeometry_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QRect>("window");
    // Landscape: three quarters of the height, a 16:9 grid inside the chrome.
    QTest::newRow("1920x1080") << QSize(1920, 1080) << QRect(311, 125, 1297, 810);
    QTest::newRow("2560x1440") << QSize(2560, 1440) << QRect(391, 170, 1777, 1080);
    // Too small for that: the 1100 x 700 floor, never at negative positions.
    QTest::newRow("1366x768") << QSize(1366, 768) << QRect(133, 24, 1100, 700);
    QTest::newRow("1000x600") << QSize(1000, 600) << QRect(0, 0, 1100, 700);
    // Portrait and square: the full width.
    QTest::newRow("1080x1920") << QSize(1080, 1920) << QRect(0, 606, 1080, 687);
    QTest::newRow("800x800") << QSize(800, 800) << QRect(0, 125, 800, 530);
}

void TstMainWindowGrid::startupGeometry()
{
    QFETCH(QSize, screen);
    QFETCH(QRect, window);
    QCOMPARE(MainWindowUI::startupGeometry(screen), window);
}

void TstMainWindowGrid::cellGeometry_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QRect>>("cells");
    // 1100 x 700 window less the bars: 980 x 622.
    QTest::newRow("4 in 980x622") << QSize(980, 622) << 2
                                  << QList<QRect>{QRect(7, 8, 480, 300), QRect(493, 8, 480, 300),
                                                  QRect(7, 314, 480, 300), QRect(493, 314, 480, 300)};
    QList<QRect> nine;
    for (int k = 0; k < 9; ++k)
        nine << QRect(28 + (k % 3) * 310, 3 + (k / 3) * 207, 304, 201);
    QTest::newRow("9 in 980x622") << QSize(980, 622) << 3 << nine;
    // Full screen on 1920 x 1080: one 16:9 picture as high as it can be.
    QTest::newRow("1 in 1920x1080") << QSize(1920, 1080) << 1 << QList<QRect>{QRect(32, 3, 1856, 1074)};
    // Mode 0 (not chosen) counts as one tile.
    QTest::newRow("0 in 980x622") << QSize(980, 622) << 0 << QList<QRect>{QRect(10, 26, 960, 570)};
    // A narrow window: the width decides.
    QTest::newRow("4 in 540x900") << QSize(540, 900) << 2
                                  << QList<QRect>{QRect(11, 273, 256, 174), QRect(273, 273, 256, 174),
                                                  QRect(11, 453, 256, 174), QRect(273, 453, 256, 174)};
}

void TstMainWindowGrid::cellGeometry()
{
    QFETCH(QSize, area);
    QFETCH(int, mode);
    QFETCH(QList<QRect>, cells);
    const QList<QRect> got = MainWindowUI::cellGeometry(area, mode);
    QCOMPARE(got, cells);
    for (const QRect& r : got) {
        // The video part keeps 16:9 and the sizes the decoder wants.
        QCOMPARE(r.width() % 16, 0);
        QCOMPARE((r.height() - 30) % 9, 0);
    }
}

void TstMainWindowGrid::tinyAreaGivesEmptyCells()
{
    const QList<QRect> cells = MainWindowUI::cellGeometry(QSize(100, 50), 3);
    QCOMPARE(cells.size(), 9);
    for (const QRect& r : cells)
        QCOMPARE(r.size(), QSize(0, 30));
}

void TstMainWindowGrid::pageModeFromCameraCount()
{
    makeUi({{"c1", "A", false}});
    QCOMPARE(m_ui->state(), int(MainWindowUI::HasCamera));
    QCOMPARE(m_ui->pageMode(), 1);
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), 0);
    cleanup();

    makeUi({{"c1", "A", false}, {"c2", "A", false}});
    QCOMPARE(m_ui->pageMode(), 2);
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), 1);
    // Only the user's own choice is stored.
    QCOMPARE(AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1), 0);
    m_ui->chooseGridMode(2);
    QCOMPARE(m_ui->pageMode(), 3);
    QCOMPARE(AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1), 3);
}

void TstMainWindowGrid::storedPageModeIsUsed()
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 3);
    makeUi({{"c1", "A", false}});
    QCOMPARE(m_ui->pageMode(), 3);
    QCOMPARE(m_ui->shownTiles().size(), 1);
    QCOMPARE(m_ui->placeholders().size(), 8);
    cleanup();
    // A stored value out of range reads as not chosen.
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 7);
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}});
    QCOMPARE(m_ui->pageMode(), 2);
}

void TstMainWindowGrid::sevenCamerasInNineAndFourModes()
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 3);
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}, {"c4", "B", false},
            {"c5", "B", false}, {"c6", "", false}, {"c7", "", true}});
    QCOMPARE(m_ui->pageCount(), 1);
    QCOMPARE(m_ui->shownTiles().size(), 7);
    QCOMPARE(m_ui->placeholders().size(), 2);
    for (QWidget* p : m_ui->placeholders()) {
        QCOMPARE(p->objectName(), QStringLiteral("empty_camera"));
        QVERIFY(p->isVisible());
    }
    for (VuCameraWidget* t : m_ui->shownTiles())
        QVERIFY(t->isVisible());
    QCOMPARE(m_ui->navigateBar()->pageCount(), 1);

    m_ui->chooseGridMode(1);
    QCOMPARE(m_ui->pageCount(), 2);
    QCOMPARE(m_ui->navigateBar()->pageCount(), 2);
    QCOMPARE(m_ui->currentPage(), 0);
    QCOMPARE(m_ui->shownTiles().size(), 4);
    QCOMPARE(m_ui->placeholders().size(), 0);
    const QList<VuCameraWidget*> firstPage = m_ui->shownTiles();

    // The navigation bar's second page.
    emit m_ui->navigateBar()->onPageNumberChanged(2);
    QCOMPARE(m_ui->currentPage(), 1);
    QCOMPARE(m_ui->navigateBar()->currentPage(), 2);
    QCOMPARE(m_ui->shownTiles().size(), 3);
    QCOMPARE(m_ui->placeholders().size(), 1);
    QCOMPARE(m_ui->anchorTile(), m_ui->roomTiles().at(4));
    for (VuCameraWidget* t : firstPage)
        QVERIFY(!t->isVisible());
    // A page past the end is refused.
    emit m_ui->navigateBar()->onPageNumberChanged(3);
    QCOMPARE(m_ui->currentPage(), 1);
}

void TstMainWindowGrid::tilesSitInTheirCells()
{
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}});
    QCOMPARE(m_ui->pageMode(), 2);
    // The grid area is what the bars leave of the window.
    QTRY_COMPARE(m_ui->gridArea()->size(), QSize(1100 - 120, 700 - 30 - 48));
    const QList<QRect> cells = MainWindowUI::cellGeometry(QSize(980, 622), 2);
    for (int k = 0; k < 3; ++k)
        QCOMPARE(m_ui->shownTiles().at(k)->geometry(), cells.at(k));
    QCOMPARE(m_ui->placeholders().first()->geometry(), cells.at(3));

    // A resize places them again.
    m_window->resize(1400, 900);
    QTRY_COMPARE(m_ui->gridArea()->size(), QSize(1400 - 120, 900 - 30 - 48));
    m_ui->relayoutTiles();
    const QList<QRect> bigger = MainWindowUI::cellGeometry(QSize(1280, 822), 2);
    QCOMPARE(m_ui->shownTiles().first()->geometry(), bigger.first());
}

void TstMainWindowGrid::roomsFilterTheGrid()
{
    makeUi({{"c1", "A", false}, {"c2", "B", false}, {"c3", "A", false}, {"c4", "", false},
            {"c5", "", true}});
    RoomListBar* bar = m_ui->roomListBar();
    // Named rooms first-seen, then Default Room, Shared and All Rooms.
    QCOMPARE(bar->buttonCount(), 5);
    QCOMPARE(m_ui->roomTiles().size(), 5);

    QVERIFY(bar->selectRoom(QStringLiteral("A"), false));
    QCOMPARE(m_ui->roomTiles().size(), 2);
    QCOMPARE(m_ui->roomTiles().at(0)->client()->did(), QStringLiteral("c1"));
    QCOMPARE(m_ui->roomTiles().at(1)->client()->did(), QStringLiteral("c3"));
    QCOMPARE(m_ui->shownTiles().size(), 2);
    QCOMPARE(m_ui->placeholders().size(), 2);
    for (VuCameraWidget* t : m_ui->allTiles())
        QCOMPARE(t->isVisible(), m_ui->roomTiles().contains(t));

    QVERIFY(bar->selectRoom(QString(), false)); // Default Room: no room, not shared
    QCOMPARE(m_ui->roomTiles().size(), 1);
    QCOMPARE(m_ui->roomTiles().first()->client()->did(), QStringLiteral("c4"));
    QVERIFY(bar->selectRoom(QString(), true)); // Shared
    QCOMPARE(m_ui->roomTiles().size(), 1);
    QCOMPARE(m_ui->roomTiles().first()->client()->did(), QStringLiteral("c5"));

    // The choice is kept per user and comes back with the next list.
    QCOMPARE(AppInfo::instance()->getString(QStringLiteral("user_42"), QStringLiteral("room_type"), QString()),
             QStringLiteral("shared"));
}

void TstMainWindowGrid::addedCameraOutsideTheSelectedRoomStaysHidden()
{
    makeUi({{"c1", "A", false}, {"c2", "B", false}, {"c3", "A", false}});
    QVERIFY(m_ui->roomListBar()->selectRoom(QStringLiteral("A"), false));
    VuotCameraStat s;
    s.did = QStringLiteral("c4");
    s.name = QStringLiteral("Camera c4");
    s.model = QStringLiteral("hovia.camera.v1");
    s.isOnline = true;
    auto* late = new VuCameraClient(s);
    late->setRoom(QStringLiteral("B"), QStringLiteral("bedroom"));
    m_clients << late;
    m_ui->onCameraAdded(late);
    VuCameraWidget* tile = m_ui->tileOf(late);
    QVERIFY(tile);
    QVERIFY(!tile->isVisible());
    QCOMPARE(m_ui->roomTiles().size(), 2);
    QCOMPARE(m_ui->allTiles().size(), 4);

    // A camera in a room not seen before brings its room button.
    s.did = QStringLiteral("c5");
    auto* garden = new VuCameraClient(s);
    garden->setRoom(QStringLiteral("Garden"), QStringLiteral("garden"));
    m_clients << garden;
    m_ui->onCameraAdded(garden);
    QVERIFY(m_ui->roomListBar()->hasRoom(QStringLiteral("Garden"), false));
    QVERIFY(m_ui->roomListBar()->isSelected(QStringLiteral("A"), false));
    QVERIFY(!m_ui->tileOf(garden)->isVisible());
    // The same client twice makes no second tile.
    m_ui->onCameraAdded(garden);
    QCOMPARE(m_ui->allTiles().size(), 5);
}

void TstMainWindowGrid::removedCameraClosesTheGap()
{
    makeUi({{"c1", "A", false}, {"c2", "B", false}, {"c3", "A", false}, {"c4", "B", false}});
    QCOMPARE(m_ui->shownTiles().size(), 4);
    VuCameraClient* second = m_clients.at(1);
    ThreadSafeSpy destroyed(second, &VuCameraClient::destroyed);
    QPointer<VuCameraWidget> tile = m_ui->tileOf(second);
    m_ui->onCameraRemoved(second);
    QTRY_COMPARE(destroyed.count(), 1);
    QCOMPARE(m_ui->allTiles().size(), 3);
    // The rest move up and the last cell is a placeholder.
    QCOMPARE(m_ui->shownTiles().size(), 3);
    QCOMPARE(m_ui->placeholders().size(), 1);
    const QList<QRect> cells = MainWindowUI::cellGeometry(m_ui->gridArea()->size(), 2);
    QCOMPARE(m_ui->shownTiles().at(1)->geometry(), cells.at(1));
    QCOMPARE(m_ui->shownTiles().at(1)->client()->did(), QStringLiteral("c3"));
    QTRY_VERIFY(tile.isNull()); // deleted later
    // A client without a tile is still let go.
    ThreadSafeSpy again(second, &VuCameraClient::destroyed);
    m_ui->onCameraRemoved(second);
    QTRY_COMPARE(again.count(), 1);
}

void TstMainWindowGrid::removingTheLastCameraOfARoomDropsTheRoom()
{
    makeUi({{"c1", "A", false}, {"c2", "B", false}, {"c3", "A", false}});
    QVERIFY(m_ui->roomListBar()->selectRoom(QStringLiteral("B"), false));
    m_ui->onCameraRemoved(m_clients.at(1));
    QVERIFY(!m_ui->roomListBar()->hasRoom(QStringLiteral("B"), false));
    // Only room A is left: the bar selects it and the grid follows.
    QCOMPARE(m_ui->roomTiles().size(), 2);
    QCOMPARE(m_ui->shownTiles().size(), 2);
    for (VuCameraWidget* t : m_ui->shownTiles())
        QVERIFY(t->isVisible());
}

void TstMainWindowGrid::fullscreenAndBack()
{
    m_windowSize = QSize(760, 520); // inside the test screen, so it is put back as it was
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}, {"c4", "A", false},
            {"c5", "A", false}});
    m_ui->chooseGridMode(2);
    const QRect beforeRect = m_window->geometry();
    VuCameraWidget* tile = m_ui->shownTiles().at(3);
    // The tile's own button.
    QVERIFY(tile->ui());
    tile->ui()->fullscreenButton()->click();
    QVERIFY(m_ui->isFullscreen());
    QCOMPARE(m_ui->fullscreenTile(), tile);
    QCOMPARE(m_ui->pageMode(), 1);
    QVERIFY(m_ui->titleBar()->isHidden());
    QVERIFY(m_ui->leftBar()->isHidden());
    QVERIFY(m_ui->bottomBar()->isHidden());
    QCOMPARE(m_window->geometry(), m_window->screen()->geometry());
    QCOMPARE(m_ui->shownTiles(), QList<VuCameraWidget*>{tile});
    QTRY_COMPARE(tile->geometry(), MainWindowUI::cellGeometry(m_window->screen()->geometry().size(), 1).first());
    // Only the full-screen choice: the stored mode stays the user's.
    QCOMPARE(AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1), 3);

    tile->ui()->exitFullscreenButton()->click();
    QVERIFY(!m_ui->isFullscreen());
    QCOMPARE(m_ui->pageMode(), 3);
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), 2);
    QVERIFY(!m_ui->titleBar()->isHidden());
    QVERIFY(!m_ui->bottomBar()->isHidden());
    QTRY_COMPARE(m_window->geometry(), beforeRect);
    QCOMPARE(m_ui->shownTiles().size(), 5);
    QVERIFY(!tile->ui()->isFullscreenShown());
}

void TstMainWindowGrid::removedWhileFullscreenReturnsToTheGrid()
{
    m_windowSize = QSize(760, 520);
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}});
    const QRect beforeRect = m_window->geometry();
    VuCameraWidget* tile = m_ui->shownTiles().at(1);
    m_ui->enterFullscreen(tile);
    QVERIFY(m_ui->isFullscreen());
    QVERIFY(tile->ui()->isFullscreenShown());
    m_ui->onCameraRemoved(m_clients.at(1));
    QVERIFY(!m_ui->isFullscreen());
    QVERIFY(!m_ui->titleBar()->isHidden());
    QCOMPARE(m_ui->pageMode(), 2);
    QTRY_COMPARE(m_window->geometry(), beforeRect);
    QCOMPARE(m_ui->shownTiles().size(), 2);
    QCOMPARE(m_ui->placeholders().size(), 2);
}

void TstMainWindowGrid::pagingInFullscreenMovesOn()
{
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}});
    VuCameraWidget* first = m_ui->shownTiles().at(0);
    VuCameraWidget* second = m_ui->shownTiles().at(1);
    m_ui->enterFullscreen(first);
    m_ui->goToPage(m_ui->currentPage() + 1);
    QCOMPARE(m_ui->fullscreenTile(), second);
    QVERIFY(second->isVisible());
    QVERIFY(!first->isVisible());
    QVERIFY(second->ui()->isFullscreenShown());
    QVERIFY(!first->ui()->isFullscreenShown());
    m_ui->leaveFullscreen();
    QCOMPARE(m_ui->shownTiles().size(), 3);
}

void TstMainWindowGrid::listEventsInOtherStatesAreIgnored()
{
    makeUi({{"c1", "A", false}}, false);
    m_ui->setState(MainWindowUI::SigningIn);
    UiTest::clearWarnings();
    m_ui->onDeviceListLoaded(m_clients);
    QCOMPARE(m_ui->state(), int(MainWindowUI::SigningIn));
    QVERIFY(m_ui->allTiles().isEmpty());
    QVERIFY(UiTest::warnings().contains(QStringLiteral("ignore dev list error event for invalid status:3")));

    // An empty list is the no-camera page, and the first camera the grid.
    m_ui->setState(MainWindowUI::LoadingCameras);
    m_ui->onDeviceListLoaded({});
    QCOMPARE(m_ui->state(), int(MainWindowUI::NoCamera));
    QCOMPARE(m_ui->pageWidget()->objectName(), QStringLiteral("no_dev_page_"));
    m_ui->onDeviceListLoaded(m_clients);
    QCOMPARE(m_ui->state(), int(MainWindowUI::HasCamera));
    QCOMPARE(m_ui->pageWidget()->objectName(), QStringLiteral("has_dev_page_"));
    QCOMPARE(m_ui->allTiles().size(), 1);

    // Quitting: nothing more is shown.
    m_ui->setClosing(true);
    m_ui->onDeviceListLoaded({});
    QCOMPARE(m_ui->state(), int(MainWindowUI::HasCamera));
}

void TstMainWindowGrid::playAllStartsTheStoppedTilesOfThePage()
{
    makeUi({{"c1", "A", false}, {"c2", "A", false}, {"c3", "A", false}, {"c4", "A", false},
            {"c5", "A", false}});
    QCOMPARE(m_ui->pageMode(), 2);
    // One camera of the page asks for its pin code: it is left alone.
    auto* pin = static_cast<StandInTile*>(m_ui->shownTiles().at(1));
    pin->ui()->setState(VuCameraWidgetUI::Pincode);
    m_ui->playAllButton()->click();
    for (int i = 0; i < 4; ++i) {
        auto* t = static_cast<StandInTile*>(m_ui->shownTiles().at(i));
        QCOMPARE(t->plays, t == pin ? 0 : 1);
    }
    // The second page's camera was not shown, so it does not play.
    QCOMPARE(static_cast<StandInTile*>(m_ui->roomTiles().at(4))->plays, 0);
    // Playing tiles are not started twice.
    m_ui->playAllButton()->click();
    QCOMPARE(static_cast<StandInTile*>(m_ui->shownTiles().at(0))->plays, 1);
}

namespace {
quint32 crc32(const QByteArray& data)
{
    quint32 c = 0xFFFFFFFFu;
    for (unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// The start of a PNG file whose header claims w x h pixels.
QByteArray pngClaiming(quint32 w, quint32 h)
{
    auto be = [](quint32 v) {
        QByteArray b(4, 0);
        b[0] = char(v >> 24);
        b[1] = char(v >> 16);
        b[2] = char(v >> 8);
        b[3] = char(v);
        return b;
    };
    QByteArray ihdr = QByteArray("IHDR") + be(w) + be(h) + QByteArray("\x08\x02\x00\x00\x00", 5);
    const QByteArray idat("IDAT");
    const QByteArray iend("IEND");
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + be(13) + ihdr + be(crc32(ihdr)) + be(0) + idat
        + be(crc32(idat)) + be(0) + iend + be(crc32(iend));
}
} // namespace

void TstMainWindowGrid::userCardTakesOnlySanePictures()
{
    makeUi({{"c1", "A", false}});
    auto* icon = m_ui->userIcon();
    // A real picture.
    QImage face(64, 64, QImage::Format_RGB32);
    face.fill(Qt::red);
    QByteArray png;
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    face.save(&buf, "PNG");
    m_ui->setUserCard(QStringLiteral("Alex"), png);
    QVERIFY(!icon->isHidden());
    QCOMPARE(m_ui->userName(), QStringLiteral("Alex"));
    const QImage shown = icon->pixmap(Qt::ReturnByValue).toImage();
    QCOMPARE(QColor(shown.pixel(12, 12)), QColor(Qt::red));

    // A header that claims a picture of 8000 x 8000 pixels is not decoded.
    UiTest::clearWarnings();
    m_ui->setUserCard(QStringLiteral("Alex"), pngClaiming(8000, 8000));
    QVERIFY(UiTest::warnings().contains(QStringLiteral("user icon refused: it claims 8000x8000 pixels")));
    QVERIFY(!icon->pixmap(Qt::ReturnByValue).isNull()); // the default picture
    QVERIFY(QColor(icon->pixmap(Qt::ReturnByValue).toImage().pixel(12, 12)) != QColor(Qt::red));

    // Bytes that are no picture give the default one as well.
    m_ui->setUserCard(QStringLiteral("Alex"), QByteArray("not a picture"));
    QVERIFY(!icon->pixmap(Qt::ReturnByValue).isNull());
    // An empty card clears it.
    m_ui->setUserCard(QString(), QByteArray());
    QVERIFY(icon->isHidden() || !icon->isVisibleTo(m_window.get()));
}

QTEST_MAIN(TstMainWindowGrid)
#include "tst_mainwindowgrid.moc"
