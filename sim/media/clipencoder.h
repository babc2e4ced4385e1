#pragma once

#include "sim/media/encodedclip.h"

#include <QString>

// Encodes a test clip with libx264 (H.264) or libx265 (H.265): no B-frames, a
// key frame with in-band parameter sets every fps frames, no scene-cut key
// frames, closed GOPs.
class ClipEncoder
{
public:
    // An invalid clip on failure, with the reason in error.
    static EncodedClip encode(const ClipParams& params, QString* error = nullptr);
};
