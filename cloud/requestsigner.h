#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QString>

// Signs and encrypts the form body of one home API request and remembers the
// nonce it used, so that the reply can be decrypted with the same key.
class RequestSigner
{
public:
    RequestSigner();

    // The whole form body for path and params, signed with ssecurity and a
    // fresh nonce; the nonce becomes lastNonce().
    QByteArray sign(const QString& path, const QJsonObject& params, const QString& ssecurity);
    QString lastNonce() const { return m_lastNonce; }

    // The four body values before percent-encoding ("data", "rc4_hash__",
    // "signature", "_nonce") for a given nonce.
    static QHash<QString, QString> signedFields(const QString& path, const QJsonObject& params,
                                                const QString& ssecurity, const QString& nonce);
    // "name=value&..." with each value percent-encoded.
    static QByteArray encodeBody(const QHash<QString, QString>& fields);

    // Twelve bytes, Base64: bytes 0-7 random (each 0-127), bytes 8-11 the
    // minutes since the Unix epoch, big-endian.
    static QString makeNonce();
    static QString makeNonce(qint64 msecsSinceEpoch);
    // Base64 of SHA-256(Base64-decoded ssecurity + Base64-decoded nonce).
    static QString signedNonce(const QString& ssecurity, const QString& nonce);
    // Compact JSON, members in key order, "{}" for an empty object.
    static QByteArray paramsJson(const QJsonObject& params);

private:
    QString m_lastNonce;
};
