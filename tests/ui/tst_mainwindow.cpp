// The whole application window against the emulated home, in-process: the
// sign-in page, nine cameras playing in the grid, rooms, pages, full screen,
// sleep and wake, a camera leaving the account, quitting while cameras play,
// signing in from the stored account, the network error page with "Retry",
// and signing out. Screenshots of each step go to <build>/screenshots
// (VC_UPDATE_SCREENSHOTS=1 writes docs/screenshots instead).

#include "uitestsupport.h"
#include "tests/support/threadsafespy.h"

#include "app/appglobals.h"
#include "app/appinfo.h"
#include "app/credentialstore.h"
#include "app/endpoints.h"
#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "camera/libp2p.h"
#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "cloud/vuaccount.h"
#include "sim/cloud/simcloud.h"
#include "sim/cloud/simcloudstate.h"
#include "sim/device/simcameradevice.h"
#include "sim/device/simp2phost.h"
#include "sim/devicefeatures/simdevicefeatures.h"
#include "sim/media/simvideofeature.h"
#include "sim/scenario/scenario.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowui.h"
#include "ui/mlabel.h"
#include "ui/mmessagebox.h"
#include "ui/mnavigatebar.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/titlebar.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace {

const char* kScenario = R"({
  "seed": "main-window-tests",
  "accounts": [
    {"user_id": "3000000003", "password": "pw-main", "nickname": "Tester", "icon": "",
     "pass_token": "PT-main-window-test-token", "device_id": "pcdev-mw"},
    {"user_id": "4000000004", "password": "pw-other", "nickname": "Neighbour", "icon": "",
     "pass_token": "PT-other-account-token", "device_id": "pcdev-other"},
    {"user_id": "5000000005", "password": "pw-empty", "nickname": "Newcomer", "icon": "",
     "pass_token": "PT-empty-account-token", "device_id": "pcdev-empty"}
  ],
  "rooms": [
    {"id": "r1", "name": "Living room", "icon": "living", "owner": "3000000003", "dids": ["cam1", "cam2", "cam3"]},
    {"id": "r2", "name": "Bedroom", "icon": "bedroom", "owner": "3000000003", "dids": ["cam4", "cam5"]},
    {"id": "r3", "name": "Garden", "icon": "garden", "owner": "3000000003", "dids": ["cam6"]}
  ],
  "cameras": [
    {"did": "cam1", "name": "Front door", "model": "hovia.camera.v3", "owner": "3000000003", "width": 320, "height": 180, "fps": 10},
    {"did": "cam2", "name": "Hallway", "model": "hovia.camera.v1", "owner": "3000000003", "width": 320, "height": 180, "fps": 10},
    {"did": "cam3", "name": "Sofa", "model": "hovia.camera.v4", "owner": "3000000003", "width": 320, "height": 180, "fps": 10, "power": false},
    {"did": "cam4", "name": "Cot", "model": "lanterra.camera.ipc009", "owner": "3000000003", "width": 320, "height": 180, "fps": 10, "pincode": "2468"},
    {"did": "cam5", "name": "Window", "model": "hovia.camera.v3", "owner": "3000000003", "width": 320, "height": 180, "fps": 10, "online": false},
    {"did": "cam6", "name": "Lawn", "model": "hovia.camera.v1", "owner": "3000000003", "width": 320, "height": 180, "fps": 10, "sdcard": false},
    {"did": "cam7", "name": "Garage", "model": "hovia.camera.v3", "owner": "3000000003", "width": 320, "height": 180, "fps": 10},
    {"did": "cam8", "name": "Attic", "model": "hovia.camera.v1", "owner": "3000000003", "width": 320, "height": 180, "fps": 10},
    {"did": "cam9", "name": "Next door", "model": "hovia.camera.v3", "owner": "4000000004", "width": 320, "height": 180, "fps": 10,
     "shared_with": ["3000000003"]}
  ]
})";

const QString kUser = QStringLiteral("3000000003");
const QStringList kPlayable = {QStringLiteral("cam1"), QStringLiteral("cam2"), QStringLiteral("cam6"),
                               QStringLiteral("cam7"), QStringLiteral("cam8"), QStringLiteral("cam9")};

