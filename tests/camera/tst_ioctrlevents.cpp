// IO-control events: the motor reply, payload parsing, and the event thread's
// loop over a scripted channel (messages, time-outs, errors, a dead session).
#include "camera/eventrecvthread.h"
#include "camera/motorreply.h"
#include "tests/support/logcapture.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"

#include <QJsonDocument>
#include "tests/support/threadsafespy.h"
#include <QtTest>

#include <atomic>
#include <memory>

namespace {

QJsonObject obj(const char* json)
{
    return QJsonDocument::fromJson(json).object();
}

// A channel that plays back a script of results, then repeats the last one.
struct ScriptedChannel
{
    struct Step
    {
        int result;
        unsigned int type;
        QByteArray payload;
    };
    std::shared_ptr<QVector<Step>> steps = std::make_shared<QVector<Step>>();
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    int delayMs = 0;

    EventRecvthread::Receiver receiver() const
    {
        auto st = steps;
        auto n = calls;
        const int delay = delayMs;
        return [st, n, delay](int, unsigned int* type, QJsonObject* json, unsigned int) {
            const int i = (*n)++;
            if (delay)
                QThread::msleep(quint64(delay));
            const Step& s = (*st)[qMin(i, st->size() - 1)];
            if (s.result >= 0) {
                *type = s.type;
                const QJsonObject o = MotorReply::parsePayload(s.payload.constData(), s.payload.size());
                if (!o.isEmpty())
                    *json = o;
            }
            return s.result;
        };
    }
};

} // namespace

