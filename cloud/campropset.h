#pragma once

#include <QMetaType>
#include <QString>

// The camera settings kept by the cloud, read with "get_prop". On/off fields
// hold 1 for "on", 2 for "off", 0 for anything else.
struct CamPropSet
{
    enum OnOff { Unknown = 0, On = 1, Off = 2 };

    int light = Unknown;
    QString motion_record;
    int flip = Unknown;
    int watermark = Unknown;
    int sdcard_status = 0;
    int power = On;
    int wdr = Unknown;
    int night_mode = 0;
    bool max_client = false;
};

Q_DECLARE_METATYPE(CamPropSet)
