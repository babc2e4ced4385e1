// The recording timeline exchange on an RDT channel and the thread that
// runs it, over an in-memory channel.
#include "camera/rdtupdatethread.h"
#include "fakerdt.h"
#include "tests/support/logcapture.h"

#include "tests/support/threadsafespy.h"
#include <QtTest>

namespace {

QVector<RecordFileHeader> fetch(const FakeRdt& rdt, RDTUpdatethread::FetchResult expected, int* err = nullptr,
                                bool interrupted = false)
{
    QVector<RecordFileHeader> records;
    int e = 0;
    const auto r = RDTUpdatethread::fetchTimeLine(rdt.api(), 7, [interrupted] { return interrupted; }, &records, &e);
    if (r != expected)
        qWarning("fetch result %d, expected %d", int(r), int(expected));
    if (err)
        *err = e;
    return r == expected ? records : QVector<RecordFileHeader>{{0xdead, 0, 0, 0, 0}};
}

QByteArray threeRecords()
{
    return FakeRdt::record(1765000000, 60, 1, 0) + FakeRdt::record(1765000060, 255, 0, 1)
        + FakeRdt::record(0, 10, 0, 0);
}

} // namespace

class TestTimeline : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>"); }

    void requestIsFourByteSix()
    {
        FakeRdt rdt;
        rdt.feed(FakeRdt::header(0));
        fetch(rdt, RDTUpdatethread::Empty);
        QCOMPARE(rdt.written().size(), 1);
        QCOMPARE(rdt.written().first().toHex(), QByteArray("06000000"));
    }

    void zeroLengthDeliversNothingAndLogsNothing()
    {
        LogCapture log;
        FakeRdt rdt;
        rdt.feed(FakeRdt::header(0));
        QVERIFY(fetch(rdt, RDTUpdatethread::Empty).isEmpty());
        QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join('\n')));
    }

    void twentyFourBytesAreThreeRecordsInOrder()
    {
        LogCapture log;
        FakeRdt rdt;
        rdt.feed(FakeRdt::header(24) + threeRecords());
        const auto recs = fetch(rdt, RDTUpdatethread::Delivered);
        QCOMPARE(recs.size(), 3);
        QCOMPARE(recs[0].startTime, 1765000000u);
        QCOMPARE(int(recs[0].duration), 60);
        QCOMPARE(int(recs[0].motioned), 1);
        QCOMPARE(int(recs[0].saved), 0);
        QCOMPARE(recs[1].startTime, 1765000060u);
        QCOMPARE(int(recs[1].duration), 255);
        QCOMPARE(int(recs[1].saved), 1);
        QCOMPARE(recs[2].startTime, 0u); // delivered; the timeline skips it
        QVERIFY(!log.contains("TLV pocket length wrong."));
    }

    void lengthNotMultipleOfEightReadsWholeRecords()
    {
        LogCapture log;
        FakeRdt rdt;
        rdt.feed(FakeRdt::header(20) + threeRecords() + QByteArray("next"));
        const auto recs = fetch(rdt, RDTUpdatethread::Delivered);
        QCOMPARE(log.count("TLV pocket length wrong."), 1);
        QCOMPARE(recs.size(), 3);
        QCOMPARE(recs[2].duration, quint8(10));
        QCOMPARE(rdt.incoming(), QByteArray("next")); // nothing past the third record
    }

    void shortReadsAreReassembled_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("3 bytes") << 3;
        QTest::newRow("5 bytes") << 5;
        QTest::newRow("13 bytes") << 13;
    }
    void shortReadsAreReassembled()
    {
        QFETCH(int, chunk);
        FakeRdt rdt;
        rdt.s->chunk = chunk;
        rdt.feed(FakeRdt::header(24) + threeRecords());
        const auto recs = fetch(rdt, RDTUpdatethread::Delivered);
        QCOMPARE(recs.size(), 3);
        QCOMPARE(recs[1].startTime, 1765000060u);
        QVERIFY(rdt.reads() >= (36 + chunk - 1) / chunk);
    }

    void failuresAreReported()
    {
        LogCapture log;
        int err = 0;
        {
            FakeRdt rdt;
            rdt.s->writeResult = -10012;
            QVERIFY(fetch(rdt, RDTUpdatethread::Failed, &err).isEmpty());
            QCOMPARE(err, -10012);
            QVERIFY(log.contains("RDT_Write err[-10012]."));
        }
        {
            FakeRdt rdt;
            rdt.feed(FakeRdt::header(24).left(7)); // header cut short
            QVERIFY(fetch(rdt, RDTUpdatethread::Failed, &err).isEmpty());
            QCOMPARE(err, -10007);
            QVERIFY(log.contains("RDT_Read err[-10007]."));
        }
        {
            FakeRdt rdt;
            rdt.feed(FakeRdt::header(24) + threeRecords().left(20)); // third record cut
            QVERIFY(fetch(rdt, RDTUpdatethread::Failed, &err).isEmpty());
            QCOMPARE(err, -10007);
            QVERIFY(log.contains("RDT_Read error[-10007]"));
        }
        {
            FakeRdt rdt; // a length no card can hold is not read at all
            rdt.feed(FakeRdt::header(0xFFFFFFF8u) + threeRecords());
            QVERIFY(fetch(rdt, RDTUpdatethread::Failed, &err).isEmpty());
            QVERIFY(log.contains("TLV pocket length too large"));
            QCOMPARE(rdt.incoming().size(), 24);
        }
    }

    void interruptedFetchIsQuiet()
    {
        LogCapture log;
        FakeRdt rdt;
        rdt.s->writeResult = -10013;
        QVERIFY(fetch(rdt, RDTUpdatethread::Interrupted, nullptr, true).isEmpty());
        FakeRdt rdt2;
        rdt2.feed(FakeRdt::header(24) + threeRecords());
        QVERIFY(fetch(rdt2, RDTUpdatethread::Interrupted, nullptr, true).isEmpty());
        QVERIFY2(log.lines().isEmpty(), qPrintable(log.lines().join('\n')));
    }

    void threadDeliversTimelineAndDestroysChannel()
    {
        FakeRdt rdt;
        rdt.feed(FakeRdt::header(24) + threeRecords());
        auto* thread = new RDTUpdatethread(3, 2, rdt.api());
        ThreadSafeSpy started(thread, &RDTUpdatethread::rdtStarted);
        ThreadSafeSpy ready(thread, &RDTUpdatethread::timeLineReady);
        thread->start();
        QTRY_COMPARE(ready.count(), 1);
        QCOMPARE(started.count(), 1);
        QCOMPARE(started.first().first().toBool(), true);
        QCOMPARE(ready.first().first().value<QVector<RecordFileHeader>>().size(), 3);

        // Another request on demand (the refresh timer does the same).
        rdt.feed(FakeRdt::header(8) + FakeRdt::record(42, 1, 0, 0));
        emit thread->getTimeLine_s();
        QTRY_COMPARE(ready.count(), 2);
        QCOMPARE(ready.at(1).first().value<QVector<RecordFileHeader>>().first().startTime, 42u);
        QCOMPARE(rdt.written().size(), 2);

        thread->stop();
        QVERIFY(thread->wait(3000));
        QCOMPARE(rdt.destroyed(), QVector<int>{7});
        delete thread;
        QCOMPARE(rdt.destroyed(), QVector<int>{7});
    }

    void createFailureLeavesThreadIdle()
    {
        LogCapture log;
        FakeRdt rdt;
        rdt.s->createResult = -10007;
        auto* thread = new RDTUpdatethread(3, 2, rdt.api());
        ThreadSafeSpy started(thread, &RDTUpdatethread::rdtStarted);
        thread->start();
        QTRY_COMPARE(started.count(), 1);
        QCOMPARE(started.first().first().toBool(), false);
        QVERIFY(log.contains("RDT_Create failed[-10007]..."));
        QVERIFY(thread->isRunning()); // idle until stopped
        QCOMPARE(thread->rdtId(), -1);
        emit thread->getTimeLine_s(); // nothing to ask on
        QTest::qWait(50);
        QVERIFY(rdt.written().isEmpty());
        delete thread; // stops and waits
        QVERIFY(rdt.destroyed().isEmpty());
    }

    void stopWaitsForRunningRead()
    {
        FakeRdt rdt;
        rdt.s->emptyDelayMs = 700; // a camera that does not answer
        auto* thread = new RDTUpdatethread(3, 2, rdt.api());
        ThreadSafeSpy failed(thread, &RDTUpdatethread::failed);
        thread->start();
        QTRY_VERIFY(rdt.reads() >= 1);
        QElapsedTimer t;
        t.start();
        thread->stop();
        QVERIFY(thread->wait(3000));
        QVERIFY(t.elapsed() >= 300);  // the read in progress ran out
        QCOMPARE(failed.count(), 0);  // interrupted: no failure reported
        QCOMPARE(rdt.destroyed(), QVector<int>{7});
        delete thread;
    }
};

QTEST_GUILESS_MAIN(TestTimeline)
#include "tst_timeline.moc"
