#pragma once

#include "sim/media/encodedclip.h"
#include "sim/media/frameencryptor.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <atomic>
#include <functional>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

class SimAudioSource;

// The media side of one emulated camera session: after the play command it
// sends the camera's looping test clip on the device's AV channel, encrypted
// with the session's media key, with fresh time stamps, paced at the camera's
// frame rate; and while audio is on, the camera's test tone in 40 ms frames. The device's IO-control
// dispatcher hands it the video commands:
//
//   0x1FF  {"enableaudio":A,"videoquality":Q}: start live video (key frame
//          first) at quality Q, audio if A is 1
//   0x1FF  8 zero bytes: back to live from playback (key frame first)
//   0x320  {"videoquality":Q}: switch size at the next key frame
//   0xF001 {"autoswitchtolive":L,"endtime":E,"offset":O,"sessionid":S,
//           "starttime":S}: playback-flagged frames with time stamps from
//          S + O (key frame first); at E (when not 0) the stream pauses, or
//          goes back to live when L is 1
//   0x300 / 0x301: audio on / off
//
// Quality values: 1 (SD) streams 640 x 360, every other value the camera's own
// size. Models "hovia.camera.v4" and "lanterra.camera.ipc009" stream H.265,
// all others H.264. Each clip is encoded once per camera and size and shared.
class VideoStreamer
{
public:
    static constexpr unsigned kIoPlay = 0x1FF;
    static constexpr unsigned kIoQuality = 0x320;
    static constexpr unsigned kIoPlayback = 0xF001;
    static constexpr unsigned kIoAudioStart = 0x300;
    static constexpr unsigned kIoAudioStop = 0x301;

    struct Config
    {
        QString name = QStringLiteral("Camera");   // drawn into the picture
        QString model = QStringLiteral("hovia.camera.v3");
        QSize size{1280, 720};
        int fps = 20;
        int clipSeconds = 2;
        QByteArray mediaKey;       // 32 bytes, or empty (frames go out with a zero key)
        int audioCodec = 138;      // 138 A-law, 136 PCM
        // Fault knob, asked before each video frame: 0 sends frames intact,
        // N damages every N-th frame (corrupt()). Unset: always 0.
        std::function<int()> corruptEvery;
        // Fault knob, asked before each video frame: true sends the audio
        // whether the client asked for it or not. Unset: false.
        std::function<bool()> audioAlways;
    };

    // avIndex: the device side of the AV channel (P2PD_AvServStart).
    VideoStreamer(int avIndex, const Config& config);
    ~VideoStreamer();

    // True when the message was a media command (and was acted on).
    bool handleIoCtrl(unsigned type, const QByteArray& payload);

    // Starts encoding this camera's clips in the background so that the first
    // play does not wait for the encoder.
    static void prefetch(const Config& config);
    static ClipParams clipParams(const Config& config, int quality);

    // Fault knob: while stalled no frame is sent (the session stays up).
    void setStalled(bool stalled) { m_stalled = stalled; }
    void stopStreaming();

    // Damages a wire frame (FrameEncryptor format) the way a bad link or a
    // broken camera would: flips bytes of the payload and, depending on
    // `seed`, of the NAL table or its count. Deterministic for one seed.
    static void corrupt(QByteArray& wire, quint32 seed);

    int videoFramesSent() const { return m_videoSent.load(); }
    int corruptedFramesSent() const { return m_corruptSent.load(); }
    int audioFramesSent() const { return m_audioSent.load(); }
    bool isPlaying() const;
    bool isPlayback() const;
    QSize streamSize() const;

private:
    enum class Mode { Idle, Live, Playback, Paused };
    void run();
    void sendAudioUntil(qint64 elapsedMs);

    const int m_avIndex;
    const Config m_config;
    const FrameEncryptor m_encryptor;
    const quint16 m_codecId;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_quit = false;
    Mode m_mode = Mode::Idle;
    bool m_restart = false;           // start again at a key frame
    int m_quality = 2;
    int m_pendingQuality = -1;        // applied at the next key frame
    bool m_audio = false;
    qint64 m_playbackTime = 0;        // seconds, the next playback frame's time
    qint64 m_playbackEnd = 0;
    bool m_autoLive = false;
    std::shared_ptr<const EncodedClip> m_clip;

    std::atomic<bool> m_stalled{false};
    std::atomic<int> m_videoSent{0};
    std::atomic<int> m_audioSent{0};
    std::atomic<int> m_corruptSent{0};
    quint32 m_sequence = 0;
    std::unique_ptr<SimAudioSource> m_audioSource; // the stream thread's
    qint64 m_audioMs = 0;
    std::thread m_thread;
};
