#include "camera/cliprecorder.h"

#include "camera/audiodecodethread.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <chrono>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/opt.h>
}

namespace {

constexpr int kMediaKeySize = 32;
constexpr AVRational kMicroseconds{1, 1000000};
// Audio that is off its place by more than a camera frame (40 ms) is padded
// with silence or cut.
constexpr qint64 kAudioSlack = ClipRecorder::kAudioRate / 25;

qint64 steadyUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString avError(int ret)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ret, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// The parameter sets (H.264 SPS/PPS, H.265 VPS/SPS/PPS) of an Annex-B access
// unit, each behind a four-byte start code; empty when there are none.
QByteArray parameterSets(const QByteArray& au, bool h265)
{
    QByteArray out;
    const int n = au.size();
    const auto* d = reinterpret_cast<const uchar*>(au.constData());
    int i = 0;
    auto nextStart = [&](int from) {
        for (int k = from; k + 2 < n; ++k)
            if (d[k] == 0 && d[k + 1] == 0 && d[k + 2] == 1)
                return k;
        return n;
    };
    i = nextStart(0);
    while (i < n) {
        const int begin = i + 3;
        int end = nextStart(begin);
        const int next = end;
        while (end > begin && d[end - 1] == 0) // the zero of a four-byte start code
            --end;
        if (begin < end) {
            const int type = h265 ? (d[begin] >> 1) & 0x3f : d[begin] & 0x1f;
            const bool param = h265 ? (type >= 32 && type <= 34) : (type == 7 || type == 8);
            if (param)
                out.append(QByteArray("\0\0\0\1", 4)).append(au.mid(begin, end - begin));
        }
        i = next;
    }
    return out;
}

// The picture size of a key frame, from a decoder of its own.
bool pictureSize(const QByteArray& au, bool h265, int* width, int* height)
{
    const AVCodec* codec = avcodec_find_decoder(h265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264);
    AVCodecContext* ctx = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    auto release = qScopeGuard([&] {
        av_frame_free(&frame);
        av_packet_free(&pkt);
        avcodec_free_context(&ctx);
    });
    if (!ctx || !pkt || !frame || avcodec_open2(ctx, codec, nullptr) < 0)
        return false;
    if (av_new_packet(pkt, au.size()) < 0)
        return false;
    std::memcpy(pkt->data, au.constData(), size_t(au.size()));
    if (avcodec_send_packet(ctx, pkt) < 0)
        return false;
    avcodec_send_packet(ctx, nullptr);
    if (avcodec_receive_frame(ctx, frame) < 0 || frame->width <= 0 || frame->height <= 0)
        return false;
    *width = frame->width;
    *height = frame->height;
    return true;
}

} // namespace

ClipRecorder::ClipRecorder(const Config& config)
    : m_config(config), m_wantAudio(config.withAudio)
{
}

ClipRecorder::~ClipRecorder()
{
    finish();
}

QString ClipRecorder::error() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

QStringList ClipRecorder::files() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_files;
}

bool ClipRecorder::start()
{
    if (m_thread.joinable() || m_fmt)
        return false;
    if (!openFile(m_config.path))
        return false;
    m_thread = std::thread([this] { run(); });
    return true;
}

bool ClipRecorder::openFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    int ret = avformat_alloc_output_context2(&m_fmt, nullptr, "mp4", name.constData());
    if (ret >= 0)
        ret = avio_open(&m_fmt->pb, name.constData(), AVIO_FLAG_WRITE);
    if (ret < 0) {
        const QString text = QStringLiteral("cannot write %1: %2").arg(QFileInfo(path).fileName(), avError(ret));
        qWarning("recording: %s", qPrintable(text));
        avformat_free_context(m_fmt);
        m_fmt = nullptr;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_error = text;
        return false;
    }
    // Every fragment reaches the file as soon as it is complete.
    m_fmt->flush_packets = 1;
    m_headerWritten = false;
    m_goodBytes = 0;
    m_params.clear();
    m_firstStampUs = m_lastPtsUs = m_lastPts = -1;
    m_audioStarted = false;
    m_audioNext = 0;
    m_pcm.clear();
    qInfo("recording to %s", qPrintable(QFileInfo(path).fileName()));
    std::lock_guard<std::mutex> lock(m_mutex);
    m_files << path;
    return true;
}

