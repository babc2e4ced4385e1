// The application icon for the desktop's icon theme: the brand mark at every
// size a menu, a task bar or a software centre asks for, written as
// <folder>/hicolor/<n>x<n>/apps/org.velmor.VuCamera.png.

#include "resdraw.h"

namespace resdraw {

bool makeAppIcons(const QString& folder)
{
    output().folder = folder;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256, 512}) {
        QImage img = canvas(size, size);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, true);
        // A margin of 1/32 (none at the smallest sizes, where every pixel counts).
        const qreal m = size >= 32 ? size / 32.0 : 0.0;
        brandMark(p, QRectF(m, m, size - 2 * m, size - 2 * m), QColor(0xff, 0x8a, 0x3d), kAccentDeep, Qt::white);
        p.end();
        save(img, QStringLiteral("hicolor/%1x%1/apps/org.velmor.VuCamera.png").arg(size));
    }
    return output().failures == 0;
}

} // namespace resdraw
