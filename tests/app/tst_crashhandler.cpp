// The crash handler is tested in child processes (this same executable run
// with "--crash-child <signal> <path>") that crash on purpose, and the
// process end in one ("--end-child <path>") whose static teardown would abort.
#include "app/crashhandler.h"
#include "app/processend.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>

namespace {

[[noreturn]] void crashChild(const char* how, const char* path)
{
    CrashHandler::install();
    CrashHandler::setDumpPath(QString::fromLocal8Bit(path));
    if (std::strcmp(how, "segv") == 0) {
        // A write to an inaccessible page: a real fault at a known address
        // (a null store would be caught earlier by the undefined-behaviour checker).
        void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        std::printf("%p\n", page);
        std::fflush(stdout);
        *static_cast<volatile int*>(page) = 1;
    } else if (std::strcmp(how, "abort") == 0) {
        std::abort();
    } else if (std::strcmp(how, "fpe") == 0) {
        std::raise(SIGFPE);
    }
    std::_Exit(3);
}

// Stands for a library's static object whose teardown aborts (as the audio
// backend's can when a server event arrives at that moment).
struct AbortsWhenDestroyed
{
    ~AbortsWhenDestroyed() { std::abort(); }
};

[[noreturn]] void endChild(const char* path)
{
    CrashHandler::install();
    CrashHandler::setDumpPath(QString::fromLocal8Bit(path));
    static AbortsWhenDestroyed teardown;
    (void)teardown;
    // No newline: to a pipe this stays in the stdio buffer until flushed.
    std::printf("ended through ProcessEnd");
    ProcessEnd::now(7);
}

} // namespace

class TestCrashHandler : public QObject
{
    Q_OBJECT

private:
    static QProcess* run(const char* how, const QString& path)
    {
        auto* p = new QProcess;
        p->start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--crash-child"), QString::fromLatin1(how), path});
        p->waitForFinished(20000);
        return p;
    }
    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private slots:
    // The program's last step: its code, its buffered output, and no static
    // teardown (which here would abort and leave a crash dump).
    void processEndSkipsStaticTeardown()
    {
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("crash.dmp"));
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--end-child"), dump});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 7);
        QCOMPARE(p.readAllStandardOutput(), QByteArray("ended through ProcessEnd"));
        QVERIFY(!QFile::exists(dump));
    }

    void segfaultWritesDumpAndDiesWithSignal()
    {
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("crash.dmp"));
        std::unique_ptr<QProcess> p(run("segv", dump));
        QCOMPARE(p->exitStatus(), QProcess::CrashExit);
        const QByteArray data = readAll(dump);
        QVERIFY2(data.contains("signal: SIGSEGV (11)"), data.constData());
        const QByteArray page = p->readAllStandardOutput().trimmed();
        QVERIFY2(data.contains("address: " + page + "\n"), page.constData());
        QVERIFY(data.contains("thread: "));
        QVERIFY(data.contains("backtrace:\n"));
        // At least a few frames follow the backtrace header.
        QVERIFY(data.mid(data.indexOf("backtrace:\n")).count('\n') > 3);
    }

    void secondCrashOverwrites()
    {
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("crash.dmp"));
        std::unique_ptr<QProcess> first(run("segv", dump));
        QVERIFY(readAll(dump).contains("SIGSEGV"));
        std::unique_ptr<QProcess> second(run("abort", dump));
        QCOMPARE(second->exitStatus(), QProcess::CrashExit);
        const QByteArray data = readAll(dump);
        QVERIFY(data.contains("signal: SIGABRT (6)"));
        QVERIFY(!data.contains("SIGSEGV"));
        std::unique_ptr<QProcess> third(run("fpe", dump));
        QVERIFY(readAll(dump).contains("signal: SIGFPE (8)"));
    }

    void dumpIsOwnerOnly()
    {
        // The dump holds addresses and symbol names of the process: only
        // its user may read it, also when a readable older dump is replaced,
        // and a symbolic link in its place is not followed.
        QTemporaryDir dir;
        const QString dump = dir.filePath(QStringLiteral("crash.dmp"));
        QFile old(dump);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old dump");
        old.close();
        QVERIFY(QFile::setPermissions(dump, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup
                                                | QFile::ReadOther));
        std::unique_ptr<QProcess> p(run("segv", dump));
        QVERIFY(readAll(dump).contains("SIGSEGV"));
        struct stat st{};
        QCOMPARE(::stat(QFile::encodeName(dump).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);

        const QString target = dir.filePath(QStringLiteral("elsewhere"));
        const QString link = dir.filePath(QStringLiteral("link.dmp"));
        QVERIFY(QFile::link(target, link));
        std::unique_ptr<QProcess> q(run("segv", link));
        QCOMPARE(q->exitStatus(), QProcess::CrashExit);
        QVERIFY(!QFile::exists(target));
    }

    void uncreatableDumpStillDies()
    {
        QTemporaryDir dir;
        std::unique_ptr<QProcess> p(run("segv", dir.filePath(QStringLiteral("no/such/folder/crash.dmp"))));
        QCOMPARE(p->exitStatus(), QProcess::CrashExit);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("no"))));
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--crash-child") == 0)
        crashChild(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--end-child") == 0)
        endChild(argv[2]);
    QCoreApplication app(argc, argv);
    TestCrashHandler t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_crashhandler.moc"
