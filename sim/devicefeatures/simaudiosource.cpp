#include "sim/devicefeatures/simaudiosource.h"

#include <QtEndian>
#include <cmath>
#include <sodium.h>

SimAudioSource::SimAudioSource(int codecId, const QByteArray& mediaKey)
    : m_codecId(codecId)
    , m_key(mediaKey)
{
}

quint8 SimAudioSource::linearToAlaw(qint16 sample)
{
    int pcm = sample;
    int mask = 0xD5; // sign bit set, even bits inverted
    if (pcm < 0) {
        mask = 0x55;
        pcm = -pcm - 1;
    }
    pcm >>= 3; // 13-bit magnitude
    static const int segEnd[8] = {0x1F, 0x3F, 0x7F, 0xFF, 0x1FF, 0x3FF, 0x7FF, 0xFFF};
    int seg = 0;
    while (seg < 8 && pcm > segEnd[seg])
        ++seg;
    if (seg >= 8)
        return quint8(0x7F ^ mask);
    int aval = seg << 4;
    if (seg < 2)
        aval |= (pcm >> 1) & 0x0F;
    else
        aval |= (pcm >> seg) & 0x0F;
    return quint8(aval ^ mask);
}

QByteArray SimAudioSource::plainPayload(qint64 firstSample) const
{
    const bool pcm = m_codecId == 136;
    QByteArray out(SamplesPerFrame * (pcm ? 2 : 1), '\0');
    for (int i = 0; i < SamplesPerFrame; ++i) {
        const double t = double(firstSample + i) / SampleRate;
        const qint16 s = qint16(std::lround(ToneAmplitude * std::sin(2.0 * M_PI * ToneHz * t)));
        if (pcm)
            qToLittleEndian<qint16>(s, out.data() + 2 * i);
        else
            out[i] = char(linearToAlaw(s));
    }
    return out;
}

void SimAudioSource::nextFrame(QByteArray* frame, QByteArray* header)
{
    const QByteArray plain = plainPayload(m_sample);
    QByteArray nonce(8, '\0');
    qToLittleEndian<quint64>(m_frameNo ^ 0xA5A5000000000000ull, nonce.data());
    QByteArray cipher(plain.size(), '\0');
    if (m_key.size() == crypto_stream_chacha20_KEYBYTES) {
        crypto_stream_chacha20_xor(reinterpret_cast<unsigned char*>(cipher.data()),
                                   reinterpret_cast<const unsigned char*>(plain.constData()), quint64(plain.size()),
                                   reinterpret_cast<const unsigned char*>(nonce.constData()),
                                   reinterpret_cast<const unsigned char*>(m_key.constData()));
    } else {
        cipher = plain; // no key agreed: nothing the client could decrypt anyway
    }
    *frame = nonce + cipher;

    header->fill('\0', 24);
    qToLittleEndian<quint16>(quint16(m_codecId), header->data());
    qToLittleEndian<quint32>(quint32(m_sample * 1000 / SampleRate), header->data() + 20);

    m_sample += SamplesPerFrame;
    ++m_frameNo;
}
