#pragma once

#include <mutex>
#include <QStringList>
#include <QtGlobal>

// Collects every Qt message of every thread while it exists (and still
// prints them), so tests can check what was logged and how often.
class LogCapture
{
public:
    LogCapture()
    {
        std::lock_guard<std::mutex> lock(instanceMutex());
        m_previous = qInstallMessageHandler(&LogCapture::handler);
        instance() = this;
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        // A thread may be inside handler() right now: it holds the instance
        // lock while it uses this object, so taking it here waits for it.
        std::lock_guard<std::mutex> lock(instanceMutex());
        instance() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    int count(const QString& fragment) const
    {
        int n = 0;
        for (const QString& l : lines())
            n += l.contains(fragment) ? 1 : 0;
        return n;
    }
    bool contains(const QString& fragment) const { return count(fragment) > 0; }
    void clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    static LogCapture*& instance()
    {
        static LogCapture* current = nullptr;
        return current;
    }
    static std::mutex& instanceMutex()
    {
        static std::mutex m;
        return m;
    }
    static void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
    {
        QtMessageHandler previous = nullptr;
        {
            std::lock_guard<std::mutex> guard(instanceMutex());
            LogCapture* self = instance();
            if (!self)
                return;
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_lines.append(msg);
            previous = self->m_previous;
        }
        // Printed outside the locks: a fatal message ends the process there.
        if (previous)
            previous(type, ctx, msg);
    }

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
