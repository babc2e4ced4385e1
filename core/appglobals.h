#pragma once

#include <atomic>

class QNetworkAccessManager;
class QWidget;

// Process-wide objects made by the entry point.
namespace AppGlobals {
// The shared network access manager (GUI thread), from start-up to shutdown.
QNetworkAccessManager* networkManager();
void setNetworkManager(QNetworkAccessManager* nam);

// The main window, parent of application-level dialogs.
QWidget* mainWindow();
void setMainWindow(QWidget* w);

// Set by the browser layer just before it starts the browser runtime.
extern std::atomic<bool> browserInitialized;
} // namespace AppGlobals
