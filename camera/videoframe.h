#pragma once

#include "camera/avframeheader.h"

#include <QByteArray>

// One received video frame: an owned copy of its bytes and the header that came
// with it. Decryption replaces the bytes by the decrypted payload.
struct VideoFrame
{
    QByteArray data;
    AvFrameHeader header;

    int length() const { return data.size(); }
};
