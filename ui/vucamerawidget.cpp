#include "ui/vucamerawidget.h"

#include "core/filesafety.h"

#include "core/appinfo.h"
#include "core/functiontrace.h"
#include "client/vucameraclient.h"
#include "cloud/vustat.h"
#include "ui/pincodewidget.h"
#include "ui/statusinfoframe.h"
#include "ui/timelinetoolswidget.h"
#include "ui/videolabel.h"
#include "ui/videozoom.h"
#include "ui/vucamerawidgetui.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QEvent>
#include <QStandardPaths>
#include <QTimer>

namespace {
const char* const kQualityKey = "quality";
constexpr int kDefaultQuality = 2;
} // namespace

VuCameraWidget::VuCameraWidget(VuCameraClient* client, QWidget* parent, const TileTimings& timings)
    : QLabel(parent), m_timings(timings), m_client(client), m_did(client ? client->did() : QString())
{
    setObjectName(QStringLiteral("camera_tile_"));
    setMinimumSize(160, 120);
    m_powerCheckTimer = new QTimer(this);
    m_powerCheckTimer->setInterval(m_timings.powerCheckIntervalMs);
    connect(m_powerCheckTimer, &QTimer::timeout, this, &VuCameraWidget::clientCheckPowerOnce);
    hide();
}

VuCameraWidget::~VuCameraWidget() = default;

VuCameraClient* VuCameraWidget::client() const { return m_client.data(); }

QByteArray VuCameraWidget::didText() const { return m_did.toUtf8(); }

bool VuCameraWidget::isPlayTimerActive() const { return m_playTimer && m_playTimer->isActive(); }

bool VuCameraWidget::isPowerChecking() const { return m_powerCheckTimer->isActive(); }

QString VuCameraWidget::speedText(qint64 r)
{
    if (r >= (qint64(1) << 30))
        return QString::asprintf("%.1fGB/S", double(r) / double(qint64(1) << 30));
    if (r >= (qint64(1) << 20))
        return QString::asprintf("%.1fMB/S", double(r) / double(1 << 20));
    return QString::asprintf("%dKB/S", int(r / 1024));
}

QString VuCameraWidget::errorText(int err)
{
    if (err == 1)
        return tr("net error");
    if (err == 5)
        return tr("up to max client to play");
    return tr("Error") + QStringLiteral(" (") + QString::number(err) + QStringLiteral(")");
}

// ---- creation ---------------------------------------------------------------

void VuCameraWidget::showEvent(QShowEvent* e)
{
    QLabel::showEvent(e);
    if (!m_created)
        create();
    if (m_client)
        m_client->showVideo(true);
}

void VuCameraWidget::hideEvent(QHideEvent* e)
{
    QLabel::hideEvent(e);
    if (m_client)
        m_client->showVideo(false);
}

