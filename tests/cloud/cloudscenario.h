#pragma once

// The home of the cloud and account tests: two accounts, rooms with an empty and a repeated device id, cameras of every
// model (one with a pin code, one offline, one shared by the other account) and a device of another kind.

#include <QString>

namespace cloudtest {

inline QByteArray scenarioJson()
{
    return R"({"seed": "cloud-tests",
  "accounts": [{"user_id": "1234567890", "password": "secret", "nickname": "Alex", "icon": "/avatar/1234567890.png",
                "pass_token": "PT-0123456789abcdef-pass", "device_id": "pcdev1"},
               {"user_id": "2222222222", "password": "other", "nickname": "Sam", "icon": "",
                "pass_token": "PT-second-account-token", "device_id": "pcdev2"}],
  "rooms": [{"id": "r1", "name": "Living room", "icon": "living", "owner": "1234567890", "dids": ["cam1", ""]},
            {"id": "r2", "name": "Hall", "icon": "hall", "owner": "1234567890", "dids": ["cam1", "cam2"]},
            {"id": "r9", "name": "Other", "icon": "x", "owner": "2222222222", "dids": ["cam9"]}],
  "cameras": [{"did": "cam1", "name": "Front door", "model": "hovia.camera.v3", "owner": "1234567890", "password": "VIEWPASS-cam1-secret"},
              {"did": "cam2", "name": "Garden", "model": "lanterra.camera.ipc009", "owner": "1234567890", "pincode": "1234",
               "password": "VIEWPASS-cam2-secret"},
              {"did": "cam3", "name": "Garage", "model": "hovia.camera.v4", "owner": "1234567890", "online": false},
              {"did": "plug1", "name": "Plug", "model": "hovia.plug.v1", "owner": "1234567890"},
              {"did": "cam9", "name": "Shared", "model": "hovia.camera.v1", "owner": "2222222222", "shared_with": ["1234567890"]}]})";
}

inline const QString kUserId = QStringLiteral("1234567890");
inline const QString kPassToken = QStringLiteral("PT-0123456789abcdef-pass");

} // namespace cloudtest
