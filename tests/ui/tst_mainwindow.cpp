// The whole window against the emulated home: sign-in page to a playing grid,
// keys, rooms, a camera leaving, quitting while cameras connect or play, the
// error page, About, the version prompt, the store page and signing out.

#include "uitestsupport.h"
#include "windowhome.h"
#include "tests/support/threadsafespy.h"

#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "cloud/apicredentials.h"
#include "sim/device/simcameradevice.h"
#include "ui/mlabel.h"
#include "ui/mnavigatebar.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/vucamerawidgetui.h"

#include <QtTest>
#include <QtWidgets>


namespace {
const QStringList kPlayable = {QStringLiteral("cam1"), QStringLiteral("cam2"), QStringLiteral("cam6"),
                               QStringLiteral("cam7"), QStringLiteral("cam8"), QStringLiteral("cam9")};
// The user menu, opened with the mouse over the user icon (so it stays).
SettingMenu* userMenu(MainWindow* w)
{
    if (!QTest::qWaitFor([w] { return w->ui()->userIcon()->isVisible(); }, 10000))
        return nullptr;
    QCursor::setPos(w->ui()->userIcon()->mapToGlobal(w->ui()->userIcon()->rect().center()));
    w->ui()->showUserMenu();
    return w->ui()->settingMenu();
}
} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        UiTest::setUp();
        QVERIFY(m_home.start());
    }
    void cleanupTestCase()
    {
        m_home.stop();
        if (AppGlobals::browserInitialized.load())
            MCefLibPrivate::shutdown();
    }
    void init();
    void startupGeometry_data();
    void startupGeometry();
    void webSignInToAPlayingGrid();
    void signInFromTheRecordAndQuitWhileCamerasConnect();
    void netErrorPageAndRetry();
    void aboutAndClosingFromTheWindowManager();
    void versionPromptAtStart();
    void deletingTheWindowWithCamerasPlaying();
    void emptyAccountOffersTheStoreUntilACameraComes();
    void signOutShowsTheWebPageNextStart();

private:
    // A shown window that opens web addresses into m_opened.
    std::unique_ptr<MainWindow> open()
    {
        return WindowHome::open(500, [this](const QUrl& u) {
            m_opened << u;
            return true;
        });
    }

    WindowHome m_home;
    QList<QUrl> m_opened; // what would have gone to the desktop browser
};

void TstMainWindow::init()
{
    m_home.home.setCloudFaults("{}");
    m_opened.clear();
    QVERIFY(WindowHome::storeAccount());
}

void TstMainWindow::startupGeometry_data()
{
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("window");
    QTest::newRow("1920x1080, panel on top") << QRect(0, 40, 1920, 1040) << QRect(338, 160, 1244, 780);
    QTest::newRow("1366x768, panel below: 1100x700") << QRect(0, 0, 1366, 736) << QRect(133, 8, 1100, 700);
    QTest::newRow("1024x600 netbook: all of it") << QRect(0, 24, 1024, 576) << QRect(0, 24, 1024, 576);
    QTest::newRow("upright, panel at the left") << QRect(48, 0, 752, 1280) << QRect(48, 378, 752, 503);
    QTest::newRow("second screen") << QRect(1920, 0, 2560, 1400) << QRect(2338, 165, 1724, 1050);
}

void TstMainWindow::startupGeometry()
{
    QFETCH(QRect, available);
    QFETCH(QRect, window);
    QCOMPARE(MainWindow::startupGeometry(available), window);
}

