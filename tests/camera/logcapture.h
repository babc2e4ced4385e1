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
        instance() = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        instance() = nullptr;
    }

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
    static void handler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
    {
        LogCapture* self = instance();
        if (!self)
            return;
        {
            std::lock_guard<std::mutex> lock(self->m_mutex);
            self->m_lines.append(msg);
        }
        if (self->m_previous)
            self->m_previous(type, ctx, msg);
    }

    mutable std::mutex m_mutex;
    QStringList m_lines;
    QtMessageHandler m_previous = nullptr;
};