// Answers the next confirmation box that opens (1 OK, 0 Cancel).
void answerNextBox(int answer)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(50);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer]() {
        for (QWidget* w : QApplication::allWidgets()) {
            auto* box = qobject_cast<MMessageBox*>(w);
            if (box && box->isRunning()) {
                timer->stop();
                timer->deleteLater();
                if (answer == 1)
                    box->accept();
                else
                    box->reject();
                return;
            }
        }
    });
    timer->start();
}

using UiTest::hasContent;

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
    void aboutBox();
    void versionPromptAtStart();
    void deletingTheWindowWithCamerasPlaying();
    void emptyAccountOffersTheStoreUntilACameraComes();
    void signOutShowsTheWebPageNextStart();

private:
    std::unique_ptr<MainWindow> newWindow();
    VuCameraWidget* tile(MainWindow* w, const QString& did) const;
    void shot(QWidget* w, const QString& name);
    bool waitState(MainWindow* w, int state, int ms);
    bool quit(std::unique_ptr<MainWindow>& w, int* ms = nullptr);

    QTemporaryDir m_dir;
    std::unique_ptr<Scenario> m_scenario;
    std::unique_ptr<SimP2pHost> m_p2p;
    std::unique_ptr<SimCloud> m_cloud;
    QNetworkAccessManager* m_nam = nullptr;
    QString m_shots;
};

void TstMainWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    UiTest::setUp();
    QString error;
    m_scenario = std::make_unique<Scenario>();
    QVERIFY2(m_scenario->loadJson(kScenario, &error), qPrintable(error));
    m_p2p = std::make_unique<SimP2pHost>(m_scenario.get());
    SimVideoFeature::install(m_p2p->dispatcher());
    SimDeviceFeatures::install(m_p2p->dispatcher());
    SimVideoFeature::prefetch(*m_scenario);
    QVERIFY(m_p2p->start(0));
    m_cloud = std::make_unique<SimCloud>(m_scenario.get());
    QVERIFY2(m_cloud->start(m_dir.path() + QStringLiteral("/certs"), &error), qPrintable(error));
    QJsonObject ep = m_cloud->endpoints();
    ep.insert(QStringLiteral("p2p_directory"), m_p2p->directoryAddress());
    Endpoints::setCurrent(Endpoints::fromJson(ep));
    LibP2p::setDirectory(m_p2p->directoryAddress());
    LibP2p::initialize();
    m_nam = new QNetworkAccessManager();
    AppGlobals::setNetworkManager(m_nam);
    CredentialStore::remove(QStringLiteral("account"));

    m_shots = qEnvironmentVariableIsSet("VC_UPDATE_SCREENSHOTS") ? QStringLiteral(VC_SOURCE_DIR "/docs/screenshots")
                                                                 : QStringLiteral(VC_BINARY_DIR "/screenshots");
    QDir().mkpath(m_shots);
}

void TstMainWindow::cleanupTestCase()
{
    LibP2p::deInitialize();
    AppGlobals::setNetworkManager(nullptr);
    delete m_nam;
    if (AppGlobals::browserInitialized.load())
        MCefLibPrivate::shutdown();
    m_cloud->stop();
    m_p2p->stop();
}

void TstMainWindow::init()
{
    m_scenario->setCloudFaults(QJsonObject());
}

std::unique_ptr<MainWindow> TstMainWindow::newWindow()
{
    auto w = std::make_unique<MainWindow>();
    // Cameras coming and going are seen within a second.
    connect(w.get(), &MainWindow::listMgrCreated, this, [](VuCameraListMgr* m) { m->setPollInterval(1000); });
    if (w->listMgr())
        w->listMgr()->setPollInterval(1000);
    w->show();
    return w;
}

VuCameraWidget* TstMainWindow::tile(MainWindow* w, const QString& did) const
{
    for (VuCameraWidget* t : w->ui()->allTiles()) {
        if (t->client() && t->client()->did() == did)
            return t;
    }
    return nullptr;
}

void TstMainWindow::shot(QWidget* w, const QString& name)
{
    QTest::qWait(300); // the last pictures painted
    QVERIFY(w->grab().save(m_shots + QLatin1Char('/') + name + QStringLiteral(".png")));
}

