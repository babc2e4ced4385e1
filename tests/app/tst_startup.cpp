// Runs the vucamera executable as a child process with its own data root,
// its services pointed at a loopback port where nothing listens, and the
// sign-in page always shown.
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString dataRoot() const { return m_home.filePath("Velmor/VuCamera"); }
    QByteArray log() const
    {
        QFile f(dataRoot() + "/Log/VuCamera.log");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::unique_ptr<QProcess> start(const QStringList& args = {}, bool withDisplay = true)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.filePath("cfg"));
        env.insert("VUCAMERA_ENDPOINTS", m_home.filePath("endpoints.json"));
        // Address-sanitizer runs keep OpenGL out of the process
        // (QT_XCB_GL_INTEGRATION=none); the browser runtime has no software
        // path on the offscreen platform, so the app then goes on the X server.
        const bool withoutGl = env.value("QT_XCB_GL_INTEGRATION") == "none" && !env.value("DISPLAY").isEmpty();
        env.insert("QT_QPA_PLATFORM", withoutGl ? "xcb" : "offscreen");
        if (!withDisplay) { // creating a QApplication would abort
            for (const char* var : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(var);
        }
        QFile::remove(dataRoot() + "/Log/VuCamera.log"); // each run's log on its own
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(VUCAMERA_EXE), args);
        p->waitForStarted(30000);
        return p;
    }
    // The sign-in page has failed to load: the browser runtime has started
    // (and put the signal handlers back) and the event loop runs.
    bool waitForSignInPage(QProcess& p)
    {
        QElapsedTimer t;
        t.start();
        while (!log().contains("on_loadFinished fail:") && p.state() == QProcess::Running && t.elapsed() < 60000)
            QTest::qWait(50);
        return log().contains("on_loadFinished fail:");
    }
    // Only while it runs: once it has ended, processId() is 0 and kill(0, ...)
    // would signal the whole process group, test runner included.
    static bool signalApp(const QProcess& p, int sig)
    {
        const pid_t pid = static_cast<pid_t>(p.processId());
        return p.state() == QProcess::Running && pid > 0 && ::kill(pid, sig) == 0;
    }

private slots:
    void initTestCase()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const QString closed = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
        probe.close();
        QFile endpoints(m_home.filePath("endpoints.json"));
        QVERIFY(endpoints.open(QIODevice::WriteOnly));
        QJsonObject e{{"ca_cert", ""}, {"p2p_directory", closed}};
        for (const char* key : {"account", "home_api"})
            e.insert(key, "https://" + closed);
        for (const char* key : {"account_api", "update", "stats"})
            e.insert(key, "http://" + closed);
        endpoints.write(QJsonDocument(e).toJson());
        endpoints.close();
        QVERIFY(QDir().mkpath(dataRoot() + "/Config"));
        QFile settings(dataRoot() + "/Config/app_info");
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"settings": {"remember": false}})");
    }

    void typeArgumentNeverCreatesTheApplication_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("type=renderer") << QStringList{"--type=renderer"};
        QTest::newRow("inside another argument") << QStringList{"--lang=en", "x--typey"};
    }
    void typeArgumentNeverCreatesTheApplication()
    {
        QFETCH(QStringList, args);
        auto p = start(args, false);
        QVERIFY(p->waitForFinished(30000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY(!QFile::exists(dataRoot() + "/Log"));
    }

    void startsAndShutsDownCleanly()
    {
        auto p = start();
        QVERIFY2(waitForSignInPage(*p), (log() + p->readAllStandardError()).constData());
        QVERIFY(signalApp(*p, SIGTERM));
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::NormalExit);
        QCOMPARE(p->exitCode(), 0);
        QVERIFY2(log().startsWith("\n>>>>>>>>>"), log().constData());
        QVERIFY(log().contains("quit requested by signal"));
        QVERIFY(!QFile::exists(dataRoot() + "/Log/crash.dmp"));
    }

    // The browser runtime puts every signal disposition back to the default
    // when it starts: a crash must still leave its dump.
    void crashAfterTheBrowserStartedLeavesADump()
    {
        auto p = start();
        QVERIFY2(waitForSignInPage(*p), log().constData());
        QVERIFY(signalApp(*p, SIGSEGV));
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitStatus(), QProcess::CrashExit);
        QVERIFY(QFile::exists(dataRoot() + "/Log/crash.dmp"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
