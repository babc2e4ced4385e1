#include "app/crashhandler.h"

#include <QFile>

#include <atomic>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

char g_dumpPath[4096];           // empty: no dump
volatile sig_atomic_t g_haveDumpPath = 0;
alignas(16) char g_altStack[64 * 1024];

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void writeStr(int fd, const char* s)
{
    size_t len = std::strlen(s);
    while (len > 0) {
        const ssize_t n = ::write(fd, s, len);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        s += n;
        len -= static_cast<size_t>(n);
    }
}

// Formats an unsigned number in the given base without the C library.
void writeNum(int fd, unsigned long long v, unsigned base)
{
    char buf[32];
    int i = sizeof buf - 1;
    buf[i] = '\0';
    do {
        const unsigned d = static_cast<unsigned>(v % base);
        buf[--i] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        v /= base;
    } while (v && i > 0);
    if (base == 16)
        writeStr(fd, "0x");
    writeStr(fd, buf + i);
}

const char* signalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    default: return "signal";
    }
}

void onFatalSignal(int sig, siginfo_t* info, void*)
{
    const int savedErrno = errno;
    if (g_haveDumpPath) {
        // Owner only, also when an older dump with wider permissions is
        // overwritten; never through a symbolic link.
        const int fd = ::open(g_dumpPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            ::fchmod(fd, 0600);
            writeStr(fd, "VuCamera crash dump\nsignal: ");
            writeStr(fd, signalName(sig));
            writeStr(fd, " (");
            writeNum(fd, static_cast<unsigned>(sig), 10);
            writeStr(fd, ")\ncode: ");
            writeNum(fd, static_cast<unsigned>(info ? info->si_code : 0), 10);
            writeStr(fd, "\naddress: ");
            writeNum(fd, reinterpret_cast<unsigned long long>(info ? info->si_addr : nullptr), 16);
            writeStr(fd, "\npid: ");
            writeNum(fd, static_cast<unsigned long long>(::getpid()), 10);
            writeStr(fd, "\nthread: ");
            writeNum(fd, static_cast<unsigned long long>(::syscall(SYS_gettid)), 10);
            writeStr(fd, "\nbacktrace:\n");
            void* frames[64];
            const int n = ::backtrace(frames, 64);
            ::backtrace_symbols_fd(frames, n, fd);
            ::close(fd);
        }
    }
    errno = savedErrno;
    // The handler was installed with SA_RESETHAND: the default action is back,
    // so raising the signal again ends the process with it.
    ::raise(sig);
}

} // namespace

namespace CrashHandler {

std::atomic<bool> g_installed{false};

void install()
{
    g_installed = true;
    // backtrace() loads its unwinder on first use, which is not safe inside a
    // signal handler; do that once now.
    void* warm[2];
    ::backtrace(warm, 2);

    stack_t ss{};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof g_altStack;
    ::sigaltstack(&ss, nullptr);

    struct sigaction sa{};
    sa.sa_sigaction = &onFatalSignal;
    sa.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kSignals)
        ::sigaction(sig, &sa, nullptr);
}

void reinstall()
{
    if (g_installed)
        install();
}

void setDumpPath(const QString& path)
{
    const QByteArray p = QFile::encodeName(path);
    g_haveDumpPath = 0;
    if (p.isEmpty() || static_cast<size_t>(p.size()) >= sizeof g_dumpPath)
        return;
    std::memcpy(g_dumpPath, p.constData(), static_cast<size_t>(p.size()) + 1);
    g_haveDumpPath = 1;
}

} // namespace CrashHandler
