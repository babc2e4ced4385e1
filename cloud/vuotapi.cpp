#include "cloud/vuotapi.h"

#include "core/functiontrace.h"
#include "cloud/coreapi.h"
#include "cloud/secretredactor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <sodium.h>

namespace {

const char* const kPropNames[] = {"light", "motion_record", "flip", "watermark", "sdcard_status",
                                  "power", "wdr", "night_mode", "max_client"};

// A reply as one log line: secrets masked first, then cut (a cut first could
// leave part of a secret unmatched), so a huge reply cannot flood the log.
QString compact(const QJsonObject& o)
{
    constexpr int kLoggedChars = 1000;
    return SecretRedactor::redact(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)))
        .left(kLoggedChars);
}

int decimal(const QString& s)
{
    bool ok = false;
    const int v = s.toInt(&ok);
    return ok ? v : 0;
}

} // namespace

VuotApi::VuotApi(QObject* parent, int watchdogMs) : QObject(parent), m_watchdogMs(watchdogMs) {}

bool VuotApi::isSupportedModel(const QString& model)
{
    return model == QLatin1String("hovia.camera.v1") || model == QLatin1String("hovia.camera.v3")
        || model == QLatin1String("hovia.camera.v4") || model == QLatin1String("lanterra.camera.ipc009");
}

int VuotApi::onOff(const QString& text)
{
    if (text == QLatin1String("on"))
        return CamPropSet::On;
    if (text == QLatin1String("off"))
        return CamPropSet::Off;
    return CamPropSet::Unknown;
}

void VuotApi::getDeviceList(const QString& ssid, const QString& bssid, bool getVirtualModel, int getPulsaDevices)
{
    FunctionTrace trace("VuotApi::getDeviceList");
    QJsonObject params;
    params.insert(QStringLiteral("ssid"), ssid);
    params.insert(QStringLiteral("bssid"), bssid);
    params.insert(QStringLiteral("getVirtualModel"), getVirtualModel);
    params.insert(QStringLiteral("getPulsaDevices"), getPulsaDevices);
    auto* api = new CoreApi(this, m_watchdogMs);
    connect(api, &CoreApi::sendRequestFinished, this, &VuotApi::onGetDeviceListFinished);
    api->sendRequest(QStringLiteral("/home/device_list"), params, 10000);
}

int VuotApi::parseDeviceList(const QJsonObject& reply, QList<VuotCameraStat>& out)
{
    out.clear();
    const QJsonValue result = reply.value(QLatin1String("result"));
    if (!result.isObject() || !result.toObject().value(QLatin1String("list")).isArray()) {
        qWarning("invalid json:%s", qUtf8Printable(compact(reply)));
        qWarning("parseDeviceList err:%s", qUtf8Printable(compact(reply)));
        return 2;
    }
    for (const QJsonValue& v : result.toObject().value(QLatin1String("list")).toArray()) {
        if (!v.isObject())
            continue;
        const QJsonObject o = v.toObject();
        if (!o.contains(QLatin1String("model")) || !isSupportedModel(o.value(QLatin1String("model")).toString()))
            continue;
        VuotCameraStat s;
        s.did = o.value(QLatin1String("did")).toString();
        s.name = o.value(QLatin1String("name")).toString();
        s.model = o.value(QLatin1String("model")).toString();
        s.isOnline = o.value(QLatin1String("isOnline")).toBool(false);
        s.ssid = o.value(QLatin1String("ssid")).toString();
        s.isSetPincode = o.value(QLatin1String("extra")).toObject().value(QLatin1String("isSetPincode")).toInt() != 0;
        s.shareFlag = o.value(QLatin1String("shareFlag")).toInt();
        s.adminFlag = o.value(QLatin1String("adminFlag")).toInt();
        s.permitLevel = o.value(QLatin1String("permitLevel")).toInt();
        if (o.contains(QLatin1String("owner"))) {
            const QJsonObject owner = o.value(QLatin1String("owner")).toObject();
            s.ownerNickname = owner.value(QLatin1String("nickname")).toString();
            s.ownerUserId = owner.value(QLatin1String("userid")).toString();
            s.ownerIcon = owner.value(QLatin1String("icon")).toString();
        }
        out.append(s);
    }
    return 0;
}

void VuotApi::onGetDeviceListFinished(int ret, QJsonObject result)
{
    FunctionTrace trace("VuotApi::onGetDeviceListFinished");
    if (sender())
        sender()->deleteLater();
    QList<VuotCameraStat> cameras;
    if (ret == 0)
        ret = parseDeviceList(result, cameras);
    emit getDeviceListFinished(ret, cameras);
}

void VuotApi::getRoomList()
{
    FunctionTrace trace("VuotApi::getRoomList");
    auto* api = new CoreApi(this, m_watchdogMs);
    connect(api, &CoreApi::sendRequestFinished, this, &VuotApi::onGetRoomListFinished);
    api->sendRequest(QStringLiteral("/homeroom/getroom"), QJsonObject(), 10000);
}

