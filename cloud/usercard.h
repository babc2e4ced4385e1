#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// The public profile of the signed-in user: display name and avatar, fetched
// from the account API's user card, then the avatar file.
class UserCard : public QObject
{
    Q_OBJECT
public:
    explicit UserCard(QObject* parent = nullptr);

    void get(const QString& uid);
    void clear();

    // The largest avatar accepted; a bigger one is dropped (no icon).
    static constexpr qint64 kMaxIconBytes = 2 * 1024 * 1024;

    QString nick;
    QUrl iconUrl;
    QByteArray icon;

signals:
    void onUserCardGot();
    void onUserCardGotFail();

private:
    void handleUserCardReply();
    void handleUserIconReply();

    QNetworkAccessManager* m_manager;
};
