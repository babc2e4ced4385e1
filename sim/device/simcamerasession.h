#pragma once

#include "sim/scenario/scenario.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SimViolations;

// One logged-in client of an emulated camera, as the IO-control handlers see
// it (see SimIoCtrlDispatcher). It lives on the session's thread from the
// accepted login to the end of the session.
class SimCameraSession
{
public:
    SimCameraSession(Scenario* scenario, const QString& did, int sessionId, int avIndex,
                     const QByteArray& viewAccount, const QByteArray& mediaKey,
                     SimViolations* violations = nullptr);
    ~SimCameraSession();
    SimCameraSession(const SimCameraSession&) = delete;
    SimCameraSession& operator=(const SimCameraSession&) = delete;

    QString did() const { return m_did; }
    int sessionId() const { return m_sessionId; }  // for RDT_Create on a further channel
    int avIndex() const { return m_avIndex; }      // the device's AV index
    // The view account text the client logged in with.
    QByteArray viewAccount() const { return m_viewAccount; }
    // The 32-byte media key agreed at login (crypto_box_beforenm of the app
    // public key and the camera's secret key); empty after a plain login.
    QByteArray mediaKey() const { return m_mediaKey; }
    Scenario* scenario() const { return m_scenario; }
    // The camera as the scenario describes it now.
    SimCamera camera() const;

    // Refuses what the client sent against the rules of the wire: logs it
    // and adds it to the emulator's list of violations (see SimWireRules).
    // `message` names it: "ioctrl 0x200", "rdt timeline request".
    void refuse(const QString& message, const QByteArray& payload, const QString& rule);

    // Send to the client; results are the P2P library's (0 or negative).
    int sendIoCtrl(unsigned int type, const QByteArray& payload);
    // A frame with its header (at most 24 bytes, zero-padded).
    int sendVideoFrame(const QByteArray& data, const QByteArray& header);
    int sendAudioFrame(const QByteArray& data, const QByteArray& header);

    // Runs fn on a thread of its own; fn must return soon after stopping()
    // turns true, which happens when the session ends (stopTasks joins them).
    void startTask(const std::function<void(SimCameraSession&)>& fn);
    bool stopping() const { return m_stopping.load(); }
    void stopTasks();

    // Per-session state of the handlers, by key; created empty on first use.
    template <class T>
    std::shared_ptr<T> state(const std::string& key)
    {
        std::lock_guard<std::mutex> l(m_stateMutex);
        auto& slot = m_state[key];
        if (!slot)
            slot = std::make_shared<T>();
        return std::static_pointer_cast<T>(slot);
    }

private:
    Scenario* m_scenario;
    const QString m_did;
    const int m_sessionId;
    const int m_avIndex;
    const QByteArray m_viewAccount;
    const QByteArray m_mediaKey;
    SimViolations* const m_violations;
    std::atomic<bool> m_stopping{false};
    std::mutex m_taskMutex;
    std::vector<std::thread> m_tasks;
    std::mutex m_stateMutex;
    std::map<std::string, std::shared_ptr<void>> m_state;
};
