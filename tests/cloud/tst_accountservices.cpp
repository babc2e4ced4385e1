#include "cloudtestfixture.h"

#include "app/appinfo.h"
#include "cloud/usercard.h"
#include "cloud/versionupdater.h"
#include "cloud/vustat.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <openssl/evp.h>
#include <vcversion.h>

using namespace cloudtest;

namespace {

static QByteArray aesDecrypt(const QByteArray& cipher, const QByteArray& key)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    QByteArray out(cipher.size() + 16, '\0');
    int len = 0, tail = 0;
    EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, reinterpret_cast<const unsigned char*>(key.constData()), nullptr);
    EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                      reinterpret_cast<const unsigned char*>(cipher.constData()), cipher.size());
    const bool ok = EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    return ok ? out.left(len + tail) : QByteArray();
}

// A settings file of its own for each updater case.
struct Settings
{
    QTemporaryDir dir;
    std::unique_ptr<AppInfo> info;
    Settings()
    {
        info.reset(new AppInfo(dir.path() + "/settings.json", QString()));
        info->load();
    }
};

} // namespace

// User card, usage statistics and version check against the emulated
// account API, statistics and update services.
class TestAccountServices : public QObject
{
    Q_OBJECT

    CloudFixture m_fx;
    QNetworkAccessManager m_nam;

    bool runCheck(VersionUpdater& u, bool expectQuery)
    {
        QSignalSpy got(&u, &VersionUpdater::onNetVersionGot);
        const int before = m_fx.cloud->state()->requests().size();
        u.check();
        QTest::qWait(expectQuery ? 0 : 300);
        if (expectQuery) {
            QElapsedTimer t;
            t.start();
            while (m_fx.cloud->state()->requests().size() == before && t.elapsed() < 3000)
                QTest::qWait(20);
            QTest::qWait(300);
        }
        return m_fx.cloud->state()->requests().size() > before;
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QVersionNumber>();
        QVERIFY(m_fx.start());
    }
    void init() { m_fx.setFaults("{}"); }
    void cleanupTestCase() { m_fx.stop(); }

    // --- user card ---

    void userCardWithAvatar()
    {
        UserCard card;
        QSignalSpy got(&card, &UserCard::onUserCardGot);
        QSignalSpy fail(&card, &UserCard::onUserCardGotFail);
        card.get(kUserId);
        QVERIFY(got.wait(5000));
        QCOMPARE(fail.size(), 0);
        QCOMPARE(card.nick, QString("Alex"));
        QCOMPARE(card.icon, SimAccountApi::avatarPng());
        QVERIFY(card.iconUrl.toString().endsWith("/avatar/1234567890.png"));
    }

    void userCardWithoutAvatarKeepsEarlierAddress()
    {
        UserCard card;
        QSignalSpy got(&card, &UserCard::onUserCardGot);
        card.get(kUserId);
        QVERIFY(got.wait(5000));
        card.icon.clear();
        // A card of no usable shape leaves the fields: the earlier avatar
        // address is fetched again.
        m_fx.setFaults(R"({"malformed": {"/pass/usersCard": "x"}})");
        LogCapture log;
        card.get(kUserId);
        QVERIFY(got.wait(5000));
        QCOMPARE(card.nick, QString("Alex"));
        QCOMPARE(card.icon, SimAccountApi::avatarPng());
        QVERIFY(!log.contains("user icon is empty"));
        // A card whose avatar is an empty text has none.
        m_fx.setFaults("{}");
        card.get("2222222222");
        QVERIFY(got.wait(5000));
        QCOMPARE(card.nick, QString("Sam"));
        QVERIFY(log.contains("user icon is empty"));
    }

    void userCardEmptyAfterClear()
    {
        UserCard card;
        card.nick = "old";
        card.clear();
        QVERIFY(card.nick.isEmpty());
        QSignalSpy got(&card, &UserCard::onUserCardGot);
        LogCapture log;
        card.get("999"); // unknown: empty list
        QVERIFY(got.wait(5000));
        QVERIFY(log.contains("user icon is empty"));
        QVERIFY(card.nick.isEmpty());
        QVERIFY(card.icon.isEmpty());
    }

