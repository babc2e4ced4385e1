#pragma once

#include <climits>

class QThread;

// Waiting for a QThread in a way the thread sanitizer can follow.
//
// Qt 5's QThread::wait() waits on a condition inside QtCore, which is not
// built with the sanitizer, so after it returns the sanitizer still sees the
// thread's last writes as concurrent with whatever the waiter does next (for
// example deleting the thread object). watch() marks the end of the thread's
// run and wait() takes that mark after QThread::wait(), which gives the
// sanitizer the ordering that Qt already guarantees. In other builds both
// are a plain connect and a plain wait.
namespace ThreadJoin {
// Call once for each thread, before it is started and after connecting any
// handler of its own finished signal (handlers run in connection order, and
// the mark must come after the thread's last work).
void watch(QThread* thread);
// QThread::wait(ms); true when the thread has ended.
bool wait(QThread* thread, unsigned long ms = ULONG_MAX);
} // namespace ThreadJoin
