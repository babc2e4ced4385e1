#pragma once

#include <QByteArray>
#include <QtGlobal>

// The emulated camera's microphone: a steady test tone cut into 40 ms
// frames of 8000 Hz mono, G.711 A-law (codec 138) or 16-bit PCM (codec 136),
// each encrypted with the session's media key as nonce + ChaCha20 payload,
// with the 24-byte frame header the AV channel carries beside it.
class SimAudioSource
{
public:
    static constexpr int SampleRate = 8000;
    static constexpr int FrameMs = 40;
    static constexpr int SamplesPerFrame = SampleRate * FrameMs / 1000;
    static constexpr int ToneHz = 440;
    static constexpr int ToneAmplitude = 3000; // x10 on the client: close to full scale

    SimAudioSource(int codecId, const QByteArray& mediaKey);

    // The next frame and its header; the tone continues across frames.
    void nextFrame(QByteArray* frame, QByteArray* header);
    int codecId() const { return m_codecId; }

    // ITU-T G.711 A-law compression of one 16-bit sample.
    static quint8 linearToAlaw(qint16 sample);
    // The plain payload of one frame (before encryption), for tests.
    QByteArray plainPayload(qint64 firstSample) const;

private:
    int m_codecId;
    QByteArray m_key;
    qint64 m_sample = 0;
    quint64 m_frameNo = 0;
};
