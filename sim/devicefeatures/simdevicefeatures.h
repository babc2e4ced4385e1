#pragma once

class QString;
class SimIoCtrlDispatcher;

// Installs the emulated cameras' memory card and motor commands in a device
// dispatcher:
//   0x200 {"channel":C}: open the RDT stream on channel C and answer each
//         timeline request (the u32 6) with the scenario camera's
//         "recordings" (SimTimeline). A camera without a card ("sdcard":
//         false) never opens the stream and records the request as a
//         violation (a client reads "sdcard_status" first); so does a
//         timeline request other than the 4 bytes of the u32 6.
//   0x201 {"channel":C}: close that stream.
//   0xF005 {"operation":D}: move the camera's pan/tilt head one step and
//         answer 0xF006 {"ret","angle"} (ret -1 at an end stop).
// Fault knobs of a camera (scenario "faults"): "timeline_silent": true reads
// the timeline requests but never answers, and holds the stream until the
// client destroys it (a hanging card); "rdt_refuse": true refuses every
// stream the client opens (its RDT_Create fails at once); "timeline_cut":
// true sends the reply header and half of the records, then closes the
// stream (a card that fails mid-reply); "motor_silent": true never answers
// motor commands.
class SimDeviceFeatures
{
public:
    static constexpr unsigned int IoRdtStart = 0x200;
    static constexpr unsigned int IoRdtStop = 0x201;
    static constexpr unsigned int IoMotor = 0xF005;
    static constexpr unsigned int IoMotorReply = 0xF006;

    static void install(SimIoCtrlDispatcher& dispatcher);

    // How many RDT start requests (0x200) a camera has received since the
    // process started, refused ones included.
    static int rdtStartRequests(const QString& did);
};
