#include "cloud/rc4dropcoder.h"
#include "app/threadjoin.h"
#include "cloud/requestsigner.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QSet>
#include <QThread>
#include <QUrlQuery>
#include <QtTest>
#include <vector>

// The signed body, checked against values computed here from the rules.
class TestRequestSigner : public QObject
{
    Q_OBJECT

    static QByteArray sha256(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha256); }
    static QByteArray sha1(const QByteArray& b) { return QCryptographicHash::hash(b, QCryptographicHash::Sha1); }

    // Plain RC4 written out here, independent of the coder under test.
    static QByteArray rc4(const QByteArray& key, const QByteArray& data, int skip)
    {
        unsigned char s[256];
        for (int k = 0; k < 256; ++k)
            s[k] = static_cast<unsigned char>(k);
        int j = 0;
        for (int k = 0; k < 256; ++k) {
            j = (j + s[k] + static_cast<unsigned char>(key[k % key.size()])) & 255;
            std::swap(s[k], s[j]);
        }
        int i = 0;
        j = 0;
        QByteArray out;
        for (int n = 0; n < skip + data.size(); ++n) {
            i = (i + 1) & 255;
            j = (j + s[i]) & 255;
            std::swap(s[i], s[j]);
            const unsigned char ks = s[(s[i] + s[j]) & 255];
            if (n >= skip)
                out.append(static_cast<char>(static_cast<unsigned char>(data[n - skip]) ^ ks));
        }
        return out;
    }

private slots:
    void fieldByField()
    {
        const QString ssecurity = QStringLiteral("Zm9yLXRlc3Qtc3NlY3VyaXR5");
        const QByteArray nonceBytes = QByteArray::fromHex("01020304050607081a2b3c4d");
        const QString nonce = QString::fromLatin1(nonceBytes.toBase64());
        const QString path = QStringLiteral("/home/rpc/cam1");
        QJsonObject params;
        params.insert(QStringLiteral("method"), QStringLiteral("get_prop"));
        params.insert(QStringLiteral("id"), QStringLiteral("cam1"));
        params.insert(QStringLiteral("params"), QJsonArray{QStringLiteral("power"), QStringLiteral("light")});

        const QByteArray json = "{\"id\":\"cam1\",\"method\":\"get_prop\",\"params\":[\"power\",\"light\"]}";
        const QByteArray snBytes = sha256(QByteArray::fromBase64(ssecurity.toLatin1()) + nonceBytes);
        const QByteArray sn = snBytes.toBase64();
        QCOMPARE(sn.size(), 44);
        QCOMPARE(RequestSigner::signedNonce(ssecurity, nonce), QString::fromLatin1(sn));
        const QByteArray hash = sha1("POST&" + path.toUtf8() + "&data=" + json + "&" + sn).toBase64();
        QCOMPARE(hash.size(), 28);
        const QByteArray stream = rc4(snBytes, json + hash, 1024);
        const QByteArray encData = stream.left(json.size()).toBase64();
        const QByteArray encHash = stream.mid(json.size()).toBase64();
        const QByteArray signature =
            sha1("POST&" + path.toUtf8() + "&data=" + encData + "&rc4_hash__=" + encHash + "&" + sn).toBase64();
        QCOMPARE(signature.size(), 28);

        const QHash<QString, QString> f = RequestSigner::signedFields(path, params, ssecurity, nonce);
        QCOMPARE(f.size(), 4);
        QCOMPARE(f.value("data").toLatin1(), encData);
        QCOMPARE(f.value("rc4_hash__").toLatin1(), encHash);
        QCOMPARE(f.value("signature").toLatin1(), signature);
        QCOMPARE(f.value("_nonce"), nonce);
        QCOMPARE(nonce.size(), 16);

        // The hash runs on from the data's key stream: a fresh coder differs.
        QVERIFY(rc4(snBytes, hash, 1024).toBase64() != encHash);

        // The body: four pairs, names plain, values percent-encoded.
        const QByteArray body = RequestSigner::encodeBody(f);
        QMap<QString, QString> pairs;
        for (const QByteArray& pair : body.split('&')) {
            const int eq = pair.indexOf('=');
            QVERIFY(eq > 0);
            const QByteArray value = pair.mid(eq + 1);
            for (char ch : value)
                QVERIFY2(QByteArray("+/=").indexOf(ch) < 0, value.constData());
            pairs.insert(QString::fromLatin1(pair.left(eq)), QString::fromLatin1(QByteArray::fromPercentEncoding(value)));
        }
        QCOMPARE(pairs.keys(), (QStringList{"_nonce", "data", "rc4_hash__", "signature"}));
        QCOMPARE(pairs.value("signature").toLatin1(), signature);
        QVERIFY(body.contains("signature=" + QUrl::toPercentEncoding(QString::fromLatin1(signature))));
    }

    void emptyParamsAreBraces()
    {
        QCOMPARE(RequestSigner::paramsJson(QJsonObject()), QByteArray("{}"));
        const QString ss = QStringLiteral("AAAA");
        const QString nonce = QString::fromLatin1(QByteArray(12, '\0').toBase64());
        const QHash<QString, QString> f = RequestSigner::signedFields("/homeroom/getroom", QJsonObject(), ss, nonce);
        RC4DropCoder coder(RequestSigner::signedNonce(ss, nonce));
        QCOMPARE(coder.decryptFromBase64(f.value("data").toLatin1()), QByteArray("{}"));
    }

    void nonceLayout()
    {
        const qint64 ms = 1765000123456LL;
        const QByteArray n = QByteArray::fromBase64(RequestSigner::makeNonce(ms).toLatin1());
        QCOMPARE(n.size(), 12);
        for (int k = 0; k < 8; ++k)
            QVERIFY(static_cast<unsigned char>(n[k]) <= 127);
        const quint32 minutes = static_cast<quint32>(ms / 60000);
        QCOMPARE(n.mid(8).toHex(), QByteArray::number(minutes, 16).rightJustified(8, '0'));
        // The random part is really random: high bits never set, values vary.
        QSet<QByteArray> seen;
        for (int k = 0; k < 200; ++k)
            seen.insert(QByteArray::fromBase64(RequestSigner::makeNonce(ms).toLatin1()).left(8));
        QCOMPARE(seen.size(), 200);
    }

    void signRemembersNonce()
    {
        RequestSigner s;
        QVERIFY(s.lastNonce().isEmpty());
        const QByteArray body = s.sign("/home/device_list", QJsonObject(), "AAAA");
        QVERIFY(!s.lastNonce().isEmpty());
        QVERIFY(body.contains("_nonce=" + QUrl::toPercentEncoding(s.lastNonce())));
    }

    void concurrentNoncesDiffer()
    {
        const int threads = 9;
        const int perThread = 500;
        std::vector<QStringList> results(threads);
        QList<QThread*> workers;
        for (int t = 0; t < threads; ++t) {
            workers << QThread::create([&results, t] {
                for (int k = 0; k < perThread; ++k)
                    results[t] << RequestSigner::makeNonce();
            });
        }
        for (QThread* w : workers) {
            ThreadJoin::watch(w);
            w->start();
        }
        for (QThread* w : workers) {
            ThreadJoin::wait(w);
            delete w;
        }
        QSet<QString> all;
        for (const QStringList& l : results)
            for (const QString& n : l)
                all.insert(n);
        QCOMPARE(all.size(), threads * perThread);
    }
};

QTEST_GUILESS_MAIN(TestRequestSigner)
#include "tst_requestsigner.moc"
