#include "cloud/roomlist.h"

const RoomInfo* RoomList::roomOf(const QString& did) const
{
    for (const RoomInfo& r : *this) {
        if (r.dids.contains(did, Qt::CaseSensitive))
            return &r;
    }
    return nullptr;
}
