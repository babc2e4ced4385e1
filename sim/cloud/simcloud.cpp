#include "sim/cloud/simcloud.h"

#include "sim/cloud/simaccountapi.h"
#include "sim/cloud/simaccountservice.h"
#include "sim/cloud/simcertificates.h"
#include "sim/cloud/simhomeapi.h"
#include "sim/cloud/simstatsservice.h"
#include "sim/cloud/simupdateservice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

SimCloud::SimCloud(Scenario* scenario) : m_state(scenario) {}

SimCloud::~SimCloud()
{
    stop();
}

bool SimCloud::start(const QString& certDir, QString* error)
{
    if (m_running)
        return true;
    m_state.setStopping(false);
    m_certs.reset(new SimCertificates);
    if (!m_certs->prepare(certDir, error))
        return false;
    m_account.reset(new SimAccountService(&m_state, m_certs.get()));
    m_accountApi.reset(new SimAccountApi(&m_state, nullptr));
    m_homeApi.reset(new SimHomeApi(&m_state, m_certs.get()));
    m_update.reset(new SimUpdateService(&m_state, nullptr));
    m_stats.reset(new SimStatsService(&m_state, nullptr));
    const bool ok = m_account->start() && m_accountApi->start() && m_homeApi->start() && m_update->start()
        && m_stats->start();
    if (!ok) {
        if (error)
            *error = QStringLiteral("a cloud service could not listen on 127.0.0.1");
        m_running = true;
        stop();
        return false;
    }
    m_state.setAddresses(m_account->baseUrl(), m_accountApi->baseUrl(), m_update->baseUrl());
    m_running = true;
    return true;
}

void SimCloud::stop()
{
    if (!m_running)
        return;
    m_state.setStopping(true); // cuts emulated delays short
    for (SimHttpService* s : std::initializer_list<SimHttpService*>{m_account.get(), m_accountApi.get(), m_homeApi.get(),
                                                                    m_update.get(), m_stats.get()}) {
        if (s)
            s->stop();
    }
    m_account.reset();
    m_accountApi.reset();
    m_homeApi.reset();
    m_update.reset();
    m_stats.reset();
    m_running = false;
}

QString SimCloud::caFile() const
{
    return m_certs ? m_certs->caFile() : QString();
}

QJsonObject SimCloud::endpoints() const
{
    if (!m_running)
        return QJsonObject();
    QJsonObject o;
    o.insert(QStringLiteral("account"), m_account->baseUrl());
    o.insert(QStringLiteral("account_api"), m_accountApi->baseUrl());
    o.insert(QStringLiteral("home_api"), m_homeApi->baseUrl());
    o.insert(QStringLiteral("cookie_domain"), QStringLiteral("127.0.0.1"));
    o.insert(QStringLiteral("update"), m_update->baseUrl());
    o.insert(QStringLiteral("stats"), m_stats->baseUrl());
    o.insert(QStringLiteral("ca_cert"), caFile());
    return o;
}

bool SimCloud::writeEndpointsFile(const QString& path) const
{
    QJsonObject root;
    QFile in(path);
    if (in.open(QIODevice::ReadOnly))
        root = QJsonDocument::fromJson(in.readAll()).object();
    in.close();
    const QJsonObject e = endpoints();
    for (auto it = e.constBegin(); it != e.constEnd(); ++it)
        root.insert(it.key(), it.value());
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(QJsonDocument(root).toJson());
    return out.commit();
}
