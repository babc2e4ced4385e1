// Draws every picture of the application's resources and writes the resource
// collection file that compiles them in. Run at build time:
//   vc_resgen <output folder> [--file <alias>=<path>]...
// The pictures land under <output folder>/res/..., each at 1x and as
// name@2x.png at 2x, and <output folder>/vcres.qrc lists them (with the extra
// files given by --file).

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>
#include <QtMath>

#include <cstdio>
#include <functional>

#include "resdraw.h"


namespace {

using namespace resdraw;

// ---- picture groups ---------------------------------------------------------

void makeBrand()
{
    for (int size : {20, 48}) {
        QImage img = canvas(size, size);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        brandMark(p, QRectF(0.5, 0.5, size - 1, size - 1), QColor(0xff, 0x8a, 0x3d), kAccentDeep, Qt::white);
        p.end();
        save(img, size == 48 ? QStringLiteral("res/imgs/hovia.png") : QStringLiteral("res/imgs/hovia_small.png"));
    }
    {
        QImage img = canvas(120, 120);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        brandMark(p, QRectF(20, 20, 80, 80), QColor(0x2c, 0x31, 0x3b), QColor(0x22, 0x26, 0x2e),
                  QColor(0x3d, 0x43, 0x4f));
        p.end();
        save(img, QStringLiteral("res/imgs/hovia_gray.png"));
    }
    {
        QImage img = canvas(128, 128);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        brandMark(p, QRectF(4, 4, 120, 120), QColor(0xff, 0x8a, 0x3d), kAccentDeep, Qt::white);
        p.end();
        save(img.convertToFormat(QImage::Format_ARGB32), QStringLiteral("res/icons/VuCamera.ico"), "ICO");
    }
}

void makePanels()
{
    // Popup background (user menu, grid-mode list): a rounded panel, used as a
    // 12-pixel border image.
    {
        QImage img = canvas(48, 48);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(kLine, 1));
        p.setBrush(kSurface);
        p.drawRoundedRect(QRectF(0.5, 0.5, 47, 47), 8, 8);
        p.end();
        save(img, QStringLiteral("res/imgs/tooltip_bg.png"));
    }
    // Overlay background of a tile.
    {
        QImage img = canvas(640, 360);
        QPainter p(&img);
        QRadialGradient g(QPointF(320, 150), 420);
        g.setColorAt(0, QColor(0x22, 0x26, 0x2f));
        g.setColorAt(1, QColor(0x0e, 0x10, 0x14));
        p.fillRect(img.rect(), g);
        p.setPen(QColor(255, 255, 255, 6));
        for (int x = 0; x < 640; x += 32)
            p.drawLine(x, 0, x, 360);
        for (int y = 0; y < 360; y += 32)
            p.drawLine(0, y, 640, y);
        p.end();
        save(img, QStringLiteral("res/imgs/cam_bg.png"));
    }
    // Default avatar and the ring laid over the user icon.
    {
        QImage img = canvas(64, 64);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x40, 0x4c));
        p.drawEllipse(QRectF(0, 0, 64, 64));
        p.setBrush(kGlyphDim);
        p.drawEllipse(QPointF(32, 25), 11, 11);
        QPainterPath body;
        body.addEllipse(QPointF(32, 62), 21, 17);
        QPainterPath clip;
        clip.addEllipse(QRectF(0, 0, 64, 64));
        p.drawPath(body.intersected(clip));
        p.end();
        save(img, QStringLiteral("res/imgs/default_user_icon.png"));
    }
    {
        QImage img = canvas(64, 64);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath outside;
        outside.addRect(QRectF(0, 0, 64, 64));
        QPainterPath inner;
        inner.addEllipse(QRectF(0, 0, 64, 64));
        p.fillPath(outside.subtracted(inner), kPanel);
        p.setPen(QPen(kAccent, 2.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRectF(1.5, 1.5, 61, 61));
        p.end();
        save(img, QStringLiteral("res/imgs/user_icon_frame.png"));
    }
}

