#pragma once

#include "camera/audiodecodethread.h"
#include "camera/avframeheader.h"
#include "camera/libp2p.h"
#include "camera/motorreply.h"
#include "camera/rdtupdatethread.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

// One fuzz input for the parsers of what a camera sends. Byte 0 picks the
// parser (byte 0 mod 4):
//   0..2: the rest is what a camera sends on the timeline's RDT channel;
//         byte 1 sets the largest piece one read hands out (short reads);
//   3:    with bit 2 of byte 0 clear, bytes 2.. are an IO-control message
//         buffer as the event thread receives it, byte 1 bit 0 making its
//         type the motor reply's; with bit 2 set, bytes 2.. are an encrypted
//         audio frame, byte 1 bit 0 choosing PCM over G.711 A-law.
// Returns the number of records, 1/0 for a reply, or the PCM size, so
// nothing is optimised away.
inline int runCameraFuzzInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int mode = data[0] % 4;
    if (mode != 3) {
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
        if (r == RDTUpdatethread::Failed && err == 0)
            __builtin_trap(); // a failure always says why
        return records.size();
    }
    const char* body = reinterpret_cast<const char*>(data + 2);
    const int len = int(size - 2);
    if ((data[0] & 4) == 0) {
        QJsonObject json;
        if (!parseIoCtrlJson(body, len, json) && !json.isEmpty())
            __builtin_trap(); // a message that is not an object leaves json alone
        const MotorReply reply = MotorReply::handle(data[1] & 1 ? MotorReply::IoType : 0x1FF, json);
        if (reply.kind() == MotorReply::Moved && !(reply.angle() == reply.angle()))
            __builtin_trap(); // NaN
        return reply.kind() == MotorReply::Moved ? 1 : 0;
    }
    static const QByteArray key("camera-fuzz-media-key-0123456789", 32);
    const quint16 codec = data[1] & 1 ? AvFrameHeader::CodecPcm : AvFrameHeader::CodecG711A;
    const QByteArray plain = AudioDecodeThread::decryptFrame(QByteArray(body, len), key);
    const QByteArray pcm = AudioDecodeThread::decodePayload(plain, codec);
    if (pcm.size() % 2 != 0)
        __builtin_trap(); // whole 16-bit samples only
    return pcm.size();
}
