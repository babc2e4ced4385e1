/*
 * Device side of the P2P library, and the directory service.
 *
 * Directory service: maps a UID to the address where its device listens.
 * P2PDir_Start runs one in the calling process on a TCP port; clients find
 * it through IOTC_Set_Directory or VC_P2P_DIRECTORY (iotcapi.h), devices
 * through the same setting or the explicit address given to P2PD_Register.
 * A registration lasts as long as the device's connection to the directory.
 *
 * Device: P2PD_Register listens on a loopback port (P2PD_Register2: on a
 * given address) and registers the UID.
 * Each client connect becomes a device-side session id (P2PD_Accept), in the
 * same id space as client sessions, so IOTC_Session_Check,
 * IOTC_Session_Close and the RDT_* functions work on it. P2PD_AvServStart
 * waits for the client's avClientStart2 on a channel, shows its view account
 * and password to a callback that accepts or refuses them, and returns the
 * device's AV index. On that index avSendIOCtrl / avRecvIOCtrl work as on the
 * client, and P2PD_SendFrameData / P2PD_SendAudioData send media frames.
 *
 * Typical device loop:
 *     dev = P2PD_Register(uid, NULL, 0);
 *     for (;;) { sid = P2PD_Accept(dev, 1000); ... hand sid to a thread ... }
 *   session thread:
 *     av = P2PD_AvServStart(sid, 0, 30000, checkLogin, ctx);
 *     while ((n = avRecvIOCtrl(av, &type, buf, sizeof buf, 1000)) != ...) ...
 *     P2PD_AvServStop(av); IOTC_Session_Close(sid);
 *
 * Device functions need no IOTC_Initialize2/avInitialize/RDT_Initialize: a
 * process may run devices without the client side. IOTC_DeInitialize leaves
 * device sessions alone.
 *
 * Thread safety: as for the client functions; every function may be called
 * from any thread.
 */
#ifndef VC_P2P_P2PDEVICE_H
#define VC_P2P_P2PDEVICE_H

#include "p2p/avapi.h"
#include "p2p/iotcapi.h"
#include "p2p/rdtapi.h"

#ifdef __cplusplus
extern "C" {
#endif

#define P2PD_ER_INVALID_DEVICE   (-30000) /* unknown or unregistered device handle */
#define P2PD_ER_UID_TAKEN        (-30001) /* another live device holds the UID */
#define P2PD_ER_LISTEN_FAILED    (-30002) /* could not open the listening socket */

/* ---- directory service ---------------------------------------------- */

/* Starts a directory service listening on 127.0.0.1:port (0: an ephemeral
 * port). Returns a handle (0 or more) or P2PD_ER_LISTEN_FAILED. */
int P2PDir_Start(unsigned short port);
/* As P2PDir_Start, listening on `address` (an IPv4 literal; NULL or "":
 * 127.0.0.1, "0.0.0.0": every interface), so that devices and clients of
 * the LAN can reach it. */
int P2PDir_Start2(const char *address, unsigned short port);
/* The port a running directory listens on, or P2PD_ER_INVALID_DEVICE. */
int P2PDir_Port(int dirHandle);
/* Stops it: the listening socket and every device connection are closed, so
 * every registration ends. Returns 0 or P2PD_ER_INVALID_DEVICE. */
int P2PDir_Stop(int dirHandle);

/* ---- device --------------------------------------------------------- */

/* Fault injection switches (P2PD_SetFaults), a bit set. */
#define P2PD_FAULT_REFUSE   0x01u /* new connects are refused: IOTC_ER_SESSION_REFUSED */
#define P2PD_FAULT_STALL    0x02u /* new connects are never answered (the client blocks) */
#define P2PD_FAULT_MUTE     0x04u /* everything this device sends is silently discarded */
#define P2PD_FAULT_STALL_AV 0x08u /* avClientStart2 logins are never answered */
#define P2PD_FAULT_SILENT   0x10u /* a hung device: sessions read nothing and send nothing (no
                                   * keepalive either) and are not closed: clients lose them
                                   * after the silence limit */

/* Opens a listening socket on 127.0.0.1 (port 0: ephemeral) and registers
 * uid (1..IOTC_UID_MAX_LEN printable characters) with the directory at
 * `directory` ("host:port"; NULL or "": the configured address, iotcapi.h).
 * Returns a device handle (0 or more), or IOTC_ER_INVALID_ARG,
 * IOTC_ER_DIRECTORY_UNREACHABLE, P2PD_ER_UID_TAKEN, P2PD_ER_LISTEN_FAILED. */
int P2PD_Register(const char *uid, const char *directory, unsigned short port);

/* As P2PD_Register, listening on bindAddress (an IPv4 literal; NULL or "":
 * 127.0.0.1, "0.0.0.0": every interface) and registering from it: the
 * directory hands clients the address the registration came from, so a
 * device bound to a LAN address is reached there. */