void makeChrome()
{
    const int s = 16;
    const qreal w = 1.8;
    strokeGlyph("res/imgs/title_min.png", s, kGlyph, w, [](QPainter& p) { p.drawLine(QPointF(6, 12), QPointF(18, 12)); });
    strokeGlyph("res/imgs/title_max.png", s, kGlyph, w, [](QPainter& p) { p.drawRoundedRect(QRectF(6, 6, 12, 12), 1.5, 1.5); });
    strokeGlyph("res/imgs/title_restore.png", s, kGlyph, w, [](QPainter& p) {
        p.drawRoundedRect(QRectF(5, 9, 10, 10), 1.5, 1.5);
        p.drawPath(poly({{9, 6.5}, {9, 5}, {19, 5}, {19, 15}, {17.5, 15}}));
    });
    for (const auto& name : {"title_close", "msg_close"})
        strokeGlyph(QStringLiteral("res/imgs/%1.png").arg(QLatin1String(name)), s, kGlyph, w, [](QPainter& p) {
            p.drawLine(QPointF(6.5, 6.5), QPointF(17.5, 17.5));
            p.drawLine(QPointF(17.5, 6.5), QPointF(6.5, 17.5));
        });
    strokeGlyph("res/imgs/title_close_hover.png", s, Qt::white, w, [](QPainter& p) {
        p.drawLine(QPointF(6.5, 6.5), QPointF(17.5, 17.5));
        p.drawLine(QPointF(17.5, 6.5), QPointF(6.5, 17.5));
    });

    // Chevrons and arrows.
    const struct { const char* name; int dir; int size; QColor color; } chevrons[] = {
        {"nav_prev", 0, 16, kGlyph}, {"nav_next", 1, 16, kGlyph},
        {"nav_prev_disabled", 0, 16, QColor(0x4a, 0x50, 0x5c)}, {"nav_next_disabled", 1, 16, QColor(0x4a, 0x50, 0x5c)},
        {"arrow_up", 2, 12, kGlyphDim}, {"arrow_down", 3, 12, kGlyphDim},
        {"tl_date_left", 0, 14, kGlyph}, {"tl_date_right", 1, 14, kGlyph},
    };
    for (const auto& c : chevrons)
        strokeGlyph(QStringLiteral("res/imgs/%1.png").arg(QLatin1String(c.name)), c.size, c.color, 2.2,
                    [&c](QPainter& p) { chevron(p, 12, 12, c.dir, 6); });
    strokeGlyph("res/imgs/tl_time_left.png", 14, kGlyph, 2.2, [](QPainter& p) {
        chevron(p, 9, 12, 0, 6);
        chevron(p, 16, 12, 0, 6);
    });
    strokeGlyph("res/imgs/tl_time_right.png", 14, kGlyph, 2.2, [](QPainter& p) {
        chevron(p, 8, 12, 1, 6);
        chevron(p, 15, 12, 1, 6);
    });
    for (bool in : {true, false})
        strokeGlyph(in ? "res/imgs/tl_zoom_in.png" : "res/imgs/tl_zoom_out.png", 14, kGlyph, 2.2, [in](QPainter& p) {
            p.drawEllipse(QPointF(10.5, 10.5), 6.5, 6.5);
            p.drawLine(QPointF(15.5, 15.5), QPointF(20.5, 20.5));
            p.drawLine(QPointF(7.5, 10.5), QPointF(13.5, 10.5));
            if (in)
                p.drawLine(QPointF(10.5, 7.5), QPointF(10.5, 13.5));
        });

    // Grid modes.
    for (int n : {1, 4, 9}) {
        for (bool accent : {false, true}) {
            const QString name = QStringLiteral("res/imgs/grid_mode_%1%2.png").arg(n).arg(accent ? "_on" : "");
            save(glyph(16, [n, accent](QPainter& p) {
                     p.setPen(Qt::NoPen);
                     p.setBrush(accent ? kAccent : kGlyph);
                     const int k = n == 1 ? 1 : n == 4 ? 2 : 3;
                     const qreal gap = 2;
                     const qreal cell = (18 - gap * (k - 1)) / k;
                     for (int r = 0; r < k; ++r)
                         for (int c = 0; c < k; ++c)
                             p.drawRoundedRect(QRectF(3 + c * (cell + gap), 3 + r * (cell + gap), cell, cell), 1.2, 1.2);
                 }),
                 name);
        }
    }
}

