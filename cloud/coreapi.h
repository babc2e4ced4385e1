#pragma once

#include "cloud/requestsigner.h"

#include <QJsonObject>
#include <QObject>
#include <QNetworkRequest>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// One signed request to the home cloud API: builds the signed, encrypted form
// body, posts it with the user id and service token as cookies, and decrypts
// and checks the reply. Meant for one request; the caller deletes it later.
//
// Codes: 0 success, 1 network failure, 2 reply not a decryptable JSON object
// (or larger than kMaxReplyBytes, cut off while it arrived),
// 3 (getResult only) the time limit fired.
class CoreApi : public QObject
{
    Q_OBJECT
public:
    static constexpr quint32 kNoLimit = 0xFFFFFFFFu;

    // How long sendRequest waits for a reply before it aborts it.
    static constexpr int kDefaultWatchdogMs = 10000;

    explicit CoreApi(QObject* parent = nullptr, int watchdogMs = kDefaultWatchdogMs);

    void sendRequest(const QString& path, const QJsonObject& params, quint32 timeoutMs);
    int getResult(const QString& path, const QJsonObject& params, QJsonObject& result, quint32 timeoutMs);

    // Decrypts a reply body with the key of ssecurity and nonce and checks
    // that it is a JSON object: 0 (result filled) or 2.
    static int decodeReply(const QByteArray& body, const QString& ssecurity, const QString& nonce, QJsonObject& result);

    int watchdogMs() const { return m_watchdogMs; }

signals:
    void sendRequestFinished(int ret_code, QJsonObject result);

private slots:
    void onSendRequestFinished();

private:
    QNetworkReply* post(const QString& path, const QJsonObject& params);
    // Evaluates a finished reply; cancelledCode is the code for an abort.
    int evaluate(QNetworkReply* reply, QJsonObject& result, int cancelledCode);

    QNetworkAccessManager* m_manager;
    QNetworkRequest m_request;
    RequestSigner m_signer;
    QString m_userId;
    QString m_serviceToken;
    const int m_watchdogMs;
};
