#include "sim/media/videostreamer.h"

#include "p2p/p2pdevice.h"
#include "sim/devicefeatures/simaudiosource.h"
#include "sim/media/cliplibrary.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

quint64 steadyUs()
{
    return quint64(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count());
}

} // namespace

VideoStreamer::VideoStreamer(int avIndex, const Config& config)
    : m_avIndex(avIndex),
      m_config(config),
      m_encryptor(config.mediaKey),
      m_codecId(ClipLibrary::modelUsesH265(config.model) ? FrameEncryptor::kCodecH265 : FrameEncryptor::kCodecH264)
{
    m_thread = std::thread([this] { run(); });
}

VideoStreamer::~VideoStreamer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

ClipParams VideoStreamer::clipParams(const Config& config, int quality)
{
    ClipParams p;
    p.h265 = ClipLibrary::modelUsesH265(config.model);
    const QSize s = ClipLibrary::sizeForQuality(quality, config.size);
    p.width = s.width() & ~1;
    p.height = s.height() & ~1;
    p.fps = qBound(1, config.fps, 60);
    p.frames = p.fps * qMax(1, config.clipSeconds);
    p.label = config.name;
    return p;
}

void VideoStreamer::prefetch(const Config& config)
{
    const ClipParams hd = clipParams(config, 2);
    std::thread([hd] { ClipLibrary::instance().clip(hd); }).detach();
}

bool VideoStreamer::handleIoCtrl(unsigned type, const QByteArray& payload)
{
    const bool zeros = payload.size() == 8 && payload.count('\0') == 8;
    const QJsonObject json = QJsonDocument::fromJson(payload).object();
    std::unique_lock<std::mutex> lock(m_mutex);
    switch (type) {
    case kIoPlay:
        if (zeros) {
            // Back to live from playback.
            m_mode = Mode::Live;
        } else {
            m_mode = Mode::Live;
            m_quality = json.value(QLatin1String("videoquality")).toInt(2);
            m_pendingQuality = -1;
            m_clip.reset();
            m_audio = json.value(QLatin1String("enableaudio")).toInt(0) == 1;
        }
        m_restart = true;
        break;
    case kIoQuality:
        m_pendingQuality = json.value(QLatin1String("videoquality")).toInt(2);
        break;
    case kIoPlayback: {
        const qint64 start = json.value(QLatin1String("starttime")).toVariant().toLongLong();
        const qint64 offset = json.value(QLatin1String("offset")).toVariant().toLongLong();
        m_playbackTime = start + offset;
        m_playbackEnd = json.value(QLatin1String("endtime")).toVariant().toLongLong();
        m_autoLive = json.value(QLatin1String("autoswitchtolive")).toInt(0) == 1;
        m_mode = Mode::Playback;
        m_restart = true;
        break;
    }
    case kIoAudioStart:
        m_audio = true;
        break;
    case kIoAudioStop:
        m_audio = false;
        break;
    default:
        return false;
    }
    lock.unlock();
    m_wake.notify_all();
    return true;
}

void VideoStreamer::stopStreaming()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_mode = Mode::Idle;
    }
    m_wake.notify_all();
}

bool VideoStreamer::isPlaying() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode == Mode::Live || m_mode == Mode::Playback;
}

bool VideoStreamer::isPlayback() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mode == Mode::Playback;
}

QSize VideoStreamer::streamSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clip ? QSize(m_clip->params.width, m_clip->params.height) : QSize();
}

void VideoStreamer::sendAudioUntil(qint64 elapsedMs)
{
    // Audio runs on its own 40 ms frames, caught up after each video frame.
    if (!m_audioSource)
        m_audioSource = std::make_unique<SimAudioSource>(m_config.audioCodec, m_config.mediaKey);
    while (m_audioMs <= elapsedMs) {
        QByteArray frame, header;
        m_audioSource->nextFrame(&frame, &header);
        if (P2PD_SendAudioData(m_avIndex, frame.constData(), frame.size(), header.constData(), header.size()) != 0)
            return;
        ++m_audioSent;
        m_audioMs += SimAudioSource::FrameMs;
    }
}