class TestIoctrlEvents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QJsonObject>("QJsonObject"); }

    void motorReplies()
    {
        LogCapture log;
        MotorReply r = MotorReply::handle(0xF006, obj(R"({"ret":0,"angle":50})"));
        QCOMPARE(r.kind(), MotorReply::Moved);
        QCOMPARE(r.angle(), 180.0);
        QVERIFY(log.contains("motor angle changed: 180"));

        r = MotorReply::handle(0xF006, obj(R"({"ret":-1})"));
        QCOMPARE(r.kind(), MotorReply::Failed);
        QCOMPARE(r.ret(), -1);
        QVERIFY(log.contains("control motor failed: -1"));

        r = MotorReply::handle(0xF006, obj(R"({"angle":10})"));
        QCOMPARE(r.kind(), MotorReply::Invalid);
        QCOMPARE(log.count("invalid json format:"), 1);

        r = MotorReply::handle(0xF006, obj(R"({"ret":null,"angle":10})"));
        QCOMPARE(r.kind(), MotorReply::Invalid);
        r = MotorReply::handle(0xF006, obj(R"({"ret":0})"));
        QCOMPARE(r.kind(), MotorReply::Invalid);
        r = MotorReply::handle(0xF006, obj(R"({"ret":0,"angle":null})"));
        QCOMPARE(r.kind(), MotorReply::Invalid);
        QCOMPARE(log.count("invalid json format:"), 4);

        r = MotorReply::handle(0xF006, obj(R"({"ret":2,"angle":-25})"));
        QCOMPARE(r.kind(), MotorReply::Moved);
        QCOMPARE(r.angle(), -90.0);
    }

    void otherMessagesAreIgnoredSilently()
    {
        LogCapture log;
        QCOMPARE(MotorReply::handle(0xF006, QJsonObject()).kind(), MotorReply::Ignored);
        QCOMPARE(MotorReply::handle(0x1FF, obj(R"({"ret":0,"angle":50})")).kind(), MotorReply::Ignored);
        QCOMPARE(MotorReply::handle(0xFFFFFFFFu, obj(R"({"ret":-1})")).kind(), MotorReply::Ignored);
        QVERIFY(log.lines().isEmpty());
    }

    void payloadParsing()
    {
        const QByteArray withNul("{\"ret\":0}\0garbage", 17);
        QCOMPARE(MotorReply::parsePayload(withNul.constData(), withNul.size()), obj(R"({"ret":0})"));
        QVERIFY(MotorReply::parsePayload("not json", 8).isEmpty());
        QVERIFY(MotorReply::parsePayload("[1,2]", 5).isEmpty());
        QVERIFY(MotorReply::parsePayload("\0{}", 3).isEmpty());
        QVERIFY(MotorReply::parsePayload(nullptr, 10).isEmpty());
        // A full buffer without a terminator is read only up to its end.
        QByteArray full(2048, ' ');
        full.replace(0, 9, "{\"ret\":1}");
        QCOMPARE(MotorReply::parsePayload(full.constData(), full.size()), obj(R"({"ret":1})"));
        QVERIFY(MotorReply::parsePayload(full.constData(), 5).isEmpty());
    }

    void eventsAreEmitted()
    {
        ScriptedChannel ch;
        *ch.steps = {{AV_ER_TIMEOUT, 0, {}},
                     {23, 0xF006, R"({"ret":0,"angle":50})"},
                     {8, 0x1FF, QByteArray(8, '\0')},
                     {AV_ER_TIMEOUT, 0, {}}};
        LogCapture log;
        EventRecvthread thread(4, ch.receiver());
        ThreadSafeSpy spy(&thread, &EventRecvthread::ioctrlEvent);
        thread.start();
        QTRY_COMPARE(spy.count(), 2);
        QCOMPARE(spy.at(0).at(0).toUInt(), 0xF006u);
        QCOMPARE(spy.at(0).at(1).value<QJsonObject>(), obj(R"({"ret":0,"angle":50})"));
        QCOMPARE(spy.at(1).at(0).toUInt(), 0x1FFu);
        QVERIFY(spy.at(1).at(1).value<QJsonObject>().isEmpty()); // not JSON: empty object
        thread.stop();
        QVERIFY(thread.wait(2000));
        QVERIFY(!log.contains("recv io control failed")); // time-outs are not errors
    }

    void closedSessionEndsLoopWithOneLine_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("closed by remote") << AV_ER_SESSION_CLOSE_BY_REMOTE;
        QTest::newRow("remote timeout") << AV_ER_REMOTE_TIMEOUT_DISCONNECT;
        QTest::newRow("session invalid") << IOTC_ER_INVALID_SID;
        QTest::newRow("client exit") << AV_ER_CLIENT_EXIT;
    }
    void closedSessionEndsLoopWithOneLine()
    {
        QFETCH(int, code);
        ScriptedChannel ch;
        *ch.steps = {{code, 0, {}}};
        LogCapture log;
        EventRecvthread thread(4, ch.receiver());
        thread.start();
        QVERIFY(thread.wait(2000)); // ends by itself
        QCOMPARE(ch.calls->load(), 1);
        QCOMPARE(log.count(QString("4 recv io control failed:%1").arg(code)), 1);
    }

    void transientErrorsBackOff()
    {
        ScriptedChannel ch;
        *ch.steps = {{AV_ER_BUFPARA_MAXSIZE_INSUFF, 0, {}}};
        LogCapture log;
        EventRecvthread thread(5, ch.receiver());
        thread.start();
        QTest::qWait(1500);
        const int calls = ch.calls->load();
        // Without a pause this would be millions of calls and log lines.
        QVERIFY2(calls >= 3 && calls <= 12, qPrintable(QString::number(calls)));
        QCOMPARE(log.count("5 recv io control failed:-20001"), 1);
        QElapsedTimer t;
        t.start();
        thread.stop();
        QVERIFY(thread.wait(2000));
        QVERIFY2(t.elapsed() < 300, "a stop during the pause must not wait it out");
    }

    void stopWaitsAtMostOneReceive()
    {
        ScriptedChannel ch;
        ch.delayMs = 300; // stands for the 1 s receive time-out
        *ch.steps = {{AV_ER_TIMEOUT, 0, {}}};
        EventRecvthread thread(6, ch.receiver());
        ThreadSafeSpy spy(&thread, &EventRecvthread::ioctrlEvent);
        thread.start();
        QTRY_VERIFY(ch.calls->load() >= 1);
        QElapsedTimer t;
        t.start();
        thread.stop();
        QVERIFY(thread.wait(2000));
        QVERIFY(t.elapsed() < 600);
        QCOMPARE(spy.count(), 0);
    }
};

QTEST_GUILESS_MAIN(TestIoctrlEvents)
#include "tst_ioctrlevents.moc"
