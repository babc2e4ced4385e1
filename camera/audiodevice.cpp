#include "camera/audiodevice.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QMetaObject>
#include <cmath>
#include <cstring>

AudioDevice::AudioDevice(QObject* parent, bool withOutput)
    : QIODevice(parent)
{
    if (!withOutput)
        return;
    QAudioFormat format = outputFormat();
    const QAudioDeviceInfo info = QAudioDeviceInfo::defaultOutputDevice();
    if (info.isNull()) {
        qWarning("no audio output device, audio stays silent");
    } else if (!info.isFormatSupported(format)) {
        qWarning("default format not supported try to use nearest");
        format = info.nearestFormat(format);
    }
    m_output = new QAudioOutput(info, format, this);
    connect(m_output, &QAudioOutput::stateChanged, this, &AudioDevice::onStateChanged);
}

AudioDevice::~AudioDevice()
{
    stop();
    // The output's destructor may run the event loop: calls posted to this
    // device must not reach it half-destroyed.
    QCoreApplication::removePostedEvents(this);
    delete m_output;
    m_output = nullptr;
}

QAudioFormat AudioDevice::outputFormat()
{
    QAudioFormat format;
    format.setSampleRate(8000);
    format.setChannelCount(1);
    format.setSampleSize(16);
    format.setCodec(QStringLiteral("audio/pcm"));
    format.setByteOrder(QAudioFormat::LittleEndian);
    format.setSampleType(QAudioFormat::SignedInt);
    return format;
}

bool AudioDevice::start()
{
    if (m_active.load() || (m_output && m_output->state() != QAudio::StoppedState)) {
        qWarning("alread started");
        return false;
    }
    if (!open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        qWarning("failed to open Audio device");
        return false;
    }
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_aborted = false;
        m_buffered = 0;
        m_chunks.clear();
    }
    if (m_output) {
        m_output->start(this);
        if (m_output->error() != QAudio::NoError || m_output->state() == QAudio::StoppedState) {
            qWarning("failed to open Audio device");
            m_output->stop();
            close();
            return false;
        }
        m_output->suspend();
        m_suspended = true;
    }
    m_active = true;
    m_spaceAvailable.notify_one();
    return true;
}

void AudioDevice::stop()
{
    m_active = false;
    abort();
    if (m_output)
        m_output->stop();
    if (isOpen())
        close();
}

void AudioDevice::abort()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_aborted = true;
    m_spaceAvailable.notify_all();
    m_dataAvailable.notify_all();
}

bool AudioDevice::writePcm(const QByteArray& pcm)
{
    if (!m_active.load() || pcm.isEmpty())
        return false;
    bool needResume = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_buffered > HighWaterMark && !m_aborted.load())
            m_spaceAvailable.wait(lock);
        if (m_aborted.load())
            return false;
        // An own copy: the reader cuts chunks in place, and the writer's
        // array must not be shared across the two threads.
        m_chunks.append(QByteArray(pcm.constData(), pcm.size()));
        m_buffered += pcm.size();
        m_written += pcm.size();
        m_dataAvailable.notify_all();
        // Decided under the mutex so that a suspension for lack of data
        // cannot slip in between; the output belongs to the device's thread,
        // so it is resumed there.
        needResume = m_output && m_suspended.load() && !m_resumePosted.exchange(true);
    }
    if (needResume)
        QMetaObject::invokeMethod(this, "resumeOutput", Qt::QueuedConnection);
    return true;
}

qint64 AudioDevice::bufferedBytes() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_buffered;
}

qint64 AudioDevice::bytesAvailable() const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return QIODevice::bytesAvailable() + m_buffered;
}

void AudioDevice::amplify(char* data, qint64 len, double gain)
{
    auto* p = reinterpret_cast<unsigned char*>(data);
    for (qint64 i = 0; i + 1 < len; i += 2) {
        const qint16 s = qint16(quint16(p[i]) | (quint16(p[i + 1]) << 8));
        double v = std::trunc(double(s) * gain);
        if (v > 32767.0)
            v = 32767.0;
        else if (v < -32768.0)
            v = -32768.0;
        const quint16 out = quint16(qint16(v));
        p[i] = uchar(out & 0xff);
        p[i + 1] = uchar(out >> 8);
    }
}

qint64 AudioDevice::readData(char* data, qint64 maxlen)
{
    if (m_aborted.load()) {
        qWarning("stopped and read data again");
        return -1;
    }
    if (maxlen <= 0)
        return 0;
    std::memset(data, 0, size_t(maxlen));

    std::unique_lock<std::mutex> lock(m_mutex);
    // A request larger than the writer may ever buffer is served with what
    // the buffer can hold, so reader and writer cannot wait on each other.
    const qint64 want = qMin(maxlen, HighWaterMark);
    bool logged = false;
    while (m_buffered < want && !m_aborted.load()) {
        if (!logged) {
            qDebug("frame buffer is not enough %lld now, needed %lld", static_cast<long long>(m_buffered),
                   static_cast<long long>(maxlen));
            logged = true;
        }
        m_dataAvailable.wait(lock);
    }
    if (m_aborted.load())
        return -1;

    qint64 copied = 0;
    while (copied < want && !m_chunks.isEmpty()) {
        QByteArray& chunk = m_chunks.first();
        const qint64 need = want - copied;
        if (chunk.size() <= need) {
            std::memcpy(data + copied, chunk.constData(), size_t(chunk.size()));
            copied += chunk.size();
            m_chunks.removeFirst();
        } else {
            std::memcpy(data + copied, chunk.constData(), size_t(need));
            chunk.remove(0, int(need));
            copied += need;
        }
    }
    amplify(data, copied);
    m_buffered -= copied;
    if (m_buffered < HighWaterMark)
        m_spaceAvailable.notify_all();
    return copied;
}

qint64 AudioDevice::writeData(const char*, qint64)
{
    return 0;
}

void AudioDevice::onStateChanged(QAudio::State state)
{
    if (!m_output || state != QAudio::IdleState || m_output->error() != QAudio::UnderrunError)
        return;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_buffered > 0 || !m_active.load())
            return; // PCM is waiting: keep pulling
        m_suspended = true;
    }
    // Outside the buffer lock: the output takes its own lock, which it also
    // holds while it calls back into this device. A write that comes in
    // meanwhile posts a resume, which runs after this on the same thread.
    m_output->suspend();
}

void AudioDevice::resumeOutput()
{
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_resumePosted = false;
        if (!m_output || !m_active.load() || !m_suspended.load())
            return;
        m_suspended = false;
    }
    m_output->resume();
}