void TstMainWindow::webSignInToAPlayingGrid()
{
    CredentialStore::remove(QStringLiteral("account"));
    auto w = open();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::WebLogin));
    QVERIFY(w->screen()->availableGeometry().contains(w->geometry()));
    // The view exists before the event loop has run: no load can have finished yet.
    MCefWebView* view = w->ui()->loginView();
    ThreadSafeSpy loaded(view, &MCefWebView::loadFinished);
    QTRY_VERIFY_WITH_TIMEOUT(view->url().path() == QLatin1String("/pass/serviceLogin") && loaded.count() > 0, 30000);
    view->runScript(QStringLiteral("document.getElementById('user').value='3000000003';"
                                   "document.getElementById('password').value='pw-main';"
                                   "document.getElementById('submit').click();"));
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 30000));
    QVERIFY(view->isHidden());
    QCOMPARE(w->ui()->pageCount(), 3); // nine cameras, nothing chosen yet: four per page
    QTRY_COMPARE_WITH_TIMEOUT(w->ui()->userName(), QStringLiteral("Tester"), 10000);
    QCOMPARE(CredentialStore::readJson(QStringLiteral("account")).value(QStringLiteral("uid")).toString(),
             QStringLiteral("3000000003"));
    QVERIFY(AppInfo::instance()->getBool(QStringLiteral("settings"), QStringLiteral("remember"), false));

    // 9-grid by key; play each camera, the cot's pin code (digits the grid keys must not take).
    w->activateWindow();
    QTest::keyClick(w.get(), Qt::Key_9);
    QCOMPARE(w->ui()->shownTiles().size(), 9);
    for (const QString& did : kPlayable) {
        QTRY_COMPARE_WITH_TIMEOUT(WindowHome::tile(w.get(), did)->ui()->state(), int(VuCameraWidgetUI::Stopped), 5000);
        WindowHome::tile(w.get(), did)->ui()->playButton()->click();
    }
    VuCameraWidget* cot = WindowHome::tile(w.get(), QStringLiteral("cam4"));
    QTRY_COMPARE_WITH_TIMEOUT(cot->ui()->state(), int(VuCameraWidgetUI::Pincode), 5000);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(cot->ui()->pinCodeWidget()->edit(i), "2468"[i]);
    QCOMPARE(w->ui()->pageMode(), 3);
    for (const QString& did : kPlayable + QStringList{QStringLiteral("cam4")})
        QTRY_VERIFY2_WITH_TIMEOUT(UiTest::hasContent(WindowHome::tile(w.get(), did)->currentPicture()), qPrintable(did), 10000);
    VuCameraWidget* front = WindowHome::tile(w.get(), QStringLiteral("cam1"));
    const QImage before = front->currentPicture().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(front->currentPicture().toImage() != before, 10000);

    // The cloud's rooms: the bedroom.
    QVERIFY(w->ui()->roomListBar()->selectRoom(QStringLiteral("Bedroom"), false));
    QCOMPARE(w->ui()->shownTiles(), (QList<VuCameraWidget*>{cot, WindowHome::tile(w.get(), QStringLiteral("cam5"))}));
    QVERIFY(w->ui()->roomListBar()->selectAll());

    // Pages by key; F11 on the tile under the mouse, Page Down moves on, Escape.
    QTest::keyClick(w.get(), Qt::Key_4);
    QTest::keyClick(w.get(), Qt::Key_PageDown);
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
    QCOMPARE(w->ui()->pageMode(), 2);
    QTRY_COMPARE(w->geometry(), normal);

    // The shared camera leaves the account: its tile and its room go.
    ThreadSafeSpy removed(w->listMgr(), &VuCameraListMgr::cameraRemoved);
    m_home.home.setCamera(QStringLiteral("cam9"), [](SimCamera& c) { c.sharedWith.clear(); });
    QTRY_VERIFY_WITH_TIMEOUT(removed.count() == 1, 10000);
    QCOMPARE(w->ui()->allTiles().size(), 8);
    QVERIFY(!w->ui()->roomListBar()->hasRoom(QString(), true));
    m_home.home.setCamera(QStringLiteral("cam9"), [](SimCamera& c) { c.sharedWith = QStringList{QStringLiteral("3000000003")}; });

    // Quit: the window closes once every camera has stopped, promptly.
    qint64 ms = 0;
    QVERIFY(WindowHome::quit(w, &ms));
    QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
}

void TstMainWindow::signInFromTheRecordAndQuitWhileCamerasConnect()
{
    AppInfo::instance()->setInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 3);
    auto w = open();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::SigningIn));
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QCOMPARE(w->ui()->pageMode(), 3); // the grid the user chose last time
    // Quit while the cameras connect: the window stays until the list manager stopped.
    w->ui()->playAllButton()->click();
    ThreadSafeSpy stopped(w->listMgr(), &VuCameraListMgr::stopped);
    WindowHome::answerNextBox(1);
    w->ui()->titleBar()->findChild<QPushButton*>(QStringLiteral("close_btn_"))->click();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::Quitting));
    QVERIFY(w->isClosing() && (w->isVisible() || !stopped.isEmpty()));
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
    QCOMPARE(stopped.count(), 1);
    w->ui()->onDeviceListLoaded({});
    QCOMPARE(w->ui()->state(), int(MainWindowUI::Quitting));
}

void TstMainWindow::netErrorPageAndRetry()
{
    // The home API answers 500 until the user retries.
    m_home.home.setCloudFaults(R"({"http_status": {"/app/homeroom/getroom": 500}})");
    auto w = open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::NetError, 30000));
    m_home.home.setCloudFaults("{}");
    w->ui()->pageWidget()->findChild<QPushButton*>(QStringLiteral("retry_login_btn_"))->click();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 30000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QVERIFY(WindowHome::quit(w));
}

