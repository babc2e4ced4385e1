#include "client/vucameraclient.h"

#include "core/functiontrace.h"
#include "core/threadjoin.h"
#include "camera/cameracontroller.h"
#include "camera/videobuffer.h"
#include "cloud/vuotapi.h"

#include <QCoreApplication>
#include <QThread>

#include <mutex>

namespace {
const char* onOff(bool on) { return on ? "on" : "off"; }
}

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
    connect(this, &VuCameraClient::showVideo_s, this, &VuCameraClient::handleShowVideo);
    connect(this, &VuCameraClient::sleep_s, this, &VuCameraClient::handleSleep);
    connect(this, &VuCameraClient::wakeUp_s, this, &VuCameraClient::handleWakeUp);
    connect(this, &VuCameraClient::checkPowerOnce_s, this, &VuCameraClient::handleCheckPowerOnce);
    connect(this, &VuCameraClient::setInfo_s, this, &VuCameraClient::handleSetInfo);
    connect(this, &VuCameraClient::destroy_s, this, &VuCameraClient::handleDestroy);
    connect(this, &VuCameraClient::startRDT_s, this, &VuCameraClient::handleStartRDT);
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
    // The worker may be blocked in the session (a connect, the login, a
    // send to a stalled camera): end that from here so the stop is prompt.
    m_session->abort();
    emit stopPlay_s();
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

QPixmap VuCameraClient::grabFrame(FrameInfo& info, bool wantSpeed, int& speed)
{
    speed = 0;
    if (!isStatus(ClientStatus::Connected))
        return QPixmap();
    QImage picture;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_videoBuffer)
            return QPixmap();
        if (wantSpeed)
            speed = m_videoBuffer->bytesPerSecond();
        picture = m_videoBuffer->popFrame(info);
    }
    // Pixmaps are made on the GUI thread only, outside the lock.
    return picture.isNull() ? QPixmap() : QPixmap::fromImage(std::move(picture));
}

// ---- handlers (worker thread) ----------------------------------------------

void VuCameraClient::handlePlay(int quality, bool openAudio, const QString& pincode)
{
    FunctionTrace trace("VuCameraClient::handlePlay");
    ++m_inPlay;
    runPlay(++m_playSerial, quality, openAudio, pincode);
    --m_inPlay;
    if (m_inPlay == 0 && m_destroyPending) {
        m_destroyPending = false;
        handleDestroy();
    }
}

bool VuCameraClient::playAbandoned(quint64 serial) const
{
    return serial != m_playSerial || m_destroyPending || isStatus(ClientStatus::Destroying);
}

void VuCameraClient::runPlay(quint64 serial, int quality, bool openAudio, const QString& pincode)
{
    // A failure of a play that a stop (or a newer play) has overtaken is not
    // reported: the stop already cleaned up.
    auto fail = [&](int err, const char* stage) {
        if (playAbandoned(serial)) {
            qWarning("camera %s play failed(%d) at %s", qPrintable(m_did), err, stage);
            qInfo("ignore error report for stopping");
            return;
        }
        handleError(err, stage);
    };

    if (!pincode.isEmpty())
        emit played(Authing);

    {
        VuotApi api;
        const int ret = api.getDevicePassSync(m_did, pincode, m_passport);
        if (ret != 0)
            return fail(ret, "get device pass");
    }
    if (playAbandoned(serial)) {
        qInfo("camera %s: play abandoned for stopping", qPrintable(m_did));
        return;
    }

    emit played(ReadingProperties);
    CamPropSet props;
    {
        VuotApi api;
        const int ret = api.getPropertiesSync(m_did, props);
        // The cloud knows the camera is off the network: that is an offline
        // camera, not a failure worth retrying at once (the tile would spend
        // its whole retry budget before the device list says so).
        if (ret != 0 && api.lastCloudCode() == VuotApi::CloudDeviceOffline)
            return fail(-90, "get status");
        if (ret != 0)
            return fail(ret, "get status");
    }
    if (playAbandoned(serial)) {
        qInfo("camera %s: play abandoned for stopping", qPrintable(m_did));
        return;
    }
    m_powerOn = (props.power == 1);
    m_sdcardReady = props.sdcard_status == 0;
    if (!m_powerOn)
        return fail(-64, "get status");
    if (props.max_client)
        return fail(5, "upto max client, and cannot play again.");

    emit played(Connecting);
    const int conn = m_session->connCamera(m_playTicket);
    if (conn != 0)
        return fail(conn, "get power status");

    emit played(WaitingForPlaying);
    VideoBuffer* buffer = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_videoBuffer) {
            qWarning("camera %s: video buffer is not null", qPrintable(m_did));
            delete m_videoBuffer;
            m_videoBuffer = nullptr;
        }
        m_videoBuffer = new VideoBuffer(usesH265(), m_passport.sharedKey);
        m_videoBuffer->setDstSize(m_frameWidth, m_frameHeight);
        m_videoBuffer->setDecodeEnabled(m_showVideo);
        buffer = m_videoBuffer;
    }

    const int ret = m_session->play(buffer, quality, openAudio);
    if (ret != 0)
        return fail(ret, "play");

    emit played(Playing);
    if (m_sdcardReady) {
        qInfo("camera %s start rdt", qPrintable(m_did));
        m_rdtRetries = 0;
        emit startRDT_s();
    }
    // A stop or destroy requested meanwhile keeps its own status.
    int expected = static_cast<int>(ClientStatus::Connecting);
    m_status.compare_exchange_strong(expected, static_cast<int>(ClientStatus::Connected));
}

