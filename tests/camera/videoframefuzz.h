#pragma once
// One fuzz input through the client's frame path: the first byte picks the
// codec (bit 0) and the output size (bits 1-2); the rest is an encrypted frame
// in the wire format, decrypted with a fixed key and decoded. The decoders
// are kept across inputs like a real stream's.
#include "camera/videobuffer.h"

#include <memory>

inline void fuzzVideoFrame(const uint8_t* data, size_t size)
{
    static std::unique_ptr<VideoBuffer> buffers[2];
    if (size < 1)
        return;
    const int codec = data[0] & 1;
    if (!buffers[codec])
        buffers[codec] = std::make_unique<VideoBuffer>(codec == 1, QByteArray("fuzz-media-key-0123456789abcdef!", 32));
    VideoBuffer& vb = *buffers[codec];
    static const int sizes[4][2] = {{320, 180}, {1000, 1000}, {64, 36}, {1920, 1080}};
    vb.setDstSize(sizes[(data[0] >> 1) & 3][0], sizes[(data[0] >> 1) & 3][1]);
    VideoFrame frame;
    frame.data = QByteArray(reinterpret_cast<const char*>(data + 1), int(size - 1));
    if (!vb.decryptFrame(frame))
        return;
    const QImage picture = vb.decodeFrame(frame);
    if (!picture.isNull()) {
        // Touch the picture's last row: a short or mis-sized image would fault.
        volatile uchar sink = picture.constScanLine(picture.height() - 1)[picture.width() * 4 - 1];
        (void)sink;
        FrameInfo info;
        vb.pushFrame(picture, info);
        vb.popFrame(info);
    }
}
