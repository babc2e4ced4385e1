#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// Start and stop of the P2P library, once per process, and the three helpers
// through which the camera session makes its most common calls.
class LibP2p
{
public:
    // Sets the receive buffer limit and starts the IOTC, AV and RDT layers.
    // Returns the failing step's code, or RDT_Initialize's (> 0) result.
    static int initialize();
    // Stops RDT, AV and IOTC in that order; returns IOTC_DeInitialize's result.
    static int deInitialize();
    // Where the P2P directory service listens ("host:port"); empty falls
    // back to the VC_P2P_DIRECTORY environment variable. Returns the
    // library's result (0, or negative for a malformed address).
    static int setDirectory(const QString& hostPort);
};

// Connects a claimed session id to the device with this UID, stopped by a
// guard thread after timeoutSeconds. The library's "stopped" (-27) is
// returned as -13; every other result unchanged (0 or more on success).
int connectByUid(const QString& uid, int sessionId, int timeoutSeconds);

// Waits up to timeoutMs for a video frame on the channel: the library wakes
// the caller as a frame arrives when it can (avWaitVideoFrame); with a library
// that cannot, this is a plain sleep. Returns at once when the channel is gone.
void waitVideoFrame(int avIndex, int timeoutMs);
// Whether waitVideoFrame ends at a frame's arrival (or it only sleeps).
bool canWakeOnVideoFrame();

// Sends one IO-control message; a negative result is logged.
int sendIoCtrl(int avIndex, unsigned int type, const QByteArray& payload);

// Receives one IO-control message into a 2048-byte buffer and parses it as a
// JSON object into `json` (left as it was when the text is empty, not JSON or
// not an object). Returns the library's result; `type` as the library set it.
int recvIoCtrlJson(int avIndex, unsigned int& type, QJsonObject& json, unsigned int timeoutMs);

// The JSON object of an IO-control message in buf (size bytes): the text up
// to the first NUL byte or the end of the buffer. True with json set when it
// is a JSON object; json untouched otherwise.
bool parseIoCtrlJson(const char* buf, int size, QJsonObject& json);
