#include "app/appinfo.h"

#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

class TestAppInfo : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    static void write(const QString& p, const QByteArray& data)
    {
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(data);
    }
    static QJsonObject readObject(const QString& p)
    {
        QFile f(p);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }

private slots:
    void missingFileGivesDefaultsAndCreatesFolder()
    {
        const QString file = path(QStringLiteral("a/Config/app_info"));
        AppInfo info(file, QString());
        QVERIFY(!info.load());
        QVERIFY(QDir(path(QStringLiteral("a/Config"))).exists());
        QCOMPARE(info.getBool("settings", "remember", true), true);
        QCOMPARE(info.getInt("settings", "page_mode", 0), 0);
        QCOMPARE(info.getString("settings", "store_url", "x"), QStringLiteral("x"));
        QVERIFY(info.getObject("updater").isEmpty());
        info.setInt("settings", "page_mode", 2);
        // The first setter writes a fresh file holding only what was set.
        QCOMPARE(readObject(file), QJsonObject({{"settings", QJsonObject({{"page_mode", 2}})}}));
    }

    void nonObjectGroupAndWrongTypes()
    {
        const QString file = path(QStringLiteral("b/app_info"));
        write(file, R"({"settings":"oops","cam1":{"quality":"3","flag":1},"top":5})");
        AppInfo info(file, QString());
        QVERIFY(info.load());
        QCOMPARE(info.getBool("settings", "remember", true), true);
        QCOMPARE(info.getBool("settings", "remember", false), false);
        QCOMPARE(info.getInt("cam1", "quality", 2), 2);          // a string is not an int
        QCOMPARE(info.getString("cam1", "flag", "d"), QStringLiteral("d"));
        QCOMPARE(info.getInt("", "top", 0), 5);                  // empty group: root lookup
        info.setBool("settings", "remember", false);
        QCOMPARE(readObject(file).value("settings").toObject().value("remember").toBool(true), false);
        QCOMPARE(readObject(file).value("cam1").toObject().value("quality").toString(), QStringLiteral("3"));
    }

    void notJsonReadsAsEmpty()
    {
        const QString file = path(QStringLiteral("c/app_info"));
        write(file, "not json {");
        AppInfo info(file, QString());
        QVERIFY(!info.load());
        QCOMPARE(info.getInt("settings", "page_mode", 7), 7);
        write(file, "[1,2]");
        QVERIFY(!info.load());
    }

    void unwritableFileKeepsValuesInMemory()
    {
        // The parent "folder" is a plain file, so the settings file can never be opened.
        const QString blocker = path(QStringLiteral("blocker"));
        write(blocker, "x");
        AppInfo info(blocker + QStringLiteral("/app_info"), QString());
        info.load();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^cannot open appinfo:")));
        info.setString("settings", "store_url", "https://store.example/");
        QCOMPARE(info.getString("settings", "store_url", ""), QStringLiteral("https://store.example/"));
    }

    void legacyFileIsCarriedOver()
    {
        const QString legacy = path(QStringLiteral("exe/VuCamera.config/app_info"));
        write(legacy, R"({"settings":{"page_mode":1}})");
        const QString file = path(QStringLiteral("d/Config/app_info"));
        AppInfo info(file, legacy);
        QVERIFY(info.load());
        QCOMPARE(info.getInt("settings", "page_mode", 0), 1);
        QVERIFY(QFile::exists(file));
        QVERIFY(QFile::exists(legacy));

        // An existing settings file wins over the legacy one.
        write(legacy, R"({"settings":{"page_mode":2}})");
        AppInfo again(file, legacy);
        QVERIFY(again.load());
        QCOMPARE(again.getInt("settings", "page_mode", 0), 1);
    }

    void objectsRoundTrip()
    {
        const QString file = path(QStringLiteral("e/app_info"));
        AppInfo info(file, QString());
        info.load();
        const QJsonObject updater{{"update_policy", 1}, {"version", "3.1.0"}};
        info.setObject("updater", updater);
        AppInfo reread(file, QString());
        QVERIFY(reread.load());
        QCOMPARE(reread.getObject("updater"), updater);
        QCOMPARE(reread.getString("updater", "version", ""), QStringLiteral("3.1.0"));
    }
};

QTEST_GUILESS_MAIN(TestAppInfo)
#include "tst_appinfo.moc"
