#include "cloud/rc4.h"
#include "cloud/rc4dropcoder.h"

#include <QtTest>

// Key-stream vectors of RFC 6229 at offsets of 1024 and beyond: with 1024
// bytes dropped, the key stream at offset N is the coder's byte N - 1024.
class TestRc4 : public QObject
{
    Q_OBJECT

    static QByteArray keyStream(const QByteArray& key, int length)
    {
        RC4DropCoder coder(QString::fromLatin1(key.toBase64()));
        return coder.process(QByteArray(length, '\0'));
    }

private slots:
    void rfc6229_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray k40 = QByteArray::fromHex("0102030405");
        QTest::newRow("40 bit @1024") << k40 << 1024 << QByteArray::fromHex("30abbcc7c20b01609f23ee2d5f6bb7df");
        QTest::newRow("40 bit @1520") << k40 << 1520 << QByteArray::fromHex("3294f744d8f9790507e70f62e5bbceea");
        QTest::newRow("40 bit @2048") << k40 << 2048 << QByteArray::fromHex("cc582f8ba9f265e2b1be9112e975d2d7");
        QTest::newRow("40 bit @4096") << k40 << 4096 << QByteArray::fromHex("ff25b58995996707e51fbdf08b34d875");
        const QByteArray k256 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20");
        QTest::newRow("256 bit @1024") << k256 << 1024 << QByteArray::fromHex("7fec5bfd9f9b89ce6548309092d7e958");
        QTest::newRow("256 bit @1536") << k256 << 1536 << QByteArray::fromHex("3e34135c79db010200767651cf263073");
        QTest::newRow("256 bit @3072") << k256 << 3072 << QByteArray::fromHex("625a1ab00ee39a5327346bddb01a9c18");
    }

    void rfc6229()
    {
        QFETCH(QByteArray, key);
        QFETCH(int, offset);
        QFETCH(QByteArray, expected);
        const QByteArray ks = keyStream(key, offset - 1024 + 16);
        QCOMPARE(ks.mid(offset - 1024, 16).toHex(), expected.toHex());
    }

    void plainRc4MatchesVectorAtStart()
    {
        RC4 rc4;
        QVERIFY(rc4.setKey(QByteArray::fromHex("0102030405")));
        QCOMPARE(rc4.process(QByteArray(16, '\0')).toHex(), QByteArray("b2396305f03dc027ccc3524a0a1118a8"));
    }

    void keyStreamRunsOnAcrossCalls()
    {
        const QString key = QString::fromLatin1(QByteArray(32, '\x5a').toBase64());
        RC4DropCoder one(key);
        const QString first = one.encryptToBase64(QStringLiteral("hello"));
        const QString second = one.encryptToBase64(QStringLiteral("hello"));
        QVERIFY(first != second);
        RC4DropCoder fresh(key);
        QCOMPARE(fresh.encryptToBase64(QStringLiteral("hello")), first);
        // The second call used key-stream bytes 5..9.
        RC4DropCoder whole(key);
        const QByteArray both = QByteArray::fromBase64(whole.encryptToBase64(QStringLiteral("hellohello")).toLatin1());
        QCOMPARE(QByteArray::fromBase64(second.toLatin1()), both.mid(5));
        // Decryption continues the same way.
        RC4DropCoder dec(key);
        QCOMPARE(dec.decryptFromBase64(first.toLatin1()), QByteArray("hello"));
        QCOMPARE(dec.decryptFromBase64(second.toLatin1()), QByteArray("hello"));
    }

    void emptyKeyRefusesToWork()
    {
        QTest::ignoreMessage(QtWarningMsg, "rc4 key is null");
        QTest::ignoreMessage(QtWarningMsg, "rc4Key length is invalid");
        RC4DropCoder coder{QString()};
        QVERIFY(coder.encryptToBase64(QStringLiteral("secret data")).isEmpty());
        QVERIFY(coder.decryptFromBase64("c2VjcmV0").isEmpty());
    }

    void shortKeyWarnsButWorks()
    {
        QTest::ignoreMessage(QtWarningMsg, "rc4Key length is invalid");
        RC4DropCoder coder(QString::fromLatin1(QByteArray::fromHex("0102030405").toBase64()));
        QCOMPARE(coder.process(QByteArray(16, '\0')).toHex(), QByteArray("30abbcc7c20b01609f23ee2d5f6bb7df"));
    }

    void emptyInputWarns()
    {
        RC4DropCoder coder(QString::fromLatin1(QByteArray(32, '\1').toBase64()));
        QTest::ignoreMessage(QtWarningMsg, "no block data");
        QVERIFY(coder.decryptFromBase64(QByteArray()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRc4)
#include "tst_rc4.moc"
