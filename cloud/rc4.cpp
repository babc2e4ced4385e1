#include "cloud/rc4.h"

#include <utility>

RC4::RC4(QObject* parent) : QObject(parent)
{
    for (int k = 0; k < 256; ++k)
        m_s[k] = static_cast<unsigned char>(k);
}

bool RC4::setKey(const QByteArray& key)
{
    m_i = m_j = 0;
    for (int k = 0; k < 256; ++k)
        m_s[k] = static_cast<unsigned char>(k);
    if (key.isEmpty()) {
        m_keyed = false;
        return false;
    }
    const int n = key.size();
    unsigned char j = 0;
    for (int k = 0; k < 256; ++k) {
        j = static_cast<unsigned char>(j + m_s[k] + static_cast<unsigned char>(key[k % n]));
        std::swap(m_s[k], m_s[j]);
    }
    m_keyed = true;
    return true;
}

QByteArray RC4::process(const QByteArray& data)
{
    if (!m_keyed)
        return QByteArray();
    QByteArray out(data.size(), Qt::Uninitialized);
    for (int k = 0; k < data.size(); ++k) {
        m_i = static_cast<unsigned char>(m_i + 1);
        m_j = static_cast<unsigned char>(m_j + m_s[m_i]);
        std::swap(m_s[m_i], m_s[m_j]);
        const unsigned char ks = m_s[static_cast<unsigned char>(m_s[m_i] + m_s[m_j])];
        out[k] = static_cast<char>(static_cast<unsigned char>(data[k]) ^ ks);
    }
    return out;
}