    void userCardFailures()
    {
        m_fx.setFaults(R"({"http_status": {"/pass/usersCard": 500}})");
        LogCapture log;
        UserCard card;
        QSignalSpy fail(&card, &UserCard::onUserCardGotFail);
        card.get(kUserId);
        QVERIFY(fail.wait(5000));
        QVERIFY(log.contains("handleUserCardReply: reply error"));

        m_fx.setFaults(R"({"http_status": {"/avatar/1234567890.png": 404}})");
        UserCard card2;
        QSignalSpy fail2(&card2, &UserCard::onUserCardGotFail);
        card2.get(kUserId);
        QVERIFY(fail2.wait(5000));
        QCOMPARE(card2.nick, QString("Alex"));
        QVERIFY(log.contains("handleUserIconReply: reply error"));

        m_fx.setFaults(R"({"malformed": {"/pass/usersCard": "x"}})");
        UserCard card3;
        QSignalSpy got3(&card3, &UserCard::onUserCardGot);
        card3.get(kUserId);
        QVERIFY(got3.wait(5000));
        QVERIFY(card3.nick.isEmpty());
    }

    // --- statistics ---

    void clientIdAndKey()
    {
        const QString id = VuStat::clientId();
        QVERIFY(!id.isEmpty());
        if (id != "mac_not_found") {
            const QByteArray text = QByteArray::fromHex(id.toLatin1());
            QCOMPARE(text.size(), 17); // six colon-separated pairs
            QCOMPARE(id.size(), 34);
        }
        const QByteArray expected = QCryptographicHash::hash(
            QStringLiteral("seed:%1-%2-%3").arg(VuStat::kAppId, VuStat::kAppKey, id).toLatin1(),
            QCryptographicHash::Md5).toHex().left(16).toUpper();
        QCOMPARE(VuStat::reportKey(), expected);
    }

    void encryptionPadding()
    {
        const QByteArray key = "0123456789ABCDEF";
        QCOMPARE(VuStat::encrypt(QByteArray(32, 'a'), key).size(), 48);
        QCOMPARE(VuStat::encrypt(QByteArray(31, 'a'), key).size(), 32);
        QCOMPARE(VuStat::encrypt(QByteArray(), key).size(), 16);
        QCOMPARE(aesDecrypt(VuStat::encrypt("hello report", key), key), QByteArray("hello report"));
    }

    void signatureRule()
    {
        QMap<QString, QString> items{{"b", "2"}, {"a", "1"}, {"c", "3"}};
        const QString expected = QString::fromLatin1(
            QCryptographicHash::hash(QByteArray("a1b2c3") + VuStat::kSalt, QCryptographicHash::Md5).toHex());
        QCOMPARE(VuStat::sign(items), expected);
        VuStat::setVersion("3.0.0");
        const QString before = VuStat::uploadItems("00").value("sign");
        VuStat::setVersion("3.0.1");
        QVERIFY(VuStat::uploadItems("00").value("sign") != before);
    }

    void reportsShape()
    {
        const QJsonArray a = VuStat::actionReport("click_quit_btn", 1000).array();
        const QJsonObject r = a.at(0).toObject();
        QCOMPARE(r.value("endTS").toDouble(), 1000.0);
        QCOMPARE(r.value("startTS").toDouble(), 999.0);
        const QJsonObject cat = r.value("content").toArray().at(0).toObject();
        QCOMPARE(cat.value("category").toString(), QString("default_category"));
        const QJsonObject v = cat.value("values").toArray().at(0).toObject();
        QCOMPARE(v.value("key").toString(), QString("click_quit_btn"));
        QCOMPARE(v.value("type").toString(), QString("event"));
        QCOMPARE(v.value("value").toInt(), 1);

        const QJsonObject e = VuStat::errorReport("play_error", -13, 5).array().at(0).toObject()
                                  .value("content").toArray().at(0).toObject().value("values").toArray().at(0).toObject();
        QCOMPARE(e.value("key").toString(), QString("play_error_error"));
        QCOMPARE(e.value("type").toString(), QString("property"));
        QCOMPARE(e.value("value").toInt(), -13);

        const QJsonObject alive = VuStat::aliveReport(5).array().at(0).toObject().value("content").toArray().at(0).toObject();
        QCOMPARE(alive.value("category").toString(), QString("vustat_basic"));
        const QJsonArray vals = alive.value("values").toArray();
        QCOMPARE(vals.size(), 5);
        QCOMPARE(vals.at(0).toObject().value("key").toString(), QString("device_id"));
        QCOMPARE(vals.at(4).toObject().value("key").toString(), QString("vustat_dau"));
    }

