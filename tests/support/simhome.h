#pragma once

// The emulated home in-process, shared by every integration program: a
// scenario, the cloud on ephemeral loopback ports with the endpoints pointed
// at it, the P2P directory and camera devices (video, audio, memory card,
// motor), and the P2P library started against them. Start it once per
// program (initTestCase) and reset what a case changed in init().
//
// The cameras hold every command to the rules of the wire and record what
// breaks them (SimViolations). stop() (cleanupTestCase, or the destructor)
// fails the program when violations are left that no test declared: a test
// that sends a malformed command on purpose takes them (takeViolations).

#include "core/camerapassport.h"
#include "core/endpoints.h"
#include "camera/libp2p.h"
#include "cloud/apicredentials.h"
#include "sim/cloud/simcloud.h"
#include "sim/cloud/simcloudstate.h"
#include "sim/devicefeatures/simdevicefeatures.h"
#include "sim/device/simp2phost.h"
#include "sim/scenario/simpassports.h"
#include "sim/media/simvideofeature.h"
#include "sim/scenario/scenario.h"

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sodium.h>

class SimHome
{
public:
    enum Part { Cloud = 1, Cameras = 2, All = Cloud | Cameras };

    ~SimHome() { stop(); }

    // Cloud: the account, home API, update and statistics services, signed in
    // as userId (empty: no session). Cameras: the directory and the devices
    // with their media and features, and the P2P library started.
    bool start(const QByteArray& scenarioJson, int parts = All, const QString& userId = QStringLiteral("1234567890"))
    {
        if (sodium_init() < 0)
            return false;
        QString error;
        scenario = std::make_unique<Scenario>();
        if (!scenario->loadJson(scenarioJson, &error)) {
            qWarning("scenario: %s", qUtf8Printable(error));
            return false;
        }
        QJsonObject ep;
        if (parts & Cloud) {
            cloud = std::make_unique<SimCloud>(scenario.get());
            if (!cloud->start(m_dir.path() + QStringLiteral("/certs"), &error)) {
                qWarning("cloud: %s", qUtf8Printable(error));
                return false;
            }
            ep = cloud->endpoints();
        }
        if (parts & Cameras) {
            p2p = std::make_unique<SimP2pHost>(scenario.get());
            SimVideoFeature::install(p2p->dispatcher());
            SimDeviceFeatures::install(p2p->dispatcher());
            if (!p2p->start(0))
                return false;
            ep.insert(QStringLiteral("p2p_directory"), p2p->directoryAddress());
            if (LibP2p::setDirectory(p2p->directoryAddress()) != 0 || LibP2p::initialize() <= 0)
                return false;
            m_p2pStarted = true;
        }
        Endpoints::setCurrent(Endpoints::fromJson(ep));
        if ((parts & Cloud) && !userId.isEmpty())
            signIn(userId);
        return true;
    }

    void stop()
    {
        if (m_p2pStarted) {
            LibP2p::deInitialize();
            LibP2p::setDirectory(QString());
            m_p2pStarted = false;
        }
        if (cloud)
            cloud->stop();
        if (p2p)
            p2p->stop(); // every session has ended: nothing is recorded after this
        const QList<SimViolation> left = p2p ? p2p->violations().take() : QList<SimViolation>();
        cloud.reset();
        p2p.reset();
        if (!left.isEmpty())
            failViolations(left);
    }

    // The violations recorded so far, which the test thereby declares.
    QList<SimViolation> takeViolations() { return p2p ? p2p->violations().take() : QList<SimViolation>(); }

    // A session made directly on the emulator (the service login is tested
    // on its own); sets the process-wide API credentials.
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
    void setCameraFaults(const QString& did, const QByteArray& json)
    {
        const QJsonObject f = QJsonDocument::fromJson(json).object();
        scenario->updateCamera(did, [f](SimCamera& c) { c.faults = f; });
    }
    void setCamera(const QString& did, const std::function<void(SimCamera&)>& change)
    {
        scenario->updateCamera(did, change);
    }
    SimCamera camera(const QString& did) const
    {
        SimCamera cam;
        scenario->camera(did, &cam);
        return cam;
    }

    // Requests the cloud received whose path ends with path.
    int requestsTo(const QString& path) const
    {
        int n = 0;
        for (const SimRequestRecord& r : cloud->state()->requests())
            n += r.path.endsWith(path) ? 1 : 0;
        return n;
    }

    // The plain view account, and what the cloud's device pass gives (see
    // sim/scenario/simpassports.h).
    CameraPassport plainPassport(const QString& did) const { return simpassports::plainPassport(*scenario, did); }
    CameraPassport signedPassport(const QString& did) const { return simpassports::signedPassport(*scenario, did); }

    std::unique_ptr<Scenario> scenario;
    std::unique_ptr<SimP2pHost> p2p;
    std::unique_ptr<SimCloud> cloud;

private:
    void failViolations(const QList<SimViolation>& left)
    {
        QString text = QStringLiteral("%1 protocol violation(s) that no test declared").arg(left.size());
        for (const SimViolation& v : left)
            text += QStringLiteral("\n  %1 %2 [%3]: %4").arg(v.did, v.message, QString::fromLatin1(v.payload.toHex()), v.rule);
        if (QTest::currentTestFunction()) {
            QTest::qFail(qPrintable(text), __FILE__, __LINE__);
            return;
        }
        // Past the last test function (the fixture's destructor): the
        // program's exit code is all that is left to fail.
        std::fflush(stdout);
        std::fprintf(stderr, "FAIL!  : SimHome: %s\n", qPrintable(text));
        std::fflush(stderr);
        m_dir.remove();
        std::_Exit(1);
    }

    QTemporaryDir m_dir;
    bool m_p2pStarted = false;
};
