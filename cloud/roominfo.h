#pragma once

#include <QString>
#include <QStringList>

// One room of the user's home.
struct RoomInfo
{
    QString bssid;
    QString desc;
    QString id;
    QString name;
    QString icon;
    QString parentid;
    int shareflag = 0;
    QStringList dids;
};
