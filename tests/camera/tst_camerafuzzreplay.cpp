// Replays the kept fuzz inputs (tests/camera/fuzz-corpus) and a few crafted
// edge inputs through the same entry the fuzzer uses.
#include "camerafuzz.h"

#include <QDir>
#include <QtTest>

class TestCameraFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void corpus()
    {
        QDir dir(QStringLiteral(VC_SOURCE_DIR "/tests/camera/fuzz-corpus"));
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& f : files) {
            QFile file(dir.filePath(f));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray in = file.readAll();
            runCameraFuzzInput(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
        }
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
    }
};

QTEST_GUILESS_MAIN(TestCameraFuzzReplay)
#include "tst_camerafuzzreplay.moc"
