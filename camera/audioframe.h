#pragma once

#include "camera/avframeheader.h"

#include <QByteArray>

// One received audio frame: 8 bytes of nonce followed by the encrypted
// payload, and the header it arrived with. A value type: whoever holds a
// copy owns it.
struct AudioFrame
{
    QByteArray data;
    AvFrameHeader header;
};
