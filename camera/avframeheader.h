#pragma once

#include <QtGlobal>
#include <cstring>

// The 24-byte little-endian header that the AV channel delivers beside every
// media frame. Only the fields below are interpreted; the other bytes belong to
// the camera and are carried along unchanged.
//
//   offset 0  u16  codec id (136 and 138 are audio, anything else is video)
//   offset 2  u8   flags (non-zero: key frame)
//   offset 16 u8   bit 0: 1 = memory-card playback, 0 = live
//   offset 20 u32  time stamp
struct AvFrameHeader
{
    static constexpr int kSize = 24;
    static constexpr quint16 kCodecPcm = 136;
    static constexpr quint16 kCodecG711A = 138;

    unsigned char raw[kSize] = {};

    AvFrameHeader() = default;
    explicit AvFrameHeader(const void* bytes) { std::memcpy(raw, bytes, kSize); }

    quint16 codecId() const { return quint16(raw[0] | (raw[1] << 8)); }
    bool isAudio() const { return codecId() == kCodecPcm || codecId() == kCodecG711A; }
    bool isKeyFrame() const { return raw[2] != 0; }
    bool isPlayback() const { return (raw[16] & 0x01) != 0; }
    quint32 timestamp() const
    {
        return quint32(raw[20]) | (quint32(raw[21]) << 8) | (quint32(raw[22]) << 16) | (quint32(raw[23]) << 24);
    }
};
