#include "sim/cloud/simcloudstate.h"

#include "sim/scenario/scenario.h"

#include <QJsonValue>
#include <chrono>
#include <httplib.h>
#include <sodium.h>
#include <thread>

QString SimCloudState::randomHex(int bytes)
{
    QByteArray b(bytes, '\0');
    randombytes_buf(b.data(), static_cast<size_t>(bytes));
    return QString::fromLatin1(b.toHex());
}

QString SimCloudState::addTicket(const Ticket& t)
{
    const QString id = randomHex(16);
    std::lock_guard<std::mutex> l(m_mutex);
    m_tickets.insert(id, t);
    return id;
}

bool SimCloudState::takeTicket(const QString& id, Ticket* out)
{
    std::lock_guard<std::mutex> l(m_mutex);
    auto it = m_tickets.find(id);
    if (it == m_tickets.end())
        return false;
    *out = it.value();
    m_tickets.erase(it);
    return true;
}

QString SimCloudState::addSession(const Session& s)
{
    const QString token = randomHex(24);
    std::lock_guard<std::mutex> l(m_mutex);
    m_sessions.insert(token, s);
    return token;
}

bool SimCloudState::session(const QString& serviceToken, Session* out) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    auto it = m_sessions.constFind(serviceToken);
    if (it == m_sessions.constEnd())
        return false;
    *out = it.value();
    return true;
}

bool SimCloudState::useNonce(const QString& serviceToken, const QString& nonce, quint32 minute)
{
    std::lock_guard<std::mutex> l(m_mutex);
    // Forget nonces that are too old to pass the freshness check anyway.
    for (auto it = m_nonces.begin(); it != m_nonces.end();) {
        if (it.value() + 10 < minute)
            it = m_nonces.erase(it);
        else
            ++it;
    }
    const QString key = serviceToken + QLatin1Char('|') + nonce;
    if (m_nonces.contains(key))
        return false;
    m_nonces.insert(key, minute);
    return true;
}

void SimCloudState::recordRequest(const httplib::Request& req)
{
    SimRequestRecord r;
    r.method = QString::fromStdString(req.method);
    r.path = QString::fromStdString(req.path);
    r.target = QString::fromStdString(req.target);
    r.cookie = QString::fromStdString(req.get_header_value("Cookie"));
    r.userAgent = QString::fromStdString(req.get_header_value("User-Agent"));
    std::lock_guard<std::mutex> l(m_mutex);
    m_requests << r;
    while (m_requests.size() > 200)
        m_requests.removeFirst();
}

QList<SimRequestRecord> SimCloudState::requests() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_requests;
}

void SimCloudState::clearRequests()
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_requests.clear();
}

void SimCloudState::addStatReport(const SimStatReport& r)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_stats << r;
}

QList<SimStatReport> SimCloudState::statReports() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_stats;
}

void SimCloudState::clearStatReports()
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_stats.clear();
}

void SimCloudState::setAddresses(const QString& account, const QString& accountApi, const QString& update)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_account = account;
    m_accountApi = accountApi;
    m_update = update;
}

QString SimCloudState::account() const { std::lock_guard<std::mutex> l(m_mutex); return m_account; }
QString SimCloudState::accountApi() const { std::lock_guard<std::mutex> l(m_mutex); return m_accountApi; }
QString SimCloudState::update() const { std::lock_guard<std::mutex> l(m_mutex); return m_update; }

QJsonObject SimCloudState::faults() const
{
    return m_scenario ? m_scenario->cloudFaults() : QJsonObject();
}

static QJsonValue forPath(const QJsonObject& faults, const char* knob, const QString& path)
{
    const QJsonValue v = faults.value(QLatin1String(knob));
    if (!v.isObject())
        return v; // a plain value applies to every path
    const QJsonObject o = v.toObject();
    if (o.contains(path))
        return o.value(path);
    return o.value(QLatin1String("*"));
}

QString SimCloudState::malformedKind(const QString& path) const
{
    return forPath(faults(), "malformed", path).toString();
}

bool SimCloudState::applyFaults(const httplib::Request& req, httplib::Response& res, bool handleMalformed)
{
    recordRequest(req);
    const QJsonObject f = faults();
    if (f.isEmpty())
        return false;
    const QString path = QString::fromStdString(req.path);
    const int delay = forPath(f, "delay_ms", path).toInt(0);
    if (delay > 0)
        sleepMs(delay);
    const int status = forPath(f, "http_status", path).toInt(0);
    if (status > 0) {
        res.status = status;
        res.set_content("emulated failure", "text/plain");
        return true;
    }
    if (handleMalformed && !malformedKind(path).isEmpty()) {
        res.status = 200;
        res.set_content("{\"malformed\": tru", "application/json");
        return true;
    }
    return false;
}

void SimCloudState::sleepMs(int ms) const
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!m_stopping && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
