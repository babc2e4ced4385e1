#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QNetworkReply>
#include <QObject>
#include <QSslError>
#include <QString>

class QNetworkAccessManager;

// Turns a signed-in account (user id, pass token, device id) into a service
// token and the per-session ssecurity, in two steps against the account
// service. Every exchange ends in exactly one of the three signals.
class ServiceLogin : public QObject
{
    Q_OBJECT
public:
    // Each step is aborted after stepTimeoutMs (tests pass a shorter one).
    static constexpr int kStepTimeoutMs = 10000;
    explicit ServiceLogin(QObject* parent = nullptr, int stepTimeoutMs = kStepTimeoutMs);

    void login(const QString& sid, const QString& userId, const QString& passToken, const QString& deviceId);

    // The client signature of step 2: percent-encoded Base64 of
    // SHA-1("nonce=<nonce>&<ssecurity>").
    static QString clientSign(qlonglong nonce, const QString& ssecurity);

    // The parsers of the account service's answers, free of the network so
    // they can be fed arbitrary bytes.
    // Step 1's "extension-pragma" header: a JSON object with "ssecurity"
    // (required, non-empty) and "nonce" (a number; 0 when out of range).
    static bool extractSecurity(const QByteArray& ext_pragma, QString& ssecurity, long long& nonce);
    // Step 1's body: the JSON object after "&&&START&&&"; true with the
    // "location" when its "code" is 0.
    static bool extractLocation(const QString& rawJsonText, QString& location);
    // Step 2's answer: the value of the "serviceToken" cookie it sets, or an
    // empty string.
    static QString serviceTokenOf(const QList<QNetworkCookie>& cookies);

signals:
    void onServiceLogin(QString service_token, QString ssecurity);
    void onServiceLoginFail();
    void onNetworkError(QNetworkReply::NetworkError net_err);

private slots:
    void getServiceToken(QString location, QString ssecurity, qlonglong nonce);
    void getServiceTokenFinished();
    void handleSslErrors(QNetworkReply* reply, QList<QSslError> errors);

private:
    void getLocation();
    void getLocationFinished();

    QNetworkAccessManager* m_manager = nullptr;
    QString m_passToken;
    QString m_userId;
    QString m_deviceId;
    QString m_serviceId;
    QString m_serviceToken;
    QString m_ssecurity;
    int m_stepTimeoutMs;
};
