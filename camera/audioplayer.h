#pragma once

#include "camera/audioframe.h"

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <mutex>
#include <shared_mutex>

class AudioDecodeThread;
class AudioDevice;
class QThread;
class RecordTap;

// Owns the audio pipeline: lives on its own thread, where the audio device
// and its output run; the decode thread feeds the device. start/stop/
// isRunning are called by the camera session, pushFrame by the receive
// threads.
class AudioPlayer : public QObject
{
    Q_OBJECT
public:
    enum State { Starting = 0, Running = 1, Stopping = 2, Stopped = 3 };

    // The player has no parent: it moves to its own thread at once.
    explicit AudioPlayer(const QByteArray& key);
    ~AudioPlayer() override;

    void start();
    void stop();
    bool isRunning() const;
    State state() const { return m_state.load(); }
    void pushFrame(const AudioFrame& frame);

    // Builds the device without an audio output (tests and recorders read
    // the device themselves). Takes effect at the next start.
    void setHeadless(bool headless) { m_headless = headless; }
    // The device while running (null otherwise); for tests and diagnostics.
    AudioDevice* device() const;
    AudioDecodeThread* decodeThread() const;
    // Where the frames played also go for recording (not owned; null: none).
    void setRecordTap(RecordTap* tap) { m_recordTap.store(tap); }

signals:
    void start_s();
    void stop_s();

private slots:
    void handleStart();
    void handleStop();

private:
    mutable std::mutex m_mutex;
    const QByteArray m_key;
    QThread* m_thread;
    AudioDevice* m_device = nullptr;
    AudioDecodeThread* m_decodeThread = nullptr;
    mutable std::shared_mutex m_decodeLock; // guards m_decodeThread against pushFrame
    std::atomic<State> m_state{Stopped};
    bool m_headless = false;
    std::atomic<RecordTap*> m_recordTap{nullptr};
};