    void uploadReachesTheService()
    {
        m_fx.cloud->clearStatReports();
        VuStat::setVersion("3.0.0");
        reportAction("accept_updates");
        reportError("load_camera_list", 2);
        QElapsedTimer t;
        t.start();
        while (m_fx.cloud->statReports().size() < 2 && t.elapsed() < 5000)
            QTest::qWait(20);
        const QList<SimStatReport> reports = m_fx.cloud->statReports();
        QCOMPARE(reports.size(), 2);
        QStringList keys;
        for (const SimStatReport& r : reports) {
            QCOMPARE(r.items.value("version"), QString("3.0.0"));
            QCOMPARE(r.items.value("channel"), QString("default_channel"));
            keys << r.report.array().at(0).toObject().value("content").toArray().at(0).toObject()
                        .value("values").toArray().at(0).toObject().value("key").toString();
        }
        keys.sort();
        QCOMPARE(keys, (QStringList{"accept_updates", "load_camera_list_error"}));
    }

    void uploadFailureLogsTwice()
    {
        m_fx.setFaults(R"({"http_status": {"/vustats/v2": 500}})");
        LogCapture log;
        reportAction("retry_login");
        QElapsedTimer t;
        t.start();
        while (log.lines().filter("vustat err:").size() < 2 && t.elapsed() < 5000)
            QTest::qWait(20);
        QCOMPARE(log.lines().filter("vustat err:").size(), 2);
    }

    // --- version check ---

    void ownVersionFromBuild()
    {
        QCOMPARE(VersionUpdater::ownVersion().toString(), QString(VC_VERSION_STRING));
    }

    void firstCheckStoresPublishedVersion_data()
    {
        QTest::addColumn<QString>("published");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("policy");
        QTest::newRow("four parts") << "2.1.7.2" << "2.1.7" << 2;
        QTest::newRow("two parts") << "2.1" << "2.1.0" << 1;
        QTest::newRow("three parts") << "9.0.1" << "9.0.1" << 1;
    }
    void firstCheckStoresPublishedVersion()
    {
        QFETCH(QString, published);
        QFETCH(QString, stored);
        QFETCH(int, policy);
        m_fx.setFaults(QStringLiteral(R"({"latest_version": "%1"})").arg(published).toUtf8());
        Settings s;
        VersionUpdater u(nullptr, s.info.get(), &m_nam);
        QSignalSpy got(&u, &VersionUpdater::onNetVersionGot);
        LogCapture log;
        u.check();
        QVERIFY(got.wait(5000));
        QVERIFY(log.contains("first time to check version."));
        QCOMPARE(s.info->getString("updater", "version", ""), stored);
        QCOMPARE(s.info->getInt("updater", "update_policy", -1), policy);
        QCOMPARE(u.netVersion().toString(), stored);
        QCOMPARE(u.url(), Endpoints::current().update + "/downloads/" + published + "/VuCamera-setup.exe");
        QVERIFY(QDateTime::fromString(s.info->getString("updater", "check_time", ""), Qt::ISODate).isValid());
        QCOMPARE(u.safeDownloadUrl().toString(), u.url());
    }

    void queryPolicy()
    {
        Settings s;
        auto store = [&](const QDateTime& t, const QString& version, const QString& url, int days) {
            s.info->setString("updater", "check_time", t.toString(Qt::ISODate));
            s.info->setString("updater", "version", version);
            s.info->setString("updater", "url", url);
            s.info->setInt("settings", "update_days", days);
        };
        const QDateTime now = QDateTime::currentDateTime();
        const QString url = "http://127.0.0.1/x";
        {
            store(now, "3.0.1", url, 1);
            VersionUpdater u(nullptr, s.info.get(), &m_nam);
            QVERIFY(!runCheck(u, false)); // checked today
        }
        {
            store(now.addDays(-2), "3.0.1", url, 1);
            LogCapture log;
            VersionUpdater u(nullptr, s.info.get(), &m_nam);
            QVERIFY(runCheck(u, true));
            QVERIFY(log.contains("2 days passed, and check version."));
        }
        {
            store(now, "3.0.1", url, 0); // every start
            VersionUpdater u(nullptr, s.info.get(), &m_nam);
            QVERIFY(runCheck(u, true));
        }
        {
            store(now.addDays(3), "3.0.1", url, 1); // in the future: negative
            VersionUpdater u(nullptr, s.info.get(), &m_nam);
            QVERIFY(!runCheck(u, false));
        }
        {
            store(now.addDays(3), "", url, 1);
            LogCapture log;
            VersionUpdater u(nullptr, s.info.get(), &m_nam);
            QVERIFY(runCheck(u, true));
            QVERIFY(log.contains(" version still not got, and check again."));
        }
        {
            store(now, "3.0.1", "", 1);
            LogCapture log;
            VersionUpdater u(nullptr, s.info.get(), &m_nam);
            QVERIFY(runCheck(u, true));
            QVERIFY(log.contains("version url is empty, and check again."));
        }
    }

