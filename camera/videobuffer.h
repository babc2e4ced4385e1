#pragma once

#include "camera/frameinfo.h"
#include "camera/videoframe.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QSize>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVPacket;
struct SwsContext;
class RecordTap;

// Turns the decrypted frames of one camera into RGB pictures of the size the
// tile wants and queues them for the tile. Producer: the video receive thread
// (decryptFrame, decodeFrame, pushFrame, addReceivedBytes). Consumer: the GUI
// thread through the camera client (popFrame, bytesPerSecond). Control: the
// camera client's worker thread (setDstSize, setCrop, setDecodeEnabled) and stop.
//
// Pictures travel as QImage: a QPixmap may only be made on the GUI thread.
class VideoBuffer : public QObject
{
    Q_OBJECT
public:
    static constexpr int kMaxQueued = 10;
    static constexpr int kWindowSlots = 50;   // 50 x 100 ms = 5 s
    static constexpr int kSlotMs = 100;
    static constexpr int kNonceSize = 8;
    static constexpr int kKeySize = 32;

    VideoBuffer(bool isH265, const QByteArray& key, QObject* parent = nullptr);
    ~VideoBuffer() override;

    bool isH265() const { return m_isH265; }

    // Requests the largest 16:9 picture inside w x h (width a multiple of 16,
    // height a multiple of 9); takes effect at the next decoded frame.
    void setDstSize(int width, int height);
    QSize requestedSize() const;
    static QSize fitSize(int width, int height);
    // Threads the scaler uses for pictures of this size.
    static int scalerThreads(const QSize& out);
    // Shows only the part crop (normalised source coordinates, the whole
    // picture by default) of each decoded picture, cut from the full-size
    // picture before scaling: a zoomed picture keeps the source's detail.
    // Takes effect at the next decoded frame; any thread.
    void setCrop(const QRectF& crop);
    QRectF crop() const;

    void setDecodeEnabled(bool enabled) { m_decodeEnabled.store(enabled, std::memory_order_relaxed); }
    bool decodeEnabled() const { return m_decodeEnabled.load(std::memory_order_relaxed); }
    bool hasKey() const { return !m_key.isEmpty(); }

    // Strips the nonce and the NAL table and decrypts the protected blocks in
    // place. False when the frame is to be dropped.
    bool decryptFrame(VideoFrame& frame) const;
    // Reads a little-endian u32 at pos of a table of size bytes; 0 (with a
    // warning) when the four bytes do not fit.
    static quint32 readUint32(const unsigned char* table, int size, int pos);

    // Decodes one frame and scales it to the requested size; a null image on
    // any failure (the next frame is tried afresh). While a crop is set and
    // overview is given, *overview becomes the whole picture at a fifth of
    // the requested width (the zoom's inset); a null image otherwise.
    QImage decodeFrame(const VideoFrame& frame, QImage* overview = nullptr);

    // Queues a picture; blocks while kMaxQueued pictures wait, unless stopped.
    // Announces it with pictureReady() unless an earlier announcement is still
    // being served.
    void pushFrame(const QImage& picture, const FrameInfo& info);
    // The oldest picture and its info, or a null image (info untouched).
    // *more: whether pictures still wait; the consumer of an announcement
    // pops until it is false (the next picture announces itself again).
    QImage popFrame(FrameInfo& info, bool* more = nullptr);
    int queuedCount() const;
    // Releases blocked producers for good; queued pictures stay.
    void stop();
    bool isStopped() const;

    // Received-bytes window: 50 slots of 100 ms.
    void addReceivedBytes(int count);
    int bytesPerSecond();

    // Size and source the scaler is currently built for (producer thread).
    QSize currentOutputSize() const;
    int scalerBuilds() const { return m_scalerBuilds.load(); }

signals:
    // A picture waits in the queue (emitted on the producer's thread).
    void pictureReady();

public:

    // Milliseconds of a clock that never runs backwards; replaceable in tests.
    using Clock = std::function<qint64()>;
    void setClock(Clock clock);

    // Where the receive thread hands each decrypted frame for recording (not
    // owned; null: none).
    void setRecordTap(RecordTap* tap) { m_recordTap.store(tap); }
    RecordTap* recordTap() const { return m_recordTap.load(); }

private:
    bool openDecoder();
    bool prepareScaler(int srcW, int srcH, int srcFormat);
    void addReceivedBytesLocked(int count);

    const bool m_isH265;
    const QByteArray m_key;
    const AVCodec* m_decoder = nullptr;
    AVCodecContext* m_ctx = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_scaler = nullptr;
    SwsContext* m_overviewScaler = nullptr; // the whole picture, small, while zoomed
    QSize m_srcSize;
    int m_srcFormat = -1;
    QSize m_curSize;
    QSize m_reqSize{1920, 1080};
    QRectF m_crop{0, 0, 1, 1};
    std::atomic<int> m_scalerBuilds{0}; // read by tests while the decoder runs
    std::vector<unsigned char> m_padded; // packet bytes plus the decoder's padding

    mutable std::mutex m_mutex;
    std::condition_variable m_notFull;
    struct DecodedFrame
    {
        QImage picture;
        FrameInfo info;
    };
    QList<DecodedFrame> m_queue;
    bool m_stopped = false;
    bool m_announced = false; // pictureReady() sent, queue not yet emptied
    std::atomic<bool> m_decodeEnabled{true};

    int m_window[kWindowSlots] = {};
    qint64 m_windowTime = 0;
    QElapsedTimer m_elapsed;
    Clock m_clock;
    std::atomic<RecordTap*> m_recordTap{nullptr};
};
