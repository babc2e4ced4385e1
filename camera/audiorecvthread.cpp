#include "camera/audiorecvthread.h"

#include "core/threadjoin.h"
#include "camera/audioframe.h"
#include "camera/audioplayer.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"

#include <QByteArray>

AudioRecvthread::AudioRecvthread(int avIndex, AudioPlayer* player, QObject* parent)
    : AudioRecvthread(avIndex, player,
                      [](int av, char* buf, int size, char* header, int headerSize, unsigned int* frameNo) {
                          return avRecvAudioData(av, buf, size, header, headerSize, frameNo);
                      },
                      parent)
{
}

AudioRecvthread::AudioRecvthread(int avIndex, AudioPlayer* player, const Receiver& receiver, QObject* parent)
    : QThread(parent)
    , m_avIndex(avIndex)
    , m_player(player)
    , m_receiver(receiver)
{
    ThreadJoin::watch(this);
    setObjectName(QStringLiteral("audio-recv"));
}

AudioRecvthread::~AudioRecvthread()
{
    stop();
    ThreadJoin::wait(this);
}

void AudioRecvthread::stop()
{
    exit(0);
    requestInterruption();
}

void AudioRecvthread::run()
{
    QByteArray buffer(BufferSize, Qt::Uninitialized);
    if (buffer.size() != BufferSize) {
        qWarning("new audio buffer faild");
        return;
    }
    if (isInterruptionRequested())
        return;

    int code = 0;
    while (true) {
        char header[AvFrameHeader::Size] = {};
        unsigned int frameNumber = 0;
        const int r = m_receiver(m_avIndex, buffer.data(), BufferSize, header, AvFrameHeader::Size, &frameNumber);
        if (r == AV_ER_DATA_NOREADY) {
            msleep(IdlePollMs);
        } else if (r == AV_ER_SESSION_CLOSE_BY_REMOTE) {
            qWarning("[thread_ReceiveAudio] AV_ER_SESSION_CLOSE_BY_REMOTE");
            code = r;
            break;
        } else if (r == AV_ER_REMOTE_TIMEOUT_DISCONNECT) {
            qWarning("[thread_ReceiveAudio] AV_ER_REMOTE_TIMEOUT_DISCONNECT");
            code = r;
            break;
        } else if (r == IOTC_ER_INVALID_SID) {
            qWarning("[thread_ReceiveAudio] Session cant be used anymore");
            code = r;
            break;
        } else if (r == AV_ER_CLIENT_EXIT || r == AV_ER_INVALID_ARG) {
            // The channel was closed on this side: nothing more will come.
            qWarning("[thread_ReceiveAudio] channel closed[%d]", r);
            code = r;
            break;
        } else if (r == AV_ER_LOSED_THIS_FRAME) {
            qWarning("AV_ER_LOSED_THIS_FRAME[%d]", int(frameNumber));
        } else if (r < 0) {
            qWarning("Other error[%d]!!!", r);
            msleep(IdlePollMs); // an unknown error must not turn into a busy loop
        } else if (!isInterruptionRequested()) {
            AudioFrame frame;
            frame.data = QByteArray(buffer.constData(), qMin(r, BufferSize));
            frame.header = AvFrameHeader::fromBytes(header, AvFrameHeader::Size);
            if (m_player)
                m_player->pushFrame(frame);
        }
        if (isInterruptionRequested())
            return;
    }
    if (!isInterruptionRequested())
        emit failed(code);
}
