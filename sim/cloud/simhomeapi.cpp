#include "sim/cloud/simhomeapi.h"

#include "sim/cloud/simcloudstate.h"
#include "sim/scenario/scenario.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <httplib.h>
#include <sodium.h>
#include <utility>

namespace {

// Fault "cloud_stale_online": the cloud still believes an offline camera is
// online (it has not noticed the camera dropping off yet), so only the P2P
// connect finds out.
bool staleOnline(const SimCamera& cam)
{
    return cam.faults.value(QLatin1String("cloud_stale_online")).toBool();
}


QString b64(const QByteArray& b)
{
    return QString::fromLatin1(b.toBase64());
}

QString sha1b64(const QString& text)
{
    return b64(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1));
}

void refuse(httplib::Response& res, int status, const char* why)
{
    res.status = status;
    res.set_content(why, "text/plain");
}

QJsonObject error(int code, const QString& message)
{
    return QJsonObject{{QStringLiteral("code"), code}, {QStringLiteral("message"), message}};
}

// Strict form parser: name=value pairs, percent-decoded, names unique.
bool parseForm(const std::string& body, QMap<QString, QString>* out)
{
    const QByteArray b = QByteArray::fromStdString(body);
    for (const QByteArray& pair : b.split('&')) {
        const int eq = pair.indexOf('=');
        if (eq <= 0)
            return false;
        const QString name = QString::fromLatin1(pair.left(eq));
        if (out->contains(name))
            return false;
        out->insert(name, QString::fromUtf8(QByteArray::fromPercentEncoding(pair.mid(eq + 1))));
    }
    return true;
}

} // namespace

QByteArray SimHomeApi::rc4Drop(const QByteArray& key, const QByteArray& data)
{
    if (key.isEmpty())
        return QByteArray();
    unsigned char s[256];
    for (int k = 0; k < 256; ++k)
        s[k] = static_cast<unsigned char>(k);
    unsigned char j = 0;
    for (int k = 0; k < 256; ++k) {
        j = static_cast<unsigned char>(j + s[k] + static_cast<unsigned char>(key[k % key.size()]));
        std::swap(s[k], s[j]);
    }
    unsigned char i = 0;
    j = 0;
    QByteArray out(data.size(), '\0');
    for (int n = -1024; n < data.size(); ++n) {
        i = static_cast<unsigned char>(i + 1);
        j = static_cast<unsigned char>(j + s[i]);
        std::swap(s[i], s[j]);
        const unsigned char ks = s[static_cast<unsigned char>(s[i] + s[j])];
        if (n >= 0)
            out[n] = static_cast<char>(static_cast<unsigned char>(data[n]) ^ ks);
    }
    return out;
}

void SimHomeApi::setupRoutes(httplib::Server& server)
{
    server.Post(R"(/app/.*)", [this](const httplib::Request& req, httplib::Response& res) { handle(req, res); });
}

