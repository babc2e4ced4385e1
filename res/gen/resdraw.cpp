#include "resdraw.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QLinearGradient>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>

namespace resdraw {

Output& output()
{
    static Output out;
    return out;
}

QImage canvas(int w, int h)
{
    const int k = output().scale;
    QImage img(w * k, h * k, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(k);
    img.fill(Qt::transparent);
    return img;
}

void save(const QImage& img, const QString& name, const char* format)
{
    QString rel = name;
    if (output().scale != 1)
        rel.insert(rel.lastIndexOf(QLatin1Char('.')), QStringLiteral("@%1x").arg(output().scale));
    const QString path = output().folder + QLatin1Char('/') + rel;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImageWriter w(path, format);
    if (!w.write(img)) {
        std::fprintf(stderr, "resgen: cannot write %s: %s\n", qPrintable(path), qPrintable(w.errorString()));
        ++output().failures;
        return;
    }
    output().files << rel;
}

QPen roundPen(const QColor& c, qreal width)
{
    QPen pen(c, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// Draws fn in a 24 x 24 design grid scaled to size x size.
QImage glyph(int size, const std::function<void(QPainter&)>& fn)
{
    QImage img = canvas(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 24.0, size / 24.0);
    fn(p);
    return img;
}

void strokeGlyph(const QString& rel, int size, const QColor& c, qreal width,
                 const std::function<void(QPainter&)>& fn)
{
    save(glyph(size, [&](QPainter& p) {
             p.setPen(roundPen(c, width));
             p.setBrush(Qt::NoBrush);
             fn(p);
         }),
         rel);
}

QPainterPath poly(std::initializer_list<QPointF> pts, bool close)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF& pt : pts) {
        if (first)
            path.moveTo(pt);
        else
            path.lineTo(pt);
        first = false;
    }
    if (close)
        path.closeSubpath();
    return path;
}

// ---- shapes reused by several pictures ------------------------------------

void chevron(QPainter& p, qreal cx, qreal cy, int dir /*0 left 1 right 2 up 3 down*/, qreal s)
{
    switch (dir) {
    case 0: p.drawPath(poly({{cx + s / 2, cy - s}, {cx - s / 2, cy}, {cx + s / 2, cy + s}})); break;
    case 1: p.drawPath(poly({{cx - s / 2, cy - s}, {cx + s / 2, cy}, {cx - s / 2, cy + s}})); break;
    case 2: p.drawPath(poly({{cx - s, cy + s / 2}, {cx, cy - s / 2}, {cx + s, cy + s / 2}})); break;
    default: p.drawPath(poly({{cx - s, cy - s / 2}, {cx, cy + s / 2}, {cx + s, cy - s / 2}})); break;
    }
}

void speaker(QPainter& p, const QColor& c)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(poly({{3.5, 9}, {7.5, 9}, {12.5, 4.5}, {12.5, 19.5}, {7.5, 15}, {3.5, 15}}, true));
    p.restore();
}

// The brand mark: a rounded square with a camera lens.
void brandMark(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom, const QColor& lens)
{
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const qreal rad = r.width() * 0.26;
    p.drawRoundedRect(r, rad, rad);
    const QPointF c = r.center();
    const qreal R = r.width() * 0.30;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(lens, r.width() * 0.085));
    p.drawEllipse(c, R, R);
    p.setPen(Qt::NoPen);
    p.setBrush(lens);
    p.drawEllipse(c, R * 0.38, R * 0.38);
    // A small status light in the corner.
    p.drawEllipse(QPointF(r.right() - r.width() * 0.2, r.top() + r.height() * 0.2), r.width() * 0.05,
                  r.width() * 0.05);
}

// A camera silhouette in a 96 grid: the box camera (v3) or the round one (v4).
void cameraShape(QPainter& p, bool round, const QColor& body, const QColor& lens)
{
    p.setPen(Qt::NoPen);
    if (round) {
        p.setBrush(body);
        p.drawEllipse(QPointF(48, 42), 26, 26);
        p.drawRoundedRect(QRectF(34, 70, 28, 8), 4, 4);
        p.drawRect(QRectF(44, 64, 8, 8));
        p.setBrush(lens);
        p.drawEllipse(QPointF(48, 42), 12, 12);
        p.setBrush(body);
        p.drawEllipse(QPointF(48, 42), 5, 5);
    } else {
        p.setBrush(body);
        p.drawRoundedRect(QRectF(20, 24, 56, 40), 10, 10);
        p.drawRoundedRect(QRectF(36, 70, 24, 8), 4, 4);
        p.drawRect(QRectF(44, 60, 8, 12));
        p.setBrush(lens);
        p.drawEllipse(QPointF(48, 44), 12, 12);
        p.setBrush(body);
        p.drawEllipse(QPointF(48, 44), 5, 5);
    }
}
// Writes prefix0..prefix25 and the bare prefix (the first picture).
void sequence(const QString& prefix, int size, const std::function<void(QPainter&, int)>& frame)
{
    for (int i = -1; i < 26; ++i) {
        QImage img = canvas(size, size);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        frame(p, qMax(0, i));
        p.end();
        save(img, prefix + (i < 0 ? QString() : QString::number(i)) + QStringLiteral(".png"));
    }
}

} // namespace resdraw
