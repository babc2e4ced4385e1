#pragma once

#include <QByteArray>
#include <QList>
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
    explicit ServiceLogin(QObject* parent = nullptr);

    void login(const QString& sid, const QString& userId, const QString& passToken, const QString& deviceId);

    // The client signature of step 2: percent-encoded Base64 of
    // SHA-1("nonce=<nonce>&<ssecurity>").
    static QString clientSign(qlonglong nonce, const QString& ssecurity);

signals:
    void onServiceLogin(QString service_token, QString ssecurity);
    void onServiceLoginFail();
    void onNetworkError(QNetworkReply::NetworkError net_err);

private slots:
    bool extractSecurity(QByteArray ext_pragma, QString& ssecurity, long long& nonce);
    bool extractLocation(QString rawJsonText, QString& location);
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
};
