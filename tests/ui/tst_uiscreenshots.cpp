// Renders every widget of the window chrome and the timeline, in each of its
// states, into PNG files under <build>/screenshots, and checks that each one
// shows something (not a blank or single-colour picture). The pictures are
// the reference for the look (copied to docs/screenshots).

#include "uitestsupport.h"

#include "app/appinfo.h"
#include "ui/imageslabel.h"
#include "ui/mlabel.h"
#include "ui/mmessagebox.h"
#include "ui/mnavigatebar.h"
#include "ui/roomlistbar.h"
#include "ui/settingmenu.h"
#include "ui/timedatelinewidget.h"
#include "ui/timelinetoolswidget.h"
#include "ui/timelinewidget.h"
#include "ui/titlebar.h"
#include "ui/videosolutioncombobox.h"
#include "ui/viewmodelistwidget.h"
#include "ui/viewmodewidget.h"
#include "ui/vuantimationwidget.h"
#include "ui/vudatebutton.h"

#include <QDateTime>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <QVBoxLayout>

namespace {
RecordFileHeader rec(qint64 start, int length, int motion = 0, int saved = 0)
{
    RecordFileHeader h;
    h.startTime = quint32(start);
    h.duration = quint8(length);
    h.motioned = quint8(motion);
    h.saved = quint8(saved);
    return h;
}

// A morning of recordings in 4-minute files: plain, a motion burst, a saved
// clip, a gap, and more; two days.
QVector<RecordFileHeader> sampleRecordings(const QDate& day)
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
} // namespace

class TstUiScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void titleBar();
    void menusAndChoosers();
    void messageBox();
    void roomsAndPages();
    void animations();
    void timeline();
    void chineseTexts();
    void mainWindowMock();
    void tileMock();

private:
    void shot(QWidget* w, const QString& name);
    void shotImage(const QImage& img, const QString& name);

    QString m_out;
    QTemporaryDir m_tmp;
    int m_count = 0;
};

void TstUiScreenshots::initTestCase()
{
    UiTest::setUp(true);
    m_out = QStringLiteral(VC_BINARY_DIR "/screenshots");
    QDir(m_out).removeRecursively();
    QVERIFY(QDir().mkpath(m_out));
}

void TstUiScreenshots::cleanupTestCase()
{
    QVERIFY(m_count >= 30);
    QCOMPARE(UiTest::resourceWarnings(), QStringList());
}

void TstUiScreenshots::shotImage(const QImage& grabbed, const QString& name)
{
    const QImage img = grabbed.convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!img.isNull() && img.width() > 4 && img.height() > 4, qPrintable(name));
    // Not blank: several distinct opaque colours.
    QSet<QRgb> colours;
    for (int y = 0; y < img.height() && colours.size() < 16; y += 1) {
        const QRgb* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(line[x]) > 200)
                colours.insert(line[x]);
        }
    }
    QVERIFY2(colours.size() >= 4, qPrintable(QStringLiteral("%1 looks blank (%2 colours)").arg(name).arg(colours.size())));

    // On the window colour, with a margin, so translucent pop-ups read well.
    const int pad = 16;
    QImage out(img.width() + 2 * pad, img.height() + 2 * pad, QImage::Format_ARGB32);
    out.fill(QColor(0x0b, 0x0c, 0x0f));
    QPainter p(&out);
    p.drawImage(pad, pad, img);
    p.end();
    QVERIFY(out.save(m_out + QLatin1Char('/') + name + QStringLiteral(".png")));
    ++m_count;
}

void TstUiScreenshots::shot(QWidget* w, const QString& name)
{
    w->ensurePolished();
    if (!w->isVisible())
        w->show();
    QCoreApplication::processEvents();
    shotImage(w->grab().toImage(), name);
}

void TstUiScreenshots::titleBar()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setObjectName(QStringLiteral("main_window_"));
    auto* lay = new QVBoxLayout(&window);
    lay->setContentsMargins(0, 0, 0, 0);
    auto* bar = new TitleBar(&window);
    lay->addWidget(bar);
    window.resize(760, 30);
    window.show();
    shot(bar, QStringLiteral("titlebar_normal"));
    bar->findChild<QPushButton*>(QStringLiteral("max_btn_"))->click();
    window.resize(760, 30);
    shot(bar, QStringLiteral("titlebar_maximized"));
    bar->setButtonState(0);
    shot(bar, QStringLiteral("titlebar_state0"));
    bar->setButtonState(2);
    shot(bar, QStringLiteral("titlebar_state2"));
}

