#pragma once

// Ends the process once the program's own shutdown is complete, without
// running the destructors of static objects.
//
// Qt Multimedia's PulseAudio backend keeps a process-wide engine whose
// static destructor disconnects its context while the engine's main loop
// thread may still be dispatching a server event (a sink changing state
// because another stream started or stopped is enough). When the two meet,
// libpulse aborts on a dead reference count, after everything of ours has
// already been saved and closed. The program would then end with SIGABRT and
// a crash dump for a run that had no fault. Nothing of ours relies on static
// destructors (settings and logs are written as they change and closed by
// the shutdown order), so the process ends here instead.
namespace ProcessEnd {
// Flushes the C streams, runs the leak check in address-sanitizer builds
// (it would otherwise be skipped with the static destructors) and ends the
// process with `code`. Does not return.
[[noreturn]] void now(int code);
} // namespace ProcessEnd
