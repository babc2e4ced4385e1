#include "camera/avframerecvthread.h"

#include "core/threadjoin.h"
#include "camera/audioframe.h"
#include "camera/audioplayer.h"
#include "camera/cliprecorder.h"
#include "camera/frameinfo.h"
#include "camera/libp2p.h"
#include "camera/videobuffer.h"
#include "camera/videoframe.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"

#include <QElapsedTimer>
#include <chrono>
#include <memory>
#include <new>

namespace {

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Results after which the channel can deliver nothing more.
bool channelGone(int r)
{
    return r == AV_ER_SESSION_CLOSE_BY_REMOTE || r == AV_ER_REMOTE_TIMEOUT_DISCONNECT || r == IOTC_ER_INVALID_SID
        || r == AV_ER_CLIENT_EXIT || r == AV_ER_INVALID_ARG;
}

} // namespace


AvframeRecvThread::AvframeRecvThread(int avIndex, VideoBuffer* videoBuffer, AudioPlayer* audioPlayer,
                                     int noFrameTimeoutMs, Observer* observer, QObject* parent)
    : QThread(parent)
    , m_avIndex(avIndex)
    , m_videoBuffer(videoBuffer)
    , m_audioPlayer(audioPlayer)
    , m_noFrameTimeoutMs(noFrameTimeoutMs)
    , m_observer(observer)
{
    ThreadJoin::watch(this);
}

AvframeRecvThread::~AvframeRecvThread()
{
    requestInterruption();
    ThreadJoin::wait(this);
}

void AvframeRecvThread::stop()
{
    requestInterruption();
    exit(0);
}

void AvframeRecvThread::run()
{
    std::unique_ptr<char[]> buf(new (std::nothrow) char[kFrameBufferSize]);
    if (!buf) {
        qWarning("new buf failed.");
        emit failed(kErrNoMemory);
        return;
    }
    const bool wakesOnFrame = canWakeOnVideoFrame();
    bool waitingForKeyFrame = true;
    bool decoderWaitsForKey = false;
    QElapsedTimer sinceFrame;
    sinceFrame.start();
    int r = 0;

    while (!isInterruptionRequested()) {
        char headerBuf[AV_FRAME_HEADER_SIZE] = {};
        int actualSize = 0, expectedSize = 0, headerSize = 0;
        unsigned int frameNumber = 0;
        r = avRecvFrameData2(m_avIndex, buf.get(), kFrameBufferSize, &actualSize, &expectedSize, headerBuf,
            AV_FRAME_HEADER_SIZE, &headerSize, &frameNumber);
        if (isInterruptionRequested())
            break;
        if (r == AV_ER_DATA_NOREADY) {
            const qint64 ms = sinceFrame.elapsed();
            if (ms > m_noFrameTimeoutMs) {
                qWarning("%d seconds passed and quit loop", int(ms / 1000));
                r = kErrNoFrame;
                break;
            }
            waitVideoFrame(m_avIndex, wakesOnFrame ? kFrameWaitMs : kIdleWaitMs);
            continue;
        }
        if (r <= 0) {
            qWarning("avRecvFrameData2 failed:%d", r);
            if (channelGone(r)) {
                qWarning("stop reading video frame:%d", r);
                break;
            }
            // A lost or oversized frame is skipped; the frames after it refer
            // to pictures the decoder never saw: wait for the next key frame.
            if (r == AV_ER_LOSED_THIS_FRAME || r == AV_ER_BUFPARA_MAXSIZE_INSUFF)
                waitingForKeyFrame = true;
            continue;
        }
        const qint64 arrivalNs = steadyNs();
        sinceFrame.restart();
        m_videoBuffer->addReceivedBytes(r);
        const AvFrameHeader header = AvFrameHeader::fromBytes(headerBuf, qMax(0, qMin(headerSize, int(sizeof headerBuf))));

        if (header.isAudio()) {
            note(Observer::AudioFrame, header, arrivalNs);
            if (m_audioPlayer && m_audioPlayer->isRunning())
                m_audioPlayer->pushFrame(AudioFrame{QByteArray(buf.get(), r), header});
            continue;
        }
        note(Observer::VideoFrame, header, arrivalNs);
        if (waitingForKeyFrame) {
            if (header.flags() == 0) {
                note(Observer::SkippedForKey, header, arrivalNs);
                continue;
            }
            waitingForKeyFrame = false;
        }
        if (!m_videoBuffer->hasKey())
            continue;
        RecordTap* const tap = m_videoBuffer->recordTap();
        const bool decode = m_videoBuffer->decodeEnabled();
        if (!decode && !(tap && tap->attached())) {
            waitingForKeyFrame = true; // decoding resumes at a key frame
            continue;
        }
        VideoFrame frame;
        try {
            frame.data = QByteArray(buf.get(), r);
            frame.header = header;
        } catch (const std::bad_alloc&) {
            qWarning("new videoFrame failed.");
            r = kErrNoMemory;
            break;
        }
        if (!m_videoBuffer->decryptFrame(frame)) {
            if (tap)
                tap->videoGap();
            continue;
        }
        if (tap)
            tap->video(frame);
        if (!decode || (decoderWaitsForKey && header.flags() == 0)) {
            decoderWaitsForKey = true; // a hidden tile records on; its decoding resumes at a key frame
            continue;
        }
        decoderWaitsForKey = false;
        note(Observer::DecodeAttempt, header, arrivalNs);
        QImage overview;
        const QImage picture = m_videoBuffer->decodeFrame(frame, &overview);
        // Drops this thread's share of the bytes (the recorder may hold
        // another). Not clear(): its reference count release runs inside
        // QtCore, where the thread sanitizer cannot see it order the reads
        // above before the recorder's writer frees the bytes; the inline
        // destructor of the swapped-out array releases in our code.
        frame.data = QByteArray();
        if (picture.isNull())
            continue;
        m_videoBuffer->pushFrame(picture, FrameInfo{header.timestamp(), header.isPlayback(), header.sendTimeUs(),
                                                    arrivalNs / 1000, overview});
        note(Observer::Queued, header, arrivalNs, m_observer ? steadyNs() : 0);
    }

    if (!isInterruptionRequested() && r != 0)
        emit failed(r);
}

#include "moc_avframerecvthread.cpp"
