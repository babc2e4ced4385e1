#pragma once

#include "camera/motorreply.h"
#include "camera/rdtupdatethread.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <cstring>

// One fuzz input for the camera's parsers. Byte 0 picks the parser:
//   even: the rest is what a camera sends on the timeline's RDT channel;
//         byte 1 sets the largest piece one read hands out (short reads);
//   odd:  the rest is an IO-control payload, read as a motor reply.
// Returns the number of records or 1/0 for the reply, so nothing is
// optimised away.
inline int runCameraFuzzInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    if ((data[0] & 1) == 0) {
        const int chunk = 1 + data[1] % 17;
        QByteArray stream(reinterpret_cast<const char*>(data + 2), int(size - 2));
        RdtApi api;
        api.write = [](int, const char*, int len) { return len; };
        api.read = [&stream, chunk](int, char* buf, int len, int) {
            if (stream.isEmpty())
                return -10007; // time-out
            const int n = qMin(qMin(len, chunk), stream.size());
            std::memcpy(buf, stream.constData(), size_t(n));
            stream.remove(0, n);
            return n;
        };
        QVector<RecordFileHeader> records;
        int err = 0;
        const auto r = RDTUpdatethread::fetchTimeLine(api, 1, [] { return false; }, &records, &err);
        if (r != RDTUpdatethread::Delivered && !records.isEmpty())
            __builtin_trap(); // a failed exchange must deliver nothing
        if (r == RDTUpdatethread::Delivered && records.isEmpty())
            __builtin_trap();
        return records.size();
    }
    const QJsonObject json = MotorReply::parsePayload(reinterpret_cast<const char*>(data + 1), int(size - 1));
    const MotorReply reply = MotorReply::handle(data[1] & 1 ? 0xF006 : 0x1FF, json);
    return reply.kind() == MotorReply::Moved ? 1 : 0;
}
