// Decryption of the encrypted video frame against vectors built here with
// libsodium directly: the frame layout, the protected-block positions, and
// every way a frame can be malformed.
#include "camera/videobuffer.h"

#include <QRegularExpression>
#include <QtTest>
#include <sodium.h>

namespace {

struct Unit
{
    quint32 offset;
    quint32 length;
};

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char(v >> (8 * i));
    return b;
}

QByteArray frameOf(const QByteArray& nonce, const QVector<Unit>& table, const QByteArray& payload, int count = -1)
{
    QByteArray f = nonce;
    f.append(char(count < 0 ? table.size() : count));
    for (const Unit& u : table)
        f += le32(u.offset) + le32(u.length);
    return f + payload;
}

QByteArray randomBytes(int n)
{
    QByteArray b(n, '\0');
    randombytes_buf(b.data(), size_t(n));
    return b;
}

} // namespace

class TestVideoDecrypt : public QObject
{
    Q_OBJECT

    QByteArray m_key;
    QByteArray m_nonce;

    // Encrypts (or decrypts: XOR) the 16 bytes at pos of buf the way the camera
    // does: crypto_stream_chacha20_xor on exactly those bytes, counter 0.
    void xorBlock(QByteArray& buf, int pos) const
    {
        auto* p = reinterpret_cast<unsigned char*>(buf.data()) + pos;
        QVERIFY(crypto_stream_chacha20_xor(p, p, 16, reinterpret_cast<const unsigned char*>(m_nonce.constData()),
                    reinterpret_cast<const unsigned char*>(m_key.constData()))
            == 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(sodium_init() >= 0);
        m_key = randomBytes(32);
        m_nonce = randomBytes(8);
    }

    // Blocks at unit positions 32, 192, 352, ... while p < length - 16; for a
    // unit of length 48 none, for 49 one at 32.
    void protectedBlocks_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QVector<int>>("blocks");
        QTest::newRow("48: none") << 48 << QVector<int>{};
        QTest::newRow("49: one at 32") << 49 << QVector<int>{32};
        QTest::newRow("208: 32 only") << 208 << QVector<int>{32};
        QTest::newRow("209: 32, 192") << 209 << QVector<int>{32, 192};
        QTest::newRow("400: 32, 192, 352") << 400 << QVector<int>{32, 192, 352};
        QTest::newRow("1000") << 1000 << QVector<int>{32, 192, 352, 512, 672, 832};
        QTest::newRow("0: none") << 0 << QVector<int>{};
    }
    void protectedBlocks()
    {
        QFETCH(int, length);
        QFETCH(QVector<int>, blocks);
        const int lead = 7; // the unit does not start at the payload's start
        const QByteArray plain = randomBytes(lead + length + 20);
        QByteArray cipher = plain;
        for (int b : blocks)
            xorBlock(cipher, lead + b);
        VideoFrame frame;
        frame.data = frameOf(m_nonce, {{quint32(lead), quint32(length)}}, cipher);
        VideoBuffer vb(false, m_key);
        QVERIFY(vb.decryptFrame(frame));
        QCOMPARE(frame.length(), plain.size());
        QCOMPARE(frame.data, plain);
    }

    void severalUnits()
    {
        const QByteArray plain = randomBytes(1200);
        const QVector<Unit> units{{0, 100}, {100, 250}, {350, 600}, {950, 250}};
        QByteArray cipher = plain;
        for (const Unit& u : units)
            for (int p = 32; p < int(u.length) - 16; p += 160)
                xorBlock(cipher, int(u.offset) + p);
        QVERIFY(cipher != plain);
        VideoFrame frame;
        frame.data = frameOf(m_nonce, units, cipher);
        VideoBuffer vb(true, m_key);
        QVERIFY(vb.decryptFrame(frame));
        QCOMPARE(frame.data, plain);
    }

    void noTableLeavesPayload()
    {
        const QByteArray payload = randomBytes(300);
        VideoFrame frame;
        frame.data = frameOf(m_nonce, {}, payload);
        VideoBuffer vb(false, m_key);
        QVERIFY(vb.decryptFrame(frame));
        QCOMPARE(frame.data, payload);
    }

    void tooManyEntries()
    {
        // Three entries claimed, room for two (24 > 16 + 9 - 9).
        QByteArray f = frameOf(m_nonce, {{0, 10}, {0, 10}}, QByteArray(), 3);
        QCOMPARE(f.size(), 25);
        VideoFrame frame;
        frame.data = f;
        VideoBuffer vb(false, m_key);
        QTest::ignoreMessage(QtWarningMsg, "invalid nal_num:3, frame_len:25");
        QVERIFY(!vb.decryptFrame(frame));
        QCOMPARE(frame.data, f);

        frame.data = frameOf(m_nonce, {}, QByteArray(), 255) + QByteArray(100, 'x');
        QTest::ignoreMessage(QtWarningMsg, "invalid nal_num:255, frame_len:109");
        QVERIFY(!vb.decryptFrame(frame));
    }

