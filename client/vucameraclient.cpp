#include "client/vucameraclient.h"

#include "core/filesafety.h"
#include "core/functiontrace.h"
#include "core/threadjoin.h"
#include "camera/cameracontroller.h"
#include "camera/videobuffer.h"

#include <QThread>

#include <mutex>

VuCameraClient::VuCameraClient(const VuotCameraStat& record, const CameraTimings& timings)
    : QObject(nullptr),
      m_model(record.model),
      m_did(record.did),
      m_name(record.name),
      m_online(record.isOnline),
      m_pincodeEnabled(record.isSetPincode),
      m_shared(record.shareFlag != 0)
{
    m_passport.did = m_did;
    m_passport.user = QStringLiteral("admin");

    // The types this client queues across threads (registration is idempotent).
    qRegisterMetaType<VuotCameraStat>("VuotCameraStat");
    qRegisterMetaType<PlayStatus>("PlayStatus");
    qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");

    m_worker = new QThread();
    m_worker->setObjectName(QStringLiteral("cam-") + m_did);
    const QByteArray didText = m_did.toUtf8();
    connect(m_worker, &QThread::started, m_worker, [didText]() {
        qInfo("camera %s: work thread started", didText.constData());
    }, Qt::DirectConnection);
    connect(m_worker, &QThread::finished, m_worker, [didText]() {
        qInfo("camera %s: work thread stopped", didText.constData());
    }, Qt::DirectConnection);

    // The session is a child, so it moves to the worker thread with the client.
    m_session = new CameraController(&m_passport, timings, this);
    connect(m_session, &CameraController::timeLineReady, this, &VuCameraClient::timeLineReady);
    connect(m_session, &CameraController::failed, this, &VuCameraClient::onInteruptByError);
    connect(m_session, &CameraController::rdtStartFailed, this, &VuCameraClient::onRdtStartFailed);

    moveToThread(m_worker);
    ThreadJoin::watch(m_worker);
    m_worker->start();

    connect(this, &VuCameraClient::play_s, this, &VuCameraClient::handlePlay);
    connect(this, &VuCameraClient::stopPlay_s, this, &VuCameraClient::handleStopPlay);
    connect(this, &VuCameraClient::playAudio_s, this, &VuCameraClient::handlePlayAudio);
    connect(this, &VuCameraClient::stopAudio_s, this, &VuCameraClient::handleStopAudio);
    connect(this, &VuCameraClient::setPlayTime_s, this, &VuCameraClient::handleSetPlayTime);
    connect(this, &VuCameraClient::controlMotor_s, this, &VuCameraClient::handleControlMotor);
    connect(this, &VuCameraClient::setVideoQuality_s, this, &VuCameraClient::handleSetVideoQuality);
    connect(this, &VuCameraClient::setVideoFrameSize_s, this, &VuCameraClient::handleSetVideoFrameSize);
    connect(this, &VuCameraClient::setVideoCrop_s, this, &VuCameraClient::handleSetVideoCrop);
    connect(this, &VuCameraClient::showVideo_s, this, &VuCameraClient::handleShowVideo);
    connect(this, &VuCameraClient::sleep_s, this, &VuCameraClient::handleSleep);
    connect(this, &VuCameraClient::wakeUp_s, this, &VuCameraClient::handleWakeUp);
    connect(this, &VuCameraClient::checkPowerOnce_s, this, &VuCameraClient::handleCheckPowerOnce);
    connect(this, &VuCameraClient::setInfo_s, this, &VuCameraClient::handleSetInfo);
    connect(this, &VuCameraClient::destroy_s, this, &VuCameraClient::handleDestroy);
    connect(this, &VuCameraClient::startRDT_s, this, &VuCameraClient::handleStartRDT);
    connect(this, &VuCameraClient::startRecording_s, this, &VuCameraClient::handleStartRecording);
    connect(this, &VuCameraClient::stopRecording_s, this, &VuCameraClient::handleStopRecording);
}

VuCameraClient::~VuCameraClient()
{
    if (m_worker) {
        m_worker->requestInterruption();
        m_worker->quit();
        ThreadJoin::wait(m_worker);
        delete m_worker;
        m_worker = nullptr;
    }
    delete m_session; // stops whatever is still open
    m_session = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    delete m_videoBuffer;
    m_videoBuffer = nullptr;
}

// ---- public operations (caller's thread) ----------------------------------

void VuCameraClient::play(int quality, bool openAudio, const QString& pincode)
{
    int expected = static_cast<int>(ClientStatus::Disconnected);
    if (!m_status.compare_exchange_strong(expected, static_cast<int>(ClientStatus::Connecting))) {
        qWarning("camera %s: ignore play now, for status != Disconnected", qPrintable(m_did));
        return;
    }
    // Stops asked for from here on reach this play's connect, older ones not.
    m_playTicket = m_session->abortTicket();
    emit play_s(quality, openAudio, pincode);
}

