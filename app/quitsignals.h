#pragma once

class QCoreApplication;

// SIGTERM, SIGINT and SIGHUP end the event loop so that the normal shutdown
// order runs (a session logout or `kill` must not lose the log or leave
// cameras connected). The handler only writes a byte to a socket pair that
// the event loop watches.
namespace QuitSignals {
// Creates the socket pair, watches it from app's thread and installs the
// handlers. Once per process.
void install(QCoreApplication* app);
// Whether a quit signal was served. A quit that arrives before the main
// event loop runs (served by a local loop during start-up) is lost to
// QCoreApplication::exec(), so the entry asks here before starting it.
bool quitRequested();
// Installs the handlers again (after a library reset the signal
// dispositions, as the browser runtime does when it starts); nothing when
// install() was not called.
void reinstallHandlers();
} // namespace QuitSignals
