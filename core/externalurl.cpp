#include "core/externalurl.h"

namespace ExternalUrl {

QUrl webUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        || url.host().isEmpty())
        return QUrl();
    return url;
}

QUrl webUrl(const QString& text)
{
    return webUrl(QUrl(text.trimmed(), QUrl::StrictMode));
}

} // namespace ExternalUrl
