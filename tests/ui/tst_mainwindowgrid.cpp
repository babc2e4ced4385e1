// The camera grid of the main window with tiles that stand in for the camera:
// geometry, pages, rooms, the left list following its cameras, cameras coming
// and going, full screen, "Play all", resizing by the frame, the user card and
// its menu.

#include "uitestsupport.h"

#include "core/appinfo.h"
#include "client/vucameraclient.h"
#include "ui/cameralistbar.h"
#include "ui/mainwindowui.h"
#include "ui/mlabel.h"
#include "ui/mnavigatebar.h"
#include "ui/roomlistbar.h"
#include "ui/titlebar.h"
#include "ui/viewmodewidget.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"
#include "tests/support/threadsafespy.h"

#include <QtTest>
#include <QtWidgets>

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
    QPixmap clientGrabFrame(FrameInfo&, bool&) override { return QPixmap(); }
};

void mouse(QWidget* w, QEvent::Type type, const QPoint& local, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

int storedMode()
{
    return AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1);
}

void storeMode(int mode)
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), mode);
}
} // namespace

class TstMainWindowGrid : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        UiTest::setUp();
    }
    void init();
    void cleanup();
    void cellGeometry_data();
    void cellGeometry();
    void pages_data();
    void pages();
    void roomsFilterTheGrid();
    void leftListFollowsTheCameras();
    void camerasComeAndGo();
    void fullscreenAndBack();
    void playAllStartsTheStoppedTilesOfThePage();
    void resizingTakesTheRubberBandOnRelease();
    void userCardAndMenu();

private:
    // Cameras "did:room ..." ("did:" no room, "did:*" shared without a room).
    void makeUi(const QString& cams);
    VuCameraClient* client(const QString& entry);
    // The shown page, "c1 c2 _ _" (placeholders "_"), or what is wrong with it.
    QString page() const;
    QList<VuCameraClient*> m_clients;
    std::unique_ptr<QWidget> m_window;
    MainWindowUI* m_ui = nullptr;
};

void TstMainWindowGrid::init()
{
    storeMode(0);
    AppInfo::instance()->setString(QStringLiteral("user_42"), QStringLiteral("room_type"), QStringLiteral("all"));
}

void TstMainWindowGrid::cleanup()
{
    m_window.reset(); // the ui and the tiles with it
    qDeleteAll(m_clients);
    m_clients.clear();
}

VuCameraClient* TstMainWindowGrid::client(const QString& entry)
{
    VuotCameraStat s;
    s.did = entry.section(QLatin1Char(':'), 0, 0);
    s.name = QStringLiteral("Camera ") + s.did;
    s.model = QStringLiteral("hovia.camera.v3");
    s.isOnline = true;
    const QString room = entry.section(QLatin1Char(':'), 1);
    s.shareFlag = room == QLatin1String("*") ? 1 : 0;
    m_clients << new VuCameraClient(s);
    m_clients.last()->setRoom(s.shareFlag ? QString() : room, QStringLiteral("living"));
    return m_clients.last();
}

void TstMainWindowGrid::makeUi(const QString& cams)
{
    m_window = std::make_unique<QWidget>(nullptr, Qt::FramelessWindowHint);
    m_window->resize(760, 520); // inside the test screen: full screen puts it back as it was
    m_ui = new MainWindowUI(m_window.get(), 0);
    m_ui->setUserId(QStringLiteral("42"));
    m_ui->setTileFactory([](VuCameraClient* c, QWidget* parent) { return new StandInTile(c, parent); });
    for (const QString& entry : cams.split(QLatin1Char(' ')))
        client(entry);
    m_window->show();
    m_ui->setState(MainWindowUI::LoadingCameras);
    m_ui->onDeviceListLoaded(m_clients);
}

