#pragma once

#include "camera/avframeheader.h"

#include <QByteArray>

// One received audio frame: its bytes and the header that came with it. Handed
// to the audio player, which owns it from then on.
struct AudioFrame
{
    QByteArray data;
    AvFrameHeader header;
};
