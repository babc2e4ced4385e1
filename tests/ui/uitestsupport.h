#pragma once

// Shared set-up of the user-interface tests: the compiled-in resources, the
// application style sheet, and a guard that fails a test on warnings about
// missing pictures or style sheets.

#include "res/vcresources.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <QtGlobal>
#include <mutex>

namespace UiTest {

// Warnings come from whichever thread logs them (camera workers too), so the
// list is only touched under its lock; readers get a copy.
struct WarningLog
{
    std::mutex mutex;
    QStringList lines;
};

inline WarningLog& warningLog()
{
    static WarningLog log;
    return log;
}

inline QStringList warnings()
{
    std::lock_guard<std::mutex> lock(warningLog().mutex);
    return warningLog().lines;
}

inline void clearWarnings()
{
    std::lock_guard<std::mutex> lock(warningLog().mutex);
    warningLog().lines.clear();
}

inline QtMessageHandler& previousHandler()
{
    static QtMessageHandler h = nullptr;
    return h;
}

inline void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (type == QtWarningMsg || type == QtCriticalMsg) {
        std::lock_guard<std::mutex> lock(warningLog().mutex);
        warningLog().lines.append(msg);
    }
    if (previousHandler())
        previousHandler()(type, ctx, msg);
}

// Resources, translation-free English texts, the style sheets and the guard.
inline void setUp(bool withStyle = true)
{
    vcInitResources();
    previousHandler() = qInstallMessageHandler(handler);
    if (withStyle) {
        QFile css(QStringLiteral(":/res/css/general.css"));
        if (css.open(QIODevice::ReadOnly))
            qApp->setStyleSheet(QString::fromUtf8(css.readAll()));
    }
}

// Warnings that name a missing resource (pictures, style sheets, icons).
inline QStringList resourceWarnings()
{
    QStringList out;
    for (const QString& w : warnings()) {
        if (w.contains(QLatin1String("missing"), Qt::CaseInsensitive)
            || w.contains(QLatin1String("Could not"), Qt::CaseInsensitive)
            || w.contains(QLatin1String("cannot"), Qt::CaseInsensitive)
            || w.contains(QLatin1String(":/res")) || w.contains(QLatin1String(":res/")))
            out << w;
    }
    return out;
}

// Settings, pictures and snapshots of the test under a home of its own.
inline void useHome(const QString& path)
{
    qputenv("HOME", path.toUtf8());
    qunsetenv("XDG_CONFIG_HOME");
    QStandardPaths::setTestModeEnabled(true);
}

// A real picture of a camera, not a blank or a single colour: many distinct
// colours on a coarse grid.
inline bool hasContent(const QPixmap& pixmap)
{
    if (pixmap.isNull())
        return false;
    const QImage img = pixmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += qMax(1, img.height() / 24))
        for (int x = 0; x < img.width(); x += qMax(1, img.width() / 24))
            colours.insert(img.pixel(x, y) & 0xF0F0F0);
    return colours.size() >= 8;
}

} // namespace UiTest
