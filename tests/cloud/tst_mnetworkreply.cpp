#include "cloud/mnetworkreply.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtTest>

#include <httplib.h>
#include <thread>

// A loopback server whose "/sleep?ms=N" answers after N milliseconds.
class SlowServer
{
public:
    SlowServer()
    {
        m_server.Get("/sleep", [](const httplib::Request& req, httplib::Response& res) {
            const int ms = std::stoi(req.get_param_value("ms"));
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            res.set_content(req.get_header_value("User-Agent"), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~SlowServer()
    {
        m_server.stop();
        m_thread.join();
    }
    QUrl url(int ms) const { return QUrl(QStringLiteral("http://127.0.0.1:%1/sleep?ms=%2").arg(m_port).arg(ms)); }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

class TestMNetworkReply : public QObject
{
    Q_OBJECT

private:
    SlowServer m_server;
    QNetworkAccessManager m_nam;

    QNetworkReply* get(int ms)
    {
        QNetworkRequest req(m_server.url(ms));
        setUserAgent(req);
        return m_nam.get(req);
    }

private slots:
    void userAgentIsSent()
    {
        QNetworkReply* reply = get(0);
        QSignalSpy done(reply, &QNetworkReply::finished);
        QVERIFY(done.wait(5000));
        QCOMPARE(reply->readAll(), QByteArray("vucam_pc_v3"));
        delete reply;
    }

    void slowReplyIsAborted()
    {
        QNetworkReply* reply = get(1500);
        MNetworkReply* dog = watch(reply, 200);
        QCOMPARE(dog->parent(), reply);
        QSignalSpy timeout(dog, &MNetworkReply::timeout);
        QSignalSpy done(reply, &QNetworkReply::finished);
        QTest::ignoreMessage(QtWarningMsg, "reply timeout, and abort it");
        QVERIFY(done.wait(5000));
        QCOMPARE(timeout.count(), 1);
        QCOMPARE(reply->error(), QNetworkReply::OperationCanceledError);
        delete reply;
    }

    void replyInTimeIsNotAborted()
    {
        QNetworkReply* reply = get(50);
        QSignalSpy timeout(watch(reply, 2000), &MNetworkReply::timeout);
        QSignalSpy done(reply, &QNetworkReply::finished);
        QVERIFY(done.wait(5000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QTest::qWait(2300); // past the limit: the finished reply is left alone
        QCOMPARE(timeout.count(), 0);
        delete reply;
    }

    void deletedReplyLeavesNoTimer()
    {
        QNetworkReply* reply = get(1000);
        QPointer<MNetworkReply> dog = watch(reply, 100);
        reply->abort();
        delete reply;
        QVERIFY(dog.isNull());
        QTest::qWait(300); // a timer left behind would touch freed memory here
    }
};

QTEST_GUILESS_MAIN(TestMNetworkReply)
#include "tst_mnetworkreply.moc"
