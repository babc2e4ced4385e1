#include "core/logfile.h"

#include <QDate>
#include <QTime>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The stream the handler writes to; empty while no log is open.
std::atomic<FILE*> g_logStream{nullptr};

// Opens the log for appending (or emptied first) as a file only its owner can
// read: the log names cameras, rooms and accounts. A file left by an older
// version with wider permissions is tightened; a symbolic link is refused.
FILE* openPrivate(const char* path, bool truncate)
{
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
    if (truncate)
        flags |= O_TRUNC;
    const int fd = ::open(path, flags, 0600);
    if (fd < 0)
        return nullptr;
    ::fchmod(fd, 0600);
    FILE* f = ::fdopen(fd, "a");
    if (!f)
        ::close(fd);
    return f;
}
} // namespace

LogFile::LogFile(const QString& path)
{
    const QByteArray cpath = path.toLatin1();

    qint64 size = 0;
    struct stat st{};
    if (::stat(cpath.constData(), &st) == 0)
        size = static_cast<qint64>(st.st_size);

    if (size >= kSizeLimit) {
        qWarning("log file is too large and removed it.");
        m_stream = openPrivate(cpath.constData(), true);
    } else {
        m_stream = openPrivate(cpath.constData(), false);
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
