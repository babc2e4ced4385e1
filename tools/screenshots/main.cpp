// Renders the pictures of docs/screenshots from the real widgets: the window
// chrome and the timeline in their states, the camera tile in each overlay
// state (driven through its client's signals, with the three calls that
// reach a camera stood in for), and the main window against the emulated home
// (sign-in page, grid, rooms, pages, full screen, a sleeping camera, the user
// menu, the network error and no-camera pages). Texts in the language the
// program shows: its Chinese translation, loaded as the program does.
//
//   vc_screenshots OUTPUT_DIR        (scripts/screenshots.sh runs it)

#include "tests/support/threadsafespy.h"
#include "tests/ui/windowhome.h"

#include "core/appinfo.h"
#include "browser/mceflibprivate.h"
#include "browser/mcefwebview.h"
#include "res/vcresources.h"
#include "ui/imageslabel.h"
#include "ui/mlabel.h"
#include "ui/mnavigatebar.h"
#include "ui/motorcontrolwidget.h"
#include "ui/pincodelineedit.h"
#include "ui/pincodewidget.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/timelinetoolswidget.h"
#include "ui/videolabel.h"
#include "ui/viewmodelistwidget.h"
#include "ui/viewmodewidget.h"
#include "ui/videosolutioncombobox.h"
#include "ui/vuantimationwidget.h"
#include "ui/vucamerawidgetui.h"

#include <QCursor>
#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QPainter>
#include <QScreen>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTranslator>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cstdio>
#include <functional>

namespace {

QString g_out;
int g_problems = 0;

void problem(const QString& what)
{
    std::fprintf(stderr, "screenshots: %s\n", qUtf8Printable(what));
    ++g_problems;
}

// Waits for a condition; a problem when it does not come.
bool await(const std::function<bool()>& condition, const QString& what, int ms = 15000)
{
    if (QTest::qWaitFor(condition, ms))
        return true;
    problem(QStringLiteral("gave up waiting for ") + what);
    return false;
}

// Saves a picture; small ones (pop-ups, bars) on the window colour with a margin.
void save(const QImage& grabbed, const QString& name, bool framed = false)
{
    const QImage img = grabbed.convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < img.height() && colours.size() < 4; y += 2)
        for (int x = 0; x < img.width() && colours.size() < 4; x += 2)
            colours.insert(img.pixel(x, y));
    if (colours.size() < 4)
        problem(name + QStringLiteral(" looks blank"));
    QImage out = img;
    if (framed) {
        out = QImage(img.width() + 32, img.height() + 32, QImage::Format_ARGB32);
        out.fill(QColor(0x0b, 0x0c, 0x0f));
        QPainter(&out).drawImage(16, 16, img);
    }
    if (!out.save(g_out + QLatin1Char('/') + name + QStringLiteral(".png")))
        problem(QStringLiteral("cannot write ") + name);
}

void shot(QWidget* w, const QString& name, bool framed = true)
{
    w->show();
    QTest::qWait(50); // painted, animations a step on
    save(w->grab().toImage(), name, framed);
}

