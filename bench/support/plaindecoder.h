#pragma once

#include "sim/media/encodedclip.h"

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// The baseline the video benchmarks measure the client against: plain FFmpeg
// decoding of a clip with the client's decoder settings (one thread, low
// delay), each picture scaled with one bilinear scaler into one destination
// buffer of the output size, in the client's picture format. Frames are
// padded copies of the clip's, made up front so that decode() does only what
// is measured.
class PlainDecoder
{
public:
    PlainDecoder(const EncodedClip& clip, int outWidth, int outHeight);
    ~PlainDecoder();
    PlainDecoder(const PlainDecoder&) = delete;
    PlainDecoder& operator=(const PlainDecoder&) = delete;

    // Whether the decoder opened and the destination buffer was allocated;
    // decode() does nothing otherwise.
    bool isOpen() const { return m_ctx != nullptr && m_dst[0] != nullptr; }
    int frameCount() const { return int(m_frames.size()); }

    // Sends clip frame `index` to the decoder; true when a picture came out
    // and was scaled into the destination buffer.
    bool decode(int index);

    // The destination buffer: outHeight rows of stride() bytes, 4 bytes a pixel.
    const uint8_t* picture() const { return m_dst[0]; }
    int stride() const { return m_dstStride[0]; }
    int width() const { return m_outWidth; }
    int height() const { return m_outHeight; }

private:
    int m_outWidth;
    int m_outHeight;
    AVCodecContext* m_ctx = nullptr;
    AVPacket* m_packet = nullptr;
    AVFrame* m_frame = nullptr;
    SwsContext* m_scaler = nullptr;
    uint8_t* m_dst[4] = {};
    int m_dstStride[4] = {};
    std::vector<std::vector<uint8_t>> m_frames; // padded copies
    std::vector<int> m_sizes;                   // their sizes without the padding
};
