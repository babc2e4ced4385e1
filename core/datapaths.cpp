#include "core/datapaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <mutex>

namespace {
std::mutex g_nameMutex;
QString g_appName;

QString normalised(const QString& path)
{
    return QDir(path).absolutePath();
}
} // namespace

namespace DataPaths {

QString appName()
{
    std::lock_guard<std::mutex> lock(g_nameMutex);
    if (g_appName.isEmpty())
        g_appName = QCoreApplication::applicationName();
    return g_appName;
}

void setAppName(const QString& name)
{
    std::lock_guard<std::mutex> lock(g_nameMutex);
    g_appName = name;
}

QString dataRoot()
{
    const QStringList roots = QStandardPaths::standardLocations(QStandardPaths::AppDataLocation);
    return normalised(roots.isEmpty() ? QDir::homePath() : roots.first());
}

QString subDir(const QString& name) { return normalised(dataRoot() + QLatin1Char('/') + name); }
QString configDir() { return subDir(QStringLiteral("Config")); }
QString cacheDir() { return subDir(QStringLiteral("Cache")); }
QString logDir() { return subDir(QStringLiteral("Log")); }
QString pluginDir() { return subDir(QStringLiteral("Plugin")); }
QString tempDir() { return subDir(QStringLiteral("Temp")); }
QString logFile() { return normalised(logDir() + QLatin1Char('/') + appName() + QStringLiteral(".log")); }
QString logBackupFile() { return logFile() + QStringLiteral(".bak"); }
QString settingsFile() { return normalised(configDir() + QStringLiteral("/app_info")); }

QString legacyConfigDir()
{
    return normalised(QCoreApplication::applicationDirPath() + QLatin1Char('/') + appName()
                      + QStringLiteral(".config"));
}

QString legacySettingsFile() { return normalised(legacyConfigDir() + QStringLiteral("/app_info")); }

} // namespace DataPaths