void makeTileControls()
{
    const int s = 18;
    const qreal w = 2;
    save(glyph(s, [](QPainter& p) {
             p.setPen(Qt::NoPen);
             p.setBrush(kGlyph);
             p.drawRoundedRect(QRectF(6.5, 6.5, 11, 11), 2, 2);
         }),
         "res/imgs/btn_stop.png");
    save(glyph(s, [](QPainter& p) {
             p.setPen(roundPen(kGlyph, 1.5));
             p.setBrush(kGlyph);
             p.drawPath(poly({{8, 5.5}, {18.5, 12}, {8, 18.5}}, true));
         }),
         "res/imgs/btn_play.png");
    save(glyph(s, [w](QPainter& p) {
             speaker(p, kGlyph);
             p.setPen(roundPen(kGlyph, w));
             p.drawArc(QRectF(9, 7, 8, 10), -50 * 16, 100 * 16);
             p.drawArc(QRectF(8, 3.5, 13, 17), -50 * 16, 100 * 16);
         }),
         "res/imgs/btn_sound_on.png");
    save(glyph(s, [w](QPainter& p) {
             speaker(p, kGlyph);
             p.setPen(roundPen(kGlyph, w));
             p.drawLine(QPointF(16, 9), QPointF(21, 15));
             p.drawLine(QPointF(21, 9), QPointF(16, 15));
         }),
         "res/imgs/btn_sound_off.png");
    strokeGlyph("res/imgs/btn_fullscreen.png", s, kGlyph, w, [](QPainter& p) {
        p.drawPath(poly({{4, 9}, {4, 4}, {9, 4}}));
        p.drawPath(poly({{15, 4}, {20, 4}, {20, 9}}));
        p.drawPath(poly({{20, 15}, {20, 20}, {15, 20}}));
        p.drawPath(poly({{9, 20}, {4, 20}, {4, 15}}));
    });
    strokeGlyph("res/imgs/btn_exit_fullscreen.png", s, kGlyph, w, [](QPainter& p) {
        p.drawPath(poly({{4, 9}, {9, 9}, {9, 4}}));
        p.drawPath(poly({{15, 4}, {15, 9}, {20, 9}}));
        p.drawPath(poly({{20, 15}, {15, 15}, {15, 20}}));
        p.drawPath(poly({{9, 20}, {9, 15}, {4, 15}}));
    });
    strokeGlyph("res/imgs/btn_power.png", s, kGlyph, w, [](QPainter& p) {
        p.drawArc(QRectF(4.5, 5, 15, 15), 120 * 16, -240 * 16);
        p.drawLine(QPointF(12, 3), QPointF(12, 11));
    });
    strokeGlyph("res/imgs/btn_retry.png", s, kGlyph, w, [](QPainter& p) {
        p.drawArc(QRectF(4.5, 4.5, 15, 15), 60 * 16, 280 * 16);
        p.drawPath(poly({{14.5, 3}, {16.5, 5.5}, {13.5, 7.5}}));
    });

    // The big play button of the stopped overlay and the wake-up button.
    for (const char* name : {"play_big", "play_big_hover"}) {
        const bool hover = QByteArray(name).endsWith("hover");
        QImage img = canvas(64, 64);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(QPen(QColor(255, 255, 255, hover ? 220 : 160), 2));
        p.setBrush(hover ? kAccent : QColor(0, 0, 0, 120));
        p.drawEllipse(QRectF(2, 2, 60, 60));
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPath(poly({{26, 20}, {45, 32}, {26, 44}}, true));
        p.end();
        save(img, QStringLiteral("res/imgs/%1.png").arg(QLatin1String(name)));
    }

    // Pan and tilt arrows: a round button each.
    const struct { const char* name; int dir; } motors[] = {
        {"yuntai_left", 0}, {"yuntai_right", 1}, {"yuntai_up", 2}, {"yuntai_down", 3}};
    for (const auto& m : motors) {
        for (bool hover : {false, true}) {
            QImage img = canvas(32, 32);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QPen(QColor(255, 255, 255, 40), 1));
            p.setBrush(hover ? kAccent : QColor(0, 0, 0, 140));
            p.drawEllipse(QRectF(1, 1, 30, 30));
            p.setPen(roundPen(Qt::white, 2.4));
            p.setBrush(Qt::NoBrush);
            p.scale(32 / 24.0, 32 / 24.0);
            chevron(p, 12, 12, m.dir, 4.5);
            p.end();
            save(img, QStringLiteral("res/imgs/%1%2.png").arg(QLatin1String(m.name)).arg(hover ? "_hover" : ""));
        }
    }

    // Online and offline flags of the tile's top bar.
    for (bool online : {true, false}) {
        QImage img = canvas(10, 10);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(Qt::NoPen);
        p.setBrush(online ? kGood : QColor(0x6b, 0x72, 0x80));
        p.drawEllipse(QRectF(1, 1, 8, 8));
        p.end();
        save(img, online ? QStringLiteral("res/imgs/online.png") : QStringLiteral("res/imgs/offline.png"));
    }
}

