/*
 * IOTC API: sessions between a client and a device, and the channels inside
 * a session.
 *
 * A device is known by its UID (up to 20 printable characters). A client
 * claims a session id with IOTC_Get_SessionID, connects it to a UID with
 * IOTC_Connect_ByUID_Parallel (the UID is resolved to the device's address by
 * the directory service) and closes it with IOTC_Session_Close. A session
 * carries up to IOTC_MAX_CHANNELS channels: channel 0 is the AV channel, the
 * further ones carry RDT streams (rdtapi.h).
 *
 * Every function returns a signed code: 0 or more is success, a negative
 * value is one of the error codes below (or of avapi.h / rdtapi.h).
 *
 * Thread safety: every function may be called from any thread. Calls on
 * different sessions and channels never wait for each other, except for the
 * short internal table lock. IOTC_Connect_Stop_BySID and IOTC_Session_Close
 * may be called while another thread is blocked on the same session.
 *
 * The library is plain C/C++ over TCP sockets and depends on no framework.
 */
#ifndef VC_P2P_IOTCAPI_H
#define VC_P2P_IOTCAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- error codes ---------------------------------------------------- */
#define IOTC_ER_NoERROR                      0
#define IOTC_ER_DIRECTORY_UNREACHABLE       (-1)  /* directory service not reachable or not configured */
#define IOTC_ER_UNKNOWN_UID                 (-10) /* no device registered under this UID (offline) */
#define IOTC_ER_NOT_INITIALIZED             (-12) /* IOTC_Initialize2 was not called */
#define IOTC_ER_INVALID_SID                 (-14) /* session id unknown, closed, or no longer usable */
#define IOTC_ER_EXCEED_MAX_SESSION          (-18) /* no free session id */
#define IOTC_ER_DEVICE_UNREACHABLE          (-19) /* the device's address did not answer */
#define IOTC_ER_SESSION_CLOSE_BY_REMOTE     (-22)
#define IOTC_ER_REMOTE_TIMEOUT_DISCONNECT   (-23)
#define IOTC_ER_SESSION_REFUSED             (-24) /* the device refused the session */
#define IOTC_ER_NO_FREE_CHANNEL             (-26)
#define IOTC_ER_CONNECT_STOPPED             (-27) /* IOTC_Connect_Stop_BySID stopped the connect */
#define IOTC_ER_TIMEOUT                     (-33) /* the connect's own limit (IOTC_CONNECT_LIMIT_MS) passed */
#define IOTC_ER_ALREADY_CONNECTED           (-34) /* the session id is already connected or connecting */
#define IOTC_ER_INVALID_ARG                 (-46)
#define IOTC_ER_DEVICE_OFFLINE              (-90) /* the device was registered but has gone offline */

/* ---- limits --------------------------------------------------------- */
#define IOTC_MAX_SESSIONS       256
#define IOTC_MAX_CHANNELS       32    /* channel numbers 0..31 */
#define IOTC_UID_MAX_LEN        20
#define IOTC_CONNECT_LIMIT_MS   60000 /* a connect gives up by itself after this */

/* Session modes reported by IOTC_Session_Check. */
#define IOTC_MODE_P2P   0
#define IOTC_MODE_RELAY 1
#define IOTC_MODE_LAN   2

/* The session record filled by IOTC_Session_Check. */
typedef struct IOTCSessionInfo {
    unsigned char  mode;            /* IOTC_MODE_*; loopback and LAN peers report IOTC_MODE_LAN */
    char           isDevice;        /* 0: this side is the client, 1: this side is the device */
    char           uid[IOTC_UID_MAX_LEN + 1]; /* the device's UID, NUL-terminated */
    char           remoteIp[46];    /* the peer's address as text, NUL-terminated */
    unsigned short remotePort;      /* the peer's port */
    unsigned int   version;         /* library version word, 0xMMmmpp00 */
    unsigned char  natType;         /* always 0 (no translation on a direct path) */
} IOTCSessionInfo;

/* Starts the client side. udpPort is accepted for compatibility (0: any) and
 * not used: sessions run over TCP. Returns 0, or IOTC_ER_NoERROR when already
 * initialised. */
int IOTC_Initialize2(unsigned short udpPort);

/* Closes every client session (blocked calls on them return) and stops the
 * client side. Device-side sessions (p2pdevice.h) are not touched. */
int IOTC_DeInitialize(void);

