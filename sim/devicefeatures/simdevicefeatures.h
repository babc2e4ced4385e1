#pragma once

class SimIoCtrlDispatcher;

// Installs the emulated cameras' memory card and motor commands in a device
// dispatcher:
//   0x200 {"channel":C}: open the RDT stream on channel C and answer each
//         timeline request (the u32 6) with the scenario camera's
//         "recordings" (SimTimeline). A camera without a card ("sdcard":
//         false) refuses: it never opens the stream.
//   0x201 {"channel":C}: close that stream.
//   0xF005 {"operation":D}: move the camera's pan/tilt head one step and
//         answer 0xF006 {"ret","angle"} (ret -1 at an end stop).
// Fault knobs of a camera (scenario "faults"): "timeline_silent": true reads
// the timeline requests but never answers, and holds the stream until the
// client destroys it (a hanging card); "motor_silent": true never answers
// motor commands.
class SimDeviceFeatures
{
public:
    static constexpr unsigned int IoRdtStart = 0x200;
    static constexpr unsigned int IoRdtStop = 0x201;
    static constexpr unsigned int IoMotor = 0xF005;
    static constexpr unsigned int IoMotorReply = 0xF006;

    static void install(SimIoCtrlDispatcher& dispatcher);
};
