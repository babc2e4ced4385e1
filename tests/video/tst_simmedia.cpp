// The emulated camera's media: the looping test clip and the sender side of
// the encrypted frame format, round-tripped through the client's decryption
// and decoder.
#include "camera/avframeheader.h"
#include "camera/videobuffer.h"
#include "sim/media/clipencoder.h"
#include "sim/media/cliplibrary.h"
#include "sim/media/frameencryptor.h"

#include <QtTest>
#include <sodium.h>
#include <thread>
#include <vector>

namespace {

ClipParams params(bool h265, int w = 320, int h = 180, int frames = 10)
{
    ClipParams p;
    p.h265 = h265;
    p.width = w;
    p.height = h;
    p.fps = 5;
    p.frames = frames;
    p.label = QStringLiteral("Garden");
    return p;
}

} // namespace

class TestSimMedia : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }

    void clipStructure_data()
    {
        QTest::addColumn<bool>("h265");
        QTest::newRow("H.264") << false;
        QTest::newRow("H.265") << true;
    }
    // Key frames exactly every fps frames, and each one starts a stream that
    // a fresh decoder can show (joining after play or after a quality change).
    void clipStructure()
    {
        QFETCH(bool, h265);
        QString error;
        const EncodedClip clip = ClipEncoder::encode(params(h265), &error);
        QVERIFY2(clip.isValid(), qPrintable(error));
        QCOMPARE(clip.size(), 10);
        for (int i = 0; i < clip.size(); ++i)
            QCOMPARE(clip.keyFrames.at(i), i % 5 == 0);
        for (int start : {0, 5}) {
            VideoBuffer vb(h265, QByteArray());
            vb.setDstSize(320, 180);
            for (int i = start; i < clip.size(); ++i) {
                VideoFrame f;
                f.data = clip.frames.at(i);
                QVERIFY2(!vb.decodeFrame(f).isNull(), qPrintable(QStringLiteral("start %1 frame %2").arg(start).arg(i)));
            }
        }
        // Looping: the first key frame follows the last frame seamlessly.
        VideoBuffer vb(h265, QByteArray());
        for (int i = 0; i < 2 * clip.size(); ++i) {
            VideoFrame f;
            f.data = clip.frames.at(i % clip.size());
            QVERIFY(!vb.decodeFrame(f).isNull());
        }
    }

    void badParams()
    {
        QString error;
        ClipParams p = params(false, 15, 9);
        QVERIFY(!ClipEncoder::encode(p, &error).isValid());
        QVERIFY(error.contains(QLatin1String("bad clip parameters")));
    }

    void nalUnits()
    {
        const QByteArray s = QByteArray::fromHex("00000001" "6742" "000001" "68ce3c80" "00000001" "65888400ff");
        const auto units = FrameEncryptor::nalUnits(s);
        QCOMPARE(units.size(), 3);
        QCOMPARE(units.at(0), qMakePair(4, 2));
        QCOMPARE(units.at(1), qMakePair(9, 4));
        QCOMPARE(units.at(2), qMakePair(17, 5));
        QVERIFY(FrameEncryptor::nalUnits(QByteArray::fromHex("0102030405")).isEmpty());
    }

    void header()
    {
        const QByteArray h = FrameEncryptor::header(FrameEncryptor::kCodecH265, true, true, 1765000123u,
            Q_UINT64_C(0x0102030405060708), 77);
        QCOMPARE(h.size(), 24);
        const AvFrameHeader parsed = AvFrameHeader::fromBytes(h.constData(), h.size());
        QCOMPARE(parsed.codecId(), FrameEncryptor::kCodecH265);
        QVERIFY(parsed.flags() != 0);
        QVERIFY(parsed.isPlayback());
        QVERIFY(!parsed.isAudio());
        QCOMPARE(parsed.timestamp(), 1765000123u);
        QCOMPARE(FrameEncryptor::sendTimeUs(parsed.bytes), Q_UINT64_C(0x0102030405060708));
        const QByteArray lh = FrameEncryptor::header(FrameEncryptor::kCodecH264, false, false, 5);
        const AvFrameHeader live = AvFrameHeader::fromBytes(lh.constData(), lh.size());
        QVERIFY(live.flags() == 0 && !live.isPlayback());
        const QByteArray ah = FrameEncryptor::header(138, false, false, 5);
        const AvFrameHeader audio = AvFrameHeader::fromBytes(ah.constData(), ah.size());
        QVERIFY(audio.isAudio());
    }

    void roundTrip_data()
    {
        QTest::addColumn<bool>("h265");
        QTest::newRow("H.264") << false;
        QTest::newRow("H.265") << true;
    }
    // Encrypted by the camera, decrypted and decoded by the client.
    void roundTrip()
    {
        QFETCH(bool, h265);
        const EncodedClip clip = ClipEncoder::encode(params(h265, 640, 360, 6));
        QVERIFY(clip.isValid());
        QByteArray key(32, '\0');
        randombytes_buf(key.data(), 32);
        const FrameEncryptor enc(key);
        VideoBuffer vb(h265, key);
        vb.setDstSize(640, 360);
        QByteArray otherKey = key;
        otherKey[0] = char(otherKey[0] ^ 1);
        VideoBuffer wrong(h265, otherKey);
        int changed = 0;
        for (int i = 0; i < clip.size(); ++i) {
            const QByteArray wire = enc.encrypt(clip.frames.at(i));
            const int n = quint8(wire.at(8));
            QCOMPARE(n, FrameEncryptor::nalUnits(clip.frames.at(i)).size());
            QCOMPARE(wire.size(), 9 + 8 * n + clip.frames.at(i).size());
            if (wire.mid(9 + 8 * n) != clip.frames.at(i))
                ++changed;
            VideoFrame f;
            f.data = wire;
            QVERIFY(vb.decryptFrame(f));
            QCOMPARE(f.data, clip.frames.at(i));
            QVERIFY(!vb.decodeFrame(f).isNull());

            VideoFrame g;
            g.data = wire;
            QVERIFY(wrong.decryptFrame(g));
            if (wire.mid(9 + 8 * n) != clip.frames.at(i))
                QVERIFY(g.data != clip.frames.at(i));
        }
        QCOMPARE(changed, clip.size()); // every frame has protected blocks
    }

    void freshNoncePerFrame()
    {
        const FrameEncryptor enc(QByteArray(32, 'k'));
        const QByteArray au = QByteArray::fromHex("00000001") + QByteArray(300, 'a');
        QVERIFY(enc.encrypt(au).left(8) != enc.encrypt(au).left(8));
    }

    void libraryEncodesOnce()
    {
        ClipLibrary& lib = ClipLibrary::instance();
        lib.clear();
        const ClipParams p = params(false, 160, 90, 5);
        std::vector<std::shared_ptr<const EncodedClip>> got(4);
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i)
            threads.emplace_back([&, i] { got[size_t(i)] = lib.clip(p); });
        for (auto& t : threads)
            t.join();
        QCOMPARE(lib.encodeCount(), 1);
        for (const auto& c : got) {
            QVERIFY(c && c->isValid());
            QCOMPARE(c.get(), got[0].get());
        }
        ClipParams other = p;
        other.label = QStringLiteral("Other");
        QVERIFY(lib.clip(other).get() != got[0].get());
        QCOMPARE(lib.encodeCount(), 2);
        QVERIFY(lib.clip(p).get() == got[0].get());
        QCOMPARE(lib.encodeCount(), 2);
    }

    void modelsAndQualities()
    {
        QVERIFY(ClipLibrary::modelUsesH265(QStringLiteral("hovia.camera.v4")));
        QVERIFY(ClipLibrary::modelUsesH265(QStringLiteral("lanterra.camera.ipc009")));
        QVERIFY(!ClipLibrary::modelUsesH265(QStringLiteral("hovia.camera.v1")));
        QVERIFY(!ClipLibrary::modelUsesH265(QStringLiteral("hovia.camera.v3")));
        const QSize cam(1280, 720);
        QCOMPARE(ClipLibrary::sizeForQuality(0, cam), cam);
        QCOMPARE(ClipLibrary::sizeForQuality(1, cam), QSize(640, 360));
        QCOMPARE(ClipLibrary::sizeForQuality(2, cam), cam);
        QCOMPARE(ClipLibrary::sizeForQuality(7, cam), cam);
        QCOMPARE(ClipLibrary::sizeForQuality(1, QSize(320, 180)), QSize(320, 180));
    }
};

QTEST_GUILESS_MAIN(TestSimMedia)
#include "tst_simmedia.moc"
