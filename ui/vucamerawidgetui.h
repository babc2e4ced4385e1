#pragma once

#include "camera/recordfileheader.h"
#include "ui/vucamerawidgettimings.h"

#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QSize>
#include <QVector>

class QFrame;
class QGridLayout;
class QLabel;
class VideoLabel;
class QPropertyAnimation;
class QPushButton;
class RecordIndicator;
class MLabel;
class MotorControlWidget;
class PinCodeWidget;
class StatusInfoFrame;
class TimeLineToolsWidget;
class VideoSolutionCombobox;
class VuAntimationWidget;

// Builds the widgets of one camera tile and switches them between the tile's
// states. It holds no play logic: user actions come out as signals.
class VuCameraWidgetUI : public QObject
{
    Q_OBJECT
public:
    enum State {
        Unknown = 0,
        ReadingProperties = 1,
        Stopped = 2,
        StoppedForSleep = 3,
        StoppedForError = 4,
        Pincode = 5,
        Authing = 6,
        Connecting = 7,
        Disconnecting = 8,
        WaitingForPlaying = 9,
        Playing = 10,
        Offline = 11,
    };
    static const char* stateName(int state);

    // tile: the widget to build into; isV4: the "_v4" image sets;
    // sdcardReady: the timeline is offered; quality: preselected quality;
    // timings: the bar's slide and the motor buttons' repeat.
    VuCameraWidgetUI(QWidget* tile, const QString& did, bool isV4, bool sdcardReady, int quality,
                     const TileTimings& timings = TileTimings());
    ~VuCameraWidgetUI() override;

    QString pincode() const { return m_pincode; }
    bool isSoundOn() const { return m_soundOn; }
    int quality() const;
    // The picture's place: all of the tile under the top bar. Pictures are
    // decoded to its size and drawn 1:1; bars, pad and timeline lie over it.
    QRect pictureRect() const;
    QSize videoSize() const;
    int state() const { return m_state; }

    void setState(int state);
    void setName(const QString& name);
    void setBackground(const QString& image);
    void setSdcardReady(bool ready);
    // The card's recording list (the last record is a trailer): the timeline
    // row shows only while it holds recordings.
    void setRecordings(const QVector<RecordFileHeader>& headers);
    // Shows the picture as it is (already sized) and its time stamp.
    void showFrame(const QPixmap& picture, quint32 timestamp);
    void clearFrame();
    void showSpeed(const QString& text);
    // "Buffering..." over the video: only while playing and nothing else shows.
    void showBuffering();
    void hideBuffering();
    bool isBuffering() const;
    void showPincodeError();
    void setErrorText(const QString& text);
    void showSnapshotSaved(const QString& fileName);
    // A short note in the tile's corner (a saved file, a failed recording).
    void showNote(const QString& text);
    // The record button's look and the red dot with the elapsed time.
    void setRecording(bool recording);
    bool isRecording() const;
    // Shows the full-screen or the leave-full-screen button (when the window
    // left full screen by other means).
    void setFullscreenShown(bool fullscreen);
    bool isFullscreenShown() const { return m_fullscreen; }
    // Re-places the picture, the pad, the timeline and the bottom bar after
    // the tile changed size.
    void relayout();
    // The height from which a playing tile also shows its timeline.
    static constexpr int TimelineMinTileHeight = 300;
    void retranslate();

