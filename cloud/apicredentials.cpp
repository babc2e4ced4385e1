#include "cloud/apicredentials.h"

#include "cloud/secretredactor.h"

#include <mutex>

namespace {
std::mutex g_mutex;
QString g_userId;
QString g_serviceToken;
QString g_ssecurity;
} // namespace

void ApiCredentials::set(const QString& userId, const QString& serviceToken, const QString& ssecurity)
{
    SecretRedactor::addSecret(serviceToken);
    SecretRedactor::addSecret(ssecurity);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_userId = userId;
    g_serviceToken = serviceToken;
    g_ssecurity = ssecurity;
}

void ApiCredentials::clear()
{
    set(QString(), QString(), QString());
}

QString ApiCredentials::userId()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_userId;
}

QString ApiCredentials::serviceToken()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_serviceToken;
}

QString ApiCredentials::ssecurity()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_ssecurity;
}

void setApiCredentials(const QString& userId, const QString& serviceToken, const QString& ssecurity)
{
    ApiCredentials::set(userId, serviceToken, ssecurity);
}

QString apiUserId() { return ApiCredentials::userId(); }
QString apiServiceToken() { return ApiCredentials::serviceToken(); }
QString apiSsecurity() { return ApiCredentials::ssecurity(); }
