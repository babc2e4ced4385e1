#include "camera/audiodecodethread.h"

#include "core/threadjoin.h"
#include "camera/audiodevice.h"

#include <QMetaObject>
#include <sodium.h>

#include <array>

namespace {

constexpr qint16 alawExpand(quint8 a)
{
    // ITU-T G.711 A-law to 16-bit linear.
    a ^= 0x55;
    int t = (a & 0x0f) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else if (seg == 1)
        t += 0x108;
    else
        t = (t + 0x108) << (seg - 1);
    return qint16((a & 0x80) ? t : -t);
}

constexpr std::array<qint16, 256> makeAlawTable()
{
    std::array<qint16, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[size_t(i)] = alawExpand(quint8(i));
    return table;
}

constexpr std::array<qint16, 256> kAlawTable = makeAlawTable();

constexpr int kNonceSize = 8;
constexpr int kMinEncryptedFrame = 24;

} // namespace

AudioDecodeThread::AudioDecodeThread(AudioDevice* device, const QByteArray& key, QObject* parent)
    : QThread(parent)
    , m_device(device)
    , m_key(key)
{
    ThreadJoin::watch(this);
}

AudioDecodeThread::~AudioDecodeThread()
{
    stop();
    ThreadJoin::wait(this); // orders the loop's work before the members go
}

void AudioDecodeThread::pushFrame(const AudioFrame& frame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_queue.size() >= QueueLimit && !m_stop.load())
        m_notFull.wait(lock);
    m_queue.append(frame);
    m_notEmpty.notify_all();
}

bool AudioDecodeThread::popFrame(AudioFrame* frame)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_queue.isEmpty() && !m_stop.load())
        m_notEmpty.wait(lock);
    if (m_queue.isEmpty())
        return false;
    *frame = m_queue.takeFirst();
    m_notFull.notify_all();
    return true;
}

int AudioDecodeThread::queuedFrames() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_queue.size();
}

void AudioDecodeThread::stop()
{
    requestInterruption();
    exit(0);
    if (m_device)
        m_device->abort();
    std::unique_lock<std::mutex> lock(m_mutex);
    m_stop = true;
    m_notEmpty.notify_all();
    m_notFull.notify_all();
}

qint16 AudioDecodeThread::alawToLinear(quint8 a)
{
    return kAlawTable[a];
}

QByteArray AudioDecodeThread::decryptFrame(const QByteArray& frame, const QByteArray& key)
{
    if (frame.size() < kMinEncryptedFrame)
        return frame;
    const int len = frame.size() - kNonceSize;
    QByteArray out(len, Qt::Uninitialized);
    if (out.size() != len) {
        qWarning("memory alloc failed size:%d", len);
        return QByteArray(len, '\0');
    }
    const auto* in = reinterpret_cast<const unsigned char*>(frame.constData());
    const int rc = crypto_stream_chacha20_xor(reinterpret_cast<unsigned char*>(out.data()), in + kNonceSize,
                                              static_cast<unsigned long long>(len), in,
                                              reinterpret_cast<const unsigned char*>(key.constData()));
    if (rc != 0)
        qWarning("crypto_stream_chacha20_xor: %d", rc);
    return out;
}

QByteArray AudioDecodeThread::decodePayload(const QByteArray& payload, quint16 codecId)
{
    if (codecId == AvFrameHeader::CodecPcm) {
        // Keep whole 16-bit samples so later chunks stay aligned.
        return payload.size() % 2 ? payload.left(payload.size() - 1) : payload;
    }
    QByteArray pcm(payload.size() * 2, Qt::Uninitialized);
    auto* out = reinterpret_cast<unsigned char*>(pcm.data());
    const auto* in = reinterpret_cast<const unsigned char*>(payload.constData());
    for (int i = 0; i < payload.size(); ++i) {
        const quint16 s = quint16(kAlawTable[in[i]]);
        out[2 * i] = uchar(s & 0xff);
        out[2 * i + 1] = uchar(s >> 8);
    }
    return pcm;
}

void AudioDecodeThread::run()
{
    // The device itself is started by the player on the output's thread.
    if (m_key.isEmpty())
        qWarning("no media key: audio frames are not played");
    else if (m_key.size() != crypto_stream_chacha20_KEYBYTES)
        qWarning("media key has %d bytes instead of %d: audio frames are not played", int(m_key.size()),
                 int(crypto_stream_chacha20_KEYBYTES));

    while (!isInterruptionRequested()) {
        AudioFrame frame;
        if (!popFrame(&frame))
            break;
        if (m_key.size() != crypto_stream_chacha20_KEYBYTES)
            break;
        const QByteArray pcm = decodePayload(decryptFrame(frame.data, m_key), frame.header.codecId());
        if (m_stop.load())
            break;
        if (m_device && !pcm.isEmpty())
            m_device->writePcm(pcm);
    }
    exit(0);
    if (m_device) {
        // Release a blocked reader now; the output itself is stopped on its
        // own thread (the posted call is dropped if the device goes first).
        m_device->abort();
        QMetaObject::invokeMethod(m_device, "stop", Qt::QueuedConnection);
    }
}
