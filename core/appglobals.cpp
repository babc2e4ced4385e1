#include "core/appglobals.h"

namespace {
std::atomic<QNetworkAccessManager*> g_nam{nullptr};
std::atomic<QWidget*> g_mainWindow{nullptr};
}

namespace AppGlobals {
std::atomic<bool> browserInitialized{false};

QNetworkAccessManager* networkManager() { return g_nam.load(); }
void setNetworkManager(QNetworkAccessManager* nam) { g_nam.store(nam); }
QWidget* mainWindow() { return g_mainWindow.load(); }
void setMainWindow(QWidget* w) { g_mainWindow.store(w); }
} // namespace AppGlobals
