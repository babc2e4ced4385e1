// Runs against the real Secret Service of the test session (scripts/with-session.sh
// starts gnome-keyring in a private D-Bus session).
#include "app/credentialstore.h"

#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <cstring>

namespace {
const char kNoBusSecret[] = "NoBus-account-record-7d1f";

// Child role: a store call with no Secret Service reachable.
int noBusChild()
{
    const bool ok = CredentialStore::writeBytes(QStringLiteral("account"), kNoBusSecret);
    const QByteArray back = CredentialStore::readBytes(QStringLiteral("account"));
    std::printf("%s %s\n", ok ? "stored" : "refused", back.isEmpty() ? "empty" : "read");
    return 0;
}
// Child role: the application is told to quit while a read waits for the
// store (as a quit signal at start-up does); the store's late answer must
// not land on a deleted job, and the quit must reach the main loop.
int quitChild()
{
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    const QByteArray value = CredentialStore::readBytes(QStringLiteral("account"));
    // The quit is passed on: the next loop ends at once (7: it was lost).
    QTimer::singleShot(5000, [] { QCoreApplication::exit(7); });
    const int rc = QCoreApplication::exec();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 1500) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    std::printf("%s\n", value.isEmpty() ? "empty" : "read");
    return rc;
}
} // namespace

class TestCredentialStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("no D-Bus session: run through scripts/with-session.sh");
        QStandardPaths::setTestModeEnabled(true);
    }

    void bytesRoundTripAndRemove()
    {
        const QByteArray secret("pass\0token\xff", 11);
        QVERIFY(CredentialStore::writeBytes("tst_bytes", secret));
        QCOMPARE(CredentialStore::readBytes("tst_bytes"), secret);
        QVERIFY(CredentialStore::writeBytes("tst_bytes", "second"));
        QCOMPARE(CredentialStore::readBytes("tst_bytes"), QByteArray("second"));
        QVERIFY(CredentialStore::remove("tst_bytes"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Restoring failed: "));
        QCOMPARE(CredentialStore::readBytes("tst_bytes"), QByteArray());
    }

    void missingKeyGivesDefaults()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Restoring failed: "));
        QCOMPARE(CredentialStore::readString("tst_missing", "dflt"), QStringLiteral("dflt"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Restoring failed: "));
        QCOMPARE(CredentialStore::readInt("tst_missing", 17), 17);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Restoring failed: "));
        QCOMPARE(CredentialStore::readBool("tst_missing", true), true);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Restoring failed: "));
        QVERIFY(CredentialStore::readJson("tst_missing").isEmpty());
    }

    void typedVariants()
    {
        QVERIFY(CredentialStore::writeString("tst_s", QStringLiteral("zh 中文")));
        QCOMPARE(CredentialStore::readString("tst_s", ""), QStringLiteral("zh 中文"));
        QVERIFY(CredentialStore::writeBool("tst_b", false));
        QCOMPARE(CredentialStore::readBool("tst_b", true), false);
        QCOMPARE(CredentialStore::readBytes("tst_b"), QByteArray("false"));
        QVERIFY(CredentialStore::writeInt("tst_i", -42));
        QCOMPARE(CredentialStore::readInt("tst_i", 0), -42);
        QVERIFY(CredentialStore::writeString("tst_i", "not a number"));
        QCOMPARE(CredentialStore::readInt("tst_i", 5), 0);
        const QJsonObject account{{"userId", "123"}, {"passToken", "tok"}};
        QVERIFY(CredentialStore::writeJson("tst_j", account));
        QCOMPARE(CredentialStore::readJson("tst_j"), account);
        QVERIFY(CredentialStore::writeString("tst_j", "[1]"));
        QVERIFY(CredentialStore::readJson("tst_j").isEmpty());
        for (const char* k : {"tst_s", "tst_b", "tst_i", "tst_j"})
            QVERIFY(CredentialStore::remove(k));
    }

    void secretNeverLandsInDataFiles()
    {
        const QByteArray secret = "S3cr3t-" + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
        QVERIFY(CredentialStore::writeBytes("account", secret));
        QCOMPARE(CredentialStore::readBytes("account"), secret);
        // The whole (private, per-session) home: the data root, the settings
        // folders and any plain-text fallback a keychain back end might use.
        QDirIterator it(QDir::homePath(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                QVERIFY2(!f.readAll().contains(secret), qPrintable(f.fileName()));
        }
        QVERIFY(CredentialStore::remove("account"));
    }

    void quitDuringAReadIsSafe()
    {
        QProcess p;
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--quit-child")});
        QVERIFY(p.waitForFinished(30000));
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput().trimmed(), QByteArray("empty"));
        QVERIFY2(err.contains("Restoring failed: "), err.constData());
    }

    void noSecretServiceMeansNoStore()
    {
        // Without a Secret Service the account is not kept anywhere: no
        // plain-text fallback file appears in the home folder.
        QTemporaryDir dir;
        const QString home = dir.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=") + dir.filePath("nobus"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--no-bus-child")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.readAllStandardOutput().trimmed(), QByteArray("refused empty"));
        QDirIterator it(home, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile f(it.next());
            if (f.open(QIODevice::ReadOnly))
                QVERIFY2(!f.readAll().contains(kNoBusSecret), qPrintable(f.fileName()));
        }
    }
};

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--quit-child") == 0) {
        QCoreApplication app(argc, argv);
        return quitChild();
    }
    if (argc == 2 && std::strcmp(argv[1], "--no-bus-child") == 0) {
        QCoreApplication app(argc, argv);
        return noBusChild();
    }
    QCoreApplication app(argc, argv);
    TestCredentialStore t;
    return QTest::qExec(&t, argc, argv);
}
#include "tst_credentialstore.moc"
