#pragma once

#include <QtGlobal>
#include <vector>

// Readings the benchmarks take of this process, of a child process and of the
// clock, and the statistics they print.
namespace BenchClock {

// CPU time of this process, user + system, in seconds (all threads).
double cpuSeconds();
// CPU time of another process (utime + stime from /proc/<pid>/stat), in
// seconds; 0 when it cannot be read.
double cpuSecondsOf(qint64 pid);
// CPU time of the calling thread in ns: what a piece of work costs, not how
// long it waited for a core on a busy machine.
qint64 threadCpuNs();

// The steady clock (CLOCK_MONOTONIC). The emulator stamps each frame it sends
// with this clock in microseconds, so send -> here latencies subtract
// steadyUs() readings from those stamps.
qint64 steadyNs();
qint64 steadyUs();

// Resident set of this process in MiB; 0 when it cannot be read.
double rssMiB();
// Entries of /proc/self/<folder> ("fd": open files, "task": threads); -1
// when it cannot be read.
int procEntries(const char* folder);
// The one-minute load average of the machine; -1 when unknown.
double loadAverage();

// The value at index floor(p * n) of the sorted values (clamped to the last
// one): p = 0 is the minimum, p = 1 the maximum, p = 0.99 of 100 values the
// maximum too. 0 for no values.
double percentile(std::vector<double> values, double p);
// The middle value (the upper of the two middle ones for an even count),
// percentile(values, 0.5); 0 for no values.
double median(std::vector<double> values);

} // namespace BenchClock
