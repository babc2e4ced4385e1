/*
 * AV API: the media and control channel inside an IOTC session.
 *
 * The client opens an AV channel on a connected session with avClientStart2,
 * which carries a view account and password to the device; the device
 * accepts or refuses them (p2pdevice.h). On an open channel both sides
 * exchange IO-control messages (a 32-bit type plus up to AV_MAX_IOCTRL_SIZE
 * bytes), and the device sends video and audio frames, each with a frame
 * header of AV_FRAME_HEADER_SIZE bytes that the library carries unchanged.
 *
 * Receive buffer: the client keeps received frames of a channel in a buffer
 * of at most avClientSetMaxBufSize kilobytes. A frame that does not fit when
 * it arrives is dropped whole (a reader never sees part of a frame); the
 * reader is told with AV_ER_LOSED_THIS_FRAME in the frame's place (one
 * report for a run of consecutive losses). Video and audio share the buffer
 * but are read by separate calls, each in arrival order.
 *
 * An AV index names one side of one channel; the client's and the device's
 * indices are different numbers. Indices are process-wide.
 *
 * Thread safety: all functions may be called from any thread; avSendIOCtrl
 * and avRecvIOCtrl may run at the same time on one channel, as may the frame
 * and audio receive calls.
 */
#ifndef VC_P2P_AVAPI_H
#define VC_P2P_AVAPI_H

