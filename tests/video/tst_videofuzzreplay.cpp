// Replays the inputs that the frame fuzzer found interesting (crashes it hit
// before they were fixed, and seeds of real frames) through the same path.
#include "tests/video/videoframefuzz.h"

#include <QDir>
#include <QtTest>

class TestVideoFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("folder");
        // The minimised corpus of the last run, and the inputs kept from
        // earlier runs (the crashes it hit before they were fixed among them).
        QTest::newRow("corpus") << QStringLiteral(VC_SOURCE_DIR "/tests/video/fuzz-corpus/fuzz_videoframe");
        QTest::newRow("regressions") << QStringLiteral(VC_SOURCE_DIR "/tests/video/fuzz-regressions");
    }
    void replay()
    {
        QFETCH(QString, folder);
        const QDir dir(folder);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!files.isEmpty(), qPrintable(dir.path()));
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            fuzzVideoFrame(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
        }
        qInstallMessageHandler(nullptr);
    }
};

QTEST_GUILESS_MAIN(TestVideoFuzzReplay)
#include "tst_videofuzzreplay.moc"