bool VuCameraClient::rdtWanted() const
{
    return m_session->connected() && !isStatus(ClientStatus::Disconnecting)
        && !isStatus(ClientStatus::Disconnected) && !isStatus(ClientStatus::Destroying) && m_powerOn;
}

void VuCameraClient::retryRDT()
{
    ++m_rdtRetries;
    if (m_rdtRetries < 3) {
        qInfo("retry");
        emit startRDT_s();
    }
}

void VuCameraClient::handleStartRDT()
{
    if (!rdtWanted())
        return; // the play ended before the queued start came round
    const int ret = m_session->startRDT();
    if (!rdtWanted())
        return;
    if (ret != 0) {
        qInfo("rtd started failed:%d", ret);
        retryRDT();
    } else {
        qInfo("rdt started");
    }
}

void VuCameraClient::onRdtStartFailed()
{
    // The channel itself did not open (the start request went out fine):
    // an attempt of the same budget. The idle timeline thread goes first so
    // that the next start can begin anew.
    if (!rdtWanted())
        return;
    qInfo("camera %s: rdt channel did not open", qPrintable(m_did));
    if (m_rdtRetries + 1 < 3)
        m_session->stopRDT();
    retryRDT();
}

void VuCameraClient::handleError(int err, const char* stage)
{
    qWarning("camera %s play failed(%d) at %s", qPrintable(m_did), err, stage);
    const bool userStop = isStatus(ClientStatus::Disconnecting);
    const bool destroying = isStatus(ClientStatus::Destroying);
    doStopPlay("error");
    if (userStop || destroying) {
        if (destroying)
            setStatus(ClientStatus::Destroying);
        qInfo("ignore error report for stopping");
        return;
    }
    setStatus(ClientStatus::Disconnected);
    if (err == -90) {
        qInfo("api report offline");
        m_online = false;
        emit onlineStateChanged(false);
    } else if (err == -64) {
        m_powerOn = false;
        emit powerStateChanged(false);
    } else {
        emit failed(err);
    }
}

void VuCameraClient::onInteruptByError(int err)
{
    handleError(err, "onInteruptByError");
}

void VuCameraClient::doStopPlay(const char* reason)
{
    qInfo("camera %s: stop for %s.", qPrintable(m_did), reason);
    // A play waiting on the cloud (this may run inside its wait) gives up
    // when it resumes instead of connecting behind the stop's back.
    ++m_playSerial;
    if (!isStatus(ClientStatus::Destroying))
        setStatus(ClientStatus::Disconnected);
    m_session->stopPlay();
    std::lock_guard<std::mutex> lock(m_mutex);
    delete m_videoBuffer;
    m_videoBuffer = nullptr;
}

void VuCameraClient::handleStopPlay()
{
    ++m_playSerial; // a play waiting on the cloud gives up when it resumes
    doStopPlay("by user");
    emit playStopped();
}

void VuCameraClient::handlePlayAudio()
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore playAudio as for camera is not connected!");
        return;
    }
    if (m_session->playAudio() == 0)
        emit audioPlayed();
    else
        emit audioStopped();
}

void VuCameraClient::handleStopAudio(bool notify)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore stopAudio as for camera is not connected!");
        return;
    }
    const int ret = m_session->stopAudio();
    if (notify) {
        if (ret == 0)
            emit audioStopped();
        else
            emit audioPlayed();
    }
}

void VuCameraClient::handleSetPlayTime(int startTime, int offsetTime, int endTime)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore setPlayTime as for camera is not connected!");
        return;
    }
    m_session->setPlayTime(startTime, offsetTime, endTime);
}

void VuCameraClient::handleControlMotor(int direction)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore controlMotor as for camera is not connected!");
        return;
    }
    m_session->controlMotor(direction);
}

