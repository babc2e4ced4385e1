#pragma once

#include "core/camerapassport.h"
#include "camera/cameratimings.h"
#include "camera/cliprecorder.h"
#include "camera/frameinfo.h"
#include "camera/recordfileheader.h"
#include "client/playstatus.h"
#include "cloud/vuotcamerastat.h"

#include <QDateTime>
#include <QObject>
#include <QPixmap>
#include <QRectF>
#include <QVector>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

class CameraController;
class QThread;
class VideoBuffer;

// Drives one camera of the user's home: device pass, properties, P2P session,
// video decoder and timeline channel. Every slow step runs on the client's
// own worker thread; results reach the tile as signals. The public
// operations are in vucameraclient.cpp, the worker's handlers in
// vucameraclientworker.cpp.
class VuCameraClient : public QObject
{
    Q_OBJECT
public:
    // A client has no parent: it lives on its own thread; its owner deletes it
    // (deferred) after destroyed(). timings: the session's waits and
    // intervals (the program's unless a caller drives time itself).
    explicit VuCameraClient(const VuotCameraStat& record, const CameraTimings& timings = CameraTimings());
    ~VuCameraClient() override;

    // Public operations (GUI thread).
    void play(int quality, bool openAudio, const QString& pincode);
    void stopPlay();
    void playAudio();
    void stopAudio(bool notify);
    void setPlayTime(int startTime, int offsetTime, int endTime);
    void controlMotor(int direction);
    void setVideoQuality(int quality);
    void setVideoFrameSize(int width, int height);
    // The part of the picture shown (digital zoom), normalised; see VideoBuffer::setCrop.
    void setVideoCrop(const QRectF& crop);
    void showVideo(bool show);
    void sleep();
    void wakeUp();
    void checkPowerOnce();
    void setInfo(const VuotCameraStat& record);
    void destroy();
    // Records what plays to <folder>/<did>_<yyyyMMdd_hhmmss>.mp4 (the folder
    // is made) from the next key frame, with the sound when it is on now.
    // Ends on stopRecording, on any end of the play and on destroy.
    void startRecording(const QString& folder);
    void stopRecording();
    static QString recordingFileName(const QString& did, const QDateTime& time);

    void setRoom(const QString& name, const QString& icon);

    QString did() const { return m_did; }
    QString model() const { return m_model; }
    QString name() const;
    QString roomName() const;
    QString roomIcon() const;
    bool isOnline() const { return m_online.load(); }
    bool isPincodeEnabled() const { return m_pincodeEnabled.load(); }
    bool isShared() const { return m_shared; }
    bool isPowerOn() const { return m_powerOn.load(); }
    bool isSdcardReady() const { return m_sdcardReady.load(); }
    bool usesH265() const;
    static bool modelUsesH265(const QString& model);
    const CameraPassport& passport() const { return m_passport; }
    ClientStatus status() const { return static_cast<ClientStatus>(m_status.load()); }

    // The oldest decoded picture (null when none); *more: whether pictures
    // still wait behind it. GUI thread only: the picture becomes a pixmap here.
    QPixmap grabFrame(FrameInfo& info, bool* more = nullptr);
    // Bytes received per second over the last seconds (0 when not playing).
    int receivedBytesPerSecond();

signals:
    void nameChanged(const QString& newName);
    void pincodeEnabled(bool enabled);
    void powerStateChanged(bool isPowerOn);
    void onlineStateChanged(bool isOnline);
    void played(PlayStatus status);
    void timeLineReady(const QVector<RecordFileHeader>& vec);
    void audioPlayed();
    void audioStopped();
    void playStopped();
    void failed(int err);
    void netSpeedUpdated(int speed);
    // A decoded picture waits for grabFrame (sent from the receive thread,
    // once per run of pictures: grab until *more is false).
    void pictureReady();
    void destroyed();
    void recordingStarted(const QString& path);
    // The recording ended well; path: its last file.
    void recordingSaved(const QString& path);
    // The recording could not start, or ended on an error (what was written
    // stays playable).
    void recordingFailed(const QString& message);