// A holder styled like the bar a widget sits in.
QWidget* bar(const char* objectName, QWidget* content, const QSize& size, const QMargins& margins)
{
    auto* holder = new QWidget;
    holder->setObjectName(QLatin1String(objectName));
    holder->setAttribute(Qt::WA_StyledBackground, true);
    auto* row = new QHBoxLayout(holder);
    row->setContentsMargins(margins);
    row->addWidget(content);
    row->addStretch();
    holder->resize(size);
    return holder;
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

// Two days of 4-minute recordings: plain, a motion burst, a saved clip, a gap.
QVector<RecordFileHeader> recordings(const QDate& day)
{
    QVector<RecordFileHeader> v;
    const qint64 yday = QDateTime(day.addDays(-1), QTime(22, 0)).toSecsSinceEpoch();
    for (int i = 0; i < 30; ++i)
        v.append(rec(yday + i * 240, 240, i % 7 == 3 ? 1 : 0));
    const qint64 s = QDateTime(day, QTime(9, 0)).toSecsSinceEpoch();
    for (int i = 0; i < 12; ++i)
        v.append(rec(s + i * 240, 240, (i >= 4 && i < 7) ? 1 : 0, i == 9 ? 1 : 0));
    const qint64 s2 = s + 12 * 240 + 900;
    for (int i = 0; i < 14; ++i)
        v.append(rec(s2 + i * 240, 240, i == 5 ? 1 : 0));
    v.append(rec(s2 + 14 * 240 + 3600, 10)); // the trailing record, not drawn
    return v;
}

void chrome(const QString& settingsFile)
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    auto* title = new TitleBar(&window);
    (new QVBoxLayout(&window))->setContentsMargins(0, 0, 0, 0);
    window.layout()->addWidget(title);
    window.resize(760, 30);
    window.show();
    shot(title, QStringLiteral("titlebar_normal"));
    title->findChild<QPushButton*>(QStringLiteral("max_btn_"))->click();
    window.resize(760, 30);
    shot(title, QStringLiteral("titlebar_maximized"));
    for (int state : {0, 2}) {
        title->setButtonState(state);
        shot(title, QStringLiteral("titlebar_state%1").arg(state));
    }

    SettingMenu menu;
    shot(&menu, QStringLiteral("setting_menu"));
    auto* mode = new ViewModeWidget;
    std::unique_ptr<QWidget> modeBar(bar("bottom_bar_", mode, QSize(220, 48), QMargins(12, 9, 12, 9)));
    for (int i = 0; i < 3; ++i) {
        mode->setCurrentIndex(i);
        shot(modeBar.get(), QStringLiteral("view_mode_widget_%1").arg(i));
    }
    mode->showList();
    shot(mode->listWidget(), QStringLiteral("view_mode_list"));
    mode->listWidget()->hide();
    auto* quality = new VideoSolutionCombobox;
    std::unique_ptr<QWidget> tileBar(bar("play_bottom_bar_", quality, QSize(160, 30), QMargins(8, 3, 8, 3)));
    for (int q = 0; q < 3; ++q) {
        quality->setCurrentQuality(q);
        shot(tileBar.get(), QStringLiteral("video_solution_combobox_%1").arg(q));
    }
    quality->showPopup();
    shot(quality->popupList(), QStringLiteral("video_solution_list"));
    quality->hidePopup();

    QWidget parent;
    parent.resize(640, 480);
    parent.show();
    MMessageBox box(&parent);
    const struct { const char* name; const char* context; const char* title; const char* text; bool okOnly; } boxes[] = {
        {"message_box_confirm", "MainWindowUI", "Application Quit", "Are you sure to close app?", false},
        {"message_box_ok_only", "MainWindow", "Current Version", "current_version:%1, already latest", true},
        {"message_box_long_text", "MainWindow", "Current Version", "current_version:%1, new version:%2, update it?", false},
    };
    for (const auto& b : boxes) {
        QTimer::singleShot(50, &box, [&box, &b] {
            shot(&box, QLatin1String(b.name));
            box.accept();
        });
        QString text = QCoreApplication::translate(b.context, b.text);
        for (const char* version : {"3.0.0", "3.1.2"})
            text = text.contains(QLatin1Char('%')) ? text.arg(QLatin1String(version)) : text;
        box.exec(QCoreApplication::translate(b.context, b.title), text, b.okOnly);
    }

    AppInfo settings(settingsFile, QString());
    RoomListBar rooms;
    rooms.setSettings(&settings);
    rooms.setUserId(QStringLiteral("1"));
    rooms.resize(760, 40);
    rooms.setRooms({QStringLiteral("客厅"), QStringLiteral("卧室"), QStringLiteral("厨房"), QStringLiteral("车库")},
                   {QStringLiteral("living"), QStringLiteral("bedroom"), QStringLiteral("kitchen"), QStringLiteral("nothing_known")},
                   true, true);
    shot(&rooms, QStringLiteral("room_list_bar_all"));
    rooms.button(1)->click();
    shot(&rooms, QStringLiteral("room_list_bar_named"));
    rooms.setRooms({QStringLiteral("书房")}, {QStringLiteral("office")}, false, false);
    shot(&rooms, QStringLiteral("room_list_bar_single"));
    // More rooms than the 4-grid's width: the themed bar scrolls them.
    QStringList many;
    for (int i = 1; i <= 12; ++i)
        many << QStringLiteral("房间 %1").arg(i);
    many << QStringLiteral("A room with a very long name at the back of the house");
    rooms.setRooms(many, QStringList(), true, true);
    rooms.resize(640, 40);
    shot(&rooms, QStringLiteral("room_list_bar_many"));
    auto* nav = new MNavigateBar;
    std::unique_ptr<QWidget> navBar(bar("bottom_bar_", nav, QSize(460, 48), QMargins(12, 10, 12, 10)));
    for (const QPoint& s : {QPoint(12, 1), QPoint(12, 6), QPoint(12, 12), QPoint(5, 3), QPoint(1, 1)}) {
        nav->setPageCount(s.x());
        nav->setCurrentPage(s.y());
        shot(navBar.get(), QStringLiteral("navigate_bar_%1_at_%2").arg(s.x()).arg(s.y()));
    }

    QWidget page;
    page.setObjectName(QStringLiteral("loading_page_"));
    page.setAttribute(Qt::WA_StyledBackground, true);
    auto* row = new QHBoxLayout(&page);
    auto* loading = new ImagesLabel(&page);
    loading->setFixedSize(162, 162);
    row->addWidget(loading);
    for (const char* seq : {":res/gif/camera_icon_loading_nor_", ":res/gif/camera_v4_icon_loading_"}) {
        auto* anim = new VuAntimationWidget(&page);
        anim->setFixedSize(90, 90);
        anim->setImages(QLatin1String(seq), QStringLiteral(".png"), 26);
        anim->start();
        row->addWidget(anim);
    }
    page.resize(420, 190);
    loading->start(60000, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    shot(&page, QStringLiteral("animations_frame_0"));
    for (int i = 0; i < 9; ++i)
        loading->onTimeOut();
    shot(&page, QStringLiteral("animations_frame_9"));

    const QDate day(2026, 3, 10);
    TimeLineToolsWidget tools;
    tools.resize(620, tools.sizeHint().height());
    shot(&tools, QStringLiteral("timeline_empty"));
    tools.updateFileHeaders(recordings(day));
    tools.updateFrameTime(int(QDateTime(day, QTime(10, 20)).toSecsSinceEpoch()), false);
    shot(&tools, QStringLiteral("timeline_live"));
    const int playAt = int(QDateTime(day, QTime(9, 25)).toSecsSinceEpoch());
    tools.onLocationSelected(playAt);
    tools.updateFrameTime(playAt, true);
    shot(&tools, QStringLiteral("timeline_playback"));
    while (tools.timeLine()->zoomIn()) {
    }
    shot(&tools, QStringLiteral("timeline_zoom_1s"));
    while (tools.timeLine()->zoomOut()) {
    }
    tools.updateFrameTime(int(QDateTime(day, QTime(0, 10)).toSecsSinceEpoch()), true);
    shot(&tools, QStringLiteral("timeline_zoom_30s_midnight"));
    tools.timeLine()->zoomIn();
    tools.resize(380, tools.height());
    shot(&tools, QStringLiteral("timeline_narrow"));
}

// The tile with the three calls that reach a camera stood in for: pictures
// are drawn here and announced while framesFlow is set.
class StandInTile : public VuCameraWidget
{
public:
    explicit StandInTile(VuCameraClient* c) : VuCameraWidget(c)
    {
        // As the receive thread would: a picture announced 20 times a second.
        connect(&m_feed, &QTimer::timeout, this, [this, c] {
            if (framesFlow)
                emit c->pictureReady();
        });
        m_feed.start(50);
    }
    bool framesFlow = false;
    bool playback = false;
    quint32 timestamp = 0;

protected:
    void clientPlay(int, bool, const QString&) override {}
    void clientCheckPowerOnce() override {}
    int clientBytesPerSecond() override { return 1572864; }
    QPixmap clientGrabFrame(FrameInfo& info, bool& more) override
    {
        more = false;
        if (!framesFlow)
            return QPixmap();
        info.timestamp = timestamp;
        info.isPlayback = playback;
        info.sendTimeUs = quint64(QDateTime::currentMSecsSinceEpoch()) * 1000;
        QPixmap p(ui()->videoSize());
        QPainter painter(&p);
        QLinearGradient sky(0, 0, 0, p.height());
        sky.setColorAt(0, QColor(92, 140, 190));
        sky.setColorAt(1, QColor(40, 70, 60));
        painter.fillRect(p.rect(), sky);
        painter.fillRect(QRect(p.width() / 5, p.height() / 2, p.width() / 4, p.height() / 3), QColor(150, 110, 80));
        painter.fillRect(QRect(p.width() * 3 / 5, p.height() * 2 / 5, p.width() / 6, p.height() / 2), QColor(200, 200, 190));
        return p;
    }

private:
    QTimer m_feed;
};

void tiles()
{
    // The client outlives its tile.
    struct Tile
    {
        std::unique_ptr<VuCameraClient> client;
        std::unique_ptr<StandInTile> tile;
    };
    auto make = [](const QString& did, const QString& model, bool pincode) {
        VuotCameraStat s;
        s.did = did;
        s.name = QStringLiteral("客厅");
        s.model = model;
        s.isOnline = true;
        s.isSetPincode = pincode;
        Tile made;
        made.client = std::make_unique<VuCameraClient>(s);
        made.tile = std::make_unique<StandInTile>(made.client.get());
        made.tile->resize(480, 300); // a cell of the 4-grid
        made.tile->show();
        return made;
    };
    auto shoot = [](StandInTile* t, const char* name) {
        QTest::qWait(400); // the bottom bar slides in, the animation moves on
        save(t->grab().toImage(), QStringLiteral("tile-") + QLatin1String(name));
    };
    auto first = make(QStringLiteral("shot1"), QStringLiteral("hovia.camera.v2"), false);
    StandInTile* t = first.tile.get();
    VuCameraClient* client = first.client.get();
    shoot(t, "stopped");
    QTest::mouseClick(t->ui()->playButton(), Qt::LeftButton);
    shoot(t, "reading-properties");
    emit client->played(Connecting);
    shoot(t, "connecting");
    emit client->played(WaitingForPlaying);
    shoot(t, "waiting-for-playing");
    t->ui()->setState(VuCameraWidgetUI::Authing);
    shoot(t, "authing");
    t->ui()->setState(VuCameraWidgetUI::Disconnecting);
    shoot(t, "disconnecting");
    t->framesFlow = true;
    t->timestamp = quint32(QDateTime::currentSecsSinceEpoch());
    emit client->played(Playing);
    await([&] { return !t->currentPicture().isNull(); }, QStringLiteral("the tile's first picture"));
    QEvent enter(QEvent::Enter), leave(QEvent::Leave); // the pad shows under the pointer
    QApplication::sendEvent(t, &enter);
    shoot(t, "playing");
    QApplication::sendEvent(t, &leave);
    // A long name in a cell of the 9-grid: elided, the time stamp in place.
    emit client->nameChanged(QStringLiteral("客厅东北角 阳台门旁边的摄像机"));
    t->resize(304, 201);
    shoot(t, "long-name");
    emit client->nameChanged(QStringLiteral("客厅"));
    t->resize(480, 300);
    t->ui()->showSnapshotSaved(QStringLiteral("shot1_20260101_120000.png"));
    shoot(t, "snapshot");
    t->ui()->snapshotLabel()->hide(); // its time-out is longer than a shot
    emit client->recordingStarted(QStringLiteral("shot1_20260101_120000.mp4"));
    shoot(t, "recording");
    emit client->recordingSaved(QStringLiteral("shot1_20260101_120000.mp4"));
    shoot(t, "recording-saved");
    t->ui()->snapshotLabel()->hide();
    t->ui()->setSdcardReady(true);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVector<RecordFileHeader> recs;
    for (int i = 0; i < 40; ++i)
        recs.append(rec(now - 4 * 3600 + i * 300, 240, i % 5 == 2 ? 1 : 0));
    emit client->timeLineReady(recs);
    t->playback = true;
    t->timestamp = quint32(now - 3600);
    QApplication::sendEvent(t, &enter);
    shoot(t, "timeline-playback");
    QApplication::sendEvent(t, &leave);
    t->ui()->setSdcardReady(false);
    t->framesFlow = false;
    await([&] { return t->ui()->isBuffering(); }, QStringLiteral("buffering"));
    shoot(t, "buffering");
    emit client->powerStateChanged(false);
    shoot(t, "sleep");
    t->ui()->setErrorText(VuCameraWidget::errorText(-13));
    t->ui()->setState(VuCameraWidgetUI::StoppedForError);
    shoot(t, "error");
    emit client->onlineStateChanged(false);
    shoot(t, "offline");

    auto second = make(QStringLiteral("shot2"), QStringLiteral("hovia.camera.v4"), true);
    StandInTile* pin = second.tile.get();
    shoot(pin, "pincode");
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(pin->ui()->pinCodeWidget()->edit(i), '0');
    emit second.client->failed(-20009);
    shoot(pin, "pincode-error");
    pin->ui()->setState(VuCameraWidgetUI::ReadingProperties);
    shoot(pin, "loading-v4");
}

void window(WindowHome& home)
{
    auto whole = [](MainWindow* w, const char* name) {
        // Every playing tile shows a picture decoded at its label's size.
        await([w] {
            for (VuCameraWidget* t : w->ui()->shownTiles()) {
                if (t->ui() && t->ui()->state() == VuCameraWidgetUI::Playing
                    && t->currentPicture().size() != t->ui()->videoSize())
                    return false;
            }
            return true;
        }, QStringLiteral("pictures at the tiles' sizes"));
        QTest::qWait(500); // the last pictures painted
        save(w->grab().toImage(), QLatin1String(name));
    };
    CredentialStore::remove(QStringLiteral("account"));
    auto w = WindowHome::open();
    MCefWebView* view = w->ui()->loginView();
    ThreadSafeSpy loaded(view, &MCefWebView::loadFinished);
    await([&] { return view->url().path() == QLatin1String("/pass/serviceLogin") && loaded.count() > 0; },
          QStringLiteral("the sign-in page"), 30000);
    whole(w.get(), "main-signin");
    view->runScript(QStringLiteral("document.getElementById('user').value='3000000003';"
                                   "document.getElementById('password').value='pw-main';"
                                   "document.getElementById('submit').click();"));
    if (!await([&] { return w->ui()->state() == MainWindowUI::HasCamera; }, QStringLiteral("the grid"), 30000))
        return;

    w->ui()->chooseGridMode(2);
    w->ui()->playAllButton()->click();
    VuCameraWidget* cot = WindowHome::tile(w.get(), QStringLiteral("cam4"));
    await([&] { return cot->ui()->state() == VuCameraWidgetUI::Pincode; }, QStringLiteral("the pin code"));
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(cot->ui()->pinCodeWidget()->edit(i), "2468"[i]);
    for (const char* did : {"cam1", "cam2", "cam4", "cam6", "cam7", "cam8", "cam9"}) {
        VuCameraWidget* t = WindowHome::tile(w.get(), QLatin1String(did));
        await([t] { return t->ui()->state() == VuCameraWidgetUI::Playing && !t->currentPicture().isNull(); },
              QLatin1String(did) + QStringLiteral(" playing"));
    }
    // The pointer rests on the first tile: its pan/tilt pad shows.
    VuCameraWidget* front = WindowHome::tile(w.get(), QStringLiteral("cam1"));
    QCursor::setPos(front->mapToGlobal(front->rect().center()));
    await([&] { return front->ui()->motorWidget()->isVisible(); }, QStringLiteral("the pad under the pointer"));
    whole(w.get(), "main-grid-9");
    w->ui()->roomListBar()->selectRoom(QStringLiteral("Bedroom"), false);
    whole(w.get(), "main-room-bedroom");
    w->ui()->selectAllRooms();
    w->ui()->chooseGridMode(1);
    w->ui()->goToPage(1);
    whole(w.get(), "main-grid-4-page2");
    w->ui()->goToPage(0);
    w->ui()->enterFullscreen(WindowHome::tile(w.get(), QStringLiteral("cam1")));
    await([&] { return w->geometry() == w->screen()->geometry(); }, QStringLiteral("full screen"));
    VuCameraWidget* big = WindowHome::tile(w.get(), QStringLiteral("cam1"));
    QCursor::setPos(big->mapToGlobal(big->rect().center()));
    await([&] { return big->ui()->motorWidget()->isVisible(); }, QStringLiteral("the pad in full screen"));
    whole(w.get(), "main-fullscreen");
    // Zoomed 2.4x (four notches) about the camera's name: pictures cut from the full-size frame.
    VuCameraWidget* full = WindowHome::tile(w.get(), QStringLiteral("cam1"));
    VideoLabel* video = full->ui()->videoLabel();
    const QPointF about(video->width() * 0.08, video->height() * 0.08);
    for (int i = 0; i < 4; ++i) {
        QWheelEvent notch(about, video->mapToGlobal(about.toPoint()), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(video, &notch);
    }
    const quint64 shown = full->picturesShown();
    await([&] { return full->picturesShown() > shown + 20; }, QStringLiteral("zoomed pictures"));
    whole(w.get(), "main-fullscreen-zoomed");
    QMouseEvent back(QEvent::MouseButtonDblClick, about, Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(video, &back);
    w->ui()->leaveFullscreen();
    VuCameraWidget* hall = WindowHome::tile(w.get(), QStringLiteral("cam2"));
    hall->ui()->sleepButton()->click();
    await([&] { return hall->ui()->state() == VuCameraWidgetUI::StoppedForSleep; }, QStringLiteral("sleep"));
    whole(w.get(), "main-camera-asleep");
    QCursor::setPos(w->ui()->userIcon()->mapToGlobal(w->ui()->userIcon()->rect().center()));
    w->ui()->showUserMenu();
    if (w->ui()->settingMenu()) // drawn inside the window, under the user icon
        save(w->grab(QRect(w->width() - 480, 0, 480, 160)).toImage(), QStringLiteral("main-user-menu"));
    hall->ui()->wakeUpButton()->click();
    WindowHome::quit(w);

    home.home.setCloudFaults(R"({"http_status": {"/app/homeroom/getroom": 500}})");
    w = WindowHome::open();
    if (await([&] { return w->ui()->state() == MainWindowUI::NetError; }, QStringLiteral("the error page"), 30000))
        whole(w.get(), "main-net-error");
    WindowHome::quit(w);
    home.home.setCloudFaults("{}");

    WindowHome::storeAccount(QStringLiteral("5000000005"), QStringLiteral("Newcomer"),
                             QStringLiteral("PT-empty-account-token"));
    w = WindowHome::open();
    if (await([&] { return w->ui()->state() == MainWindowUI::NoCamera; }, QStringLiteral("the no-camera page")))
        whole(w.get(), "main-no-camera");
    WindowHome::quit(w);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling); // as the application: QT_SCALE_FACTOR=2 shoots at 2x
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: vc_screenshots OUTPUT_DIR\n");
        return 2;
    }
    g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_out);
    QStandardPaths::setTestModeEnabled(true);
    vcInitResources();
    QTranslator translator;
    if (translator.load(QStringLiteral(":/res/lang/vcam_zh_CN.qm"), QString(), QString(), QString()))
        app.installTranslator(&translator);
    QFile css(QStringLiteral(":/res/css/general.css"));
    if (css.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(css.readAll()));

    // The emulated home first: whatever the widgets reach is on this machine.
    WindowHome home;
    if (!home.start()) {
        problem(QStringLiteral("the emulated home did not start"));
        return 1;
    }
    QTemporaryDir scratch;
    chrome(scratch.filePath(QStringLiteral("rooms.json")));
    tiles();
    window(home);
    home.stop();
    if (AppGlobals::browserInitialized.load())
        MCefLibPrivate::shutdown();
    std::printf("screenshots: %d problem(s), pictures in %s\n", g_problems, qUtf8Printable(g_out));
    return g_problems == 0 ? 0 : 1;
}