void TstMainWindow::aboutAndClosingFromTheWindowManager()
{
    auto w = open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
    SettingMenu* menu = userMenu(w.get());
    QVERIFY(menu);
    // About: the version, no prompt to update (nothing newer was fetched).
    auto text = WindowHome::answerNextBox(1);
    menu->aboutItem()->click();
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
}

void TstMainWindow::versionPromptAtStart()
{
    // What an earlier check stored: a newer version that asks at start-up.
    AppInfo* info = AppInfo::instance();
    const QString g = QStringLiteral("updater");
    info->setString(g, QStringLiteral("version"), QStringLiteral("99.0.0"));
    info->setInt(g, QStringLiteral("update_policy"), 2);
    info->setString(g, QStringLiteral("check_time"), QDateTime::currentDateTime().toString(Qt::ISODate));
    info->setString(g, QStringLiteral("url"), QStringLiteral("https://downloads.example/vucamera.deb"));
    auto asked = WindowHome::answerNextBox(1);
    auto w = open();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::StartupCheck));
    // After the answer the download page opens and the sign-in goes on.
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QVERIFY(asked->contains(QStringLiteral("99.0.0")));
    QCOMPARE(m_opened, QList<QUrl>{QUrl(QStringLiteral("https://downloads.example/vucamera.deb"))});
    info->setString(g, QStringLiteral("version"), QString());
    QVERIFY(WindowHome::quit(w));
}

// A stop by signal: the window deleted with every camera playing; sessions end.
void TstMainWindow::deletingTheWindowWithCamerasPlaying()
{
    auto w = open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
    w->ui()->chooseGridMode(2);
    w->ui()->playAllButton()->click();
    for (const QString& did : kPlayable)
        QTRY_VERIFY2_WITH_TIMEOUT(UiTest::hasContent(WindowHome::tile(w.get(), did)->currentPicture()), qPrintable(did), 10000);
    QElapsedTimer t;
    t.start();
    w.reset();
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    for (const QString& did : kPlayable)
        QTRY_COMPARE_WITH_TIMEOUT(m_home.home.p2p->device(did)->activeSessions(), 0, 5000);
}

void TstMainWindow::emptyAccountOffersTheStoreUntilACameraComes()
{
    QVERIFY(WindowHome::storeAccount(QStringLiteral("5000000005"), QStringLiteral("Newcomer"),
                                     QStringLiteral("PT-empty-account-token")));
    auto w = open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::NoCamera, 20000));
    // The default store, one from the settings, never one that is not a web address.
    auto* store = w->ui()->pageWidget()->findChild<QPushButton*>(QStringLiteral("goto_marqet_btn_"));
    for (const char* url : {"", "javascript:alert(1)", "https:///no-host", "https://store.example/cameras"}) {
        if (*url)
            AppInfo::instance()->setString(QStringLiteral("settings"), QStringLiteral("store_url"), QLatin1String(url));
        store->click();
    }
    QCOMPARE(m_opened, (QList<QUrl>{QUrl(QString::fromLatin1(MainWindow::kDefaultStoreUrl)),
                                    QUrl(QStringLiteral("https://store.example/cameras"))}));
    // The first camera brings the grid, in the mode the user chose earlier.
    SimCamera cam = m_home.home.camera(QStringLiteral("cam1"));
    cam.did = QStringLiteral("cam10");
    cam.owner = QStringLiteral("5000000005");
    cam.p2pId.clear();
    m_home.home.scenario->addCamera(cam);
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 10000));
    QVERIFY(WindowHome::tile(w.get(), QStringLiteral("cam10")) && w->ui()->allTiles().size() == 1);
    QCOMPARE(w->ui()->pageMode(), AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1));
    QVERIFY(WindowHome::quit(w));
    QVERIFY(m_home.home.scenario->removeCamera(QStringLiteral("cam10")));
}

void TstMainWindow::signOutShowsTheWebPageNextStart()
{
    auto w = open();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::HasCamera, 20000));
    SettingMenu* menu = userMenu(w.get());
    QVERIFY(menu);
    WindowHome::answerNextBox(1);
    menu->logoutItem()->click();
    QVERIFY(WindowHome::waitState(w.get(), MainWindowUI::WebLogin, 20000));
    QVERIFY(w->ui()->allTiles().isEmpty() && !w->ui()->userIcon()->isVisible());
    QVERIFY(!AppInfo::instance()->getBool(QStringLiteral("settings"), QStringLiteral("remember"), true));
    QVERIFY(CredentialStore::readJson(QStringLiteral("account")).isEmpty());
    QVERIFY(ApiCredentials::serviceToken().isEmpty() && ApiCredentials::ssecurity().isEmpty());
    QVERIFY(WindowHome::quit(w));
    // The next start asks on the web page again.
    w = open();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::WebLogin));
    QVERIFY(WindowHome::quit(w));
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
