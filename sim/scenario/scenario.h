#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>

// The emulated world: accounts, rooms, cameras and the cloud's keys, loaded
// from a scenario JSON file (see docs/emulator.md). Every server of the
// emulator reads it at request time, and the control interface changes it
// while the emulator runs, so all access goes through the mutex.

struct SimAccount
{
    QString userId;      // decimal digits
    QString password;    // sign-in page password
    QString nickname;
    QString icon;        // avatar URL path or empty
    QString passToken;   // issued at sign-in; fixed in the file for tests
    QString deviceId;    // issued at sign-in
};

struct SimRoom
{
    QString id;
    QString name;
    QString icon;
    QString owner;       // user id
    QStringList dids;
};

struct SimRecording
{
    qint64 start = 0;    // seconds since the epoch (UTC)
    qint32 length = 0;   // seconds
    bool motion = false;
    bool saved = false;
};

struct SimCamera
{
    QString did;
    QString name;
    QString model;       // e.g. "hovia.camera.v3"
    QString owner;       // user id of the owner
    QStringList sharedWith; // user ids that see it as a shared camera
    QString p2pId;       // P2P UID
    QString password;    // AV view password
    QString ssid;
    bool online = true;
    bool power = true;
    bool sdcard = true;
    bool maxClient = false;
    QString pincode;     // empty: no pin code
    int videoWidth = 1280;
    int videoHeight = 720;
    int fps = 20;
    int audioCodec = 138; // 138 G.711 A-law, 136 PCM
    QList<SimRecording> recordings;
    QByteArray boxPublicKey; // 32 bytes, Curve25519
    QByteArray boxSecretKey; // 32 bytes
    QJsonObject faults;      // fault knobs, free-form (see docs/emulator.md)
};

class Scenario : public QObject
{
    Q_OBJECT
public:
    explicit Scenario(QObject* parent = nullptr);

    // Loads a scenario; missing keys are derived deterministically from
    // "seed" so that every process reading the same file agrees.
    bool loadFile(const QString& path, QString* error = nullptr);
    bool loadJson(const QByteArray& json, QString* error = nullptr);

    // The cloud's Ed25519 signing key pair (crypto_sign): the cloud signs the
    // app public key with the secret key, cameras verify with the public key.
    QByteArray cloudSignPublicKey() const;
    QByteArray cloudSignSecretKey() const;

    QList<SimAccount> accounts() const;
    bool account(const QString& userId, SimAccount* out) const;
    bool accountByPassToken(const QString& passToken, SimAccount* out) const;
    QList<SimRoom> rooms() const;
    QList<SimCamera> cameras() const;
    bool camera(const QString& did, SimCamera* out) const;
    bool cameraByUid(const QString& p2pId, SimCamera* out) const;

    // Changes a camera in place; emits cameraChanged(did) afterwards.
    bool updateCamera(const QString& did, const std::function<void(SimCamera&)>& change);
    void addCamera(const SimCamera& cam);
    bool removeCamera(const QString& did);
    bool updateAccount(const QString& userId, const std::function<void(SimAccount&)>& change);

    // Cloud-wide fault knobs (free-form object, see docs/emulator.md).
    QJsonObject cloudFaults() const;
    void setCloudFaults(const QJsonObject& faults);

    // A camera from its scenario JSON object (missing keys derived from seed).
    static SimCamera cameraFromJson(const QJsonObject& o, const QByteArray& seed);
    QByteArray seed() const;

    // Fills derived keys of a camera built in code.
    static void deriveCameraKeys(SimCamera& cam, const QByteArray& seed);

signals:
    void cameraChanged(const QString& did);
    void cameraAdded(const QString& did);
    void cameraRemoved(const QString& did);

private:
    mutable std::mutex m_mutex;
    QByteArray m_seed;
    QByteArray m_signPk;
    QByteArray m_signSk;
    QList<SimAccount> m_accounts;
    QList<SimRoom> m_rooms;
    QList<SimCamera> m_cameras;
    QJsonObject m_cloudFaults;
};
