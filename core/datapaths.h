#pragma once

#include <QString>

// Where the program keeps its per-user files. None of these creates a folder.
namespace DataPaths {
QString appName();
void setAppName(const QString& name);
QString dataRoot();
QString subDir(const QString& name);
QString configDir();
QString cacheDir();
QString logDir();
QString pluginDir();
QString tempDir();
QString logFile();
QString logBackupFile();
QString settingsFile();
QString legacyConfigDir();
QString legacySettingsFile();
} // namespace DataPaths
