#pragma once

#include <QMetaType>
#include <QVector>
#include <cstdint>

// One recording stretch of the camera's memory card, 8 bytes exactly as the
// camera sends them in the timeline reply (startTime little-endian).
struct RecordFileHeader
{
    uint32_t startTime = 0; // seconds since 1970-01-01 UTC; 0 is skipped by the timeline
    uint8_t duration = 0;   // seconds (0 to 255)
    uint8_t motioned = 0;   // 1: recorded because of motion
    uint8_t saved = 0;      // 1: a saved recording
    uint8_t reserved = 0;   // not read
};

static_assert(sizeof(RecordFileHeader) == 8, "RecordFileHeader is 8 bytes on the wire");

Q_DECLARE_METATYPE(RecordFileHeader)
