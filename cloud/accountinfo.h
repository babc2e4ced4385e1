#pragma once

#include <QByteArray>
#include <QString>

// The signed-in account's credentials and profile.
struct AccountInfo
{
    QString deviceId;     // from the web sign-in; not part of the stored record
    QString uid;
    QString passToken;
    QString serviceToken;
    QString ssecurity;
    QString name;
    QByteArray userIcon;  // the icon file as downloaded
};
