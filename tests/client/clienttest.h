#pragma once

// Helpers of the programs that drive camera clients against the emulated
// home (tests/support/simhome.h).

#include "client/vucameraclient.h"
#include "tests/support/threadsafespy.h"

#include <QtTest>

inline VuotCameraStat cameraRecord(const QString& did, bool online = true, bool pincode = false,
                                   const QString& model = QStringLiteral("hovia.camera.v3"))
{
    return VuotCameraStat{did, did, model, online, QString(), pincode, 0, 0, 0, QString(), QString(), QString()};
}

// The next picture a playing client hands out; null when none came within ms.
inline QPixmap nextPicture(VuCameraClient* c, int ms = 15000)
{
    FrameInfo info;
    QPixmap picture;
    return QTest::qWaitFor([&] { return !(picture = c->grabFrame(info)).isNull(); }, ms) ? picture : QPixmap();
}

// Plays at 320x180 and waits for the connection and a first picture.
inline bool playUntilPicture(VuCameraClient* c, bool audio = false)
{
    c->setVideoFrameSize(320, 180);
    c->play(2, audio, QString());
    return QTest::qWaitFor([c] { return c->status() == ClientStatus::Connected; }, 20000)
        && !nextPicture(c).isNull();
}

// Destroys a client as its owner does: destroy, destroyed, delete. The delete
// joins the worker thread, so every signal the client was still to send has
// been recorded when this returns; destroyed must have come exactly once.
inline bool dispose(VuCameraClient* c)
{
    ThreadSafeSpy gone(c, &VuCameraClient::destroyed);
    c->destroy();
    const bool came = QTest::qWaitFor([&] { return gone.count() > 0; }, 15000);
    delete c;
    return came && gone.count() == 1;
}