void ClipRecorder::enqueue(Item&& item)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_finishing)
            return;
        const bool key = !item.audio && item.header.flags() != 0;
        if (!item.audio && m_skipToKey && !key)
            return;
        if (m_queue.size() >= size_t(kQueueLimit) || m_queuedBytes + item.data.size() > kQueueBytesLimit) {
            if (!item.audio && !m_skipToKey) {
                qWarning("recording: the writer falls behind, video dropped up to the next key frame");
                m_skipToKey = true;
            }
            return;
        }
        if (key)
            m_skipToKey = false;
        m_queuedBytes += item.data.size();
        m_queue.push_back(std::move(item));
    }
    m_wake.notify_one();
}

void ClipRecorder::pushVideo(const VideoFrame& decrypted, qint64 arrivalUs)
{
    enqueue(Item{false, decrypted.data, decrypted.header, arrivalUs});
}

void ClipRecorder::videoGap()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_skipToKey = true;
}

void ClipRecorder::pushAudio(const AudioFrame& encrypted, qint64 arrivalUs)
{
    if (m_wantAudio.load())
        enqueue(Item{true, encrypted.data, encrypted.header, arrivalUs});
}

QString ClipRecorder::finish()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
    else
        closeFile(); // never started: only the opened file, if any
    return error();
}

void ClipRecorder::run()
{
    for (;;) {
        Item item;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_finishing || !m_queue.empty(); });
            if (m_queue.empty())
                break;
            item = std::move(m_queue.front());
            m_queue.pop_front();
            m_queuedBytes -= item.data.size();
        }
        if (m_failed)
            continue;
        if (item.audio)
            writeAudio(item);
        else
            writeVideo(item);
        if (m_failed) {
            closeFile();
            const QString text = error();
            if (m_onFailure)
                m_onFailure(text);
        }
    }
    closeFile();
}

bool ClipRecorder::check(int ret, const char* what)
{
    if (ret >= 0 && !(m_fmt && m_fmt->pb && m_fmt->pb->error < 0))
        return true;
    if (ret >= 0)
        ret = m_fmt->pb->error;
    m_failed = true;
    const QString file = m_files.isEmpty() ? QString() : QFileInfo(m_files.last()).fileName();
    const QString text = QStringLiteral("recording stopped, cannot write %1: %2").arg(file, avError(ret));
    qWarning("recording: %s (%s)", qPrintable(text), what);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_error.isEmpty())
        m_error = text;
    return false;
}

