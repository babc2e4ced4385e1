#pragma once

// Shared set-up of the user-interface tests: resources, the style sheet, the
// warnings logged (from any thread), pictures, and event-loop syncing.

#include "res/vcresources.h"

#include <QtTest>
#include <QtWidgets>
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
        for (const char* mark : {"missing", "could not", "cannot", ":/res", ":res/"})
            if (w.contains(QLatin1String(mark), Qt::CaseInsensitive)) {
                out << w;
                break;
            }
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

// Runs the event loop until a 0 ms timer started now (and so any before it) fired.
inline bool sync()
{
    QTimer later;
    later.setSingleShot(true);
    QSignalSpy fired(&later, &QTimer::timeout);
    later.start(0);
    return fired.wait();
}

} // namespace UiTest
