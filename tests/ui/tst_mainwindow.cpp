// The whole application window against the emulated home, in-process: the
// sign-in page to a playing grid, the keys, the cloud's rooms, a camera
// leaving the account, quitting while cameras connect or play, the network
// error page, About, the version prompt, the store page and signing out.

#include "uitestsupport.h"
#include "windowhome.h"
#include "tests/support/threadsafespy.h"

#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "ui/mlabel.h"
#include "ui/mnavigatebar.h"
#include "sim/device/simcameradevice.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/vucamerawidgetui.h"

#include <QCursor>
#include <QScreen>
#include <QStandardPaths>
#include <QtTest>

namespace {
const QString kUser = QStringLiteral("3000000003");
const QStringList kPlayable = {QStringLiteral("cam1"), QStringLiteral("cam2"), QStringLiteral("cam6"),
                               QStringLiteral("cam7"), QStringLiteral("cam8"), QStringLiteral("cam9")};
QString dids(const QList<VuCameraWidget*>& tiles)
{
    QStringList out;
    for (VuCameraWidget* t : tiles)
        out << t->client()->did();
    return out.join(QLatin1Char(' '));
}
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void webSignInToAPlayingGrid();
    void signInFromTheRecordAndQuitWhileCamerasConnect();
    void netErrorPageAndRetry();
    void aboutAndClosingFromTheWindowManager();
    void versionPromptAtStart();
    void deletingTheWindowWithCamerasPlaying();
    void emptyAccountOffersTheStoreUntilACameraComes();
    void signOutShowsTheWebPageNextStart();

private:
    std::unique_ptr<MainWindow> signedIn();
    WindowHome m_home;
};

void TstMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    UiTest::setUp();
    QVERIFY(m_home.start());
}

void TstMainWindow::cleanupTestCase()
{
    m_home.stop();
    if (AppGlobals::browserInitialized.load())
        MCefLibPrivate::shutdown();
}

void TstMainWindow::init()
{
    m_home.home.scenario->setCloudFaults(QJsonObject());
    MainWindowUI::setUrlOpener([](const QUrl&) { return false; });
    QVERIFY(WindowHome::storeAccount());
}

std::unique_ptr<MainWindow> TstMainWindow::signedIn()
{
    auto w = WindowHome::open();
    if (!WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000))
        qWarning("no grid: the window is in state %d", w->ui()->state());
    return w;
}