bool TstMainWindow::waitState(MainWindow* w, int state, int ms)
{
    QElapsedTimer t;
    t.start();
    while (w->ui()->state() != state && t.elapsed() < ms)
        QTest::qWait(20);
    return w->ui()->state() == state;
}

bool TstMainWindow::quit(std::unique_ptr<MainWindow>& w, int* ms)
{
    QElapsedTimer t;
    t.start();
    answerNextBox(1);
    w->ui()->titleBar()->findChild<QPushButton*>(QStringLiteral("close_btn_"))->click();
    while (w->isVisible() && t.elapsed() < 10000)
        QTest::qWait(20);
    if (ms)
        *ms = int(t.elapsed());
    const bool closed = !w->isVisible();
    w.reset();
    return closed;
}

void TstMainWindow::webSignInToAPlayingGrid()
{
    auto w = newWindow();
    // Nothing stored: the sign-in page.
    QCOMPARE(w->ui()->state(), int(MainWindowUI::WebLogin));
    MCefWebView* view = w->ui()->loginView();
    QVERIFY(view);
    QCOMPARE(view->size(), QSize(440, 570));
    QTRY_VERIFY_WITH_TIMEOUT(view->url().path() == QLatin1String("/pass/serviceLogin"), 20000);
    ThreadSafeSpy loaded(view, &MCefWebView::loadFinished);
    QVERIFY(loaded.count() > 0 || loaded.wait(15000));
    shot(w.get(), QStringLiteral("main-signin"));

    view->runScript(QStringLiteral("document.getElementById('user').value='%1';"
                                   "document.getElementById('password').value='pw-main';"
                                   "document.getElementById('submit').click();")
                        .arg(kUser));
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 30000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QVERIFY(view->isHidden());
    // Nine cameras and nothing chosen yet: four per page.
    QCOMPARE(w->ui()->pageMode(), 2);
    QCOMPARE(w->ui()->pageCount(), 3);
    // The user card and the stored account record.
    QTRY_COMPARE_WITH_TIMEOUT(w->ui()->userName(), QStringLiteral("Tester"), 10000);
    QVERIFY(w->ui()->userIcon()->isVisible());
    QCOMPARE(CredentialStore::readJson(QStringLiteral("account")).value(QStringLiteral("uid")).toString(), kUser);
    QVERIFY(AppInfo::instance()->getBool(QStringLiteral("settings"), QStringLiteral("remember"), false));

    // The 9-grid by key; every playable camera shows moving pictures within 10 s.
    w->activateWindow();
    QTest::keyClick(w.get(), Qt::Key_9);
    QCOMPARE(w->ui()->pageMode(), 3);
    QCOMPARE(w->ui()->shownTiles().size(), 9);
    // Tiles wait for the user: play on each, the pin code on the cot camera.
    for (const QString& did : kPlayable) {
        VuCameraWidget* t = tile(w.get(), did);
        QVERIFY(t && t->ui());
        QTRY_COMPARE_WITH_TIMEOUT(t->ui()->state(), int(VuCameraWidgetUI::Stopped), 5000);
        t->ui()->playButton()->click();
    }
    VuCameraWidget* cot = tile(w.get(), QStringLiteral("cam4"));
    QTRY_COMPARE_WITH_TIMEOUT(cot->ui()->state(), int(VuCameraWidgetUI::Pincode), 5000);
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(cot->ui()->pinCodeWidget()->edit(i), "2468"[i]);
    QElapsedTimer playing;
    playing.start();
    QStringList withPictures = kPlayable;
    withPictures << QStringLiteral("cam4");
    for (const QString& did : withPictures) {
        VuCameraWidget* t = tile(w.get(), did);
        QVERIFY(t);
        QTRY_VERIFY2_WITH_TIMEOUT(hasContent(t->currentPicture()), qPrintable(did), 10000);
    }
    qInfo("seven cameras playing %lld ms after play was pressed", playing.elapsed());
    const QImage before = tile(w.get(), QStringLiteral("cam1"))->currentPicture().toImage();
    QTest::qWait(1200);
    QVERIFY(tile(w.get(), QStringLiteral("cam1"))->currentPicture().toImage() != before); // it moves
    // The others show what they are: the sleeping one once asked to play.
    tile(w.get(), QStringLiteral("cam3"))->ui()->playButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(tile(w.get(), QStringLiteral("cam3"))->ui()->state(),
                              int(VuCameraWidgetUI::StoppedForSleep), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(tile(w.get(), QStringLiteral("cam5"))->ui()->state(), int(VuCameraWidgetUI::Offline),
                              15000);
    shot(w.get(), QStringLiteral("main-grid-9"));

    // Rooms: the bedroom holds the pin-code camera and the offline one.
    QVERIFY(cot->isVisible());
    RoomListBar* rooms = w->ui()->roomListBar();
    QVERIFY(rooms->selectRoom(QStringLiteral("Bedroom"), false));
    QCOMPARE(w->ui()->roomTiles().size(), 2);
    QVERIFY(!tile(w.get(), QStringLiteral("cam1"))->isVisible());
    QVERIFY(tile(w.get(), QStringLiteral("cam4"))->isVisible());
    shot(w.get(), QStringLiteral("main-room-bedroom"));
    QVERIFY(rooms->selectRoom(QStringLiteral("Shared"), true) || rooms->selectRoom(QString(), true));
    QCOMPARE(w->ui()->roomTiles().size(), 1);
    QVERIFY(tile(w.get(), QStringLiteral("cam9"))->isVisible());
    w->ui()->selectAllRooms();
    QCOMPARE(w->ui()->roomTiles().size(), 9);

    // Pages in the 4-grid by key.
    QTest::keyClick(w.get(), Qt::Key_4);
    QCOMPARE(w->ui()->pageMode(), 2);
    QCOMPARE(w->ui()->currentPage(), 0);
    QTest::keyClick(w.get(), Qt::Key_PageDown);
    QCOMPARE(w->ui()->currentPage(), 1);
    QCOMPARE(w->ui()->navigateBar()->currentPage(), 2);
    QVERIFY(!tile(w.get(), QStringLiteral("cam1"))->isVisible());
    QVERIFY(tile(w.get(), QStringLiteral("cam6"))->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(hasContent(tile(w.get(), QStringLiteral("cam6"))->currentPicture()), 10000);
    shot(w.get(), QStringLiteral("main-grid-4-page2"));
    QTest::keyClick(w.get(), Qt::Key_PageUp);
    QCOMPARE(w->ui()->currentPage(), 0);

    // Full screen of one camera with its button, and back with Escape.
    const QRect normal = w->geometry();
    VuCameraWidget* front = tile(w.get(), QStringLiteral("cam1"));
    QTRY_VERIFY_WITH_TIMEOUT(front->ui()->state() == VuCameraWidgetUI::Playing, 10000);
    front->ui()->fullscreenButton()->click();
    QVERIFY(w->ui()->isFullscreen());
    QTRY_COMPARE(w->geometry(), w->screen()->geometry());
    QTRY_COMPARE_WITH_TIMEOUT(front->size(),
                              MainWindowUI::cellGeometry(w->screen()->geometry().size(), 1).first().size(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(hasContent(front->currentPicture()), 10000);
    shot(w.get(), QStringLiteral("main-fullscreen"));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(!w->ui()->isFullscreen());
    QTRY_COMPARE(w->geometry(), normal);
    QCOMPARE(w->ui()->pageMode(), 2);
    // F11 takes the tile under the mouse full screen, and F11 brings it back.
    VuCameraWidget* second = w->ui()->shownTiles().at(1);
    QCursor::setPos(second->mapToGlobal(second->rect().center()));
    QTest::keyClick(w.get(), Qt::Key_F11);
    QCOMPARE(w->ui()->fullscreenTile(), second);
    QVERIFY(second->ui()->isFullscreenShown());
    QTest::keyClick(w.get(), Qt::Key_F11);
    QVERIFY(!w->ui()->isFullscreen());
    QVERIFY(!second->ui()->isFullscreenShown());
    QTRY_COMPARE(w->geometry(), normal);

    // Sleep and wake a camera from its tile.
    VuCameraWidget* hall = tile(w.get(), QStringLiteral("cam2"));
    QTRY_VERIFY_WITH_TIMEOUT(hall->ui()->state() == VuCameraWidgetUI::Playing, 10000);
    hall->ui()->sleepButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(hall->ui()->state(), int(VuCameraWidgetUI::StoppedForSleep), 10000);
    SimCamera cam2;
    QVERIFY(m_scenario->camera(QStringLiteral("cam2"), &cam2));
    QVERIFY(!cam2.power);
    shot(w.get(), QStringLiteral("main-camera-asleep"));
    hall->ui()->wakeUpButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(hall->ui()->state(), int(VuCameraWidgetUI::Playing), 20000);
    const QImage asleep = hall->currentPicture().toImage();
    QTRY_VERIFY_WITH_TIMEOUT(hall->currentPicture().toImage() != asleep, 10000);

    // The shared camera leaves the account: its tile and its room go.
    ThreadSafeSpy removed(w->listMgr(), &VuCameraListMgr::cameraRemoved);
    QVERIFY(m_scenario->updateCamera(QStringLiteral("cam9"), [](SimCamera& c) { c.sharedWith.clear(); }));
    QTRY_VERIFY_WITH_TIMEOUT(removed.count() == 1, 10000);
    QCOMPARE(w->ui()->allTiles().size(), 8);
    QVERIFY(!tile(w.get(), QStringLiteral("cam9")));
    QVERIFY(!w->ui()->roomListBar()->hasRoom(QString(), true));
    QVERIFY(m_scenario->updateCamera(QStringLiteral("cam9"),
                                     [](SimCamera& c) { c.sharedWith = QStringList{kUser}; }));

    // Quit: the window closes once every camera has stopped.
    int ms = 0;
    QVERIFY(quit(w, &ms));
    qInfo("quit with eight cameras took %d ms", ms);
    QVERIFY2(ms < 5000, qPrintable(QString::number(ms)));
}

void TstMainWindow::signInFromTheRecordAndQuitWhileCamerasConnect()
{
    // The record kept by the previous sign-in.
    QVERIFY(!CredentialStore::readJson(QStringLiteral("account")).isEmpty());
    auto w = newWindow();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::SigningIn));
    QVERIFY(!w->ui()->loginView());
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    // The 4-grid the user chose last time.
    QCOMPARE(w->ui()->pageMode(), 2);

    // Quit at once, while the cameras are still connecting: the window
    // stays until the list manager has stopped every camera.
    for (VuCameraWidget* t : w->ui()->shownTiles())
        t->ui()->playButton()->click();
    QPointer<VuCameraListMgr> mgr = w->listMgr();
    QVERIFY(mgr);
    ThreadSafeSpy stopped(mgr.data(), &VuCameraListMgr::stopped);
    QElapsedTimer t;
    t.start();
    answerNextBox(1);
    w->ui()->titleBar()->findChild<QPushButton*>(QStringLiteral("close_btn_"))->click();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::Quitting));
    QVERIFY(w->isClosing());
    if (stopped.isEmpty())
        QVERIFY(w->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
    QCOMPARE(stopped.count(), 1);
    qInfo("quit while connecting took %lld ms", t.elapsed());
    // Late list events change nothing any more.
    w->ui()->onDeviceListLoaded({});
    QCOMPARE(w->ui()->state(), int(MainWindowUI::Quitting));
    w.reset();
}

void TstMainWindow::netErrorPageAndRetry()
{
    // The home API answers 500 until the user retries.
    m_scenario->setCloudFaults(QJsonObject{{QStringLiteral("http_status"),
                                            QJsonObject{{QStringLiteral("/app/homeroom/getroom"), 500}}}});
    auto w = newWindow();
    QVERIFY(waitState(w.get(), MainWindowUI::NetError, 30000));
    QWidget* page = w->ui()->pageWidget();
    QCOMPARE(page->objectName(), QStringLiteral("net_error_page_"));
    shot(w.get(), QStringLiteral("main-net-error"));
    m_scenario->setCloudFaults(QJsonObject());
    page->findChild<QPushButton*>(QStringLiteral("retry_login_btn_"))->click();
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 30000));
    QCOMPARE(w->ui()->allTiles().size(), 9);
    QVERIFY(quit(w));
}

