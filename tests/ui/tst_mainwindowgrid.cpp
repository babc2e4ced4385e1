// The camera grid of the main window without a network, with tiles that
// stand in for the camera: start-up and cell geometry, page modes, paging,
// placeholders, rooms, cameras coming and going, full screen, "Play all", the
// user card and its menu.

#include "uitestsupport.h"

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
#include <QCursor>
#include <QScreen>
#include <QSignalSpy>
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

QString dids(const QList<VuCameraWidget*>& tiles)
{
    QStringList out;
    for (VuCameraWidget* t : tiles)
        out << t->client()->did();
    return out.join(QLatin1Char(' '));
}

int storedMode()
{
    return AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1);
}

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
    void pages_data();
    void pages();
    void roomsFilterTheGrid();
    void camerasComeAndGo();
    void fullscreenAndBack();
    void listEventsInOtherStates();
    void playAllStartsTheStoppedTilesOfThePage();
    void userCardAndMenu();

private:
    // Cameras "did:room ..." ("did:" no room, "did:*" shared without a room).
    void makeUi(const QString& cams, bool load = true);
    VuCameraClient* client(const QString& spec);
    QList<VuCameraClient*> m_clients;
    std::unique_ptr<QWidget> m_window;
    MainWindowUI* m_ui = nullptr;
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
    qDeleteAll(m_clients);
    m_clients.clear();
}

VuCameraClient* TstMainWindowGrid::client(const QString& spec)
{
    VuotCameraStat s;
    s.did = spec.section(QLatin1Char(':'), 0, 0);
    s.name = QStringLiteral("Camera ") + s.did;
    s.model = QStringLiteral("hovia.camera.v3");
    s.isOnline = true;
    const QString room = spec.section(QLatin1Char(':'), 1);
    s.shareFlag = room == QLatin1String("*") ? 1 : 0;
    auto* c = new VuCameraClient(s);
    c->setRoom(s.shareFlag ? QString() : room, QStringLiteral("living"));
    m_clients << c;
    return c;
}

void TstMainWindowGrid::makeUi(const QString& cams, bool load)
{
    if (!m_window) {
        m_window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
        m_window->resize(760, 520); // inside the test screen: full screen puts it back as it was
    }
    m_ui = new MainWindowUI(m_window.get(), 0);
    m_ui->setUserId(QStringLiteral("42"));
    m_ui->setTileFactory([](VuCameraClient* c, QWidget* parent) { return new StandInTile(c, parent); });
    for (const QString& spec : cams.split(QLatin1Char(' ')))
        client(spec);
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
    QList<QRect> tiny;
    for (int k = 0; k < 9; ++k) {
        nine << QRect(28 + (k % 3) * 310, 3 + (k / 3) * 207, 304, 201);
        tiny << QRect(44 + (k % 3) * 6, -26 + (k / 3) * 36, 0, 30);
    }
    QTest::newRow("9 in 980x622") << QSize(980, 622) << 3 << nine;
    QTest::newRow("9 in 100x50: empty pictures") << QSize(100, 50) << 3 << tiny;
    // Full screen on 1920 x 1080: one 16:9 picture as high as it can be.
    QTest::newRow("1 in 1920x1080") << QSize(1920, 1080) << 1 << QList<QRect>{QRect(32, 3, 1856, 1074)};
    QTest::newRow("0 (not chosen) is 1") << QSize(980, 622) << 0 << QList<QRect>{QRect(10, 26, 960, 570)};
}

void TstMainWindowGrid::cellGeometry()
{
    QFETCH(QSize, area);
    QFETCH(int, mode);
    QFETCH(QList<QRect>, cells);
    const QList<QRect> got = MainWindowUI::cellGeometry(area, mode);
    QCOMPARE(got, cells);
    for (const QRect& r : got) // 16:9 pictures of the sizes the decoder wants
        QVERIFY(r.width() % 16 == 0 && (r.height() - 30) % 9 == 0);
}