void VideoStreamer::corrupt(QByteArray& wire, quint32 seed)
{
    if (wire.size() < 10)
        return;
    quint32 x = seed * 2654435761u + 0x9e3779b9u;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    const int n = quint8(wire.at(8));
    const int tableEnd = qMin(wire.size(), 9 + n * 8);
    switch (seed % 4) {
    case 0: // a wrong unit count
        wire[8] = char(next() & 0xff);
        break;
    case 1: // an offset or a length that points anywhere
        if (tableEnd > 9)
            wire[9 + int(next() % quint32(tableEnd - 9))] = char(next() & 0xff);
        break;
    default:
        break;
    }
    // Flipped bytes all over the payload (protected blocks and clear parts).
    const int payload = wire.size() - tableEnd;
    if (payload > 0) {
        for (int k = 0; k < 16; ++k)
        {
            const int at = tableEnd + int(next() % quint32(payload));
            wire[at] = char(wire.at(at) ^ char(1 + next() % 255));
        }
    }
}

void VideoStreamer::run()
{
    const int fps = qBound(1, m_config.fps, 60);
    const auto period = std::chrono::microseconds(1000000 / fps);
    auto next = Clock::now();
    int index = 0;
    int playbackFrames = 0;
    QElapsedTimer audioClock;
    audioClock.start();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_quit) {
        if (m_mode == Mode::Idle || m_mode == Mode::Paused) {
            m_wake.wait(lock);
            next = Clock::now();
            continue;
        }
        if (m_restart) {
            m_restart = false;
            index = 0;
            playbackFrames = 0;
            next = Clock::now();
        }
        if (index % fps == 0 && m_pendingQuality >= 0) {
            // A new size starts at a key frame.
            if (m_pendingQuality != m_quality)
                m_clip.reset();
            m_quality = m_pendingQuality;
            m_pendingQuality = -1;
        }
        if (!m_clip) {
            const ClipParams params = clipParams(m_config, m_quality);
            lock.unlock();
            std::shared_ptr<const EncodedClip> clip = ClipLibrary::instance().clip(params);
            lock.lock();
            if (!clip->isValid()) {
                m_mode = Mode::Idle;
                continue;
            }
            m_clip = clip;
            next = Clock::now();
            if (m_restart)
                continue;
        }
        if (m_wake.wait_until(lock, next, [this] { return m_quit || m_restart || m_mode == Mode::Idle; }))
            continue;
        next += period;
        const auto now = Clock::now();
        if (next + std::chrono::seconds(1) < now)
            next = now; // after a long hiccup do not burst to catch up

        const bool playback = m_mode == Mode::Playback;
        quint32 timestamp;
        if (playback) {
            const qint64 t = m_playbackTime + playbackFrames / fps;
            if (m_playbackEnd > 0 && t >= m_playbackEnd) {
                if (m_autoLive) {
                    m_mode = Mode::Live;
                    m_restart = true;
                } else {
                    m_mode = Mode::Paused;
                }
                continue;
            }
            timestamp = quint32(t);
            ++playbackFrames;
        } else {
            timestamp = quint32(QDateTime::currentSecsSinceEpoch());
        }
        const std::shared_ptr<const EncodedClip> clip = m_clip;
        const int i = index % clip->size();
        ++index;
        const bool audio = m_audio || (m_config.audioAlways && m_config.audioAlways());
        if (!audio) {
            audioClock.start();
            m_audioMs = 0;
        }
        lock.unlock();
        if (!m_stalled) {
            QByteArray wire = m_encryptor.encrypt(clip->frames.at(i));
            const int every = m_config.corruptEvery ? m_config.corruptEvery() : 0;
            if (every > 0 && m_sequence % quint32(every) == 0) {
                corrupt(wire, m_sequence);
                ++m_corruptSent;
            }
            const QByteArray header = FrameEncryptor::header(m_codecId, clip->keyFrames.at(i), playback, timestamp,
                steadyUs(), m_sequence++);
            const int rc = P2PD_SendFrameData(m_avIndex, wire.constData(), wire.size(), header.constData(),
                header.size());
            if (rc == 0)
                ++m_videoSent;
            if (audio && rc == 0)
                sendAudioUntil(audioClock.elapsed());
            lock.lock();
            if (rc < 0 && rc != AV_ER_EXCEED_MAX_SIZE)
                m_mode = Mode::Idle; // the channel is gone
        } else {
            lock.lock();
        }
    }
}
