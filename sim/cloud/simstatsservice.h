#pragma once

#include "sim/cloud/simhttpservice.h"

// The emulated statistics service (plain HTTP): "/vustats/v2" checks the
// items and "sign", decrypts "stat_value" (AES-128-ECB with the key derived
// from the app id, app key and "device_id") and keeps the report.
class SimStatsService : public SimHttpService
{
public:
    using SimHttpService::SimHttpService;

    // Issued to the client by the statistics service.
    static const char* const kAppId;
    static const char* const kAppKey;
    static const char* const kSalt;

protected:
    void setupRoutes(httplib::Server& server) override;
};