QString TstMainWindowGrid::page() const
{
    // The cells: the window less the bars (120 wide at the left; the title,
    // the rooms above the grid and the bottom bar 30 + 40 + 48 high).
    const QList<QRect> cells = MainWindowUI::cellGeometry(m_window->size() - QSize(120, 118), m_ui->pageMode());
    const QList<VuCameraWidget*> shown = m_ui->shownTiles();
    QList<QWidget*> taken(shown.cbegin(), shown.cend());
    taken += m_ui->placeholders();
    QStringList out;
    for (int k = 0; k < taken.size(); ++k) {
        if (!taken[k]->isVisible() || taken[k]->geometry() != cells.value(k))
            return QStringLiteral("slot %1 hidden or out of place").arg(k);
        out << (k < shown.size() ? shown[k]->client()->did() : QStringLiteral("_"));
    }
    for (VuCameraWidget* t : m_ui->allTiles()) {
        if (t->isVisible() && !shown.contains(t))
            return t->client()->did() + QStringLiteral(" shown off the page");
    }
    return out.join(QLatin1Char(' '));
}

void TstMainWindowGrid::cellGeometry_data()
{
    QTest::addColumn<QSize>("area");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QRect>>("cells");
    QTest::newRow("4 in 980x622") << QSize(980, 622) << 2
                                  << QList<QRect>{QRect(7, 8, 480, 300), QRect(493, 8, 480, 300),
                                                  QRect(7, 314, 480, 300), QRect(493, 314, 480, 300)};
    QList<QRect> nine;
    for (int k = 0; k < 9; ++k)
        nine << QRect(28 + (k % 3) * 310, 3 + (k / 3) * 207, 304, 201);
    QTest::newRow("9 in 980x622") << QSize(980, 622) << 3 << nine;
    // Full screen on 1920 x 1080: one 16:9 picture as high as it can be.
    QTest::newRow("1 in 1920x1080") << QSize(1920, 1080) << 1 << QList<QRect>{QRect(32, 3, 1856, 1074)};
}

void TstMainWindowGrid::cellGeometry()
{
    QFETCH(QSize, area);
    QFETCH(int, mode);
    QFETCH(QList<QRect>, cells);
    QCOMPARE(MainWindowUI::cellGeometry(area, mode), cells);
    for (const QRect& r : cells) // 16:9 pictures of the sizes the decoder wants
        QVERIFY(r.width() % 16 == 0 && (r.height() - 30) % 9 == 0);
}

void TstMainWindowGrid::pages_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("cameras");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("lastPage");
    QTest::newRow("one camera, nothing stored") << 0 << 1 << 1 << 1 << "c1";
    QTest::newRow("two cameras, nothing stored") << 0 << 2 << 2 << 1 << "c1 c2 _ _";
    QTest::newRow("stored 9-grid, one camera") << 3 << 1 << 3 << 1 << "c1 _ _ _ _ _ _ _ _";
    QTest::newRow("stored value out of range") << 7 << 3 << 2 << 1 << "c1 c2 c3 _";
    QTest::newRow("four in the 4-grid") << 2 << 4 << 2 << 1 << "c1 c2 c3 c4";
    QTest::newRow("seven in the 4-grid") << 2 << 7 << 2 << 2 << "c5 c6 c7 _";
    QTest::newRow("eight in the 4-grid") << 2 << 8 << 2 << 2 << "c5 c6 c7 c8";
    QTest::newRow("nine in the 9-grid") << 3 << 9 << 3 << 1 << "c1 c2 c3 c4 c5 c6 c7 c8 c9";
}