void VuCameraWidget::create()
{
    FunctionTrace trace("VuCameraWidget::create");
    if (!m_client)
        return;
    int quality = AppInfo::instance()->getInt(m_did, QLatin1String(kQualityKey), kDefaultQuality);
    if (quality < 0 || quality > 2) {
        qWarning("camera %s: stored quality %d is out of range, using %d", didText().constData(),
                 quality, kDefaultQuality);
        quality = kDefaultQuality;
    }
    const QString model = m_client->model();
    const bool isV4 = model == QLatin1String("hovia.camera.v4")
                      || model == QLatin1String("lanterra.camera.ipc009");
    m_ui = new VuCameraWidgetUI(this, m_did, isV4, m_client->isSdcardReady(), quality, m_timings);
    m_ui->setName(m_client->name());
    m_ui->videoLabel()->installEventFilter(this);
    m_zoom = new VideoZoom(m_ui->videoLabel(), this);
    connect(m_zoom, &VideoZoom::cropChanged, this, [this](const QRectF& crop) {
        if (m_client)
            m_client->setVideoCrop(crop);
    });

    connect(m_ui, &VuCameraWidgetUI::playTriggered, this, &VuCameraWidget::onPlayTriggered);
    connect(m_ui, &VuCameraWidgetUI::stopPlayTriggered, this, &VuCameraWidget::onStopPlayTriggered);
    connect(m_ui, &VuCameraWidgetUI::qualityChanged, this, [this](int q) {
        AppInfo::instance()->setInt(m_did, QLatin1String(kQualityKey), q);
        if (m_client)
            m_client->setVideoQuality(q);
    });
    connect(m_ui, &VuCameraWidgetUI::soundOnTriggered, this, [this]() {
        qInfo("camera %s: to play audio", didText().constData());
        if (m_client)
            m_client->playAudio();
    });
    connect(m_ui, &VuCameraWidgetUI::soundOffTriggered, this, [this]() {
        qInfo("camera %s: to stop audio", didText().constData());
        if (m_client)
            m_client->stopAudio(true);
    });
    connect(m_ui, &VuCameraWidgetUI::enterFullscreen, this, &VuCameraWidget::enterFullscreen);
    connect(m_ui, &VuCameraWidgetUI::leaveFullscreen, this, &VuCameraWidget::leaveFullscreen);
    connect(m_ui, &VuCameraWidgetUI::retryTriggered, this, &VuCameraWidget::onRetryTriggered);
    connect(m_ui, &VuCameraWidgetUI::powerOnTriggered, this, [this]() {
        qInfo("camera %s: to wakeup", didText().constData());
        if (m_client)
            m_client->wakeUp();
    });
    connect(m_ui, &VuCameraWidgetUI::powerOffTriggered, this, [this]() {
        qInfo("camera %s: to sleep", didText().constData());
        if (m_client)
            m_client->sleep();
    });
    connect(m_ui, &VuCameraWidgetUI::motorDirectionTiggered, this, [this](int direction) {
        if (m_client)
            m_client->controlMotor(direction);
    });
    connect(m_ui, &VuCameraWidgetUI::snapshotTriggered, this, &VuCameraWidget::onSnapshotTriggered);
    connect(m_ui, &VuCameraWidgetUI::recordTriggered, this, &VuCameraWidget::toggleRecording);

    VuCameraClient* c = m_client;
    connect(c, &VuCameraClient::nameChanged, m_ui, &VuCameraWidgetUI::setName);
    connect(c, &VuCameraClient::played, this, &VuCameraWidget::onPlayed);
    connect(c, &VuCameraClient::playStopped, this, &VuCameraWidget::onStopPlayFinished);
    connect(c, &VuCameraClient::failed, this, &VuCameraWidget::onPlayErrored);
    connect(c, &VuCameraClient::pictureReady, this, &VuCameraWidget::onPictureReady, Qt::QueuedConnection);
    connect(c, &VuCameraClient::onlineStateChanged, this, &VuCameraWidget::onOnlineStateChanged);
    connect(c, &VuCameraClient::powerStateChanged, this, &VuCameraWidget::onPowerStateChanged);
    connect(c, &VuCameraClient::netSpeedUpdated, this,
            [this](int speed) { m_ui->showSpeed(speedText(speed)); });
    connect(c, &VuCameraClient::audioPlayed, this,
            [this]() { qInfo("camera %s: audio on", didText().constData()); });
    connect(c, &VuCameraClient::audioStopped, this,
            [this]() { qInfo("camera %s: audio off", didText().constData()); });
    connect(c, &VuCameraClient::timeLineReady, m_ui, &VuCameraWidgetUI::setRecordings);
    connect(c, &VuCameraClient::recordingStarted, this, [this]() { m_ui->setRecording(true); });
    connect(c, &VuCameraClient::recordingSaved, this, [this](const QString& path) {
        m_ui->setRecording(false);
        m_ui->showNote(tr("Saved %1").arg(QFileInfo(path).fileName()));
    });
    connect(c, &VuCameraClient::recordingFailed, this, [this](const QString& message) {
        qWarning("camera %s: recording: %s", didText().constData(), qUtf8Printable(message));
        m_ui->setRecording(false);
        m_ui->showNote(message);
    });
    connect(m_ui->timeLine(), QOverload<int, int, int>::of(&TimeLineToolsWidget::locationSelected), this,
            [this](int startTime, int offsetTime, int endTime) {
                if (m_client)
                    m_client->setPlayTime(startTime, offsetTime, endTime);
            });

    m_ui->setBackground(QStringLiteral(":/res/imgs/cam_bg.png"));
    setInitialState();
    m_ui->relayout();
    m_created = true;
}

void VuCameraWidget::setInitialState()
{
    if (!m_client->isOnline()) {
        m_ui->setState(VuCameraWidgetUI::Offline);
    } else if (!m_client->isPowerOn()) {
        m_ui->setState(VuCameraWidgetUI::StoppedForSleep);
        startPowerCheck();
    } else {
        m_ui->setState(m_client->isPincodeEnabled() ? VuCameraWidgetUI::Pincode
                                                    : VuCameraWidgetUI::Stopped);
        stopPowerCheck();
    }
}