#ifdef __cplusplus
extern "C" {
#endif

/* ---- error codes ---------------------------------------------------- */
#define AV_ER_NoERROR                        0
#define AV_ER_INVALID_ARG                   (-20000) /* bad argument or unknown AV index */
#define AV_ER_BUFPARA_MAXSIZE_INSUFF        (-20001) /* caller's buffer too small: the message/frame is dropped */
#define AV_ER_EXCEED_MAX_CHANNEL            (-20002)
#define AV_ER_MEM_INSUFF                    (-20003)
#define AV_ER_EXCEED_MAX_SIZE               (-20006) /* a message or frame larger than the library carries */
#define AV_ER_WRONG_VIEWACC_PWD             (-20009) /* the device refused the view account or password */
#define AV_ER_INVALID_SID                   (-20010) /* session id unknown or not connected */
#define AV_ER_TIMEOUT                       (-20011) /* the time-out passed without an answer / a message */
#define AV_ER_DATA_NOREADY                  (-20012) /* no frame received yet: poll again */
#define AV_ER_LOSED_THIS_FRAME              (-20014) /* one or more frames were dropped here (buffer full) */
#define AV_ER_SESSION_CLOSE_BY_REMOTE       (-20015) /* the peer closed the channel or the session */
#define AV_ER_REMOTE_TIMEOUT_DISCONNECT     (-20016) /* the peer vanished without closing */
#define AV_ER_NOT_INITIALIZED               (-20019) /* avInitialize was not called */
#define AV_ER_CLIENT_EXIT                   (-20021) /* this side stopped the channel (avClientStop) */
#define AV_ER_CHANNEL_IN_USE                (-20022) /* an AV channel is already open on that IOTC channel */
/* A channel whose session was closed on this side, or whose session id is no
 * longer valid, reports IOTC_ER_INVALID_SID (-14) from the receive calls. */

/* ---- sizes ---------------------------------------------------------- */
#define AV_FRAME_HEADER_SIZE     24        /* bytes of the header carried with each frame */
#define AV_MAX_IOCTRL_SIZE       8192      /* largest IO-control payload */
#define AV_MAX_FRAME_SIZE        4194304   /* largest frame payload */
#define AV_MAX_ACCOUNT_LEN       1024      /* longest view account / password text */
#define AV_DEFAULT_MAX_BUF_KB    5000

/* Sets the client receive buffer limit, in kilobytes (1024 bytes), for AV
 * channels opened afterwards. 0 restores AV_DEFAULT_MAX_BUF_KB. May be called
 * before IOTC_Initialize2. */
void avClientSetMaxBufSize(unsigned int maxBufSizeKB);

/* Starts the AV layer with room for maxChannels client channels (0 or less:
 * 128). Returns maxChannels (> 0) or a negative code. */
int avInitialize(int maxChannels);

/* Stops every client AV channel (blocked receive calls return) and the AV
 * layer. Returns 0. */
int avDeInitialize(void);

/* Opens the AV channel on IOTC channel `channel` of a connected session and
 * logs in with the view account and password (NUL-terminated, at most
 * AV_MAX_ACCOUNT_LEN bytes each). Waits up to timeoutSec seconds (0: 10 s) for
 * the device's answer.
 * Returns the AV index (0 or more) and sets *serviceType (may be NULL: the
 * device's service word) and *resend (may be NULL: 1 when the channel runs
 * with resend, 0 when not). Errors: AV_ER_WRONG_VIEWACC_PWD (refused),
 * AV_ER_TIMEOUT, AV_ER_INVALID_SID, AV_ER_SESSION_CLOSE_BY_REMOTE,
 * AV_ER_REMOTE_TIMEOUT_DISCONNECT, AV_ER_EXCEED_MAX_CHANNEL,
 * AV_ER_CHANNEL_IN_USE, AV_ER_NOT_INITIALIZED, AV_ER_INVALID_ARG, or the
 * device's own negative refusal code. */
int avClientStart2(int sessionId, const char *viewAccount, const char *viewPassword,
                   unsigned int timeoutSec, unsigned int *serviceType,
                   unsigned char channel, int *resend);

/* Closes a client AV channel; the device sees AV_ER_SESSION_CLOSE_BY_REMOTE.
 * Blocked calls on it return AV_ER_CLIENT_EXIT. The session stays open.
 * Returns 0 or AV_ER_INVALID_ARG. */
int avClientStop(int avIndex);

/* Sends one IO-control message. Works on client and device indices.
 * Returns 0 or a negative code (AV_ER_INVALID_ARG, AV_ER_EXCEED_MAX_SIZE,
 * AV_ER_SESSION_CLOSE_BY_REMOTE, AV_ER_REMOTE_TIMEOUT_DISCONNECT,
 * IOTC_ER_INVALID_SID). */
int avSendIOCtrl(int avIndex, unsigned int ioType, const char *ioData, int ioDataSize);

/* Receives the oldest IO-control message, waiting up to timeoutMs
 * milliseconds (0: return at once). Returns the payload length (0 or more;
 * the bytes are copied to ioData, no NUL is added) and sets *ioType.
 * Errors: AV_ER_TIMEOUT when no message came in time, AV_ER_BUFPARA_MAXSIZE_INSUFF
 * (message dropped, *ioType set), AV_ER_SESSION_CLOSE_BY_REMOTE,
 * AV_ER_REMOTE_TIMEOUT_DISCONNECT, AV_ER_CLIENT_EXIT, IOTC_ER_INVALID_SID,
 * AV_ER_INVALID_ARG. Messages already queued are delivered before a close is
 * reported. */
int avRecvIOCtrl(int avIndex, unsigned int *ioType, char *ioData, int ioDataMaxSize,
                 unsigned int timeoutMs);

/* Takes the oldest video frame without waiting. Returns its length (> 0),
 * copies it to buf and its header (up to frameInfoBufSize bytes) to
 * frameInfoBuf. *actualFrameSize and *expectedFrameSize get the frame length,
 * *actualFrameInfoSize the header length, *frameIndex the frame's number
 * (any of these may be NULL).
 * Errors: AV_ER_DATA_NOREADY (nothing yet), AV_ER_LOSED_THIS_FRAME
 * (*frameIndex = first lost frame), AV_ER_BUFPARA_MAXSIZE_INSUFF (frame
 * longer than bufSize: dropped, *expectedFrameSize set),
 * AV_ER_SESSION_CLOSE_BY_REMOTE, AV_ER_REMOTE_TIMEOUT_DISCONNECT,
 * AV_ER_CLIENT_EXIT, IOTC_ER_INVALID_SID (-14), AV_ER_INVALID_ARG.
 * Frames already queued are delivered before a close is reported. */
int avRecvFrameData2(int avIndex, char *buf, int bufSize, int *actualFrameSize,
                     int *expectedFrameSize, char *frameInfoBuf, int frameInfoBufSize,
                     int *actualFrameInfoSize, unsigned int *frameIndex);

/* Waits up to timeoutMs for a video frame (or a loss) on the channel, so a
 * receive loop need not poll. An addition of this library: callers that may
 * run on a library without it check its address first (see camera/libp2p).
 * Returns 0 when a frame waits, AV_ER_TIMEOUT when none came in time, or the
 * error avRecvFrameData2 would report when the channel can carry no more. */
int avWaitVideoFrame(int avIndex, unsigned int timeoutMs);

/* Takes the oldest audio frame without waiting; results as for
 * avRecvFrameData2. Returns the frame size (> 0). */
int avRecvAudioData(int avIndex, char *buf, int bufSize, char *frameInfoBuf,
                    int frameInfoBufSize, unsigned int *frameIndex);

#ifdef __cplusplus
}
#endif

#endif /* VC_P2P_AVAPI_H */
