// The ground every folder stands on: log file, settings file, JSON reader, endpoints, file trust, web addresses, the
// crash dump and process end (in child processes of this program that crash on purpose), and the credential store
// against the Secret Service of the test session (scripts/with-session.sh).
#include "core/appinfo.h"
#include "app/crashhandler.h"
#include "core/credentialstore.h"
#include "core/endpoints.h"
#include "core/externalurl.h"
#include "core/filesafety.h"
#include "core/jsonreader.h"
#include "core/logfile.h"
#include "core/memorypolicy.h"
#include "app/processend.h"
#include "tests/support/logcapture.h"

#include <QDirIterator>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <malloc.h>
#include <thread>
#include <cstring>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

unsigned modeOf(const QString& path)
{
    struct stat st{};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777u;
}

void writeFile(const QString& path, const QByteArray& data, unsigned mode = 0644)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    f.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// Puts the message handler back when a log file (which replaces it) is done.
struct KeepHandler
{
    QtMessageHandler handler = qInstallMessageHandler(nullptr);
    KeepHandler() { qInstallMessageHandler(handler); }
    ~KeepHandler() { qInstallMessageHandler(handler); }
};

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// This program again, in one of the roles of main() below.
std::unique_ptr<QProcess> child(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->start(QCoreApplication::applicationFilePath(), args);
    p->waitForFinished(60000);
    return p;
}

const char kNoBusSecret[] = "NoBus-account-record-7d1f";

// Stands for a library's static object whose teardown aborts (as the audio backend's can when a server event arrives at
// that moment).
struct AbortsWhenDestroyed
{
    ~AbortsWhenDestroyed() { std::abort(); }
};