void TstMainWindowGrid::pages_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("cameras");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("lastPage"); // tiles and placeholders of the last page
    QTest::newRow("one camera, nothing stored") << 0 << 1 << 1 << 1 << "c1";
    QTest::newRow("two cameras, nothing stored") << 0 << 2 << 2 << 1 << "c1 c2 _ _";
    QTest::newRow("stored 9-grid, one camera") << 3 << 1 << 3 << 1 << "c1 _ _ _ _ _ _ _ _";
    QTest::newRow("stored value out of range") << 7 << 3 << 2 << 1 << "c1 c2 c3 _";
    QTest::newRow("four in the 4-grid") << 2 << 4 << 2 << 1 << "c1 c2 c3 c4";
    QTest::newRow("seven in the 4-grid") << 2 << 7 << 2 << 2 << "c5 c6 c7 _";
    QTest::newRow("nine in the 9-grid") << 3 << 9 << 3 << 1 << "c1 c2 c3 c4 c5 c6 c7 c8 c9";
    QTest::newRow("eight in the 4-grid") << 2 << 8 << 2 << 2 << "c5 c6 c7 c8";
}

void TstMainWindowGrid::pages()
{
    QFETCH(int, stored);
    QFETCH(int, cameras);
    QFETCH(int, mode);
    QFETCH(int, pages);
    QFETCH(QString, lastPage);
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), stored);
    QStringList cams;
    for (int i = 1; i <= cameras; ++i)
        cams << QStringLiteral("c%1:A").arg(i);
    makeUi(cams.join(QLatin1Char(' ')));
    QCOMPARE(m_ui->state(), int(MainWindowUI::HasCamera));
    QCOMPARE(m_ui->pageMode(), mode);
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), mode - 1);
    QCOMPARE(m_ui->pageCount(), pages);
    QCOMPARE(m_ui->navigateBar()->pageCount(), pages);
    // The navigation bar's last page; a page past the end is refused.
    const QList<VuCameraWidget*> first = m_ui->shownTiles();
    emit m_ui->navigateBar()->onPageNumberChanged(pages);
    emit m_ui->navigateBar()->onPageNumberChanged(pages + 1);
    QCOMPARE(m_ui->currentPage(), pages - 1);
    QString shown = dids(m_ui->shownTiles());
    for (int i = 0; i < m_ui->placeholders().size(); ++i)
        shown += shown.isEmpty() ? QStringLiteral("_") : QStringLiteral(" _");
    QCOMPARE(shown, lastPage);
    // In their cells: the window less the bars (760 x 520 less 120 and 30 + 48).
    const QList<QRect> cells = MainWindowUI::cellGeometry(QSize(640, 442), mode);
    for (int k = 0; k < mode * mode; ++k)
        QCOMPARE(k < m_ui->shownTiles().size() ? m_ui->shownTiles().at(k)->geometry()
                                               : m_ui->placeholders().at(k - m_ui->shownTiles().size())->geometry(),
                 cells.at(k));
    for (VuCameraWidget* t : m_ui->allTiles())
        QCOMPARE(t->isVisible(), m_ui->shownTiles().contains(t));
    for (QWidget* p : m_ui->placeholders())
        QVERIFY(p->isVisible());
    if (pages > 1)
        QCOMPARE(m_ui->anchorTile(), m_ui->roomTiles().at((pages - 1) * mode * mode));
    // Only the user's own choice is stored.
    QCOMPARE(storedMode(), stored);
    m_ui->chooseGridMode(2);
    QCOMPARE(storedMode(), 3);
    QCOMPARE(m_ui->shownTiles().size(), qMin(cameras, 9));
    QVERIFY(first.isEmpty() || first.first()->isVisible());
}

void TstMainWindowGrid::roomsFilterTheGrid()
{
    makeUi(QStringLiteral("c1:A c2:B c3:A c4: c5:*"));
    RoomListBar* bar = m_ui->roomListBar();
    QCOMPARE(bar->buttonTexts().join(QLatin1Char('|')), QStringLiteral("A|B|Default Room|Shared|All Rooms"));
    QCOMPARE(dids(m_ui->roomTiles()), QStringLiteral("c1 c2 c3 c4 c5"));
    const struct { const char* room; bool shared; const char* tiles; } rooms[] = {
        {"A", false, "c1 c3"}, {"", false, "c4"}, {"", true, "c5"}, {"B", false, "c2"}};
    for (const auto& r : rooms) {
        QVERIFY(bar->selectRoom(QLatin1String(r.room), r.shared));
        QCOMPARE(dids(m_ui->roomTiles()), QLatin1String(r.tiles));
        QCOMPARE(dids(m_ui->shownTiles()), QLatin1String(r.tiles));
        for (VuCameraWidget* t : m_ui->allTiles())
            QCOMPARE(t->isVisible(), m_ui->roomTiles().contains(t));
    }
    QCOMPARE(m_ui->placeholders().size(), 3);
    // The choice is kept per user.
    QCOMPARE(AppInfo::instance()->getString(QStringLiteral("user_42"), QStringLiteral("room_name"), QString()),
             QStringLiteral("B"));
}