void TstMainWindow::webSignInToAPlayingGrid()
{
    CredentialStore::remove(QStringLiteral("account"));
    auto w = WindowHome::open();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::WebLogin));
    MCefWebView* view = w->ui()->loginView();
    QVERIFY(view);
    // The view exists before the event loop has run: no load can have finished yet.
    ThreadSafeSpy loaded(view, &MCefWebView::loadFinished);
    QTRY_VERIFY_WITH_TIMEOUT(view->url().path() == QLatin1String("/pass/serviceLogin") && loaded.count() > 0, 30000);
    view->runScript(QStringLiteral("document.getElementById('user').value='%1';"
                                   "document.getElementById('password').value='pw-main';"
                                   "document.getElementById('submit').click();")
                        .arg(kUser));
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 30000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QVERIFY(view->isHidden());
    QCOMPARE(w->ui()->pageCount(), 3); // nine cameras, nothing chosen yet: four per page
    QTRY_COMPARE_WITH_TIMEOUT(w->ui()->userName(), QStringLiteral("Tester"), 10000);
    QCOMPARE(CredentialStore::readJson(QStringLiteral("account")).value(QStringLiteral("uid")).toString(), kUser);
    QVERIFY(AppInfo::instance()->getBool(QStringLiteral("settings"), QStringLiteral("remember"), false));

    // The 9-grid by key; play on each camera, the pin code on the cot camera:
    // pictures within 10 s, and they move.
    w->activateWindow();
    QTest::keyClick(w.get(), Qt::Key_9);
    QCOMPARE(w->ui()->shownTiles().size(), 9);
    for (const QString& did : kPlayable) {
        VuCameraWidget* t = WindowHome::tile(w.get(), did);
        QVERIFY(t && t->ui());
        QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::Stopped), 5000);
        t->ui()->playButton()->click();
    }
    WindowHome::tile(w.get(), QStringLiteral("cam3"))->ui()->playButton()->click(); // asleep
    VuCameraWidget* cot = WindowHome::tile(w.get(), QStringLiteral("cam4"));
    QTRY_COMPARE_WITH_TIMEOUT(cot->ui()->state(), int(VuCameraWidgetUI::Pincode), 5000);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(cot->ui()->pinCodeWidget()->edit(i), "2468"[i]);
    for (const QString& did : kPlayable + QStringList{QStringLiteral("cam4")})
        QTRY_VERIFY2_WITH_TIMEOUT(UiTest::hasContent(WindowHome::tile(w.get(), did)->currentPicture()), qPrintable(did), 10000);
    VuCameraWidget* front = WindowHome::tile(w.get(), QStringLiteral("cam1"));
    const QImage before = front->currentPicture().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(front->currentPicture().toImage() != before, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(WindowHome::tile(w.get(), QStringLiteral("cam3"))->ui()->state(),
                              int(VuCameraWidgetUI::StoppedForSleep), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(WindowHome::tile(w.get(), QStringLiteral("cam5"))->ui()->state(),
                              int(VuCameraWidgetUI::Offline), 15000);

    // The cloud's rooms: the bedroom, the shared camera, all.
    RoomListBar* rooms = w->ui()->roomListBar();
    QVERIFY(rooms->selectRoom(QStringLiteral("Bedroom"), false));
    QCOMPARE(dids(w->ui()->shownTiles()), QStringLiteral("cam4 cam5"));
    QVERIFY(rooms->selectRoom(QString(), true));
    QCOMPARE(dids(w->ui()->shownTiles()), QStringLiteral("cam9"));
    w->ui()->selectAllRooms();

    // Pages by key in the 4-grid; F11 takes the tile under the mouse full
    // screen, Page Down moves it on, Escape comes back.
    QTest::keyClick(w.get(), Qt::Key_4);
    QCOMPARE(w->ui()->pageMode(), 2);
    QTest::keyClick(w.get(), Qt::Key_PageDown);
    QCOMPARE(w->ui()->currentPage(), 1);
    QCOMPARE(w->ui()->navigateBar()->currentPage(), 2);
    QVERIFY(!front->isVisible());
    QTest::keyClick(w.get(), Qt::Key_PageUp);
    QCOMPARE(w->ui()->currentPage(), 0);
    const QRect normal = w->geometry();
    VuCameraWidget* second = w->ui()->shownTiles().at(1);
    QCursor::setPos(second->mapToGlobal(second->rect().center()));
    QTest::keyClick(w.get(), Qt::Key_F11);
    QCOMPARE(w->ui()->fullscreenTile(), second);
    QTRY_COMPARE(w->geometry(), w->screen()->geometry());
    QTest::keyClick(w.get(), Qt::Key_PageDown);
    QCOMPARE(w->ui()->fullscreenTile(), w->ui()->roomTiles().at(2));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->ui()->isFullscreen());
    QCOMPARE(w->ui()->pageMode(), 2);
    QTRY_COMPARE(w->geometry(), normal);

    // The shared camera leaves the account: its tile and its room go.
    ThreadSafeSpy removed(w->listMgr(), &VuCameraListMgr::cameraRemoved);
    m_home.home.setCamera(QStringLiteral("cam9"), [](SimCamera& c) { c.sharedWith.clear(); });
    QTRY_VERIFY_WITH_TIMEOUT(removed.count() == 1, 10000);
    QCOMPARE(w->ui()->allTiles().size(), 8);
    QVERIFY(!WindowHome::tile(w.get(), QStringLiteral("cam9")));
    QVERIFY(!rooms->hasRoom(QString(), true));
    m_home.home.setCamera(QStringLiteral("cam9"), [](SimCamera& c) { c.sharedWith = QStringList{kUser}; });

    // Quit: the window closes once every camera has stopped, promptly.
    qint64 ms = 0;
    QVERIFY(WindowHome::quit(w, &ms));
    QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
}

