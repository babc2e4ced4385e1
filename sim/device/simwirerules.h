#pragma once

#include <QByteArray>
#include <QString>

// The rules a camera holds the client's messages to, byte for byte. Each
// check returns an empty string when the message keeps the rules, else the
// rule it breaks (one short sentence, for the camera's log and the list of
// protocol violations).
//
// IO-control payloads are either exactly 8 zero bytes or compact JSON: no
// white space, no terminating NUL, members in ascending order of their names,
// every value a JSON integer, exactly the members of the command.
class SimWireRules
{
public:
    // The IO-control commands a client sends; types without a rule pass.
    static QString checkIoCtrl(unsigned int type, const QByteArray& payload);
    // Whether checkIoCtrl has a rule for the type.
    static bool covers(unsigned int type);
    // The timeline request on the memory card's RDT channel: the u32 value 6
    // (little-endian), nothing more.
    static QString checkTimelineRequest(const QByteArray& request);
    // The view account of an AV login: "admin", or the compact JSON object
    // {"account":"admin","public_key":<64 lower-case hex>,"sign":<128
    // lower-case hex>} in exactly that order.
    static QString checkViewAccount(const QByteArray& account);
};
