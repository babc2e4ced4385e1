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
