#pragma once

#include "camera/avframeheader.h"

#include <QThread>
#include <atomic>
#include <functional>

class AudioPlayer;
class VideoBuffer;

// Pulls every media frame of one playing camera from the AV channel: audio
// goes to the audio player (while it runs), video waits for a key frame, is
// decrypted, decoded, scaled and queued in the camera's VideoBuffer. Started by
// CameraController::play, stopped by stopPlay.
class AvframeRecvThread : public QThread
{
    Q_OBJECT
public:
    static constexpr int kFrameBufferSize = 1048576;
    static constexpr int kNoFrameTimeoutMs = 30000;
    static constexpr int kIdleSleepMs = 20;
    static constexpr int kErrNoMemory = -20003;
    static constexpr int kErrNoFrame = -20011;

    // Neither the buffer nor the player is owned; the player may be null.
    // After noFrameTimeoutMs without any frame the loop gives up with
    // failed(-20011).
    AvframeRecvThread(int avIndex, VideoBuffer* videoBuffer, AudioPlayer* audioPlayer,
                      int noFrameTimeoutMs = kNoFrameTimeoutMs, QObject* parent = nullptr);
    // Waits for the thread to end.
    ~AvframeRecvThread() override;

    // Asks the loop to end; returns at once. A stopped loop emits no failed.
    void stop();

    // Called on the receive thread for every queued picture with the frame's
    // header, the steady-clock time (ns) at which the frame came off the
    // channel and the time its picture was queued. For measurements; unset in
    // the application.
    using FrameObserver = std::function<void(const AvFrameHeader& header, qint64 arrivalNs, qint64 queuedNs)>;
    void setFrameObserver(FrameObserver observer) { m_observer = std::move(observer); }

    // Counters of the loop, readable from any thread.
    struct Stats
    {
        std::atomic<int> audioFrames{0};     // audio frames met (passed on or dropped)
        std::atomic<int> videoFrames{0};     // video frames received
        std::atomic<int> skippedForKey{0};   // video dropped while waiting for a key frame
        std::atomic<int> decodeAttempts{0};  // frames handed to the decoder
        std::atomic<int> queued{0};          // pictures queued
    };
    const Stats& stats() const { return m_stats; }

signals:
    void failed(int err_code);

protected:
    void run() override;

private:
    const int m_avIndex;
    VideoBuffer* const m_videoBuffer;
    AudioPlayer* const m_audioPlayer;
    const int m_noFrameTimeoutMs;
    FrameObserver m_observer;
    Stats m_stats;
};
