#pragma once

#include "sim/cloud/simhttpservice.h"

// The emulated account service (HTTPS): the sign-in page of sid "passport"
// with its form and cookies, the security home page, the two steps of the
// service login ("/pass/serviceLogin" with "_json=true", then "/sts") and
// "/pass/logout".
class SimAccountService : public SimHttpService
{
public:
    using SimHttpService::SimHttpService;

protected:
    void setupRoutes(httplib::Server& server) override;

private:
    void serviceLoginStep1(const httplib::Request& req, httplib::Response& res);
    void serviceLoginStep2(const httplib::Request& req, httplib::Response& res);
    void signInPage(const httplib::Request& req, httplib::Response& res);
    void signInSubmit(const httplib::Request& req, httplib::Response& res);
    void securityHome(const httplib::Request& req, httplib::Response& res);
    void logout(const httplib::Request& req, httplib::Response& res);
    QString signInPageUrl() const;
};