void makeStateImages()
{
    for (bool v4 : {false, true}) {
        const QString sfx = v4 ? QStringLiteral("_v4") : QString();
        // Sleeping camera: dimmed camera with a moon.
        {
            QImage img = canvas(96, 96);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing, true);
            cameraShape(p, v4, QColor(0x3a, 0x40, 0x4c), QColor(0x1c, 0x1f, 0x26));
            QPainterPath moon;
            moon.addEllipse(QPointF(74, 22), 13, 13);
            QPainterPath bite;
            bite.addEllipse(QPointF(80, 17), 11, 11);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xf5, 0xc5, 0x42));
            p.drawPath(moon.subtracted(bite));
            p.end();
            save(img, QStringLiteral("res/imgs/state_sequencen_sleep%1.png").arg(sfx));
        }
        // Failed camera: camera with an alert badge.
        {
            QImage img = canvas(96, 96);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing, true);
            cameraShape(p, v4, QColor(0x3a, 0x40, 0x4c), QColor(0x1c, 0x1f, 0x26));
            p.setPen(QPen(QColor(0x14, 0x16, 0x1b), 3));
            p.setBrush(kBad);
            p.drawEllipse(QPointF(72, 24), 14, 14);
            p.setPen(roundPen(Qt::white, 3.2));
            p.drawLine(QPointF(72, 17), QPointF(72, 26));
            p.drawPoint(QPointF(72, 31.5));
            p.end();
            save(img, QStringLiteral("res/imgs/state_sequencen_fail%1.png").arg(sfx));
        }
    }
    // Network error page: a cloud with a slash.
    {
        QImage img = canvas(128, 128);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        QPainterPath cloud;
        cloud.addEllipse(QPointF(48, 70), 22, 22);
        cloud.addEllipse(QPointF(70, 58), 26, 26);
        cloud.addEllipse(QPointF(90, 74), 18, 18);
        cloud.addRoundedRect(QRectF(30, 70, 76, 22), 11, 11);
        cloud.setFillRule(Qt::WindingFill);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x40, 0x4c));
        p.drawPath(cloud.simplified());
        p.setPen(roundPen(kPanel, 10));
        p.drawLine(QPointF(34, 30), QPointF(98, 104));
        p.setPen(roundPen(kAccent, 5));
        p.drawLine(QPointF(34, 30), QPointF(98, 104));
        p.end();
        save(img, QStringLiteral("res/imgs/net_error.png"));
    }
    // No-camera page: a camera with a plus badge.
    {
        QImage img = canvas(128, 128);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.translate(16, 20);
        cameraShape(p, false, QColor(0x3a, 0x40, 0x4c), QColor(0x1c, 0x1f, 0x26));
        p.setPen(QPen(QColor(0x14, 0x16, 0x1b), 3));
        p.setBrush(kAccent);
        p.drawEllipse(QPointF(76, 22), 15, 15);
        p.setPen(roundPen(Qt::white, 3.2));
        p.drawLine(QPointF(76, 15), QPointF(76, 29));
        p.drawLine(QPointF(69, 22), QPointF(83, 22));
        p.end();
        save(img, QStringLiteral("res/imgs/no_device.png"));
    }
}

