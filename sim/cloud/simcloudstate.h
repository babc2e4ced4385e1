#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <mutex>
#include <QSet>
#include <QString>
#include <atomic>

class Scenario;

namespace httplib {
struct Request;
struct Response;
} // namespace httplib

// One statistics report as the emulated statistics service received it.
struct SimStatReport
{
    QMap<QString, QString> items; // query items of the upload
    QJsonDocument report;         // decrypted report document
};

// One request as an emulated service saw it (for tests).
struct SimRequestRecord
{
    QString method;
    QString path;
    QString target;    // path and raw query
    QString cookie;    // the Cookie header as sent
    QString userAgent;
};

// What the emulated services share: the scenario, the addresses, the
// sessions issued by the service login, the nonces already seen, the
// statistics received and the fault knobs. Thread-safe.
class SimCloudState
{
public:
    explicit SimCloudState(Scenario* scenario) : m_scenario(scenario) {}

    Scenario* scenario() const { return m_scenario; }

    // Service login tickets (step 1 -> step 2).
    struct Ticket
    {
        QString userId;
        QString sid;
        qint64 nonce = 0;
        QString ssecurity;
    };
    QString addTicket(const Ticket& t);
    bool takeTicket(const QString& id, Ticket* out);

    // Sessions (service token -> user and ssecurity).
    struct Session
    {
        QString userId;
        QString ssecurity;
    };
    QString addSession(const Session& s);
    bool session(const QString& serviceToken, Session* out) const;

    // Records a nonce; false when it was seen before (replay).
    bool useNonce(const QString& serviceToken, const QString& nonce, quint32 minute);

    // The last requests of every service, oldest first (at most 200).
    void recordRequest(const httplib::Request& req);
    QList<SimRequestRecord> requests() const;
    void clearRequests();

    void addStatReport(const SimStatReport& r);
    QList<SimStatReport> statReports() const;
    void clearStatReports();

    // Addresses, set by SimCloud once all services listen.
    void setAddresses(const QString& account, const QString& accountApi, const QString& update);
    QString account() const;
    QString accountApi() const;
    QString update() const;

    // Fault knobs: the scenario's cloud faults.
    QJsonObject faults() const;
    // Applies "delay_ms", "http_status" and, for plain services, "malformed"
    // for the request path; true when the response is already decided.
    bool applyFaults(const httplib::Request& req, httplib::Response& res, bool handleMalformed);
    // The "malformed" kind for a path, or empty.
    QString malformedKind(const QString& path) const;

    // Sleeps ms in small steps; returns early once stopping() is set.
    void sleepMs(int ms) const;
    void setStopping(bool s) { m_stopping = s; }
    bool stopping() const { return m_stopping; }

    static QString randomHex(int bytes);

private:
    Scenario* m_scenario;
    mutable std::mutex m_mutex;
    QHash<QString, Ticket> m_tickets;
    QHash<QString, Session> m_sessions;
    QHash<QString, quint32> m_nonces; // token + nonce -> minute
    QList<SimStatReport> m_stats;
    QList<SimRequestRecord> m_requests;
    QString m_account;
    QString m_accountApi;
    QString m_update;
    std::atomic<bool> m_stopping{false};
};
