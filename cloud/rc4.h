#pragma once

#include <QByteArray>
#include <QObject>

// The RC4 stream cipher: a 256-byte permutation and two indices. The key
// stream runs on from one call to the next.
class RC4 : public QObject
{
public:
    explicit RC4(QObject* parent = nullptr);

    // Keys the state; an empty key leaves the cipher unkeyed (returns false).
    bool setKey(const QByteArray& key);
    bool isKeyed() const { return m_keyed; }

    // XORs data with the next key-stream bytes (empty when not keyed).
    QByteArray process(const QByteArray& data);

private:
    unsigned char m_s[256];
    unsigned char m_i = 0;
    unsigned char m_j = 0;
    bool m_keyed = false;
};
