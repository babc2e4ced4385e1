#pragma once

#include "camera/frameinfo.h"
#include "camera/recordfileheader.h"
#include "client/playstatus.h"
#include "ui/vucamerawidgettimings.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPixmap>
#include <QPointer>

class QTimer;
class VuCameraClient;
class VuCameraWidgetUI;
class VideoZoom;

// One tile of the camera grid. It decides when to (re)start playing, counts
// the automatic retries and turns each camera state into an overlay; the
// camera client does the network half.
//
// The few calls that reach the camera itself (play, the power check, the
// frame fetch) go through virtual functions so a test can stand in for the
// camera while driving the tile through the client's signals.
class VuCameraWidget : public QLabel
{
    Q_OBJECT
public:
    // client: not owned (the camera list manager owns it). timings: the
    // tile's intervals (the program's unless a caller drives time itself).
    explicit VuCameraWidget(VuCameraClient* client, QWidget* parent = nullptr,
                            const TileTimings& timings = TileTimings());
    ~VuCameraWidget() override;

    static constexpr int RetryBudget = 10;

    VuCameraClient* client() const;
    VuCameraWidgetUI* ui() const { return m_ui; }
    VideoZoom* zoom() const { return m_zoom; }
    bool isCreated() const { return m_created; }
    int retriesLeft() const { return m_retriesLeft; }
    bool isPlayTimerActive() const;
    bool isPowerChecking() const;
    // The picture last shown (null when none).
    QPixmap currentPicture() const { return m_lastPicture; }
    // How many pictures the tile has shown since it was made, and the info of
    // the last one (for measurements).
    quint64 picturesShown() const { return m_picturesShown; }
    FrameInfo lastFrameInfo() const { return m_lastInfo; }

    // "0KB/S", "1.0MB/S", "1.0GB/S" for a byte rate.
    static QString speedText(qint64 bytesPerSecond);
    static QString errorText(int err);

    // Saves the picture shown as PNG in folder (the user's Pictures folder
    // when empty); returns the file path, empty when nothing was saved.
    QString saveSnapshot(const QString& folder = QString());
    // Starts or ends the recording of what plays (the record button, R);
    // files go to the recording folder: <Videos>/VuCamera unless set.
    void toggleRecording();
    void setRecordFolder(const QString& folder) { m_recordFolder = folder; }

signals:
    void enterFullscreen();
    void leaveFullscreen();
    void stopped();

public slots:
    void onPlayTriggered();
    void onStopPlayTriggered();
    void onRetryTriggered();
    void onPlayed(PlayStatus status);
    void onStopPlayFinished();
    void onPlayErrored(int err);
    void onOnlineStateChanged(bool online);
    void onPowerStateChanged(bool on);
    void onSnapshotTriggered();

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

    // What reaches the camera client; overridden by tests.
    virtual void clientPlay(int quality, bool openAudio, const QString& pincode);
    virtual void clientCheckPowerOnce();
    virtual QPixmap clientGrabFrame(FrameInfo& info, bool& more);
    virtual int clientBytesPerSecond();

private:
    void create();
    void setInitialState();
    void play(const char* reason);
    void startPlayTimer();
    void stopPlayTimer();
    void startPowerCheck();
    void stopPowerCheck();
    void onPlayTimer();
    void onPictureReady();
    void showPicture(const QPixmap& picture, const FrameInfo& info);
    QByteArray didText() const;

    const TileTimings m_timings;
    QPointer<VuCameraClient> m_client;
    VuCameraWidgetUI* m_ui = nullptr;
    VideoZoom* m_zoom = nullptr;
    bool m_created = false;
    QTimer* m_playTimer = nullptr;
    QElapsedTimer m_noFrameClock;
    QTimer* m_powerCheckTimer;
    int m_retriesLeft = 0;
    bool m_bufferingHidePending = false;
    QPixmap m_lastPicture;
    FrameInfo m_lastInfo;
    QSize m_loggedPictureSize;
    QSize m_loggedLabelSize;
    QSize m_frameSize; // the size the decoder was last told
    quint64 m_picturesShown = 0;
    QString m_did;
    QString m_recordFolder;
};
