#include "camera/audioplayer.h"

#include "core/threadjoin.h"
#include "camera/audiodecodethread.h"
#include "camera/cliprecorder.h"
#include "camera/audiodevice.h"

#include <QThread>

AudioPlayer::AudioPlayer(const QByteArray& key)
    : m_key(key)
    , m_thread(new QThread)
{
    m_thread->setObjectName(QStringLiteral("audio-player"));
    ThreadJoin::watch(m_thread);
    moveToThread(m_thread);
    connect(this, &AudioPlayer::start_s, this, &AudioPlayer::handleStart, Qt::QueuedConnection);
    connect(this, &AudioPlayer::stop_s, this, &AudioPlayer::handleStop, Qt::QueuedConnection);
}

AudioPlayer::~AudioPlayer()
{
    if (isRunning())
        stop();
    m_thread->quit();
    ThreadJoin::wait(m_thread);
    delete m_thread;
}

void AudioPlayer::start()
{
    if (m_state.load() != Stopped || m_thread->isRunning()) {
        qWarning("cannot start audio again for status not ready!");
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_device) {
        qWarning("cannot start audio again for audio_device_ created!");
        return;
    }
    m_thread->start(QThread::InheritPriority);
    m_state = Starting;
    emit start_s();
}

void AudioPlayer::handleStart()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_state.load() != Starting || m_device)
        return; // stopped before the thread got here
    m_device = new AudioDevice(this, !m_headless);
    if (!m_device->start())
        qWarning("audio output not started, audio stays silent");
    auto* decoder = new AudioDecodeThread(m_device, m_key, this);
    {
        std::unique_lock<std::shared_mutex> w(m_decodeLock);
        m_decodeThread = decoder;
    }
    decoder->start(QThread::InheritPriority);
    State expected = Starting;
    m_state.compare_exchange_strong(expected, Running);
}

bool AudioPlayer::isRunning() const
{
    const State s = m_state.load();
    return s == Starting || s == Running;
}

void AudioPlayer::pushFrame(const AudioFrame& frame)
{
    std::shared_lock<std::shared_mutex> r(m_decodeLock);
    if (m_state.load() == Running && m_decodeThread) {
        if (RecordTap* tap = m_recordTap.load())
            tap->audio(frame);
        m_decodeThread->pushFrame(frame);
        return;
    }
    qWarning("ignore frame for decode thread not created yet.");
}

void AudioPlayer::stop()
{
    const State s = m_state.load();
    if (s != Starting && s != Running) {
        qWarning("cannot stop audio again for not started!");
        return;
    }
    m_state = Stopping;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_device)
            m_device->abort();
        else
            qWarning("invalid status that audio_device_ is null!");
    }
    emit stop_s();
    ThreadJoin::wait(m_thread); // handleStop ends the thread: its work is ordered before ours
    m_state = Stopped;
}

void AudioPlayer::handleStop()
{
    AudioDecodeThread* decoder = nullptr;
    {
        std::shared_lock<std::shared_mutex> r(m_decodeLock);
        decoder = m_decodeThread;
    }
    if (decoder) {
        // Releases producers blocked on a full queue before taking the
        // pointer away from them.
        decoder->stop();
        {
            std::unique_lock<std::shared_mutex> w(m_decodeLock);
            m_decodeThread = nullptr;
        }
        ThreadJoin::wait(decoder);
        delete decoder;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    delete m_device;
    m_device = nullptr;
    m_thread->quit();
}

AudioDevice* AudioPlayer::device() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_device;
}

AudioDecodeThread* AudioPlayer::decodeThread() const
{
    std::shared_lock<std::shared_mutex> r(m_decodeLock);
    return m_decodeThread;
}
