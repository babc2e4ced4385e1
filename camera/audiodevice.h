#pragma once

#include <QAudio>
#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <atomic>
#include <condition_variable>
#include <mutex>

class QAudioOutput;

// The PCM source a QAudioOutput pulls from. The decode thread writes 16-bit
// PCM chunks with writePcm; the output reads them (amplified) through
// readData on the thread the device lives on. A read waits until a whole
// request can be served; a write waits while more than the high-water mark
// is buffered. abort() releases both sides.
class AudioDevice : public QIODevice
{
    Q_OBJECT
public:
    static constexpr qint64 HighWaterMark = 2097152;
    static constexpr double Gain = 10.0;

    // withOutput false builds the buffer without any audio output; whoever
    // reads the device (a test, a recorder) stands in for the output.
    explicit AudioDevice(QObject* parent = nullptr, bool withOutput = true);
    ~AudioDevice() override;

    static QAudioFormat outputFormat();

    // Opens the device and starts the output in pull mode, suspended until
    // the first PCM arrives. Must run on the thread the device lives on.
    bool start();
    // Stops the output and closes the device (the device's own thread).
    Q_INVOKABLE void stop();
    // Wakes blocked readers and writers for good; any thread.
    void abort();
    bool isAborted() const { return m_aborted.load(); }

    // Appends one PCM chunk (decode thread). Returns false when the chunk
    // was dropped: output not started, or the device was aborted.
    bool writePcm(const QByteArray& pcm);

    qint64 bufferedBytes() const;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }

    // Multiplies every 16-bit little-endian sample by the gain, truncating
    // toward zero and limiting the result to the 16-bit range.
    static void amplify(char* data, qint64 len, double gain = Gain);

protected:
    qint64 readData(char* data, qint64 maxlen) override;
    qint64 writeData(const char* data, qint64 len) override;

private slots:
    void onStateChanged(QAudio::State state);
    void resumeOutput();

private:
    QAudioOutput* m_output = nullptr;
    mutable std::mutex m_mutex;
    std::condition_variable m_spaceAvailable;
    std::condition_variable m_dataAvailable;
    QList<QByteArray> m_chunks;
    qint64 m_buffered = 0;
    std::atomic<bool> m_aborted{false};
    std::atomic<bool> m_active{false};     // started and not stopped
    std::atomic<bool> m_suspended{false};  // output suspended, waiting for PCM
    std::atomic<bool> m_resumePosted{false};
};
