#pragma once

// Camera passports built straight from the emulated world, for tests and
// benchmarks that talk to emulated cameras without going through the cloud.

#include "core/camerapassport.h"
#include "sim/scenario/scenario.h"

#include <sodium.h>

namespace simpassports {

// The plain view account: "admin" with the camera's password, no media key.
inline CameraPassport plainPassport(const Scenario& scenario, const QString& did)
{
    SimCamera cam;
    scenario.camera(did, &cam);
    CameraPassport p;
    p.did = did;
    p.p2p_id = cam.p2pId;
    p.password = cam.password;
    return p;
}

// What the cloud's device pass gives: an app key pair, the cloud's signature
// over the app public key and the shared media key.
inline CameraPassport signedPassport(const Scenario& scenario, const QString& did)
{
    CameraPassport p = plainPassport(scenario, did);
    SimCamera cam;
    scenario.camera(did, &cam);
    p.appPublicKey.resize(crypto_box_PUBLICKEYBYTES);
    p.appSecretKey.resize(crypto_box_SECRETKEYBYTES);
    crypto_box_keypair(reinterpret_cast<unsigned char*>(p.appPublicKey.data()),
                       reinterpret_cast<unsigned char*>(p.appSecretKey.data()));
    QByteArray sig(crypto_sign_BYTES, '\0');
    const QByteArray sk = scenario.cloudSignSecretKey();
    crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(p.appPublicKey.constData()),
                         static_cast<unsigned long long>(p.appPublicKey.size()),
                         reinterpret_cast<const unsigned char*>(sk.constData()));
    p.signForAppData = QString::fromLatin1(sig.toHex());
    p.p2p_dev_public_key = QString::fromLatin1(cam.boxPublicKey.toHex());
    p.sharedKey.resize(crypto_box_BEFORENMBYTES);
    if (crypto_box_beforenm(reinterpret_cast<unsigned char*>(p.sharedKey.data()),
                            reinterpret_cast<const unsigned char*>(cam.boxPublicKey.constData()),
                            reinterpret_cast<const unsigned char*>(p.appSecretKey.constData()))
        != 0)
        p.sharedKey.clear(); // makes a key comparison fail loudly
    return p;
}

} // namespace simpassports
