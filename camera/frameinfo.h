#pragma once

#include <QMetaType>
#include <QtGlobal>

// What a decoded picture carries to the screen: the camera's time stamp of the
// frame and whether it comes from memory-card playback (false: live view).
struct FrameInfo
{
    quint32 timestamp = 0;
    bool isPlayback = false;
};

Q_DECLARE_METATYPE(FrameInfo)