void TstUiScreenshots::menusAndChoosers()
{
    SettingMenu menu;
    menu.show();
    shot(&menu, QStringLiteral("setting_menu"));

    QWidget bottom;
    bottom.setObjectName(QStringLiteral("bottom_bar_"));
    bottom.setAttribute(Qt::WA_StyledBackground, true);
    auto* row = new QHBoxLayout(&bottom);
    row->setContentsMargins(12, 9, 12, 9);
    auto* mode = new ViewModeWidget(&bottom);
    row->addWidget(mode);
    row->addStretch();
    bottom.resize(220, 48);
    bottom.show();
    for (int i = 0; i < 3; ++i) {
        mode->setCurrentIndex(i);
        shot(&bottom, QStringLiteral("view_mode_widget_%1").arg(i));
    }
    mode->setCurrentIndex(1);
    mode->showList();
    shot(mode->listWidget(), QStringLiteral("view_mode_list"));
    mode->listWidget()->hide();

    QWidget tileBar;
    tileBar.setObjectName(QStringLiteral("play_bottom_bar_"));
    tileBar.setAttribute(Qt::WA_StyledBackground, true);
    auto* tileRow = new QHBoxLayout(&tileBar);
    tileRow->setContentsMargins(8, 3, 8, 3);
    auto* quality = new VideoSolutionCombobox(&tileBar);
    tileRow->addWidget(quality);
    tileRow->addStretch();
    tileBar.resize(160, 30);
    tileBar.show();
    for (int q = 0; q < 3; ++q) {
        quality->setCurrentQuality(q);
        shot(&tileBar, QStringLiteral("video_solution_combobox_%1").arg(q));
    }
    quality->setCurrentQuality(1);
    quality->showPopup();
    shot(quality->popupList(), QStringLiteral("video_solution_list"));
    quality->hidePopup();
}

void TstUiScreenshots::messageBox()
{
    QWidget parent;
    parent.resize(640, 480);
    parent.show();
    MMessageBox box(&parent);
    QTimer::singleShot(30, &box, [this, &box] {
        shot(&box, QStringLiteral("message_box_confirm"));
        box.accept();
    });
    QCOMPARE(box.exec(QStringLiteral("Application Quit"), QStringLiteral("Are you sure to close app?"), false), 1);
    QTimer::singleShot(30, &box, [this, &box] {
        shot(&box, QStringLiteral("message_box_ok_only"));
        box.accept();
    });
    QCOMPARE(box.exec(QStringLiteral("Current Version"), QStringLiteral("current_version:3.0.0, already latest"), true), 1);
    QTimer::singleShot(30, &box, [this, &box] {
        shot(&box, QStringLiteral("message_box_long_text"));
        box.reject();
    });
    box.exec(QStringLiteral("Current Version"),
             QStringLiteral("current_version:3.0.0, new version:3.1.2, update it? This release improves the "
                            "playback timeline, reconnects faster after a network change and fixes audio "
                            "on some models."),
             false);
}

void TstUiScreenshots::roomsAndPages()
{
    AppInfo settings(m_tmp.filePath(QStringLiteral("s.json")), QString());
    RoomListBar rooms;
    rooms.setSettings(&settings);
    rooms.setUserId(QStringLiteral("1"));
    rooms.resize(760, 40);
    rooms.setRooms({QStringLiteral("Living room"), QStringLiteral("Bedroom"), QStringLiteral("Kitchen"),
                    QStringLiteral("Garage")},
                   {QStringLiteral("living"), QStringLiteral("bedroom"), QStringLiteral("kitchen"),
                    QStringLiteral("nothing_known")},
                   true, true);
    shot(&rooms, QStringLiteral("room_list_bar_all"));
    rooms.button(1)->click();
    shot(&rooms, QStringLiteral("room_list_bar_named"));
    rooms.setRooms({QStringLiteral("Office")}, {QStringLiteral("office")}, false, false);
    shot(&rooms, QStringLiteral("room_list_bar_single"));

    QWidget holder;
    holder.setObjectName(QStringLiteral("bottom_bar_"));
    holder.setAttribute(Qt::WA_StyledBackground, true);
    auto* lay = new QHBoxLayout(&holder);
    lay->setContentsMargins(12, 10, 12, 10);
    auto* nav = new MNavigateBar(&holder);
    lay->addWidget(nav);
    lay->addStretch();
    holder.resize(460, 48);
    holder.show();
    const struct { int n, p; } states[] = {{12, 1}, {12, 6}, {12, 12}, {5, 3}, {1, 1}};
    for (const auto& s : states) {
        nav->setPageCount(s.n);
        nav->setCurrentPage(s.p);
        shot(&holder, QStringLiteral("navigate_bar_%1_at_%2").arg(s.n).arg(s.p));
    }
}