int P2PD_Register2(const char *uid, const char *directory, const char *bindAddress, unsigned short port);

/* Unregisters the UID, closes the listening socket and every session of the
 * device (clients see "closed by remote"); a blocked P2PD_Accept returns
 * P2PD_ER_INVALID_DEVICE. Session ids already handed out by P2PD_Accept stay
 * claimed (their calls fail) until their owner calls IOTC_Session_Close, so
 * an id is never reused under a thread that still holds it.
 * Returns 0 or P2PD_ER_INVALID_DEVICE. */
int P2PD_Unregister(int device);

/* The listening port of a device, or P2PD_ER_INVALID_DEVICE. */
int P2PD_Port(int device);

/* Sets the fault switches (P2PD_FAULT_*) of a device; 0 clears them. They
 * apply to connects and sends from now on. Returns 0 or P2PD_ER_INVALID_DEVICE. */
int P2PD_SetFaults(int device, unsigned int faults);

/* Waits up to timeoutMs milliseconds for the next client session and returns
 * its session id (0 or more). Errors: IOTC_ER_TIMEOUT, P2PD_ER_INVALID_DEVICE
 * (also when the device is unregistered while waiting). */
int P2PD_Accept(int device, unsigned int timeoutMs);

/* Decides a client's login. account and password are the NUL-terminated texts
 * the client passed to avClientStart2. Return 0 to accept (then set *resend,
 * preset to 1, and *serviceType, preset to 0, as the client should see them)
 * or a negative code to refuse; the client's avClientStart2 returns that code
 * (AV_ER_WRONG_VIEWACC_PWD is the usual one). Runs on the thread that called
 * P2PD_AvServStart. */
typedef int (*P2PD_LoginCallback)(void *user, int sessionId, const char *account,
                                  const char *password, int *resend,
                                  unsigned int *serviceType);

/* Waits up to timeoutMs milliseconds for the client's login on `channel` of
 * the device session, asks the callback (NULL: accept everyone with resend)
 * and answers the client. Returns the device's AV index (0 or more), or the
 * callback's refusal code (the client was refused; the channel stays
 * available for a new login), AV_ER_TIMEOUT, AV_ER_SESSION_CLOSE_BY_REMOTE,
 * AV_ER_REMOTE_TIMEOUT_DISCONNECT, IOTC_ER_INVALID_SID, AV_ER_INVALID_ARG. */
int P2PD_AvServStart(int sessionId, unsigned char channel, unsigned int timeoutMs,
                     P2PD_LoginCallback callback, void *user);

/* Closes the device side of an AV channel; the client sees
 * AV_ER_SESSION_CLOSE_BY_REMOTE after what it already received. Returns 0 or
 * AV_ER_INVALID_ARG. */
int P2PD_AvServStop(int avIndex);

/* Sends one video frame: size bytes (1..AV_MAX_FRAME_SIZE) and a header of
 * headerSize bytes (at most AV_FRAME_HEADER_SIZE; a shorter header is padded
 * with zeros). Frames are numbered from 0 per channel, audio and video
 * separately. Returns 0 or a negative code as avSendIOCtrl. */
int P2PD_SendFrameData(int avIndex, const char *data, int size, const char *header,
                       int headerSize);

/* Sends one audio frame; as P2PD_SendFrameData. */
int P2PD_SendAudioData(int avIndex, const char *data, int size, const char *header,
                       int headerSize);

/* Drops the session's connection without a close message, as a device that
 * lost power: the client's calls report AV_ER_REMOTE_TIMEOUT_DISCONNECT /
 * RDT_ER_SESSION_CLOSED, and the session id is released on this side.
 * Returns 0 or IOTC_ER_INVALID_SID. */
int P2PD_Session_Drop(int sessionId);

/* Refuses the RDT stream on `channel` (1..31) of a device session: waits up
 * to timeoutMs milliseconds for the client to open it (RDT_Create), then
 * answers with a close without opening, so the client's RDT_Create returns
 * RDT_ER_REMOTE_EXIT at once. Returns 0, IOTC_ER_TIMEOUT (the client did not
 * open it in time; nothing was sent), IOTC_ER_INVALID_SID or
 * IOTC_ER_INVALID_ARG. */
int P2PD_RdtRefuse(int sessionId, unsigned char channel, unsigned int timeoutMs);

/* The UID of the device owning a device session, copied to buf. Returns its
 * length or IOTC_ER_INVALID_SID / IOTC_ER_INVALID_ARG. */
int P2PD_Session_Uid(int sessionId, char *buf, int size);

#ifdef __cplusplus
}
#endif

#endif /* VC_P2P_P2PDEVICE_H */
