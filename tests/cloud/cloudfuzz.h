#pragma once

#include "cloud/coreapi.h"
#include "cloud/rc4dropcoder.h"
#include "cloud/requestsigner.h"
#include "cloud/secretredactor.h"
#include "cloud/servicelogin.h"
#include "cloud/usercard.h"
#include "cloud/versionupdater.h"
#include "cloud/vuotapi.h"

#include <QNetworkCookie>
#include <cstdint>

// The fuzz inputs of the cloud's parsers, shared by the libFuzzer entries and the replay tests of the normal build.

namespace cloudfuzz {

// The key of every reply: an ssecurity and a nonce of the right forms.
inline QString ssecurity() { return QStringLiteral("c2VjdXJpdHktZm9yLWZ1enppbmc="); }
inline QString nonce() { return QStringLiteral("AQIDBAUGBwgBAgME"); }

// Every parser of a decrypted home API answer.
inline int parseAll(const QJsonObject& o)
{
    int found = 0;
    QList<VuotCameraStat> cams;
    if (VuotApi::parseDeviceList(o, cams) == 0)
        found += cams.size();
    else if (!cams.isEmpty())
        __builtin_trap(); // a rejected list must deliver nothing
    RoomList rooms;
    if (VuotApi::parseRoomList(o, rooms) == 0) {
        for (const RoomInfo& r : rooms)
            rooms.roomOf(r.id);
        found += rooms.size();
    }
    CamPropSet set;
    VuotApi::parseProperties(o, set);
    CameraPassport passport;
    passport.appSecretKey = QByteArray(32, 'k');
    passport.appPublicKey = QByteArray(32, 'p');
    const int pass = VuotApi::parseDevicePass(o, passport);
    if (pass == 0 && passport.p2p_id.isEmpty())
        __builtin_trap();
    if (!passport.sharedKey.isEmpty() && passport.sharedKey.size() != 32)
        __builtin_trap();
    return found;
}

} // namespace cloudfuzz

// A home API answer. Each input is used twice: as a raw reply body (Base64, decrypted with a fixed key) and as the
// plaintext of a well-encrypted reply, so the JSON parsers see the fuzzer's bytes.
inline int runHomeApiFuzzInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<int>(size));
    int found = 0;
    QJsonObject result;
    if (CoreApi::decodeReply(input, cloudfuzz::ssecurity(), cloudfuzz::nonce(), result) == 0)
        found += cloudfuzz::parseAll(result);

    RC4DropCoder coder(RequestSigner::signedNonce(cloudfuzz::ssecurity(), cloudfuzz::nonce()));
    const QByteArray body = coder.process(input).toBase64();
    QJsonObject plainResult;
    if (CoreApi::decodeReply(body, cloudfuzz::ssecurity(), cloudfuzz::nonce(), plainResult) == 0)
        found += cloudfuzz::parseAll(plainResult);
    SecretRedactor::forgetSecrets(); // passwords of throw-away answers
    return found;
}

// An account service answer. Byte 0 (mod 5) picks the parser, the rest is its input:
//   0: the service login's "extension-pragma" header;
//   1: the service login's step 1 body;
//   2: a raw Set-Cookie header of the service login's step 2;
//   3: the update service's answer;
//   4: a user card answer.
// Returns 1 when the parser accepted the input.
inline int runAccountFuzzInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray in(reinterpret_cast<const char*>(data + 1), static_cast<int>(size - 1));
    int accepted = 0;
    switch (data[0] % 5) {
    case 0: {
        QString ssecurity;
        long long nonce = 0;
        accepted = ServiceLogin::extractSecurity(in, ssecurity, nonce);
        if (accepted && ssecurity.isEmpty())
            __builtin_trap();
        ServiceLogin::clientSign(nonce, ssecurity);
        break;
    }
    case 1: {
        QString location;
        accepted = ServiceLogin::extractLocation(QString::fromUtf8(in), location);
        break;
    }
    case 2:
        accepted = !ServiceLogin::serviceTokenOf(QNetworkCookie::parseCookies(in)).isEmpty();
        break;
    case 3: {
        VersionUpdater::Published published;
        accepted = VersionUpdater::parseReply(in, published);
        // The policy travels as a PromptPolicy.
        if (accepted && (published.policy < PromptNever || published.policy > PromptAtStart || published.version.segmentCount() != 3))
            __builtin_trap();
        break;
    }
    default: {
        QString nick;
        QUrl icon;
        accepted = UserCard::parseCard(in, nick, icon);
        if (!accepted && (!nick.isEmpty() || !icon.isEmpty()))
            __builtin_trap(); // a rejected card leaves the fields alone
        break;
    }
    }
    SecretRedactor::forgetSecrets();
    return accepted;
}
