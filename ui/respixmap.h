#pragma once

#include <QPixmap>
#include <QString>

// Loads one of the program's pictures for the screen it is shown on. Every
// picture of the resource generator has a twice-as-large twin (name@2x.png);
// QPixmap(path) never looks for it, so at a display scale above 1 the logo and
// the icons would be blown up from their 1x pixels and look soft.
class ResPixmap
{
public:
    // The @2x twin (marked as 2 device pixels per point) when the scale is
    // above 1 and the twin exists; else the file itself.
    static QPixmap load(const QString& path, qreal devicePixelRatio);
    // As above for the application's scale.
    static QPixmap load(const QString& path);
    // "dir/name.png" -> "dir/name@2x.png" (the name unchanged without a suffix).
    static QString twinPath(const QString& path);
};