void makeSequences()
{
    // Loading page and buffering: a comet arc around the brand lens.
    sequence(QStringLiteral("res/gif/state_sequencen_"), 162, [](QPainter& p, int i) {
        const QPointF c(81, 81);
        p.setPen(QPen(QColor(0x2a, 0x2f, 0x39), 6));
        p.drawEllipse(c, 62, 62);
        const qreal start = 90 - i * (360.0 / 26);
        QConicalGradient g(c, start);
        g.setColorAt(0.0, kAccent);
        g.setColorAt(0.35, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 0));
        g.setColorAt(1.0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 0));
        QPen arc(QBrush(g), 6);
        arc.setCapStyle(Qt::RoundCap);
        p.setPen(arc);
        p.drawArc(QRectF(c.x() - 62, c.y() - 62, 124, 124), int(start * 16), int(125 * 16));
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        const qreal a = qDegreesToRadians(start);
        p.drawEllipse(QPointF(c.x() + 62 * qCos(a), c.y() - 62 * qSin(a)), 5, 5);
        brandMark(p, QRectF(57, 57, 48, 48), QColor(0x2c, 0x31, 0x3b), QColor(0x22, 0x26, 0x2e), kGlyph);
    });
    // Tile loading (box camera): twelve dots, the lit one travelling round.
    sequence(QStringLiteral("res/gif/camera_icon_loading_nor_"), 72, [](QPainter& p, int i) {
        const QPointF c(36, 36);
        p.setPen(Qt::NoPen);
        for (int k = 0; k < 12; ++k) {
            const qreal a = qDegreesToRadians(90 - k * 30.0);
            const qreal pos = std::fmod(i * 12.0 / 26.0 - k + 12.0, 12.0);
            const int alpha = int(255 * qMax(0.18, 1.0 - pos / 8.0));
            QColor col = kAccent;
            col.setAlpha(alpha);
            p.setBrush(col);
            p.drawEllipse(QPointF(c.x() + 26 * qCos(a), c.y() - 26 * qSin(a)), 4, 4);
        }
        p.setBrush(QColor(0x3a, 0x40, 0x4c));
        p.drawEllipse(c, 11, 11);
        p.setBrush(kGlyph);
        p.drawEllipse(c, 4, 4);
    });
    // Tile loading (round camera): a ripple leaving the lens.
    sequence(QStringLiteral("res/gif/camera_v4_icon_loading_"), 72, [](QPainter& p, int i) {
        const QPointF c(36, 36);
        for (int k = 0; k < 2; ++k) {
            const qreal t = std::fmod(i / 26.0 + k * 0.5, 1.0);
            QColor col = kAccent;
            col.setAlphaF(qMax(0.0, 1.0 - t));
            p.setPen(QPen(col, 3));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, 12 + t * 22, 12 + t * 22);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x3a, 0x40, 0x4c));
        p.drawEllipse(c, 12, 12);
        p.setBrush(kAccent);
        p.drawEllipse(c, 5, 5);
    });
}