void TstMainWindowGrid::pages()
{
    QFETCH(int, stored);
    QFETCH(int, cameras);
    QFETCH(int, mode);
    QFETCH(int, pages);
    QFETCH(QString, lastPage);
    storeMode(stored);
    QStringList cams;
    for (int i = 1; i <= cameras; ++i)
        cams << QStringLiteral("c%1:A").arg(i);
    makeUi(cams.join(QLatin1Char(' ')));
    QCOMPARE(m_ui->pageMode(), mode);
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), mode - 1);
    QCOMPARE(m_ui->pageCount(), pages);
    QCOMPARE(m_ui->navigateBar()->pageCount(), pages);
    // The navigation bar's last page; a page past the end is refused.
    emit m_ui->navigateBar()->onPageNumberChanged(pages);
    emit m_ui->navigateBar()->onPageNumberChanged(pages + 1);
    QCOMPARE(m_ui->currentPage(), pages - 1);
    QCOMPARE(page(), lastPage);
    // Only the user's own choice is stored.
    QCOMPARE(storedMode(), stored);
    m_ui->chooseGridMode(2);
    QCOMPARE(storedMode(), 3);
    QCOMPARE(m_ui->shownTiles().size(), qMin(cameras, 9));
}

void TstMainWindowGrid::roomsFilterTheGrid()
{
    makeUi(QStringLiteral("c1:A c2:B c3:A c4: c5:*"));
    RoomListBar* bar = m_ui->roomListBar();
    QCOMPARE(bar->buttonTexts().join(QLatin1Char('|')), QStringLiteral("A|B|Default Room|Shared|All Rooms"));
    // Above the grid, right of the left bar, across the grid's width.
    QCOMPARE(bar->geometry().size(), QSize(760 - 120, 40));
    QCOMPARE(bar->mapTo(m_window.get(), QPoint()), QPoint(120, 30));
    QCOMPARE(page(), QStringLiteral("c1 c2 c3 c4"));
    const struct { const char* room; bool shared; const char* tiles; } rooms[] = {
        {"A", false, "c1 c3 _ _"}, {"", false, "c4 _ _ _"}, {"", true, "c5 _ _ _"}, {"B", false, "c2 _ _ _"}};
    for (const auto& r : rooms) {
        QVERIFY(bar->selectRoom(QLatin1String(r.room), r.shared));
        QCOMPARE(page(), QLatin1String(r.tiles));
    }
    // The choice is kept per user.
    QCOMPARE(AppInfo::instance()->getString(QStringLiteral("user_42"), QStringLiteral("room_name"), QString()),
             QStringLiteral("B"));
}

void TstMainWindowGrid::leftListFollowsTheCameras()
{
    makeUi(QStringLiteral("c1:A c2:A c3:B"));
    auto* left = static_cast<CameraListBar*>(m_ui->leftBar());
    QCOMPARE(left->countText(), QStringLiteral("3 cameras, 3 online"));
    const QPointer<QPushButton> second = left->item(1);
    // Offline and renamed (a long name): the item changes in place, at once.
    VuotCameraStat s;
    s.did = QStringLiteral("c2");
    s.name = QStringLiteral("Neighbour's porch at the back of the garden");
    s.model = QStringLiteral("hovia.camera.v3");
    m_clients.at(1)->setInfo(s);
    QTRY_COMPARE(left->countText(), QStringLiteral("3 cameras, 2 online"));
    QTRY_COMPARE(left->item(1)->toolTip(), s.name);
    QCOMPARE(left->item(1), second.data());
    QVERIFY(!second->property("online").toBool() && left->item(0)->property("online").toBool());
    QVERIFY(second->text().endsWith(QChar(0x2026)) && second->fontMetrics().horizontalAdvance(second->text()) <= 86);
    s.isOnline = true;
    m_clients.at(1)->setInfo(s);
    QTRY_COMPARE(left->countText(), QStringLiteral("3 cameras, 3 online"));
    QVERIFY(second->property("online").toBool());
    // Added and removed.
    m_ui->onCameraAdded(client(QStringLiteral("c4:B")));
    QCOMPARE(left->countText(), QStringLiteral("4 cameras, 4 online"));
    m_ui->onCameraRemoved(m_clients.at(0));
    QCOMPARE(left->countText(), QStringLiteral("3 cameras, 3 online"));
    QCOMPARE(left->item(2)->toolTip(), QStringLiteral("Camera c4"));
    QVERIFY(!left->item(3));
}

