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
    // The most of a message's text a line holds: text from outside (a
    // server's answer, say) cannot flood the log.
    static constexpr int kMaxTextChars = 1000;

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
    // A message's text as it goes into a line: line breaks and other control
    // characters escaped ("\n", "\r", "\xNN"), so that no text can make a
    // line look like one of the program's own, and cut to kMaxTextChars.
    static QString printable(const QString& text);
    // The numeric id of the calling thread as written in the "T:" field.
    static long long currentThreadNumber();

private:
    static void messageHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg);

    FILE* m_stream = nullptr;
};
