#include "sim/media/clipencoder.h"

#include "sim/media/testpicture.h"

#include <QScopeGuard>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
}

namespace {

QString avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromLatin1(text);
}

} // namespace

EncodedClip ClipEncoder::encode(const ClipParams& p, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = why;
        return EncodedClip();
    };
    if (p.width < 16 || p.height < 16 || p.width % 2 || p.height % 2 || p.fps <= 0 || p.frames <= 0)
        return fail(QStringLiteral("bad clip parameters %1x%2 @%3 x%4").arg(p.width).arg(p.height).arg(p.fps).arg(
            p.frames));

    const char* name = p.h265 ? "libx265" : "libx264";
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec)
        return fail(QStringLiteral("encoder %1 not found").arg(QLatin1String(name)));
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    auto cleanup = qScopeGuard([&] {
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&pkt);
    });
    if (!ctx || !frame || !pkt)
        return fail(QStringLiteral("out of memory"));

    ctx->width = p.width;
    ctx->height = p.height;
    ctx->pix_fmt = p.gray ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, p.fps};
    ctx->framerate = AVRational{p.fps, 1};
    ctx->gop_size = p.fps;
    ctx->keyint_min = p.fps;
    ctx->max_b_frames = 0;
    av_opt_set(ctx->priv_data, "preset", "veryfast", 0);
    av_opt_set(ctx->priv_data, "tune", "zerolatency", 0);
    av_opt_set_int(ctx->priv_data, "forced-idr", 1, 0);
    const QByteArray gop = QByteArray::number(p.fps);
    if (p.h265) {
        const QByteArray x265 = "log-level=error:keyint=" + gop + ":min-keyint=" + gop
            + ":scenecut=0:open-gop=0:bframes=0:repeat-headers=1";
        av_opt_set(ctx->priv_data, "x265-params", x265.constData(), 0);
    } else {
        const QByteArray x264 = "keyint=" + gop + ":min-keyint=" + gop + ":scenecut=0:bframes=0:repeat-headers=1";
        av_opt_set(ctx->priv_data, "x264-params", x264.constData(), 0);
        av_opt_set(ctx->priv_data, "crf", "26", 0);
    }
    int rc = avcodec_open2(ctx, codec, nullptr);
    if (rc < 0)
        return fail(QStringLiteral("cannot open %1: %2").arg(QLatin1String(name), avError(rc)));

    frame->format = ctx->pix_fmt;
    frame->width = p.width;
    frame->height = p.height;
    rc = av_frame_get_buffer(frame, 0);
    if (rc < 0)
        return fail(QStringLiteral("frame buffer: %1").arg(avError(rc)));

    EncodedClip clip;
    clip.params = p;
    auto collect = [&]() -> int {
        int r;
        while ((r = avcodec_receive_packet(ctx, pkt)) == 0) {
            clip.frames.append(QByteArray(reinterpret_cast<const char*>(pkt->data), pkt->size));
            clip.keyFrames.append((pkt->flags & AV_PKT_FLAG_KEY) != 0);
            av_packet_unref(pkt);
        }
        return (r == AVERROR(EAGAIN) || r == AVERROR_EOF) ? 0 : r;
    };
    for (int i = 0; i < p.frames; ++i) {
        rc = av_frame_make_writable(frame);
        if (rc < 0)
            return fail(QStringLiteral("frame not writable: %1").arg(avError(rc)));
        TestPicture::draw(frame, i, p.frames, p.fps, p.label);
        frame->pts = i;
        // Key frames exactly every fps frames, also where the encoder would not
        // place one by itself.
        frame->pict_type = (i % p.fps == 0) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        frame->key_frame = (i % p.fps == 0) ? 1 : 0;
        rc = avcodec_send_frame(ctx, frame);
        if (rc < 0 || (rc = collect()) < 0)
            return fail(QStringLiteral("encoding failed: %1").arg(avError(rc)));
    }
    rc = avcodec_send_frame(ctx, nullptr);
    if (rc < 0 || (rc = collect()) < 0)
        return fail(QStringLiteral("flushing failed: %1").arg(avError(rc)));
    if (clip.frames.size() != p.frames || !clip.keyFrames.value(0))
        return fail(QStringLiteral("encoder gave %1 frames for %2").arg(clip.frames.size()).arg(p.frames));
    return clip;
}
