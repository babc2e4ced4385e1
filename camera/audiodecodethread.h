#pragma once

#include "camera/audioframe.h"

#include <QByteArray>
#include <QList>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

class AudioDevice;

// Takes audio frames from a bounded queue, decrypts them with the media key,
// turns them into 16-bit PCM and writes the PCM to the audio device.
class AudioDecodeThread : public QThread
{
    Q_OBJECT
public:
    static constexpr int QueueLimit = 200;

    AudioDecodeThread(AudioDevice* device, const QByteArray& key, QObject* parent = nullptr);
    ~AudioDecodeThread() override;

    // Producers: blocks while QueueLimit frames are queued (until stop()).
    void pushFrame(const AudioFrame& frame);
    // Consumer: blocks while the queue is empty; false when stopped and empty.
    bool popFrame(AudioFrame* frame);
    int queuedFrames() const;

    void stop();

    // Decryption and decoding of one frame, as the loop does it. A frame of
    // at least 24 bytes is nonce + ChaCha20 payload; a shorter one is used
    // as it is. Codec 136 is PCM already, any other is G.711 A-law.
    static QByteArray decryptFrame(const QByteArray& frame, const QByteArray& key);
    static QByteArray decodePayload(const QByteArray& payload, quint16 codecId);
    static qint16 alawToLinear(quint8 a);

protected:
    void run() override;

private:
    AudioDevice* m_device;
    const QByteArray m_key;
    mutable std::mutex m_mutex;
    QList<AudioFrame> m_queue;
    std::atomic<bool> m_stop{false};
    std::condition_variable m_notEmpty;
    std::condition_variable m_notFull;
};