    // Parts, for the tile's logic and for tests.
    VideoLabel* videoLabel() const { return m_video; }
    QLabel* timeStampLabel() const { return m_timeStamp; }
    QLabel* speedLabel() const { return m_speed; }
    QLabel* nameLabel() const { return m_name; }
    QLabel* errorTextLabel() const { return m_errorText; }
    QLabel* snapshotLabel() const { return m_snapshotLabel; }
    QFrame* bottomBar() const { return m_bottomBar; }
    bool isBottomBarShown() const { return m_barShown; }
    QPropertyAnimation* bottomBarAnimation() const { return m_barAnim; }
    StatusInfoFrame* statusFrame() const { return m_status; }
    PinCodeWidget* pinCodeWidget() const { return m_pinWidget; }
    MotorControlWidget* motorWidget() const { return m_motor; }
    TimeLineToolsWidget* timeLine() const { return m_timeLine; }
    VideoSolutionCombobox* qualityChooser() const { return m_quality; }
    QWidget* overlay(int state) const;
    QPushButton* playButton() const { return m_playBtn; }
    QPushButton* stopButton() const { return m_stopBtn; }
    QPushButton* wakeUpButton() const { return m_wakeBtn; }
    QPushButton* soundOnButton() const { return m_soundOnBtn; }
    QPushButton* soundOffButton() const { return m_soundOffBtn; }
    QPushButton* fullscreenButton() const { return m_fullBtn; }
    QPushButton* exitFullscreenButton() const { return m_exitFullBtn; }
    QPushButton* snapshotButton() const { return m_snapshotBtn; }
    QPushButton* recordButton() const { return m_recordBtn; }
    RecordIndicator* recordIndicator() const { return m_recordIndicator; }
    QPushButton* sleepButton() const { return m_sleepBtn; }
    MLabel* retryLabel() const { return m_retryLabel; }
    QLabel* onlineFlag() const { return m_onlineFlag; }
    QLabel* offlineFlag() const { return m_offlineFlag; }

signals:
    void playTriggered();
    void stopPlayTriggered();
    void qualityChanged(int q);
    void soundOnTriggered();
    void soundOffTriggered();
    void enterFullscreen();
    void leaveFullscreen();
    void retryTriggered();
    void powerOnTriggered();
    void powerOffTriggered();
    void motorDirectionTiggered(int direction);
    void snapshotTriggered();
    void recordTriggered();

public slots:
    void onPinCodeInput(const QString& code);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void updatePad();
    void clearTimeStamp();
    void setRecordText(bool recording);
    void fitBottomBar();
    void elideName();
    QFrame* makeOverlay();
    QLabel* makeStateText(QWidget* parent);
    void slideBottomBar(bool in);
    QRect barRect(bool shown) const;
    void updateSoundButtons();
    QString loadingText(int state) const;

    void updateTimeline();
    QWidget* m_tile;
    const QString m_did;
    const bool m_isV4;
    bool m_sdcardReady;
    int m_state = Unknown;
    QString m_pincode;
    QString m_fullName;
    bool m_soundOn = false;
    bool m_fullscreen = false;
    quint32 m_shownStamp = 0; // the time stamp m_timeStamp shows
    bool m_pointerInside = false;
    QString m_recordText; // shown when the bar has room for it
    bool m_barShown = false;
    bool m_barSlidingIn = false;

    QGridLayout* m_grid;
    QFrame* m_topBar;
    QLabel* m_name;
    QLabel* m_timeStamp;
    QLabel* m_speed;
    QLabel* m_onlineFlag;
    QLabel* m_offlineFlag;
    VideoLabel* m_video;
    StatusInfoFrame* m_status;
    QFrame* m_stoppedOverlay;
    QPushButton* m_playBtn;
    QFrame* m_sleepOverlay;
    QLabel* m_sleepImage;
    QLabel* m_sleepText;
    QPushButton* m_wakeBtn;
    QFrame* m_errorOverlay;
    MLabel* m_errorImage;
    QLabel* m_errorText;
    MLabel* m_retryLabel;
    QFrame* m_loadingOverlay;
    VuAntimationWidget* m_loadingAnim;
    QLabel* m_loadingText;
    QFrame* m_offlineOverlay;
    QLabel* m_offlineText;
    PinCodeWidget* m_pinWidget;
    MotorControlWidget* m_motor;
    QLabel* m_snapshotLabel;
    TimeLineToolsWidget* m_timeLine;
    QFrame* m_bottomBar;
    QPropertyAnimation* m_barAnim;
    QPushButton* m_stopBtn;
    VideoSolutionCombobox* m_quality;
    QPushButton* m_soundOnBtn;
    QPushButton* m_soundOffBtn;
    QPushButton* m_snapshotBtn;
    QPushButton* m_recordBtn;
    RecordIndicator* m_recordIndicator;
    QPushButton* m_sleepBtn;
    QPushButton* m_fullBtn;
    QPushButton* m_exitFullBtn;
};
