#pragma once

#include <QByteArray>
#include <QPair>
#include <QVector>

// The sending camera's side of the encrypted video frame:
//
//   nonce (8) | N (1) | N x {u32 offset, u32 length} | payload
//
// The payload is the Annex-B access unit. Each table entry names one NAL unit
// (offset of its header byte after the start code, relative to the payload, and
// its length up to the next start code). In every unit the 16-byte blocks at
// unit positions 32, 192, 352, ... that begin before length - 16 are XORed with
// the first 16 bytes of the ChaCha20 key stream (64-bit nonce, counter 0) of
// the media key and the frame's nonce. At most 255 units are listed; further
// units go unprotected.
//
// The 24-byte frame header (little-endian) that goes with every frame:
//   0 u16 codec id, 2 u8 key-frame flag, 4 u64 the sender's clock in
//   microseconds at sending (not read by the client; for latency measurements),
//   12 u32 frame sequence number, 16 u8 bit 0 playback, 20 u32 time stamp
//   (seconds since 1970).
class FrameEncryptor
{
public:
    static constexpr quint16 kCodecH264 = 0x0401;
    static constexpr quint16 kCodecH265 = 0x0402;
    static constexpr int kHeaderSize = 24;

    // key: 32 bytes; any other length encrypts with an all-zero key (a camera
    // whose viewer has no media key: the client drops such frames).
    explicit FrameEncryptor(const QByteArray& key);

    QByteArray encrypt(const QByteArray& accessUnit) const;              // random nonce
    QByteArray encrypt(const QByteArray& accessUnit, const QByteArray& nonce) const;

    // NAL units of an Annex-B stream: {offset of the header byte, length}.
    static QVector<QPair<int, int>> nalUnits(const QByteArray& annexB);

    static QByteArray header(quint16 codecId, bool keyFrame, bool playback, quint32 timestamp,
                             quint64 sendTimeUs = 0, quint32 sequence = 0);
    // Reads back the sender clock field of a header (bytes 4..11).
    static quint64 sendTimeUs(const unsigned char* header);

private:
    QByteArray m_key;
};
