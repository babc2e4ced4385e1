#pragma once

#include "cloud/roominfo.h"

#include <QList>

// The user's rooms in the cloud's order.
class RoomList : public QList<RoomInfo>
{
public:
    // The first room whose device ids contain did exactly; null when none.
    const RoomInfo* roomOf(const QString& did) const;
};
