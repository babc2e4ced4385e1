#pragma once

// The waits and intervals of one camera's session. The defaults are the
// program's; a caller that must not wait through them (a test driving time,
// a benchmark) passes shorter ones when it makes the camera's client or
// controller.
struct CameraTimings
{
    int connectTimeoutSeconds = 30; // guard of a P2P connect
    int noFrameTimeoutMs = 30000;   // a playing channel without any frame fails with -20011
    int timelineRefreshMs = 40000;  // the memory card's recordings are fetched again
};
