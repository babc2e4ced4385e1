// libFuzzer target: home API reply decryption and the parsing of every reply
// kind. Each input is used twice: as a raw reply body (Base64, decrypted with
// a fixed key) and as the plaintext of a well-encrypted reply, so the JSON
// parsers see the fuzzer's bytes.
#include "cloud/coreapi.h"
#include "cloud/rc4dropcoder.h"
#include "cloud/requestsigner.h"
#include "cloud/vuotapi.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <cstddef>
#include <cstdint>

namespace {

const QString kSsecurity = QStringLiteral("c2VjdXJpdHktZm9yLWZ1enppbmc=");
const QString kNonce = QStringLiteral("AQIDBAUGBwgBAgME");

void silence(QtMsgType, const QMessageLogContext&, const QString&) {}

void parseAll(const QJsonObject& o)
{
    QList<VuotCameraStat> cams;
    VuotApi::parseDeviceList(o, cams);
    RoomList rooms;
    VuotApi::parseRoomList(o, rooms);
    for (const RoomInfo& r : rooms)
        rooms.roomOf(r.id);
    CamPropSet set;
    VuotApi::parseProperties(o, set);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool once = [] {
        qInstallMessageHandler(silence);
        return true;
    }();
    (void)once;
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<int>(size));

    QJsonObject result;
    if (CoreApi::decodeReply(input, kSsecurity, kNonce, result) == 0)
        parseAll(result);

    RC4DropCoder coder(RequestSigner::signedNonce(kSsecurity, kNonce));
    const QByteArray body = coder.process(input).toBase64();
    QJsonObject plainResult;
    if (CoreApi::decodeReply(body, kSsecurity, kNonce, plainResult) == 0)
        parseAll(plainResult);
    return 0;
}
