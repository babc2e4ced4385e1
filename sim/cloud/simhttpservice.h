#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <memory>
#include <thread>

class SimCertificates;
class SimCloudState;

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

// One emulated service on its own loopback port and listening thread, plain
// HTTP or HTTPS. Subclasses add their routes in setupRoutes().
class SimHttpService
{
public:
    SimHttpService(SimCloudState* state, const SimCertificates* tls);
    virtual ~SimHttpService();
    SimHttpService(const SimHttpService&) = delete;
    SimHttpService& operator=(const SimHttpService&) = delete;

    // Binds an ephemeral port on 127.0.0.1 and starts listening.
    bool start();
    void stop();
    int port() const { return m_port; }
    // "http://127.0.0.1:PORT" or "https://...".
    QString baseUrl() const;

    // Cookies of a request, by name.
    static QMap<QString, QString> cookies(const httplib::Request& req);
    // A query item or form field, decoded; empty when absent.
    static QString param(const httplib::Request& req, const char* name);

protected:
    virtual void setupRoutes(httplib::Server& server) = 0;
    SimCloudState* state() const { return m_state; }

private:
    SimCloudState* m_state;
    const SimCertificates* m_tls;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    int m_port = 0;
};
