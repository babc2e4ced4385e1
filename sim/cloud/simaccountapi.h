#pragma once

#include "sim/cloud/simhttpservice.h"

// The emulated account API (plain HTTP): the user card "/pass/usersCard" and
// the avatar files under "/avatar/".
class SimAccountApi : public SimHttpService
{
public:
    using SimHttpService::SimHttpService;

    // The PNG served as every avatar.
    static QByteArray avatarPng();

protected:
    void setupRoutes(httplib::Server& server) override;
};
