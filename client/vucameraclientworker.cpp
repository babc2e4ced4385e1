// The handlers of VuCameraClient: they run on the client's worker thread,
// one at a time, in the order the public operations queued them.
#include "client/vucameraclient.h"

#include "core/functiontrace.h"
#include "camera/audioplayer.h"
#include "camera/cameracontroller.h"
#include "camera/videobuffer.h"
#include "cloud/vuotapi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QThread>

#include <mutex>

namespace {
const char* onOff(bool on) { return on ? "on" : "off"; }
}

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
        connect(m_videoBuffer, &VideoBuffer::pictureReady, this, &VuCameraClient::pictureReady,
                Qt::DirectConnection);
        m_videoBuffer->setRecordTap(&m_recordTap);
        buffer = m_videoBuffer;
    }

    const int ret = m_session->play(buffer, quality, openAudio);
    if (ret != 0)
        return fail(ret, "play");

    if (AudioPlayer* audio = m_session->audioPlayer())
        audio->setRecordTap(&m_recordTap);
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
    endRecording(reason);
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
    if (m_session->playAudio() == 0) {
        if (m_recorder)
            m_recorder->setAudio(true);
        emit audioPlayed();
    } else {
        emit audioStopped();
    }
}

void VuCameraClient::handleStopAudio(bool notify)
{
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("ignore stopAudio as for camera is not connected!");
        return;
    }
    const int ret = m_session->stopAudio();
    if (ret == 0 && m_recorder)
        m_recorder->setAudio(false);
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

void VuCameraClient::handleSetVideoCrop(const QRectF& crop)
{
    // A new play starts with the whole picture: the tile resets its zoom then.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_videoBuffer)
        m_videoBuffer->setCrop(crop);
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
    endRecording("destroy");
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

void VuCameraClient::handleStartRecording(const QString& folder)
{
    if (m_recorder) {
        qWarning("camera %s: already recording", qPrintable(m_did));
        return;
    }
    if (!isStatus(ClientStatus::Connected)) {
        qWarning("camera %s: ignore recording as for camera is not playing", qPrintable(m_did));
        emit recordingFailed(tr("Recording needs a playing camera"));
        return;
    }
    if (!QDir().mkpath(folder))
        qWarning("camera %s: cannot make the folder %s", qPrintable(m_did), qPrintable(folder));
    const AudioPlayer* audio = m_session->audioPlayer();
    ClipRecorder::Config config;
    config.path = QDir(folder).filePath(recordingFileName(m_did, QDateTime::currentDateTime()));
    config.h265 = usesH265();
    config.withAudio = audio && audio->isRunning();
    config.mediaKey = m_passport.sharedKey;
    auto recorder = std::make_shared<ClipRecorder>(config);
    const quint64 serial = ++m_recordSerial;
    // A failed write is told on the writer thread; the worker ends the
    // recording unless a newer one has taken its place.
    recorder->setFailureHandler([this, serial](const QString&) {
        QMetaObject::invokeMethod(this, [this, serial] {
            if (serial == m_recordSerial)
                endRecording("write error");
        }, Qt::QueuedConnection);
    });
    if (!recorder->start()) {
        emit recordingFailed(recorder->error());
        return;
    }
    m_recorder = recorder;
    m_recordTap.attach(recorder);
    emit recordingStarted(config.path);
}

void VuCameraClient::handleStopRecording()
{
    endRecording("by user");
}

void VuCameraClient::endRecording(const char* reason)
{
    if (!m_recorder)
        return;
    ++m_recordSerial;
    m_recordTap.detach();
    const QString error = m_recorder->finish();
    const int frames = m_recorder->videoFramesWritten();
    const QStringList files = m_recorder->files();
    m_recorder.reset();
    qInfo("camera %s: recording ended for %s, %d frames", qPrintable(m_did), reason, frames);
    if (!error.isEmpty()) {
        emit recordingFailed(error);
    } else if (frames == 0) {
        for (const QString& f : files)
            QFile::remove(f); // not even a key frame came
        emit recordingFailed(tr("Nothing was recorded"));
    } else {
        emit recordingSaved(files.last());
    }
}
