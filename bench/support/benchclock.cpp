#include "bench/support/benchclock.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sys/resource.h>
#include <unistd.h>

namespace BenchClock {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double cpuSecondsOf(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray s = f.readAll();
    // The name (field 2) may hold spaces: count from its closing parenthesis.
    // utime and stime (fields 14 and 15) are the 12th and 13th after it.
    const QList<QByteArray> parts = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return (parts.value(11).toDouble() + parts.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

qint64 threadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

qint64 steadyUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double rssMiB()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> parts = f.readAll().split(' ');
    return parts.value(1).toDouble() * double(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

int procEntries(const char* folder)
{
    QDir d(QStringLiteral("/proc/self/") + QLatin1String(folder));
    if (!d.exists())
        return -1;
    return int(d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size());
}

double loadAverage()
{
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : -1;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const double at = std::max(0.0, p * double(values.size()));
    return values[std::min(values.size() - 1, size_t(at))];
}

double median(std::vector<double> values)
{
    return percentile(std::move(values), 0.5);
}

} // namespace BenchClock
