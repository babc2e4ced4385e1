#pragma once

#include <QObject>
#include <QtGlobal>

class QNetworkReply;
class QNetworkRequest;

// Stamps the program's User-Agent on a request.
void setUserAgent(QNetworkRequest& request);

// Aborts a reply that is still running after msec milliseconds. It lives as a
// child of the reply, so it goes away with it.
class MNetworkReply : public QObject
{
    Q_OBJECT
public:
    MNetworkReply(QNetworkReply* reply, int msec);

signals:
    void timeout();

private:
    void onTimer();

    QNetworkReply* m_reply;
};

// Attaches a watchdog of msec milliseconds to the reply.
MNetworkReply* watch(QNetworkReply* reply, int msec);

// The most any cloud reply may carry; every request of the program is
// limited to this (smaller limits for single items such as the avatar).
constexpr qint64 kMaxReplyBytes = 16 * 1024 * 1024;

// Aborts the reply as soon as it announces or has received more than
// maxBytes ("reply larger than N bytes, and abort it"); it then ends with
// OperationCanceledError and replyTooLarge() tells the reason apart from a
// time-out.
void limitReplySize(QNetworkReply* reply, qint64 maxBytes = kMaxReplyBytes);
bool replyTooLarge(const QNetworkReply* reply);
