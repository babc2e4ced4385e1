#pragma once

#include <QString>

struct AVFrame;

// Draws the emulated cameras' test picture straight into a YUV 4:2:0 frame: a
// moving background, a box that bounces across the picture, an analog clock
// whose hand turns once per clip, the clip time as digits, and the camera's
// name. The motion is periodic over the clip so that it loops seamlessly.
class TestPicture
{
public:
    // index: frame number in the clip; count: frames in the clip.
    static void draw(AVFrame* frame, int index, int count, int fps, const QString& label);

    // Draws text with the built-in 5 x 7 font (letters, digits, ": . - /");
    // scale is the size of one font dot in pixels.
    static void drawText(AVFrame* frame, int x, int y, int scale, const QString& text, int luma);
};
