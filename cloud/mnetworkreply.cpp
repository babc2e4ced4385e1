#include "cloud/mnetworkreply.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

void setUserAgent(QNetworkRequest& request)
{
    request.setRawHeader("User-Agent", "vucam_pc_v3");
}

MNetworkReply::MNetworkReply(QNetworkReply* reply, int msec)
    : QObject(reply), m_reply(reply)
{
    if (reply && reply->isRunning())
        QTimer::singleShot(msec, this, &MNetworkReply::onTimer);
}

void MNetworkReply::onTimer()
{
    if (!m_reply || !m_reply->isRunning())
        return;
    qWarning("reply timeout, and abort it");
    m_reply->abort();
    emit timeout();
}

MNetworkReply* watch(QNetworkReply* reply, int msec)
{
    return new MNetworkReply(reply, msec);
}

namespace {
const char* const kTooLargeProperty = "vcReplyTooLarge";
}

void limitReplySize(QNetworkReply* reply, qint64 maxBytes)
{
    if (!reply)
        return;
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64 total) {
        if ((received > maxBytes || total > maxBytes) && !reply->property(kTooLargeProperty).toBool()) {
            reply->setProperty(kTooLargeProperty, true);
            qWarning("reply larger than %lld bytes, and abort it", static_cast<long long>(maxBytes));
            reply->abort();
        }
    });
}

bool replyTooLarge(const QNetworkReply* reply)
{
    return reply && reply->property(kTooLargeProperty).toBool();
}
