#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What a clip is encoded from.
struct ClipParams
{
    bool h265 = false;
    int width = 1280;
    int height = 720;
    int fps = 20;
    int frames = 40;        // clip length; a key frame every fps frames
    QString label;          // drawn into the picture (the camera's name)
    bool gray = false;      // monochrome stream (decoder robustness tests)

    bool operator==(const ClipParams& o) const
    {
        return h265 == o.h265 && width == o.width && height == o.height && fps == o.fps && frames == o.frames
            && label == o.label && gray == o.gray;
    }
};

// One encoded clip: Annex-B access units in decoding order, which equals display
// order (no B-frames). Frame 0 and every fps-th frame is a key frame carrying
// its parameter sets, so the clip loops and can be joined at any key frame.
struct EncodedClip
{
    ClipParams params;
    QVector<QByteArray> frames;
    QVector<bool> keyFrames;

    bool isValid() const { return !frames.isEmpty(); }
    int size() const { return frames.size(); }
};