    void outOfRangePolicyBecomesOne()
    {
        Settings s;
        s.info->setString("updater", "check_time", QDateTime::currentDateTime().toString(Qt::ISODate));
        s.info->setString("updater", "version", "3.0.1");
        s.info->setString("updater", "url", "http://127.0.0.1/x");
        s.info->setInt("updater", "update_policy", 5);
        LogCapture log;
        VersionUpdater u(nullptr, s.info.get(), &m_nam);
        u.check();
        QCOMPARE(u.policy(), 1);
        QVERIFY(log.contains("invalid update_policy value:5"));
    }

    void unusableAnswersMoveCheckTimeOnly_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::newRow("not json") << "\"not json\"";
        QTest::newRow("empty") << R"({})";
        QTest::newRow("no mirrors") << R"({"LatestVersion": {"version": "4.0.0", "md5": "", "filesize": "1", "filename": "f"}, "MirrorList": []})";
        QTest::newRow("md5 missing") << R"({"LatestVersion": {"version": "4.0.0", "filesize": "1", "filename": "f"}, "MirrorList": ["http://m"]})";
        QTest::newRow("size not text") << R"({"LatestVersion": {"version": "4.0.0", "md5": "", "filesize": 1, "filename": "f"}, "MirrorList": ["http://m"]})";
    }
    void unusableAnswersMoveCheckTimeOnly()
    {
        QFETCH(QString, reply);
        m_fx.setFaults(QStringLiteral(R"({"update_reply": %1})").arg(reply).toUtf8());
        Settings s;
        VersionUpdater u(nullptr, s.info.get(), &m_nam);
        QSignalSpy got(&u, &VersionUpdater::onNetVersionGot);
        QVERIFY(runCheck(u, true));
        QCOMPARE(got.size(), 0);
        QVERIFY(!s.info->getString("updater", "check_time", "").isEmpty());
        QVERIFY(s.info->getString("updater", "version", "").isEmpty());
    }

    void failedQueryStoresNothing()
    {
        m_fx.setFaults(R"({"http_status": {"/updates/vu-updateV6.php": 500}})");
        Settings s;
        LogCapture log;
        VersionUpdater u(nullptr, s.info.get(), &m_nam);
        QVERIFY(runCheck(u, true));
        QVERIFY(log.contains("onCheckVersionFinished: reply error"));
        QVERIFY(s.info->getString("updater", "check_time", "").isEmpty());
    }

    void downloadAddressMustBeWeb()
    {
        m_fx.setFaults("{\"latest_version\": \"9.9.9.2\", \"update_mirror\": \"file:///etc\"}");
        Settings s;
        VersionUpdater u(nullptr, s.info.get(), &m_nam);
        QSignalSpy got(&u, &VersionUpdater::onNetVersionGot);
        u.check();
        QVERIFY(got.wait(5000));
        QVERIFY(u.hasNewVersion());
        QVERIFY(u.safeDownloadUrl().isEmpty());
        bool opened = false;
        QVERIFY(!u.openDownloadUrl([&opened](const QUrl&) { return opened = true; }));
        QVERIFY(!opened);

        m_fx.setFaults("{\"latest_version\": \"9.9.9.2\", \"update_mirror\": \"https://downloads.example.com/pc\"}");
        Settings s2;
        VersionUpdater u2(nullptr, s2.info.get(), &m_nam);
        QSignalSpy got2(&u2, &VersionUpdater::onNetVersionGot);
        u2.check();
        QVERIFY(got2.wait(5000));
        QUrl seen;
        QVERIFY(u2.openDownloadUrl([&seen](const QUrl& url) { seen = url; return true; }));
        QCOMPARE(seen.toString(), QString("https://downloads.example.com/pc/9.9.9.2/VuCamera-setup.exe"));
    }
};

QTEST_GUILESS_MAIN(TestAccountServices)
#include "tst_accountservices.moc"
