#pragma once

#include <QByteArray>
#include <QString>

// What opening and decrypting one camera's P2P session needs. Filled from the
// cloud's device-pass reply, kept by the camera client, read by the camera link.
struct CameraPassport
{
    QString did;
    QString p2p_id;
    QString user = QStringLiteral("admin");
    QString password;
    QString signForAppData;
    QString p2p_dev_public_key; // hexadecimal text
    QByteArray appSecretKey;    // 32 bytes
    QByteArray appPublicKey;    // 32 bytes
    QByteArray sharedKey;       // 32 bytes, or empty without signForAppData
};