void makeRooms()
{
    const qreal w = 1.9;
    const struct { const char* name; std::function<void(QPainter&)> draw; } rooms[] = {
        {"default_1", [](QPainter& p) {
             p.drawPath(poly({{3.5, 11.5}, {12, 4}, {20.5, 11.5}}));
             p.drawPath(poly({{6, 10}, {6, 20}, {18, 20}, {18, 10}}));
             p.drawPath(poly({{10, 20}, {10, 14.5}, {14, 14.5}, {14, 20}}));
         }},
        {"share_1", [](QPainter& p) {
             p.drawEllipse(QPointF(18, 5.5), 2.5, 2.5);
             p.drawEllipse(QPointF(6, 12), 2.5, 2.5);
             p.drawEllipse(QPointF(18, 18.5), 2.5, 2.5);
             p.drawLine(QPointF(8.2, 10.8), QPointF(15.8, 6.7));
             p.drawLine(QPointF(8.2, 13.2), QPointF(15.8, 17.3));
         }},
        {"all_1", [](QPainter& p) {
             p.drawRoundedRect(QRectF(4, 4, 7, 7), 1.5, 1.5);
             p.drawRoundedRect(QRectF(13, 4, 7, 7), 1.5, 1.5);
             p.drawRoundedRect(QRectF(4, 13, 7, 7), 1.5, 1.5);
             p.drawRoundedRect(QRectF(13, 13, 7, 7), 1.5, 1.5);
         }},
        {"living", [](QPainter& p) {
             p.drawPath(poly({{5, 12}, {5, 8}, {19, 8}, {19, 12}}));
             p.drawRoundedRect(QRectF(3, 12, 18, 6), 2, 2);
             p.drawLine(QPointF(5, 18), QPointF(5, 20));
             p.drawLine(QPointF(19, 18), QPointF(19, 20));
         }},
        {"bedroom", [](QPainter& p) {
             p.drawPath(poly({{3, 6}, {3, 19}}));
             p.drawPath(poly({{3, 15}, {21, 15}, {21, 19}}));
             p.drawPath(poly({{3, 12}, {21, 12}, {21, 15}}));
             p.drawRoundedRect(QRectF(5, 8.5, 5, 3.5), 1.2, 1.2);
         }},
        {"kitchen", [](QPainter& p) {
             p.drawRoundedRect(QRectF(4, 10, 16, 9), 2, 2);
             p.drawLine(QPointF(2, 10), QPointF(22, 10));
             p.drawLine(QPointF(10, 7), QPointF(14, 7));
             p.drawLine(QPointF(12, 5), QPointF(12, 7));
         }},
        {"study", [](QPainter& p) {
             p.drawPath(poly({{12, 6}, {12, 20}}));
             p.drawPath(poly({{12, 6}, {8, 4.5}, {3, 4.5}, {3, 18.5}, {8, 18.5}, {12, 20}, {16, 18.5}, {21, 18.5}, {21, 4.5}, {16, 4.5}, {12, 6}}, true));
         }},
        {"office", [](QPainter& p) {
             p.drawRoundedRect(QRectF(3, 8, 18, 12), 2, 2);
             p.drawPath(poly({{9, 8}, {9, 5}, {15, 5}, {15, 8}}));
             p.drawLine(QPointF(3, 13), QPointF(21, 13));
         }},
        {"children", [](QPainter& p) {
             p.drawEllipse(QPointF(12, 9), 5, 5);
             p.drawPath(poly({{6, 20}, {8, 15.5}, {16, 15.5}, {18, 20}}));
             p.drawPoint(QPointF(10.2, 8.5));
             p.drawPoint(QPointF(13.8, 8.5));
         }},
        {"garage", [](QPainter& p) {
             p.drawPath(poly({{3, 20}, {3, 9}, {12, 4}, {21, 9}, {21, 20}}));
             p.drawRect(QRectF(7, 12, 10, 8));
             p.drawLine(QPointF(7, 15), QPointF(17, 15));
         }},
        {"garden", [](QPainter& p) {
             p.drawPath(poly({{12, 21}, {12, 11}}));
             QPainterPath leaf;
             leaf.moveTo(12, 12);
             leaf.cubicTo(6, 12, 4, 7, 5, 4);
             leaf.cubicTo(9, 4, 12, 7, 12, 12);
             leaf.moveTo(12, 15);
             leaf.cubicTo(18, 15, 20, 10, 19, 7);
             leaf.cubicTo(15, 7, 12, 10, 12, 15);
             p.drawPath(leaf);
         }},
        {"dining", [](QPainter& p) {
             p.drawLine(QPointF(8, 3), QPointF(8, 21));
             p.drawPath(poly({{5, 3}, {5, 8}, {11, 8}, {11, 3}}));
             p.drawPath(poly({{16, 21}, {16, 3}, {19, 6}, {19, 13}, {16, 13}}));
         }},
        {"balcony", [](QPainter& p) {
             p.drawEllipse(QPointF(12, 8), 3.5, 3.5);
             p.drawLine(QPointF(3, 14), QPointF(21, 14));
             p.drawLine(QPointF(3, 20), QPointF(21, 20));
             for (int x : {5, 9, 13, 17})
                 p.drawLine(QPointF(x + 1, 14), QPointF(x + 1, 20));
         }},
        {"entrance", [](QPainter& p) {
             p.drawPath(poly({{6, 21}, {6, 3}, {18, 3}, {18, 21}}));
             p.drawLine(QPointF(3, 21), QPointF(21, 21));
             p.drawPoint(QPointF(15, 12));
         }},
        {"bathroom", [](QPainter& p) {
             QPainterPath drop;
             drop.moveTo(12, 3);
             drop.cubicTo(16, 9, 18.5, 12, 18.5, 15);
             drop.cubicTo(18.5, 18.5, 15.5, 21, 12, 21);
             drop.cubicTo(8.5, 21, 5.5, 18.5, 5.5, 15);
             drop.cubicTo(5.5, 12, 8, 9, 12, 3);
             p.drawPath(drop);
         }},
    };
    for (const auto& r : rooms) {
        strokeGlyph(QStringLiteral("res/rooms/%1_normal.png").arg(QLatin1String(r.name)), 18, kGlyph, w, r.draw);
        strokeGlyph(QStringLiteral("res/rooms/%1_checked.png").arg(QLatin1String(r.name)), 18, Qt::white, w, r.draw);
    }
}

