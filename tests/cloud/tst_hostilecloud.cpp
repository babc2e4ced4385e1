// Replies a hostile or broken cloud could send, and what the program makes
// of them: local addresses as the avatar, avatars of any size, error pages
// full of secrets or very long.
#include "cloudtestfixture.h"

#include "cloud/coreapi.h"
#include "cloud/mnetworkreply.h"
#include "cloud/usercard.h"
#include "cloud/vustat.h"

#include <httplib.h>
#include <thread>

using namespace cloudtest;

class TestHostileCloud : public QObject
{
    Q_OBJECT

    CloudFixture m_fx;
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;

    void setIcon(const QString& icon)
    {
        QVERIFY(m_fx.scenario->updateAccount(kUserId, [icon](SimAccount& a) { a.icon = icon; }));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_fx.start());
        m_server.Get("/big.png", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(3 * 1024 * 1024, 'p'), "image/png");
        });
        m_server.Post(R"(/app/.*)", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kMaxReplyBytes + 1024 * 1024, 'h'), "text/plain");
        });
        m_server.Get("/vustats/v2", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("passToken=PT-leaked-in-error-page; " + std::string(100000, 'x'), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        QVERIFY(m_port > 0);
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    void cleanupTestCase()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
        m_fx.stop();
    }

    void localAvatarAddressIsRefused()
    {
        QTemporaryDir dir;
        const QString privateFile = dir.filePath(QStringLiteral("id_key"));
        QFile f(privateFile);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("PRIVATE KEY MATERIAL");
        f.close();
        setIcon(QUrl::fromLocalFile(privateFile).toString());
        LogCapture log;
        UserCard card;
        QSignalSpy got(&card, &UserCard::onUserCardGot);
        card.get(kUserId);
        QVERIFY(got.wait(10000));
        QCOMPARE(card.nick, QStringLiteral("Alex"));
        QVERIFY(card.icon.isEmpty());
        QVERIFY(log.contains(QStringLiteral("user icon refused, not an http or https address")));
    }

    void oversizedAvatarIsDropped()
    {
        setIcon(QStringLiteral("http://127.0.0.1:%1/big.png").arg(m_port));
        LogCapture log;
        UserCard card;
        QSignalSpy got(&card, &UserCard::onUserCardGot);
        QSignalSpy fail(&card, &UserCard::onUserCardGotFail);
        card.get(kUserId);
        QTRY_VERIFY_WITH_TIMEOUT(got.count() + fail.count() > 0, 10000);
        QCOMPARE(got.count(), 1);
        QVERIFY(card.icon.isEmpty());
        QVERIFY(log.contains(QStringLiteral("user icon larger than")));

        // The normal avatar still arrives.
        setIcon(QStringLiteral("/avatar/1234567890.png"));
        UserCard normal;
        QSignalSpy ok(&normal, &UserCard::onUserCardGot);
        normal.get(kUserId);
        QVERIFY(ok.wait(10000));
        QCOMPARE(normal.icon, SimAccountApi::avatarPng());
    }

    void hugeHomeApiReplyIsCutOff()
    {
        // A reply past the limit is aborted while it arrives, the call ends
        // as an undecodable reply, and the log line says why.
        Endpoints e = Endpoints::current();
        const Endpoints saved = e;
        e.homeApi = QStringLiteral("http://127.0.0.1:%1").arg(m_port);
        Endpoints::setCurrent(e);
        m_fx.signIn();
        LogCapture log;
        CoreApi sync;
        QJsonObject result;
        QCOMPARE(sync.getResult(QStringLiteral("/home/device_list"), QJsonObject(), result, 20000), 2);
        QVERIFY(result.isEmpty());
        CoreApi async;
        QSignalSpy done(&async, &CoreApi::sendRequestFinished);
        async.sendRequest(QStringLiteral("/home/device_list"), QJsonObject(), 20000);
        QVERIFY(done.wait(20000));
        QCOMPARE(done.first().at(0).toInt(), 2);
        Endpoints::setCurrent(saved);
        QVERIFY(log.contains(QStringLiteral("reply larger than 16777216 bytes, and abort it")));
    }

    void statisticsErrorPageIsCutAndMasked()
    {
        Endpoints e = Endpoints::current();
        const Endpoints saved = e;
        e.stats = QStringLiteral("http://127.0.0.1:%1").arg(m_port);
        Endpoints::setCurrent(e);
        LogCapture log;
        VuStat::upload(QStringLiteral("report"));
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("xxxx")), 10000);
        Endpoints::setCurrent(saved);
        for (const QString& line : log.lines()) {
            QVERIFY2(!line.contains(QStringLiteral("PT-leaked-in-error-page")), qPrintable(line.left(200)));
            QVERIFY2(line.size() < 1000, qPrintable(QString::number(line.size())));
        }
    }
};

QTEST_GUILESS_MAIN(TestHostileCloud)
#include "tst_hostilecloud.moc"
