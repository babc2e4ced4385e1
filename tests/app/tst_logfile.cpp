#include "app/functiontrace.h"
#include "app/logfile.h"

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

class TestLogFile : public QObject
{
    Q_OBJECT

private:
    static QByteArray readAll(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void makeFile(const QString& path, qint64 size)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size));
    }

private slots:
    void levelWords()
    {
        QCOMPARE(LogFile::levelWord(QtDebugMsg), "DEBUG");
        QCOMPARE(LogFile::levelWord(QtWarningMsg), "WARN");
        QCOMPARE(LogFile::levelWord(QtCriticalMsg), "ERROR");
        QCOMPARE(LogFile::levelWord(QtInfoMsg), "INFO");
        QCOMPARE(LogFile::levelWord(QtFatalMsg), "DEBUG");
    }

    void lineFormatPadsThreadIds()
    {
        QCOMPARE(LogFile::formatLine(QtInfoMsg, "01:02:03.004", 7, "camera x: video started"),
                 QByteArray("[INFO]<01:02:03.004 T:00007> :camera x: video started\n"));
        QCOMPARE(LogFile::formatLine(QtWarningMsg, "23:59:59.999", 123456, "w"),
                 QByteArray("[WARN]<23:59:59.999 T:123456> :w\n"));
        QCOMPARE(LogFile::formatLine(QtFatalMsg, "00:00:00.000", 12345, ""),
                 QByteArray("[DEBUG]<00:00:00.000 T:12345> :\n"));
    }

    void writesBannerAndLinesFromEveryThread()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("VuCamera.log"));
        {
            LogFile log(path);
            QVERIFY(log.isOpen());
            qInfo("camera %s: video started", "cam1");
            qWarning() << "stream form" << 42;
            QThread* t = QThread::create([] { qInfo("from a worker"); });
            t->start();
            t->wait();
            delete t;
            // Lines are flushed one by one: readable before the log closes.
            const QByteArray early = readAll(path);
            QVERIFY(early.contains("from a worker\n"));
        }
        qInfo("after close: dropped");

        const QByteArray data = readAll(path);
        const QByteArray banner = "\n>>>>>>>>>" + QDate::currentDate().toString("yyyy-MM-dd").toLatin1() + ">>>>>>>\n";
        QVERIFY2(data.startsWith(banner), data.left(60).constData());
        const QRegularExpression line(QStringLiteral(
            "^\\[INFO\\]<\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d T:\\d{5,}> :camera cam1: video started$"),
            QRegularExpression::MultilineOption);
        QVERIFY(line.match(QString::fromLatin1(data)).hasMatch());
        QVERIFY(data.contains("[WARN]"));
        QVERIFY(data.contains(" :stream form 42\n"));
        QVERIFY(!data.contains("after close"));
    }

    void sizeLimitBoundary()
    {
        QTemporaryDir dir;
        const QString small = dir.filePath(QStringLiteral("small.log"));
        makeFile(small, LogFile::kSizeLimit - 1);
        {
            LogFile log(small);
            QVERIFY(log.isOpen());
            qInfo("appended");
        }
        QVERIFY(QFileInfo(small).size() > LogFile::kSizeLimit - 1);
        QVERIFY(readAll(small).endsWith("appended\n"));

        const QString big = dir.filePath(QStringLiteral("big.log"));
        makeFile(big, LogFile::kSizeLimit);
        {
            LogFile log(big);
            QVERIFY(log.isOpen());
        }
        const QByteArray data = readAll(big);
        QVERIFY(data.size() < 100);
        QVERIFY(data.startsWith("\n>>>>>>>>>"));
    }

    void unopenableFileGivesNoLog()
    {
        QTemporaryDir dir;
        LogFile log(dir.filePath(QStringLiteral("missing/folder/VuCamera.log")));
        QVERIFY(!log.isOpen());
        qInfo("no crash without a log");
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
    }

    void functionTraceCountsUp()
    {
        const quint64 before = FunctionTrace::counter();
        FunctionTrace a("MainWindow::onAcccountLogin");
        FunctionTrace b("VuCameraWidget::onPlayErrored");
        QCOMPARE(a.sequence(), before + 1);
        QCOMPARE(b.sequence(), before + 2);
        QCOMPARE(QByteArray(a.name()), QByteArray("MainWindow::onAcccountLogin"));
    }
};

QTEST_GUILESS_MAIN(TestLogFile)
#include "tst_logfile.moc"