void TstMainWindow::aboutBox()
{
    auto w = newWindow();
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(w->ui()->userIcon()->isVisible(), 10000);
    // The menu stays while the mouse is over the user icon.
    QCursor::setPos(w->ui()->userIcon()->mapToGlobal(w->ui()->userIcon()->rect().center()));
    w->ui()->showUserMenu();
    QPointer<SettingMenu> menu = w->ui()->settingMenu();
    QVERIFY(menu && menu->isVisible());
    QTest::qWait(600);
    QVERIFY(menu);
    QVERIFY(menu->grab().save(m_shots + QStringLiteral("/main-user-menu.png")));
    // About: a box with the version; no prompt to update (the published
    // version is not newer than this build's when none was fetched yet).
    QString text;
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [&text, timer]() {
        for (QWidget* w2 : QApplication::allWidgets()) {
            auto* box = qobject_cast<MMessageBox*>(w2);
            if (box && box->isRunning()) {
                const QList<QWidget*> all = box->findChildren<QWidget*>();
                for (QWidget* c : all)
                    if (c->objectName() == QLatin1String("msg_body_"))
                        text = c->property("plainText").toString();
                timer->stop();
                box->accept();
            }
        }
    });
    timer->start(50);
    menu->aboutItem()->click();
    QVERIFY(text.startsWith(QStringLiteral("current_version:")));
    QVERIFY(!w->ui()->settingMenu());

    // Closing from the window manager asks first; Cancel keeps the window.
    answerNextBox(0);
    w->close();
    QTest::qWait(500);
    QVERIFY(w->isVisible());
    QVERIFY(!w->isClosing());
    answerNextBox(1);
    w->close();
    QTRY_VERIFY_WITH_TIMEOUT(!w->isVisible(), 5000);
    QVERIFY(w->isClosing());
    w.reset();
}

