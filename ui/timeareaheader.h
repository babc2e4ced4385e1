#pragma once

#include <QMetaType>

// One drawn stretch of the playback timeline: touching recordings of one
// colour class merged together.
struct TimeAreaHeader
{
    int start = 0;       // seconds since 1970
    int length = 0;      // seconds
    uchar colorClass = 0; // 0 plain, 1 motion, 2 saved

    int end() const { return start + length; }
    bool operator==(const TimeAreaHeader& o) const
    {
        return start == o.start && length == o.length && colorClass == o.colorClass;
    }
};

Q_DECLARE_METATYPE(TimeAreaHeader)
