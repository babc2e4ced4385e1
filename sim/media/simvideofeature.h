#pragma once

class Scenario;
class SimIoCtrlDispatcher;

// Installs the emulated cameras' video commands (0x1FF play and back to live,
// 0x320 quality, 0xF001 playback, 0x300/0x301 audio on/off) in a device
// dispatcher. Each logged-in session gets its own VideoStreamer on the first
// of these commands; it ends with the session.
class SimVideoFeature
{
public:
    static void install(SimIoCtrlDispatcher& dispatcher);
    // Encodes every camera's live clip in the background, one after the
    // other, so that even the first play of a camera finds it ready.
    static void prefetch(const Scenario& scenario);
};
