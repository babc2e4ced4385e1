#include "sim/media/frameencryptor.h"

#include <cstring>
#include <sodium.h>

namespace {

constexpr int kNonce = 8;
constexpr int kBlock = 16;

void putU32(unsigned char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uchar(v >> (8 * i));
}

} // namespace

FrameEncryptor::FrameEncryptor(const QByteArray& key)
    : m_key(key.size() == crypto_stream_chacha20_KEYBYTES ? key : QByteArray(crypto_stream_chacha20_KEYBYTES, '\0'))
{
}

QVector<QPair<int, int>> FrameEncryptor::nalUnits(const QByteArray& s)
{
    QVector<QPair<int, int>> units;
    const auto* d = reinterpret_cast<const unsigned char*>(s.constData());
    const int n = s.size();
    int start = -1;
    int i = 0;
    while (i + 2 < n) {
        if (d[i] == 0 && d[i + 1] == 0 && d[i + 2] == 1) {
            if (start >= 0) {
                int end = i;
                if (end > start && d[end - 1] == 0) // the zero of a 4-byte start code
                    --end;
                units.append({start, end - start});
            }
            i += 3;
            start = i;
        } else {
            ++i;
        }
    }
    if (start >= 0 && start < n)
        units.append({start, n - start});
    return units;
}

QByteArray FrameEncryptor::encrypt(const QByteArray& accessUnit) const
{
    QByteArray nonce(kNonce, '\0');
    randombytes_buf(nonce.data(), kNonce);
    return encrypt(accessUnit, nonce);
}

QByteArray FrameEncryptor::encrypt(const QByteArray& accessUnit, const QByteArray& nonce) const
{
    QVector<QPair<int, int>> units = nalUnits(accessUnit);
    if (units.size() > 255)
        units.resize(255);
    const int head = kNonce + 1 + 8 * units.size();
    QByteArray out(head + accessUnit.size(), '\0');
    auto* o = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(o, nonce.constData(), size_t(qMin(kNonce, nonce.size())));
    o[kNonce] = uchar(units.size());
    for (int i = 0; i < units.size(); ++i) {
        putU32(o + kNonce + 1 + 8 * i, quint32(units[i].first));
        putU32(o + kNonce + 1 + 8 * i + 4, quint32(units[i].second));
    }
    unsigned char* payload = o + head;
    std::memcpy(payload, accessUnit.constData(), size_t(accessUnit.size()));

    unsigned char stream[kBlock] = {};
    crypto_stream_chacha20(stream, sizeof stream, o, reinterpret_cast<const unsigned char*>(m_key.constData()));
    for (const auto& u : units) {
        for (int p = 32; p < u.second - kBlock; p += 160) {
            unsigned char* b = payload + u.first + p;
            for (int k = 0; k < kBlock; ++k)
                b[k] ^= stream[k];
        }
    }
    return out;
}

QByteArray FrameEncryptor::header(quint16 codecId, bool keyFrame, bool playback, quint32 timestamp,
                                  quint64 sendTimeUs, quint32 sequence)
{
    QByteArray h(kHeaderSize, '\0');
    auto* p = reinterpret_cast<unsigned char*>(h.data());
    p[0] = uchar(codecId);
    p[1] = uchar(codecId >> 8);
    p[2] = keyFrame ? 1 : 0;
    for (int i = 0; i < 8; ++i)
        p[4 + i] = uchar(sendTimeUs >> (8 * i));
    putU32(p + 12, sequence);
    p[16] = playback ? 1 : 0;
    putU32(p + 20, timestamp);
    return h;
}

quint64 FrameEncryptor::sendTimeUs(const unsigned char* header)
{
    quint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | header[4 + i];
    return v;
}
