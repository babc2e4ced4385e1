#include "camera/videobuffer.h"

#include <QDebug>
#include <QScopeGuard>
#include <QThread>
#include <QtGlobal>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <sodium.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

// Pictures are 32-bit 0xffRRGGBB words in the machine's byte order: the
// format QImage::Format_RGB32 and the X and raster paint engines use, so a
// picture goes to the screen without being converted on the GUI thread.
constexpr AVPixelFormat kPictureFormat = AV_PIX_FMT_RGB32;

// Bytes in front of the payload: nonce and the NAL count.
constexpr int kFramePrefix = VideoBuffer::kNonceSize + 1;
constexpr int kTableEntry = 8;
constexpr int kBlockSize = 16;
constexpr int kFirstBlock = 32;
constexpr int kBlockStride = 160;

const char* pixFmtName(int fmt)
{
    const char* n = av_get_pix_fmt_name(static_cast<AVPixelFormat>(fmt));
    return n ? n : "none";
}

// The pixels of a w x h picture that crop names: corners on the chroma grid
// (ax x ay pixels a chroma sample), at least one chroma cell, inside the
// picture. The whole picture for a crop that covers it.
QRect cropPixels(const QRectF& crop, int w, int h, int ax, int ay)
{
    auto span = [](double from, double length, int total, int align, int& start, int& size) {
        size = qBound(align, int(std::lround(length * total)), total);
        if (size < total)
            size -= size % align;
        start = qBound(0, int(std::lround(from * total)), total - size);
        start -= start % align;
    };
    int x, y, cw, ch;
    span(crop.x(), crop.width(), w, ax, x, cw);
    span(crop.y(), crop.height(), h, ay, y, ch);
    return QRect(x, y, cw, ch);
}

} // namespace

VideoBuffer::VideoBuffer(bool isH265, const QByteArray& key, QObject* parent)
    : QObject(parent), m_isH265(isH265), m_key(key)
{
    m_decoder = avcodec_find_decoder(isH265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!m_decoder)
        qWarning(isH265 ? "Codec not found H265 Coder" : "Codec not found H264 Coder");
    m_packet = av_packet_alloc();
    m_elapsed.start();
    m_windowTime = m_elapsed.elapsed();
}

VideoBuffer::~VideoBuffer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopped = true;
        m_queue.clear();
        m_notFull.notify_all();
    }
    avcodec_free_context(&m_ctx);
    av_packet_free(&m_packet);
    sws_freeContext(m_scaler);
    m_scaler = nullptr;
    sws_freeContext(m_overviewScaler);
    m_overviewScaler = nullptr;
}

QSize VideoBuffer::fitSize(int w, int h)
{
    if (w <= 0 || h <= 0)
        return QSize();
    const double r = 16.0 / 9.0;
    int ow, oh;
    if (w >= h * r) {
        ow = static_cast<int>(h * r);
        oh = h;
    } else {
        oh = static_cast<int>(w / r);
        ow = w;
    }
    ow -= ow % 16;
    oh -= oh % 9;
    return QSize(ow, oh);
}

void VideoBuffer::setDstSize(int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const QSize s = fitSize(width, height);
    if (s.width() <= 0 || s.height() <= 0) {
        // Too small for one 16 x 9 cell: no scaler could be built for it.
        qWarning("video size %dx%d too small, keeping the previous size", width, height);
        return;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reqSize = s;
}

void VideoBuffer::setCrop(const QRectF& crop)
{
    const bool empty = !(crop.width() > 0 && crop.height() > 0);
    if (empty)
        qWarning("video crop %gx%g is empty, showing the whole picture", crop.width(), crop.height());
    std::lock_guard<std::mutex> lock(m_mutex);
    m_crop = empty ? QRectF(0, 0, 1, 1) : crop;
}

QRectF VideoBuffer::crop() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_crop;
}

QSize VideoBuffer::requestedSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_reqSize;
}

QSize VideoBuffer::currentOutputSize() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_curSize;
}

quint32 VideoBuffer::readUint32(const unsigned char* table, int size, int pos)
{
    if (pos < 0 || pos + 3 >= size) {
        qWarning("pos + 3 > max_byt_len (%d + 3 > %d)", pos, size);
        return 0;
    }
    return quint32(table[pos]) | (quint32(table[pos + 1]) << 8) | (quint32(table[pos + 2]) << 16)
        | (quint32(table[pos + 3]) << 24);
}

