/*
 * RDT API: a reliable, ordered byte stream on a further channel (1..31) of
 * an IOTC session.
 *
 * Both sides call RDT_Create with the same session and channel number; the
 * stream is open once both have. Data written before the peer reads is kept
 * in order; RDT_Read returns what is there, possibly fewer bytes than asked
 * (a short read). Works alike on client and device sessions.
 *
 * Thread safety: all functions may be called from any thread; one reader and
 * one writer may use an RDT id at the same time.
 */
#ifndef VC_P2P_RDTAPI_H
#define VC_P2P_RDTAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- error codes ---------------------------------------------------- */
#define RDT_ER_NoERROR                   0
#define RDT_ER_NOT_INITIALIZED          (-10000)
#define RDT_ER_EXCEED_MAX_CHANNEL       (-10001) /* too many RDT ids */
#define RDT_ER_MEM_INSUFF               (-10002)
#define RDT_ER_INVALID_SID              (-10006) /* session unknown or not connected */
#define RDT_ER_TIMEOUT                  (-10007)
#define RDT_ER_INVALID_RDT_ID           (-10008)
#define RDT_ER_INVALID_ARG              (-10009)
#define RDT_ER_CHANNEL_IN_USE           (-10010) /* an RDT stream is already open on that channel */
#define RDT_ER_REMOTE_EXIT              (-10011) /* the peer destroyed the stream and everything was read */
#define RDT_ER_SESSION_CLOSED           (-10012) /* the session closed or the peer vanished */
#define RDT_ER_LOCAL_EXIT               (-10013) /* RDT_Destroy on this side while a call waited */

#define RDT_MAX_IDS          256
#define RDT_MAX_WRITE_SIZE   (1024 * 1024) /* bytes per RDT_Write call */

/* Starts the RDT layer. Returns RDT_MAX_IDS (> 0). */
int RDT_Initialize(void);

/* Destroys every RDT id of client sessions and stops the client side of the
 * layer (device sessions keep working). Returns 0. */
int RDT_DeInitialize(void);

/* Opens the stream on `channel` (1..31) of the session and waits up to
 * timeoutMs milliseconds for the peer to open it too. Returns the RDT id (0
 * or more). Errors: RDT_ER_TIMEOUT, RDT_ER_REMOTE_EXIT (the peer refused the
 * stream), RDT_ER_INVALID_SID, RDT_ER_CHANNEL_IN_USE,
 * RDT_ER_INVALID_ARG, RDT_ER_SESSION_CLOSED, RDT_ER_EXCEED_MAX_CHANNEL,
 * RDT_ER_NOT_INITIALIZED (client sessions only). */
int RDT_Create(int sessionId, int timeoutMs, unsigned char channel);

/* Queues size bytes (1..RDT_MAX_WRITE_SIZE) for the peer. Returns size, or a
 * negative code (RDT_ER_INVALID_RDT_ID, RDT_ER_INVALID_ARG,
 * RDT_ER_REMOTE_EXIT, RDT_ER_SESSION_CLOSED). */
int RDT_Write(int rdtId, const char *buf, int size);

/* Waits up to timeoutMs milliseconds for data and copies at most size bytes
 * into buf. Returns the count (> 0, possibly fewer than size), or
 * RDT_ER_TIMEOUT, RDT_ER_REMOTE_EXIT (peer destroyed the stream, nothing
 * left), RDT_ER_SESSION_CLOSED, RDT_ER_LOCAL_EXIT, RDT_ER_INVALID_RDT_ID,
 * RDT_ER_INVALID_ARG. */
int RDT_Read(int rdtId, char *buf, int size, int timeoutMs);

/* Closes the stream (the peer's reads end with RDT_ER_REMOTE_EXIT after the
 * data already sent) and releases the id. Returns 0 or RDT_ER_INVALID_RDT_ID. */
int RDT_Destroy(int rdtId);

#ifdef __cplusplus
}
#endif

#endif /* VC_P2P_RDTAPI_H */