void SimHomeApi::handle(const httplib::Request& req, httplib::Response& res)
{
    const QString fullPath = QString::fromStdString(req.path);
    const QString path = fullPath.mid(4); // without "/app"
    if (state()->applyFaults(req, res, false))
        return;

    // Session cookies.
    const QMap<QString, QString> c = cookies(req);
    SimCloudState::Session session;
    const QString token = c.value(QStringLiteral("serviceToken"));
    if (token.isEmpty() || !state()->session(token, &session) || session.userId != c.value(QStringLiteral("userId")))
        return refuse(res, 401, "no valid session");
    if (req.get_header_value("Content-Type").find("application/x-www-form-urlencoded") != 0)
        return refuse(res, 400, "form body expected");

    QMap<QString, QString> form;
    if (!parseForm(req.body, &form) || form.size() != 4 || !form.contains(QStringLiteral("data"))
        || !form.contains(QStringLiteral("rc4_hash__")) || !form.contains(QStringLiteral("signature"))
        || !form.contains(QStringLiteral("_nonce")))
        return refuse(res, 400, "malformed form body");

    // Nonce: 12 bytes, 0-7 in 0..127, 8-11 the minute, fresh and unused.
    const QString nonce = form.value(QStringLiteral("_nonce"));
    const QByteArray nb = QByteArray::fromBase64(nonce.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (nb.size() != 12 || b64(nb) != nonce)
        return refuse(res, 400, "malformed nonce");
    for (int k = 0; k < 8; ++k) {
        if (static_cast<unsigned char>(nb[k]) > 127)
            return refuse(res, 400, "malformed nonce");
    }
    const quint32 minute = (quint32(quint8(nb[8])) << 24) | (quint32(quint8(nb[9])) << 16)
        | (quint32(quint8(nb[10])) << 8) | quint32(quint8(nb[11]));
    const qint64 now = QDateTime::currentMSecsSinceEpoch() / 60000;
    if (qAbs(now - qint64(minute)) > kNonceWindowMinutes)
        return refuse(res, 401, "stale nonce");
    if (!state()->useNonce(token, nonce, static_cast<quint32>(now)))
        return refuse(res, 401, "replayed nonce");

    const QByteArray snBytes = QCryptographicHash::hash(
        QByteArray::fromBase64(session.ssecurity.toLatin1()) + nb, QCryptographicHash::Sha256);
    const QString sn = b64(snBytes);

    const QString encData = form.value(QStringLiteral("data"));
    const QString encHash = form.value(QStringLiteral("rc4_hash__"));
    const QString sigText = QStringList{QStringLiteral("POST"), path, QStringLiteral("data=") + encData,
                                        QStringLiteral("rc4_hash__=") + encHash, sn}
                                .join(QLatin1Char('&'));
    if (sha1b64(sigText) != form.value(QStringLiteral("signature")))
        return refuse(res, 403, "bad signature");

    const QByteArray rawData = QByteArray::fromBase64(encData.toLatin1());
    const QByteArray rawHash = QByteArray::fromBase64(encHash.toLatin1());
    const QByteArray plain = rc4Drop(snBytes, rawData + rawHash);
    const QString json = QString::fromUtf8(plain.left(rawData.size()));
    const QString hash = QString::fromUtf8(plain.mid(rawData.size()));
    const QString hashText = QStringList{QStringLiteral("POST"), path, QStringLiteral("data=") + json, sn}
                                 .join(QLatin1Char('&'));
    if (sha1b64(hashText) != hash)
        return refuse(res, 403, "bad rc4_hash__");
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &pe);
    if (!doc.isObject())
        return refuse(res, 400, "data is not a JSON object");

    const QJsonObject reply = dispatch(path, session.userId, doc.object());
    if (reply.isEmpty())
        return refuse(res, 404, "unknown API");

    QByteArray replyPlain = QJsonDocument(reply).toJson(QJsonDocument::Compact);
    QByteArray key = snBytes;
    const QString malformed = state()->malformedKind(fullPath);
    if (malformed == QLatin1String("not_json"))
        replyPlain = "this is not json";
    else if (malformed == QLatin1String("array"))
        replyPlain = "[1,2,3]";
    else if (malformed == QLatin1String("wrong_key"))
        key = QCryptographicHash::hash(key, QCryptographicHash::Sha256);
    if (malformed == QLatin1String("plain")) {
        res.set_content(replyPlain.toStdString(), "text/plain");
        return;
    }
    res.set_content(rc4Drop(key, replyPlain).toBase64().toStdString(), "text/plain");
}

QJsonObject SimHomeApi::dispatch(const QString& path, const QString& userId, const QJsonObject& params)
{
    if (path == QLatin1String("/home/device_list"))
        return deviceList(userId);
    if (path == QLatin1String("/homeroom/getroom"))
        return roomList(userId);
    if (path.startsWith(QLatin1String("/home/rpc/")))
        return rpc(userId, path.mid(10), params);
    if (path == QLatin1String("/device/devicepass"))
        return devicePass(userId, params);
    return QJsonObject();
}

bool SimHomeApi::visibleCamera(const QString& userId, const QString& did, SimCamera* out) const
{
    SimCamera cam;
    if (!state()->scenario()->camera(did, &cam))
        return false;
    if (cam.owner != userId && !cam.sharedWith.contains(userId))
        return false;
    if (out)
        *out = cam;
    return true;
}

