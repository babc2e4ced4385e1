#include "app/logfile.h"

#include <QDate>
#include <QTime>
#include <atomic>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The stream the handler writes to; empty while no log is open.
std::atomic<FILE*> g_logStream{nullptr};
}

LogFile::LogFile(const QString& path)
{
    const QByteArray cpath = path.toLatin1();

    qint64 size = 0;
    if (FILE* probe = std::fopen(cpath.constData(), "a+b")) {
        if (std::fseek(probe, 0, SEEK_END) == 0)
            size = std::ftell(probe);
        std::fclose(probe);
    }

    if (size >= kSizeLimit) {
        qWarning("log file is too large and removed it.");
        m_stream = std::fopen(cpath.constData(), "w");
    } else {
        m_stream = std::fopen(cpath.constData(), "a+");
    }
    if (!m_stream)
        return;

    g_logStream.store(m_stream);
    qInstallMessageHandler(&LogFile::messageHandler);

    const QByteArray date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toLocal8Bit();
    std::fprintf(m_stream, "\n>>>>>>>>>%s>>>>>>>\n", date.constData());
    std::fflush(m_stream);
}

LogFile::~LogFile()
{
    close();
}

void LogFile::close()
{
    if (g_logStream.load() == m_stream)
        g_logStream.store(nullptr);
    if (m_stream) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
}

const char* LogFile::levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return "DEBUG";
    case QtWarningMsg: return "WARN";
    case QtCriticalMsg: return "ERROR";
    case QtInfoMsg: return "INFO";
    default: return "DEBUG";
    }
}

QByteArray LogFile::formatLine(QtMsgType type, const QByteArray& time, long long threadId,
                               const QByteArray& text)
{
    char head[96];
    std::snprintf(head, sizeof head, "[%s]<%s T:%05lld> :", levelWord(type), time.constData(), threadId);
    QByteArray line(head);
    line += text;
    line += '\n';
    return line;
}

long long LogFile::currentThreadNumber()
{
    // The kernel's thread id: small, unique per live thread and the same number
    // that debuggers and crash dumps show.
    return static_cast<long long>(::syscall(SYS_gettid));
}

void LogFile::messageHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    const long long tid = currentThreadNumber();
    const QByteArray time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toLocal8Bit();
    FILE* stream = g_logStream.load();
    if (stream) {
        const QByteArray line = formatLine(type, time, tid, msg.toLocal8Bit());
        std::fputs(line.constData(), stream);
        std::fflush(stream);
    } else {
        std::fflush(nullptr);
    }
}
