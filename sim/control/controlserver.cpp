#include "sim/control/controlserver.h"

#include "sim/device/simviolations.h"
#include "sim/scenario/scenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

namespace {

QJsonObject cameraJson(const SimCamera& c)
{
    return QJsonObject{
        {"did", c.did}, {"name", c.name}, {"model", c.model}, {"owner", c.owner},
        {"p2p_id", c.p2pId}, {"online", c.online}, {"power", c.power}, {"sdcard", c.sdcard},
        {"max_client", c.maxClient}, {"has_pincode", !c.pincode.isEmpty()}, {"faults", c.faults}};
}

void reply(httplib::Response& res, int status, const QJsonObject& body)
{
    res.status = status;
    res.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

bool parseBody(const httplib::Request& req, QJsonObject* out)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(req.body));
    if (!doc.isObject())
        return false;
    *out = doc.object();
    return true;
}

} // namespace

ControlServer::ControlServer(Scenario* scenario, SimViolations* violations)
    : m_scenario(scenario), m_violations(violations), m_server(std::make_unique<httplib::Server>())
{
    m_server->Get("/violations", [this](const httplib::Request&, httplib::Response& res) {
        reply(res, 200, {{"violations", m_violations ? m_violations->toJson() : QJsonArray()}});
    });
    m_server->Delete("/violations", [this](const httplib::Request&, httplib::Response& res) {
        QJsonArray taken;
        if (m_violations)
            taken = SimViolations::toJson(m_violations->take());
        reply(res, 200, {{"violations", taken}});
    });

    m_server->Get("/control/state", [this](const httplib::Request&, httplib::Response& res) {
        QJsonArray cams;
        for (const SimCamera& c : m_scenario->cameras())
            cams << cameraJson(c);
        reply(res, 200, {{"cameras", cams}, {"cloud_faults", m_scenario->cloudFaults()}});
    });

    m_server->Post(R"(/control/camera/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        const QString did = QString::fromStdString(req.matches[1]);
        QJsonObject body;
        if (!parseBody(req, &body))
            return reply(res, 400, {{"error", "body is not a JSON object"}});
        const bool found = m_scenario->updateCamera(did, [&](SimCamera& c) {
            if (body.contains("online")) c.online = body.value("online").toBool();
            if (body.contains("power")) c.power = body.value("power").toBool();
            if (body.contains("sdcard")) c.sdcard = body.value("sdcard").toBool();
            if (body.contains("max_client")) c.maxClient = body.value("max_client").toBool();
            if (body.contains("pincode")) c.pincode = body.value("pincode").toString();
            if (body.contains("name")) c.name = body.value("name").toString();
            const QJsonObject faults = body.value("faults").toObject();
            for (auto it = faults.begin(); it != faults.end(); ++it) {
                if (it.value().isNull())
                    c.faults.remove(it.key());
                else
                    c.faults.insert(it.key(), it.value());
            }
        });
        if (!found)
            return reply(res, 404, {{"error", "no such camera"}});
        SimCamera c;
        m_scenario->camera(did, &c);
        reply(res, 200, cameraJson(c));
    });

    m_server->Post("/control/cameras", [this](const httplib::Request& req, httplib::Response& res) {
        QJsonObject body;
        if (!parseBody(req, &body) || body.value("did").toString().isEmpty())
            return reply(res, 400, {{"error", "a camera object with a did is needed"}});
        if (m_scenario->camera(body.value("did").toString(), nullptr))
            return reply(res, 409, {{"error", "camera exists"}});
        m_scenario->addCamera(Scenario::cameraFromJson(body, m_scenario->seed()));
        SimCamera c;
        m_scenario->camera(body.value("did").toString(), &c);
        reply(res, 200, cameraJson(c));
    });

    m_server->Delete(R"(/control/camera/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        if (!m_scenario->removeCamera(QString::fromStdString(req.matches[1])))
            return reply(res, 404, {{"error", "no such camera"}});
        reply(res, 200, {{"removed", true}});
    });

    m_server->Post("/control/cloud", [this](const httplib::Request& req, httplib::Response& res) {
        QJsonObject body;
        if (!parseBody(req, &body))
            return reply(res, 400, {{"error", "body is not a JSON object"}});
        m_scenario->setCloudFaults(body.value("faults").toObject());
        reply(res, 200, {{"cloud_faults", m_scenario->cloudFaults()}});
    });
}

ControlServer::~ControlServer()
{
    stop();
}

int ControlServer::start(int port)
{
    if (m_thread.joinable())
        return m_port;
    if (port == 0)
        m_port = m_server->bind_to_any_port("127.0.0.1");
    else
        m_port = m_server->bind_to_port("127.0.0.1", port) ? port : -1;
    if (m_port <= 0) {
        m_port = -1;
        return -1;
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    return m_port;
}

void ControlServer::stop()
{
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}