QJsonObject SimHomeApi::deviceList(const QString& userId)
{
    QJsonArray list;
    for (const SimCamera& cam : state()->scenario()->cameras()) {
        const bool shared = cam.owner != userId;
        if (shared && !cam.sharedWith.contains(userId))
            continue;
        SimAccount owner;
        state()->scenario()->account(cam.owner, &owner);
        QJsonObject o{{QStringLiteral("did"), cam.did},
                      {QStringLiteral("name"), cam.name},
                      {QStringLiteral("model"), cam.model},
                      {QStringLiteral("isOnline"), cam.online || staleOnline(cam)},
                      {QStringLiteral("ssid"), cam.ssid},
                      {QStringLiteral("shareFlag"), shared ? 1 : 0},
                      {QStringLiteral("adminFlag"), shared ? 0 : 1},
                      {QStringLiteral("permitLevel"), shared ? 4 : 16},
                      {QStringLiteral("extra"), QJsonObject{{QStringLiteral("isSetPincode"), cam.pincode.isEmpty() ? 0 : 1}}},
                      {QStringLiteral("owner"), QJsonObject{{QStringLiteral("nickname"), owner.nickname},
                                                            {QStringLiteral("userid"), cam.owner},
                                                            {QStringLiteral("icon"), owner.icon}}}};
        list.append(o);
    }
    if (state()->faults().value(QLatin1String("device_list_odd")).toBool()) {
        list.prepend(QStringLiteral("not an object"));
        list.append(QJsonObject{{QStringLiteral("did"), QStringLiteral("plug1")},
                                {QStringLiteral("model"), QStringLiteral("hovia.plug.v2")}});
        list.append(QJsonObject{{QStringLiteral("did"), QStringLiteral("nomodel1")}});
        list.append(42);
        list.append(QJsonObject{{QStringLiteral("did"), QStringLiteral("toplevelpin")},
                                {QStringLiteral("model"), QStringLiteral("hovia.camera.v1")},
                                {QStringLiteral("isSetPincode"), 1}});
    }
    return QJsonObject{{QStringLiteral("code"), 0}, {QStringLiteral("message"), QStringLiteral("ok")},
                       {QStringLiteral("result"), QJsonObject{{QStringLiteral("list"), list}}}};
}

QJsonObject SimHomeApi::roomList(const QString& userId)
{
    QJsonArray rooms;
    for (const SimRoom& r : state()->scenario()->rooms()) {
        if (r.owner != userId)
            continue;
        rooms.append(QJsonObject{{QStringLiteral("id"), r.id},
                                 {QStringLiteral("name"), r.name},
                                 {QStringLiteral("icon"), r.icon},
                                 {QStringLiteral("parentid"), QString()},
                                 {QStringLiteral("bssid"), QString()},
                                 {QStringLiteral("desc"), QString()},
                                 {QStringLiteral("shareflag"), 0},
                                 {QStringLiteral("dids"), QJsonArray::fromStringList(r.dids)}});
    }
    return QJsonObject{{QStringLiteral("code"), 0}, {QStringLiteral("message"), QStringLiteral("ok")},
                       {QStringLiteral("result"), rooms}};
}

