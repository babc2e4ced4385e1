#pragma once

// The whole emulated home in-process for the client tests: cloud, P2P
// directory and camera devices (video, audio, memory card, motor), with the
// endpoints and the P2P library pointed at it and a signed-in session.

#include "app/endpoints.h"
#include "camera/libp2p.h"
#include "camera/recordfileheader.h"
#include "client/playstatus.h"
#include "client/vucameraclient.h"
#include "cloud/apicredentials.h"
#include "sim/cloud/simcloud.h"
#include "sim/cloud/simcloudstate.h"
#include "sim/devicefeatures/simdevicefeatures.h"
#include "sim/device/simp2phost.h"
#include "sim/media/simvideofeature.h"
#include "sim/scenario/scenario.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QPixmap>
#include "tests/support/threadsafespy.h"
#include <QVector>
#include <QtTest>
#include <QTemporaryDir>
#include <memory>

class SimWorld
{
public:
    static constexpr const char* kUser = "1234567890";

    ~SimWorld() { stop(); }

    bool start(const QByteArray& scenarioJson)
    {
        // What the clients hand between threads.
        qRegisterMetaType<PlayStatus>("PlayStatus");
        qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");
        QString error;
        scenario = std::make_unique<Scenario>();
        if (!scenario->loadJson(scenarioJson, &error)) {
            qWarning("scenario: %s", qUtf8Printable(error));
            return false;
        }
        p2p = std::make_unique<SimP2pHost>(scenario.get());
        SimVideoFeature::install(p2p->dispatcher());
        SimDeviceFeatures::install(p2p->dispatcher());
        if (!p2p->start(0))
            return false;
        cloud = std::make_unique<SimCloud>(scenario.get());
        if (!cloud->start(dir.path() + QStringLiteral("/certs"), &error)) {
            qWarning("cloud: %s", qUtf8Printable(error));
            return false;
        }
        QJsonObject ep = cloud->endpoints();
        ep.insert(QStringLiteral("p2p_directory"), p2p->directoryAddress());
        Endpoints::setCurrent(Endpoints::fromJson(ep));
        LibP2p::setDirectory(p2p->directoryAddress());
        LibP2p::initialize();
        signIn(QString::fromLatin1(kUser));
        return true;
    }

    // A session made directly on the emulator; sets the API credentials.
    void signIn(const QString& userId)
    {
        const QString ssecurity = QStringLiteral("c2VjdXJpdHktZm9yLXRlc3RzIQ==");
        const QString token = cloud->state()->addSession({userId, ssecurity});
        setApiCredentials(userId, token, ssecurity);
    }

    void setCloudFaults(const QByteArray& json)
    {
        scenario->setCloudFaults(QJsonDocument::fromJson(json).object());
    }

    int requestsTo(const QString& path) const
    {
        int n = 0;
        for (const SimRequestRecord& r : cloud->state()->requests())
            n += r.path.endsWith(path) ? 1 : 0;
        return n;
    }

    void stop()
    {
        if (cloud)
            cloud->stop();
        if (p2p)
            p2p->stop();
        cloud.reset();
        p2p.reset();
    }

    void setCamera(const QString& did, const std::function<void(SimCamera&)>& change)
    {
        scenario->updateCamera(did, change);
    }

    QTemporaryDir dir;
    std::unique_ptr<Scenario> scenario;
    std::unique_ptr<SimP2pHost> p2p;
    std::unique_ptr<SimCloud> cloud;
};

// The next picture a playing client hands out, or a null one after ms.
inline QPixmap nextPicture(VuCameraClient* c, int ms = 15000)
{
    FrameInfo info;
    int speed = 0;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        const QPixmap pic = c->grabFrame(info, false, speed);
        if (!pic.isNull())
            return pic;
        QTest::qWait(25);
    }
    return QPixmap();
}

// Plays at 320x180 and waits for the connection and a first picture.
inline bool playUntilPicture(VuCameraClient* c, bool audio = false)
{
    c->setVideoFrameSize(320, 180);
    c->play(2, audio, QString());
    QElapsedTimer t;
    t.start();
    while (c->status() != ClientStatus::Connected && t.elapsed() < 20000)
        QTest::qWait(20);
    return c->status() == ClientStatus::Connected && !nextPicture(c).isNull();
}

// Deletes a client the way its owner does: destroy, wait for destroyed (once
// only), delete.
inline void dispose(VuCameraClient* c)
{
    ThreadSafeSpy gone(c, &VuCameraClient::destroyed);
    c->destroy();
    QVERIFY(gone.count() == 1 || gone.wait(15000));
    QTest::qWait(50);
    QCOMPARE(gone.count(), 1);
    delete c;
}