int VuotApi::parseRoomList(const QJsonObject& reply, RoomList& out)
{
    out.clear();
    if (!reply.contains(QLatin1String("result"))) {
        qWarning("cannot parse room list:%s", qUtf8Printable(compact(reply)));
        return 2;
    }
    for (const QJsonValue& v : reply.value(QLatin1String("result")).toArray()) {
        const QJsonObject o = v.toObject();
        RoomInfo r;
        auto text = [&o](const char* key, QString& field) {
            if (o.contains(QLatin1String(key)))
                field = o.value(QLatin1String(key)).toString();
        };
        text("bssid", r.bssid);
        text("desc", r.desc);
        text("id", r.id);
        text("name", r.name);
        text("icon", r.icon);
        text("parentid", r.parentid);
        if (o.contains(QLatin1String("shareflag")))
            r.shareflag = o.value(QLatin1String("shareflag")).toInt();
        for (const QJsonValue& d : o.value(QLatin1String("dids")).toArray()) {
            const QString did = d.toVariant().toString();
            if (!did.isEmpty())
                r.dids << did;
        }
        out.append(r);
    }
    return 0;
}

void VuotApi::onGetRoomListFinished(int ret, QJsonObject result)
{
    FunctionTrace trace("VuotApi::onGetRoomListFinished");
    if (sender())
        sender()->deleteLater();
    RoomList rooms;
    if (ret == 0)
        ret = parseRoomList(result, rooms);
    if (ret != 0)
        rooms.clear();
    emit getRoomListFinished(ret, rooms);
}

static QJsonObject getPropParams(const QString& did)
{
    QJsonArray names;
    for (const char* n : kPropNames)
        names.append(QLatin1String(n));
    QJsonObject params;
    params.insert(QStringLiteral("id"), did);
    params.insert(QStringLiteral("method"), QStringLiteral("get_prop"));
    params.insert(QStringLiteral("params"), names);
    return params;
}

void VuotApi::getProperties(const QString& did)
{
    FunctionTrace trace("VuotApi::getProperties");
    auto* api = new CoreApi(this, m_watchdogMs);
    connect(api, &CoreApi::sendRequestFinished, this, &VuotApi::onGetPropertiesFinished);
    api->sendRequest(QStringLiteral("/home/rpc/") + did, getPropParams(did), CoreApi::kNoLimit);
}

int VuotApi::parseProperties(const QJsonObject& reply, CamPropSet& out)
{
    out = CamPropSet();
    if (!reply.contains(QLatin1String("code")) || !reply.contains(QLatin1String("id"))) {
        qWarning("invalid json, without code,id");
        return 2;
    }
    const int code = reply.value(QLatin1String("code")).toInt();
    if (code != 0) {
        const QString msg = reply.contains(QLatin1String("message"))
            ? reply.value(QLatin1String("message")).toString()
            : QString::number(code);
        qWarning("fail:ret=%d, msg=%s", code, qUtf8Printable(SecretRedactor::redact(msg)));
        return code == -3 ? 3 : 1;
    }
    if (!reply.contains(QLatin1String("result"))) {
        qWarning("json missing result field");
        return 2;
    }
    const QJsonArray values = reply.value(QLatin1String("result")).toArray();
    if (values.size() != 9)
        return 2;
    QStringList t;
    for (const QJsonValue& v : values)
        t << (v.isString() ? v.toString() : QString());
    CamPropSet s;
    s.light = onOff(t[0]);
    s.motion_record = t[1];
    s.flip = onOff(t[2]);
    s.watermark = onOff(t[3]);
    s.sdcard_status = decimal(t[4]);
    s.power = onOff(t[5]);
    s.wdr = onOff(t[6]);
    s.night_mode = decimal(t[7]);
    bool ok = false;
    s.max_client = t[8].toInt(&ok) == 1 && ok;
    out = s;
    return 0;
}

void VuotApi::onGetPropertiesFinished(int ret, QJsonObject result)
{
    FunctionTrace trace("VuotApi::onGetPropertiesFinished");
    if (sender())
        sender()->deleteLater();
    CamPropSet set;
    if (ret == 0)
        ret = parseProperties(result, set);
    emit getPropertiesFinished(ret, set);
}

int VuotApi::getPropertiesSync(const QString& did, CamPropSet& out)
{
    FunctionTrace trace("VuotApi::getPropertiesSync");
    auto* api = new CoreApi(this, m_watchdogMs);
    QJsonObject reply;
    const int ret = api->getResult(QStringLiteral("/home/rpc/") + did, getPropParams(did), reply, quint32(m_watchdogMs));
    api->deleteLater();
    m_lastCloudCode = 0;
    if (ret != 0) {
        out = CamPropSet();
        return ret;
    }
    m_lastCloudCode = reply.value(QLatin1String("code")).toInt();
    return parseProperties(reply, out);
}

