#include "cloud/rc4dropcoder.h"

#include "cloud/rc4.h"

RC4DropCoder::RC4DropCoder(const QString& base64Key, QObject* parent)
    : QObject(parent), m_dropBuffer(kDrop, '\0'), m_rc4(new RC4(this))
{
    const QByteArray key = QByteArray::fromBase64(base64Key.toUtf8());
    if (key.isEmpty())
        qWarning("rc4 key is null");
    if (key.size() != 32)
        qWarning("rc4Key length is invalid");
    if (m_rc4->setKey(key))
        m_rc4->process(m_dropBuffer);
}

QByteArray RC4DropCoder::process(const QByteArray& data)
{
    if (data.isEmpty()) {
        qWarning("no block data");
        return QByteArray();
    }
    return m_rc4->process(data);
}

QString RC4DropCoder::encryptToBase64(const QString& text)
{
    return QString::fromLatin1(process(text.toUtf8()).toBase64());
}

QByteArray RC4DropCoder::decryptFromBase64(const QByteArray& data)
{
    return process(QByteArray::fromBase64(data));
}
