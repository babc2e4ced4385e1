#include "cloud/requestsigner.h"

#include "cloud/rc4dropcoder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonDocument>
#include <QUrl>
#include <atomic>
#include <mutex>
#include <sodium.h>

namespace {

std::once_flag g_sodiumOnce;

QString b64(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

} // namespace

RequestSigner::RequestSigner()
{
    std::call_once(g_sodiumOnce, [] {
        if (sodium_init() < 0)
            qWarning("sodium_init failed");
    });
}

QByteArray RequestSigner::paramsJson(const QJsonObject& params)
{
    return QJsonDocument(params).toJson(QJsonDocument::Compact);
}

QString RequestSigner::makeNonce()
{
    return makeNonce(QDateTime::currentMSecsSinceEpoch());
}

QString RequestSigner::makeNonce(qint64 msecsSinceEpoch)
{
    std::call_once(g_sodiumOnce, [] {
        if (sodium_init() < 0)
            qWarning("sodium_init failed");
    });
    unsigned char bytes[12];
    randombytes_buf(bytes, 8);
    for (int k = 0; k < 8; ++k)
        bytes[k] &= 0x7f;
    const quint32 minutes = static_cast<quint32>(msecsSinceEpoch / 60000);
    bytes[8] = static_cast<unsigned char>(minutes >> 24);
    bytes[9] = static_cast<unsigned char>(minutes >> 16);
    bytes[10] = static_cast<unsigned char>(minutes >> 8);
    bytes[11] = static_cast<unsigned char>(minutes);
    return b64(QByteArray(reinterpret_cast<const char*>(bytes), 12));
}

QString RequestSigner::signedNonce(const QString& ssecurity, const QString& nonce)
{
    const QByteArray in = QByteArray::fromBase64(ssecurity.toLatin1()) + QByteArray::fromBase64(nonce.toLatin1());
    return b64(QCryptographicHash::hash(in, QCryptographicHash::Sha256));
}

QHash<QString, QString> RequestSigner::signedFields(const QString& path, const QJsonObject& params,
                                                    const QString& ssecurity, const QString& nonce)
{
    const QString json = QString::fromUtf8(paramsJson(params));
    const QString sn = signedNonce(ssecurity, nonce);
    const QString hashText = QStringList{QStringLiteral("POST"), path, QStringLiteral("data=") + json, sn}
                                 .join(QLatin1Char('&'));
    const QString rc4Hash = b64(QCryptographicHash::hash(hashText.toUtf8(), QCryptographicHash::Sha1));

    RC4DropCoder coder(sn);
    const QString encData = coder.encryptToBase64(json);
    const QString encHash = coder.encryptToBase64(rc4Hash);

    const QString sigText = QStringList{QStringLiteral("POST"), path, QStringLiteral("data=") + encData,
                                        QStringLiteral("rc4_hash__=") + encHash, sn}
                                .join(QLatin1Char('&'));
    const QString signature = b64(QCryptographicHash::hash(sigText.toUtf8(), QCryptographicHash::Sha1));

    QHash<QString, QString> fields;
    fields.insert(QStringLiteral("data"), encData);
    fields.insert(QStringLiteral("rc4_hash__"), encHash);
    fields.insert(QStringLiteral("signature"), signature);
    fields.insert(QStringLiteral("_nonce"), nonce);
    return fields;
}

QByteArray RequestSigner::encodeBody(const QHash<QString, QString>& fields)
{
    QByteArray body;
    for (auto it = fields.constBegin(); it != fields.constEnd(); ++it) {
        if (!body.isEmpty())
            body += '&';
        body += it.key().toUtf8() + '=' + QUrl::toPercentEncoding(it.value());
    }
    return body;
}

QByteArray RequestSigner::sign(const QString& path, const QJsonObject& params, const QString& ssecurity)
{
    const QString nonce = makeNonce();
    const QByteArray body = encodeBody(signedFields(path, params, ssecurity, nonce));
    m_lastNonce = nonce;
    return body;
}
