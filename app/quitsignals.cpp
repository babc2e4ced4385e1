#include "app/quitsignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_quitPipe[2] = {-1, -1};
bool g_quitRequested = false;

void onQuitSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_quitPipe[1], &c, 1);
}

void installHandlers()
{
    struct sigaction sa{};
    sa.sa_handler = &onQuitSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

} // namespace

namespace QuitSignals {

void install(QCoreApplication* app)
{
    if (g_quitPipe[0] >= 0)
        return;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_quitPipe) != 0) {
        g_quitPipe[0] = g_quitPipe[1] = -1;
        qWarning("cannot watch quit signals");
        return;
    }
    auto* notifier = new QSocketNotifier(g_quitPipe[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, app, [app, notifier]() {
        char c;
        [[maybe_unused]] const ssize_t n = ::read(g_quitPipe[0], &c, 1);
        notifier->setEnabled(false);
        qInfo("quit requested by signal");
        g_quitRequested = true;
        app->quit();
    });
    installHandlers();
}

bool quitRequested()
{
    return g_quitRequested;
}

void reinstallHandlers()
{
    if (g_quitPipe[1] >= 0)
        installHandlers();
}

} // namespace QuitSignals
