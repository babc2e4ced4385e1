#pragma once

// The waits and intervals of one camera tile. The defaults are the program's;
// a caller that must not wait through them (a test driving time) passes
// shorter ones when it makes the tile.
struct TileTimings
{
    int statusIntervalMs = 250;      // while playing, the speed and a stall are checked this often
    int bufferingAfterMs = 3000;     // no picture for longer: "Buffering..." and power checks
    int bufferingHideMs = 1000;      // pictures again: "Buffering..." goes after this
    int powerCheckIntervalMs = 3000; // a sleeping or silent camera's power is asked this often
    int barSlideMs = 300;            // the bottom bar slides in or out
    int motorRepeatMs = 300;         // a held pan/tilt button repeats its direction
};