void TstUiScreenshots::animations()
{
    QWidget page;
    page.setObjectName(QStringLiteral("loading_page_"));
    page.setAttribute(Qt::WA_StyledBackground, true);
    auto* lay = new QHBoxLayout(&page);
    auto* loading = new ImagesLabel(&page);
    loading->setFixedSize(162, 162);
    lay->addWidget(loading);
    auto* nor = new VuAntimationWidget(&page);
    nor->setFixedSize(90, 90);
    nor->setImages(QStringLiteral(":res/gif/camera_icon_loading_nor_"), QStringLiteral(".png"), 26);
    lay->addWidget(nor);
    auto* v4 = new VuAntimationWidget(&page);
    v4->setFixedSize(90, 90);
    v4->setImages(QStringLiteral(":res/gif/camera_v4_icon_loading_"), QStringLiteral(".png"), 26);
    lay->addWidget(v4);
    auto* label = new MLabel(QStringLiteral("Click to retry"), &page);
    label->setObjectName(QStringLiteral("retry_label_"));
    lay->addWidget(label);
    page.resize(520, 190);
    page.show();
    loading->start(50, QStringLiteral(":res/gif/state_sequencen_"), QStringLiteral(".png"), 26);
    shot(&page, QStringLiteral("animations_frame_0"));
    for (int i = 0; i < 9; ++i)
        loading->onTimeOut();
    nor->start();
    v4->start();
    QTest::qWait(450);
    shot(&page, QStringLiteral("animations_frame_9"));
}

void TstUiScreenshots::timeline()
{
    const QDate day(2026, 3, 10);
    QWidget frame;
    frame.setObjectName(QStringLiteral("camera_tile_"));
    frame.setAttribute(Qt::WA_StyledBackground, true);
    auto* lay = new QVBoxLayout(&frame);
    lay->setContentsMargins(0, 0, 0, 0);
    auto* tools = new TimeLineToolsWidget(&frame);
    lay->addWidget(tools);
    frame.resize(620, tools->sizeHint().height());
    frame.show();
    shot(&frame, QStringLiteral("timeline_empty"));

    tools->updateFileHeaders(sampleRecordings(day));
    const int liveNow = int(QDateTime(day, QTime(10, 20)).toSecsSinceEpoch());
    tools->updateFrameTime(liveNow, false);
    shot(&frame, QStringLiteral("timeline_live"));

    const int playAt = int(QDateTime(day, QTime(9, 25)).toSecsSinceEpoch());
    tools->onLocationSelected(playAt);
    tools->updateFrameTime(playAt, true);
    shot(&frame, QStringLiteral("timeline_playback"));

    while (tools->timeLine()->zoomIn()) {
    }
    shot(&frame, QStringLiteral("timeline_zoom_1s"));
    while (tools->timeLine()->zoomOut()) {
    }
    tools->updateFrameTime(int(QDateTime(day, QTime(0, 10)).toSecsSinceEpoch()), true);
    shot(&frame, QStringLiteral("timeline_zoom_30s_midnight"));

    // A narrow tile: the day strip scrolls, and a playback day is checked.
    tools->timeLine()->zoomIn();
    frame.resize(380, frame.height());
    QCoreApplication::processEvents();
    shot(&frame, QStringLiteral("timeline_narrow"));
}

void TstUiScreenshots::chineseTexts()
{
    QTranslator tr;
    QVERIFY(tr.load(QStringLiteral(":/res/lang/vcam_zh_CN.qm"), QString(), QString(), QString()));
    qApp->installTranslator(&tr);
    QCoreApplication::processEvents();

    TitleBar bar;
    bar.resize(600, 30);
    shot(&bar, QStringLiteral("zh_titlebar"));

    AppInfo settings(m_tmp.filePath(QStringLiteral("zh.json")), QString());
    RoomListBar rooms;
    rooms.setSettings(&settings);
    rooms.resize(560, 40);
    rooms.setRooms({QString::fromUtf8("客厅"), QString::fromUtf8("卧室")}, {QStringLiteral("living"), QStringLiteral("bedroom")}, true, true);
    shot(&rooms, QStringLiteral("zh_room_list_bar"));

    SettingMenu menu;
    shot(&menu, QStringLiteral("zh_setting_menu"));

    MMessageBox box;
    QTimer::singleShot(30, &box, [this, &box] {
        shot(&box, QStringLiteral("zh_message_box"));
        box.accept();
    });
    box.exec(QCoreApplication::translate("MainWindow", "Application Quit"),
             QCoreApplication::translate("MainWindow", "Are you sure to close app?"), false);

    TimeLineToolsWidget tools;
    tools.resize(620, tools.sizeHint().height());
    tools.updateFileHeaders(sampleRecordings(QDate(2026, 3, 10)));
    shot(&tools, QStringLiteral("zh_timeline"));

    qApp->removeTranslator(&tr);
    QCoreApplication::processEvents();
}

