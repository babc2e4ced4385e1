// The camera's parts without a camera: video frame decryption, picture
// size, queue and byte rate; audio decryption, G.711, gain, the PCM device,
// the decode queue and the player; frame headers and IO-control replies;
// the timeline exchange over a scripted channel; the inputs the fuzzers kept.
#include "camera/audiodevice.h"
#include "camera/audioplayer.h"
#include "camera/zoomview.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "sim/media/clipencoder.h"
#include "tests/camera/camerafuzz.h"
#include "tests/camera/videoframefuzz.h"
#include "tests/support/audiotestmain.h"
#include "tests/support/logcapture.h"

#include <QAudioDeviceInfo>
#include <QtTest>
#include <future>
#include <sodium.h>

namespace {

const QByteArray kKey = QByteArray::fromHex("000306090c0f1215181b1e2124272a2d303336393c3f4245484b4e5154575a5d");
using Ms = std::chrono::milliseconds;

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray samples(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v & 0xff) + QByteArray(1, char((v >> 8) & 0xff));
    return out;
}

// ChaCha20 with counter 0, as a camera encrypts.
QByteArray chacha(const QByteArray& data, const QByteArray& nonce)
{
    QByteArray out(data.size(), '\0');
    crypto_stream_chacha20_xor(reinterpret_cast<uchar*>(out.data()), reinterpret_cast<const uchar*>(data.constData()),
                               quint64(data.size()), reinterpret_cast<const uchar*>(nonce.constData()),
                               reinterpret_cast<const uchar*>(kKey.constData()));
    return out;
}

AudioFrame audioFrame(const QByteArray& payload, quint16 codec = AvFrameHeader::CodecG711A)
{
    AudioFrame f;
    f.header.setCodecId(codec);
    f.data = QByteArray(8, '\x01') + chacha(payload, QByteArray(8, '\x01'));
    return f;
}

// An RDT channel in memory: reads hand out `incoming`, at most `chunk`
// bytes at a time, then -10007 (a time-out); writes are recorded.
struct FakeRdt
{
    QByteArray incoming;
    QVector<QByteArray> written;
    int chunk = 64, writeResult = 0;
    RdtApi api()
    {
        RdtApi a;
        a.write = [this](int, const char* d, int n) { written << QByteArray(d, n); return writeResult ? writeResult : n; };
        a.read = [this](int, char* buf, int len, int) {
            const int n = qMin(qMin(len, chunk), incoming.size());
            std::memcpy(buf, incoming.constData(), size_t(n));
            incoming.remove(0, n);
            return n ? n : -10007;
        };
        return a;
    }
    static QByteArray header(quint32 length) { return QByteArray(4, '\x11') + le32(length) + QByteArray(4, '\x11'); }
    static QByteArray records()
    {
        return le32(1765000000) + QByteArray::fromHex("3c0100ff") + le32(1765000060) + QByteArray::fromHex("ff00017e")
            + le32(0) + QByteArray::fromHex("0a00007e");
    }
};

struct DecryptRow
{
    QVector<quint32> table; // offset, length of each unit
    int count;              // the frame's unit count, -1: the table's
    int payload;            // bytes; negative: the whole frame is that many bytes
    QVector<int> encrypted, decrypted; // blocks the camera protected, those restored; {-1}: refused
    int keySize;
};
struct ZoomRow { double factor, again; QPointF at, drag; bool moves; QRectF shown; }; // zoom, zoom again, drag
struct FetchRow
{
    QByteArray reply;
    int chunk, writeResult;
    bool interrupted;
    int result, err;
    QByteArray left; // unread bytes
};

} // namespace

Q_DECLARE_METATYPE(DecryptRow)
Q_DECLARE_METATYPE(FetchRow)
Q_DECLARE_METATYPE(ZoomRow)