void TstMainWindow::versionPromptAtStart()
{
    // What an earlier check stored: a newer version that asks at start-up.
    AppInfo* info = AppInfo::instance();
    info->setString(QStringLiteral("updater"), QStringLiteral("version"), QStringLiteral("99.0.0"));
    info->setInt(QStringLiteral("updater"), QStringLiteral("update_policy"), 2);
    info->setString(QStringLiteral("updater"), QStringLiteral("url"), QStringLiteral("https://downloads.example/vucamera.deb"));
    info->setString(QStringLiteral("updater"), QStringLiteral("check_time"),
                    QDateTime::currentDateTime().toString(Qt::ISODate));
    QList<QUrl> opened;
    MainWindowUI::setUrlOpener([&opened](const QUrl& u) {
        opened << u;
        return true;
    });

    answerNextBox(1);
    auto w = newWindow();
    QCOMPARE(w->ui()->state(), int(MainWindowUI::StartupCheck));
    QVERIFY(w->hasNewVersion());
    // After the answer the sign-in goes on from the stored account.
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("https://downloads.example/vucamera.deb"))});
    QVERIFY(quit(w));

    // A download address that is not a web address is never handed out.
    info->setString(QStringLiteral("updater"), QStringLiteral("url"), QStringLiteral("file:///etc/passwd"));
    opened.clear();
    answerNextBox(1);
    w = newWindow();
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QVERIFY(opened.isEmpty());
    QVERIFY(quit(w));

    info->setString(QStringLiteral("updater"), QStringLiteral("version"), QString());
    MainWindowUI::setUrlOpener([](const QUrl&) { return false; });
}

