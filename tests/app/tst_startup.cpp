// Runs the vucamera executable as a child process with its own data root (in a folder named outside Latin-1), its
// services pointed at a loopback port where nothing listens, and the sign-in page always shown.
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home{QDir::tempPath() + QString::fromUtf8("/张三-XXXXXX")}; // a home named outside Latin-1
    QString dataRoot() const { return m_home.filePath("Velmor/VuCamera"); }
    QByteArray log() const
    {
        QFile f(dataRoot() + "/Log/VuCamera.log");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Run until the sign-in page has failed to load (the browser runtime has started, the event loop runs), then sig;
    // only while it runs: kill(0, ...) would signal the whole process group, test runner included.
    bool runAndSignal(QProcess& p, int sig)
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
        p.start(QStringLiteral(VUCAMERA_EXE), QStringList());
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
        QFile settings(dataRoot() + "/Config/app_info");
        QVERIFY(QDir().mkpath(dataRoot() + "/Config") && settings.open(QIODevice::WriteOnly));
        settings.write(R"({"settings": {"remember": false}})");
    }

    void startsAndShutsDownCleanly()
    {
        QProcess p;
        QVERIFY2(runAndSignal(p, SIGTERM), (log() + p.readAllStandardError()).constData());
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
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
