#pragma once

#include "camera/audioframe.h"
#include "camera/videoframe.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct AVCodecContext;
struct AVFormatContext;
struct AVStream;

// Records what one camera sends to fragmented MP4 (a fragment per key frame,
// so a file cut short stays playable up to its last fragment). The video is
// copied as the camera encoded it (H.264 or H.265, Annex-B after
// decryption); the audio (G.711 or PCM, 8 kHz mono) is decrypted, decoded
// and encoded to AAC. A file starts at a key frame; its parameter sets come
// from that frame. A key frame with other parameter sets (a quality switch)
// ends the file and starts the next one, named <path without .mp4>_2.mp4,
// _3 and so on. A timeline jump goes on in the same file.
//
// Time: the video's pts is the device's send clock of each frame (header
// bytes 4-11, microseconds; this host's arrival time when a camera leaves
// it 0), relative to the file's first frame, never going backwards. The
// audio keeps its own frame time stamps (ms); both clocks are tied to this
// host's by the frames that arrived with the least delay, so a burst of
// late frames does not shift the sound. Audio off its place by more than a
// camera frame is padded with silence or cut; a jump of its clock starts it
// again where it arrives.
//
// A write that fails (a full disk, the file size limit) ends the recording;
// the file is cut back to its last whole fragment, so it plays to the end.
//
// Producers (the receive threads) never block: frames go to a bounded queue
// that a writer thread of the recorder empties.
class ClipRecorder
{
public:
    static constexpr int kQueueLimit = 256;
    static constexpr qint64 kQueueBytesLimit = 64 * 1024 * 1024;
    static constexpr int kAudioRate = 8000;

    struct Config
    {
        QString path;         // the first file (its folder must exist)
        bool h265 = false;
        bool withAudio = false; // an AAC stream (the camera's sound is on)
        QByteArray mediaKey;  // decrypts the audio
    };

    explicit ClipRecorder(const Config& config);
    // Finishes the file.
    ~ClipRecorder();

    // Opens the first file and starts the writer. False (error() says why)
    // when the file cannot be made.
    bool start();
    // Any thread, never blocking. A video frame that finds the queue full is
    // dropped, and so are the frames after it up to the next key frame.
    void pushVideo(const VideoFrame& decrypted, qint64 arrivalUs);
    // A video frame was lost before it came here: go on at the next key frame.
    void videoGap();
    void pushAudio(const AudioFrame& encrypted, qint64 arrivalUs);
    // Any thread: the sound was turned on or off during the recording. A file
    // cannot gain a track: turned on, the next file begins at the next key
    // frame, with sound (as for new picture parameters). Turned off, the
    // file keeps its track, silent from then on; a later file has none.
    void setAudio(bool on) { m_wantAudio.store(on); }
    // Writes what is queued, closes the file and ends the writer; returns
    // error() (empty when all went well). Safe to call more than once.
    QString finish();

    // Called once, on the writer thread, when a write failed; the file is
    // closed by then and keeps what was written.
    void setFailureHandler(std::function<void(const QString&)> handler) { m_onFailure = std::move(handler); }

    QString error() const;
    // The files made so far (the first one from start()).
    QStringList files() const;
    int videoFramesWritten() const { return m_videoWritten.load(); }
    int audioPacketsWritten() const { return m_audioWritten.load(); }

private:
    struct Item
    {
        bool audio = false;
        QByteArray data;
        AvFrameHeader header;
        qint64 arrivalUs = 0;
    };

    void run();
    void enqueue(Item&& item);
    bool openFile(const QString& path);
    bool beginStream(const Item& key, const QByteArray& params);
    void writeVideo(const Item& item);
    void writeAudio(const Item& item);
    bool encodeAudio(bool flush);
    void closeFile();
    bool check(int ret, const char* what);

    const Config m_config;
    std::atomic<bool> m_wantAudio; // an AAC stream in the next file (starts as config.withAudio)
    std::function<void(const QString&)> m_onFailure;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Item> m_queue;
    qint64 m_queuedBytes = 0;
    bool m_skipToKey = false;
    bool m_finishing = false;
    QString m_error;
    QStringList m_files;
    std::thread m_thread;
    std::atomic<int> m_videoWritten{0};
    std::atomic<int> m_audioWritten{0};

    // The writer thread's.
    AVFormatContext* m_fmt = nullptr;
    AVStream* m_video = nullptr;
    AVStream* m_audio = nullptr;
    AVCodecContext* m_aac = nullptr;
    bool m_headerWritten = false;
    bool m_failed = false;
    qint64 m_goodBytes = 0;       // the file's length after its last whole write
    QByteArray m_params;          // the parameter sets of the open file
    bool m_deviceClock = true;
    qint64 m_firstStampUs = -1;
    qint64 m_lastPtsUs = -1;
    qint64 m_lastPts = -1;        // in the stream's time base
    // Arrival time less the frame's own time, the least seen (the frame that
    // came with the least delay): maps each stream's clock onto this host's.
    qint64 m_videoOffsetUs = 0;
    qint64 m_audioOffsetUs = 0;
    bool m_audioStarted = false;
    qint64 m_audioNext = 0;       // samples: pts of the next AAC frame
    std::vector<float> m_pcm;     // samples waiting for a whole AAC frame
};

// Where the receive threads of a playing camera hand their frames for
// recording: a recorder gets them while one is attached. Owned by the camera
// client; the threads hold a plain pointer.
class RecordTap
{
public:
    void attach(std::shared_ptr<ClipRecorder> recorder);
    std::shared_ptr<ClipRecorder> detach();
    bool attached() const;

    void video(const VideoFrame& decrypted);
    void videoGap();
    void audio(const AudioFrame& encrypted);

private:
    std::shared_ptr<ClipRecorder> current() const;

    mutable std::mutex m_mutex;
    std::shared_ptr<ClipRecorder> m_recorder;
};