// What a stop by signal does: the event loop ends and the window is deleted
// with every camera still playing.
void TstMainWindow::deletingTheWindowWithCamerasPlaying()
{
    auto w = newWindow();
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 20000));
    w->ui()->chooseGridMode(2);
    w->ui()->chooseGridMode(2);
    w->ui()->playAllButton()->click();
    for (const QString& did : kPlayable)
        QTRY_VERIFY2_WITH_TIMEOUT(tile(w.get(), did) && hasContent(tile(w.get(), did)->currentPicture()), qPrintable(did), 10000);
    QElapsedTimer t;
    t.start();
    w.reset();
    qInfo("deleting the window with six cameras playing took %lld ms", t.elapsed());
    QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
    // The emulated cameras see their sessions end.
    for (const QString& did : kPlayable)
        QTRY_COMPARE_WITH_TIMEOUT(m_p2p->device(did)->activeSessions(), 0, 5000);
}

void TstMainWindow::emptyAccountOffersTheStoreUntilACameraComes()
{
    const QJsonObject kept = CredentialStore::readJson(QStringLiteral("account"));
    QVERIFY(CredentialStore::writeJson(QStringLiteral("account"),
                                       QJsonObject{{QStringLiteral("name"), QStringLiteral("Newcomer")},
                                                   {QStringLiteral("uid"), QStringLiteral("5000000005")},
                                                   {QStringLiteral("pass_token"), QStringLiteral("PT-empty-account-token")},
                                                   {QStringLiteral("user_icon"), QString()}}));
    QList<QUrl> opened;
    MainWindowUI::setUrlOpener([&opened](const QUrl& u) {
        opened << u;
        return true;
    });
    auto w = newWindow();
    QVERIFY(waitState(w.get(), MainWindowUI::NoCamera, 20000));
    QWidget* page = w->ui()->pageWidget();
    QCOMPARE(page->objectName(), QStringLiteral("no_dev_page_"));
    shot(w.get(), QStringLiteral("main-no-camera"));
    auto* store = page->findChild<QPushButton*>(QStringLiteral("goto_marqet_btn_"));
    store->click();
    QCOMPARE(opened, QList<QUrl>{QUrl(QString::fromLatin1(MainWindow::kDefaultStoreUrl))});
    // A store address from the settings that is not a web address is refused.
    AppInfo::instance()->setString(QStringLiteral("settings"), QStringLiteral("store_url"),
                                   QStringLiteral("javascript:alert(1)"));
    store->click();
    QCOMPARE(opened.size(), 1);
    AppInfo::instance()->setString(QStringLiteral("settings"), QStringLiteral("store_url"),
                                   QStringLiteral("https://store.example/cameras"));
    store->click();
    QCOMPARE(opened.last(), QUrl(QStringLiteral("https://store.example/cameras")));

    // The first camera of the account brings the grid.
    SimCamera cam;
    QVERIFY(m_scenario->camera(QStringLiteral("cam1"), &cam));
    cam.did = QStringLiteral("cam10");
    cam.name = QStringLiteral("First camera");
    cam.owner = QStringLiteral("5000000005");
    cam.p2pId.clear();
    m_scenario->addCamera(cam);
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 10000));
    QCOMPARE(w->ui()->allTiles().size(), 1);
    // The grid the user chose in the earlier runs, not one from the count.
    QCOMPARE(w->ui()->pageMode(),
             AppInfo::instance()->getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), -1));
    QVERIFY(quit(w));
    QVERIFY(m_scenario->removeCamera(QStringLiteral("cam10")));
    MainWindowUI::setUrlOpener([](const QUrl&) { return false; });
    QVERIFY(CredentialStore::writeJson(QStringLiteral("account"), kept));
}

