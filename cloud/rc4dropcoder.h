#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class RC4;

// RC4 with the first 1024 key-stream bytes thrown away, keyed from Base64
// text. Both operations continue one key stream. A coder with an empty key
// refuses to work: it warns and gives empty results.
class RC4DropCoder : public QObject
{
public:
    static constexpr int kDrop = 1024;

    explicit RC4DropCoder(const QString& base64Key, QObject* parent = nullptr);

    QString encryptToBase64(const QString& text);
    QByteArray decryptFromBase64(const QByteArray& data);
    // Raw bytes in, raw bytes out (same key stream).
    QByteArray process(const QByteArray& data);

private:
    int m_drop = kDrop;
    QByteArray m_dropBuffer;
    RC4* m_rc4;
};
