#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class Scenario;
class SimIoCtrlDispatcher;
class SimViolations;

// One emulated camera on the P2P network. While the scenario says it is
// online it is registered under its P2P UID with the directory, accepts
// sessions, checks each login and then serves IO-control through the
// dispatcher until the client leaves.
//
// Logins: the plain view account "admin" with the camera's password, or the
// compact JSON {"account","public_key","sign"} with the password: `sign` must
// be the cloud's Ed25519 signature (hex) over the 32 raw bytes of
// `public_key` (hex); the media key is then crypto_box_beforenm(app public
// key, camera secret key). Anything else is refused with
// AV_ER_WRONG_VIEWACC_PWD. A view account in neither form (SimWireRules::
// checkViewAccount) is refused the same way and recorded as a violation.
//
// Fault knobs, read from the camera's "faults" object at every apply():
//   "p2p_refuse"      connects are refused
//   "p2p_stall"       connects are never answered
//   "p2p_stall_login" logins are never answered
//   "p2p_no_resend"   logins are accepted without resend
//   "p2p_mute"        the camera stops sending anything
//   "p2p_drop"        sessions are dropped without a word (as a power cut)
//   "p2p_silent"      a hung camera: its sessions stay open but it reads and
//                     sends nothing, not even keepalives
class SimCameraDevice
{
public:
    SimCameraDevice(Scenario* scenario, const QString& did, const SimIoCtrlDispatcher* dispatcher,
                    const QString& directory, SimViolations* violations = nullptr);
    ~SimCameraDevice();
    SimCameraDevice(const SimCameraDevice&) = delete;
    SimCameraDevice& operator=(const SimCameraDevice&) = delete;

    // Brings the device in line with the scenario (online, P2P UID, faults).
    void apply();
    // Unregisters and ends every session.
    void shutdown();

    QString did() const { return m_did; }
    bool registered() const;
    int activeSessions() const { return m_activeSessions.load(); }
    int acceptedLogins() const { return m_accepted.load(); }
    int refusedLogins() const { return m_refused.load(); }
    // The last accepted login's view account and media key (for tests).
    QByteArray lastViewAccount() const;
    QByteArray lastMediaKey() const;

private:
    struct Login;
    static int loginCallback(void* user, int sessionId, const char* account, const char* password, int* resend,
                             unsigned int* serviceType);
    int checkLogin(const QByteArray& account, const QByteArray& password, QByteArray* mediaKey) const;
    void acceptLoop(int handle);
    void runSession(int sessionId);
    void goOnline();
    void goOffline();
    void reapSessions();

    Scenario* m_scenario;
    const QString m_did;
    const SimIoCtrlDispatcher* m_dispatcher;
    const QString m_directory;
    SimViolations* const m_violations;

    mutable std::mutex m_mutex; // registration, threads and the last login
    int m_handle = -1;
    QString m_uid; // the P2P UID registered under m_handle
    std::thread m_acceptor;
    struct SessionThread
    {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::vector<SessionThread> m_sessions;
    QByteArray m_lastAccount;
    QByteArray m_lastKey;
    std::atomic<bool> m_dropping{false};
    std::atomic<bool> m_noResend{false};
    std::atomic<int> m_activeSessions{0};
    std::atomic<int> m_accepted{0};
    std::atomic<int> m_refused{0};
    std::mutex m_applyMutex; // one apply()/shutdown() at a time
};
