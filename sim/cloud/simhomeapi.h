#pragma once

#include "sim/cloud/simhttpservice.h"

#include <QJsonObject>

struct SimCamera;

// The emulated home cloud API (HTTPS, POST "/app/..."). Every request must
// carry the "userId" and "serviceToken" cookies of a session made by the
// service login and a form body whose signature, nonce, encrypted "data" and
// "rc4_hash__" all check out; stale and replayed nonces are refused. Replies
// are RC4-drop-1024 encrypted with the signed nonce, Base64.
class SimHomeApi : public SimHttpService
{
public:
    using SimHttpService::SimHttpService;

    // Nonces older or newer than this many minutes are stale.
    static constexpr int kNonceWindowMinutes = 5;

    // RC4 with 1024 bytes dropped (the emulator's own implementation).
    static QByteArray rc4Drop(const QByteArray& key, const QByteArray& data);

protected:
    void setupRoutes(httplib::Server& server) override;

private:
    void handle(const httplib::Request& req, httplib::Response& res);
    QJsonObject dispatch(const QString& path, const QString& userId, const QJsonObject& params);
    QJsonObject deviceList(const QString& userId);
    QJsonObject roomList(const QString& userId);
    QJsonObject rpc(const QString& userId, const QString& did, const QJsonObject& params);
    QJsonObject devicePass(const QString& userId, const QJsonObject& params);
    bool visibleCamera(const QString& userId, const QString& did, SimCamera* out) const;
};
