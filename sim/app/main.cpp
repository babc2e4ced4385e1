// vucamera-sim: plays the remote parties of VuCamera on this machine.
//
//   vucamera-sim [--scenario FILE] [--endpoints FILE] [--directory-port N]
//
// Loads the scenario (default: a small built-in home), starts every part on
// loopback ports (ephemeral unless given), writes the endpoints file
// (default: VUCAMERA_ENDPOINTS or <temp dir>/vucamera-sim/endpoints.json) and
// prints one line "ready <endpoints JSON>" on standard output. Runs until
// SIGINT or SIGTERM.

#include "core/endpoints.h"
#include "sim/cloud/simcloud.h"
#include "sim/control/controlserver.h"
#include "sim/device/simp2phost.h"
#include "sim/media/simvideofeature.h"
#include "sim/scenario/scenario.h"
#include "sim/devicefeatures/simdevicefeatures.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    (void)!::write(g_signalFds[0], &c, 1);
}

const char* const kDemoScenario = R"({
  "seed": "demo",
  "accounts": [{"user_id": "1234567890", "password": "secret", "nickname": "Alex"}],
  "rooms": [{"id": "r1", "name": "Living room", "icon": "living", "owner": "1234567890",
             "dids": ["cam1", "cam2"]}],
  "cameras": [
    {"did": "cam1", "name": "Front door", "owner": "1234567890", "p2p_id": "UID-cam1"},
    {"did": "cam2", "name": "Garden", "owner": "1234567890", "p2p_id": "UID-cam2",
     "model": "hovia.camera.v4"}
  ]
})";

bool writeEndpoints(const QString& path, const QJsonObject& endpoints)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(endpoints).toJson(QJsonDocument::Indented));
    return f.commit();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vucamera-sim"));

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption scenarioOpt(QStringLiteral("scenario"), QStringLiteral("Scenario JSON file."),
                                   QStringLiteral("file"));
    QCommandLineOption endpointsOpt(QStringLiteral("endpoints"), QStringLiteral("Endpoints file to write."),
                                    QStringLiteral("file"));
    QCommandLineOption dirPortOpt(QStringLiteral("directory-port"),
                                  QStringLiteral("Port of the P2P directory (default: any)."),
                                  QStringLiteral("port"), QStringLiteral("0"));
    QCommandLineOption p2pAddressOpt(QStringLiteral("p2p-address"),
                                     QStringLiteral("IPv4 address the P2P directory and the cameras listen on "
                                                    "(default 127.0.0.1; an address of this machine lets "
                                                    "clients on the LAN play the cameras)."),
                                     QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    parser.addOption(p2pAddressOpt);
    parser.addOption(scenarioOpt);
    parser.addOption(endpointsOpt);
    parser.addOption(dirPortOpt);
    parser.process(app);

    Scenario scenario;
    QString error;
    const bool loaded = parser.isSet(scenarioOpt) ? scenario.loadFile(parser.value(scenarioOpt), &error)
                                                  : scenario.loadJson(kDemoScenario, &error);
    if (!loaded) {
        std::fprintf(stderr, "vucamera-sim: %s\n", qPrintable(error));
        return 2;
    }

    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds);
    QSocketNotifier notifier(g_signalFds[1], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    SimP2pHost p2p(&scenario);
    SimVideoFeature::install(p2p.dispatcher());
    SimVideoFeature::prefetch(scenario);
    if (!p2p.start(static_cast<unsigned short>(parser.value(dirPortOpt).toUInt()), parser.value(p2pAddressOpt))) {
        std::fprintf(stderr, "vucamera-sim: cannot start the P2P directory on %s\n", qPrintable(parser.value(p2pAddressOpt)));
        return 1;
    }
    ControlServer control(&scenario, &p2p.violations());
    const int controlPort = control.start(0);
    SimDeviceFeatures::install(p2p.dispatcher()); // memory card timeline and motor

    QJsonObject endpoints;
    endpoints.insert(QStringLiteral("p2p_directory"), p2p.directoryAddress());
    if (controlPort > 0)
        endpoints.insert(QStringLiteral("control"), QStringLiteral("http://127.0.0.1:%1").arg(controlPort));

    const QString path = parser.isSet(endpointsOpt) ? parser.value(endpointsOpt) : Endpoints::defaultFilePath();

    // --- Emulated cloud (account service, account API, home API, update and
    // statistics services). Its CA and server certificate live in "certs"
    // beside the endpoints file, made at the first start and reused after.
    SimCloud cloud(&scenario);
    const QString certDir = QFileInfo(path).absolutePath() + QStringLiteral("/certs");
    if (!cloud.start(certDir, &error)) {
        std::fprintf(stderr, "vucamera-sim: cannot start the cloud services: %s\n", qPrintable(error));
        return 1;
    }
    const QJsonObject cloudEndpoints = cloud.endpoints();
    for (auto it = cloudEndpoints.constBegin(); it != cloudEndpoints.constEnd(); ++it)
        endpoints.insert(it.key(), it.value());
    // --- end of the emulated cloud

    if (!writeEndpoints(path, endpoints)) {
        std::fprintf(stderr, "vucamera-sim: cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("ready %s\n", QJsonDocument(endpoints).toJson(QJsonDocument::Compact).constData());
    std::fflush(stdout);

    const int rc = app.exec();
    cloud.stop();
    control.stop();
    p2p.stop();
    return rc;
}
