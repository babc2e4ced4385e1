#include "sim/scenario/scenario.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <sodium.h>

#include <mutex>

namespace {

QByteArray seedFor(const QByteArray& base, const QByteArray& label)
{
    QByteArray out(crypto_hash_sha256_BYTES, '\0');
    const QByteArray in = base + '|' + label;
    crypto_hash_sha256(reinterpret_cast<unsigned char*>(out.data()),
                       reinterpret_cast<const unsigned char*>(in.constData()),
                       static_cast<unsigned long long>(in.size()));
    return out;
}

QByteArray hexKey(const QJsonObject& o, const char* key)
{
    return QByteArray::fromHex(o.value(QLatin1String(key)).toString().toLatin1());
}

QStringList stringList(const QJsonValue& v)
{
    QStringList out;
    for (const QJsonValue& e : v.toArray())
        out << e.toString();
    return out;
}

} // namespace

Scenario::Scenario(QObject* parent) : QObject(parent)
{
    if (sodium_init() < 0)
        qFatal("libsodium could not be initialised");
}

bool Scenario::loadFile(const QString& path, QString* error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    return loadJson(f.readAll(), error);
}

void Scenario::deriveCameraKeys(SimCamera& cam, const QByteArray& seed)
{
    if (cam.boxPublicKey.size() == crypto_box_PUBLICKEYBYTES && cam.boxSecretKey.size() == crypto_box_SECRETKEYBYTES)
        return;
    cam.boxPublicKey.resize(crypto_box_PUBLICKEYBYTES);
    cam.boxSecretKey.resize(crypto_box_SECRETKEYBYTES);
    const QByteArray s = seedFor(seed, "camera:" + cam.did.toUtf8());
    crypto_box_seed_keypair(reinterpret_cast<unsigned char*>(cam.boxPublicKey.data()),
                            reinterpret_cast<unsigned char*>(cam.boxSecretKey.data()),
                            reinterpret_cast<const unsigned char*>(s.constData()));
}

SimCamera Scenario::cameraFromJson(const QJsonObject& o, const QByteArray& seed)
{
    SimCamera c;
    c.did = o.value(QLatin1String("did")).toString();
    c.name = o.value(QLatin1String("name")).toString(c.did);
    c.model = o.value(QLatin1String("model")).toString(QStringLiteral("hovia.camera.v3"));
    c.owner = o.value(QLatin1String("owner")).toString();
    c.sharedWith = stringList(o.value(QLatin1String("shared_with")));
    c.p2pId = o.value(QLatin1String("p2p_id")).toString(QStringLiteral("UID-") + c.did);
    c.password = o.value(QLatin1String("password")).toString(
        QString::fromLatin1(seedFor(seed, "pw:" + c.did.toUtf8()).toHex().left(16)));
    c.ssid = o.value(QLatin1String("ssid")).toString(QStringLiteral("HomeNet"));
    c.online = o.value(QLatin1String("online")).toBool(true);
    c.power = o.value(QLatin1String("power")).toBool(true);
    c.sdcard = o.value(QLatin1String("sdcard")).toBool(true);
    c.maxClient = o.value(QLatin1String("max_client")).toBool(false);
    c.pincode = o.value(QLatin1String("pincode")).toString();
    c.videoWidth = o.value(QLatin1String("width")).toInt(1280);
    c.videoHeight = o.value(QLatin1String("height")).toInt(720);
    c.fps = o.value(QLatin1String("fps")).toInt(20);
    c.audioCodec = o.value(QLatin1String("audio_codec")).toInt(138);
    for (const QJsonValue& rv : o.value(QLatin1String("recordings")).toArray()) {
        const QJsonObject ro = rv.toObject();
        SimRecording r;
        r.start = static_cast<qint64>(ro.value(QLatin1String("start")).toDouble());
        r.length = ro.value(QLatin1String("length")).toInt();
        r.motion = ro.value(QLatin1String("motion")).toBool();
        r.saved = ro.value(QLatin1String("saved")).toBool();
        c.recordings << r;
    }
    c.boxPublicKey = hexKey(o, "public_key");
    c.boxSecretKey = hexKey(o, "secret_key");
    deriveCameraKeys(c, seed);
    c.faults = o.value(QLatin1String("faults")).toObject();
    return c;
}