void TstMainWindowGrid::camerasComeAndGo()
{
    makeUi(QStringLiteral("c1:A c2:B c3:A c4:A"));
    QVERIFY(m_ui->roomListBar()->selectRoom(QStringLiteral("A"), false));
    // Outside the selected room: a hidden tile; a new room brings its button.
    for (const char* entry : {"c5:B", "c6:Garden"}) {
        VuCameraClient* late = client(QLatin1String(entry));
        m_ui->onCameraAdded(late);
        m_ui->onCameraAdded(late); // the same client twice makes no second tile
    }
    QCOMPARE(m_ui->allTiles().size(), 6);
    QVERIFY(m_ui->roomListBar()->hasRoom(QStringLiteral("Garden"), false));
    QCOMPARE(page(), QStringLiteral("c1 c3 c4 _"));
    // A removed camera's gap closes; its client is let go, its tile deleted.
    ThreadSafeSpy destroyed(m_clients.at(2), &VuCameraClient::destroyed);
    QPointer<VuCameraWidget> tile = m_ui->tileOf(m_clients.at(2));
    m_ui->onCameraRemoved(m_clients.at(2));
    QCOMPARE(page(), QStringLiteral("c1 c4 _ _"));
    QTRY_VERIFY(destroyed.count() == 1 && tile.isNull());
    // The selected room's last camera: the room goes, the first named room is shown.
    m_ui->onCameraRemoved(m_clients.at(0));
    m_ui->onCameraRemoved(m_clients.at(3));
    QVERIFY(!m_ui->roomListBar()->hasRoom(QStringLiteral("A"), false));
    QCOMPARE(page(), QStringLiteral("c2 c5 _ _"));
    // A client without a tile is still let go.
    VuCameraClient* stray = client(QStringLiteral("c9:A"));
    ThreadSafeSpy strayGone(stray, &VuCameraClient::destroyed);
    m_ui->onCameraRemoved(stray);
    QTRY_COMPARE(strayGone.count(), 1);
}

void TstMainWindowGrid::fullscreenAndBack()
{
    storeMode(3);
    makeUi(QStringLiteral("c1:A c2:A c3:A c4:A c5:A"));
    const QRect normal = m_window->geometry();
    VuCameraWidget* tile = m_ui->shownTiles().at(3);
    tile->ui()->fullscreenButton()->click();
    QCOMPARE(m_ui->fullscreenTile(), tile);
    QCOMPARE(m_ui->pageMode(), 1);
    QVERIFY(m_ui->titleBar()->isHidden() && m_ui->leftBar()->isHidden() && m_ui->bottomBar()->isHidden()
            && m_ui->roomListBar()->isHidden());
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
    m_ui->goToPage(m_ui->currentPage() + 1); // the last camera: no further
    QCOMPARE(m_ui->fullscreenTile(), tile);
    // Back: the mode, the bars and the window as they were.
    tile->ui()->exitFullscreenButton()->click();
    QVERIFY(!m_ui->isFullscreen() && !tile->ui()->isFullscreenShown());
    QCOMPARE(m_ui->viewModeWidget()->currentIndex(), 2);
    QVERIFY(!m_ui->titleBar()->isHidden() && !m_ui->bottomBar()->isHidden());
    QTRY_COMPARE(m_window->geometry(), normal);
    QCOMPARE(page(), QStringLiteral("c1 c2 c3 c4 c5 _ _ _ _"));
    // The full-screen camera leaves: back to the grid as well.
    m_ui->enterFullscreen(tile);
    m_ui->onCameraRemoved(tile->client());
    QVERIFY(!m_ui->isFullscreen() && !m_ui->titleBar()->isHidden());
    QTRY_COMPARE(m_window->geometry(), normal);
    QCOMPARE(page(), QStringLiteral("c1 c2 c3 c4 _ _ _ _ _"));
}

