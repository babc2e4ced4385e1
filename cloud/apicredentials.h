#pragma once

#include <QString>

// The process-wide credentials of the home cloud API: user id, service token
// and ssecurity, set together after each service login and read by every
// signed request. Empty until set. Guarded by a mutex, so any thread may read.
class ApiCredentials
{
public:
    static void set(const QString& userId, const QString& serviceToken, const QString& ssecurity);
    static void clear();
    static QString userId();
    static QString serviceToken();
    static QString ssecurity();
};

void setApiCredentials(const QString& userId, const QString& serviceToken, const QString& ssecurity);
QString apiUserId();
QString apiServiceToken();
QString apiSsecurity();
