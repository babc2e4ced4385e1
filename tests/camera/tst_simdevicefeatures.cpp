// The emulated camera's audio signal, timeline reply and pan/tilt head, read
// back through the client's own decoding and parsing.
#include "camera/audiodecodethread.h"
#include "camera/motorreply.h"
#include "camera/rdtupdatethread.h"
#include "fakerdt.h"
#include "sim/devicefeatures/simaudiosource.h"
#include "sim/devicefeatures/simpantilt.h"
#include "sim/devicefeatures/simtimeline.h"

#include <QtTest>
#include <sodium.h>

class TestSimDeviceFeatures : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void alawEncoderInvertsTheExpansionTable()
    {
        for (int c = 0; c < 256; ++c) {
            const qint16 linear = AudioDecodeThread::alawToLinear(quint8(c));
            QCOMPARE(int(SimAudioSource::linearToAlaw(linear)), c);
        }
        // Extremes are limited to the largest code of each sign.
        QCOMPARE(int(SimAudioSource::linearToAlaw(32767)), 0xAA);
        QCOMPARE(int(SimAudioSource::linearToAlaw(-32768)), 0x2A);
    }

    void toneFramesDecodeToTheTone_data()
    {
        QTest::addColumn<int>("codec");
        QTest::addColumn<int>("payloadBytes");
        QTest::newRow("A-law") << 138 << 320;
        QTest::newRow("PCM") << 136 << 640;
    }
    void toneFramesDecodeToTheTone()
    {
        QFETCH(int, codec);
        QFETCH(int, payloadBytes);
        const QByteArray key(32, '\x42');
        SimAudioSource source(codec, key);
        QVector<int> samples;
        for (int f = 0; f < 25; ++f) { // one second
            QByteArray frame, header;
            source.nextFrame(&frame, &header);
            QCOMPARE(frame.size(), 8 + payloadBytes);
            QVERIFY(frame.size() <= 2048); // fits the client's receive buffer
            const AvFrameHeader h = AvFrameHeader::fromBytes(header.constData(), header.size());
            QCOMPARE(int(h.codecId()), codec);
            QCOMPARE(h.timestamp(), quint32(f * 40));
            QVERIFY(frame.mid(8) != source.plainPayload(qint64(f) * 320)); // encrypted
            const QByteArray pcm = AudioDecodeThread::decodePayload(AudioDecodeThread::decryptFrame(frame, key),
                                                                    quint16(codec));
            QCOMPARE(pcm.size(), 640);
            for (int i = 0; i < pcm.size(); i += 2)
                samples.append(qint16(quint16(uchar(pcm[i])) | quint16(uchar(pcm[i + 1]) << 8)));
        }
        int crossings = 0;
        int peak = 0;
        for (int i = 1; i < samples.size(); ++i) {
            crossings += (samples[i - 1] < 0) != (samples[i] < 0) ? 1 : 0;
            peak = qMax(peak, qAbs(samples[i]));
        }
        QVERIFY2(qAbs(crossings / 2 - SimAudioSource::ToneHz) <= 2, qPrintable(QString::number(crossings)));
        QVERIFY2(qAbs(peak - SimAudioSource::ToneAmplitude) <= 100, qPrintable(QString::number(peak)));
    }

    void timelineReplyParsesWithTrailingRecord()
    {
        QList<SimRecording> recs;
        recs.append({1765000000, 60, true, false});
        recs.append({1765000100, 600, false, true}); // three touching stretches
        FakeRdt rdt;
        rdt.s->chunk = 5;
        rdt.feed(SimTimeline::reply(recs));
        QVector<RecordFileHeader> out;
        int err = 0;
        QCOMPARE(RDTUpdatethread::fetchTimeLine(rdt.api(), 1, [] { return false; }, &out, &err),
                 RDTUpdatethread::Delivered);
        QCOMPARE(SimTimeline::recordCount(recs), 4);
        QCOMPARE(out.size(), 5);
        QCOMPARE(out[0].startTime, 1765000000u);
        QCOMPARE(int(out[0].motioned), 1);
        QCOMPARE(out[1].startTime, 1765000100u);
        QCOMPARE(int(out[1].duration), 255);
        QCOMPARE(int(out[1].saved), 1);
        QCOMPARE(out[2].startTime, 1765000355u);
        QCOMPARE(out[3].startTime, 1765000610u);
        QCOMPARE(int(out[3].duration), 90);
        QCOMPARE(out[4].startTime, 0u); // the trailing record
        QVERIFY(rdt.incoming().isEmpty());
    }

    void panTiltStopsAtTheEnds()
    {
        SimPanTilt head(90, 10);
        const QJsonObject right{{"operation", 2}};
        QJsonObject r = head.command(right);
        QCOMPARE(r.value("ret").toInt(), 0);
        QCOMPARE(r.value("angle").toInt(), 95);
        QCOMPARE(MotorReply::handle(0xF006, r).angle(), 95 * 3.6);
        head.command(right);
        r = head.command(right);
        QCOMPARE(r.value("ret").toInt(), -1);
        QCOMPARE(head.pan(), SimPanTilt::PanMax);
        QCOMPARE(MotorReply::handle(0xF006, r).kind(), MotorReply::Failed);
        r = head.command(QJsonObject{{"operation", 4}});
        QCOMPARE(r.value("angle").toInt(), 5);
        QCOMPARE(head.tilt(), 5);
        QCOMPARE(head.command(QJsonObject{{"operation", 9}}).value("ret").toInt(), -2);
    }
};

QTEST_GUILESS_MAIN(TestSimDeviceFeatures)
#include "tst_simdevicefeatures.moc"
