// Replays the kept fuzz inputs (tests/camera/fuzz-corpus/fuzz_cameraparsers,
// tests/camera/fuzz-regressions) and a few crafted edge inputs through the same entry the fuzzer uses.
#include "camerafuzz.h"

#include <QDir>
#include <QtTest>

class TestCameraFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data()
    {
        QTest::addColumn<QString>("folder");
        // The minimised corpus of the last run, and the hand-made and crash
        // inputs kept for good.
        QTest::newRow("corpus") << QStringLiteral(VC_SOURCE_DIR "/tests/camera/fuzz-corpus/fuzz_cameraparsers");
        QTest::newRow("regressions") << QStringLiteral(VC_SOURCE_DIR "/tests/camera/fuzz-regressions");
    }
    void corpus()
    {
        QFETCH(QString, folder);
        QDir dir(folder);
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        for (const QString& f : files) {
            QFile file(dir.filePath(f));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray in = file.readAll();
            runCameraFuzzInput(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
        }
        qInstallMessageHandler(previous);
    }

    void craftedInputs()
    {
        // Timeline: header announcing 16 bytes, two records, 3-byte reads.
        QByteArray t = QByteArray::fromHex("0002") + QByteArray::fromHex("000000001000000000000000")
            + QByteArray::fromHex("0100000005010000") + QByteArray::fromHex("0200000006000100");
        QCOMPARE(runCameraFuzzInput(reinterpret_cast<const uint8_t*>(t.constData()), size_t(t.size())), 2);
        // Motor reply through the payload parser.
        // (byte 1, '{' = 0x7b, is odd: read as the motor reply type)
        const QByteArray m = QByteArray::fromHex("01") + QByteArray("{\"ret\":0,\"angle\":50}");
        QCOMPARE(runCameraFuzzInput(reinterpret_cast<const uint8_t*>(m.constData()), size_t(m.size())), 1);
        // An IO-control event buffer, typed as the motor reply.
        const QByteArray e = QByteArray::fromHex("0301") + QByteArray("{\"ret\":1,\"angle\":-7}\0garbage", 28);
        QCOMPARE(runCameraFuzzInput(reinterpret_cast<const uint8_t*>(e.constData()), size_t(e.size())), 1);
        // An audio frame: 8-byte nonce and 19 bytes of G.711 give 38 PCM bytes.
        const QByteArray a = QByteArray::fromHex("0700") + QByteArray(27, 'a');
        QCOMPARE(runCameraFuzzInput(reinterpret_cast<const uint8_t*>(a.constData()), size_t(a.size())), 38);
    }

    // The receive buffer of an IO-control message is not terminated when the
    // camera fills it: the parser stops at its end.
    void ioCtrlBufferFilledToTheEnd()
    {
        QByteArray buf("{\"ret\":0,\"angle\":25}");
        buf += QByteArray(2048 - buf.size(), ' ');
        QJsonObject json;
        QVERIFY(parseIoCtrlJson(buf.constData(), buf.size(), json));
        QCOMPARE(json.value("angle").toInt(), 25);
        // Cut one byte short of the closing brace: not an object, json kept.
        const QJsonObject before{{"kept", true}};
        json = before;
        QVERIFY(!parseIoCtrlJson(buf.constData(), 19, json));
        QCOMPARE(json, before);
        QVERIFY(!parseIoCtrlJson("[1,2]", 5, json));
        QVERIFY(!parseIoCtrlJson("\0{}", 3, json));
        QVERIFY(!parseIoCtrlJson(nullptr, 10, json));
        QCOMPARE(json, before);
    }

    void audioFrameEdges()
    {
        const QByteArray key(32, 'k');
        // Shorter than nonce plus 16 bytes: used as it is.
        QCOMPARE(AudioDecodeThread::decryptFrame(QByteArray(23, 'x'), key), QByteArray(23, 'x'));
        QCOMPARE(AudioDecodeThread::decryptFrame(QByteArray(24, 'x'), key).size(), 16);
        // PCM keeps whole samples only.
        QCOMPARE(AudioDecodeThread::decodePayload(QByteArray(5, 'p'), AvFrameHeader::CodecPcm).size(), 4);
        QCOMPARE(AudioDecodeThread::decodePayload(QByteArray(), AvFrameHeader::CodecG711A).size(), 0);
    }

    // A header announcing more than a card can hold ends the exchange
    // before any record is read.
    void timelineLengthTooLarge()
    {
        const QByteArray t = QByteArray::fromHex("0010") + QByteArray::fromHex("00000000" "08008000" "00000000")
            + QByteArray(64, '\1');
        QCOMPARE(runCameraFuzzInput(reinterpret_cast<const uint8_t*>(t.constData()), size_t(t.size())), 0);
    }
};

QTEST_GUILESS_MAIN(TestCameraFuzzReplay)
#include "tst_camerafuzzreplay.moc"
