#pragma once

#include <QObject>

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
