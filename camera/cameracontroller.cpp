#include "camera/cameracontroller.h"

#include "core/camerapassport.h"
#include "core/functiontrace.h"
#include "camera/audioplayer.h"
#include "camera/audiorecvthread.h"
#include "camera/avframerecvthread.h"
#include "camera/eventrecvthread.h"
#include "camera/libp2p.h"
#include "camera/rdtupdatethread.h"
#include "camera/videobuffer.h"
#include "p2p/avapi.h"
#include "p2p/iotcapi.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cstring>

CameraController::CameraController(const CameraPassport* record, const CameraTimings& timings, QObject* parent)
    : QObject(parent)
    , m_record(record)
    , m_timings(timings)
{
}

CameraController::~CameraController()
{
    stopPlay();
}

QByteArray CameraController::did() const
{
    return m_record ? m_record->did.toUtf8() : QByteArray();
}

QByteArray CameraController::viewAccount(const CameraPassport& passport)
{
    if (passport.sharedKey.isEmpty())
        return passport.user.toLatin1();
    // QJsonDocument writes members sorted by name, which is exactly the
    // order account, public_key, sign.
    QJsonObject o;
    o.insert(QStringLiteral("account"), passport.user);
    o.insert(QStringLiteral("public_key"), QString::fromLatin1(passport.appPublicKey.toHex()));
    o.insert(QStringLiteral("sign"), passport.signForAppData);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

// ---- audio, recording timeline and motor commands ---------------------------

namespace {

constexpr unsigned int kIoRdtStart = 0x200;
constexpr unsigned int kIoRdtStop = 0x201;
constexpr unsigned int kIoAudioStart = 0x300;
constexpr unsigned int kIoAudioStop = 0x301;
constexpr unsigned int kIoMotor = 0xF005;

QByteArray compactJson(const char* key, int value)
{
    QJsonObject o;
    o.insert(QLatin1String(key), value);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

int CameraController::playAudio()
{
    FunctionTrace trace("CameraController::playAudio");
    if (!m_audioPlayer) {
        qWarning("audio_player already destroyed");
        return 0;
    }
    if (m_audioPlayer->isRunning()) {
        qWarning("audio_player is still running now");
        return 0;
    }
    const int r = sendIoCtrl(m_avIndex, kIoAudioStart, QByteArray(8, '\0'));
    if (r < 0) {
        qWarning("start device audio failed:%d", r);
        return r;
    }
    if (!m_audioThread) {
        m_audioThread = new AudioRecvthread(m_avIndex, m_audioPlayer);
        m_audioThread->start();
    }
    m_audioPlayer->start();
    return r;
}

int CameraController::stopAudio()
{
    FunctionTrace trace("CameraController::stopAudio");
    if (!m_audioPlayer) {
        qWarning("audio player already destroyed..");
        return 0;
    }
    if (m_audioPlayer->isRunning())
        m_audioPlayer->stop();
    if (m_audioThread) {
        m_audioThread->stop();
        delete m_audioThread;
        m_audioThread = nullptr;
    }
    const int r = sendIoCtrl(m_avIndex, kIoAudioStop, QByteArray(8, '\0'));
    if (r < 0)
        qWarning("failed to stop device audio:%d", r);
    return r;
}

int CameraController::startRDT()
{
    FunctionTrace trace("CameraController::startRDT");
    if (m_timelineThread) {
        qWarning("camera %s:rdt already started", did().constData());
        return 4;
    }
    if (m_rdtChannel < 0) {
        m_rdtChannel = IOTC_Session_Get_Free_Channel(m_sessionId);
        if (m_rdtChannel < 0) {
            qWarning("camera %s:IOTC_Session_Get_Free_Channel failed[%d]", did().constData(), m_rdtChannel);
            return m_rdtChannel;
        }
    }
    const int r = sendIoCtrl(m_avIndex, kIoRdtStart, compactJson("channel", m_rdtChannel));
    if (r < 0) {
        qWarning("camera %s:ioctrl error failed[%d]", did().constData(), r);
        return r;
    }
    m_timelineThread = new RDTUpdatethread(m_sessionId, m_rdtChannel, RdtApi::library(), m_timings.timelineRefreshMs);
    connect(m_timelineThread, &RDTUpdatethread::timeLineReady, this, &CameraController::timeLineReady);
    // The answer of a thread that was stopped meanwhile may still be queued:
    // only the current thread's failure counts.
    const quint64 generation = ++m_rdtGeneration;
    connect(m_timelineThread, &RDTUpdatethread::rdtStarted, this, [this, generation](bool success) {
        if (!success && generation == m_rdtGeneration)
            emit rdtStartFailed();
    });
    m_timelineThread->start();
    return 0;
}

void CameraController::stopRDT()
{
    FunctionTrace trace("CameraController::stopRDT");
    ++m_rdtGeneration;
    if (!m_timelineThread)
        return;
    m_timelineThread->stop();
    delete m_timelineThread;
    m_timelineThread = nullptr;
    if (m_rdtChannel >= 0) {
        sendIoCtrl(m_avIndex, kIoRdtStop, compactJson("channel", m_rdtChannel));
        m_rdtChannel = -1;
    }
}

void CameraController::controlMotor(int operation)
{
    FunctionTrace trace("CameraController::controlMotor");
    if (!connected())
        return;
    if (!m_eventThread) {
        m_eventThread = new EventRecvthread(
            m_avIndex, [](int avIndex, unsigned int* type, QJsonObject* json, unsigned int timeoutMs) {
                return recvIoCtrlJson(avIndex, *type, *json, timeoutMs);
            });
        connect(m_eventThread, &EventRecvthread::ioctrlEvent, this, &CameraController::onIoctrlEvent);
        m_eventThread->start();
    }
    sendIoCtrl(m_avIndex, kIoMotor, compactJson("operation", operation));
}

void CameraController::onIoctrlEvent(uint type, QJsonObject data)
{
    MotorReply::handle(type, data);
}

int CameraController::setSessionId(int sid)
{
    std::lock_guard<std::mutex> lock(m_abortMutex);
    return m_sessionId.exchange(sid);
}

int CameraController::connCamera()
{
    return connCamera(abortTicket());
}

int CameraController::connCamera(quint64 ticket)
{
    FunctionTrace trace("CameraController::connCamera");
    if (m_avIndex >= 0 && m_sessionId >= 0) {
        qWarning("already connected!!!!!!!!!!!!!!!!!!!!!!!");
        return 0;
    }

    const int sid = IOTC_Get_SessionID();
    if (sid < 0) {
        qWarning("IOTC_Get_Session error code [%d]", sid);
        return sid;
    }
    {
        // Published and checked under the abort lock: an abort either sees
        // the id (and stops its connect) or is seen here.
        std::lock_guard<std::mutex> lock(m_abortMutex);
        if (m_abortTicket.load() != ticket) {
            qInfo("camera %s: connect aborted before it started", did().constData());
            IOTC_Session_Close(sid);
            return -13;
        }
        m_sessionId = sid;
    }

    const QString uid = m_record ? m_record->p2p_id : QString();
    const int r = connectByUid(uid, sid, m_timings.connectTimeoutSeconds);
    if (r < 0) {
        qWarning("IOTC_Connect_ByUID_Parallel error[%d]", r);
        setSessionId(-1);
        IOTC_Session_Close(sid);
        return r;
    }

    reportSession();

    const QByteArray account = m_record ? viewAccount(*m_record) : QByteArray("admin");
    const QByteArray password = m_record ? m_record->password.toLatin1() : QByteArray();
    unsigned int serviceType = 0;
    int resend = -1;
    m_avIndex = avClientStart2(sid, account.constData(), password.constData(), AvStartTimeoutSeconds,
                               &serviceType, 0, &resend);
    if (m_avIndex < 0) {
        setSessionId(-1);
        IOTC_Session_Close(sid);
        qWarning("avClientStart failed[%d]", m_avIndex);
        return m_avIndex;
    }
    if (resend != 1) {
        qWarning("Resend disenable[%d]", resend);
        avClientStop(m_avIndex);
        m_avIndex = -1;
        setSessionId(-1);
        IOTC_Session_Close(sid);
        return -5;
    }
    return 0;
}

void CameraController::reportSession()
{
    IOTCSessionInfo info;
    std::memset(&info, 0, sizeof info);
    IOTC_Session_Check(m_sessionId, &info);
    static const char* const modes[] = {"P2P", "RLY", "LAN"};
    if (info.mode <= 2)
        qInfo("device is from %s:%d[%s] Mode=%s", info.remoteIp, info.remotePort, info.uid, modes[info.mode]);
    qInfo("device info VER[%X] NAT[%d]", info.version, info.natType);
}

void CameraController::abort()
{
    FunctionTrace trace("CameraController::abort");
    std::lock_guard<std::mutex> lock(m_abortMutex);
    ++m_abortTicket;
    const int sid = m_sessionId;
    if (sid >= 0) {
        qInfo("stop connection for session");
        IOTC_Session_Shutdown(sid);
    }
}

int CameraController::stopPlay()
{
    FunctionTrace trace("CameraController::stopPlay");
    ++m_playGeneration;
    // Ask every thread to stop first, then release a receive thread blocked
    // on a full picture queue.
    if (m_audioThread)
        m_audioThread->stop();
    if (m_eventThread)
        m_eventThread->stop();
    if (m_timelineThread)
        m_timelineThread->stop();
    if (m_videoThread)
        m_videoThread->stop();
    if (m_videoBuffer)
        m_videoBuffer->stop();
    if (m_audioPlayer && m_audioPlayer->isRunning())
        m_audioPlayer->stop();
    // Then the session ends at once, so that no thread waits out a read, a
    // channel start or a send to a camera that stalled.
    if (m_sessionId >= 0)
        IOTC_Session_Shutdown(m_sessionId);

    // Deleting a thread waits for it. Both receive threads hand frames to the
    // audio player, so the player goes only after them.
    delete m_videoThread;
    m_videoThread = nullptr;
    delete m_audioThread;
    m_audioThread = nullptr;
    delete m_eventThread;
    m_eventThread = nullptr;
    delete m_audioPlayer;
    m_audioPlayer = nullptr;

    // Nothing uses the channel or the session once the threads are gone.
    if (m_avIndex >= 0) {
        avClientStop(m_avIndex);
        m_avIndex = -1;
    }
    delete m_timelineThread;
    m_timelineThread = nullptr;
    ++m_rdtGeneration;
    const int sid = setSessionId(-1);
    if (sid >= 0) {
        IOTC_Session_Close(sid);
        qInfo("camera disconnected");
    }
    m_videoBuffer = nullptr;
    return 0;
}

int CameraController::play(VideoBuffer* videoBuffer, int quality, bool enableAudio)
{
    FunctionTrace trace("CameraController::play");
    if (m_videoThread) {
        qWarning("video recv thread is alreay running");
        return 4;
    }
    m_videoBuffer = videoBuffer;

    QJsonObject cmd;
    cmd.insert(QStringLiteral("enableaudio"), enableAudio ? 1 : 0);
    cmd.insert(QStringLiteral("videoquality"), quality);
    const int r = sendIoCtrl(m_avIndex, IoPlay, QJsonDocument(cmd).toJson(QJsonDocument::Compact));
    if (r < 0) {
        qWarning("send io cmd failed:%d", r);
        return r;
    }

    m_audioPlayer = new AudioPlayer(m_record ? m_record->sharedKey : QByteArray());
    m_videoThread = new AvframeRecvThread(m_avIndex, videoBuffer, m_audioPlayer, m_timings.noFrameTimeoutMs);
    // The receive thread's report is queued; one that comes in after the
    // stream was stopped (a stop crossing a broken link) belongs to nobody.
    const quint64 generation = ++m_playGeneration;
    connect(m_videoThread, &AvframeRecvThread::failed, this, [this, generation](int err) {
        if (generation != m_playGeneration) {
            qInfo("camera %s: error %d of a stopped stream dropped", did().constData(), err);
            return;
        }
        emit failed(err);
    });
    if (enableAudio) {
        m_audioThread = new AudioRecvthread(m_avIndex, m_audioPlayer);
        m_audioThread->start();
        m_audioPlayer->start();
    }
    m_videoThread->start();
    return 0;
}

int CameraController::setVideoQuality(int quality)
{
    FunctionTrace trace("CameraController::setVideoQuality");
    QJsonObject cmd;
    cmd.insert(QStringLiteral("videoquality"), quality);
    const int r = sendIoCtrl(m_avIndex, IoVideoQuality, QJsonDocument(cmd).toJson(QJsonDocument::Compact));
    if (r < 0)
        qWarning("failed to set video quality:%d", r);
    return r;
}

void CameraController::setPlayTime(int startTime, int offset, int endTime)
{
    FunctionTrace trace("CameraController::setPlayTime");
    if (!connected())
        return;
    if (startTime == 0) {
        qInfo("camera %s: realtime play", did().constData());
        const int r = sendIoCtrl(m_avIndex, IoPlay, QByteArray(8, '\0'));
        if (r < 0)
            qWarning("failed to switch realtime video:%d", r);
        return;
    }
    qInfo("camera %s: playback from %d to %d", did().constData(), startTime, endTime);
    // QJsonDocument writes members sorted by name, as the camera expects.
    QJsonObject cmd;
    cmd.insert(QStringLiteral("autoswitchtolive"), endTime == 0 ? 1 : 0);
    cmd.insert(QStringLiteral("endtime"), endTime);
    cmd.insert(QStringLiteral("offset"), offset);
    cmd.insert(QStringLiteral("sessionid"), startTime);
    cmd.insert(QStringLiteral("starttime"), startTime);
    const int r = sendIoCtrl(m_avIndex, IoPlayback, QJsonDocument(cmd).toJson(QJsonDocument::Compact));
    if (r < 0)
        qWarning("failed to switch playback video:");
}

void CameraController::disconnCamera()
{
    FunctionTrace trace("CameraController::disconnCamera");
    sendIoCtrl(m_avIndex, IoDisconnect, QByteArray(8, '\0'));
    if (m_avIndex >= 0) {
        avClientStop(m_avIndex);
        m_avIndex = -1;
    }
    const int sid = setSessionId(-1);
    if (sid >= 0)
        IOTC_Session_Close(sid);
}
