#pragma once

#include "sim/scenario/scenario.h"

#include <QByteArray>
#include <QList>

// The memory card's answer to a timeline request (the u32 6): a 12-byte
// header whose second word is the length of the record area, then one
// 8-byte record per stretch (start u32, length u8, motion, saved, 0).
// Recordings longer than 255 s become touching stretches of at most 255 s.
// Like the real card, the area ends with one extra record that the
// client's timeline does not draw.
class SimTimeline
{
public:
    static constexpr quint32 Request = 6;

    static QByteArray reply(const QList<SimRecording>& recordings);
    static int recordCount(const QList<SimRecording>& recordings); // without the trailing one
};
