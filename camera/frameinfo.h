#pragma once

#include <QImage>
#include <QMetaType>
#include <QtGlobal>

// What a decoded picture carries to the screen: the camera's time stamp of the
// frame, whether it comes from memory-card playback (false: live view), the
// device's steady clock when it sent the frame (microseconds, from the frame
// header; only comparable with this host's clock when the device runs on it)
// and this host's steady clock when the frame came off the channel
// (microseconds). The two clock readings serve latency measurements. While the
// picture is a zoomed part, overview is the whole picture, a fifth of the
// picture's width (the zoom's inset); null otherwise.
struct FrameInfo
{
    quint32 timestamp = 0;
    bool isPlayback = false;
    quint64 sendTimeUs = 0;
    qint64 receivedUs = 0;
    QImage overview;
};

Q_DECLARE_METATYPE(FrameInfo)