/* Claims a free session id (0 or more) for a later connect.
 * Errors: IOTC_ER_NOT_INITIALIZED, IOTC_ER_EXCEED_MAX_SESSION. */
int IOTC_Get_SessionID(void);

/* Connects the claimed session id to the device with this UID. Blocks until
 * the session is up (returns sessionId), fails (negative), the library's own
 * limit passes (IOTC_ER_TIMEOUT) or IOTC_Connect_Stop_BySID is called for
 * the session id (IOTC_ER_CONNECT_STOPPED, at once).
 * Other errors: IOTC_ER_UNKNOWN_UID, IOTC_ER_DIRECTORY_UNREACHABLE,
 * IOTC_ER_DEVICE_UNREACHABLE, IOTC_ER_SESSION_REFUSED, IOTC_ER_INVALID_SID,
 * IOTC_ER_ALREADY_CONNECTED, IOTC_ER_INVALID_ARG.
 * After a failure the session id stays claimed until IOTC_Session_Close. */
int IOTC_Connect_ByUID_Parallel(const char *uid, int sessionId);

/* Makes a pending IOTC_Connect_ByUID_Parallel of this session id return
 * IOTC_ER_CONNECT_STOPPED at once. A stop that comes before the connect
 * starts makes that connect return IOTC_ER_CONNECT_STOPPED too. No effect on
 * a session that is already connected. Returns 0 or IOTC_ER_INVALID_SID. */
int IOTC_Connect_Stop_BySID(int sessionId);

/* Fills *info for a connected session. Returns 0, IOTC_ER_INVALID_SID,
 * IOTC_ER_INVALID_ARG, or IOTC_ER_SESSION_CLOSE_BY_REMOTE /
 * IOTC_ER_REMOTE_TIMEOUT_DISCONNECT when the peer is gone (info is still
 * filled). */
int IOTC_Session_Check(int sessionId, IOTCSessionInfo *info);

/* Closes the session (client or device side) and releases its id. Blocked
 * calls on its channels return (-14 / AV or RDT "closed" codes). The peer
 * sees "closed by remote". Returns 0 or IOTC_ER_INVALID_SID. */
int IOTC_Session_Close(int sessionId);

/* Reserves the lowest channel number (1..IOTC_MAX_CHANNELS-1) not yet used
 * on this side of the session and returns it. The reservation lasts until
 * the session closes. Errors: IOTC_ER_INVALID_SID, IOTC_ER_NO_FREE_CHANNEL. */
int IOTC_Session_Get_Free_Channel(int sessionId);

/* ---- extension: the directory service -------------------------------- */

/* Sets the directory service address as "host:port" (IPv4 literal or host
 * name). NULL or "" clears it. Without a set address, the environment
 * variable VC_P2P_DIRECTORY ("host:port") is read at each connect and each
 * device registration. Returns 0 or IOTC_ER_INVALID_ARG. */
int IOTC_Set_Directory(const char *hostPort);

/* Ends the session's connection at once, from any thread, but keeps its id
 * claimed until IOTC_Session_Close: calls blocked on it return (a connect
 * with IOTC_ER_INVALID_SID, AV and RDT calls with their "closed" codes), later
 * ones fail the same way, and the peer sees "closed by remote". Unlike a close
 * it never releases the id under a thread that may still use it. Returns 0
 * or IOTC_ER_INVALID_SID. */
int IOTC_Session_Shutdown(int sessionId);

/* Sets the keepalive of all sessions of the process: a session that sent
 * nothing for intervalMs sends a keepalive message; one that received
 * nothing for timeoutMs is lost (IOTC_ER_REMOTE_TIMEOUT_DISCONNECT, AV calls
 * AV_ER_REMOTE_TIMEOUT_DISCONNECT). Defaults 3000 and 10000; 0 restores a
 * default. Returns 0, or IOTC_ER_INVALID_ARG when intervalMs is not below
 * timeoutMs. */
int IOTC_Set_KeepAlive(unsigned int intervalMs, unsigned int timeoutMs);

/* Writes the address in use ("host:port", set or from the environment) into
 * buf (NUL-terminated). Returns its length, or IOTC_ER_DIRECTORY_UNREACHABLE
 * when none is configured, IOTC_ER_INVALID_ARG when buf is too small. */
int IOTC_Get_Directory(char *buf, int size);

#ifdef __cplusplus
}
#endif

#endif /* VC_P2P_IOTCAPI_H */
