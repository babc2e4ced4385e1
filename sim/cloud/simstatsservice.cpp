#include "sim/cloud/simstatsservice.h"

#include "sim/cloud/simcloudstate.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <httplib.h>
#include <openssl/evp.h>

const char* const SimStatsService::kAppId = "2882303761517580742";
const char* const SimStatsService::kAppKey = "5691758012742";
const char* const SimStatsService::kSalt = "vC7#qL2!pZ9sT4xW8mN1bR6yH3kD5fJ0e";

namespace {

bool decrypt(const QByteArray& cipher, const QByteArray& key, QByteArray* plain)
{
    if (cipher.isEmpty() || cipher.size() % 16 != 0 || key.size() != 16)
        return false;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    QByteArray out(cipher.size() + 16, '\0');
    int len = 0;
    int tail = 0;
    const bool ok = ctx
        && EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr, reinterpret_cast<const unsigned char*>(key.constData()), nullptr) == 1
        && EVP_DecryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                             reinterpret_cast<const unsigned char*>(cipher.constData()), cipher.size()) == 1
        && EVP_DecryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len, &tail) == 1;
    EVP_CIPHER_CTX_free(ctx);
    if (!ok)
        return false;
    out.resize(len + tail);
    *plain = out;
    return true;
}

} // namespace

void SimStatsService::setupRoutes(httplib::Server& server)
{
    server.Get("/vustats/v2", [this](const httplib::Request& req, httplib::Response& res) {
        if (state()->applyFaults(req, res, true))
            return;
        QMap<QString, QString> items;
        for (const auto& p : req.params)
            items.insert(QString::fromStdString(p.first), QString::fromStdString(p.second));
        static const char* const required[] = {"app_id", "app_key", "channel", "vustatv", "version",
                                               "sdk_version", "device_id", "stat_value", "sign"};
        for (const char* r : required) {
            if (!items.contains(QLatin1String(r))) {
                res.status = 400;
                res.set_content(std::string("missing ") + r, "text/plain");
                return;
            }
        }
        if (items.value(QStringLiteral("app_id")) != QLatin1String(kAppId)
            || items.value(QStringLiteral("app_key")) != QLatin1String(kAppKey)) {
            res.status = 403;
            res.set_content("unknown app", "text/plain");
            return;
        }
        QString text;
        for (auto it = items.constBegin(); it != items.constEnd(); ++it) {
            if (it.key() != QLatin1String("sign"))
                text += it.key() + it.value();
        }
        text += QLatin1String(kSalt);
        const QString sign = QString::fromLatin1(QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex());
        if (sign != items.value(QStringLiteral("sign"))) {
            res.status = 403;
            res.set_content("bad sign", "text/plain");
            return;
        }
        const QString seed = QStringLiteral("seed:%1-%2-%3")
                                 .arg(QLatin1String(kAppId), QLatin1String(kAppKey), items.value(QStringLiteral("device_id")));
        const QByteArray key = QCryptographicHash::hash(seed.toLatin1(), QCryptographicHash::Md5).toHex().left(16).toUpper();
        QByteArray plain;
        QJsonParseError pe{};
        QJsonDocument doc;
        if (decrypt(QByteArray::fromHex(items.value(QStringLiteral("stat_value")).toLatin1()), key, &plain))
            doc = QJsonDocument::fromJson(plain, &pe);
        if (doc.isNull() || !doc.isArray()) {
            res.status = 400;
            res.set_content("stat_value does not decrypt to a report", "text/plain");
            return;
        }
        state()->addStatReport({items, doc});
        res.set_content("{\"code\":0}", "application/json");
    });
}