// The main window's grid page as the window builder lays it out, with the
// object names its style sheet rules style.
void TstUiScreenshots::mainWindowMock()
{
    QWidget window(nullptr, Qt::FramelessWindowHint);
    window.setObjectName(QStringLiteral("main_window_"));
    window.setAttribute(Qt::WA_StyledBackground, true);
    auto* outer = new QVBoxLayout(&window);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(new TitleBar(&window));

    auto* page = new QWidget(&window);
    page->setObjectName(QStringLiteral("has_dev_page_"));
    page->setAttribute(Qt::WA_StyledBackground, true);
    auto* pageLay = new QGridLayout(page);
    pageLay->setContentsMargins(0, 0, 0, 0);
    pageLay->setSpacing(0);

    auto* left = new QWidget(page);
    left->setObjectName(QStringLiteral("left_bar_"));
    left->setAttribute(Qt::WA_StyledBackground, true);
    left->setFixedWidth(120);
    auto* leftLay = new QVBoxLayout(left);
    leftLay->setContentsMargins(0, 24, 0, 12);
    auto* icon = new QLabel(left);
    icon->setObjectName(QStringLiteral("user_icon_"));
    icon->setFixedSize(56, 56);
    QPixmap avatar(QStringLiteral(":/res/imgs/default_user_icon.png"));
    QPixmap framed = avatar.scaled(56, 56, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    {
        QPainter p(&framed);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(framed.rect(), QPixmap(QStringLiteral(":/res/imgs/user_icon_frame.png")));
    }
    icon->setPixmap(framed);
    leftLay->addWidget(icon, 0, Qt::AlignHCenter);
    auto* name = new QLabel(QStringLiteral("Alex"), left);
    name->setObjectName(QStringLiteral("user_name_"));
    leftLay->addWidget(name);
    leftLay->addStretch();
    pageLay->addWidget(left, 0, 0, 2, 1);

    auto* right = new QWidget(page);
    right->setObjectName(QStringLiteral("right_frame"));
    right->setAttribute(Qt::WA_StyledBackground, true);
    auto* rightLay = new QVBoxLayout(right);
    rightLay->setContentsMargins(0, 0, 0, 0);
    rightLay->setSpacing(0);
    AppInfo settings(m_tmp.filePath(QStringLiteral("mock.json")), QString());
    auto* rooms = new RoomListBar(right);
    rooms->setSettings(&settings);
    rooms->setFixedHeight(44);
    rooms->setRooms({QStringLiteral("Living room"), QStringLiteral("Garden")}, {QStringLiteral("living"), QStringLiteral("garden")}, true, false);
    rightLay->addWidget(rooms);
    auto* grid = new QGridLayout;
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(6);
    for (int i = 0; i < 4; ++i) {
        auto* cell = new QLabel(right);
        cell->setObjectName(QStringLiteral("empty_camera"));
        cell->setMinimumSize(200, 120);
        grid->addWidget(cell, i / 2, i % 2);
    }
    rightLay->addLayout(grid, 1);
    pageLay->addWidget(right, 0, 1);

    auto* bottom = new QWidget(page);
    bottom->setObjectName(QStringLiteral("bottom_bar_"));
    bottom->setAttribute(Qt::WA_StyledBackground, true);
    bottom->setFixedHeight(48);
    auto* bottomLay = new QHBoxLayout(bottom);
    bottomLay->setContentsMargins(12, 0, 12, 0);
    auto* mode = new ViewModeWidget(bottom);
    mode->setCurrentIndex(1);
    bottomLay->addWidget(mode);
    bottomLay->addStretch();
    auto* nav = new MNavigateBar(bottom);
    nav->setPageCount(3);
    nav->setCurrentPage(2);
    bottomLay->addWidget(nav);
    bottomLay->addStretch();
    bottomLay->addSpacing(132);
    pageLay->addWidget(bottom, 1, 1);
    outer->addWidget(page, 1);

    window.resize(900, 560);
    window.show();
    shot(&window, QStringLiteral("mock_main_window_grid"));

    // The other pages with their texts.
    const struct { const char* page; const char* img; const char* imgName; const char* label; const char* text;
                   const char* btn; const char* btnText; } pages[] = {
        {"net_error_page_", ":/res/imgs/net_error.png", "net_err_img", "net_err_label", "net error,click to retry.",
         "retry_login_btn_", "Retry"},
        {"no_dev_page_", ":/res/imgs/no_device.png", "no_dev_img_", "no_dev_label_", "no camerar, please goto marqet.",
         "goto_marqet_btn_", "MarqetStore"},
    };
    for (const auto& pg : pages) {
        QWidget w;
        w.setObjectName(QLatin1String(pg.page));
        w.setAttribute(Qt::WA_StyledBackground, true);
        auto* l = new QVBoxLayout(&w);
        l->addStretch();
        auto* img = new QLabel(&w);
        img->setObjectName(QLatin1String(pg.imgName));
        img->setPixmap(QPixmap(QLatin1String(pg.img)));
        l->addWidget(img);
        auto* text = new QLabel(QLatin1String(pg.text), &w);
        text->setObjectName(QLatin1String(pg.label));
        l->addWidget(text);
        l->addSpacing(10);
        auto* btn = new QPushButton(QLatin1String(pg.btnText), &w);
        btn->setObjectName(QLatin1String(pg.btn));
        l->addWidget(btn, 0, Qt::AlignHCenter);
        l->addStretch();
        w.resize(520, 360);
        shot(&w, QStringLiteral("mock_%1").arg(QLatin1String(pg.page)).remove(QRegExp(QStringLiteral("_$"))));
    }
}

// Tile overlays with the object names the tile's style sheet rules cover.
void TstUiScreenshots::tileMock()
{
    auto makeTile = [](const QString& title, QWidget* overlayContent, bool online) {
        auto* tile = new QWidget;
        tile->setObjectName(QStringLiteral("camera_tile_"));
        tile->setAttribute(Qt::WA_StyledBackground, true);
        auto* lay = new QVBoxLayout(tile);
        lay->setContentsMargins(0, 0, 0, 0);
        lay->setSpacing(0);
        auto* top = new QWidget(tile);
        top->setObjectName(QStringLiteral("play_top_bar_"));
        top->setAttribute(Qt::WA_StyledBackground, true);
        top->setFixedHeight(30);
        auto* topLay = new QHBoxLayout(top);
        topLay->setContentsMargins(8, 0, 8, 0);
        auto* name = new QLabel(title, top);
        name->setObjectName(QStringLiteral("cam_name_label_"));
        topLay->addWidget(name);
        topLay->addStretch();
        auto* flag = new QLabel(online ? QStringLiteral("online") : QStringLiteral("offline"), top);
        flag->setObjectName(online ? QStringLiteral("online_flag_") : QStringLiteral("offline_flag_"));
        topLay->addWidget(flag);
        lay->addWidget(top);
        auto* overlay = new QFrame(tile);
        overlay->setObjectName(QStringLiteral("overlay_frame_"));
        auto* ol = new QVBoxLayout(overlay);
        ol->addStretch();
        overlayContent->setParent(overlay);
        ol->addWidget(overlayContent, 0, Qt::AlignCenter);
        ol->addStretch();
        lay->addWidget(overlay, 1);
        auto* bottom = new QWidget(tile);
        bottom->setObjectName(QStringLiteral("play_bottom_bar_"));
        bottom->setAttribute(Qt::WA_StyledBackground, true);
        bottom->setFixedHeight(30);
        auto* bl = new QHBoxLayout(bottom);
        bl->setContentsMargins(8, 0, 8, 0);
        bl->setSpacing(4);
        for (const char* n : {"stop_play_btn_"}) {
            auto* b = new QPushButton(bottom);
            b->setObjectName(QLatin1String(n));
            bl->addWidget(b);
        }
        bl->addWidget(new VideoSolutionCombobox(bottom));
        bl->addStretch();
        for (const char* n : {"sound_on_btn_", "fullscreen_btn_"}) {
            auto* b = new QPushButton(bottom);
            b->setObjectName(QLatin1String(n));
            bl->addWidget(b);
        }
        lay->addWidget(bottom);
        tile->resize(480, 300);
        return tile;
    };
    auto column = [](std::initializer_list<QWidget*> ws) {
        auto* w = new QWidget;
        w->setAttribute(Qt::WA_TranslucentBackground);
        auto* l = new QVBoxLayout(w);
        l->setSpacing(8);
        for (QWidget* x : ws) {
            x->setParent(w);
            l->addWidget(x, 0, Qt::AlignHCenter);
        }
        return w;
    };
    auto label = [](const QString& name, const QString& text) {
        auto* l = new QLabel(text);
        l->setObjectName(name);
        return l;
    };
    auto picture = [](const QString& path) {
        auto* l = new QLabel;
        l->setPixmap(QPixmap(path));
        return l;
    };

    auto* play = new QPushButton;
    play->setObjectName(QStringLiteral("play_btn_"));
    std::unique_ptr<QWidget> stopped(makeTile(QStringLiteral("Front door"), play, true));
    shot(stopped.get(), QStringLiteral("mock_tile_stopped"));

    auto* wake = new QPushButton(QStringLiteral("wakeup"));
    wake->setObjectName(QStringLiteral("wakeup_btn_"));
    std::unique_ptr<QWidget> sleep(makeTile(QStringLiteral("Garden"),
        column({picture(QStringLiteral(":/res/imgs/state_sequencen_sleep.png")),
                label(QStringLiteral("state_text_label_"), QStringLiteral("Camera is sleep")), wake}), true));
    shot(sleep.get(), QStringLiteral("mock_tile_sleep"));

    std::unique_ptr<QWidget> fail(makeTile(QStringLiteral("Nursery"),
        column({picture(QStringLiteral(":/res/imgs/state_sequencen_fail_v4.png")),
                label(QStringLiteral("state_text_label_"), QStringLiteral("Error (-20011)")),
                label(QStringLiteral("retry_label_"), QStringLiteral("Click to retry"))}), true));
    shot(fail.get(), QStringLiteral("mock_tile_error"));

    auto* anim = new VuAntimationWidget;
    anim->setImages(QStringLiteral(":res/gif/camera_icon_loading_nor_"), QStringLiteral(".png"), 26);
    anim->setFixedSize(80, 80);
    std::unique_ptr<QWidget> loading(makeTile(QStringLiteral("Front door"),
        column({anim, label(QStringLiteral("state_text_label_"), QStringLiteral("Establishing a safe connection..."))}), true));
    shot(loading.get(), QStringLiteral("mock_tile_loading"));

    auto* pin = new QWidget;
    pin->setAttribute(Qt::WA_TranslucentBackground);
    auto* pinLay = new QVBoxLayout(pin);
    pinLay->addWidget(label(QStringLiteral("pincode_title_"), QStringLiteral("Please enter the pin code")), 0, Qt::AlignHCenter);
    auto* boxes = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        auto* e = new QLineEdit(i < 2 ? QStringLiteral("\u2022") : QString());
        e->setObjectName(QStringLiteral("pincode_edit_"));
        e->setEnabled(i == 2);
        boxes->addWidget(e);
    }
    pinLay->addLayout(boxes);
    pinLay->addWidget(label(QStringLiteral("pincode_error_label_"), QStringLiteral("Pin Code incorrect!")), 0, Qt::AlignHCenter);
    std::unique_ptr<QWidget> pincode(makeTile(QStringLiteral("Garage"), pin, true));
    shot(pincode.get(), QStringLiteral("mock_tile_pincode"));

    auto* motors = new QWidget;
    motors->setAttribute(Qt::WA_TranslucentBackground);
    auto* ml = new QGridLayout(motors);
    const struct { const char* n; int r, c; } pads[] = {
        {"yuntai_up_btn", 0, 1}, {"yuntai_left_btn", 1, 0}, {"yuntai_right_btn", 1, 2}, {"yuntai_down_btn", 2, 1}};
    for (const auto& pd : pads) {
        auto* b = new QPushButton;
        b->setObjectName(QLatin1String(pd.n));
        ml->addWidget(b, pd.r, pd.c);
    }
    std::unique_ptr<QWidget> offline(makeTile(QStringLiteral("Hallway"), motors, false));
    shot(offline.get(), QStringLiteral("mock_tile_motor_offline"));
}

QTEST_MAIN(TstUiScreenshots)
#include "tst_uiscreenshots.moc"
