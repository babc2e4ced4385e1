// Runs the vucamera executable as a child process with its own data root (in a folder named outside Latin-1), its
// services pointed at a loopback port where nothing listens, and the sign-in page always shown.
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>
#include <vcversion.h>

#include <csignal>

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home{QDir::tempPath() + QString::fromUtf8("/张三-XXXXXX")}; // a home named outside Latin-1
    QTcpServer m_account; // the account service named by --endpoints: hangs up at once, as a closed port would
    int m_accountAsked = 0;
    QString dataRoot() const { return m_home.filePath("Velmor/VuCamera"); }
    QByteArray log() const
    {
        QFile f(dataRoot() + "/Log/VuCamera.log");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Run until the sign-in page has failed to load (the browser runtime has started, the event loop runs), then sig;
    // only while it runs: kill(0, ...) would signal the whole process group, test runner included.
    bool runAndSignal(QProcess& p, int sig, const QStringList& args = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.filePath("cfg"));
        env.insert("VUCAMERA_ENDPOINTS", m_home.filePath("endpoints.json"));
        // Address-sanitizer runs keep OpenGL out (QT_XCB_GL_INTEGRATION=none); the browser runtime has no software path
        // offscreen, so the app then goes on the X server.
        const bool withoutGl = env.value("QT_XCB_GL_INTEGRATION") == "none" && !env.value("DISPLAY").isEmpty();
        env.insert("QT_QPA_PLATFORM", withoutGl ? "xcb" : "offscreen");
        QFile::remove(dataRoot() + "/Log/VuCamera.log"); // each run's log on its own
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VUCAMERA_EXE), args);
        const bool up = p.waitForStarted(30000)
            && QTest::qWaitFor([&] { return log().contains("on_loadFinished fail:") || p.state() != QProcess::Running; }, 60000);
        const pid_t pid = static_cast<pid_t>(p.processId());
        return up && p.state() == QProcess::Running && pid > 0 && ::kill(pid, sig) == 0 && p.waitForFinished(60000);
    }

private slots:
    void initTestCase()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString closed = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        QJsonObject e{{"ca_cert", ""}, {"p2p_directory", closed}, {"account", "https://" + closed},
                      {"home_api", "https://" + closed}, {"account_api", "http://" + closed}, {"update", "http://" + closed},
                      {"stats", "http://" + closed}};
        QFile endpoints(m_home.filePath("endpoints.json"));
        QVERIFY(endpoints.open(QIODevice::WriteOnly) && endpoints.write(QJsonDocument(e).toJson()) > 0);
        QVERIFY(m_account.listen(QHostAddress::LocalHost, 0));
        connect(&m_account, &QTcpServer::newConnection, [this] { ++m_accountAsked, m_account.nextPendingConnection()->abort(); });
        e["account"] = QStringLiteral("https://127.0.0.1:%1").arg(m_account.serverPort());
        QFile cli(m_home.filePath("cli.json"));
        QVERIFY(cli.open(QIODevice::WriteOnly) && cli.write(QJsonDocument(e).toJson()) > 0);
        QFile settings(dataRoot() + "/Config/app_info");
        QVERIFY(QDir().mkpath(dataRoot() + "/Config") && settings.open(QIODevice::WriteOnly));
        settings.write(R"({"settings": {"remember": false}})");
    }

    // --endpoints wins over VUCAMERA_ENDPOINTS: the sign-in page is asked of the account service its file names.
    void startsAndShutsDownCleanly()
    {
        QProcess p;
        QVERIFY2(runAndSignal(p, SIGTERM, {"--endpoints", m_home.filePath("cli.json")}), (log() + p.readAllStandardError()).constData());
        QVERIFY(m_accountAsked > 0);
        QVERIFY(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0);
        QVERIFY2(log().startsWith("\n>>>>>>>>>") && log().contains("quit requested by signal"), log().constData());
        QVERIFY(!QFile::exists(dataRoot() + "/Log/crash.dmp"));
    }

    // The browser runtime puts every signal disposition back to the default when it starts: a crash must still leave
    // its dump.
    void crashAfterTheBrowserStartedLeavesADump()
    {
        QProcess p;
        QVERIFY2(runAndSignal(p, SIGSEGV), (log() + p.readAllStandardError()).constData());
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFile::exists(dataRoot() + "/Log/crash.dmp"));
    }

    // --help and --version answer without a display (xcb without one aborts); a bad command line ends with 1 before
    // anything starts, once Qt has taken its own options (-platform) out.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("version") << QStringList{"--version"} << 0 << "vucamera " VC_VERSION_STRING "\n";
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--endpoints <file>";
        QTest::newRow("unknown option") << QStringList{"--endpoint=x"} << 1 << "Unknown option 'endpoint'";
        QTest::newRow("no endpoints file") << QStringList{"-platform", "offscreen", "--endpoints", "/nonexistent"} << 1
                                           << "file /nonexistent\n";
    }
    void commandLine()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.path());
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", exitCode == 0 ? "xcb" : "offscreen");
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(VUCAMERA_EXE), args);
        QVERIFY(p.waitForFinished(60000));
        const QString out = p.readAllStandardOutput() + p.readAllStandardError();
        QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == exitCode && out.contains(output), qPrintable(out));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
