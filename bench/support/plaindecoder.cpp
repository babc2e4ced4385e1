#include "bench/support/plaindecoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace {

// The client's decoder scales into 32-bit pixels (QImage::Format_RGB32, what
// the paint engines draw without converting): the baseline scales into the
// same format, so that both sides pay for the same conversion.
constexpr AVPixelFormat kPictureFormat = AV_PIX_FMT_RGB32;

} // namespace

PlainDecoder::PlainDecoder(const EncodedClip& clip, int outWidth, int outHeight)
    : m_outWidth(outWidth)
    , m_outHeight(outHeight)
{
    for (const QByteArray& f : clip.frames) {
        std::vector<uint8_t> b(size_t(f.size()) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        if (!f.isEmpty())
            std::memcpy(b.data(), f.constData(), size_t(f.size()));
        m_frames.push_back(std::move(b));
        m_sizes.push_back(f.size());
    }
    if (outWidth <= 0 || outHeight <= 0)
        return;
    const AVCodec* codec = avcodec_find_decoder(clip.params.h265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    if (!codec)
        return;
    m_ctx = avcodec_alloc_context3(codec);
    if (!m_ctx)
        return;
    m_ctx->thread_count = 1;
    m_ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(m_ctx, codec, nullptr) < 0) {
        avcodec_free_context(&m_ctx);
        return;
    }
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_packet || !m_frame || av_image_alloc(m_dst, m_dstStride, outWidth, outHeight, kPictureFormat, 1) < 0)
        m_dst[0] = nullptr;
}

PlainDecoder::~PlainDecoder()
{
    sws_freeContext(m_scaler);
    av_freep(&m_dst[0]);
    av_frame_free(&m_frame);
    if (m_packet) {
        // The data belongs to m_frames, not to the packet.
        m_packet->data = nullptr;
        m_packet->size = 0;
    }
    av_packet_free(&m_packet);
    avcodec_free_context(&m_ctx);
}

bool PlainDecoder::decode(int index)
{
    if (!isOpen() || index < 0 || index >= frameCount())
        return false;
    m_packet->data = m_frames[size_t(index)].data();
    m_packet->size = m_sizes[size_t(index)];
    avcodec_send_packet(m_ctx, m_packet);
    if (avcodec_receive_frame(m_ctx, m_frame) != 0)
        return false;
    if (!m_scaler)
        m_scaler = sws_getContext(m_frame->width, m_frame->height, AVPixelFormat(m_frame->format), m_outWidth,
            m_outHeight, kPictureFormat, SWS_BILINEAR, nullptr, nullptr, nullptr);
    const bool scaled = m_scaler
        && sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, m_frame->height, m_dst, m_dstStride) == m_outHeight;
    av_frame_unref(m_frame);
    return scaled;
}
