#include "core/logfile.h"

#include <QDate>
#include <QFile>
#include <QTime>
#include <mutex>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
// The stream the handler writes to; empty while no log is open. A line is
// written and the stream closed under the mutex, never both at once: a late
// message of another thread must not touch a stream being closed.
std::mutex g_logMutex;
FILE* g_logStream = nullptr;

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
    // The file-system encoding, as the folder was made with: a home named in
    // any script has its log.
    const QByteArray cpath = QFile::encodeName(path);

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

    const QByteArray date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toLocal8Bit();
    std::fprintf(m_stream, "\n>>>>>>>>>%s>>>>>>>\n", date.constData());
    std::fflush(m_stream);
    {
        std::lock_guard<std::mutex> lock(g_logMutex);
        g_logStream = m_stream;
    }
    qInstallMessageHandler(&LogFile::messageHandler);
}

LogFile::~LogFile()
{
    close();
}

void LogFile::close()
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logStream == m_stream)
        g_logStream = nullptr;
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

QString LogFile::printable(const QString& text)
{
    int n = qMin(text.size(), kMaxTextChars);
    if (n < text.size() && n > 0 && text.at(n - 1).isHighSurrogate())
        --n; // never half a character
    QString out;
    out.reserve(n + 40);
    for (int i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (n < text.size())
        out += QStringLiteral("...(%1 more characters)").arg(text.size() - n);
    return out;
}

void LogFile::messageHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    const long long tid = currentThreadNumber();
    const QByteArray time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")).toLocal8Bit();
    const QByteArray line = formatLine(type, time, tid, printable(msg).toLocal8Bit());
    std::lock_guard<std::mutex> lock(g_logMutex);
    if (g_logStream) {
        std::fputs(line.constData(), g_logStream);
        std::fflush(g_logStream);
    } else {
        std::fflush(nullptr);
    }
}
