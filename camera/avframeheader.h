#pragma once

#include <QtGlobal>
#include <cstring>

// The 24-byte header the AV channel hands out beside each media frame
// (little-endian). Only a few fields are read; the rest is carried along.
struct AvFrameHeader
{
    static constexpr int Size = 24;
    static constexpr quint16 CodecPcm = 136;
    static constexpr quint16 CodecG711A = 138;

    unsigned char bytes[Size] = {};

    static AvFrameHeader fromBytes(const void* data, int len)
    {
        AvFrameHeader h;
        if (data && len > 0)
            std::memcpy(h.bytes, data, size_t(len < Size ? len : Size));
        return h;
    }

    quint16 codecId() const { return quint16(bytes[0] | (bytes[1] << 8)); }
    void setCodecId(quint16 id)
    {
        bytes[0] = uchar(id & 0xff);
        bytes[1] = uchar(id >> 8);
    }
    quint8 flags() const { return bytes[2]; }
    bool isPlayback() const { return (bytes[16] & 1) != 0; }
    quint32 timestamp() const
    {
        return quint32(bytes[20]) | (quint32(bytes[21]) << 8) | (quint32(bytes[22]) << 16)
            | (quint32(bytes[23]) << 24);
    }
    // Bytes 4-11: the device's steady clock in microseconds at sending.
    quint64 sendTimeUs() const
    {
        quint64 v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | bytes[4 + i];
        return v;
    }
    bool isAudio() const { return codecId() == CodecPcm || codecId() == CodecG711A; }
};
