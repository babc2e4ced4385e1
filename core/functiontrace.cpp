#include "core/functiontrace.h"

#include <atomic>

namespace {
std::atomic<quint64> g_traceCounter{0};
}

FunctionTrace::FunctionTrace(const char* name)
    : m_name(name), m_sequence(++g_traceCounter)
{
}

quint64 FunctionTrace::counter()
{
    return g_traceCounter.load();
}