void TstMainWindowGrid::camerasComeAndGo()
{
    makeUi(QStringLiteral("c1:A c2:B c3:A c4:A"));
    QVERIFY(m_ui->roomListBar()->selectRoom(QStringLiteral("A"), false));
    // Outside the selected room: a hidden tile; a new room brings its button.
    for (const char* spec : {"c5:B", "c6:Garden"}) {
        VuCameraClient* late = client(QLatin1String(spec));
        m_ui->onCameraAdded(late);
        m_ui->onCameraAdded(late); // the same client twice makes no second tile
        QVERIFY(m_ui->tileOf(late) && !m_ui->tileOf(late)->isVisible());
    }
    QCOMPARE(m_ui->allTiles().size(), 6);
    QVERIFY(m_ui->roomListBar()->hasRoom(QStringLiteral("Garden"), false));
    QVERIFY(m_ui->roomListBar()->isSelected(QStringLiteral("A"), false));
    QCOMPARE(dids(m_ui->shownTiles()), QStringLiteral("c1 c3 c4"));

    // A removed camera's gap closes; its client is let go, its tile deleted.
    QSignalSpy destroyed(m_clients.at(2), &VuCameraClient::destroyed);
    QPointer<VuCameraWidget> tile = m_ui->tileOf(m_clients.at(2));
    m_ui->onCameraRemoved(m_clients.at(2));
    QCOMPARE(dids(m_ui->shownTiles()), QStringLiteral("c1 c4"));
    QCOMPARE(m_ui->shownTiles().at(1)->geometry(), MainWindowUI::cellGeometry(m_ui->gridArea()->size(), 2).at(1));
    QTRY_VERIFY(destroyed.count() == 1 && tile.isNull());
    // The last camera of the selected room: the room goes, the bar selects
    // the first named room and the grid follows.
    m_ui->onCameraRemoved(m_clients.at(0));
    m_ui->onCameraRemoved(m_clients.at(3));
    QVERIFY(!m_ui->roomListBar()->hasRoom(QStringLiteral("A"), false));
    QCOMPARE(dids(m_ui->shownTiles()), QStringLiteral("c2 c5"));
    // A client without a tile is still let go.
    VuCameraClient* stray = client(QStringLiteral("c9:A"));
    QSignalSpy strayGone(stray, &VuCameraClient::destroyed);
    m_ui->onCameraRemoved(stray);
    QTRY_COMPARE(strayGone.count(), 1);
}

void TstMainWindowGrid::fullscreenAndBack()
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 2);
    makeUi(QStringLiteral("c1:A c2:A c3:A c4:A c5:A"));
    m_ui->chooseGridMode(2);
    const QRect normal = m_window->geometry();
    VuCameraWidget* tile = m_ui->shownTiles().at(3);
    tile->ui()->fullscreenButton()->click();
    QCOMPARE(m_ui->fullscreenTile(), tile);
    QCOMPARE(m_ui->pageMode(), 1);
    QVERIFY(m_ui->titleBar()->isHidden() && m_ui->leftBar()->isHidden() && m_ui->bottomBar()->isHidden());
    QCOMPARE(m_window->geometry(), m_window->screen()->geometry());
    QCOMPARE(m_ui->shownTiles(), QList<VuCameraWidget*>{tile});
    QCOMPARE(tile->geometry(), MainWindowUI::cellGeometry(m_window->screen()->geometry().size(), 1).first());
    QCOMPARE(storedMode(), 3); // the user's mode stays stored
    // Paging moves the full screen on to the next camera.
    m_ui->goToPage(m_ui->currentPage() + 1);
    QCOMPARE(m_ui->fullscreenTile(), m_ui->roomTiles().at(4));
    QVERIFY(!tile->isVisible() && !tile->ui()->isFullscreenShown());
    tile = m_ui->fullscreenTile();
    QVERIFY(tile->isVisible() && tile->ui()->isFullscreenShown());

    tile->ui()->exitFullscreenButton()->click();
    QVERIFY(!m_ui->isFullscreen());
    QCOMPARE(m_ui->pageMode(), 3);
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), 2);
    QVERIFY(!m_ui->titleBar()->isHidden() && !m_ui->bottomBar()->isHidden());
    QTRY_COMPARE(m_window->geometry(), normal);
    QCOMPARE(m_ui->shownTiles().size(), 5);
    QVERIFY(!tile->ui()->isFullscreenShown());

    // The full-screen camera leaves: back to the grid as it was.
    m_ui->enterFullscreen(tile);
    m_ui->onCameraRemoved(tile->client());
    QVERIFY(!m_ui->isFullscreen() && !m_ui->titleBar()->isHidden());
    QCOMPARE(m_ui->pageMode(), 3);
    QTRY_COMPARE(m_window->geometry(), normal);
    QCOMPARE(dids(m_ui->shownTiles()), QStringLiteral("c1 c2 c3 c4"));
}

