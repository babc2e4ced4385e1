#pragma once

#include <QString>

// Fatal-signal handler that writes "<log folder>/crash.dmp" and lets the
// process die with the signal. Only async-signal-safe calls run in the handler.
namespace CrashHandler {
// Installs the handler for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT.
void install();
// Installs the handler again when install() was called before (a library
// may reset the signal dispositions when it starts, as the browser runtime
// does).
void reinstall();
// Sets the dump file path (taken before any crash; a crash before this call
// writes no dump). Safe to call again.
void setDumpPath(const QString& path);
} // namespace CrashHandler
