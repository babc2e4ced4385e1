#pragma once

#include <QByteArray>

// A scope marker at the top of an operation, named "Class::method". It only
// records the name and a sequence number from a process-wide counter; it
// writes nothing.
class FunctionTrace
{
public:
    explicit FunctionTrace(const char* name);
    const char* name() const { return m_name; }
    quint64 sequence() const { return m_sequence; }
    static quint64 counter();

private:
    const char* m_name;
    quint64 m_sequence;
};