void TstMainWindowGrid::listEventsInOtherStates()
{
    makeUi(QStringLiteral("c1:A"), false);
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
    m_ui->onCameraAdded(m_clients.first());
    QCOMPARE(m_ui->state(), int(MainWindowUI::HasCamera));
    QCOMPARE(m_ui->allTiles().size(), 1);
    // Quitting: nothing more is shown.
    m_ui->setClosing(true);
    m_ui->onDeviceListLoaded({});
    QCOMPARE(m_ui->state(), int(MainWindowUI::HasCamera));
}

void TstMainWindowGrid::playAllStartsTheStoppedTilesOfThePage()
{
    makeUi(QStringLiteral("c1:A c2:A c3:A c4:A c5:A"));
    auto plays = [this](int i) { return static_cast<StandInTile*>(m_ui->roomTiles().at(i))->plays; };
    // One camera of the page asks for its pin code: it is left alone; the
    // second page's camera is not shown, so it does not play.
    m_ui->roomTiles().at(1)->ui()->setState(VuCameraWidgetUI::Pincode);
    m_ui->playAllButton()->click();
    m_ui->playAllButton()->click(); // playing tiles are not started twice
    QCOMPARE(QList<int>({plays(0), plays(1), plays(2), plays(3), plays(4)}), QList<int>({1, 0, 1, 1, 0}));
}

void TstMainWindowGrid::userCardAndMenu()
{
    makeUi(QStringLiteral("c1:A"));
    MLabel* icon = m_ui->userIcon();
    auto png = [](int side) { // red, cheap even when huge
        QImage face(side, side, QImage::Format_Mono);
        face.setColorTable({qRgb(255, 0, 0), qRgb(255, 0, 0)});
        face.fill(0);
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        face.save(&buf, "PNG");
        return bytes;
    };
    m_ui->setUserCard(QStringLiteral("Alex"), png(64));
    QVERIFY(icon->isVisible());
    QCOMPARE(m_ui->userName(), QStringLiteral("Alex"));
    QCOMPARE(QColor(icon->pixmap(Qt::ReturnByValue).toImage().pixel(12, 12)), QColor(Qt::red));

    // The menu stays while the mouse is over the icon (the hide timer runs
    // at 0 ms here), and hides once it left.
    QCursor::setPos(icon->mapToGlobal(icon->rect().center()));
    m_ui->showUserMenu();
    QPointer<SettingMenu> menu = m_ui->settingMenu();
    QVERIFY(menu && menu->isVisible());
    QTimer later;
    later.setSingleShot(true);
    QSignalSpy synced(&later, &QTimer::timeout);
    later.start(0);
    QVERIFY(synced.wait());
    QCOMPARE(m_ui->settingMenu(), menu.data());
    QCursor::setPos(m_window->mapToGlobal(QPoint(m_window->width() / 2, m_window->height() - 5)));
    QTRY_VERIFY(!m_ui->settingMenu() && menu.isNull());

    // A picture that claims 8000 x 8000 pixels is not decoded, bytes that are
    // no picture neither: the default picture.
    UiTest::clearWarnings();
    for (const QByteArray& bad : {png(8000), QByteArray("not a picture")}) {
        m_ui->setUserCard(QStringLiteral("Alex"), bad);
        QVERIFY(QColor(icon->pixmap(Qt::ReturnByValue).toImage().pixel(12, 12)) != QColor(Qt::red));
    }
    QVERIFY(UiTest::warnings().contains(QStringLiteral("user icon refused: it claims 8000x8000 pixels")));
    // An empty card clears it, menu and all.
    m_ui->showUserMenu();
    m_ui->setUserCard(QString(), QByteArray());
    QVERIFY(!icon->isVisible() && !m_ui->settingMenu());
}

QTEST_MAIN(TstMainWindowGrid)
#include "tst_mainwindowgrid.moc"
