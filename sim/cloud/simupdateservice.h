#pragma once

#include "sim/cloud/simhttpservice.h"

// The emulated update service (plain HTTP): "/updates/vu-updateV6.php"
// answers with the scenario's "latest_version" (or a raw "update_reply").
class SimUpdateService : public SimHttpService
{
public:
    using SimHttpService::SimHttpService;

protected:
    void setupRoutes(httplib::Server& server) override;
};