void VuCameraClient::handleSetVideoQuality(int quality)
{
    m_session->setVideoQuality(quality);
}

void VuCameraClient::handleSetVideoFrameSize(int width, int height)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_frameWidth = width;
    m_frameHeight = height;
    if (m_videoBuffer)
        m_videoBuffer->setDstSize(width, height);
}

void VuCameraClient::handleShowVideo(bool show)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_showVideo = show;
    if (m_videoBuffer)
        m_videoBuffer->setDecodeEnabled(show);
}

void VuCameraClient::handleSleep()
{
    auto* api = new VuotApi(this);
    connect(api, &VuotApi::setPropertyFinished, this, [this, api](int result) {
        api->deleteLater();
        if (result == 0) {
            m_powerOn = false;
            // A camera put to sleep while playing ends its session, as when a
            // power check finds it off; else the next play would be refused.
            if (isStatus(ClientStatus::Connected) || isStatus(ClientStatus::Connecting))
                doStopPlay("power is off");
            emit powerStateChanged(false);
        } else {
            qWarning("camera %s:fail to sleep:%d", qPrintable(m_did), result);
        }
    });
    api->setProperty(m_did, QStringLiteral("power"), QStringLiteral("off"));
}

void VuCameraClient::handleWakeUp()
{
    auto* api = new VuotApi(this);
    connect(api, &VuotApi::setPropertyFinished, this, [this, api](int result) {
        api->deleteLater();
        if (result == 0) {
            m_powerOn = true;
            emit powerStateChanged(true);
        } else {
            qWarning("camera %s:fail to wake up:%d", qPrintable(m_did), result);
        }
    });
    api->setProperty(m_did, QStringLiteral("power"), QStringLiteral("on"));
}

void VuCameraClient::handleCheckPowerOnce()
{
    if (isStatus(ClientStatus::Destroying)) {
        qWarning("camera:%s ignore power check as for destroying now", qPrintable(m_did));
        return;
    }
    CamPropSet props;
    VuotApi api;
    const int ret = api.getPropertiesSync(m_did, props);
    if (ret != 0) {
        qWarning("fail to check power status, error:%d", ret);
        return;
    }
    const bool on = (props.power == 1);
    if (on == m_powerOn)
        return;
    qInfo("device is power %s", onOff(on));
    m_powerOn = on;
    if (!on && (isStatus(ClientStatus::Connected) || isStatus(ClientStatus::Connecting)))
        doStopPlay("power is off");
    emit powerStateChanged(on);
}

void VuCameraClient::handleSetInfo()
{
    VuotCameraStat record;
    {
        std::lock_guard<std::mutex> lock(m_infoMutex);
        if (m_pendingInfo.empty())
            return;
        record = m_pendingInfo.front();
        m_pendingInfo.pop_front();
    }
    if (isStatus(ClientStatus::Destroying)) {
        qWarning("camera %s: ignore info set as for destroying now", qPrintable(m_did));
        return;
    }
    bool nameDiffers;
    {
        std::lock_guard<std::mutex> lock(m_infoMutex);
        nameDiffers = record.name != m_name;
        if (nameDiffers)
            m_name = record.name;
    }
    if (nameDiffers) {
        qInfo("camera %s:dev name changed", qPrintable(m_did));
        emit nameChanged(record.name);
    }
    if (record.isOnline != m_online) {
        qInfo("camera %s: online status changed to %s", qPrintable(m_did), record.isOnline ? "online" : "offline");
        if (!record.isOnline)
            doStopPlay("offline");
        else if (m_session->connected())
            doStopPlay("invalid status offline && played");
        m_online = record.isOnline;
        emit onlineStateChanged(record.isOnline);
    }
    if (record.isSetPincode != m_pincodeEnabled) {
        m_pincodeEnabled = record.isSetPincode;
        qInfo("camera %s: pincode option changed to %s", qPrintable(m_did),
              record.isSetPincode ? "enabled" : "disabled");
        emit pincodeEnabled(record.isSetPincode);
    }
}

void VuCameraClient::handleDestroy()
{
    FunctionTrace trace("VuCameraClient::handleDestroy");
    if (m_inPlay) {
        // Running inside a play's wait: finish that first (it sees the
        // Destroying status and gives up), then destroy.
        m_destroyPending = true;
        return;
    }
    m_session->stopPlay();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        delete m_videoBuffer;
        m_videoBuffer = nullptr;
    }
    // Hand the client back to the application thread before the worker ends,
    // so that its owner's deferred deletion runs there and can wait for the
    // worker without waiting on itself.
    moveToThread(QCoreApplication::instance()->thread());
    m_worker->quit();
    emit destroyed();
}
