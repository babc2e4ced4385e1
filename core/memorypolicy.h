#pragma once

// How the process asks the C library to keep its memory. Every play starts
// and ends a handful of threads per camera (receive, decode, audio, events,
// timeline); by default the allocator gives threads up to eight arenas per
// core and keeps what they freed in each, scattered between blocks still in
// use, so the resident set grew with every play/stop cycle though nothing
// leaked (docs/performance.md, "Memory"). One arena for all threads keeps
// the freed memory in one place where it is reused; the few allocations per
// picture do not make its lock a bottleneck.
class MemoryPolicy
{
public:
    static constexpr int kArenas = 1;
    // Call once, first thing in main (before threads start); true when the
    // C library took the setting.
    static bool apply();
};