// The record button: a red dot in a ring to start, a red square to stop.
void makeRecordIcons()
{
    const QColor red(0xe5, 0x39, 0x35);
    for (bool stop : {false, true}) {
        save(glyph(14, [stop, red](QPainter& p) {
                 p.setPen(roundPen(kGlyph, 1.5));
                 p.setBrush(Qt::NoBrush);
                 p.drawEllipse(QRectF(3, 3, 18, 18));
                 p.setPen(Qt::NoPen);
                 p.setBrush(red);
                 if (stop)
                     p.drawRoundedRect(QRectF(8, 8, 8, 8), 1.5, 1.5);
                 else
                     p.drawEllipse(QRectF(7, 7, 10, 10));
             }),
             stop ? "res/imgs/btn_record_stop.png" : "res/imgs/btn_record.png");
    }
}

bool writeQrc(const QList<QPair<QString, QString>>& extra)
{
    QFile f(output().folder + QStringLiteral("/vcres.qrc"));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&f);
    out << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    output().files.sort();
    for (const QString& rel : qAsConst(output().files))
        out << "  <file>" << rel << "</file>\n";
    for (const auto& e : extra)
        out << "  <file alias=\"" << e.first << "\">" << e.second << "</file>\n";
    out << "</qresource>\n</RCC>\n";
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("--app-icons")) // vc_resgen --app-icons <folder>
        return resdraw::makeAppIcons(QDir(args[2]).absolutePath()) ? 0 : 1;
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: vc_resgen <output folder> [--file alias=path]...\n");
        return 2;
    }
    output().folder = QDir(args[1]).absolutePath();
    QList<QPair<QString, QString>> extra;
    for (int i = 2; i + 1 < args.size(); i += 2) {
        if (args[i] != QLatin1String("--file"))
            continue;
        const int eq = args[i + 1].indexOf(QLatin1Char('='));
        if (eq > 0)
            extra.append({args[i + 1].left(eq), QFileInfo(args[i + 1].mid(eq + 1)).absoluteFilePath()});
    }

    for (int scale : {1, 2}) { // every picture also at 2x, for displays of scale 2
        output().scale = scale;
        makeBrand();
        makePanels();
        makeChrome();
        makeTileControls();
        makeRecordIcons();
        makeStateImages();
        makeSequences();
        makeRooms();
    }

    if (output().failures > 0)
        return 1;
    if (!writeQrc(extra)) {
        std::fprintf(stderr, "resgen: cannot write the resource collection\n");
        return 1;
    }
    return 0;
}
