#pragma once

// Shared by the cloud tests: a scenario, the emulated cloud on ephemeral
// ports with the endpoints pointed at it, a signed-in session, and a capture
// of log messages.

#include "app/endpoints.h"
#include "cloud/apicredentials.h"
#include "sim/cloud/simaccountapi.h"
#include "sim/cloud/simcloud.h"
#include "sim/scenario/scenario.h"
#include "tests/support/logcapture.h"

#include <QJsonDocument>
#include <mutex>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace cloudtest {

inline const char* scenarioJson()
{
    return R"({
  "seed": "cloud-tests",
  "accounts": [
    {"user_id": "1234567890", "password": "secret", "nickname": "Alex", "icon": "/avatar/1234567890.png",
     "pass_token": "PT-0123456789abcdef-pass", "device_id": "pcdev1"},
    {"user_id": "2222222222", "password": "other", "nickname": "Sam", "icon": "",
     "pass_token": "PT-second-account-token", "device_id": "pcdev2"}
  ],
  "rooms": [
    {"id": "r1", "name": "Living room", "icon": "living", "owner": "1234567890", "dids": ["cam1", ""]},
    {"id": "r2", "name": "Hall", "icon": "hall", "owner": "1234567890", "dids": ["cam1", "cam2"]},
    {"id": "r9", "name": "Other", "icon": "x", "owner": "2222222222", "dids": ["cam9"]}
  ],
  "cameras": [
    {"did": "cam1", "name": "Front door", "model": "hovia.camera.v3", "owner": "1234567890",
     "password": "VIEWPASS-cam1-secret"},
    {"did": "cam2", "name": "Garden", "model": "lanterra.camera.ipc009", "owner": "1234567890",
     "pincode": "1234", "password": "VIEWPASS-cam2-secret"},
    {"did": "cam3", "name": "Garage", "model": "hovia.camera.v4", "owner": "1234567890", "online": false},
    {"did": "plug1", "name": "Plug", "model": "hovia.plug.v1", "owner": "1234567890"},
    {"did": "cam9", "name": "Shared", "model": "hovia.camera.v1", "owner": "2222222222",
     "shared_with": ["1234567890"]}
  ]
})";
}

inline const QString kUserId = QStringLiteral("1234567890");
inline const QString kPassToken = QStringLiteral("PT-0123456789abcdef-pass");


// The emulated cloud of scenarioJson(), with Endpoints pointed at it.
class CloudFixture
{
public:
    bool start()
    {
        scenario.reset(new Scenario);
        QString error;
        if (!scenario->loadJson(scenarioJson(), &error)) {
            qWarning("scenario: %s", qUtf8Printable(error));
            return false;
        }
        cloud.reset(new SimCloud(scenario.get()));
        if (!cloud->start(dir.path() + QStringLiteral("/certs"), &error)) {
            qWarning("cloud: %s", qUtf8Printable(error));
            return false;
        }
        Endpoints::setCurrent(Endpoints::fromJson(cloud->endpoints()));
        return true;
    }
    void stop()
    {
        if (cloud)
            cloud->stop();
    }
    // A session made directly on the emulator (the service login itself is
    // tested on its own); sets the process-wide API credentials.
    void signIn(const QString& userId = kUserId)
    {
        const QString ssecurity = QStringLiteral("c2VjdXJpdHktZm9yLXRlc3RzIQ==");
        const QString token = cloud->state()->addSession({userId, ssecurity});
        setApiCredentials(userId, token, ssecurity);
    }
    void setFaults(const QByteArray& json)
    {
        scenario->setCloudFaults(QJsonDocument::fromJson(json).object());
    }

    QTemporaryDir dir;
    std::unique_ptr<Scenario> scenario;
    std::unique_ptr<SimCloud> cloud;
};

} // namespace cloudtest