bool Scenario::loadJson(const QByteArray& json, QString* error)
{
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &pe);
    if (!doc.isObject()) {
        if (error)
            *error = QStringLiteral("scenario is not a JSON object: %1").arg(pe.errorString());
        return false;
    }
    const QJsonObject root = doc.object();

    std::lock_guard<std::mutex> lock(m_mutex);
    m_seed = root.value(QLatin1String("seed")).toString(QStringLiteral("vucamera-sim")).toUtf8();

    const QJsonObject cloud = root.value(QLatin1String("cloud")).toObject();
    m_signPk = hexKey(cloud, "sign_public_key");
    m_signSk = hexKey(cloud, "sign_secret_key");
    if (m_signPk.size() != crypto_sign_PUBLICKEYBYTES || m_signSk.size() != crypto_sign_SECRETKEYBYTES) {
        m_signPk.resize(crypto_sign_PUBLICKEYBYTES);
        m_signSk.resize(crypto_sign_SECRETKEYBYTES);
        const QByteArray s = seedFor(m_seed, "cloud-sign");
        crypto_sign_seed_keypair(reinterpret_cast<unsigned char*>(m_signPk.data()),
                                 reinterpret_cast<unsigned char*>(m_signSk.data()),
                                 reinterpret_cast<const unsigned char*>(s.constData()));
    }
    m_cloudFaults = cloud.value(QLatin1String("faults")).toObject();

    m_accounts.clear();
    int n = 0;
    for (const QJsonValue& v : root.value(QLatin1String("accounts")).toArray()) {
        const QJsonObject o = v.toObject();
        SimAccount a;
        a.userId = o.value(QLatin1String("user_id")).toString();
        a.password = o.value(QLatin1String("password")).toString();
        a.nickname = o.value(QLatin1String("nickname")).toString(a.userId);
        a.icon = o.value(QLatin1String("icon")).toString();
        a.passToken = o.value(QLatin1String("pass_token")).toString(
            QString::fromLatin1(seedFor(m_seed, "pass:" + a.userId.toUtf8()).toHex().left(40)));
        a.deviceId = o.value(QLatin1String("device_id")).toString(QStringLiteral("pcdev%1").arg(++n));
        m_accounts << a;
    }

    m_rooms.clear();
    for (const QJsonValue& v : root.value(QLatin1String("rooms")).toArray()) {
        const QJsonObject o = v.toObject();
        SimRoom r;
        r.id = o.value(QLatin1String("id")).toString();
        r.name = o.value(QLatin1String("name")).toString();
        r.icon = o.value(QLatin1String("icon")).toString();
        r.owner = o.value(QLatin1String("owner")).toString();
        r.dids = stringList(o.value(QLatin1String("dids")));
        m_rooms << r;
    }

    m_cameras.clear();
    for (const QJsonValue& v : root.value(QLatin1String("cameras")).toArray()) {
        m_cameras << cameraFromJson(v.toObject(), m_seed);
    }
    return true;
}

QByteArray Scenario::cloudSignPublicKey() const { std::lock_guard<std::mutex> l(m_mutex); return m_signPk; }
QByteArray Scenario::cloudSignSecretKey() const { std::lock_guard<std::mutex> l(m_mutex); return m_signSk; }
QList<SimAccount> Scenario::accounts() const { std::lock_guard<std::mutex> l(m_mutex); return m_accounts; }
QList<SimRoom> Scenario::rooms() const { std::lock_guard<std::mutex> l(m_mutex); return m_rooms; }
QList<SimCamera> Scenario::cameras() const { std::lock_guard<std::mutex> l(m_mutex); return m_cameras; }
QJsonObject Scenario::cloudFaults() const { std::lock_guard<std::mutex> l(m_mutex); return m_cloudFaults; }

void Scenario::setCloudFaults(const QJsonObject& faults)
{
    std::lock_guard<std::mutex> l(m_mutex);
    m_cloudFaults = faults;
}

bool Scenario::account(const QString& userId, SimAccount* out) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    for (const SimAccount& a : m_accounts) {
        if (a.userId == userId) {
            if (out)
                *out = a;
            return true;
        }
    }
    return false;
}

bool Scenario::accountByPassToken(const QString& passToken, SimAccount* out) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    for (const SimAccount& a : m_accounts) {
        if (!passToken.isEmpty() && a.passToken == passToken) {
            if (out)
                *out = a;
            return true;
        }
    }
    return false;
}

bool Scenario::camera(const QString& did, SimCamera* out) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    for (const SimCamera& c : m_cameras) {
        if (c.did == did) {
            if (out)
                *out = c;
            return true;
        }
    }
    return false;
}

bool Scenario::cameraByUid(const QString& p2pId, SimCamera* out) const
{
    std::lock_guard<std::mutex> l(m_mutex);
    for (const SimCamera& c : m_cameras) {
        if (c.p2pId == p2pId) {
            if (out)
                *out = c;
            return true;
        }
    }
    return false;
}

bool Scenario::updateCamera(const QString& did, const std::function<void(SimCamera&)>& change)
{
    {
        std::lock_guard<std::mutex> l(m_mutex);
        auto it = std::find_if(m_cameras.begin(), m_cameras.end(), [&](const SimCamera& c) { return c.did == did; });
        if (it == m_cameras.end())
            return false;
        change(*it);
    }
    emit cameraChanged(did);
    return true;
}

void Scenario::addCamera(const SimCamera& cam)
{
    SimCamera c = cam;
    {
        std::lock_guard<std::mutex> l(m_mutex);
        deriveCameraKeys(c, m_seed);
        m_cameras << c;
    }
    emit cameraAdded(c.did);
}

bool Scenario::removeCamera(const QString& did)
{
    {
        std::lock_guard<std::mutex> l(m_mutex);
        auto it = std::find_if(m_cameras.begin(), m_cameras.end(), [&](const SimCamera& c) { return c.did == did; });
        if (it == m_cameras.end())
            return false;
        m_cameras.erase(it);
        for (SimRoom& r : m_rooms)
            r.dids.removeAll(did);
    }
    emit cameraRemoved(did);
    return true;
}

bool Scenario::updateAccount(const QString& userId, const std::function<void(SimAccount&)>& change)
{
    std::lock_guard<std::mutex> l(m_mutex);
    for (SimAccount& a : m_accounts) {
        if (a.userId == userId) {
            change(a);
            return true;
        }
    }
    return false;
}

QByteArray Scenario::seed() const
{
    std::lock_guard<std::mutex> l(m_mutex);
    return m_seed;
}