// ---- play and stop ------------------------------------------------------------

void VuCameraWidget::play(const char* reason)
{
    qInfo("camera %s: play video at %d times from last stable status.[%s]", didText().constData(),
          RetryBudget + 1 - m_retriesLeft, reason);
    const QString pincode = m_ui->pincode();
    clientPlay(m_ui->quality(), m_ui->isSoundOn(), pincode);
    m_ui->setState(pincode.isEmpty() ? VuCameraWidgetUI::ReadingProperties : VuCameraWidgetUI::Authing);
}

void VuCameraWidget::onPlayTriggered()
{
    if (!m_ui)
        return;
    m_retriesLeft = RetryBudget;
    play("manual");
}

void VuCameraWidget::onRetryTriggered()
{
    if (!m_ui)
        return;
    m_retriesLeft = 0;
    play("manual retry");
}

void VuCameraWidget::onStopPlayTriggered()
{
    if (!m_ui)
        return;
    qInfo("camera %s: to stop video", didText().constData());
    m_retriesLeft = 0;
    stopPlayTimer();
    stopPowerCheck();
    m_ui->setState(VuCameraWidgetUI::Disconnecting);
    if (m_client)
        m_client->stopPlay();
}

void VuCameraWidget::onStopPlayFinished()
{
    if (!m_ui)
        return;
    stopPlayTimer();
    qInfo("camera %s: video stopped", didText().constData());
    m_ui->clearFrame();
    m_lastPicture = QPixmap();
    if (m_client && m_client->isOnline())
        m_ui->setState(m_client->isPincodeEnabled() ? VuCameraWidgetUI::Pincode
                                                    : VuCameraWidgetUI::Stopped);
    emit stopped();
}

void VuCameraWidget::onPlayed(PlayStatus status)
{
    if (!m_ui)
        return;
    switch (status) {
    case Authing: m_ui->setState(VuCameraWidgetUI::Authing); break;
    case ReadingProperties: m_ui->setState(VuCameraWidgetUI::ReadingProperties); break;
    case Connecting: m_ui->setState(VuCameraWidgetUI::Connecting); break;
    case WaitingForPlaying: m_ui->setState(VuCameraWidgetUI::WaitingForPlaying); break;
    case Playing:
        VuStat::reportAction(QStringLiteral("play_ok_%1").arg(RetryBudget - m_retriesLeft));
        m_retriesLeft = RetryBudget;
        qInfo("camera %s: video started", didText().constData());
        if (m_client) {
            // The card is known once the properties are read.
            m_ui->setSdcardReady(m_client->isSdcardReady());
            m_frameSize = m_ui->videoSize();
            m_client->setVideoFrameSize(m_frameSize.width(), m_frameSize.height());
        }
        m_ui->setState(VuCameraWidgetUI::Playing);
        startPlayTimer();
        break;
    default:
        qWarning("camera %s: unknown play status %d", didText().constData(), int(status));
        break;
    }
}

void VuCameraWidget::onPlayErrored(int err)
{
    if (!m_ui)
        return;
    stopPlayTimer();
    if (!m_client || !m_client->isOnline())
        return;
    VuStat::reportError(QStringLiteral("play_error"), err);
    if (err == -20009 && !m_ui->pincode().isEmpty()) {
        m_ui->setState(VuCameraWidgetUI::Pincode);
        m_ui->showPincodeError();
    } else if (err == -20009 && m_client && m_client->isPincodeEnabled()) {
        // The camera got its pin code after this tile last offered the
        // entry: retrying without one cannot succeed, so ask for it.
        qInfo("camera %s: pin code needed", didText().constData());
        m_ui->setState(VuCameraWidgetUI::Pincode);
    } else if (err == -64) {
        m_ui->setState(VuCameraWidgetUI::StoppedForSleep);
        startPowerCheck();
    } else if (err == 5) {
        qWarning("camera %s: play failed 4 max client", didText().constData());
        m_ui->setErrorText(errorText(err));
        m_ui->setState(VuCameraWidgetUI::StoppedForError);
    } else if (m_retriesLeft < 0) {
        qWarning("camera %s: play error[%d] after %d retry", didText().constData(), err, RetryBudget);
        m_ui->setErrorText(errorText(err));
        m_ui->setState(VuCameraWidgetUI::StoppedForError);
    } else {
        --m_retriesLeft;
        play("auto retry");
    }
}

