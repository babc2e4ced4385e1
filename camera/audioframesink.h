#pragma once

struct AudioFrame;

// Where the video receive thread hands the audio frames it meets on the AV
// channel. The audio player implements it; the receive thread only needs to know
// whether audio is running and how to pass a frame on.
class AudioFrameSink
{
public:
    virtual ~AudioFrameSink() = default;

    // True while the player plays; frames that arrive otherwise are dropped.
    virtual bool isRunning() const = 0;
    // Takes ownership of the frame. Called from the receive thread.
    virtual void addFrame(AudioFrame* frame) = 0;
};