int childRole(int argc, char** argv)
{
    const QByteArray role = argv[1];
    if (role == "--crash") {
        CrashHandler::install();
        CrashHandler::setDumpPath(QString::fromLocal8Bit(argv[3]));
        if (std::strcmp(argv[2], "segv") == 0) {
            // A write to an inaccessible page: a real fault at a known address.
            void* page = ::mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            std::printf("%p\n", page);
            std::fflush(stdout);
            *static_cast<volatile int*>(page) = 1;
        }
        std::raise(std::strcmp(argv[2], "abort") == 0 ? SIGABRT : SIGFPE);
        return 3;
    }
    if (role == "--end") {
        CrashHandler::install();
        CrashHandler::setDumpPath(QString::fromLocal8Bit(argv[2]));
        static AbortsWhenDestroyed teardown;
        (void)teardown;
        std::printf("ended through ProcessEnd"); // no newline: still buffered
        ProcessEnd::now(7);
    }
    if (role == "--save-limited") {
        // A file-size limit stands for a full disk: a write past it fails (EFBIG) instead of ending the process.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(std::atoi(argv[3])), rlim_t(std::atoi(argv[3]))};
        AppInfo info(QString::fromLocal8Bit(argv[2]), QString());
        info.load();
        ::setrlimit(RLIMIT_FSIZE, &limit);
        info.setString("settings", "note", QString(std::atoi(argv[3]), QLatin1Char('x')));
        return 0;
    }
    QCoreApplication app(argc, argv);
    if (role == "--no-bus") {
        const bool ok = CredentialStore::writeBytes(QStringLiteral("account"), kNoBusSecret);
        AppInfo settings(QString::fromLocal8Bit(argv[2]), QString());
        settings.load();
        std::printf("%s %s %s\n", ok ? "stored" : "refused", CredentialStore::readBytes("account").isEmpty() ? "empty" : "read",
                    CredentialStore::forget(QStringLiteral("vc-forget"), settings) ? "forgotten" : "kept");
        return 0;
    }
    // --quit
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    const QByteArray value = CredentialStore::readBytes(QStringLiteral("account"));
    QTimer::singleShot(30000, [] { QCoreApplication::exit(7); }); // 7: the quit was lost
    const int rc = QCoreApplication::exec();
    // The first read's late answer comes before this one's: it must find no deleted job.
    CredentialStore::readBytes(QStringLiteral("account"));
    std::printf("%s\n", value.isEmpty() ? "empty" : "read");
    return rc;
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { ::umask(022); } // the usual umask: new files would be world-readable

    void logFile()
    {
        const QString file = path("VuCamera.log");
        writeFile(file, "earlier line\n", 0644); // left readable by an older version
        KeepHandler keep;
        {
            LogFile log(file);
            QVERIFY(log.isOpen());
            qInfo("camera %s: video started", "cam1");
            qWarning() << "stream form" << 42;
            qWarning("server said: %s", "ok\r\n[INFO]<00:00:00.000 T:00001> :forged");
            QThread* t = QThread::create([] { qInfo("from a worker"); });
            t->start();
            t->wait();
            delete t;
            QVERIFY(readAll(file).endsWith("from a worker\n")); // flushed line by line
        }
        qInfo("after close: dropped");
        const QString text = QString::fromLatin1(readAll(file));
        QVERIFY2(text.startsWith("earlier line\n\n>>>>>>>>>" + QDate::currentDate().toString("yyyy-MM-dd") + ">>>>>>>\n"),
                 qPrintable(text.left(60)));
        QVERIFY(QRegularExpression("\n\\[INFO\\]<\\d\\d:\\d\\d:\\d\\d\\.\\d{3} T:\\d{5,}> :camera cam1: video started\n").match(text).hasMatch());
        QCOMPARE(LogFile::formatLine(QtFatalMsg, "t", 7, "f") + LogFile::formatLine(QtCriticalMsg, "t", 123456, "c"),
                 QByteArray("[DEBUG]<t T:00007> :f\n[ERROR]<t T:123456> :c\n"));
        QVERIFY(text.contains("[WARN]") && text.contains(" :stream form 42\n") && !text.contains("after close"));
        QVERIFY(text.contains(" :server said: ok\\r\\n[INFO]<00:00:00.000 T:00001> :forged\n"));
        QCOMPARE(modeOf(file), 0600u);

        // A symbolic link in the log's place is not written through; a missing folder gives no log at all.
        QVERIFY(QFile::link(path("target"), path("link.log")));
        QVERIFY(!LogFile(path("link.log")).isOpen() && !QFile::exists(path("target")));
        QVERIFY(!LogFile(path("missing/VuCamera.log")).isOpen());
    }

    // A message's text in the log: one line, control characters escaped, cut after 1,000 characters (never within
    // one).
    void logText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        const QString x999(999, QLatin1Char('x'));
        QTest::newRow("plain") << "camera cam1: ok" << "camera cam1: ok";
        QTest::newRow("line breaks") << "a\r\n[INFO]b\n" << "a\\r\\n[INFO]b\\n";
        QTest::newRow("other controls") << QString::fromLatin1("\x01\t\x1f \x7f", 5) << "\\x01\\x09\\x1f \x7f";
        QTest::newRow("other scripts") << QString::fromUtf8("张三 ü") << QString::fromUtf8("张三 ü");
        QTest::newRow("at the limit") << x999 + "y" << x999 + "y";
        QTest::newRow("one past it") << x999 + "yz" << x999 + "y...(1 more characters)";
        QTest::newRow("escapes are not counted") << x999 + "\n" << x999 + "\\n";
        QTest::newRow("a pair across the cut") << x999 + QString::fromUtf8("😀") << x999 + "...(2 more characters)";
    }
    void logText()
    {
        QFETCH(QString, text);
        QFETCH(QString, line);
        QCOMPARE(LogFile::printable(text), line);
    }

    // Threads still writing while the log closes (a browser thread at shutdown): the close waits for a line being
    // written, and later lines go nowhere.
    void logClosesUnderWriters()
    {
        KeepHandler keep;
        std::atomic<bool> stop{false};
        std::vector<std::thread> writers;
        LogFile first(path("race.log")); // before the writers: none of their lines goes to the test's own output
        for (int i = 0; i < 3; ++i)
            writers.emplace_back([&] {
                while (!stop)
                    qInfo("a late line from a worker");
            });
        QTRY_VERIFY(readAll(path("race.log")).contains(" :a late line from a worker\n"));
        first.close();
        for (int i = 0; i < 1000; ++i) {
            LogFile(path("race.log")).close();
            // Whatever takes the closed stream's memory next: a line still written to it would end the program.
            std::vector<QByteArray> reuse;
            for (int size = 64; size <= 1024; size += 16)
                reuse.emplace_back(size, char(0xa5));
            QThread::usleep(50);
        }
        stop = true;
        for (std::thread& t : writers)
            t.join();
        QVERIFY(readAll(path("race.log")).endsWith('\n'));
    }

    void logSizeLimit()
    {
        KeepHandler keep;
        for (const qint64 size : {LogFile::kSizeLimit - 1, LogFile::kSizeLimit}) {
            QFile f(path("big.log"));
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size));
            f.close();
            LogFile(path("big.log")).close(); // kept, or emptied before its banner
            QCOMPARE(QFileInfo(path("big.log")).size() < 100, size == LogFile::kSizeLimit);
        }
    }

    void settingsFile()
    {
        // Missing: defaults, a private folder, and the first setter writes a private file holding only what was set.
        const QString file = path("a/Config/app_info");
        AppInfo info(file, QString());
        QVERIFY(!info.load());
        QCOMPARE(modeOf(path("a/Config")), 0700u);
        QVERIFY(info.getBool("settings", "remember", true) && !info.getBool("settings", "remember", false));
        info.setInt("settings", "page_mode", 2);
        QCOMPARE(QJsonDocument::fromJson(readAll(file)).object(), QJsonObject({{"settings", QJsonObject({{"page_mode", 2}})}}));
        QCOMPARE(modeOf(file), 0600u);

        // Wrong types give the defaults; a readable file is tightened.
        writeFile(file, R"({"settings":"oops","cam1":{"quality":"3","flag":1},"top":5})", 0644);
        QVERIFY(info.load());
        QCOMPARE(modeOf(file), 0600u);
        QVERIFY(info.getInt("cam1", "quality", 2) == 2 && info.getString("cam1", "flag", "d") == "d");
        QCOMPARE(info.getInt("", "top", 0), 5); // empty group: the root
        info.setBool("settings", "remember", false); // the text becomes a group
        const QJsonObject updater{{"update_policy", 1}, {"version", "3.1.0"}};
        info.setObject("updater", updater);
        AppInfo reread(file, QString());
        QVERIFY(reread.load());
        QVERIFY(!reread.getBool("settings", "remember", true));
        QCOMPARE(reread.getString("cam1", "quality", ""), QStringLiteral("3"));
        QCOMPARE(reread.getObject("updater"), updater);

        // A file that turned bad reads as empty, not as the last good one.
        writeFile(file, "[1,2]");
        QVERIFY(!info.load() && info.getInt("", "top", 0) == 0 && info.getObject("updater").isEmpty());
    }

    // The disk fills up (a file-size limit, in a child process) while the settings are saved: the old file stays
    // whole, with a warning, and no half-written file is left beside it.
    void settingsSurviveAFullDisk()
    {
        QVERIFY(QDir().mkpath(path("full")));
        const QString file = path("full/app_info");
        const QByteArray old = R"({"settings":{"page_mode":2,"remember":true}})";
        writeFile(file, old, 0600);
        auto p = child({"--save-limited", file, "200"});
        QVERIFY(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0);
        QCOMPARE(readAll(file), old);
        QVERIFY(p->readAllStandardError().contains("cannot write appinfo, the previous settings are kept"));
        QCOMPARE(QDir(path("full")).entryList(QDir::Files | QDir::Hidden), QStringList{"app_info"});
    }

    void legacySettings()
    {
        const QString legacy = path("legacy_app_info");
        writeFile(legacy, R"({"settings":{"page_mode":1}})", 0644);
        const QString file = path("d/Config/app_info");
        AppInfo info(file, legacy);
        QVERIFY(info.load() && info.getInt("settings", "page_mode", 0) == 1);
        QVERIFY(modeOf(file) == 0600u && modeOf(legacy) == 0644u); // the old file is not ours to change
    }

    void duplicateMembers_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("name");
        QTest::newRow("none") << QByteArray(R"({"a":{"b":1},"c":[{"a":1},{"a":2}]})") << -1 << "";
        QTest::newRow("sibling objects") << QByteArray(R"([{"a":1},{"a":2}])") << -1 << "";
        QTest::newRow("object replaced") << QByteArray(R"({"a":{"b":"c"},"a":[1]})") << 15 << "a";
        QTest::newRow("nested, blank before colon") << QByteArray(R"({"x":{"k":1, "k" :2}})") << 13 << "k";
        QTest::newRow("line break before colon") << QByteArray("{\"k\"\n:1,\"k\"\r\n:2}") << 8 << "k";
        QTest::newRow("escaped spelling") << QByteArray("{\"ab\":1,\"\\u0061b\":2}") << 8 << "ab";
        QTest::newRow("utf-8 and escape") << QByteArray("{\"M\xc3\xa9\":{},\"M\\u00e9\":[]}") << 10
                                          << QString("M") + QChar(0xe9);
        QTest::newRow("invalid utf-8") << QByteArray("{\"M\xaf\":{},\"M\xaf\":[]}") << -1 << "";
        QTest::newRow("string values") << QByteArray(R"({"a":"a","b":"a"})") << -1 << "";
        QTest::newRow("quote inside a name") << QByteArray("{\"a\\\"\":1,\"a\":2}") << -1 << "";
        QTest::newRow("quoted names repeated") << QByteArray("{\"a\\\":\":1,\"a\\\":\":2}") << 10 << "a\":";
        QTest::newRow("unterminated") << QByteArray("{\"a\":1,\"a") << -1 << "";
        QTest::newRow("trailing backslash") << QByteArray("{\"a\\") << -1 << "";
        QTest::newRow("closers without openers") << QByteArray(R"(]]}}{"a":1})") << -1 << "";
    }
    void duplicateMembers()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, offset);
        QFETCH(QString, name);
        QString found;
        QCOMPARE(JsonReader::duplicateMember(text, &found), offset);
        QCOMPARE(found, name);
        QJsonParseError pe{};
        if (offset >= 0)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("json refused, member \"%1\" given twice at offset %2")
                                                                .arg(name).arg(offset)));
        const QJsonDocument doc = JsonReader::parse(text, &pe);
        if (offset >= 0) {
            QVERIFY(doc.isNull());
            QCOMPARE(pe.error, QJsonParseError::IllegalValue);
            QCOMPARE(pe.offset, offset);
        } else {
            QCOMPARE(doc, QJsonDocument::fromJson(text));
        }
    }

    void endpointsFromJson()
    {
        const Endpoints defaults;
        Endpoints e = Endpoints::fromJson({{"home_api", "https://localhost:9/"}, {"account", "https://127.0.0.2:7//"}, {"stats", ""}});
        QCOMPARE(e.homeApi + " " + e.cookieDomain, QStringLiteral("https://localhost:9 localhost")); // the home API's host
        QCOMPARE(e.account + " " + e.accountAuthority(), QStringLiteral("https://127.0.0.2:7 127.0.0.2:7"));
        QVERIFY(e.stats == defaults.stats && e.caCertFile == defaults.caCertFile);
        QCOMPARE(Endpoints::fromJson({{"cookie_domain", "c.example"}, {"ca_cert", ""}}).cookieDomain, QStringLiteral("c.example"));
    }

    void endpointsFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<unsigned>("mode");
        QTest::addColumn<QString>("warning");
        QTest::newRow("trusted") << QByteArray("{\"account\": \"https://elsewhere.example:9443\"}") << 0644u << "";
        QTest::newRow("writable by others") << QByteArray("{\"account\": \"https://elsewhere.example:9443\"}") << 0666u
                                            << "not trusted";
        QTest::newRow("not an object") << QByteArray("[1,2") << 0644u << "is not a JSON object";
        QTest::newRow("missing") << QByteArray() << 0u << "not readable";
    }
    void endpointsFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(unsigned, mode);
        QFETCH(QString, warning);
        const QString file = path("endpoints.json");
        QFile::remove(file);
        if (mode)
            writeFile(file, text, mode);
        LogCapture log;
        bool ok = !warning.isEmpty();
        const Endpoints e = Endpoints::load(file, &ok);
        QCOMPARE(ok, warning.isEmpty());
        QCOMPARE(e.account, ok ? QStringLiteral("https://elsewhere.example:9443") : Endpoints().account);
        QVERIFY(warning.isEmpty() || log.contains(warning));
    }

    void extraCa()
    {
        const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        if (system.isEmpty())
            QSKIP("no system CA certificate to copy");
        const QString ca = path("ca.pem"); // any certificate will do: the point is whether it is added
        writeFile(ca, system.first().toPem(), 0644);
        Endpoints e;
        e.caCertFile = ca;
        Endpoints::setCurrent(e);
        QCOMPARE(Endpoints::sslConfiguration().caCertificates().size(), system.size() + 1);
        // Only the configured services' hosts get it.
        QCOMPARE(Endpoints::sslConfigurationFor(QUrl(e.homeApi + "/app/x")).caCertificates().size(), system.size() + 1);
        QCOMPARE(Endpoints::sslConfigurationFor(QUrl("https://avatars.example/a.png")).caCertificates().size(), system.size());
        // Replaced (a new modification time) by a file others may write: read again, and refused.
        QCOMPARE(::chmod(QFile::encodeName(ca).constData(), 0666), 0);
        QFile touch(ca);
        QVERIFY(touch.open(QIODevice::Append));
        QVERIFY(touch.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        touch.close();
        LogCapture log;
        QCOMPARE(Endpoints::sslConfiguration().caCertificates().size(), system.size());
        QVERIFY(log.contains("not trusted"));
    }

    void configTrust_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<unsigned>("mode");
        QTest::addColumn<QString>("reason"); // empty: trusted
        QTest::newRow("readable by all") << "file" << 0644u << "";
        QTest::newRow("group-writable") << "file" << 0664u << "writable by others";
        QTest::newRow("writable by all") << "file" << 0646u << "writable by others";
        QTest::newRow("symbolic link") << "link" << 0644u << "not a regular file";
        QTest::newRow("in a folder all may write") << "open" << 0644u << "its folder";
        QTest::newRow("missing") << "missing" << 0644u << "missing";
    }
    void configTrust()
    {
        QFETCH(QString, kind);
        QFETCH(unsigned, mode);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString file = dir.filePath("endpoints.json");
        writeFile(file, "{}", mode);
        if (kind == "link") {
            file = dir.filePath("other");
            QVERIFY(QFile::link(dir.filePath("endpoints.json"), file));
        } else if (kind == "open") {
            QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 01777), 0);
        } else if (kind == "missing") {
            file = dir.filePath("none");
        }
        QString why;
        QCOMPARE(FileSafety::isTrustedConfigFile(file, &why), reason.isEmpty());
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    void webAddresses()
    {
        QCOMPARE(ExternalUrl::webUrl(QStringLiteral("https://store.example/app")), QUrl("https://store.example/app"));
        QCOMPARE(ExternalUrl::webUrl(QStringLiteral(" HTTP://mirror.example/v/1.2.3/setup.exe ")).host(), QStringLiteral("mirror.example"));
        for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "data:text/html,x", "smb://host/share",
                                "/relative/path", "http://", "http:/no/host", "https:///x", ""})
            QVERIFY2(ExternalUrl::webUrl(QString::fromLatin1(bad)).isEmpty(), bad);
    }

    void crashDumps()
    {
        const QString dump = path("crash.dmp");
        writeFile(dump, "old readable dump", 0644);
        auto p = child({"--crash", "segv", dump});
        QCOMPARE(p->exitStatus(), QProcess::CrashExit);
        QByteArray data = readAll(dump);
        QVERIFY2(data.contains("signal: SIGSEGV (11)") && data.contains("thread: "), data.constData());
        QVERIFY(data.contains("address: " + p->readAllStandardOutput().trimmed() + "\n"));
        QVERIFY(data.mid(data.indexOf("backtrace:\n")).count('\n') > 3); // a few frames
        QCOMPARE(modeOf(dump), 0600u); // addresses and symbols of the process: its user only
        QCOMPARE(child({"--crash", "abort", dump})->exitStatus(), QProcess::CrashExit);
        QVERIFY(readAll(dump).contains("signal: SIGABRT (6)") && !readAll(dump).contains("SIGSEGV"));

        // A symbolic link in its place is not followed; without a dump the process still dies of its signal.
        QVERIFY(QFile::link(path("elsewhere"), path("link.dmp")));
        QCOMPARE(child({"--crash", "segv", path("link.dmp")})->exitStatus(), QProcess::CrashExit);
        QVERIFY(!QFile::exists(path("elsewhere")));
        QCOMPARE(child({"--crash", "fpe", path("no/such/crash.dmp")})->exitStatus(), QProcess::CrashExit);
    }

    // The program's last step: its code, its buffered output, and no static teardown (which here would abort and leave
    // a crash dump).
    void processEnd()
    {
        auto p = child({"--end", path("end.dmp")});
        QVERIFY(p->exitStatus() == QProcess::NormalExit && p->exitCode() == 7);
        QCOMPARE(p->readAllStandardOutput(), QByteArray("ended through ProcessEnd"));
        QVERIFY(!QFile::exists(path("end.dmp")));
    }

    // Threads that come and go share the allocator's one arena: eight at once
    // add none (each would get its own by default).
    void oneMemoryArena()
    {
        auto arenas = [] {
            char* text = nullptr;
            size_t size = 0;
            FILE* f = open_memstream(&text, &size);
            malloc_info(0, f);
            std::fclose(f);
            const int n = QByteArray(text, int(size)).count("<heap nr=");
            std::free(text);
            return n;
        };
        QVERIFY(MemoryPolicy::apply());
        const int before = arenas();
        std::atomic<int> started{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i)
            threads.emplace_back([&started] {
                std::unique_ptr<char[]> block(new char[4096]);
                ++started;
                while (started.load() < 8) // all alive at once
                    std::this_thread::yield();
            });
        for (auto& t : threads)
            t.join();
        QCOMPARE(arenas(), before);
    }

    // A quit (a quit signal at start-up) while a read waits for the store: the read fails, the quit reaches the main
    // loop, and the store's late answer finds no deleted job.
    void credentialStoreQuitDuringARead()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no D-Bus session: run through scripts/with-session.sh");
        auto quit = child({"--quit"});
        QVERIFY(quit->exitStatus() == QProcess::NormalExit && quit->exitCode() == 0);
        QCOMPARE(quit->readAllStandardOutput().trimmed(), QByteArray("empty"));
        QVERIFY(quit->readAllStandardError().contains("Restoring failed: interrupted before the store answered"));
    }

    // Without a Secret Service the account is not kept anywhere: no plain-text fallback file appears in the home
    // folder. A removal refused there is noted and done once the store answers again, unless the key was stored anew.
    void noSecretServiceMeansNoStore()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no D-Bus session: run through scripts/with-session.sh");
        const QString home = path("nobus-home");
        QVERIFY(QDir().mkpath(home));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + path("nobus"));
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            env.insert(var, home);
        AppInfo settings(path("nobus-home/app_info"), QString());
        for (const bool storedAnew : {false, true}) {
            QVERIFY(CredentialStore::writeBytes("vc-forget", "still-here"));
            QCOMPARE(child({"--no-bus", settings.filePath()}, env)->readAllStandardOutput().trimmed(), QByteArray("refused empty kept"));
            QVERIFY(settings.load());
            if (storedAnew)
                CredentialStore::keep("vc-forget", settings);
            CredentialStore::removePending(settings);
            QCOMPARE(CredentialStore::readBytes("vc-forget").isEmpty(), !storedAnew);
            QVERIFY(settings.getObject("credential_removals").isEmpty());
        }
        QVERIFY(CredentialStore::remove("vc-forget"));
        for (QDirIterator it(home, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            QVERIFY2(!readAll(it.next()).contains(kNoBusSecret), qPrintable(it.filePath()));
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && std::strncmp(argv[1], "--", 2) == 0)
        return childRole(argc, argv);
    QCoreApplication app(argc, argv);
    TestCore t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_core.moc"