bool VideoBuffer::decryptFrame(VideoFrame& frame) const
{
    const int len = frame.data.size();
    if (len <= 0)
        return false;
    if (len < kFramePrefix) {
        // Not even the nonce and the NAL count are there.
        qWarning("invalid nal_num:%d, frame_len:%d", 0, len);
        return false;
    }
    if (m_key.size() != kKeySize) {
        qWarning("invalid media key length:%d", int(m_key.size()));
        return false;
    }
    const auto* src = reinterpret_cast<const unsigned char*>(frame.data.constData());
    unsigned char nonce[kNonceSize];
    std::memcpy(nonce, src, kNonceSize);
    const int n = src[kNonceSize];
    const int tableSize = kTableEntry * n;
    if (tableSize > len - kFramePrefix) {
        qWarning("invalid nal_num:%d, frame_len:%d", n, len);
        return false;
    }
    const int head = kFramePrefix + tableSize;
    const int dlen = len - head;
    if (dlen <= 0) {
        qWarning("video decrpyt error:data_len=%d (%d-%d)", dlen, len, head);
        return false;
    }

    QByteArray payload;
    try {
        payload = QByteArray(frame.data.constData() + head, dlen);
    } catch (const std::bad_alloc&) {
        qWarning("memory alloc faild, data size:%d", dlen);
        return false;
    }
    auto* out = reinterpret_cast<unsigned char*>(payload.data());
    const unsigned char* table = src + kFramePrefix;

    // Every protected block of a frame is XORed with the same first 16 bytes of
    // the key stream (block counter 0), so the stream is made once per frame.
    unsigned char stream[kBlockSize];
    bool haveStream = false;
    bool failed = false;
    for (int i = 0; i < n && !failed; ++i) {
        const qint64 offset = readUint32(table, tableSize, kTableEntry * i);
        const qint64 length = qint64(readUint32(table, tableSize, kTableEntry * i + 4)) - kBlockSize;
        for (qint64 p = kFirstBlock; p < length; p += kBlockStride) {
            const qint64 end = offset + p + kBlockSize;
            if (end > dlen || end < 0) {
                qWarning("invalid video frame: data-len %d", dlen);
                failed = true;
                break;
            }
            if (!haveStream) {
                std::memset(stream, 0, sizeof stream);
                const int rc = crypto_stream_chacha20_xor(stream, stream, sizeof stream, nonce,
                    reinterpret_cast<const unsigned char*>(m_key.constData()));
                if (rc != 0)
                    qWarning() << "crypto_stream_chacha20_xor:" << rc;
                haveStream = true;
            }
            unsigned char* block = out + offset + p;
            for (int b = 0; b < kBlockSize; ++b)
                block[b] ^= stream[b];
        }
    }
    // After an invalid entry the frame still goes on with what was decrypted.
    frame.data = payload;
    return true;
}

bool VideoBuffer::openDecoder()
{
    if (m_ctx)
        return true;
    if (!m_decoder)
        return false;
    m_ctx = avcodec_alloc_context3(m_decoder);
    if (!m_ctx) {
        qWarning("Could not allocate video codec context");
        return false;
    }
    // Live video: no frame threading (it holds pictures back), no reordering
    // delay. A stream of several slices is decoded on two cores when it is
    // played at full-screen size (the grid's many small tiles use one each).
    m_ctx->thread_count = scalerThreads(requestedSize());
    m_ctx->thread_type = FF_THREAD_SLICE;
    m_ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(m_ctx, m_decoder, nullptr) < 0) {
        avcodec_free_context(&m_ctx);
        qWarning("Could not open codec");
        return false;
    }
    return true;
}

int VideoBuffer::scalerThreads(const QSize& out)
{
    // A picture of full-screen size takes a few milliseconds to scale, all of
    // it between the frame's arrival and the screen: two cores halve that.
    // Small tiles (the grid) scale in one thread, where the other cores are
    // busy with the other cameras anyway.
    return qint64(out.width()) * out.height() >= qint64(1280) * 720 && QThread::idealThreadCount() > 1 ? 2 : 1;
}