    // Internal: queued to the worker thread.
    void play_s(int quality, bool openAudio, const QString& pincode);
    void stopPlay_s();
    void playAudio_s();
    void stopAudio_s(bool notify);
    void setPlayTime_s(int startTime, int offsetTime, int endTime);
    void controlMotor_s(int direction);
    void setVideoQuality_s(int quality);
    void setVideoFrameSize_s(int width, int height);
    void setVideoCrop_s(const QRectF& crop);
    void showVideo_s(bool show);
    void sleep_s();
    void wakeUp_s();
    void checkPowerOnce_s();
    void setInfo_s(); // the record waits in m_pendingInfo
    void destroy_s();
    void startRDT_s();
    void startRecording_s(const QString& folder);
    void stopRecording_s();

private slots:
    void handlePlay(int quality, bool openAudio, const QString& pincode);
    void handleStopPlay();
    void handlePlayAudio();
    void handleStopAudio(bool notify);
    void handleSetPlayTime(int startTime, int offsetTime, int endTime);
    void handleControlMotor(int direction);
    void handleSetVideoQuality(int quality);
    void handleSetVideoFrameSize(int width, int height);
    void handleSetVideoCrop(const QRectF& crop);
    void handleShowVideo(bool show);
    void handleSleep();
    void handleWakeUp();
    void handleCheckPowerOnce();
    void handleSetInfo();
    void handleDestroy();
    void handleStartRDT();
    void onInteruptByError(int err);
    void onRdtStartFailed();
    void handleStartRecording(const QString& folder);
    void handleStopRecording();

private:
    void handleError(int err, const char* stage);
    // Whether a timeline channel start still matters to the current play.
    bool rdtWanted() const;
    // Counts a failed timeline channel start and tries again while the
    // play's three attempts are not used up.
    void retryRDT();
    void runPlay(quint64 serial, int quality, bool openAudio, const QString& pincode);
    bool playAbandoned(quint64 serial) const;
    void doStopPlay(const char* reason);
    // Closes the recording, if any, and says how it ended.
    void endRecording(const char* reason);
    void setStatus(ClientStatus s) { m_status.store(static_cast<int>(s)); }
    bool isStatus(ClientStatus s) const { return m_status.load() == static_cast<int>(s); }

    const QString m_model;
    const QString m_did;
    QString m_name;
    std::atomic<bool> m_online;
    std::atomic<bool> m_pincodeEnabled;
    const bool m_shared;
    std::atomic<bool> m_powerOn{true};
    std::atomic<bool> m_sdcardReady{false};
    std::atomic<int> m_status{static_cast<int>(ClientStatus::Disconnected)};
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    bool m_showVideo = true;
    QString m_roomName;
    QString m_roomIcon;
    CameraPassport m_passport;
    int m_rdtRetries = 0;
    // The cloud calls of a play wait in a local event loop, so a stop or a
    // destroy queued meanwhile runs inside handlePlay; these keep it honest.
    int m_inPlay = 0;            // handlePlay calls on the stack
    quint64 m_playSerial = 0;    // bumped by each play and each user stop
    bool m_destroyPending = false;
    std::atomic<quint64> m_playTicket{0}; // the session's abort ticket when play() was called
    CameraController* m_session = nullptr;
    VideoBuffer* m_videoBuffer = nullptr;
    mutable std::mutex m_mutex;     // video buffer, frame size, show flag
    mutable std::mutex m_infoMutex; // name and room texts read from the GUI thread
    // Camera records from the list manager, oldest first, waiting for the
    // worker (under m_infoMutex). One setInfo_s per record.
    std::deque<VuotCameraStat> m_pendingInfo;
    QThread* m_worker = nullptr;
    RecordTap m_recordTap; // the receive threads hand frames here
    std::shared_ptr<ClipRecorder> m_recorder; // the worker's
    quint64 m_recordSerial = 0;
};
