// The cloud code that needs no network: the RC4 coder, the request signer, the secret redactor, the reply watchdog and
// size limit, the reply parsers, and the kept fuzz corpora replayed through the fuzzers' entries.
#include "cloudfuzz.h"

#include "cloud/mnetworkreply.h"
#include "cloud/rc4.h"

#include <QCryptographicHash>
#include <QDir>
#include <QJsonArray>
#include <QSet>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <sodium.h>

namespace {

// A reply whose end the test decides.
struct FakeReply : QNetworkReply
{
    FakeReply() { open(QIODevice::ReadOnly); }
    void finish() { setFinished(true), emit finished(); }
    void abort() override { aborted = true, finish(); }
    qint64 readData(char*, qint64) override { return -1; }
    bool aborted = false;
};

QByteArray sha(const QByteArray& b, QCryptographicHash::Algorithm a) { return QCryptographicHash::hash(b, a); }

int replayDir(const char* dir, int (*run)(const uint8_t*, size_t))
{
    int replayed = 0;
    for (const QFileInfo& f : QDir(QStringLiteral(VC_SOURCE_DIR "/tests/cloud/") + dir).entryInfoList(QDir::Files)) {
        QFile file(f.filePath());
        const QByteArray in = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        run(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
        replayed += file.isOpen() ? 1 : -1000;
    }
    return replayed;
}

} // namespace

class TestCloudCodec : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(sodium_init() >= 0); }
    void cleanup() { SecretRedactor::forgetSecrets(); }

    // RFC 6229 key-stream vectors: plain RC4 (keyed again after other use) at the offset, and the coder, which drops
    // 1024 bytes, at offset - 1024.
    void rc4Vectors_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray k40 = QByteArray::fromHex("0102030405");
        const QByteArray k256 = QByteArray::fromHex("0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20");
        QTest::newRow("40 bit @0") << k40 << 0 << QByteArray::fromHex("b2396305f03dc027ccc3524a0a1118a8");
        QTest::newRow("40 bit @1024") << k40 << 1024 << QByteArray::fromHex("30abbcc7c20b01609f23ee2d5f6bb7df");
        QTest::newRow("40 bit @4096") << k40 << 4096 << QByteArray::fromHex("ff25b58995996707e51fbdf08b34d875");
        QTest::newRow("256 bit @1024") << k256 << 1024 << QByteArray::fromHex("7fec5bfd9f9b89ce6548309092d7e958");
        QTest::newRow("256 bit @3072") << k256 << 3072 << QByteArray::fromHex("625a1ab00ee39a5327346bddb01a9c18");
    }
    void rc4Vectors()
    {
        QFETCH(QByteArray, key);
        QFETCH(int, offset);
        QFETCH(QByteArray, expected);
        RC4 plain;
        QVERIFY(plain.setKey("another key"));
        plain.process(QByteArray(77, 'x'));
        QVERIFY(plain.setKey(key));
        QCOMPARE(plain.process(QByteArray(offset + 16, '\0')).mid(offset).toHex(), expected.toHex());
        if (offset >= RC4DropCoder::kDrop) {
            RC4DropCoder coder(QString::fromLatin1(key.toBase64()));
            QCOMPARE(coder.process(QByteArray(offset - 1024 + 16, '\0')).mid(offset - 1024).toHex(), expected.toHex());
        }
    }

    // The signed body, checked against values computed here from the rules (with the plain RC4 that the vectors above
    // prove).
    void signedFields()
    {
        const QString ssecurity = QStringLiteral("Zm9yLXRlc3Qtc3NlY3VyaXR5");
        const QByteArray nonceBytes = QByteArray::fromHex("01020304050607081a2b3c4d");
        const QString nonce = QString::fromLatin1(nonceBytes.toBase64());
        const QString path = QStringLiteral("/home/rpc/cam1");
        const QJsonObject params{{"method", "get_prop"}, {"id", "cam1"}, {"params", QJsonArray{"power", "light"}}};
        const QByteArray json = R"({"id":"cam1","method":"get_prop","params":["power","light"]})";
        const QByteArray snBytes = sha(QByteArray::fromBase64(ssecurity.toLatin1()) + nonceBytes, QCryptographicHash::Sha256);
        const QByteArray sn = snBytes.toBase64();
        QCOMPARE(RequestSigner::signedNonce(ssecurity, nonce), QString::fromLatin1(sn));
        const QByteArray hash = sha("POST&" + path.toUtf8() + "&data=" + json + "&" + sn, QCryptographicHash::Sha1).toBase64();
        RC4 rc4;
        rc4.setKey(snBytes);
        rc4.process(QByteArray(1024, '\0'));
        const QByteArray stream = rc4.process(json + hash); // the hash runs on from the data's key stream
        const QByteArray encData = stream.left(json.size()).toBase64();
        const QByteArray encHash = stream.mid(json.size()).toBase64();
        const QByteArray signature = sha("POST&" + path.toUtf8() + "&data=" + encData + "&rc4_hash__=" + encHash + "&" + sn,
                                         QCryptographicHash::Sha1).toBase64();

        const QHash<QString, QString> f = RequestSigner::signedFields(path, params, ssecurity, nonce);
        QCOMPARE(f.value("data").toLatin1(), encData);
        QCOMPARE(f.value("rc4_hash__").toLatin1(), encHash);
        QCOMPARE(f.value("signature").toLatin1(), signature);
        QCOMPARE(f.value("_nonce"), nonce);

        // Four pairs, names plain, values percent-encoded.
        QMap<QString, QByteArray> pairs;
        for (const QByteArray& pair : RequestSigner::encodeBody(f).split('&')) {
            const QByteArray value = pair.mid(pair.indexOf('=') + 1);
            QVERIFY2(value.indexOf('+') < 0 && value.indexOf('/') < 0 && value.indexOf('=') < 0, value.constData());
            pairs.insert(QString::fromLatin1(pair.left(pair.indexOf('='))), QByteArray::fromPercentEncoding(value));
        }
        QCOMPARE(pairs.keys(), (QStringList{"_nonce", "data", "rc4_hash__", "signature"}));
        QCOMPARE(pairs.value("signature") + pairs.value("data"), signature + encData);

        // No parameters: "{}".
        RC4DropCoder coder(QString::fromLatin1(sn));
        QCOMPARE(coder.decryptFromBase64(RequestSigner::signedFields(path, {}, ssecurity, nonce).value("data").toLatin1()),
                 QByteArray("{}"));
    }

    void nonceLayout()
    {
        const qint64 ms = 1765000123456LL;
        const QByteArray minutes = QByteArray::number(static_cast<quint32>(ms / 60000), 16).rightJustified(8, '0');
        QSet<QByteArray> seen;
        for (int k = 0; k < 200; ++k) {
            const QByteArray n = QByteArray::fromBase64(RequestSigner::makeNonce(ms).toLatin1());
            for (int b = 0; b < 8; ++b)
                QVERIFY2(static_cast<unsigned char>(n[b]) <= 127, n.toHex().constData());
            QVERIFY2(n.size() == 12 && n.mid(8).toHex() == minutes, n.toHex().constData());
            seen.insert(n);
        }
        QCOMPARE(seen.size(), 200);
    }

    void redaction_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("json members") << R"({"password":"pw-1","p2p_id":"UID-1","nested":{"passToken":"x"}})"
                                      << R"({"password":"***","p2p_id":"UID-1","nested":{"passToken":"***"}})";
        QTest::newRow("escaped quote") << "{\"ssecurity\":\"a\\\"b\",\"x\":1}" << R"({"ssecurity":"***","x":1})";
        QTest::newRow("cookies") << "passToken=abc; userId=42; serviceToken=def&x=1"
                                 << "passToken=***; userId=42; serviceToken=***&x=1";
        QTest::newRow("ticket and client sign") << "https://h/sts?sid=velmorio&ticket=T123&clientSign=c%3D1"
                                                << "https://h/sts?sid=velmorio&ticket=***&clientSign=***";
        QTest::newRow("registered, plain and encoded") << "a Zx/9+registered== b Zx%2F9%2Bregistered%3D%3D"
                                                       << "a *** b ***";
        QTest::newRow("four characters") << "key Qv4k." << "key ***.";
        QTest::newRow("three characters") << "abc Wq3" << "abc Wq3";
    }
    void redaction()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        for (const char* s : {"Zx/9+registered==", "Qv4k", "Wq3"})
            SecretRedactor::addSecret(QString::fromLatin1(s));
        QCOMPARE(SecretRedactor::redact(text), expected);
    }

    void replyWatchdog()
    {
        FakeReply slow;
        QSignalSpy timeout(watch(&slow, 20), &MNetworkReply::timeout);
        QTest::ignoreMessage(QtWarningMsg, "reply timeout, and abort it");
        QVERIFY(timeout.wait(5000));
        QVERIFY(slow.aborted);

        // A reply that finished in time is left alone: a timer due after the limit is the sync point.
        FakeReply quick;
        QSignalSpy quiet(watch(&quick, 20), &MNetworkReply::timeout);
        quick.finish();
        QTimer later;
        later.setTimerType(Qt::PreciseTimer);
        QSignalSpy past(&later, &QTimer::timeout);
        later.start(40);
        QVERIFY(past.wait(5000));
        QCOMPARE(quiet.count(), 0);
        QVERIFY(!quick.aborted);

    }

    void replySizeLimit_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<bool>("cut");
        QTest::newRow("exactly the limit") << qint64(100) << qint64(100) << false;
        QTest::newRow("announced the limit") << qint64(0) << qint64(100) << false;
        QTest::newRow("one byte more") << qint64(101) << qint64(-1) << true;
        QTest::newRow("announced more") << qint64(0) << qint64(101) << true;
    }
    void replySizeLimit()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(bool, cut);
        FakeReply reply;
        limitReplySize(&reply, 100);
        if (cut)
            QTest::ignoreMessage(QtWarningMsg, "reply larger than 100 bytes, and abort it"); // once only
        emit reply.downloadProgress(received, total);
        emit reply.downloadProgress(received, total);
        QCOMPARE(reply.aborted, cut);
        QCOMPARE(replyTooLarge(&reply), cut);
    }

    // "get_prop" answers without an id or without values.
    void propertiesRefused()
    {
        CamPropSet out;
        out.light = CamPropSet::On;
        QCOMPARE(VuotApi::parseProperties(QJsonObject{{"code", 0}, {"result", QJsonArray()}}, out), 2);
        QCOMPARE(out.light, int(CamPropSet::Unknown));
        QCOMPARE(VuotApi::parseProperties(QJsonObject{{"code", 0}, {"id", 1}}, out), 2);
        QCOMPARE(VuotApi::parseProperties(QJsonObject{{"code", 3}, {"id", 1}}, out), 1);
    }

    // Each answer is read into a passport that holds an earlier play's pass: nothing of that survives, and the media
    // key needs a signed answer, a 32-byte device key and a 32-byte app secret key (never read past its end).
    void devicePassReplacesTheLast_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<int>("secretBytes");
        QTest::addColumn<int>("ret");
        QTest::addColumn<int>("sharedBytes");
        const QJsonObject full{{"p2p_id", "P2P-1"}, {"password", "pw-new"}, {"signForAppData", "c2lnbg=="},
                               {"p2p_dev_public_key", QString(64, QLatin1Char('a'))}};
        auto with = [&](const char* key, const QJsonValue& v) {
            QJsonObject r = full;
            v.isUndefined() ? r.remove(key) : void(r.insert(key, v));
            return QJsonObject{{"code", 0}, {"result", r}};
        };
        QTest::newRow("complete") << with("password", "pw-new") << 32 << 0 << 32;
        QTest::newRow("app secret key of 5 bytes") << with("password", "pw-new") << 5 << 0 << 0;
        QTest::newRow("no app secret key") << with("password", "pw-new") << 0 << 0 << 0;
        QTest::newRow("unsigned") << with("signForAppData", QJsonValue::Undefined) << 32 << 0 << 0;
        QTest::newRow("device key of 31 bytes") << with("p2p_dev_public_key", QString(62, QLatin1Char('a'))) << 32 << 0 << 0;
        QTest::newRow("device key of 33 bytes") << with("p2p_dev_public_key", QString(66, QLatin1Char('a'))) << 32 << 0 << 0;
        QTest::newRow("no device key") << with("p2p_dev_public_key", QJsonValue::Undefined) << 32 << 0 << 0;
        QTest::newRow("no peer id") << with("p2p_id", QJsonValue::Undefined) << 32 << -20009 << 32;
        QTest::newRow("cloud error") << QJsonObject{{"code", -6}, {"message", "device not found"}} << 32 << -20009 << 0;
    }
    void devicePassReplacesTheLast()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(int, secretBytes);
        QFETCH(int, ret);
        QFETCH(int, sharedBytes);
        CameraPassport out;
        out.p2p_id = "P2P-old", out.password = "pw-old", out.signForAppData = "old", out.user = "old";
        out.p2p_dev_public_key = QString(64, QLatin1Char('b'));
        out.sharedKey = QByteArray(32, 's');
        out.appSecretKey = QByteArray(32, 'k').left(secretBytes);
        QCOMPARE(VuotApi::parseDevicePass(reply, out), ret);
        const QJsonObject r = reply.value("result").toObject();
        QCOMPARE(QStringList({out.p2p_id, out.password, out.signForAppData, out.p2p_dev_public_key, out.user}),
                 QStringList({r.value("p2p_id").toString(), r.value("password").toString(), r.value("signForAppData").toString(),
                              r.value("p2p_dev_public_key").toString(), "admin"}));
        QVERIFY(out.sharedKey.size() == sharedBytes && out.sharedKey != QByteArray(32, 's'));
    }

    // The update service's answer: a fourth version segment is the prompt policy, kept within 0..2; an answer of
    // another shape changes nothing.
    void versionReply()
    {
        for (const char* v : {"3.1.4.7", "3.1.4.2147483647", "2.1"}) {
            VersionUpdater::Published p;
            QVERIFY(VersionUpdater::parseReply("{\"LatestVersion\": {\"version\": \"" + QByteArray(v) + "\", \"md5\": \"\", "
                                               "\"filesize\": \"1\", \"filename\": \"f.exe\"}, \"MirrorList\": [\"http://m\"]}", p));
            QVERIFY(p.policy == PromptManual && p.version.segmentCount() == 3);
            QCOMPARE(p.url, "http://m/" + QString(v) + "/f.exe");
        }
        VersionUpdater::Published kept;
        kept.url = "kept";
        for (const char* bad : {"", "[1]", R"({"LatestVersion": {"version": 3}, "MirrorList": ["x"]})",
                                R"({"LatestVersion": {"version": "4", "filesize": "1", "filename": "f"}, "MirrorList": ["m"]})"})
            QVERIFY2(!VersionUpdater::parseReply(bad, kept) && kept.url == "kept", bad);
    }

    void fuzzCorpora()
    {
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        const int home = replayDir("fuzz-corpus/fuzz_homeapireply", runHomeApiFuzzInput);
        const int account = replayDir("fuzz-corpus/fuzz_accountreplies", runAccountFuzzInput);
        // Inputs that made a fuzzer fail before the fault was fixed.
        const int fixed = replayDir("fuzz-regressions", runAccountFuzzInput) + replayDir("fuzz-regressions", runHomeApiFuzzInput);
        qInstallMessageHandler(previous);
        QVERIFY(home > 10 && account > 10 && fixed > 0);
    }
};

QTEST_GUILESS_MAIN(TestCloudCodec)
#include "tst_cloudcodec.moc"
