#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

// One camera of the user's home as the cloud reports it.
struct VuotCameraStat
{
    QString did;
    QString name;
    QString model;
    bool isOnline = false;
    QString ssid;
    bool isSetPincode = false;
    int shareFlag = 0;
    int adminFlag = 0;
    int permitLevel = 0;
    QString ownerNickname;
    QString ownerUserId;
    QString ownerIcon;
};

Q_DECLARE_METATYPE(VuotCameraStat)
