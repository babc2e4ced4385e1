#pragma once

#include "camera/avframeheader.h"

#include <QThread>

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
    // The longest wait for a frame when the library wakes the thread as one
    // arrives (or as the channel ends): a stop that leaves the channel open
    // is seen within it. At 20 frames a second the thread wakes once a frame.
    static constexpr int kFrameWaitMs = 100;
    // The same with a library that cannot wake it: a plain sleep between polls.
    static constexpr int kIdleWaitMs = 20;
    static constexpr int kErrNoMemory = -20003;
    static constexpr int kErrNoFrame = -20011;

    // Told on the receive thread what becomes of each frame; for
    // measurements (the application passes none). arrivalNs: the
    // steady-clock time at which the frame came off the channel; queuedNs:
    // when its picture was queued (Queued only, else 0).
    class Observer
    {
    public:
        enum Event {
            AudioFrame,    // audio met (passed on or dropped)
            VideoFrame,    // video received
            SkippedForKey, // video dropped while waiting for a key frame
            DecodeAttempt, // handed to the decoder
            Queued,        // its picture queued
            EventCount
        };
        virtual ~Observer() = default;
        virtual void frameEvent(Event event, const AvFrameHeader& header, qint64 arrivalNs, qint64 queuedNs) = 0;
    };

    // Neither the buffer, the player nor the observer is owned; the player
    // and the observer may be null. After noFrameTimeoutMs without any frame
    // the loop gives up with failed(-20011).
    AvframeRecvThread(int avIndex, VideoBuffer* videoBuffer, AudioPlayer* audioPlayer,
                      int noFrameTimeoutMs = kNoFrameTimeoutMs, Observer* observer = nullptr,
                      QObject* parent = nullptr);
    // Waits for the thread to end.
    ~AvframeRecvThread() override;

    // Asks the loop to end; returns at once. A stopped loop emits no failed.
    void stop();

signals:
    void failed(int err_code);

protected:
    void run() override;

private:
    void note(Observer::Event event, const AvFrameHeader& header, qint64 arrivalNs, qint64 queuedNs = 0)
    {
        if (m_observer)
            m_observer->frameEvent(event, header, arrivalNs, queuedNs);
    }

    const int m_avIndex;
    VideoBuffer* const m_videoBuffer;
    AudioPlayer* const m_audioPlayer;
    const int m_noFrameTimeoutMs;
    Observer* const m_observer;
};
