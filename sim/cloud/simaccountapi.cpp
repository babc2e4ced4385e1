#include "sim/cloud/simaccountapi.h"

#include "sim/cloud/simcloudstate.h"
#include "sim/scenario/scenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <httplib.h>

QByteArray SimAccountApi::avatarPng()
{
    // A 1x1 PNG.
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
}

void SimAccountApi::setupRoutes(httplib::Server& server)
{
    server.Get("/pass/usersCard", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, true))
            return;
        const QString uid = param(req, "ids");
        QJsonArray list;
        SimAccount a;
        if (!uid.isEmpty() && state()->scenario()->account(uid, &a)) {
            QString icon = a.icon;
            if (!icon.isEmpty() && icon.startsWith(QLatin1Char('/')))
                icon = baseUrl() + icon;
            list.append(QJsonObject{{QStringLiteral("userId"), a.userId},
                                    {QStringLiteral("vuchatNick"), a.nickname},
                                    {QStringLiteral("vuchatIcon"), icon}});
        }
        const QJsonObject o{{QStringLiteral("code"), 0}, {QStringLiteral("result"), QStringLiteral("ok")},
                            {QStringLiteral("data"), QJsonObject{{QStringLiteral("list"), list}}}};
        res.set_content(QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString(), "application/json");
    });
    server.Get(R"(/avatar/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, false))
            return;
        const QByteArray png = avatarPng();
        res.set_content(png.constData(), static_cast<size_t>(png.size()), "image/png");
    });
}
