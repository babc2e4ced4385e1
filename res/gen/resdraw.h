#pragma once

// Drawing helpers and the output of the resource generator: the palette the
// style sheets share, a transparent canvas, a 24 x 24 design grid, shapes
// several pictures reuse, and save(), which writes a picture under the output
// folder and lists it for the resource collection.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>

namespace resdraw {

// Palette shared with the style sheets.
inline const QColor kGlyph(0xcf, 0xd5, 0xdf);
inline const QColor kGlyphDim(0x8a, 0x93, 0xa3);
inline const QColor kAccent(0xff, 0x6b, 0x1a);
inline const QColor kAccentDeep(0xf0, 0x4e, 0x00);
inline const QColor kPanel(0x18, 0x1b, 0x21);
inline const QColor kSurface(0x23, 0x27, 0x30);
inline const QColor kLine(0x34, 0x3a, 0x46);
inline const QColor kGood(0x3d, 0xd6, 0x8c);
inline const QColor kBad(0xe5, 0x48, 0x4d);

// Where save() writes, what it wrote, how many writes failed, and the scale
// pictures are drawn at: at 2, canvas() doubles every picture's pixels (its
// painter still draws in the 1x coordinates) and save() names it name@2x.ext,
// the file Qt picks on a display of scale 2.
struct Output
{
    QString folder;
    QStringList files;
    int failures = 0;
    int scale = 1;
};
Output& output();

// A transparent picture of w x h at the output's scale.
QImage canvas(int w, int h);

// Writes img under the output folder as rel (rel with "@2x" before the
// extension at scale 2) and lists it.
void save(const QImage& img, const QString& rel, const char* format = "PNG");

QPen roundPen(const QColor& c, qreal width);

// Draws fn in a 24 x 24 design grid scaled to size x size.
QImage glyph(int size, const std::function<void(QPainter&)>& fn);

// Saves a glyph of round strokes of colour c and the given width.
void strokeGlyph(const QString& rel, int size, const QColor& c, qreal width,
                 const std::function<void(QPainter&)>& fn);

QPainterPath poly(std::initializer_list<QPointF> pts, bool close = false);

void chevron(QPainter& p, qreal cx, qreal cy, int dir /*0 left 1 right 2 up 3 down*/, qreal s = 4);

void speaker(QPainter& p, const QColor& c);

// The brand mark: a rounded square with a camera lens.
void brandMark(QPainter& p, const QRectF& r, const QColor& top, const QColor& bottom, const QColor& lens);

// A camera silhouette in a 96 grid: the box camera (v3) or the round one (v4).
void cameraShape(QPainter& p, bool round, const QColor& body, const QColor& lens);

// Writes prefix0..prefix25 and the bare prefix (the first picture).
void sequence(const QString& prefix, int size, const std::function<void(QPainter&, int)>& frame);

} // namespace resdraw

namespace resdraw {
// Writes the application icon at every size of the hicolor theme under
// folder (appicons.cpp); false when a picture could not be written.
bool makeAppIcons(const QString& folder);
} // namespace resdraw