bool VideoBuffer::prepareScaler(int srcW, int srcH, int srcFormat)
{
    QSize out;
    bool sizeChanged = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_reqSize != m_curSize) {
            m_curSize = m_reqSize;
            sizeChanged = true;
        }
        out = m_curSize;
    }
    if (!sizeChanged && m_scaler && m_srcSize == QSize(srcW, srcH) && m_srcFormat == srcFormat)
        return true;
    m_srcSize = QSize(srcW, srcH);
    m_srcFormat = srcFormat;
    sws_freeContext(m_scaler);
    // The decoder's own pixel format is used: a stream that is not 4:2:0 must
    // not be read with the plane layout of 4:2:0.
    m_scaler = sws_alloc_context();
    if (m_scaler) {
        av_opt_set_int(m_scaler, "srcw", srcW, 0);
        av_opt_set_int(m_scaler, "srch", srcH, 0);
        av_opt_set_int(m_scaler, "src_format", srcFormat, 0);
        av_opt_set_int(m_scaler, "dstw", out.width(), 0);
        av_opt_set_int(m_scaler, "dsth", out.height(), 0);
        av_opt_set_int(m_scaler, "dst_format", kPictureFormat, 0);
        av_opt_set_int(m_scaler, "sws_flags", SWS_BILINEAR, 0);
        av_opt_set_int(m_scaler, "threads", scalerThreads(out), 0);
        if (sws_init_context(m_scaler, nullptr, nullptr) < 0) {
            sws_freeContext(m_scaler);
            m_scaler = nullptr;
        }
    }
    if (!m_scaler) {
        qWarning("Impossible to create scale context for the conversion fmt:%s s:%dx%d -> fmt:%s s:%dx%d",
            pixFmtName(srcFormat), srcW, srcH, pixFmtName(kPictureFormat), out.width(), out.height());
        return false;
    }
    ++m_scalerBuilds;
    return true;
}

