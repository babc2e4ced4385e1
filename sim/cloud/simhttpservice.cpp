#include "sim/cloud/simhttpservice.h"

#include "sim/cloud/simcertificates.h"
#include "sim/cloud/simcloudstate.h"

#include <httplib.h>

SimHttpService::SimHttpService(SimCloudState* state, const SimCertificates* tls)
    : m_state(state), m_tls(tls)
{
}

SimHttpService::~SimHttpService()
{
    stop();
}

bool SimHttpService::start()
{
    if (m_server)
        return true;
    if (m_tls)
        m_server.reset(new httplib::SSLServer(m_tls->serverCert(), m_tls->serverKey()));
    else
        m_server.reset(new httplib::Server);
    if (!m_server->is_valid()) {
        m_server.reset();
        return false;
    }
    // Every keep-alive connection holds a worker: leave room for many
    // clients (nine cameras at once, plus slow requests of fault tests).
    m_server->new_task_queue = [] { return new httplib::ThreadPool(48); };
    m_server->set_keep_alive_timeout(2);
    m_server->set_read_timeout(5, 0);
    m_server->set_payload_max_length(1 << 20);
    setupRoutes(*m_server);
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        m_server.reset();
        return false;
    }
    httplib::Server* server = m_server.get();
    m_thread = std::thread([server] { server->listen_after_bind(); });
    return true;
}

void SimHttpService::stop()
{
    if (!m_server)
        return;
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
    m_server.reset();
    m_port = 0;
}

QString SimHttpService::baseUrl() const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(m_tls ? QStringLiteral("https") : QStringLiteral("http")).arg(m_port);
}

QMap<QString, QString> SimHttpService::cookies(const httplib::Request& req)
{
    QMap<QString, QString> out;
    const auto range = req.headers.equal_range("Cookie");
    for (auto it = range.first; it != range.second; ++it) {
        const QString header = QString::fromStdString(it->second);
        for (const QString& part : header.split(QLatin1Char(';'))) {
            const int eq = part.indexOf(QLatin1Char('='));
            if (eq <= 0)
                continue;
            const QString name = part.left(eq).trimmed();
            if (!out.contains(name))
                out.insert(name, part.mid(eq + 1).trimmed());
        }
    }
    return out;
}

QString SimHttpService::param(const httplib::Request& req, const char* name)
{
    if (!req.has_param(name))
        return QString();
    return QString::fromStdString(req.get_param_value(name));
}
