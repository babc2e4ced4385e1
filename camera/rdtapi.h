#pragma once

#include <functional>

// The RDT calls the timeline thread makes, as replaceable functions so the
// exchange can run over something other than the P2P library (tests, fuzzing).
// Results follow the library: negative is failure; read/write return the
// byte count, 0 or negative on failure or time-out.
struct RdtApi
{
    std::function<int(int sessionId, int timeoutMs, int channel)> create;
    std::function<int(int rdtId)> destroy;
    std::function<int(int rdtId, const char* data, int len)> write;
    std::function<int(int rdtId, char* buf, int len, int timeoutMs)> read;

    // The P2P library's own calls.
    static RdtApi library();
};