class TestCameraParts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void decryptFrame_data()
    {
        QTest::addColumn<DecryptRow>("row");
        using U = QVector<quint32>;
        using B = QVector<int>;
        QTest::newRow("unit of 48: no block") << DecryptRow{U{0, 48}, -1, 100, B{}, B{}, 32};
        QTest::newRow("unit of 49: one at 32") << DecryptRow{U{7, 49}, -1, 100, B{39}, B{39}, 32};
        QTest::newRow("unit of 208: one") << DecryptRow{U{7, 208}, -1, 300, B{39}, B{39}, 32};
        QTest::newRow("unit of 209: two") << DecryptRow{U{7, 209}, -1, 300, B{39, 199}, B{39, 199}, 32};
        QTest::newRow("block ends at the payload's end") << DecryptRow{U{0, 49}, -1, 48, B{32}, B{32}, 32};
        QTest::newRow("several units, the last too") << DecryptRow{U{0, 100, 100, 250, 350, 60}, -1, 410, B{32, 132, 292, 382}, B{32, 132, 292, 382}, 32};
        QTest::newRow("no units") << DecryptRow{U{}, -1, 300, B{}, B{}, 32};
        QTest::newRow("a unit past the payload ends it") << DecryptRow{U{0, 100, 590, 200, 200, 300}, -1, 600, B{32, 232, 392}, B{32}, 32};
        QTest::newRow("offset near 4 GiB") << DecryptRow{U{0xFFFFFFF0u, 100}, -1, 100, B{}, B{}, 32};
        QTest::newRow("length near 4 GiB") << DecryptRow{U{0, 0xFFFFFFFFu}, -1, 100, B{32}, B{32}, 32};
        QTest::newRow("more units than fit") << DecryptRow{U{0, 10, 0, 10}, 3, 0, B{}, B{-1}, 32};
        QTest::newRow("255 units claimed") << DecryptRow{U{}, 255, 100, B{}, B{-1}, 32};
        QTest::newRow("nothing after the table") << DecryptRow{U{0, 64, 0, 64}, -1, 0, B{}, B{-1}, 32};
        QTest::newRow("nothing after the count") << DecryptRow{U{}, -1, 0, B{}, B{-1}, 32};
        QTest::newRow("shorter than nonce and count") << DecryptRow{U{}, -1, -8, B{}, B{-1}, 32};
        QTest::newRow("no key") << DecryptRow{U{0, 100}, -1, 100, B{}, B{-1}, 0};
        QTest::newRow("16-byte key") << DecryptRow{U{0, 100}, -1, 100, B{}, B{-1}, 16};
    }
    // Every anomaly is logged; a refused frame is left as it was.
    void decryptFrame()
    {
        QFETCH(DecryptRow, row);
        const auto& [table, count, payload, encrypted, decrypted, keySize] = row;
        const QByteArray nonce = QByteArray::fromHex("a1a2a3a4a5a6a7a8"), stream = chacha(QByteArray(16, '\0'), nonce);
        QByteArray plain(qMax(payload, 0), '\0');
        randombytes_buf(plain.data(), size_t(plain.size()));
        QByteArray cipher = plain, expected = plain;
        for (int b : encrypted)
            for (int i = 0; i < 16; ++i)
                cipher[b + i] = char(cipher[b + i] ^ stream[i]);
        for (int b : encrypted)
            if (!decrypted.contains(b))
                expected.replace(b, 16, cipher.mid(b, 16));
        QByteArray wire = nonce + char(count < 0 ? table.size() / 2 : count);
        for (quint32 v : table)
            wire += le32(v);
        wire = payload < 0 ? wire.left(-payload) : wire + cipher;
        VideoFrame frame;
        frame.data = wire;
        LogCapture log;
        const bool refused = decrypted == QVector<int>{-1};
        QCOMPARE(VideoBuffer(false, kKey.left(keySize)).decryptFrame(frame), !refused);
        QCOMPARE(frame.data.toHex(), refused ? wire.toHex() : expected.toHex());
        QCOMPARE(log.lines().isEmpty(), !refused && encrypted == decrypted && table.value(0) < 0xFFFFFFF0u && table.value(1) < 0xFFFFFFFFu);
    }

    void fitSize_data()
    {
        QTest::addColumn<QSize>("in");
        QTest::addColumn<QSize>("out");
        QTest::newRow("square") << QSize(1000, 1000) << QSize(992, 558);
        QTest::newRow("16:10") << QSize(1920, 1200) << QSize(1920, 1080);
        QTest::newRow("wide") << QSize(2000, 500) << QSize(880, 495);
        QTest::newRow("odd") << QSize(641, 361) << QSize(640, 360);
        QTest::newRow("one cell") << QSize(16, 9) << QSize(16, 9);
        QTest::newRow("too small: kept") << QSize(15, 9) << QSize(1920, 1080);
        QTest::newRow("no height: kept") << QSize(500, 0) << QSize(1920, 1080);
    }
    void fitSize()
    {
        QFETCH(QSize, in);
        QFETCH(QSize, out);
        VideoBuffer vb(false, QByteArray());
        vb.setDstSize(in.width(), in.height());
        QCOMPARE(vb.requestedSize(), out);
    }

    // A crop is cut from the full-size picture (here 1:1), on the chroma grid;
    // the whole picture comes with it, a fifth of its width, for the inset.
    void crop_data()
    {
        QTest::addColumn<QRectF>("crop");
        QTest::addColumn<QRect>("part");
        QTest::newRow("odd corner: on the grid") << QRectF(81 / 320., 45 / 180., .5, .5) << QRect(80, 44, 160, 90);
        QTest::newRow("past the edges: moved in") << QRectF(.75, .75, .5, .5) << QRect(160, 90, 160, 90);
        QTest::newRow("small, on the box") << QRectF(0, .4, .099, .099) << QRect(0, 72, 32, 18);
    }
    void crop()
    {
        QFETCH(QRectF, crop);
        QFETCH(QRect, part);
        static const EncodedClip clip = ClipEncoder::encode(ClipParams{false, 320, 180, 5, 1, "CROP", false});
        const VideoFrame frame{clip.frames.value(0), AvFrameHeader()};
        VideoBuffer vb(false, QByteArray());
        vb.setDstSize(320, 180);
        const QImage whole = vb.decodeFrame(frame);
        QVERIFY(!whole.isNull());
        QImage overview(1, 1, QImage::Format_RGB32);
        QCOMPARE(vb.decodeFrame(frame, &overview), whole);
        QVERIFY(overview.isNull()); // not zoomed: no inset
        vb.setCrop(crop);
        vb.setDstSize(part.width(), part.height());
        QCOMPARE(vb.decodeFrame(frame, &overview), whole.copy(part));
        const QSize small(qMax(2, part.width() / 5), qMax(2, qMax(2, part.width() / 5) * 180 / 320));
        QCOMPARE(overview.size(), small);
        // The whole picture, not the part: close to it scaled down.
        const QImage expected = whole.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        qint64 diff = 0;
        for (int y = 0; y < small.height(); ++y)
            for (int x = 0; x < small.width(); ++x)
                diff += qAbs(qGray(overview.pixel(x, y)) - qGray(expected.pixel(x, y)));
        QVERIFY2(diff < 8 * small.width() * small.height(), qPrintable(QString::number(double(diff) / (small.width() * small.height()))));
    }

    void zoomView_data()
    {
        QTest::addColumn<ZoomRow>("r");
        QTest::newRow("the point keeps its place") << ZoomRow{2, 2, {.75, .25}, {}, false, {.5625, .1875, .25, .25}};
        QTest::newRow("8x at most") << ZoomRow{10, 1, {1, 1}, {}, false, {.875, .875, .125, .125}};
        QTest::newRow("1x at least") << ZoomRow{.5, 1, {.5, .5}, {.5, 0}, false, {0, 0, 1, 1}};
        QTest::newRow("half notches: 1x exactly") << ZoomRow{std::sqrt(ZoomView::kStep), std::sqrt(ZoomView::kStep) / ZoomView::kStep, {.3, .7}, {}, false, {0, 0, 1, 1}};
        QTest::newRow("drag up left: far edges") << ZoomRow{2, 1, {.5, .5}, {-1, -1}, true, {.5, .5, .5, .5}};
        QTest::newRow("drag a part of the view") << ZoomRow{4, 1, {.5, .5}, {.2, -.4}, true, {.325, .475, .25, .25}};
    }
    void zoomView()
    {
        QFETCH(ZoomRow, r);
        ZoomView v;
        QCOMPARE(v.zoomAbout(r.factor, r.at), r.factor > 1);
        v.zoomAbout(r.again, r.at);
        QCOMPARE(v.pan(r.drag), r.moves);
        QCOMPARE(v.rect(), r.shown);
        QCOMPARE(v.reset(), r.shown != QRectF(0, 0, 1, 1));
        QCOMPARE(v.rect(), QRectF(0, 0, 1, 1));
    }

    // Ten pictures wait at most, in order; a stop releases the producer. The
    // first picture of a run is announced, the others wait their turn until
    // the queue has been emptied.
    void pictureQueue()
    {
        VideoBuffer vb(false, QByteArray());
        QSignalSpy announced(&vb, &VideoBuffer::pictureReady);
        auto push = [&vb](quint32 i) { vb.pushFrame(QImage(16, 9, QImage::Format_RGB32), FrameInfo{i, i % 2 == 1, 0, 0, {}}); };
        for (quint32 i = 0; i < VideoBuffer::kMaxQueued; ++i)
            push(i);
        auto producer = std::async(std::launch::async, [&] {
            push(10);
            push(11);
        });
        auto release = qScopeGuard([&] { vb.stop(); }); // never left blocked
        QCOMPARE(producer.wait_for(Ms(30)), std::future_status::timeout);
        QCOMPARE(vb.queuedCount(), VideoBuffer::kMaxQueued);
        FrameInfo info;
        QVERIFY(!vb.popFrame(info).isNull());
        QCOMPARE(info.timestamp, 0u);
        QTRY_COMPARE(vb.queuedCount(), VideoBuffer::kMaxQueued); // the 11th came in
        vb.stop();
        producer.get();
        bool more = false;
        for (quint32 i = 1; i < 12; ++i) {
            QVERIFY(!vb.popFrame(info, &more).isNull());
            QCOMPARE(info.timestamp, i);
            QCOMPARE(info.isPlayback, i % 2 == 1);
            QCOMPARE(more, i < 11);
        }
        QCOMPARE(announced.count(), 1);
        push(12); // the queue was emptied: a new run
        push(13);
        QCOMPARE(announced.count(), 2);
        QVERIFY(!vb.popFrame(info, &more).isNull() && more);
        push(14); // the consumer still pops: no new announcement
        QCOMPARE(announced.count(), 2);
        while (!vb.popFrame(info).isNull()) {}
        QCOMPARE(info.timestamp, 14u); // an empty queue leaves info untouched
    }

    void byteRate_data()
    {
        QTest::addColumn<QVector<int>>("steps"); // pairs: milliseconds later, bytes
        QTest::addColumn<int>("perSecond");
        QVector<int> full; // five seconds of 100 kB/s in 100 ms slots
        for (int i = 0; i < 50; ++i)
            full << 100 << 10000;
        QTest::newRow("five seconds") << full << 100000;
        QTest::newRow("half of it has passed") << full + QVector<int>{2500, 0} << 50000;
        QTest::newRow("all of it has passed") << full + QVector<int>{5000, 0} << 0;
        QTest::newRow("a long pause") << full + QVector<int>{10000, 5000} << 1000;
        QTest::newRow("slot boundaries") << QVector<int>{99, 1000, 1, 1000, 4899, 0} << 400;
        QTest::newRow("clock back") << QVector<int>{-1000, 5000, 1100, 5000} << 1000;
    }
    void byteRate()
    {
        QFETCH(QVector<int>, steps);
        QFETCH(int, perSecond);
        VideoBuffer vb(false, QByteArray());
        qint64 now = 1000000;
        vb.setClock([&now] { return now; });
        for (int i = 0; i < steps.size(); i += 2) {
            now += steps[i];
            vb.addReceivedBytes(steps[i + 1]);
        }
        QCOMPARE(vb.bytesPerSecond(), perSecond);
    }

    void frameHeader_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QString>("fields"); // codec, flags, playback, audio
        QTest::newRow("H.264 key frame") << QByteArray("010401000102030405060708000000000000000078563412") << "1025 1 0 0";
        QTest::newRow("playback") << QByteArray("020400000000000000000000000000000100000001000000") << "1026 0 1 0";
        QTest::newRow("byte 17 is not playback") << QByteArray("020400000000000000000000000000000001000000000000") << "1026 0 0 0";
        QTest::newRow("A-law") << QByteArray("8a0002000000000000000000000000000000000000000000") << "138 2 0 1";
        QTest::newRow("PCM") << QByteArray("880000000000000000000000000000000000000000000000") << "136 0 0 1";
        QTest::newRow("137 is video") << QByteArray("890000000000000000000000000000000000000000000000") << "137 0 0 0";
    }
    void frameHeader()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QString, fields);
        const QByteArray b = QByteArray::fromHex(hex);
        const AvFrameHeader h = AvFrameHeader::fromBytes(b.constData(), b.size());
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(h.codecId()).arg(h.flags()).arg(h.isPlayback()).arg(h.isAudio()), fields);
        QCOMPARE(h.timestamp(), qFromLittleEndian<quint32>(b.constData() + 20));
        QCOMPARE(h.sendTimeUs(), qFromLittleEndian<quint64>(b.constData() + 4));
    }

    void motorReply_data()
    {
        QTest::addColumn<uint>("type");
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("kind");
        QTest::addColumn<double>("angle");
        const uint motor = MotorReply::IoType;
        QTest::newRow("moved") << motor << QByteArray(R"({"ret":0,"angle":50})") << int(MotorReply::Moved) << 180.0;
        QTest::newRow("moved, ret above 0") << motor << QByteArray(R"({"ret":2,"angle":-25})") << int(MotorReply::Moved) << -90.0;
        QTest::newRow("end stop") << motor << QByteArray(R"({"ret":-1,"angle":50})") << int(MotorReply::Failed) << 0.0;
        QTest::newRow("no ret") << motor << QByteArray(R"({"angle":10})") << int(MotorReply::Invalid) << 0.0;
        QTest::newRow("ret null") << motor << QByteArray(R"({"ret":null,"angle":10})") << int(MotorReply::Invalid) << 0.0;
        QTest::newRow("no angle") << motor << QByteArray(R"({"ret":0})") << int(MotorReply::Invalid) << 0.0;
        QTest::newRow("another type") << 0x1FFu << QByteArray(R"({"ret":-1})") << int(MotorReply::Ignored) << 0.0;
        QTest::newRow("empty") << motor << QByteArray("{}") << int(MotorReply::Ignored) << 0.0;
    }
    void motorReply()
    {
        QFETCH(uint, type);
        QFETCH(QByteArray, json);
        QFETCH(int, kind);
        QFETCH(double, angle);
        LogCapture log;
        const MotorReply r = MotorReply::handle(type, QJsonDocument::fromJson(json).object());
        QCOMPARE(int(r.kind()), kind);
        QCOMPARE(r.angle(), angle);
        QCOMPARE(log.lines().size(), kind == MotorReply::Ignored ? 0 : 1);
    }

    void ioCtrlJson_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("object"); // empty: not an object
        QByteArray full = R"({"ret":1})";
        full += QByteArray(2048 - full.size(), ' ');
        QTest::newRow("object, NUL, garbage") << QByteArray("{\"ret\":0}\0garbage", 17) << QByteArray(R"({"ret":0})");
        QTest::newRow("fills the buffer, no NUL") << full << QByteArray(R"({"ret":1})");
        QTest::newRow("cut inside") << full.left(8) << QByteArray();
        QTest::newRow("array") << QByteArray("[1,2]") << QByteArray();
        QTest::newRow("text") << QByteArray("not json") << QByteArray();
        QTest::newRow("NUL first") << QByteArray("\0{}", 3) << QByteArray();
    }
    // The reader of an IO-control payload; a non-object leaves json alone.
    void ioCtrlJson()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, object);
        const QJsonObject expected = QJsonDocument::fromJson(object).object(), kept{{"kept", true}};
        QJsonObject json = kept;
        QCOMPARE(parseIoCtrlJson(bytes.constData(), bytes.size(), json), !object.isEmpty());
        QCOMPARE(json, object.isEmpty() ? kept : expected);
    }

    void timelineFetch_data()
    {
        QTest::addColumn<FetchRow>("row");
        const QByteArray recs = FakeRdt::records(), all = FakeRdt::header(24) + recs, none;
        const int D = RDTUpdatethread::Delivered, F = RDTUpdatethread::Failed, I = RDTUpdatethread::Interrupted;
        const quint32 max = RDTUpdatethread::MaxRecordBytes;
        QTest::newRow("no records") << FetchRow{FakeRdt::header(0), 64, 0, false, RDTUpdatethread::Empty, 0, none};
        QTest::newRow("three records") << FetchRow{all, 64, 0, false, D, 0, none};
        QTest::newRow("length not a multiple of 8") << FetchRow{FakeRdt::header(20) + recs + "next", 64, 0, false, D, 0, "next"};
        QTest::newRow("reads of 1 byte") << FetchRow{all, 1, 0, false, D, 0, none};
        QTest::newRow("reads of 13 bytes") << FetchRow{all, 13, 0, false, D, 0, none};
        QTest::newRow("request refused") << FetchRow{all, 64, -10012, false, F, -10012, all};
        QTest::newRow("header cut short") << FetchRow{all.left(7), 64, 0, false, F, -10007, none};
        QTest::newRow("record cut short") << FetchRow{all.left(32), 64, 0, false, F, -10007, none};
        QTest::newRow("the largest length is read") << FetchRow{FakeRdt::header(max) + recs, 64, 0, false, F, -10007, none};
        QTest::newRow("longer than a card holds") << FetchRow{FakeRdt::header(max + 8) + recs, 64, 0, false, F, -1, recs};
        QTest::newRow("interrupted, request refused") << FetchRow{all, 64, -10013, true, I, 0, all};
        QTest::newRow("interrupted: no record is read") << FetchRow{all, 64, 0, true, I, 0, all.mid(12)};
    }
    // One exchange: the request u32 6, the 12-byte header with the length at
    // 4, whole 8-byte records; a failure logged with its reason, nothing
    // delivered by a failed or interrupted exchange.
    void timelineFetch()
    {
        QFETCH(FetchRow, row);
        const auto& [reply, chunk, writeResult, interrupted, result, err, left] = row;
        FakeRdt rdt;
        rdt.chunk = chunk;
        rdt.writeResult = writeResult;
        rdt.incoming = reply;
        QVector<RecordFileHeader> recs;
        int e = 0;
        LogCapture log;
        QCOMPARE(int(RDTUpdatethread::fetchTimeLine(rdt.api(), 7, [i = interrupted] { return i; }, &recs, &e)), result);
        QCOMPARE(e, err);
        QCOMPARE(rdt.incoming, left);
        QCOMPARE(rdt.written, QVector<QByteArray>{QByteArray::fromHex("06000000")});
        QCOMPARE(log.lines().isEmpty(), result != RDTUpdatethread::Failed && !reply.startsWith(FakeRdt::header(20)));
        QCOMPARE(recs.size(), result == RDTUpdatethread::Delivered ? 3 : 0);
        auto fields = [&](int i) { return QVector<qint64>{recs[i].startTime, recs[i].duration, recs[i].motioned, recs[i].saved}; };
        if (!recs.isEmpty()) {
            QCOMPARE(fields(0), (QVector<qint64>{1765000000, 60, 1, 0}));
            QCOMPARE(fields(1), (QVector<qint64>{1765000060, 255, 0, 1}));
            QCOMPARE(fields(2), (QVector<qint64>{0, 10, 0, 0}));
        }
    }

    void gain_data()
    {
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        const int rows[][2] = {{0, 0}, {123, 1230}, {-123, -1230}, {3276, 32760}, {3277, 32767}, {32767, 32767},
                               {-3276, -32760}, {-3277, -32768}, {-32768, -32768}};
        for (const auto& r : rows)
            QTest::addRow("%d", r[0]) << r[0] << r[1];
    }
    void gain()
    {
        QFETCH(int, in);
        QFETCH(int, out);
        QByteArray pcm = samples({in, in}) + 'x'; // a stray byte is left alone
        AudioDevice::amplify(pcm.data(), pcm.size());
        QCOMPARE(pcm, samples({out, out}) + 'x');
    }

    void audioPayload_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<int>("codec");
        QTest::addColumn<QByteArray>("pcm");
        const QByteArray nonce(8, '\x01'), alaw = QByteArray::fromHex("d5aa2ad5d5d5d5d5d5d5d5d5d5d5d5d5");
        const QByteArray pcm = samples({8, 32256, -32256, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8});
        const int table[][2] = {{0xD5, 8}, {0x55, -8}, {0xD4, 24}, {0xC5, 264}, {0xFF, 848}, {0x7F, -848},
                                {0x80, 5504}, {0x00, -5504}, {0xAA, 32256}, {0x2A, -32256}}; // ITU-T G.711
        for (const auto& r : table) // any codec but PCM is A-law
            QTest::addRow("A-law 0x%02X", r[0]) << QByteArray(2, char(r[0])) << 0 << samples({r[1], r[1]});
        QTest::newRow("24 bytes: decrypted") << nonce + chacha(alaw, nonce) << 138 << pcm;
        QTest::newRow("23 bytes: as they are") << alaw.left(15) + QByteArray(8, '\xd5') << 138 << pcm.left(30) + pcm.right(16);
        QTest::newRow("PCM, odd length") << nonce + chacha(samples({1, -2, 300}) + QByteArray(11, '\0'), nonce) << 136 << samples({1, -2, 300, 0, 0, 0, 0, 0});
    }
    void audioPayload()
    {
        QFETCH(QByteArray, frame);
        QFETCH(int, codec);
        QFETCH(QByteArray, pcm);
        QCOMPARE(AudioDecodeThread::decodePayload(AudioDecodeThread::decryptFrame(frame, kKey), quint16(codec)).toHex(), pcm.toHex());
    }

    // A read waits for the whole request; writes stop above the high-water
    // mark; abort releases both; a device started again works again.
    void pcmDevice()
    {
        AudioDevice device(nullptr, false);
        QVERIFY(!device.writePcm(samples({1}))); // not started
        QVERIFY(device.start());
        QByteArray got(8, '\0'), drain(4096, '\0'), all(int(AudioDevice::HighWaterMark), '\0');
        auto reader = std::async(std::launch::async, [&] { return device.read(got.data(), 8); });
        QVERIFY(device.writePcm(samples({1, 2})));
        QCOMPARE(reader.wait_for(Ms(30)), std::future_status::timeout);
        QVERIFY(device.writePcm(samples({3, 4, 5})));
        QCOMPARE(reader.get(), qint64(8));
        QCOMPARE(got, samples({10, 20, 30, 40}));
        QCOMPARE(device.bufferedBytes(), qint64(2));
        QVERIFY(device.writePcm(all.left(all.size() - 2))); // at the mark
        QVERIFY(device.writePcm(samples({6})));             // above it
        auto writer = std::async(std::launch::async, [&] { return device.writePcm(samples({7})); });
        QCOMPARE(writer.wait_for(Ms(30)), std::future_status::timeout);
        QCOMPARE(device.read(drain.data(), drain.size()), qint64(4096));
        QVERIFY(writer.get());
        auto blocked = std::async(std::launch::async, [&] { return device.read(all.data(), all.size()); }); // more than there is
        QCOMPARE(blocked.wait_for(Ms(30)), std::future_status::timeout);
        device.abort();
        QCOMPARE(blocked.get(), qint64(-1));
        QVERIFY(!device.writePcm(samples({8})));
        device.stop();
        QVERIFY(device.start());
        QVERIFY(device.writePcm(samples({9})));
        QCOMPARE(device.read(got.data(), 2), qint64(2));
        QCOMPARE(got.left(2), samples({90}));
    }

    // 200 frames wait at most; the thread decodes them into the device and
    // stops even while it waits to write; without a key it plays nothing.
    void decodeThread()
    {
        AudioDecodeThread queue(nullptr, kKey);
        for (int i = 0; i < AudioDecodeThread::QueueLimit; ++i)
            queue.pushFrame(AudioFrame());
        auto extra = std::async(std::launch::async, [&] { queue.pushFrame(AudioFrame()); });
        QCOMPARE(extra.wait_for(Ms(30)), std::future_status::timeout);
        AudioFrame f;
        QVERIFY(queue.popFrame(&f));
        extra.get();
        queue.stop();
        int left = 0;
        while (queue.popFrame(&f))
            ++left;
        QCOMPARE(left, AudioDecodeThread::QueueLimit);

        for (const QByteArray& key : {kKey, QByteArray()}) {
            LogCapture log;
            AudioDevice device(nullptr, false);
            QVERIFY(device.start());
            AudioDecodeThread decoder(&device, key);
            decoder.start();
            decoder.pushFrame(audioFrame(QByteArray::fromHex("d5d4c5") + QByteArray(13, '\xd5')));
            decoder.pushFrame(audioFrame(samples({100, -100, 200, -200, 300, -300, 400, -400}), AvFrameHeader::CodecPcm));
            if (key.isEmpty()) {
                QVERIFY(decoder.wait(10000)); // ends at its first frame
                QCOMPARE(device.bufferedBytes(), qint64(0));
                QVERIFY(log.contains("no media key"));
                continue;
            }
            QByteArray out(48, '\0');
            QCOMPARE(device.read(out.data(), out.size()), qint64(48));
            QCOMPARE(out.left(6) + out.right(16), samples({80, 240, 2640, 1000, -1000, 2000, -2000, 3000, -3000, 4000, -4000}));
            for (int i = 0; i < 40; ++i) // far past the high-water mark, nobody reading
                decoder.pushFrame(audioFrame(QByteArray(65536, '\0'), AvFrameHeader::CodecPcm));
            QTRY_VERIFY(device.bufferedBytes() > AudioDevice::HighWaterMark);
            decoder.stop();
            QVERIFY(decoder.wait(10000));
        }
    }

    // Start, stop and restart, with and without an output; headless, frames
    // become amplified PCM in the device, and a stop releases a producer
    // blocked on the full queue.
    void player()
    {
        LogCapture log;
        AudioPlayer player(kKey);
        player.pushFrame(audioFrame(QByteArray(40, '\xd5')));
        QCOMPARE(log.count("ignore frame for decode thread not created yet."), 1);
        for (int round = 0; round < 12; ++round) {
            player.setHeadless(round % 2 == 0);
            player.start();
            player.start();
            if (round % 3 == 0)
                QTRY_COMPARE_WITH_TIMEOUT(player.state(), AudioPlayer::Running, 10000);
            if (round % 3 == 1)
                player.pushFrame(audioFrame(QByteArray(160, '\xd5')));
            player.stop();
            QVERIFY(player.state() == AudioPlayer::Stopped && !player.device());
        }
        QCOMPARE(log.count("cannot start audio again for status not ready!"), 12);
        player.stop();
        QCOMPARE(log.count("cannot stop audio again for not started!"), 1);
        QVERIFY(!QAudioDeviceInfo::defaultOutputDevice().isNull() || !log.lines().filter(QRegularExpression("no audio output|failed to open Audio")).isEmpty());
        player.setHeadless(true);
        player.start();
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), AudioPlayer::Running, 10000);
        for (int i = 0; i < 5; ++i)
            player.pushFrame(audioFrame(QByteArray(160, '\xd5')));
        QTRY_COMPARE(player.device()->bufferedBytes(), qint64(5 * 320));
        QByteArray out(4, '\0');
        QCOMPARE(player.device()->read(out.data(), 4), qint64(4));
        QCOMPARE(out, samples({80, 80}));
        std::atomic<bool> producing{true};
        auto producer = std::async(std::launch::async, [&] {
            while (producing)
                player.pushFrame(audioFrame(QByteArray(2000, '\xd5')));
        });
        auto endProducer = qScopeGuard([&] { producing = false; player.stop(); }); // a failed check must not hang
        QTRY_VERIFY_WITH_TIMEOUT(player.decodeThread()->queuedFrames() == AudioDecodeThread::QueueLimit, 20000);
        producing = false;
        QElapsedTimer t;
        t.start();
        player.stop();
        producer.get();
        QVERIFY(t.elapsed() < 5000);
    }

    void fuzzInputs_data()
    {
        QTest::addColumn<QString>("folder");
        const QString base = QStringLiteral(VC_SOURCE_DIR "/tests/camera/");
        QTest::newRow("camera corpus") << base + "fuzz-corpus/fuzz_cameraparsers";
        QTest::newRow("camera regressions") << base + "fuzz-regressions";
        QTest::newRow("video corpus") << base + "fuzz-corpus/fuzz_videoframe";
        QTest::newRow("video regressions") << base + "fuzz-regressions/videoframe";
    }
    void fuzzInputs()
    {
        QFETCH(QString, folder);
        const QDir dir(folder);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!files.isEmpty(), qPrintable(folder));
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        for (const QString& name : files) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray in = f.readAll();
            const auto* p = reinterpret_cast<const uint8_t*>(in.constData());
            folder.contains("video") ? fuzzVideoFrame(p, size_t(in.size())) : void(runCameraFuzzInput(p, size_t(in.size())));
        }
        qInstallMessageHandler(previous);
    }
};

VC_AUDIO_TEST_GUILESS_MAIN(TestCameraParts)
#include "tst_cameraparts.moc"
