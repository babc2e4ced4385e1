#include "sim/cloud/simupdateservice.h"

#include "sim/cloud/simcloudstate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <httplib.h>

void SimUpdateService::setupRoutes(httplib::Server& server)
{
    server.Get("/updates/vu-updateV6.php", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, true))
            return;
        if (param(req, "v") != QLatin1String("0.0.1") || param(req, "c") != QLatin1String("4.0")
            || param(req, "d") != QLatin1String("VuCamera") || param(req, "b") != QLatin1String("X")) {
            res.status = 400;
            res.set_content("unknown product", "text/plain");
            return;
        }
        const QJsonObject f = state()->faults();
        if (f.contains(QLatin1String("update_reply"))) {
            const QJsonValue raw = f.value(QLatin1String("update_reply"));
            const QByteArray body = raw.isString() ? raw.toString().toUtf8()
                                                   : QJsonDocument::fromVariant(raw.toVariant()).toJson(QJsonDocument::Compact);
            res.set_content(body.toStdString(), "application/json");
            return;
        }
        const QString version = f.value(QLatin1String("latest_version")).toString(QStringLiteral("3.0.0"));
        const QString mirror = f.value(QLatin1String("update_mirror")).toString(baseUrl() + QStringLiteral("/downloads"));
        const QJsonObject latest{{QStringLiteral("version"), version},
                                 {QStringLiteral("md5"), QStringLiteral("00000000000000000000000000000000")},
                                 {QStringLiteral("filesize"), QStringLiteral("1048576")},
                                 {QStringLiteral("filename"), QStringLiteral("VuCamera-setup.exe")}};
        const QJsonObject o{{QStringLiteral("LatestVersion"), latest}, {QStringLiteral("MirrorList"), QJsonArray{mirror}}};
        res.set_content(QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    });
}