void TstMainWindowGrid::playAllStartsTheStoppedTilesOfThePage()
{
    makeUi(QStringLiteral("c1:A c2:A c3:A c4:A c5:A"));
    auto plays = [this](int i) { return static_cast<StandInTile*>(m_ui->roomTiles().at(i))->plays; };
    // Not the camera asking for its pin code, nor the one on the second page.
    m_ui->roomTiles().at(1)->ui()->setState(VuCameraWidgetUI::Pincode);
    m_ui->playAllButton()->click();
    m_ui->playAllButton()->click(); // playing tiles are not started twice
    QCOMPARE(QList<int>({plays(0), plays(1), plays(2), plays(3), plays(4)}), QList<int>({1, 0, 1, 1, 0}));
}

void TstMainWindowGrid::resizingTakesTheRubberBandOnRelease()
{
    makeUi(QStringLiteral("c1:A c2:A c3:A c4:A"));
    QWidget* w = m_window.get();
    // The frame sizes each playing camera's decoder is told.
    std::vector<std::unique_ptr<QSignalSpy>> sizes;
    for (VuCameraWidget* t : m_ui->shownTiles()) {
        t->ui()->setState(VuCameraWidgetUI::Playing);
        sizes.push_back(std::make_unique<QSignalSpy>(t->client(), &VuCameraClient::setVideoFrameSize_s));
    }
    auto told = [&sizes] {
        QList<int> n;
        for (const auto& spy : sizes)
            n << spy->count();
        return n;
    };
    const QRect start = w->geometry();
    const QPoint corner(w->width() - 2, w->height() - 2);
    mouse(w, QEvent::MouseButtonPress, corner, Qt::LeftButton);
    for (int step = 1; step <= 4; ++step)
        mouse(w, QEvent::MouseMove, corner + QPoint(10, 8) * step, Qt::LeftButton);
    // The band shows the new frame; the window and the tiles wait.
    QRubberBand* band = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        band = band ? band : qobject_cast<QRubberBand*>(top);
    QVERIFY(band && band->isVisible());
    QCOMPARE(band->geometry(), start.adjusted(0, 0, 40, 32));
    QCOMPARE(w->geometry(), start);
    QCOMPARE(told(), QList<int>({0, 0, 0, 0}));
    mouse(w, QEvent::MouseButtonRelease, corner + QPoint(40, 32), Qt::NoButton);
    QVERIFY(!band->isVisible());
    QCOMPARE(w->geometry(), start.adjusted(0, 0, 40, 32));
    QCOMPARE(page(), QStringLiteral("c1 c2 c3 c4"));
    QCOMPARE(told(), QList<int>({1, 1, 1, 1}));
    QCOMPARE(sizes.front()->first(), (QList<QVariant>{m_ui->shownTiles().first()->ui()->videoSize().width(),
                                                      m_ui->shownTiles().first()->ui()->videoSize().height()}));
    // Moving by the title is live.
    mouse(w, QEvent::MouseButtonPress, QPoint(300, 10), Qt::LeftButton);
    mouse(w, QEvent::MouseMove, QPoint(320, 25), Qt::LeftButton);
    QCOMPARE(w->pos(), start.topLeft() + QPoint(20, 15));
    mouse(w, QEvent::MouseButtonRelease, QPoint(320, 25), Qt::NoButton);
    // Maximised by the title bar: the work area, not dragged; restored exactly.
    const QRect before = w->geometry();
    const QRect work = w->screen()->availableGeometry();
    m_ui->titleBar()->findChild<QPushButton*>(QStringLiteral("max_btn_"))->click();
    QTRY_COMPARE(w->geometry(), work);
    for (const QPoint& p : {QPoint(300, 10), QPoint(work.width() - 2, work.height() - 2)}) {
        mouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton);
        mouse(w, QEvent::MouseMove, p - QPoint(40, 30), Qt::LeftButton);
        mouse(w, QEvent::MouseButtonRelease, p - QPoint(40, 30), Qt::NoButton);
    }
    QCOMPARE(w->geometry(), work);
    m_ui->titleBar()->findChild<QPushButton*>(QStringLiteral("restore_btn_"))->click();
    QTRY_COMPARE(w->geometry(), before);
    QCOMPARE(page(), QStringLiteral("c1 c2 c3 c4"));
}

