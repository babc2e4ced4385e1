#pragma once

#include <QMetaType>
#include <QVector>
#include <QtEndian>

// One recording stretch of the camera's memory card, exactly as the camera
// sends it on the timeline channel: 8 bytes, integers little-endian.
//   0  u32  startTime  seconds since 1970-01-01 UTC (0: no recording, skipped)
//   4  u8   duration   length in seconds
//   5  u8   motioned   1: recorded because of motion
//   6  u8   saved      1: a saved recording
//   7  u8   (not read)
struct RecordFileHeader
{
    static constexpr int WireSize = 8;

    quint32 startTime = 0;
    quint8 duration = 0;
    quint8 motioned = 0;
    quint8 saved = 0;
    quint8 reserved = 0;

    // Decodes one record from WireSize bytes.
    static RecordFileHeader fromBytes(const uchar* p)
    {
        RecordFileHeader h;
        h.startTime = qFromLittleEndian<quint32>(p);
        h.duration = p[4];
        h.motioned = p[5];
        h.saved = p[6];
        h.reserved = p[7];
        return h;
    }

    // Encodes the record into WireSize bytes (the emulator and tests use it).
    void toBytes(uchar* p) const
    {
        qToLittleEndian<quint32>(startTime, p);
        p[4] = duration;
        p[5] = motioned;
        p[6] = saved;
        p[7] = reserved;
    }

    // Field-wise equality; byte 7 carries nothing and is not compared.
    bool operator==(const RecordFileHeader& o) const
    {
        return startTime == o.startTime && duration == o.duration && motioned == o.motioned
            && saved == o.saved;
    }
    bool operator!=(const RecordFileHeader& o) const { return !(*this == o); }
};

static_assert(sizeof(RecordFileHeader) == RecordFileHeader::WireSize,
              "RecordFileHeader must match the 8-byte wire record");

Q_DECLARE_METATYPE(RecordFileHeader)