void VuCameraWidget::onOnlineStateChanged(bool online)
{
    if (!m_created)
        return;
    if (!online) {
        stopPlayTimer();
        stopPowerCheck();
        m_ui->setState(VuCameraWidgetUI::Offline);
        return;
    }
    if (m_retriesLeft < 1) {
        setInitialState();
    } else {
        --m_retriesLeft;
        play("auto play as for online again");
    }
}

void VuCameraWidget::onPowerStateChanged(bool on)
{
    if (!m_created)
        return;
    stopPlayTimer();
    qInfo("camera %s: power state changed to be %s", didText().constData(), on ? "ON" : "OFF");
    if (!on) {
        m_ui->setState(VuCameraWidgetUI::StoppedForSleep);
        startPowerCheck();
        return;
    }
    // Awake again: no need to keep polling for the power.
    stopPowerCheck();
    if (m_retriesLeft > 0) {
        --m_retriesLeft;
        play("auto play as for power on");
    } else {
        m_ui->setState(m_client && m_client->isPincodeEnabled() ? VuCameraWidgetUI::Pincode
                                                                : VuCameraWidgetUI::Stopped);
    }
}

// ---- power check --------------------------------------------------------------

void VuCameraWidget::startPowerCheck()
{
    if (m_powerCheckTimer->isActive())
        return;
    clientCheckPowerOnce();
    qInfo("camera %s: start check power timer", didText().constData());
    m_powerCheckTimer->start();
}

void VuCameraWidget::stopPowerCheck()
{
    if (!m_powerCheckTimer->isActive())
        return;
    qInfo("camera %s: stop power checking", didText().constData());
    m_powerCheckTimer->stop();
}

// ---- play timer and pictures --------------------------------------------------
//
// Pictures are shown when the client announces them (pictureReady, queued from
// the receive thread); the play timer only keeps the speed label current and
// notices a stall.

void VuCameraWidget::startPlayTimer()
{
    stopPlayTimer();
    m_playTimer = new QTimer(this);
    m_playTimer->setInterval(m_timings.statusIntervalMs);
    connect(m_playTimer, &QTimer::timeout, this, &VuCameraWidget::onPlayTimer);
    m_noFrameClock.restart();
    m_playTimer->start();
    // Pictures announced before the play was reported wait for this.
    QTimer::singleShot(0, this, &VuCameraWidget::onPictureReady);
}

void VuCameraWidget::stopPlayTimer()
{
    // Every way out of playing comes here: the next stream starts at 1x.
    if (m_zoom)
        m_zoom->reset();
    if (!m_playTimer)
        return;
    m_playTimer->stop();
    m_playTimer->deleteLater();
    m_playTimer = nullptr;
}

void VuCameraWidget::onPlayTimer()
{
    m_ui->showSpeed(speedText(clientBytesPerSecond()));
    if (!isVisible()) {
        // A tile on another page gets no pictures (decoding is off): that
        // is no stall, and no reason to poll the camera's power.
        m_noFrameClock.restart();
        return;
    }
    if (m_noFrameClock.elapsed() > m_timings.bufferingAfterMs) {
        startPowerCheck();
        m_ui->showBuffering();
    }
}

void VuCameraWidget::onPictureReady()
{
    if (!m_playTimer)
        return; // not playing (any more): the picture is not for the screen
    FrameInfo info;
    bool more = false;
    const QPixmap picture = clientGrabFrame(info, more);
    // One announcement covers all waiting pictures: each gets its own turn
    // of the event loop, so each is painted.
    if (more)
        QMetaObject::invokeMethod(this, &VuCameraWidget::onPictureReady, Qt::QueuedConnection);
    if (picture.isNull() || !isVisible())
        return;
    m_noFrameClock.restart();
    showPicture(picture, info);
    stopPowerCheck();
}