void TstMainWindowGrid::userCardAndMenu()
{
    makeUi(QStringLiteral("c1:A"));
    MLabel* icon = m_ui->userIcon();
    auto png = [](int side, int height = 0) { // red, and small even when huge
        QImage face(side, height ? height : side, QImage::Format_Mono);
        face.setColorTable({qRgb(255, 0, 0), qRgb(255, 0, 0)});
        face.fill(0);
        QByteArray bytes;
        QBuffer buf(&bytes);
        buf.open(QIODevice::WriteOnly);
        face.save(&buf, "PNG");
        return bytes;
    };
    auto centre = [icon] { return QColor(icon->pixmap(Qt::ReturnByValue).toImage().pixel(12, 12)); };
    m_ui->setUserCard(QStringLiteral("Alex"), png(1024)); // the largest decoded
    QVERIFY(icon->isVisible());
    QCOMPARE(m_ui->userName(), QStringLiteral("Alex"));
    QCOMPARE(centre(), QColor(Qt::red));
    // A popup inside the window, at y = 48 under the icon; it stays while the
    // mouse is over the icon (0 ms hide timer).
    QCursor::setPos(icon->mapToGlobal(icon->rect().center()));
    m_ui->showUserMenu();
    QPointer<SettingMenu> menu = m_ui->settingMenu();
    QVERIFY(menu && menu->isVisible() && !menu->isWindow() && menu->parentWidget() == m_window.get());
    QCOMPARE(menu->y(), 48);
    const int iconX = icon->mapTo(m_window.get(), icon->rect().center()).x();
    QVERIFY(menu->x() <= iconX && iconX <= menu->geometry().right());
    QVERIFY(UiTest::sync()); // the menu's timer has fired
    QCOMPARE(m_ui->settingMenu(), menu.data());
    // Leaving the icon for the menu keeps it; leaving the menu hides it.
    QEvent leave(QEvent::Leave);
    QCursor::setPos(menu->mapToGlobal(menu->rect().center()));
    QApplication::sendEvent(icon, &leave);
    QVERIFY(UiTest::sync());
    QCOMPARE(m_ui->settingMenu(), menu.data());
    const QPoint away = m_window->mapToGlobal(QPoint(380, 515));
    QCursor::setPos(away);
    QApplication::sendEvent(menu, &leave);
    QTRY_VERIFY(!m_ui->settingMenu() && menu.isNull());
    // Leaving the icon for elsewhere hides it; hidden any other way it goes too.
    for (bool byLeave : {true, false}) {
        QCursor::setPos(icon->mapToGlobal(icon->rect().center()));
        m_ui->showUserMenu();
        menu = m_ui->settingMenu();
        QCursor::setPos(away);
        byLeave ? void(QApplication::sendEvent(icon, &leave)) : menu->hide();
        QTRY_VERIFY(!m_ui->settingMenu() && menu.isNull());
    }
    // A pixel too wide or too high, or no picture at all: the default picture.
    UiTest::clearWarnings();
    for (const QByteArray& bad : {png(1025, 1), png(1, 1025), QByteArray("not a picture")}) {
        m_ui->setUserCard(QStringLiteral("Alex"), png(64));
        m_ui->setUserCard(QStringLiteral("Alex"), bad);
        QVERIFY(centre() != QColor(Qt::red));
    }
    QVERIFY(UiTest::warnings().contains(QStringLiteral("user icon refused: it claims 1025x1 pixels")));
    // An empty card clears it, menu and all.
    m_ui->showUserMenu();
    m_ui->setUserCard(QString(), QByteArray());
    QVERIFY(!icon->isVisible() && !m_ui->settingMenu());
}

QTEST_MAIN(TstMainWindowGrid)
#include "tst_mainwindowgrid.moc"