QImage VideoBuffer::decodeFrame(const VideoFrame& frame, QImage* overview)
{
    if (overview)
        *overview = QImage();
    AVFrame* decoded = av_frame_alloc();
    AVFrame* next = av_frame_alloc();
    auto freeFrames = qScopeGuard([&] {
        av_frame_free(&decoded);
        av_frame_free(&next);
    });
    if (!decoded || !next) {
        qWarning("Could not allocate video frame");
        return QImage();
    }
    if (!openDecoder())
        return QImage();
    if (!m_packet) {
        m_packet = av_packet_alloc();
        if (!m_packet) {
            qWarning("Could not allocate video packet");
            return QImage();
        }
    }
    if (frame.data.isEmpty()) {
        // An empty packet would put the decoder into draining mode for good.
        qWarning("Error while decoding frame:%d", 0);
        return QImage();
    }
    // The decoder's bit readers may read past the end: give it a zero-padded copy.
    const int size = frame.data.size();
    m_padded.resize(size_t(size) + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(m_padded.data(), frame.data.constData(), size_t(size));
    std::memset(m_padded.data() + size, 0, AV_INPUT_BUFFER_PADDING_SIZE);
    m_packet->data = m_padded.data();
    m_packet->size = size;

    bool got = false;
    auto drain = [&]() {
        int r;
        while ((r = avcodec_receive_frame(m_ctx, next)) == 0) {
            av_frame_unref(decoded);
            av_frame_move_ref(decoded, next);
            got = true;
        }
        return r;
    };
    int ret = avcodec_send_packet(m_ctx, m_packet);
    if (ret == AVERROR(EAGAIN)) {
        drain();
        ret = avcodec_send_packet(m_ctx, m_packet);
    }
    m_packet->data = nullptr;
    m_packet->size = 0;
    if (ret < 0) {
        qWarning("Error while decoding frame:%d", ret);
        return QImage();
    }
    const int r = drain();
    if (!got) {
        qWarning("Error while decoding frame:%d", r);
        return QImage();
    }
    if (decoded->width <= 0 || decoded->height <= 0) {
        qWarning("Error while decoding frame: picture size %dx%d", decoded->width, decoded->height);
        return QImage();
    }

    // The zoomed part: the planes start at its corner, the scaler reads its size.
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(decoded->format));
    QRect part(0, 0, decoded->width, decoded->height);
    if (desc && !(desc->flags & (AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL)))
        part = cropPixels(crop(), decoded->width, decoded->height, 1 << desc->log2_chroma_w,
                          1 << desc->log2_chroma_h);
    const uint8_t* planes[4] = {decoded->data[0], decoded->data[1], decoded->data[2], decoded->data[3]};
    if (part.topLeft() != QPoint(0, 0)) {
        for (int c = 0; c < desc->nb_components; ++c) {
            const AVComponentDescriptor& comp = desc->comp[c];
            const bool sub = (c == 1 || c == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
            planes[comp.plane] = decoded->data[comp.plane]
                + (part.y() >> (sub ? desc->log2_chroma_h : 0)) * decoded->linesize[comp.plane]
                + (part.x() >> (sub ? desc->log2_chroma_w : 0)) * comp.step;
        }
    }
    if (!prepareScaler(part.width(), part.height(), decoded->format))
        return QImage();
    const QSize out = m_curSize;
    QImage picture(out, QImage::Format_RGB32);
    if (picture.isNull()) {
        qWarning("Could not allocate destination image");
        return QImage();
    }
    uint8_t* dst[4] = {picture.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {int(picture.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(m_scaler, planes, decoded->linesize, 0, part.height(), dst, dstStride);
    if (rows <= 0) {
        char text[1024];
        av_strerror(rows, text, sizeof text);
        qWarning("%s", text);
        return QImage();
    }
    if (rows < out.height()) {
        qWarning() << "sws_scale ouput height:" << rows << " < " << out.height();
        return picture.copy(0, 0, out.width(), rows);
    }
    if (overview && part.size() != QSize(decoded->width, decoded->height)) {
        // The inset beside a zoomed picture stays live: the whole picture,
        // scaled once more, small.
        const int w = qMax(2, out.width() / 5);
        const QSize small(w, qMax(2, int(qint64(w) * decoded->height / decoded->width)));
        m_overviewScaler = sws_getCachedContext(m_overviewScaler, decoded->width, decoded->height,
            static_cast<AVPixelFormat>(decoded->format), small.width(), small.height(), kPictureFormat,
            SWS_BILINEAR, nullptr, nullptr, nullptr);
        QImage whole(small, QImage::Format_RGB32);
        uint8_t* wholeDst[4] = {whole.bits(), nullptr, nullptr, nullptr};
        int wholeStride[4] = {int(whole.bytesPerLine()), 0, 0, 0};
        if (m_overviewScaler && !whole.isNull()
            && sws_scale(m_overviewScaler, decoded->data, decoded->linesize, 0, decoded->height, wholeDst,
                         wholeStride) == small.height())
            *overview = whole;
    }
    return picture;
}

void VideoBuffer::pushFrame(const QImage& picture, const FrameInfo& info)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopped && m_queue.size() >= kMaxQueued)
        m_notFull.wait(lock);
    m_queue.append(DecodedFrame{picture, info});
    // One announcement per run of pictures: the consumer pops until the
    // queue is empty, and only then does the next picture announce itself.
    const bool announce = !m_announced;
    m_announced = true;
    lock.unlock();
    if (announce)
        emit pictureReady();
}

QImage VideoBuffer::popFrame(FrameInfo& info, bool* more)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (more)
        *more = false;
    if (m_queue.isEmpty()) {
        m_announced = false;
        return QImage();
    }
    DecodedFrame f = m_queue.takeFirst();
    m_notFull.notify_all();
    m_announced = !m_queue.isEmpty();
    if (more)
        *more = m_announced;
    info = f.info;
    return f.picture;
}

int VideoBuffer::queuedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

void VideoBuffer::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopped = true;
    m_notFull.notify_all();
}

bool VideoBuffer::isStopped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_stopped;
}

void VideoBuffer::setClock(Clock clock)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_clock = std::move(clock);
    m_windowTime = m_clock ? m_clock() : m_elapsed.elapsed();
    std::memset(m_window, 0, sizeof m_window);
}

void VideoBuffer::addReceivedBytes(int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    addReceivedBytesLocked(count);
}

void VideoBuffer::addReceivedBytesLocked(int count)
{
    const qint64 now = m_clock ? m_clock() : m_elapsed.elapsed();
    const qint64 k = (now - m_windowTime) / kSlotMs;
    if (k < 0)
        return;
    if (k > 0) {
        // Advance by whole slots so that slots stay 100 ms long however
        // irregularly frames arrive.
        m_windowTime += k * kSlotMs;
        const int m = int(qMin<qint64>(k, kWindowSlots));
        std::memmove(m_window, m_window + m, sizeof(int) * size_t(kWindowSlots - m));
        std::memset(m_window + (kWindowSlots - m), 0, sizeof(int) * size_t(m));
    }
    m_window[kWindowSlots - 1] += count;
}

int VideoBuffer::bytesPerSecond()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    addReceivedBytesLocked(0);
    qint64 sum = 0;
    for (int v : m_window)
        sum += v;
    return int(qMin<qint64>(sum / 5, std::numeric_limits<int>::max()));
}