void VuCameraClient::stopPlay()
{
    setStatus(ClientStatus::Disconnecting);
    // The stop is queued first: what the abort below makes the receive
    // threads report is then queued behind it, as the report of a stopped
    // stream. The worker may be blocked in the session (a connect, the login,
    // a send to a stalled camera): the abort ends that so the stop is prompt.
    emit stopPlay_s();
    m_session->abort();
}

void VuCameraClient::startRecording(const QString& folder)
{
    emit startRecording_s(folder);
}

void VuCameraClient::stopRecording()
{
    emit stopRecording_s();
}

QString VuCameraClient::recordingFileName(const QString& did, const QDateTime& time)
{
    return QStringLiteral("%1_%2.mp4").arg(FileSafety::fileNamePart(did), time.toString(QStringLiteral("yyyyMMdd_hhmmss")));
}

void VuCameraClient::playAudio()
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore playAudio as for camera is not connected!");
        return;
    }
    emit playAudio_s();
}

void VuCameraClient::stopAudio(bool notify)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore stopAudio as for camera is not connected!");
        return;
    }
    emit stopAudio_s(notify);
}

void VuCameraClient::setPlayTime(int startTime, int offsetTime, int endTime)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore setPlayTime as for camera is not connected!");
        return;
    }
    emit setPlayTime_s(startTime, offsetTime, endTime);
}

void VuCameraClient::controlMotor(int direction)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore controlMotor as for camera is not connected!");
        return;
    }
    emit controlMotor_s(direction);
}

void VuCameraClient::setVideoQuality(int quality) { emit setVideoQuality_s(quality); }
void VuCameraClient::setVideoFrameSize(int width, int height) { emit setVideoFrameSize_s(width, height); }
void VuCameraClient::setVideoCrop(const QRectF& crop) { emit setVideoCrop_s(crop); }
void VuCameraClient::showVideo(bool show) { emit showVideo_s(show); }
void VuCameraClient::sleep() { emit sleep_s(); }
void VuCameraClient::wakeUp() { emit wakeUp_s(); }

void VuCameraClient::checkPowerOnce()
{
    if (isStatus(ClientStatus::Destroying)) {
        qWarning("camera:%s ignore power check as for destroying now", qPrintable(m_did));
        return;
    }
    emit checkPowerOnce_s();
}

void VuCameraClient::setInfo(const VuotCameraStat& record)
{
    if (isStatus(ClientStatus::Destroying))
        return;
    // The record goes over under the lock rather than as a queued argument,
    // so the worker reads exactly what was stored here.
    {
        std::lock_guard<std::mutex> lock(m_infoMutex);
        m_pendingInfo.push_back(record);
    }
    emit setInfo_s();
}

void VuCameraClient::destroy()
{
    FunctionTrace trace("VuCameraClient::destroy");
    if (m_worker && m_worker->isRunning() && !isStatus(ClientStatus::Destroying)) {
        m_status.store(static_cast<int>(ClientStatus::Destroying));
        m_session->abort(); // whatever the worker waits on in the session ends now
        emit destroy_s();
    } else {
        emit destroyed();
    }
}

void VuCameraClient::setRoom(const QString& name, const QString& icon)
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    m_roomName = name;
    m_roomIcon = icon;
}

QString VuCameraClient::name() const
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_name;
}

QString VuCameraClient::roomName() const
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_roomName;
}

QString VuCameraClient::roomIcon() const
{
    std::lock_guard<std::mutex> lock(m_infoMutex);
    return m_roomIcon;
}

bool VuCameraClient::modelUsesH265(const QString& model)
{
    return model == QLatin1String("hovia.camera.v4") || model == QLatin1String("lanterra.camera.ipc009");
}

bool VuCameraClient::usesH265() const { return modelUsesH265(m_model); }

QPixmap VuCameraClient::grabFrame(FrameInfo& info, bool* more)
{
    if (more)
        *more = false;
    if (!isStatus(ClientStatus::Connected))
        return QPixmap();
    QImage picture;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_videoBuffer)
            return QPixmap();
        picture = m_videoBuffer->popFrame(info, more);
    }
    // Pixmaps are made on the GUI thread only, outside the lock.
    return picture.isNull() ? QPixmap() : QPixmap::fromImage(std::move(picture));
}

int VuCameraClient::receivedBytesPerSecond()
{
    if (!isStatus(ClientStatus::Connected))
        return 0;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_videoBuffer ? m_videoBuffer->bytesPerSecond() : 0;
}
