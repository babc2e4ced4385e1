#pragma once

// Shared set-up of the user-interface tests: the compiled-in resources, the
// application style sheet, the warnings logged (from any thread), and a check
// that a picture shows a camera rather than a blank.

#include "res/vcresources.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSet>
#include <QStandardPaths>
#include <QStringList>
#include <mutex>

namespace UiTest {

struct WarningLog
{
    std::mutex mutex;
    QStringList lines;
    QtMessageHandler previous = nullptr;
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

// Resources, the style sheet (withStyle) and the warning record.
inline void setUp(bool withStyle = true)
{
    vcInitResources();
    warningLog().previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& ctx, const QString& msg) {
        if (type == QtWarningMsg || type == QtCriticalMsg) {
            std::lock_guard<std::mutex> lock(warningLog().mutex);
            warningLog().lines.append(msg);
        }
        if (warningLog().previous)
            warningLog().previous(type, ctx, msg);
    });
    QFile css(QStringLiteral(":/res/css/general.css"));
    if (withStyle && css.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromUtf8(css.readAll()));
}

// Warnings about a missing picture, style sheet or icon, or one that did not parse.
inline QStringList resourceWarnings()
{
    QStringList out;
    for (const QString& w : warnings()) {
        if (w.contains(QLatin1String("missing"), Qt::CaseInsensitive) || w.contains(QLatin1String("Could not"), Qt::CaseInsensitive)
            || w.contains(QLatin1String("cannot"), Qt::CaseInsensitive) || w.contains(QLatin1String(":/res"))
            || w.contains(QLatin1String(":res/")))
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

// A real picture of a camera: many distinct colours on a coarse grid.
inline bool hasContent(const QPixmap& pixmap)
{
    const QImage img = pixmap.toImage();
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); y += qMax(1, img.height() / 24))
        for (int x = 0; x < img.width(); x += qMax(1, img.width() / 24))
            colours.insert(img.pixel(x, y) & 0xF0F0F0);
    return colours.size() >= 8;
}

} // namespace UiTest
