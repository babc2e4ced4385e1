// Replays the kept fuzz corpora of the cloud's parsers (tests/cloud/fuzz-corpus)
// through the same entries the fuzzers use, and pins the faults they led to.
#include "cloudfuzz.h"

#include <QDir>
#include <QtTest>
#include <sodium.h>

namespace {

int replayDir(const QString& name, int (*run)(const uint8_t*, size_t))
{
    const QDir dir(QStringLiteral(VC_SOURCE_DIR "/tests/cloud/fuzz-corpus/") + name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    int replayed = 0;
    for (const QString& f : files) {
        QFile file(dir.filePath(f));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray in = file.readAll();
        run(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
        ++replayed;
    }
    qInstallMessageHandler(previous);
    return replayed;
}

int account(int parser, const QByteArray& text)
{
    const QByteArray in = QByteArray(1, char(parser)) + text;
    return runAccountFuzzInput(reinterpret_cast<const uint8_t*>(in.constData()), size_t(in.size()));
}

} // namespace

class TestCloudFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void corpora()
    {
        QVERIFY(replayDir(QStringLiteral("fuzz_homeapireply"), runHomeApiFuzzInput) > 10);
        QVERIFY(replayDir(QStringLiteral("fuzz_accountreplies"), runAccountFuzzInput) > 10);
    }

    // Inputs that made a fuzzer fail before the fault was fixed; the file
    // name starts with the fuzzer's name.
    void regressions()
    {
        const QDir dir(QStringLiteral(VC_SOURCE_DIR "/tests/cloud/fuzz-regressions"));
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY(!files.isEmpty());
        for (const QString& f : files) {
            QFile file(dir.filePath(f));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray in = file.readAll();
            const auto* data = reinterpret_cast<const uint8_t*>(in.constData());
            const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
            if (f.startsWith(QLatin1String("fuzz_accountreplies")))
                runAccountFuzzInput(data, size_t(in.size()));
            else if (f.startsWith(QLatin1String("fuzz_homeapireply")))
                runHomeApiFuzzInput(data, size_t(in.size()));
            else
                QFAIL(qPrintable(QStringLiteral("no fuzzer for ") + f));
            qInstallMessageHandler(previous);
        }
    }

    // An update answer naming "MirrorList" twice (two spellings that read
    // the same after UTF-8 repair), the first time as an object: Qt's parser
    // leaked that object. Such text is refused now.
    void duplicateMemberRefused()
    {
        QFile file(QStringLiteral(VC_SOURCE_DIR "/tests/cloud/fuzz-regressions/fuzz_accountreplies-leak-duplicate-member"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray in = file.readAll();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^json refused, member \"Mir.rorList\" given twice"));
        VersionUpdater::Published p;
        QVERIFY(!VersionUpdater::parseReply(in.mid(1), p));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^json refused, member \"a\" given twice"));
        QJsonObject result;
        RC4DropCoder coder(RequestSigner::signedNonce(cloudfuzz::ssecurity(), cloudfuzz::nonce()));
        const QByteArray body = coder.process(R"({"a":{"b":1},"a":{}})").toBase64();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^invalid format:"));
        QCOMPARE(CoreApi::decodeReply(body, cloudfuzz::ssecurity(), cloudfuzz::nonce(), result), 2);
    }

    // A fourth version segment is the prompt policy; one outside 0..2 used to
    // be handed on cast to PromptPolicy.
    void versionPolicyOutOfRange_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("policy");
        QTest::addColumn<QString>("warning");
        QTest::newRow("2 kept") << "3.1.4.2" << 2 << "";
        QTest::newRow("0 kept") << "3.1.4.0" << 0 << "";
        QTest::newRow("7") << "3.1.4.7" << 1 << "invalid update_policy value:7";
        QTest::newRow("huge") << "3.1.4.2147483647" << 1 << "invalid update_policy value:2147483647";
        QTest::newRow("three parts") << "3.1.4" << 1 << "";
    }
    void versionPolicyOutOfRange()
    {
        QFETCH(QString, version);
        QFETCH(int, policy);
        QFETCH(QString, warning);
        const QByteArray body = "{\"LatestVersion\": {\"version\": \"" + version.toUtf8()
            + "\", \"md5\": \"\", \"filesize\": \"1\", \"filename\": \"f.exe\"}, \"MirrorList\": [\"http://m\"]}";
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        VersionUpdater::Published p;
        QVERIFY(VersionUpdater::parseReply(body, p));
        QCOMPARE(p.policy, policy);
        QCOMPARE(p.version, QVersionNumber(3, 1, 4));
        QCOMPARE(p.url, QStringLiteral("http://m/") + version + QStringLiteral("/f.exe"));
        QCOMPARE(account(3, body), 1);
    }

    void versionReplyShapes()
    {
        VersionUpdater::Published p;
        p.url = QStringLiteral("kept");
        QVERIFY(!VersionUpdater::parseReply("", p));
        QVERIFY(!VersionUpdater::parseReply("[1]", p));
        QVERIFY(!VersionUpdater::parseReply(R"({"LatestVersion": {"version": 3}, "MirrorList": ["x"]})", p));
        QVERIFY(!VersionUpdater::parseReply(
            R"({"LatestVersion": {"version": "1", "md5": "", "filesize": "", "filename": ""}, "MirrorList": {}})", p));
        QCOMPARE(p.url, QStringLiteral("kept"));
    }

    // The device pass parser is public now: a passport without its 32-byte
    // app secret key must not be read past its end.
    void devicePassNeedsAppKey_data()
    {
        QTest::addColumn<QByteArray>("secret");
        QTest::addColumn<bool>("shared");
        QTest::newRow("no key") << QByteArray() << false;
        QTest::newRow("short key") << QByteArray(5, 'k') << false;
        QTest::newRow("key") << QByteArray(32, 'k') << true;
    }
    void devicePassNeedsAppKey()
    {
        QFETCH(QByteArray, secret);
        QFETCH(bool, shared);
        QVERIFY(sodium_init() >= 0);
        unsigned char pk[crypto_box_PUBLICKEYBYTES];
        unsigned char sk[crypto_box_SECRETKEYBYTES];
        crypto_box_keypair(pk, sk);
        QJsonObject result{{"p2p_id", "P2P-1"},
                           {"password", "device-password"},
                           {"signForAppData", "c2lnbg=="},
                           {"p2p_dev_public_key", QString::fromLatin1(QByteArray(reinterpret_cast<char*>(pk), 32).toHex())}};
        CameraPassport out;
        out.appSecretKey = secret;
        if (!shared)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(QStringLiteral("crypto_box_beforenm: app secret key has %1 bytes")
                                                             .arg(secret.size())));
        QCOMPARE(VuotApi::parseDevicePass(QJsonObject{{"result", result}}, out), 0);
        QCOMPARE(out.p2p_id, QStringLiteral("P2P-1"));
        QCOMPARE(out.sharedKey.size(), shared ? 32 : 0);
        SecretRedactor::forgetSecrets();
    }

    void devicePassWithoutId()
    {
        CameraPassport out;
        const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        const int r = VuotApi::parseDevicePass(QJsonObject{{"result", 5}}, out);
        qInstallMessageHandler(previous);
        QCOMPARE(r, -20009);
        QVERIFY(out.sharedKey.isEmpty());
    }

    void serviceLoginHeaderAndCookies()
    {
        QString ssecurity;
        long long nonce = 0;
        QVERIFY(ServiceLogin::extractSecurity(R"({"ssecurity":"abc=","nonce":1e300})", ssecurity, nonce));
        QCOMPARE(nonce, 0LL); // out of range counts as 0
        QVERIFY(!ServiceLogin::extractSecurity(R"({"ssecurity":""})", ssecurity, nonce));
        QVERIFY(!ServiceLogin::extractSecurity("\xff\xfe", ssecurity, nonce));

        const QList<QNetworkCookie> cookies = QNetworkCookie::parseCookies(
            "servicetoken=lower; path=/\nserviceToken=first; path=/\nserviceToken=second");
        QCOMPARE(ServiceLogin::serviceTokenOf(cookies), QStringLiteral("first"));
        QCOMPARE(ServiceLogin::serviceTokenOf(QNetworkCookie::parseCookies("=;;=\n\n;serviceToken")), QString());
        QCOMPARE(account(2, "serviceToken=t0k3n; Secure"), 1);
    }

    void userCardShapes()
    {
        QString nick = QStringLiteral("old");
        QUrl icon(QStringLiteral("http://old/icon"));
        QVERIFY(!UserCard::parseCard(R"({"data":{"list":[]}})", nick, icon));
        QVERIFY(!UserCard::parseCard(R"({"data":{"list":[{}]}})", nick, icon));
        QVERIFY(!UserCard::parseCard(R"({"data":[1]})", nick, icon));
        QCOMPARE(nick, QStringLiteral("old"));
        QVERIFY(UserCard::parseCard("{\"data\":{\"list\":[{\"vuchatNick\":\"n\",\"vuchatIcon\":\"http:/" "/i/a.png\"},{}]}}", nick, icon));
        QCOMPARE(nick, QStringLiteral("n"));
        QCOMPARE(icon, QUrl(QStringLiteral("http://i/a.png")));
    }
};

QTEST_GUILESS_MAIN(TestCloudFuzzReplay)
#include "tst_cloudfuzzreplay.moc"
