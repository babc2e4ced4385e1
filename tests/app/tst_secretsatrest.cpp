// The files the program leaves on disk: who may read them, and which
// configuration files it is willing to trust.
#include "app/appinfo.h"
#include "app/endpoints.h"
#include "app/externalurl.h"
#include "app/filesafety.h"
#include "app/logfile.h"
#include "tests/support/logcapture.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

unsigned modeOf(const QString& path)
{
    struct stat st{};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 07777;
    return st.st_mode & 0777;
}

void writeFile(const QString& path, const QByteArray& data, unsigned mode)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
    f.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}


} // namespace

class TestSecretsAtRest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { ::umask(022); } // the usual umask: new files would be world-readable

    void logFileIsOwnerOnly()
    {
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.log"));
        {
            LogFile log(fresh);
            QVERIFY(log.isOpen());
            qInfo("a line");
        }
        QCOMPARE(modeOf(fresh), 0600u);

        // A log left readable by an older version is tightened and kept.
        const QString old = dir.filePath(QStringLiteral("old.log"));
        writeFile(old, "earlier line\n", 0644);
        {
            LogFile log(old);
            QVERIFY(log.isOpen());
            qInfo("second run");
        }
        QCOMPARE(modeOf(old), 0600u);
        QFile f(old);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray text = f.readAll();
        QVERIFY(text.startsWith("earlier line\n"));
        QVERIFY(text.contains("second run"));

        // A symbolic link in the log's place is not written through.
        const QString target = dir.filePath(QStringLiteral("target"));
        const QString link = dir.filePath(QStringLiteral("link.log"));
        QVERIFY(QFile::link(target, link));
        LogFile linked(link);
        QVERIFY(!linked.isOpen());
        QVERIFY(!QFile::exists(target));
    }

    void settingsFileAndFolderAreOwnerOnly()
    {
        QTemporaryDir dir;
        const QString config = dir.filePath(QStringLiteral("data/Config"));
        const QString file = config + QStringLiteral("/app_info");
        AppInfo info(file, QString());
        info.load();
        QCOMPARE(modeOf(config), 0700u);
        info.setBool(QStringLiteral("settings"), QStringLiteral("remember"), true);
        QCOMPARE(modeOf(file), 0600u);

        // An existing readable file and a carried-over legacy file end up
        // owner-only too.
        writeFile(file, R"({"settings":{"page_mode":1}})", 0644);
        AppInfo again(file, QString());
        QVERIFY(again.load());
        QCOMPARE(modeOf(file), 0600u);
        QCOMPARE(again.getInt(QStringLiteral("settings"), QStringLiteral("page_mode"), 0), 1);

        const QString legacy = dir.filePath(QStringLiteral("legacy_app_info"));
        writeFile(legacy, R"({"settings":{"page_mode":2}})", 0644);
        const QString carried = dir.filePath(QStringLiteral("other/Config/app_info"));
        AppInfo fromLegacy(carried, legacy);
        QVERIFY(fromLegacy.load());
        QCOMPARE(modeOf(carried), 0600u);
        QCOMPARE(modeOf(legacy), 0644u); // the old file is not ours to change
    }

    void privateFolderHelper()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("root/Log"));
        QVERIFY(FileSafety::makePrivateDir(log));
        QCOMPARE(modeOf(log), 0700u);
        QCOMPARE(::chmod(QFile::encodeName(log).constData(), 0755), 0);
        QVERIFY(FileSafety::makePrivateDir(log));
        QCOMPARE(modeOf(log), 0700u);
        // A shared sticky folder (like /tmp) is never narrowed.
        const QString shared = dir.filePath(QStringLiteral("shared"));
        QVERIFY(QDir().mkpath(shared));
        QCOMPARE(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
        QVERIFY(!FileSafety::makePrivateDir(shared));
        QCOMPARE(modeOf(shared), 0777u);
    }

    void configFileTrust()
    {
        QTemporaryDir dir;
        const QString good = dir.filePath(QStringLiteral("endpoints.json"));
        writeFile(good, "{}", 0644);
        QString why;
        QVERIFY(FileSafety::isTrustedConfigFile(good, &why));

        const QString writable = dir.filePath(QStringLiteral("writable.json"));
        writeFile(writable, "{}", 0666);
        QVERIFY(!FileSafety::isTrustedConfigFile(writable, &why));
        QVERIFY(why.contains(QStringLiteral("writable by others")));

        const QString link = dir.filePath(QStringLiteral("link.json"));
        QVERIFY(QFile::link(good, link));
        QVERIFY(!FileSafety::isTrustedConfigFile(link, &why));
        QVERIFY(why.contains(QStringLiteral("not a regular file")));

        // A file in a folder everybody can write to (someone else could
        // swap it) is not trusted either.
        const QString open = dir.filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkpath(open));
        QCOMPARE(::chmod(QFile::encodeName(open).constData(), 01777), 0);
        const QString inOpen = open + QStringLiteral("/endpoints.json");
        writeFile(inOpen, "{}", 0644);
        QVERIFY(!FileSafety::isTrustedConfigFile(inOpen, &why));
        QVERIFY(why.contains(QStringLiteral("folder")));
        QVERIFY(!FileSafety::isTrustedConfigFile(dir.filePath(QStringLiteral("missing")), &why));
    }

    void untrustedEndpointsFileGivesTheDefaults()
    {
        QTemporaryDir dir;
        const QByteArray json = R"({"account": "https://elsewhere.example:9443", "ca_cert": ""})";
        const QString path = dir.filePath(QStringLiteral("endpoints.json"));
        writeFile(path, json, 0644);
        bool ok = false;
        QCOMPARE(Endpoints::load(path, &ok).account, QStringLiteral("https://elsewhere.example:9443"));
        QVERIFY(ok);

        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0666), 0);
        LogCapture w;
        const Endpoints e = Endpoints::load(path, &ok);
        QVERIFY(!ok);
        QCOMPARE(e.account, Endpoints().account);
        QVERIFY(w.contains(QStringLiteral("not trusted")));
    }

    void untrustedCaIsNotAdded()
    {
        QTemporaryDir dir;
        // Any certificate will do: the point is whether it is added.
        const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        if (system.isEmpty())
            QSKIP("no system CA certificate to copy");
        const QString ca = dir.filePath(QStringLiteral("ca.pem"));
        writeFile(ca, system.first().toPem(), 0644);
        Endpoints e;
        e.caCertFile = ca;
        Endpoints::setCurrent(e);
        QCOMPARE(Endpoints::sslConfiguration().caCertificates().size(), system.size() + 1);

        // Only the configured services' hosts get the extra CA.
        QCOMPARE(Endpoints::sslConfigurationFor(QUrl(e.homeApi + "/app/x")).caCertificates().size(),
                 system.size() + 1);
        QCOMPARE(Endpoints::sslConfigurationFor(QUrl("https://avatars.example/a.png")).caCertificates().size(),
                 system.size());

        QCOMPARE(::chmod(QFile::encodeName(ca).constData(), 0666), 0);
        // A new modification time makes the cached configuration stale.
        QFile touch(ca);
        QVERIFY(touch.open(QIODevice::Append));
        touch.write("\n");
        touch.flush();
        QVERIFY(touch.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        touch.close();
        LogCapture w;
        QCOMPARE(Endpoints::sslConfiguration().caCertificates().size(), system.size());
        QVERIFY(w.contains(QStringLiteral("not trusted")));
    }

    void onlyWebAddressesLeaveTheProgram()
    {
        QCOMPARE(ExternalUrl::webUrl(QStringLiteral("https://store.example/app")),
                 QUrl(QStringLiteral("https://store.example/app")));
        QCOMPARE(ExternalUrl::webUrl(QStringLiteral(" HTTP://mirror.example/v/1.2.3/setup.exe ")).host(),
                 QStringLiteral("mirror.example"));
        for (const char* bad : {"file:///etc/passwd", "javascript:alert(1)", "data:text/html,x",
                                "smb://host/share", "vucamera://x", "/relative/path", "http://", ""})
            QVERIFY2(ExternalUrl::webUrl(QString::fromLatin1(bad)).isEmpty(), bad);
    }
};

QTEST_GUILESS_MAIN(TestSecretsAtRest)
#include "tst_secretsatrest.moc"