void TstMainWindow::signOutShowsTheWebPageNextStart()
{
    auto w = newWindow();
    QVERIFY(waitState(w.get(), MainWindowUI::HasCamera, 20000));
    QTRY_VERIFY_WITH_TIMEOUT(w->ui()->userIcon()->isVisible(), 10000);
    // "Logout" in the user menu, confirmed.
    QCursor::setPos(w->ui()->userIcon()->mapToGlobal(w->ui()->userIcon()->rect().center()));
    w->ui()->showUserMenu();
    QVERIFY(w->ui()->settingMenu());
    answerNextBox(1);
    w->ui()->settingMenu()->logoutItem()->click();
    QVERIFY(waitState(w.get(), MainWindowUI::WebLogin, 20000));
    QVERIFY(w->ui()->allTiles().isEmpty());
    QVERIFY(!w->ui()->userIcon()->isVisible());
    QVERIFY(!AppInfo::instance()->getBool(QStringLiteral("settings"), QStringLiteral("remember"), true));
    QVERIFY(CredentialStore::readJson(QStringLiteral("account")).isEmpty());
    QVERIFY(quit(w));

    // The next start asks on the web page again.
    auto again = newWindow();
    QCOMPARE(again->ui()->state(), int(MainWindowUI::WebLogin));
    QVERIFY(quit(again));
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
