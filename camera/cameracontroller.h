#pragma once

#include "camera/cameratimings.h"
#include "camera/motorreply.h"
#include "camera/recordfileheader.h"

#include <QJsonObject>
#include <QObject>
#include <QVector>
#include <atomic>
#include <mutex>

struct CameraPassport;
class AvframeRecvThread;
class AudioRecvthread;
class VideoBuffer;
class AudioPlayer;
class RDTUpdatethread;
class EventRecvthread;

// The P2P session to one camera. Its camera client owns it and calls it on
// the client's worker thread; only abort() and abortTicket() come from
// another thread.
//
// Camera record: the controller reads the owning client's CameraPassport
// (not owned, must outlive the controller): `did` names the camera in log
// lines, `p2p_id`, `user`, `password`, `signForAppData`, `appPublicKey` and
// `sharedKey` open and authenticate the session. The client fills the
// passport before each connCamera.
//
// The media parts (video, audio, timeline and event threads, video buffer,
// audio player) are owned pointers, null while not running; the commands that
// start them and their stop steps in stopPlay() live beside connCamera.
class CameraController : public QObject
{
    Q_OBJECT
public:
    static constexpr unsigned int AvStartTimeoutSeconds = 10;

    // IO-control types of the video commands.
    static constexpr unsigned int IoPlay = 0x1FF;
    static constexpr unsigned int IoDisconnect = 0x2FF;
    static constexpr unsigned int IoVideoQuality = 0x320;
    static constexpr unsigned int IoPlayback = 0xF001;

    explicit CameraController(const CameraPassport* record, const CameraTimings& timings = CameraTimings(),
                              QObject* parent = nullptr);
    ~CameraController() override;

    // Opens and authenticates the session: 0 on success or when already
    // connected, otherwise a negative code (the session is closed again).
    // With a ticket (abortTicket() taken when the play was asked for), an
    // abort() since then makes it return -13 instead of connecting.
    int connCamera();
    int connCamera(quint64 ticket);
    // From any thread: ends whatever the session is doing at once (a
    // connect, the login, timeline reads, sends to a stalled camera) and
    // makes connects of older tickets give up. Only this controller's own
    // session is touched; the worker still calls stopPlay() to clean up.
    void abort();
    quint64 abortTicket() const { return m_abortTicket.load(); }
    // Stops every thread and closes the channel and the session. Always 0.
    int stopPlay();

    // Live video (IO control 0x1FF): starts the receive thread that fills
    // videoBuffer (not owned) and, with enableAudio, the audio. 0, 4 when
    // already playing, or the negative send result.
    int play(VideoBuffer* videoBuffer, int quality, bool enableAudio);
    // 0x320: the send result.
    int setVideoQuality(int quality);
    // startTime 0: back to live (0x1FF, 8 zero bytes); otherwise card
    // playback from startTime + offset up to endTime (0xF001). Only when
    // connected.
    void setPlayTime(int startTime, int offset, int endTime);
    // 0x2FF, then closes the channel and the session; threads are left alone.
    void disconnCamera();

    // True when both the AV channel and the session are open.
    bool connected() const { return m_avIndex >= 0 && m_sessionId >= 0; }
    int avIndex() const { return m_avIndex; }
    int sessionId() const { return m_sessionId; }

    // The view account text for a passport: the plain user without a shared
    // key, else the compact JSON {"account","public_key","sign"}.
    static QByteArray viewAccount(const CameraPassport& passport);

    // Camera audio on (0x300) while playing: 0 when not playing or already
    // on, else the send result; starts the audio receive thread and player.
    int playAudio();
    // Camera audio off (0x301): stops the player and the receive thread.
    int stopAudio();
    // Opens the RDT channel for the recording timeline (0x200 with a free
    // IOTC channel) and starts the timeline thread: 0, 4 when already
    // started, or the negative library/send result.
    int startRDT();
    // Stops the timeline thread and releases the channel (0x201).
    void stopRDT();
    // Pan/tilt one step (0xF005): 1 left, 2 right, 3 up, 4 down. The first
    // call starts the IO-control event thread that reads the replies.
    void controlMotor(int operation);
    // The audio player while playing (null otherwise); for diagnostics.
    AudioPlayer* audioPlayer() const { return m_audioPlayer; }

public slots:
    // IO-control messages the camera sent on its own; handles the motor
    // reply (0xF006), ignores the rest.
    void onIoctrlEvent(uint type, QJsonObject data);

signals:
    void failed(int err);
    void timeLineReady(QVector<RecordFileHeader> vec);
    // The timeline thread of the latest startRDT could not open its RDT
    // channel (the camera refused it or never answered). Not emitted for a
    // thread that stopRDT or stopPlay already ended.
    void rdtStartFailed();

private:
    // Logs the session record of a freshly connected session.
    void reportSession();
    // The camera's device id for log lines ("camera %s: ...").
    QByteArray did() const;

    // Publishes the session id (or -1) for abort(); returns the old one.
    int setSessionId(int sid);

    const CameraPassport* m_record;
    int m_avIndex = -1;
    // Read by abort() from another thread, under m_abortMutex: an id is
    // withdrawn before it is closed, so an abort never reaches an id that
    // another camera may have claimed since.
    std::atomic<int> m_sessionId{-1};
    std::atomic<quint64> m_abortTicket{0};
    std::mutex m_abortMutex;
    AvframeRecvThread* m_videoThread = nullptr;
    AudioRecvthread* m_audioThread = nullptr;
    VideoBuffer* m_videoBuffer = nullptr; // not owned
    AudioPlayer* m_audioPlayer = nullptr;
    RDTUpdatethread* m_timelineThread = nullptr;
    int m_rdtChannel = -1;
    quint64 m_rdtGeneration = 0;  // bumped by every start and stop of the timeline
    // Bumped by every play and stopPlay; read where a receive thread's report
    // is delivered, which at quit is the thread the controller was handed to.
    std::atomic<quint64> m_playGeneration{0};
    EventRecvthread* m_eventThread = nullptr;
    const CameraTimings m_timings;
};