QJsonObject SimHomeApi::rpc(const QString& userId, const QString& did, const QJsonObject& params)
{
    SimCamera cam;
    const QJsonValue id = params.value(QLatin1String("id"));
    auto withId = [&id](QJsonObject o) {
        o.insert(QStringLiteral("id"), id);
        return o;
    };
    if (!visibleCamera(userId, did, &cam) || id.toString() != did)
        return withId(error(-6, QStringLiteral("device not found")));
    if (cam.faults.contains(QLatin1String("rpc_code")))
        return withId(error(cam.faults.value(QLatin1String("rpc_code")).toInt(),
                            cam.faults.value(QLatin1String("rpc_message")).toString(QStringLiteral("emulated failure"))));
    if (!cam.online && !staleOnline(cam))
        return withId(error(-2, QStringLiteral("device offline")));

    const QString method = params.value(QLatin1String("method")).toString();
    const QJsonArray args = params.value(QLatin1String("params")).toArray();
    if (method == QLatin1String("get_prop")) {
        QJsonArray values;
        for (const QJsonValue& name : args) {
            const QString n = name.toString();
            const QJsonValue fixed = cam.faults.value(QLatin1String("props")).toObject().value(n);
            if (!fixed.isUndefined())
                values.append(fixed);
            else if (n == QLatin1String("power"))
                values.append(cam.power ? QStringLiteral("on") : QStringLiteral("off"));
            else if (n == QLatin1String("sdcard_status"))
                values.append(cam.sdcard ? QStringLiteral("0") : QStringLiteral("5"));
            else if (n == QLatin1String("max_client"))
                values.append(cam.maxClient ? QStringLiteral("1") : QStringLiteral("0"));
            else if (n == QLatin1String("night_mode"))
                values.append(QStringLiteral("0"));
            else if (n == QLatin1String("motion_record"))
                values.append(QStringLiteral("on"));
            else if (n == QLatin1String("watermark"))
                values.append(QStringLiteral("on"));
            else
                values.append(QStringLiteral("off"));
        }
        const int count = cam.faults.value(QLatin1String("prop_count")).toInt(values.size());
        while (values.size() > count)
            values.removeLast();
        while (values.size() < count)
            values.append(QStringLiteral("off"));
        QJsonObject o = withId(QJsonObject{{QStringLiteral("code"), 0}, {QStringLiteral("message"), QStringLiteral("ok")}});
        o.insert(QStringLiteral("result"), values);
        return o;
    }
    if (method == QLatin1String("set_power")) {
        const QString v = args.size() == 1 ? args.at(0).toString() : QString();
        if (v != QLatin1String("on") && v != QLatin1String("off"))
            return withId(error(-5, QStringLiteral("invalid value")));
        state()->scenario()->updateCamera(did, [&v](SimCamera& c) { c.power = v == QLatin1String("on"); });
        QJsonObject o = withId(QJsonObject{{QStringLiteral("code"), 0}, {QStringLiteral("message"), QStringLiteral("ok")}});
        o.insert(QStringLiteral("result"), QJsonArray{QStringLiteral("ok")});
        return o;
    }
    return withId(error(-4, QStringLiteral("method not supported")));
}

QJsonObject SimHomeApi::devicePass(const QString& userId, const QJsonObject& params)
{
    SimCamera cam;
    const QString did = params.value(QLatin1String("did")).toString();
    if (!visibleCamera(userId, did, &cam))
        return error(-6, QStringLiteral("device not found"));
    const QByteArray appPk = QByteArray::fromHex(params.value(QLatin1String("toSignAppData")).toString().toLatin1());
    if (appPk.size() != 32 || QString::fromLatin1(appPk.toHex()) != params.value(QLatin1String("toSignAppData")).toString())
        return error(-1, QStringLiteral("invalid toSignAppData"));
    if (!cam.pincode.isEmpty()) {
        const QJsonValue pin = params.value(QLatin1String("pincode"));
        if (pin.isUndefined())
            return QJsonObject{{QStringLiteral("code"), -20009}, {QStringLiteral("message"), QStringLiteral("pincode required")},
                               {QStringLiteral("result"), QJsonObject{{QStringLiteral("p2p_id"), QString()}}}};
        if (pin.toString() != cam.pincode)
            return QJsonObject{{QStringLiteral("code"), -20009}, {QStringLiteral("message"), QStringLiteral("pincode incorrect")},
                               {QStringLiteral("result"), QJsonObject{{QStringLiteral("p2p_id"), QString()}}}};
    }
    const QByteArray sk = state()->scenario()->cloudSignSecretKey();
    QByteArray sig(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(appPk.constData()), static_cast<unsigned long long>(appPk.size()),
                         reinterpret_cast<const unsigned char*>(sk.constData()));
    const QJsonObject f = state()->faults();
    if (f.value(QLatin1String("bad_signature")).toBool() || cam.faults.value(QLatin1String("bad_signature")).toBool())
        sig[0] = static_cast<char>(sig[0] ^ 0x01);
    QJsonObject result{{QStringLiteral("p2p_id"), cam.p2pId},
                       {QStringLiteral("password"), cam.password},
                       {QStringLiteral("signForAppData"), QString::fromLatin1(sig.toHex())},
                       {QStringLiteral("p2p_dev_public_key"), QString::fromLatin1(cam.boxPublicKey.toHex())}};
    if (cam.faults.value(QLatin1String("no_p2p_id")).toBool())
        result.remove(QStringLiteral("p2p_id"));
    return QJsonObject{{QStringLiteral("code"), 0}, {QStringLiteral("message"), QStringLiteral("ok")},
                       {QStringLiteral("result"), result}};
}
