#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdio>

// The program's log file. While an instance is open, every Qt message of every
// thread is written to it as one flushed line:
//   "[LEVEL]<hh:mm:ss.zzz T:tid> :text"
class LogFile
{
public:
    static constexpr qint64 kSizeLimit = 10485760; // 0xA00000

    explicit LogFile(const QString& path);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    bool isOpen() const { return m_stream != nullptr; }
    void close();

    // The level word written for a Qt message type ("DEBUG" for fatal too).
    static const char* levelWord(QtMsgType type);
    // One formatted line, without touching any stream (used by the handler).
    static QByteArray formatLine(QtMsgType type, const QByteArray& time, long long threadId,
                                 const QByteArray& text);
    // The numeric id of the calling thread as written in the "T:" field.
    static long long currentThreadNumber();

private:
    static void messageHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg);

    FILE* m_stream = nullptr;
};
