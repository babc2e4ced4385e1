#pragma once

#include "sim/device/simioctrldispatcher.h"
#include "sim/device/simviolations.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

class Scenario;
class SimCameraDevice;

// The P2P side of the emulator: the directory service and one emulated
// camera device per scenario camera, kept in step with the scenario (a
// camera going offline unregisters and drops its sessions, one coming online
// registers again; faults apply at once). Usable in-process by tests.
class SimP2pHost : public QObject
{
    Q_OBJECT
public:
    explicit SimP2pHost(Scenario* scenario, QObject* parent = nullptr);
    ~SimP2pHost() override;

    // Starts the directory on address:directoryPort (0: ephemeral) and the
    // cameras, which listen on the same address. address is an IPv4 literal
    // (an address of this machine on the LAN lets clients of other machines
    // in). false when the directory cannot listen.
    bool start(unsigned short directoryPort = 0, const QString& address = QStringLiteral("127.0.0.1"));
    void stop();

    // "ADDRESS:PORT" of the directory (the endpoints file's "p2p_directory").
    QString directoryAddress() const;
    // The handlers of IO-control messages, shared by all cameras.
    SimIoCtrlDispatcher& dispatcher() { return m_dispatcher; }
    std::shared_ptr<SimCameraDevice> device(const QString& did) const;
    // What the cameras refused because the client broke a rule of the wire.
    SimViolations& violations() { return m_violations; }

private slots:
    void onCameraChanged(const QString& did);
    void onCameraAdded(const QString& did);
    void onCameraRemoved(const QString& did);

private:
    Scenario* m_scenario;
    SimIoCtrlDispatcher m_dispatcher;
    SimViolations m_violations;
    std::atomic<int> m_directory{-1};
    std::atomic<unsigned short> m_directoryPort{0};
    QString m_address = QStringLiteral("127.0.0.1"); // set before the cameras start
    mutable std::mutex m_mutex;
    std::map<QString, std::shared_ptr<SimCameraDevice>> m_devices;
};