void VuCameraWidget::showPicture(const QPixmap& picture, const FrameInfo& info)
{
    if (m_ui->isBuffering() && !m_bufferingHidePending) {
        m_bufferingHidePending = true;
        QTimer::singleShot(m_timings.bufferingHideMs, this, [this]() {
            m_bufferingHidePending = false;
            // Only when pictures still flow: a new stall keeps the overlay.
            if (m_noFrameClock.isValid() && m_noFrameClock.elapsed() < m_timings.bufferingHideMs)
                m_ui->hideBuffering();
        });
    }
    // The decoder scales to the label's size, so a picture is drawn 1:1. One
    // decoded before the last resize reached the decoder is drawn as it is,
    // centred, until the pictures of the new size come: no rescale here.
    const QSize label = m_ui->videoSize();
    if (picture.size() != label
        && (picture.size() != m_loggedPictureSize || label != m_loggedLabelSize)) {
        // Said once per change of sizes, not for every picture.
        m_loggedPictureSize = picture.size();
        m_loggedLabelSize = label;
        qWarning("video frame size changed: from %dx%d to UI: %dx%d", picture.width(), picture.height(),
                 label.width(), label.height());
    }
    m_lastPicture = picture;
    m_lastInfo = info;
    ++m_picturesShown;
    m_ui->showFrame(m_lastPicture, info.timestamp);
    if (m_zoom)
        m_zoom->showOverview(info.overview);
    m_ui->timeLine()->updateFrameInfo(info);
}

void VuCameraWidget::clientPlay(int quality, bool openAudio, const QString& pincode)
{
    if (m_client)
        m_client->play(quality, openAudio, pincode);
}

void VuCameraWidget::clientCheckPowerOnce()
{
    if (m_client)
        m_client->checkPowerOnce();
}

QPixmap VuCameraWidget::clientGrabFrame(FrameInfo& info, bool& more)
{
    more = false;
    return m_client ? m_client->grabFrame(info, &more) : QPixmap();
}

int VuCameraWidget::clientBytesPerSecond()
{
    return m_client ? m_client->receivedBytesPerSecond() : 0;
}

// ---- snapshot -------------------------------------------------------------------

QString VuCameraWidget::saveSnapshot(const QString& folder)
{
    if (m_lastPicture.isNull()) {
        qWarning("camera %s: no picture to save", didText().constData());
        return QString();
    }
    QString dirPath = folder;
    if (dirPath.isEmpty()) {
        dirPath = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        if (dirPath.isEmpty())
            dirPath = QDir::homePath();
        dirPath += QStringLiteral("/VuCamera");
    }
    QDir dir(dirPath);
    if (!dir.exists() && !dir.mkpath(QStringLiteral("."))) {
        qWarning("camera %s: cannot create the snapshot folder %s", didText().constData(),
                 qUtf8Printable(dirPath));
        return QString();
    }
    const QString safeDid = FileSafety::fileNamePart(m_did);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_hhmmss"));
    QString path = dir.filePath(QStringLiteral("%1_%2.png").arg(safeDid, stamp));
    for (int n = 2; QFile::exists(path); ++n)
        path = dir.filePath(QStringLiteral("%1_%2_%3.png").arg(safeDid, stamp).arg(n));
    if (!m_lastPicture.save(path, "PNG")) {
        qWarning("camera %s: cannot save the snapshot %s", didText().constData(), qUtf8Printable(path));
        return QString();
    }
    qInfo("camera %s: snapshot saved to %s", didText().constData(), qUtf8Printable(path));
    return path;
}

void VuCameraWidget::onSnapshotTriggered()
{
    const QString path = saveSnapshot();
    if (!path.isEmpty() && m_ui)
        m_ui->showSnapshotSaved(QFileInfo(path).fileName());
}

void VuCameraWidget::toggleRecording()
{
    if (!m_client || !m_ui)
        return;
    if (m_ui->isRecording()) {
        m_client->stopRecording();
        return;
    }
    if (m_ui->state() != VuCameraWidgetUI::Playing)
        return;
    QString folder = m_recordFolder;
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        folder = (folder.isEmpty() ? QDir::homePath() : folder) + QStringLiteral("/VuCamera");
    }
    m_client->startRecording(folder);
}

// ---- geometry and language ----------------------------------------------------------

void VuCameraWidget::resizeEvent(QResizeEvent* e)
{
    QLabel::resizeEvent(e);
    if (m_ui)
        m_ui->relayout();
}

bool VuCameraWidget::eventFilter(QObject* watched, QEvent* e)
{
    if (m_ui && watched == m_ui->videoLabel() && e->type() == QEvent::Resize
        && m_ui->state() == VuCameraWidgetUI::Playing && m_client && m_ui->videoSize() != m_frameSize) {
        // Pictures are scaled by the decoder to the label's size (told once
        // per size: the label's first show after the start is no change).
        m_frameSize = m_ui->videoSize();
        m_client->setVideoFrameSize(m_frameSize.width(), m_frameSize.height());
    }
    return QLabel::eventFilter(watched, e);
}

void VuCameraWidget::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::LanguageChange && m_ui)
        m_ui->retranslate();
    QLabel::changeEvent(e);
}
