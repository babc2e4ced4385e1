#pragma once

#include "sim/cloud/simcloudstate.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <memory>

class Scenario;
class SimAccountApi;
class SimAccountService;
class SimCertificates;
class SimHomeApi;
class SimStatsService;
class SimUpdateService;

// The whole emulated cloud: account service, account API, home API, update
// and statistics services, each on an ephemeral loopback port, all reading
// the scenario at request time.
class SimCloud
{
public:
    explicit SimCloud(Scenario* scenario);
    ~SimCloud();
    SimCloud(const SimCloud&) = delete;
    SimCloud& operator=(const SimCloud&) = delete;

    // Prepares the certificates in certDir (made at first start) and starts
    // every service. On failure everything started is stopped again.
    bool start(const QString& certDir, QString* error = nullptr);
    void stop();
    bool isRunning() const { return m_running; }

    // The entries of the endpoints file (without "p2p_directory", which the
    // P2P directory adds).
    QJsonObject endpoints() const;
    // Merges endpoints() into the JSON object in path (created when missing).
    bool writeEndpointsFile(const QString& path) const;

    QString caFile() const;
    QList<SimStatReport> statReports() const { return m_state.statReports(); }
    void clearStatReports() { m_state.clearStatReports(); }
    SimCloudState* state() { return &m_state; }

private:
    SimCloudState m_state;
    std::unique_ptr<SimCertificates> m_certs;
    std::unique_ptr<SimAccountService> m_account;
    std::unique_ptr<SimAccountApi> m_accountApi;
    std::unique_ptr<SimHomeApi> m_homeApi;
    std::unique_ptr<SimUpdateService> m_update;
    std::unique_ptr<SimStatsService> m_stats;
    bool m_running = false;
};
