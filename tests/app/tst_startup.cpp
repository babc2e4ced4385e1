// Runs the vucamera executable as a child process with its own data root.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class TestStartup : public QObject
{
    Q_OBJECT

private:
    static QProcessEnvironment envFor(const QString& dataHome, bool withPlatform)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dataHome + QStringLiteral("/cfg"));
        if (withPlatform) {
            // Address-sanitizer runs keep OpenGL out of the process
            // (QT_XCB_GL_INTEGRATION=none); the browser runtime has no
            // software path on the offscreen platform, so the app then goes
            // on the X server that is there.
            const bool withoutGl = env.value(QStringLiteral("QT_XCB_GL_INTEGRATION")) == QLatin1String("none")
                && !env.value(QStringLiteral("DISPLAY")).isEmpty();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), withoutGl ? QStringLiteral("xcb") : QStringLiteral("offscreen"));
        } else {
            env.remove(QStringLiteral("QT_QPA_PLATFORM"));
            env.remove(QStringLiteral("DISPLAY"));
            env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        return env;
    }
    // Signals the app only while it runs: once it has ended, processId() is 0
    // and kill(0, ...) would signal the whole process group, test runner
    // included.
    static bool signalApp(const QProcess& p, int sig)
    {
        const pid_t pid = static_cast<pid_t>(p.processId());
        if (p.state() != QProcess::Running || pid <= 0)
            return false;
        return ::kill(pid, sig) == 0;
    }
    static QString dataRoot(const QString& dataHome) { return dataHome + QStringLiteral("/Velmor/VuCamera"); }

    static int bannerCount(const QString& logPath)
    {
        QFile f(logPath);
        return f.open(QIODevice::ReadOnly) ? f.readAll().count("\n>>>>>>>>>") : 0;
    }

    // Starts the app, waits until its log shows the banner, ends it with SIGTERM.
    static int runAndTerminate(const QString& dataHome, QByteArray* log)
    {
        QProcess p;
        p.setProcessEnvironment(envFor(dataHome, true));
        p.start(QStringLiteral(VUCAMERA_EXE), QStringList());
        if (!p.waitForStarted(10000))
            return -1;
        const QString logPath = dataRoot(dataHome) + QStringLiteral("/Log/VuCamera.log");
        const int bannersBefore = bannerCount(logPath);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000 && bannerCount(logPath) == bannersBefore)
            QTest::qWait(50);
        QTest::qWait(300);
        if (!signalApp(p, SIGTERM))
            return -4; // ended before it was asked to
        if (!p.waitForFinished(20000)) {
            p.kill();
            return -2;
        }
        QFile f(logPath);
        if (log && f.open(QIODevice::ReadOnly))
            *log = f.readAll();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -3;
    }

private slots:
    void typeArgumentNeverCreatesTheApplication_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("type=renderer") << QStringList{QStringLiteral("--type=renderer")};
        QTest::newRow("inside another argument") << QStringList{QStringLiteral("--lang=en"), QStringLiteral("x--typey")};
    }
    void typeArgumentNeverCreatesTheApplication()
    {
        QFETCH(QStringList, args);
        QTemporaryDir home;
        QProcess p;
        // No display and no platform: creating a QApplication would abort.
        p.setProcessEnvironment(envFor(home.path(), false));
        p.start(QStringLiteral(VUCAMERA_EXE), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QDir(dataRoot(home.path())).exists());
    }

    void startsWritesBannerAndShutsDownCleanly()
    {
        QTemporaryDir home;
        QByteArray log;
        QCOMPARE(runAndTerminate(home.path(), &log), 0);
        QVERIFY2(log.startsWith("\n>>>>>>>>>"), log.constData());
        QVERIFY(log.contains("quit requested by signal"));
        QVERIFY(QFile::exists(dataRoot(home.path()) + QStringLiteral("/Config")));
        QVERIFY(!QFile::exists(dataRoot(home.path()) + QStringLiteral("/Log/crash.dmp")));

        // A second run appends its own banner to the same file.
        QByteArray second;
        QCOMPARE(runAndTerminate(home.path(), &second), 0);
        QCOMPARE(second.count("\n>>>>>>>>>"), 2);
    }

    // The sign-in page starts the browser runtime, which puts every signal
    // disposition back to the default: a crash must still leave its dump.
    void crashAfterTheBrowserStartedLeavesADump()
    {
        QTemporaryDir home;
        QProcess p;
        p.setProcessEnvironment(envFor(home.path(), true));
        p.start(QStringLiteral(VUCAMERA_EXE), QStringList());
        QVERIFY(p.waitForStarted(10000));
        const QString logPath = dataRoot(home.path()) + QStringLiteral("/Log/VuCamera.log");
        QElapsedTimer t;
        t.start();
        // The web view is made when the sign-in page is entered.
        auto logHas = [&](const char* text) {
            QFile f(logPath);
            return f.open(QIODevice::ReadOnly) && f.readAll().contains(text);
        };
        while (t.elapsed() < 20000 && !logHas("to \"web login\""))
            QTest::qWait(50);
        QVERIFY(logHas("to \"web login\""));
        QTest::qWait(1000);
        QVERIFY2(signalApp(p, SIGSEGV), "the app ended before the crash signal");
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::CrashExit);
        QVERIFY(QFile::exists(dataRoot(home.path()) + QStringLiteral("/Log/crash.dmp")));
    }

    void runsWithoutALogWhenTheFolderCannotBeMade()
    {
        QTemporaryDir home;
        // The data root's parent is a file: no folder can be created below it.
        QFile blocker(home.filePath(QStringLiteral("Velmor")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QProcess p;
        p.setProcessEnvironment(envFor(home.path(), true));
        p.start(QStringLiteral(VUCAMERA_EXE), QStringList());
        QVERIFY(p.waitForStarted(10000));
        // Wait for the warning of step 8 (the quit signals are served by then).
        QByteArray err;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 20000 && !err.contains("fail to create log path") && p.state() == QProcess::Running) {
            p.waitForReadyRead(200);
            err += p.readAllStandardError();
        }
        QTest::qWait(300);
        QCOMPARE(p.state(), QProcess::Running);
        QVERIFY2(signalApp(p, SIGTERM), "the app ended before it was asked to");
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY2(err.contains("fail to create log path"), err.constData());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
