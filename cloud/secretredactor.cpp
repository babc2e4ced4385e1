#include "cloud/secretredactor.h"

#include <mutex>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

namespace {

std::mutex g_mutex;
QSet<QString> g_secrets;

// Member and item names whose values are secrets.
const char* const kNames =
    "password|ssecurity|passToken|pass_token|serviceToken|service_token|token|"
    "secret_key|secretKey|signed_nonce|p2p_dev_secret_key|ticket|clientSign";

const QRegularExpression& jsonPattern()
{
    // "name": "value"   (also with escaped quotes inside the value)
    static const QRegularExpression re(
        QStringLiteral("(\"(?:%1)\"\\s*:\\s*\")((?:[^\"\\\\]|\\\\.)*)(\")").arg(QLatin1String(kNames)));
    return re;
}

const QRegularExpression& pairPattern()
{
    // name=value in cookies, query strings and form bodies
    static const QRegularExpression re(
        QStringLiteral("(\\b(?:%1)=)([^;&\\s\"]*)").arg(QLatin1String(kNames)));
    return re;
}

} // namespace

QString SecretRedactor::redact(const QString& text)
{
    QString out = text;
    out.replace(jsonPattern(), QStringLiteral("\\1***\\3"));
    out.replace(pairPattern(), QStringLiteral("\\1***"));
    QSet<QString> secrets;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        secrets = g_secrets;
    }
    for (const QString& s : qAsConst(secrets)) {
        if (out.contains(s))
            out.replace(s, QLatin1String(kMask));
        // The same value as it appears percent-encoded in a URL or body.
        const QString enc = QString::fromLatin1(QUrl::toPercentEncoding(s));
        if (enc != s && out.contains(enc))
            out.replace(enc, QLatin1String(kMask));
    }
    return out;
}

QByteArray SecretRedactor::redact(const QByteArray& text)
{
    return redact(QString::fromUtf8(text)).toUtf8();
}

void SecretRedactor::addSecret(const QString& value)
{
    if (value.size() < 4)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_secrets.insert(value);
}

void SecretRedactor::forgetSecrets()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_secrets.clear();
}