bool ClipRecorder::beginStream(const Item& key, const QByteArray& params)
{
    int width = 0, height = 0;
    if (!pictureSize(key.data, m_config.h265, &width, &height)) {
        qWarning("recording: a key frame that does not decode is skipped");
        return false;
    }
    m_video = avformat_new_stream(m_fmt, nullptr);
    if (!m_video)
        return check(AVERROR(ENOMEM), "video stream");
    AVCodecParameters* par = m_video->codecpar;
    par->codec_type = AVMEDIA_TYPE_VIDEO;
    par->codec_id = m_config.h265 ? AV_CODEC_ID_HEVC : AV_CODEC_ID_H264;
    if (m_config.h265)
        par->codec_tag = MKTAG('h', 'v', 'c', '1');
    par->width = width;
    par->height = height;
    par->extradata = static_cast<uint8_t*>(av_mallocz(size_t(params.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!par->extradata)
        return check(AVERROR(ENOMEM), "video parameters");
    std::memcpy(par->extradata, params.constData(), size_t(params.size()));
    par->extradata_size = params.size();
    m_video->time_base = AVRational{1, 90000};

    m_audio = nullptr;
    if (m_wantAudio.load()) {
        const AVCodec* aac = avcodec_find_encoder_by_name("aac");
        m_aac = aac ? avcodec_alloc_context3(aac) : nullptr;
        if (!m_aac)
            return check(AVERROR_ENCODER_NOT_FOUND, "aac encoder");
        m_aac->sample_rate = kAudioRate;
        m_aac->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&m_aac->ch_layout, 1);
        m_aac->bit_rate = 32000;
        m_aac->time_base = AVRational{1, kAudioRate};
        m_aac->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        m_audio = avformat_new_stream(m_fmt, nullptr);
        if (!check(avcodec_open2(m_aac, aac, nullptr), "aac encoder") || !m_audio
            || !check(avcodec_parameters_from_context(m_audio->codecpar, m_aac), "audio parameters"))
            return check(AVERROR(ENOMEM), "audio stream");
        m_audio->time_base = m_aac->time_base;
    }

    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    const int ret = avformat_write_header(m_fmt, &options);
    av_dict_free(&options);
    if (!check(ret, "header"))
        return false;
    m_headerWritten = true;
    m_goodBytes = avio_tell(m_fmt->pb);
    m_params = params;
    m_deviceClock = key.header.sendTimeUs() != 0;
    return true;
}

void ClipRecorder::writeVideo(const Item& item)
{
    const bool key = item.header.flags() != 0;
    if (key) {
        const QByteArray params = parameterSets(item.data, m_config.h265);
        const bool soundCame = m_wantAudio.load() && !m_audio;
        if (m_headerWritten && ((!params.isEmpty() && params != m_params) || soundCame)) {
            // New picture parameters, or a sound track, cannot join this
            // file: the next one begins.
            closeFile();
            QString base = m_config.path;
            if (base.endsWith(QLatin1String(".mp4")))
                base.chop(4);
            if (!openFile(QStringLiteral("%1_%2.mp4").arg(base).arg(files().size() + 1))) {
                m_failed = true;
                return;
            }
        }
        if (!m_headerWritten && (params.isEmpty() || !beginStream(item, params)))
            return;
    }
    if (!m_headerWritten)
        return; // the file starts at a key frame

    const qint64 stamp = m_deviceClock ? qint64(item.header.sendTimeUs()) : item.arrivalUs;
    if (m_firstStampUs < 0) {
        m_firstStampUs = stamp;
        m_videoOffsetUs = item.arrivalUs - stamp;
    }
    m_videoOffsetUs = qMin(m_videoOffsetUs, item.arrivalUs - stamp);
    qint64 ptsUs = stamp - m_firstStampUs;
    if (ptsUs <= m_lastPtsUs)
        ptsUs = m_lastPtsUs + 1000; // a stamp that goes backwards: 1 ms after the last
    qint64 pts = av_rescale_q(ptsUs, kMicroseconds, m_video->time_base);
    if (pts <= m_lastPts)
        pts = m_lastPts + 1;
    m_lastPtsUs = ptsUs;
    m_lastPts = pts;

    AVPacket* pkt = av_packet_alloc();
    auto release = qScopeGuard([&] { av_packet_free(&pkt); });
    if (!pkt || av_new_packet(pkt, item.data.size()) < 0) {
        check(AVERROR(ENOMEM), "video packet");
        return;
    }
    std::memcpy(pkt->data, item.data.constData(), size_t(item.data.size()));
    pkt->stream_index = m_video->index;
    pkt->pts = pkt->dts = pts;
    if (key)
        pkt->flags |= AV_PKT_FLAG_KEY;
    if (!check(av_write_frame(m_fmt, pkt), "video"))
        return;
    ++m_videoWritten;
    m_goodBytes = avio_tell(m_fmt->pb);
}

void ClipRecorder::writeAudio(const Item& item)
{
    if (!m_audio || !m_headerWritten || m_lastPtsUs < 0)
        return; // audio joins once the video runs
    if (m_config.mediaKey.size() != kMediaKeySize)
        return;
    const QByteArray pcm = AudioDecodeThread::decodePayload(
        AudioDecodeThread::decryptFrame(item.data, m_config.mediaKey), item.header.codecId());
    const qint64 count = pcm.size() / 2;
    if (count == 0)
        return;
    const qint64 stampUs = qint64(item.header.timestamp()) * 1000;
    if (!m_audioStarted || item.arrivalUs - stampUs < m_audioOffsetUs)
        m_audioOffsetUs = item.arrivalUs - stampUs;
    auto place = [&] { // in samples of the file
        return av_rescale(stampUs + m_audioOffsetUs - m_videoOffsetUs - m_firstStampUs, kAudioRate, 1000000);
    };
    qint64 want = place();
    qint64 have = m_audioNext + qint64(m_pcm.size());
    if (m_audioStarted && qAbs(want - have) > kAudioRate) {
        m_audioOffsetUs = item.arrivalUs - stampUs; // the camera's audio clock jumped
        want = place();
    }
    if (!m_audioStarted) {
        // The encoder's first packet lies its priming delay before its
        // input: audio that would start before the file's start is cut.
        m_audioStarted = true;
        m_audioNext = have = qMax<qint64>(want, m_aac->initial_padding);
    }
    qint64 skip = 0;
    if (want - have > kAudioSlack)
        m_pcm.insert(m_pcm.end(), size_t(want - have), 0.0f); // a gap: silence
    else if (have - want > kAudioSlack)
        skip = qMin(count, have - want); // late: what overlaps goes
    const auto* s = reinterpret_cast<const uchar*>(pcm.constData());
    for (qint64 i = skip; i < count; ++i)
        m_pcm.push_back(float(qint16(s[2 * i] | (s[2 * i + 1] << 8))) / 32768.0f);
    encodeAudio(false);
}

bool ClipRecorder::encodeAudio(bool flush)
{
    AVFrame* frame = av_frame_alloc();
    AVPacket* pkt = av_packet_alloc();
    auto release = qScopeGuard([&] {
        av_frame_free(&frame);
        av_packet_free(&pkt);
    });
    if (!frame || !pkt)
        return check(AVERROR(ENOMEM), "audio frame");
    const size_t frameSize = size_t(m_aac->frame_size > 0 ? m_aac->frame_size : 1024);
    auto drain = [&] {
        int ret;
        while ((ret = avcodec_receive_packet(m_aac, pkt)) == 0) {
            av_packet_rescale_ts(pkt, m_aac->time_base, m_audio->time_base);
            pkt->stream_index = m_audio->index;
            if (!check(av_write_frame(m_fmt, pkt), "audio"))
                return false;
            ++m_audioWritten;
            m_goodBytes = avio_tell(m_fmt->pb);
        }
        return ret == AVERROR(EAGAIN) || ret == AVERROR_EOF || check(ret, "aac encoder");
    };
    while (m_pcm.size() >= frameSize || (flush && !m_pcm.empty())) {
        const size_t n = qMin(frameSize, m_pcm.size());
        frame->nb_samples = int(n);
        frame->format = m_aac->sample_fmt;
        frame->sample_rate = kAudioRate;
        av_channel_layout_copy(&frame->ch_layout, &m_aac->ch_layout);
        if (!check(av_frame_get_buffer(frame, 0), "audio frame"))
            return false;
        std::memcpy(frame->data[0], m_pcm.data(), n * sizeof(float));
        m_pcm.erase(m_pcm.begin(), m_pcm.begin() + qint64(n));
        frame->pts = m_audioNext;
        m_audioNext += qint64(n);
        const int ret = avcodec_send_frame(m_aac, frame);
        av_frame_unref(frame);
        if (!check(ret, "aac encoder") || !drain())
            return false;
    }
    if (flush && check(avcodec_send_frame(m_aac, nullptr), "aac encoder"))
        return drain();
    return true;
}

void ClipRecorder::closeFile()
{
    if (!m_fmt)
        return;
    if (m_headerWritten && !m_failed) {
        if (m_aac && m_audioStarted)
            encodeAudio(true);
        if (!m_failed)
            check(av_write_trailer(m_fmt), "trailer");
    }
    avio_closep(&m_fmt->pb);
    if (m_failed && !m_files.isEmpty()) {
        // What a failed write left of a fragment goes: the file ends with
        // its last whole one.
        QFile file(m_files.last());
        if (file.size() > m_goodBytes && !file.resize(m_goodBytes))
            qWarning("recording: cannot cut %s back to its last fragment", qPrintable(file.fileName()));
    }
    avformat_free_context(m_fmt);
    m_fmt = nullptr;
    m_video = m_audio = nullptr;
    avcodec_free_context(&m_aac);
    m_headerWritten = false;
}

void RecordTap::attach(std::shared_ptr<ClipRecorder> recorder)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_recorder = std::move(recorder);
}

std::shared_ptr<ClipRecorder> RecordTap::detach()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::move(m_recorder);
}

bool RecordTap::attached() const
{
    return current() != nullptr;
}

std::shared_ptr<ClipRecorder> RecordTap::current() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recorder;
}

void RecordTap::video(const VideoFrame& decrypted)
{
    if (const auto r = current())
        r->pushVideo(decrypted, steadyUs());
}

void RecordTap::videoGap()
{
    if (const auto r = current())
        r->videoGap();
}

void RecordTap::audio(const AudioFrame& encrypted)
{
    if (const auto r = current())
        r->pushAudio(encrypted, steadyUs());
}