    void emptyPayload()
    {
        VideoFrame frame;
        frame.data = frameOf(m_nonce, {{0, 64}, {0, 64}}, QByteArray());
        VideoBuffer vb(false, m_key);
        QTest::ignoreMessage(QtWarningMsg, "video decrpyt error:data_len=0 (25-25)");
        QVERIFY(!vb.decryptFrame(frame));

        frame.data = frameOf(m_nonce, {}, QByteArray());
        QTest::ignoreMessage(QtWarningMsg, "video decrpyt error:data_len=0 (9-9)");
        QVERIFY(!vb.decryptFrame(frame));
    }

    void shortFrames()
    {
        VideoBuffer vb(false, m_key);
        VideoFrame frame;
        QVERIFY(!vb.decryptFrame(frame)); // no bytes: dropped without a message
        frame.data = QByteArray(5, '\x01');
        QTest::ignoreMessage(QtWarningMsg, "invalid nal_num:0, frame_len:5");
        QVERIFY(!vb.decryptFrame(frame));
    }

    void noOrBadKey()
    {
        VideoFrame frame;
        frame.data = frameOf(m_nonce, {{0, 100}}, randomBytes(100));
        VideoBuffer none(false, QByteArray());
        QVERIFY(!none.hasKey());
        QTest::ignoreMessage(QtWarningMsg, "invalid media key length:0");
        QVERIFY(!none.decryptFrame(frame));
        VideoBuffer shortKey(false, QByteArray(16, 'k'));
        QTest::ignoreMessage(QtWarningMsg, "invalid media key length:16");
        QVERIFY(!shortKey.decryptFrame(frame));
    }

    // An entry that runs past the payload stops decryption of the frame; the
    // frame still goes on with the blocks decrypted so far.
    void offsetPastPayload()
    {
        const QByteArray plain = randomBytes(600);
        QByteArray cipher = plain;
        xorBlock(cipher, 32);  // unit 0: {0, 100}
        xorBlock(cipher, 232); // unit 2: {200, 300} stays encrypted
        xorBlock(cipher, 392);
        VideoFrame frame;
        frame.data = frameOf(m_nonce, {{0, 100}, {590, 200}, {200, 300}}, cipher);
        VideoBuffer vb(false, m_key);
        QTest::ignoreMessage(QtWarningMsg, "invalid video frame: data-len 600");
        QVERIFY(vb.decryptFrame(frame));
        QCOMPARE(frame.data.size(), 600);
        QCOMPARE(frame.data.mid(0, 200), plain.mid(0, 200));
        QCOMPARE(frame.data.mid(200), cipher.mid(200));
    }

    void hugeOffsetAndLength()
    {
        const QByteArray payload = randomBytes(100);
        QByteArray firstBlockOnly = payload;
        xorBlock(firstBlockOnly, 32);
        VideoBuffer vb(false, m_key);
        const struct
        {
            Unit unit;
            QByteArray expected;
        } cases[] = {
            {{0xFFFFFFF0u, 100}, payload},
            {{0x7FFFFFF0u, 0x7FFFFFFFu}, payload},
            {{0, 0xFFFFFFFFu}, firstBlockOnly}, // the block at 32 fits, the one at 192 does not
        };
        for (const auto& c : cases) {
            VideoFrame frame;
            frame.data = frameOf(m_nonce, {c.unit}, payload);
            QTest::ignoreMessage(QtWarningMsg, "invalid video frame: data-len 100");
            QVERIFY(vb.decryptFrame(frame));
            QCOMPARE(frame.data, c.expected);
        }
    }

    void readUint32()
    {
        const unsigned char t[8] = {0x01, 0x02, 0x03, 0x04, 0xff, 0xee, 0xdd, 0xcc};
        QCOMPARE(VideoBuffer::readUint32(t, 8, 0), quint32(0x04030201));
        QCOMPARE(VideoBuffer::readUint32(t, 8, 4), quint32(0xccddeeff));
        QTest::ignoreMessage(QtWarningMsg, "pos + 3 > max_byt_len (5 + 3 > 8)");
        QCOMPARE(VideoBuffer::readUint32(t, 8, 5), quint32(0));
        QTest::ignoreMessage(QtWarningMsg, "pos + 3 > max_byt_len (-1 + 3 > 8)");
        QCOMPARE(VideoBuffer::readUint32(t, 8, -1), quint32(0));
    }
};

QTEST_GUILESS_MAIN(TestVideoDecrypt)
#include "tst_videodecrypt.moc"