void TstMainWindow::signInFromTheRecordAndQuitWhileCamerasConnect()
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 3);
    auto w = WindowHome::open();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::SigningIn));
    QVERIFY(!w->ui()->loginView());
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QCOMPARE(w->ui()->pageMode(), 3); // the grid the user chose last time

    // Quit at once while the cameras connect: the window stays until the
    // list manager has stopped every camera.
    w->ui()->playAllButton()->click();
    ThreadSafeSpy stopped(w->listMgr(), &VuCameraListMgr::stopped);
    WindowHome::answerNextBox(1);
    w->ui()->titleBar()->findChild<QPushButton*>(QStringLiteral("close_btn_"))->click();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::Quitting));
    QVERIFY(w->isClosing());
    if (stopped.isEmpty())
        QVERIFY(w->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
    QCOMPARE(stopped.count(), 1);
    // Late list events change nothing any more.
    w->ui()->onDeviceListLoaded({});
    QCOMPARE(w->ui()->state(), int(MainWindowUI::Quitting));
}

void TstMainWindow::netErrorPageAndRetry()
{
    // The home API answers 500 until the user retries.
    m_home.home.setCloudFaults(R"({"http_status": {"/app/homeroom/getroom": 500}})");
    auto w = WindowHome::open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::NetError, 30000));
    m_home.home.setCloudFaults("{}");
    w->ui()->pageWidget()->findChild<QPushButton*>(QStringLiteral("retry_login_btn_"))->click();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 30000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QVERIFY(WindowHome::quit(w));
}

void TstMainWindow::aboutAndClosingFromTheWindowManager()
{
    auto w = signedIn();
    QTRY_VERIFY_WITH_TIMEOUT(w->ui()->userIcon()->isVisible(), 10000);
    QCursor::setPos(w->ui()->userIcon()->mapToGlobal(w->ui()->userIcon()->rect().center()));
    w->ui()->showUserMenu();
    QVERIFY(w->ui()->settingMenu());
    // About: the version, no prompt to update (nothing newer was fetched).
    auto text = WindowHome::answerNextBox(1);
    w->ui()->settingMenu()->aboutItem()->click();
    QVERIFY2(text->startsWith(QStringLiteral("current_version:")), qPrintable(*text));
    QVERIFY(!w->ui()->settingMenu());

    // Closing from the window manager asks first; Cancel keeps the window.
    auto asked = WindowHome::answerNextBox(0);
    w->close();
    QTRY_VERIFY(!asked->isNull());
    QVERIFY(w->isVisible() && !w->isClosing());
    asked = WindowHome::answerNextBox(1);
    w->close();
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
    QCOMPARE(*asked, QStringLiteral("Are you sure to close app?"));
    QVERIFY(w->isClosing());
}

void TstMainWindow::versionPromptAtStart()
{
    // What an earlier check stored: a newer version that asks at start-up.
    AppInfo* info = AppInfo::instance();
    const QString g = QStringLiteral("updater");
    info->setString(g, QStringLiteral("version"), QStringLiteral("99.0.0"));
    info->setInt(g, QStringLiteral("update_policy"), 2);
    info->setString(g, QStringLiteral("check_time"), QDateTime::currentDateTime().toString(Qt::ISODate));
    QList<QUrl> opened;
    MainWindowUI::setUrlOpener([&opened](const QUrl& u) {
        opened << u;
        return true;
    });
    // A download address that is not a web address is never handed out.
    for (const char* url : {"https://downloads.example/vucamera.deb", "file:///etc/passwd"}) {
        info->setString(g, QStringLiteral("url"), QLatin1String(url));
        opened.clear();
        auto asked = WindowHome::answerNextBox(1);
        auto w = WindowHome::open();
        QCOMPARE(w->ui()->state(), int(MainWindowUI::StartupCheck));
        QVERIFY(w->hasNewVersion());
        // After the answer the sign-in goes on from the stored account.
        QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
        QVERIFY(asked->contains(QStringLiteral("99.0.0")));
        QCOMPARE(opened, url[0] == 'h' ? QList<QUrl>{QUrl(QLatin1String(url))} : QList<QUrl>{});
        QVERIFY(WindowHome::quit(w));
    }
    info->setString(g, QStringLiteral("version"), QString());
}