void VuotApi::setProperty(const QString& did, const QString& name, const QString& value)
{
    FunctionTrace trace("VuotApi::setProperty");
    QJsonObject params;
    params.insert(QStringLiteral("id"), did);
    params.insert(QStringLiteral("method"), QStringLiteral("set_") + name);
    params.insert(QStringLiteral("params"), QJsonArray{value});
    auto* api = new CoreApi(this, m_watchdogMs);
    connect(api, &CoreApi::sendRequestFinished, this, &VuotApi::onSetPropertyFinished);
    api->sendRequest(QStringLiteral("/home/rpc/") + did, params, CoreApi::kNoLimit);
}

void VuotApi::onSetPropertyFinished(int ret, QJsonObject result)
{
    FunctionTrace trace("VuotApi::onSetPropertyFinished");
    if (sender())
        sender()->deleteLater();
    if (ret != 0) {
        emit setPropertyFinished(ret);
        return;
    }
    if (!result.contains(QLatin1String("code")) || !result.contains(QLatin1String("id"))) {
        qWarning("invalid json");
        emit setPropertyFinished(2);
        return;
    }
    const int code = result.value(QLatin1String("code")).toInt();
    if (code != 0) {
        const QString msg = result.contains(QLatin1String("message"))
            ? result.value(QLatin1String("message")).toString()
            : QString::number(code);
        qWarning("fail:ret=%d, msg=%s", code, qUtf8Printable(SecretRedactor::redact(msg)));
    }
    emit setPropertyFinished(code);
}

int VuotApi::getDevicePassSync(const QString& did, const QString& pincode, CameraPassport& out)
{
    FunctionTrace trace("VuotApi::getDevicePassSync");
    // Nothing of an earlier pass survives: a failed or partial answer must
    // not leave the last play's peer id, password or media key in place.
    out = CameraPassport();
    out.did = did;
    auto* api = new CoreApi(this, m_watchdogMs); // its signer initialises libsodium
    out.appPublicKey.resize(crypto_box_PUBLICKEYBYTES);
    out.appSecretKey.resize(crypto_box_SECRETKEYBYTES);
    crypto_box_keypair(reinterpret_cast<unsigned char*>(out.appPublicKey.data()),
                       reinterpret_cast<unsigned char*>(out.appSecretKey.data()));
    QJsonObject params;
    params.insert(QStringLiteral("did"), did);
    if (!pincode.isEmpty())
        params.insert(QStringLiteral("pincode"), pincode);
    params.insert(QStringLiteral("toSignAppData"), QString::fromLatin1(out.appPublicKey.toHex()));

    QJsonObject reply;
    const int ret = api->getResult(QStringLiteral("/device/devicepass"), params, reply, quint32(m_watchdogMs));
    api->deleteLater();
    if (ret != 0) {
        qWarning("get pass failed: %d, %s", ret, qUtf8Printable(compact(reply)));
        return 1;
    }
    return parseDevicePass(reply, out);
}

int VuotApi::parseDevicePass(const QJsonObject& reply, CameraPassport& out)
{
    // Every field the answer provides is set from it, empty when it lacks
    // one: nothing of an earlier pass survives. A cloud error ("device not
    // found", say) has no result, hence no peer id: a failure.
    const QJsonValue resultValue = reply.value(QLatin1String("result"));
    if (!resultValue.isObject())
        qWarning("invalid json, missing result field");
    const QJsonObject r = resultValue.toObject();
    out.user = QStringLiteral("admin");
    out.sharedKey.clear();
    out.signForAppData = r.value(QLatin1String("signForAppData")).toString();
    out.p2p_id = r.value(QLatin1String("p2p_id")).toString();
    out.password = r.value(QLatin1String("password")).toString();
    SecretRedactor::addSecret(out.password);
    out.p2p_dev_public_key = r.value(QLatin1String("p2p_dev_public_key")).toString();
    if (!out.signForAppData.isEmpty()) {
        const QByteArray devPk = QByteArray::fromHex(out.p2p_dev_public_key.toLatin1());
        if (devPk.size() != crypto_box_PUBLICKEYBYTES) {
            qWarning("crypto_box_beforenm: device public key has %d bytes", devPk.size());
        } else if (out.appSecretKey.size() != int(crypto_box_SECRETKEYBYTES)) {
            qWarning("crypto_box_beforenm: app secret key has %d bytes", int(out.appSecretKey.size()));
        } else {
            QByteArray shared(crypto_box_BEFORENMBYTES, '\0');
            const int rc = crypto_box_beforenm(reinterpret_cast<unsigned char*>(shared.data()),
                                               reinterpret_cast<const unsigned char*>(devPk.constData()),
                                               reinterpret_cast<const unsigned char*>(out.appSecretKey.constData()));
            if (rc != 0)
                qWarning("crypto_box_beforenm:%d", rc);
            else
                out.sharedKey = shared;
        }
    }
    if (out.p2p_id.isEmpty()) {
        qWarning("get pass failed: %d, %s", 0, qUtf8Printable(compact(reply)));
        return -20009;
    }
    return 0;
}
