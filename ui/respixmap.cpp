#include "ui/respixmap.h"

#include <QFileInfo>
#include <QGuiApplication>

QString ResPixmap::twinPath(const QString& path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        return path + QStringLiteral("@2x");
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QPixmap ResPixmap::load(const QString& path, qreal devicePixelRatio)
{
    if (devicePixelRatio > 1.0) {
        const QString twin = twinPath(path);
        if (QFileInfo::exists(twin)) {
            QPixmap sharp(twin);
            if (!sharp.isNull()) {
                sharp.setDevicePixelRatio(2.0);
                return sharp;
            }
        }
    }
    return QPixmap(path);
}

QPixmap ResPixmap::load(const QString& path)
{
    return load(path, qApp ? qApp->devicePixelRatio() : 1.0);
}