// What a stop by signal does: the event loop ends and the window is deleted
// with every camera still playing.
void TstMainWindow::deletingTheWindowWithCamerasPlaying()
{
    auto w = signedIn();
    w->ui()->chooseGridMode(2);
    w->ui()->playAllButton()->click();
    for (const QString& did : kPlayable)
        QTRY_VERIFY2_WITH_TIMEOUT(UiTest::hasContent(WindowHome::tile(w.get(), did)->currentPicture()), qPrintable(did), 10000);
    QElapsedTimer t;
    t.start();
    w.reset();
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    // The emulated cameras see their sessions end.
    for (const QString& did : kPlayable)
        QTRY_COMPARE_WITH_TIMEOUT(m_home.home.p2p->device(did)->activeSessions(), 0, 5000);
}

void TstMainWindow::emptyAccountOffersTheStoreUntilACameraComes()
{
    QVERIFY(WindowHome::storeAccount(QStringLiteral("5000000005"), QStringLiteral("Newcomer"),
                                     QStringLiteral("PT-empty-account-token")));
    QList<QUrl> opened;
    MainWindowUI::setUrlOpener([&opened](const QUrl& u) {
        opened << u;
        return true;
    });
    auto w = WindowHome::open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::NoCamera, 20000));
    auto* store = w->ui()->pageWidget()->findChild<QPushButton*>(QStringLiteral("goto_marqet_btn_"));
    // The default store, one from the settings, and never one that is not a web address.
    const char* urls[] = {nullptr, "javascript:alert(1)", "https:///no-host", "https://store.example/cameras"};
    for (const char* url : urls) {
        if (url)
            AppInfo::instance()->setString(QStringLiteral("settings"), QStringLiteral("store_url"), QLatin1String(url));
        store->click();
    }
    QCOMPARE(opened, (QList<QUrl>{QUrl(QString::fromLatin1(MainWindow::kDefaultStoreUrl)),
                                  QUrl(QStringLiteral("https://store.example/cameras"))}));

    // The first camera of the account brings the grid, in the grid the user
    // chose in the earlier runs.
    SimCamera cam = m_home.home.camera(QStringLiteral("cam1"));
    cam.did = QStringLiteral("cam10");
    cam.owner = QStringLiteral("5000000005");
    cam.p2pId.clear();
    m_home.home.scenario->addCamera(cam);
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 10000));
    QCOMPARE(dids(w->ui()->allTiles()), QStringLiteral("cam10"));
    QCOMPARE(w->ui()->pageMode(), AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1));
    QVERIFY(WindowHome::quit(w));
    QVERIFY(m_home.home.scenario->removeCamera(QStringLiteral("cam10")));
}

void TstMainWindow::signOutShowsTheWebPageNextStart()
{
    auto w = signedIn();
    QTRY_VERIFY_WITH_TIMEOUT(w->ui()->userIcon()->isVisible(), 10000);
    // "Logout" in the user menu, confirmed.
    QCursor::setPos(w->ui()->userIcon()->mapToGlobal(w->ui()->userIcon()->rect().center()));
    w->ui()->showUserMenu();
    QVERIFY(w->ui()->settingMenu());
    WindowHome::answerNextBox(1);
    w->ui()->settingMenu()->logoutItem()->click();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::WebLogin, 20000));
    QVERIFY(w->ui()->allTiles().isEmpty());
    QVERIFY(!w->ui()->userIcon()->isVisible());
    QVERIFY(!AppInfo::instance()->getBool(QStringLiteral("settings"), QStringLiteral("remember"), true));
    QVERIFY(CredentialStore::readJson(QStringLiteral("account")).isEmpty());
    QVERIFY(WindowHome::quit(w));
    // The next start asks on the web page again.
    auto again = WindowHome::open();
    QCOMPARE(again->ui()->state(), int(MainWindowUI::WebLogin));
    QVERIFY(WindowHome::quit(again));
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
