// The cloud code over real HTTP(S) against the emulated cloud: signed home
// API calls, service login, user card, statistics and version check; the
// few checks of the emulator that make it as strict as the real services;
// what a hostile server could send; and a whole signed-in run searched for
// its secrets.
#include "cloudscenario.h"

#include "app/appinfo.h"
#include "app/logfile.h"
#include "cloud/coreapi.h"
#include "cloud/mnetworkreply.h"
#include "cloud/servicelogin.h"
#include "cloud/usercard.h"
#include "cloud/versionupdater.h"
#include "cloud/vuotapi.h"
#include "cloud/vustat.h"
#include "sim/cloud/simaccountapi.h"
#include "sim/cloud/simcertificates.h"
#include "tests/support/logcapture.h"
#include "tests/support/simhome.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QtTest>

#include <httplib.h>
#include <thread>

using namespace cloudtest;

Q_DECLARE_METATYPE(RoomList)

namespace {

QList<QVariant> waitOne(QSignalSpy& spy)
{
    if (spy.isEmpty())
        spy.wait(30000);
    return spy.isEmpty() ? QList<QVariant>() : spy.takeFirst();
}

// The service tokens and ssecurity values issued in this run.
QStringList& issued()
{
    static QStringList values;
    return values;
}

struct Outcome
{
    int ok = 0, fail = 0, net = 0;
    QString token, ssecurity;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
};

// One service login exchange, to the first of its three signals.
Outcome run(ServiceLogin& login, const QString& passToken = kPassToken, const QString& deviceId = "pcdev1")
{
    QSignalSpy ok(&login, &ServiceLogin::onServiceLogin);
    QSignalSpy fail(&login, &ServiceLogin::onServiceLoginFail);
    QSignalSpy net(&login, &ServiceLogin::onNetworkError);
    login.login("velmorio", kUserId, passToken, deviceId);
    QElapsedTimer t;
    t.start();
    while (ok.count() + fail.count() + net.count() == 0 && t.elapsed() < 30000)
        QTest::qWait(10);
    const Outcome o{ok.count(), fail.count(), net.count(), ok.value(0).value(0).toString(), ok.value(0).value(1).toString(),
                    net.value(0).value(0).value<QNetworkReply::NetworkError>()};
    if (o.ok)
        issued() << o.token << o.ssecurity;
    return o;
}

// Answers no emulator gives: bodies past every limit (their length
// announced, little of it sent) and an error page full of secrets.
class HostileServer
{
public:
    HostileServer()
    {
        auto huge = [](const httplib::Request& req, httplib::Response& res) {
            const size_t size = req.path == "/big.png" ? UserCard::kMaxIconBytes + 1 : kMaxReplyBytes + 1;
            res.set_content_provider(size, "application/octet-stream", [](size_t, size_t left, httplib::DataSink& sink) {
                const std::string chunk(std::min<size_t>(left, 65536), 'h');
                return sink.write(chunk.data(), chunk.size());
            });
        };
        m_server.Get("/big.png", huge);
        m_server.Post(R"(/app/.*)", huge);
        m_server.Get("/vustats/v2", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content("passToken=PT-leaked-in-error-page; " + std::string(100000, 'x'), "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~HostileServer()
    {
        m_server.stop();
        m_thread.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

// A settings file of its own.
struct Settings
{
    QTemporaryDir dir;
    AppInfo info{dir.path() + "/settings.json", QString()};
};

} // namespace

class TestCloudServices : public QObject
{
    Q_OBJECT

    SimHome m_home;
    HostileServer m_hostile;
    QTemporaryDir m_logDir;
    std::unique_ptr<LogFile> m_log; // the program's log file, for the whole run
    QStringList m_secrets{kPassToken, "VIEWPASS-cam1-secret", "VIEWPASS-cam2-secret", "c2VjdXJpdHktZm9yLXRlc3RzIQ=="};

    void useEndpoints(const std::function<void(Endpoints&)>& change)
    {
        Endpoints e = Endpoints::fromJson(m_home.cloud->endpoints());
        change(e);
        Endpoints::setCurrent(e);
    }
    QList<SimRequestRecord> requests() const { return m_home.cloud->state()->requests(); }
    void setCameraFaults(const QJsonObject& faults)
    {
        m_home.setCamera("cam1", [faults](SimCamera& c) { c.faults = faults; });
    }
private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuotCameraStat>>();
        qRegisterMetaType<RoomList>();
        qRegisterMetaType<CamPropSet>("CamPropSet");
        qRegisterMetaType<QNetworkReply::NetworkError>();
        m_log = std::make_unique<LogFile>(m_logDir.filePath("vucamera.log"));
        QVERIFY(m_log->isOpen());
        QVERIFY(m_home.start(scenarioJson(), SimHome::Cloud));
    }
    void init()
    {
        m_home.setCloudFaults("{}");
        useEndpoints([](Endpoints&) {});
        m_home.cloud->state()->clearRequests();
        m_home.signIn(kUserId);
    }
    void cleanup()
    {
        CoreApi::setWatchdogMs(10000);
        setCameraFaults(QJsonObject());
    }

    // --- signed home API requests ---

    void codes_data()
    {
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<QString>("ssecurity");
        QTest::addColumn<QString>("token");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logLine");
        const QString ss = QStringLiteral("c2VjdXJpdHktZm9yLXRlc3RzIQ==");
        QTest::newRow("success") << QByteArray("{}") << ss << "" << 0 << "";
        QTest::newRow("http 500") << QByteArray(R"({"http_status": {"/app/homeroom/getroom": 500}})") << ss << "" << 1
                                  << "/homeroom/getroom send request failed:";
        QTest::newRow("unknown session") << QByteArray("{}") << ss << "unknown-token" << 1 << "send request failed:";
        QTest::newRow("wrong ssecurity") << QByteArray("{}") << "d3Jvbmctc3NlY3VyaXR5" << "" << 1 << "send request failed:";
        QTest::newRow("not an object") << QByteArray(R"({"malformed": {"/app/homeroom/getroom": "array"}})") << ss << ""
                                       << 2 << "";
        for (const char* kind : {"not_json", "wrong_key", "plain"})
            QTest::newRow(kind) << QStringLiteral(R"({"malformed": {"/app/homeroom/getroom": "%1"}})").arg(kind).toUtf8()
                                << ss << "" << 2 << "invalid format:";
    }
    // Both forms, the same codes; only a decoded object comes with content.
    void codes()
    {
        QFETCH(QByteArray, faults);
        QFETCH(QString, ssecurity);
        QFETCH(QString, token);
        QFETCH(int, code);
        QFETCH(QString, logLine);
        m_home.setCloudFaults(faults);
        setApiCredentials(kUserId, token.isEmpty() ? apiServiceToken() : token, ssecurity);
        LogCapture log;
        CoreApi sync;
        QJsonObject result;
        QCOMPARE(sync.getResult("/homeroom/getroom", QJsonObject(), result, 60000), code);
        QCOMPARE(result.isEmpty(), code != 0);
        CoreApi async;
        QSignalSpy spy(&async, &CoreApi::sendRequestFinished);
        async.sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), code);
        QCOMPARE(args.value(1).toJsonObject().contains("result"), code == 0);
        if (logLine.isEmpty())
            QCOMPARE(log.count("request failed:") + log.count("invalid format:"), 0);
        else
            QCOMPARE(log.count(logLine), 2);
    }

    // Every time limit, driven short; the emulator holds its answers far longer.
    void timeLimits()
    {
        LogCapture log;
        VuotApi api;
        CamPropSet set;
        QCOMPARE(api.getPropertiesSync("cam3", set), 1); // offline: the cloud's code -2
        QCOMPARE(api.lastCloudCode(), int(VuotApi::CloudDeviceOffline));

        m_home.setCloudFaults(R"({"delay_ms": {"*": 10000}})");
        CoreApi sync;
        QJsonObject result;
        QCOMPARE(sync.getResult("/homeroom/getroom", QJsonObject(), result, 50), 3);
        CoreApi::setWatchdogMs(50);
        CoreApi async;
        QSignalSpy spy(&async, &CoreApi::sendRequestFinished);
        async.sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        QCOMPARE(waitOne(spy).value(0).toInt(), 1);
        QVERIFY(log.contains("reply timeout, and abort it"));
        set.power = CamPropSet::Off;
        QCOMPARE(api.getPropertiesSync("cam1", set), 3);
        QCOMPARE(set.power, int(CamPropSet::On)); // the defaults
        QCOMPARE(api.lastCloudCode(), 0);         // no answer, no cloud code
        CameraPassport pass;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 1);
        QVERIFY(log.contains("get pass failed: 3,"));
    }

    void nineRequestsAtOnceAllPass()
    {
        // Signed back to back (nine cameras asking at once): distinct
        // nonces, so none is taken for a replay.
        std::vector<std::unique_ptr<CoreApi>> apis;
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (int k = 0; k < 9; ++k) {
            apis.push_back(std::make_unique<CoreApi>());
            spies.push_back(std::make_unique<QSignalSpy>(apis.back().get(), &CoreApi::sendRequestFinished));
            apis.back()->sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        }
        for (auto& s : spies)
            QCOMPARE(waitOne(*s).value(0).toInt(), 0);
    }

    void deviceAndRoomLists()
    {
        m_home.setCloudFaults(R"({"device_list_odd": true})");
        VuotApi api;
        QSignalSpy devices(&api, &VuotApi::getDeviceListFinished);
        api.getDeviceList(QString(), QString(), true, 0);
        QList<QVariant> args = waitOne(devices);
        QCOMPARE(args.value(0).toInt(), 0);
        QStringList seen;
        for (const VuotCameraStat& c : args.value(1).value<QList<VuotCameraStat>>())
            seen << QStringLiteral("%1 %2 %3%4%5 %6/%7/%8 %9").arg(c.did, c.name).arg(int(c.isOnline)).arg(int(c.isSetPincode))
                        .arg(c.shareFlag).arg(c.adminFlag).arg(c.permitLevel).arg(c.ownerUserId, c.ownerNickname);
        // The plug, the non-objects and the entry without a model are
        // skipped; a pin-code flag outside "extra" and a missing online flag
        // count as not set.
        QCOMPARE(seen, (QStringList{"cam1 Front door 100 1/16/1234567890 Alex", "cam2 Garden 110 1/16/1234567890 Alex",
                                    "cam3 Garage 000 1/16/1234567890 Alex", "cam9 Shared 101 0/4/2222222222 Sam",
                                    "toplevelpin  000 0/0/ "}));
        m_home.setCloudFaults(R"({"http_status": {"/app/home/device_list": 503}})");
        api.getDeviceList(QString(), QString(), true, 0);
        args = waitOne(devices);
        QCOMPARE(args.value(0).toInt(), 1);
        QVERIFY(args.value(1).value<QList<VuotCameraStat>>().isEmpty());

        m_home.setCloudFaults("{}");
        QSignalSpy roomSpy(&api, &VuotApi::getRoomListFinished);
        api.getRoomList();
        args = waitOne(roomSpy);
        QCOMPARE(args.value(0).toInt(), 0);
        const RoomList rooms = args.value(1).value<RoomList>();
        QCOMPARE(rooms.size(), 2);
        QCOMPARE(rooms[0].name, QStringLiteral("Living room"));
        QCOMPARE(rooms[0].dids, QStringList{"cam1"}); // the empty did is dropped
        QCOMPARE(rooms.roomOf("cam2")->id, QString("r2"));
        QVERIFY(!rooms.roomOf("CAM2") && !rooms.roomOf("cam9"));
    }

    void properties()
    {
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::getPropertiesFinished);
        api.getProperties("cam1");
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 0);
        const CamPropSet set = args.value(1).value<CamPropSet>();
        QCOMPARE(QList<int>({set.light, set.flip, set.watermark, set.power, set.sdcard_status, int(set.max_client)}),
                 QList<int>({CamPropSet::Off, CamPropSet::Off, CamPropSet::On, CamPropSet::On, 0, 0}));
        m_home.setCamera("cam1", [](SimCamera& c) { c.maxClient = true; c.power = false; });
        CamPropSet sync;
        QCOMPARE(api.getPropertiesSync("cam1", sync), 0);
        m_home.setCamera("cam1", [](SimCamera& c) { c.maxClient = false; c.power = true; });
        QVERIFY(sync.power == CamPropSet::Off && sync.max_client);
        setCameraFaults(QJsonObject{{"prop_count", 10}});
        QCOMPARE(api.getPropertiesSync("cam1", sync), 2);
        setCameraFaults(QJsonObject{{"rpc_code", -3}});
        QCOMPARE(api.getPropertiesSync("cam1", sync), 3);
        QCOMPARE(api.lastCloudCode(), -3);
    }

    void setPower()
    {
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::setPropertyFinished);
        api.setProperty("cam1", "power", "off");
        QCOMPARE(waitOne(spy).value(0).toInt(), 0);
        QVERIFY(!m_home.camera("cam1").power);
        api.setProperty("cam1", "power", "on");
        QCOMPARE(waitOne(spy).value(0).toInt(), 0);
        QVERIFY(m_home.camera("cam1").power);
        LogCapture log;
        api.setProperty("cam1", "power", "maybe");
        QCOMPARE(waitOne(spy).value(0).toInt(), -5);
        QVERIFY(log.contains("fail:ret=-5, msg=invalid value"));
        m_home.setCloudFaults(R"({"http_status": {"/app/home/rpc/cam1": 502}})");
        api.setProperty("cam1", "power", "on");
        QCOMPARE(waitOne(spy).value(0).toInt(), 1);
    }

    void devicePass()
    {
        VuotApi api;
        CameraPassport pass, again, forged, none, wrong, right, unknown, noId, broken, shortKey;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 0);
        const SimCamera cam = m_home.camera("cam1");
        QCOMPARE(QStringList({pass.did, pass.user, pass.p2p_id, pass.password, pass.p2p_dev_public_key}),
                 QStringList({"cam1", "admin", cam.p2pId, cam.password, QString::fromLatin1(cam.boxPublicKey.toHex())}));
        // The camera's side of the key exchange gives the same media key.
        QByteArray cameraShared(32, '\0');
        QCOMPARE(crypto_box_beforenm(reinterpret_cast<unsigned char*>(cameraShared.data()),
                                     reinterpret_cast<const unsigned char*>(pass.appPublicKey.constData()),
                                     reinterpret_cast<const unsigned char*>(cam.boxSecretKey.constData())), 0);
        QCOMPARE(pass.sharedKey.toHex(), cameraShared.toHex());
        auto signedByCloud = [this](const CameraPassport& p) {
            const QByteArray sig = QByteArray::fromHex(p.signForAppData.toLatin1());
            const QByteArray pk = m_home.scenario->cloudSignPublicKey();
            return sig.size() == 64 && p.appPublicKey.size() == 32
                && crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.constData()),
                                               reinterpret_cast<const unsigned char*>(p.appPublicKey.constData()), 32,
                                               reinterpret_cast<const unsigned char*>(pk.constData())) == 0;
        };
        QVERIFY(signedByCloud(pass));
        m_secrets << pass.appSecretKey.toHex() << pass.sharedKey.toHex();
        QCOMPARE(api.getDevicePassSync("cam1", QString(), again), 0);
        QVERIFY(again.appPublicKey != pass.appPublicKey); // a fresh key pair per request
        m_home.setCloudFaults(R"({"bad_signature": true})");
        QCOMPARE(api.getDevicePassSync("cam1", QString(), forged), 0);
        QVERIFY(!signedByCloud(forged));

        m_home.setCloudFaults("{}");
        LogCapture log;
        QCOMPARE(api.getDevicePassSync("cam2", QString(), none), -20009);
        QCOMPARE(api.getDevicePassSync("cam2", "9999", wrong), -20009);
        QCOMPARE(api.getDevicePassSync("cam2", "1234", right), 0);
        QCOMPARE(right.p2p_id, QString("UID-cam2"));
        QCOMPARE(api.getDevicePassSync("nosuchcam", QString(), unknown), -20009);
        QVERIFY(log.contains("invalid json, missing result field"));
        setCameraFaults(QJsonObject{{"no_p2p_id", true}});
        QCOMPARE(api.getDevicePassSync("cam1", QString(), noId), -20009);
        QVERIFY(log.contains("get pass failed: 0,"));
        QVERIFY(!noId.sharedKey.isEmpty()); // the rest of the reply was used
        m_home.setCloudFaults(R"({"http_status": {"/app/device/devicepass": 500}})");
        QCOMPARE(api.getDevicePassSync("cam1", QString(), broken), 1);
        QVERIFY(log.contains("get pass failed: 1,"));

        // A device key that is not 32 bytes leaves the media key empty.
        m_home.setCloudFaults("{}");
        m_home.setCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject(); c.boxPublicKey = QByteArray::fromHex("0102"); });
        QCOMPARE(api.getDevicePassSync("cam1", QString(), shortKey), 0);
        m_home.setCamera("cam1", [&cam](SimCamera& c) { c.boxPublicKey = cam.boxPublicKey; });
        QVERIFY(shortKey.sharedKey.isEmpty());
    }

    // --- service login ---

    void serviceLogin()
    {
        ServiceLogin login;
        const Outcome o = run(login);
        QCOMPARE(o.ok + o.fail + o.net, 1);
        QVERIFY(!QByteArray::fromBase64(o.ssecurity.toLatin1()).isEmpty());
        const QList<SimRequestRecord> reqs = requests();
        QCOMPARE(reqs.size(), 2);
        QCOMPARE(reqs[0].target, "/pass/serviceLogin?sid=velmorio&_json=true&passive=true&hidden=fasle&userId=" + kUserId);
        QCOMPARE(reqs[0].cookie, QString("passToken=%1; userId=%2; deviceId=pcdev1").arg(kPassToken, kUserId));
        QCOMPARE(reqs[1].path, QString("/sts"));
        QVERIFY(reqs[1].target.contains("&clientSign="));
        QCOMPARE(reqs[0].userAgent + reqs[1].userAgent, QString("vucam_pc_v3vucam_pc_v3"));
        // The issued credentials sign home API requests.
        setApiCredentials(kUserId, o.token, o.ssecurity);
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 60000), 0);

        // Again on the same object, without a device id: an answer without
        // the token does not pass with the first exchange's.
        m_home.setCloudFaults(R"({"service_login": "no_cookie"})");
        QCOMPARE(run(login, kPassToken, QString()).fail, 1);
        QCOMPARE(requests().at(requests().size() - 2).cookie, QString("passToken=%1; userId=%2; deviceId=").arg(kPassToken, kUserId));
    }

    void serviceLoginOutcomes_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("passToken");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("logLine");
        auto mode = [](const char* m) { return QStringLiteral(R"({"service_login": "%1"})").arg(m); };
        QTest::newRow("no pragma") << mode("no_pragma") << kPassToken << "fail" << 0 << "not found extension-pragma: ";
        QTest::newRow("pragma not json") << mode("bad_pragma") << kPassToken << "fail" << 0 << "invalid format: nonce=1;ssecurity";
        QTest::newRow("no ssecurity") << mode("no_ssecurity") << kPassToken << "fail" << 0 << "invalid format: ";
        QTest::newRow("no marker") << mode("no_marker") << kPassToken << "fail" << 0 << "invalid format: {";
        QTest::newRow("bad json") << mode("bad_json") << kPassToken << "fail" << 0 << "invalid format: &&&START&&&";
        QTest::newRow("empty object") << mode("empty_object") << kPassToken << "fail" << 0 << "invalid format: &&&START&&&{}";
        QTest::newRow("code not 0") << mode("code_nonzero") << kPassToken << "fail" << 0 << "login fail: service not allowed";
        QTest::newRow("no code") << mode("no_code") << kPassToken << "fail" << 0 << "login fail: ok";
        QTest::newRow("no cookie") << mode("no_cookie") << kPassToken << "fail" << 0 << "serviceToken is empty";
        QTest::newRow("empty cookie") << mode("empty_cookie") << kPassToken << "fail" << 0 << "serviceToken is empty";
        QTest::newRow("cookie name case") << mode("lowercase_cookie") << kPassToken << "fail" << 0 << "serviceToken is empty";
        QTest::newRow("wrong pass token") << "{}" << "PT-not-a-valid-token" << "fail" << 0 << "invalid format: ";
        // "code" as a string counts as 0; a string nonce counts as 0 and the
        // signature is made over 0; only the first "serviceToken" counts.
        QTest::newRow("string code") << mode("string_code") << kPassToken << "ok" << 0 << "";
        QTest::newRow("string nonce") << mode("string_nonce") << kPassToken << "ok" << 0 << "";
        QTest::newRow("two cookies") << mode("two_cookies") << kPassToken << "ok" << 0 << "";
        // "&clientSign=..." alone is no address to fetch.
        QTest::newRow("no location") << mode("no_location") << kPassToken << "net" << -1 << "handleLoginReply: reply error";
        QTest::newRow("step 1 http 500") << R"({"http_status": {"/pass/serviceLogin": 500}})" << kPassToken << "net"
                                         << int(QNetworkReply::InternalServerError) << "onAuthInfoReply: reply error";
        QTest::newRow("step 2 http 403") << R"({"http_status": {"/sts": 403}})" << kPassToken << "net"
                                         << int(QNetworkReply::ContentAccessDenied) << "handleLoginReply: reply error";
    }
    void serviceLoginOutcomes()
    {
        QFETCH(QString, faults);
        QFETCH(QString, passToken);
        QFETCH(QString, outcome);
        QFETCH(int, error);
        QFETCH(QString, logLine);
        m_home.setCloudFaults(faults.toUtf8());
        LogCapture log;
        ServiceLogin login;
        const Outcome o = run(login, passToken);
        QCOMPARE(o.ok + o.fail + o.net, 1);
        QCOMPARE(QStringList({"ok", "fail", "net"}).at(o.ok ? 0 : o.fail ? 1 : 2), outcome);
        QVERIFY(error < 0 || int(o.error) == error);
        QVERIFY(o.token != QLatin1String("second"));
        QVERIFY2(logLine.isEmpty() || log.contains(logLine), qUtf8Printable(log.lines().join('\n')));
    }

    void serviceLoginReplacedOrRetried()
    {
        // A second login drops the first exchange: nothing of it is reported.
        ServiceLogin login;
        QSignalSpy fail(&login, &ServiceLogin::onServiceLoginFail);
        QSignalSpy net(&login, &ServiceLogin::onNetworkError);
        login.login("velmorio", kUserId, "PT-not-a-valid-token", "pcdev1");
        QCOMPARE(run(login).ok, 1);
        QCOMPARE(fail.count() + net.count(), 0);

        // The owner may retry straight from the failure signal, while the
        // failed reply is still being handled.
        m_home.setCloudFaults(R"({"service_login": "no_pragma"})");
        ServiceLogin retrying;
        int failures = 0;
        connect(&retrying, &ServiceLogin::onServiceLoginFail, this, [&] {
            if (++failures == 1) {
                m_home.setCloudFaults("{}");
                retrying.login("velmorio", kUserId, kPassToken, "pcdev1");
            }
        });
        QSignalSpy ok(&retrying, &ServiceLogin::onServiceLogin);
        retrying.login("velmorio", kUserId, kPassToken, "pcdev1");
        QVERIFY(ok.wait(30000));
        QCOMPARE(failures, 1);
    }

    void serviceLoginStepOneTimeLimit()
    {
        m_home.setCloudFaults(R"({"delay_ms": {"/pass/serviceLogin": 10000}})");
        LogCapture log;
        ServiceLogin login(nullptr, 50);
        const Outcome o = run(login);
        QCOMPARE(o.net, 1);
        QCOMPARE(o.error, QNetworkReply::OperationCanceledError);
        QVERIFY(log.contains("reply timeout, and abort it"));
    }

    // Without the emulator's CA, or with another emulator's, the certificate
    // does not verify: nothing goes out with the pass token or the session.
    void untrustedCertificates_data()
    {
        QTest::addColumn<bool>("foreign");
        QTest::newRow("no extra CA") << false;
        QTest::newRow("another CA") << true;
    }
    void untrustedCertificates()
    {
        QFETCH(bool, foreign);
        QTemporaryDir other;
        SimCertificates stranger;
        QVERIFY(stranger.prepare(other.path()));
        useEndpoints([&](Endpoints& e) { e.caCertFile = foreign ? stranger.caFile() : QString(); });
        LogCapture log;
        ServiceLogin login;
        const Outcome o = run(login);
        QCOMPARE(o.net, 1);
        QCOMPARE(o.error, QNetworkReply::SslHandshakeFailedError);
        QVERIFY(log.contains("handle ssl errors for:") && log.contains("ssl error:"));
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 60000), 1);
        QVERIFY(requests().isEmpty());
    }

    // --- user card, statistics, version check ---

    void userCard()
    {
        UserCard card;
        QSignalSpy got(&card, &UserCard::onUserCardGot);
        QSignalSpy fail(&card, &UserCard::onUserCardGotFail);
        card.get(kUserId);
        QVERIFY(got.wait(30000));
        QCOMPARE(card.nick, QString("Alex"));
        QCOMPARE(card.icon, SimAccountApi::avatarPng());
        QVERIFY(card.iconUrl.toString().endsWith("/avatar/1234567890.png"));
        // A card of no usable shape leaves the fields: the earlier avatar
        // address is fetched again.
        card.icon.clear();
        m_home.setCloudFaults(R"({"malformed": {"/pass/usersCard": "x"}})");
        LogCapture log;
        card.get(kUserId);
        QVERIFY(got.wait(30000));
        QCOMPARE(card.icon, SimAccountApi::avatarPng());
        QVERIFY(!log.contains("user icon is empty"));
        // A card whose avatar is an empty text has none.
        m_home.setCloudFaults("{}");
        card.clear();
        card.get("2222222222");
        QVERIFY(got.wait(30000));
        QCOMPARE(card.nick, QString("Sam"));
        QVERIFY(card.icon.isEmpty() && log.contains("user icon is empty"));
        QCOMPARE(fail.count(), 0);

        m_home.setCloudFaults(R"({"http_status": {"/avatar/1234567890.png": 404}})");
        card.get(kUserId);
        QVERIFY(fail.wait(30000));
        QCOMPARE(card.nick, QString("Alex"));
        QVERIFY(log.contains("handleUserIconReply: reply error"));
        m_home.setCloudFaults(R"({"http_status": {"/pass/usersCard": 500}})");
        card.get(kUserId);
        QVERIFY(fail.wait(30000));
        QVERIFY(log.contains("handleUserCardReply: reply error"));
    }

    // A local file as the avatar is never read; one past its size limit is
    // dropped; a home API reply past its limit is cut off.
    void hostileReplies()
    {
        QTemporaryDir dir;
        QFile secret(dir.filePath("id_key"));
        QVERIFY(secret.open(QIODevice::WriteOnly) && secret.write("PRIVATE KEY MATERIAL") > 0);
        secret.close();
        LogCapture log;
        for (const QString& icon : {QUrl::fromLocalFile(secret.fileName()).toString(), m_hostile.url() + "/big.png"}) {
            QVERIFY(m_home.scenario->updateAccount(kUserId, [icon](SimAccount& a) { a.icon = icon; }));
            UserCard card;
            QSignalSpy got(&card, &UserCard::onUserCardGot);
            card.get(kUserId);
            QVERIFY(got.wait(30000));
            QCOMPARE(card.nick, QStringLiteral("Alex"));
            QVERIFY(card.icon.isEmpty());
        }
        m_home.scenario->updateAccount(kUserId, [](SimAccount& a) { a.icon = "/avatar/1234567890.png"; });
        QVERIFY(log.contains("user icon refused, not an http or https address"));
        QVERIFY(log.contains("user icon larger than 2097152 bytes, ignored"));

        useEndpoints([this](Endpoints& e) { e.homeApi = m_hostile.url(); });
        CoreApi sync;
        QJsonObject result;
        QCOMPARE(sync.getResult("/home/device_list", QJsonObject(), result, 60000), 2);
        CoreApi async;
        QSignalSpy done(&async, &CoreApi::sendRequestFinished);
        async.sendRequest("/home/device_list", QJsonObject(), 10000);
        QCOMPARE(waitOne(done).value(0).toInt(), 2);
        QCOMPARE(log.count("reply larger than 16777216 bytes, and abort it"), 2);
    }

    void statistics()
    {
        m_home.cloud->clearStatReports();
        VuStat::setVersion("3.0.0");
        reportAction("accept_updates");
        reportError("load_camera_list", 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_home.cloud->statReports().size(), 2, 30000);
        QStringList keys;
        for (const SimStatReport& r : m_home.cloud->statReports()) {
            QCOMPARE(r.items.value("version"), QString("3.0.0"));
            const QJsonObject value = r.report.array().at(0).toObject().value("content").toArray().at(0).toObject()
                                          .value("values").toArray().at(0).toObject();
            keys << value.value("key").toString() + "=" + QString::number(value.value("value").toInt());
        }
        keys.sort();
        QCOMPARE(keys, (QStringList{"accept_updates=1", "load_camera_list_error=2"}));

        // A failed upload logs the answer: cut, and without its secrets.
        useEndpoints([this](Endpoints& e) { e.stats = m_hostile.url(); });
        LogCapture log;
        reportAction("retry_login");
        QTRY_COMPARE_WITH_TIMEOUT(log.count("vustat err:"), 2, 30000);
        const QStringList body = log.lines().filter("xxxxxxxxxx");
        QVERIFY(body.size() == 1 && body.first().size() < 1000 && !log.contains("PT-leaked"));
    }

    // Whether check() asks the service, from the stored state alone: a query
    // shows at once as a reply of the updater's network manager.
    void versionQueryPolicy_data()
    {
        QTest::addColumn<int>("checkedDaysAgo"); // 99: never
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("days");
        QTest::addColumn<int>("storedPolicy");
        QTest::addColumn<bool>("query");
        QTest::addColumn<QString>("logLine");
        const QString url = "http://127.0.0.1/x";
        QTest::newRow("checked today") << 0 << "3.0.1" << url << 1 << 2 << false << "";
        QTest::newRow("a day ago") << 1 << "3.0.1" << url << 1 << 2 << true << "1 days passed, and check version.";
        QTest::newRow("two days, every three") << 2 << "3.0.1" << url << 3 << 0 << false << "";
        QTest::newRow("every start") << 0 << "3.0.1" << url << 0 << 2 << true << "0 days passed";
        QTest::newRow("in the future") << -3 << "3.0.1" << url << 1 << 2 << false << "";
        QTest::newRow("no version") << -3 << "" << url << 1 << 2 << true << " version still not got, and check again.";
        QTest::newRow("no url") << 0 << "3.0.1" << "" << 1 << 2 << true << "version url is empty, and check again.";
        QTest::newRow("never") << 99 << "3.0.1" << url << 1 << 2 << true << "first time to check version.";
        QTest::newRow("bad policy") << 0 << "3.0.1" << url << 1 << 5 << false << "invalid update_policy value:5";
    }
    void versionQueryPolicy()
    {
        QFETCH(int, checkedDaysAgo);
        QFETCH(QString, version);
        QFETCH(QString, url);
        QFETCH(int, days);
        QFETCH(int, storedPolicy);
        QFETCH(bool, query);
        QFETCH(QString, logLine);
        Settings s;
        if (checkedDaysAgo != 99)
            s.info.setString("updater", "check_time", QDateTime::currentDateTime().addDays(-checkedDaysAgo).toString(Qt::ISODate));
        s.info.setString("updater", "version", version);
        s.info.setString("updater", "url", url);
        s.info.setInt("updater", "update_policy", storedPolicy);
        s.info.setInt("settings", "update_days", days);
        QNetworkAccessManager nam;
        VersionUpdater u(nullptr, &s.info, &nam);
        LogCapture log;
        u.check();
        QCOMPARE(nam.findChildren<QNetworkReply*>().size(), query ? 1 : 0);
        QCOMPARE(u.policy(), storedPolicy == 5 ? 1 : storedPolicy);
        QVERIFY2(logLine.isEmpty() || log.contains(logLine), qUtf8Printable(log.lines().join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(nam.findChildren<QNetworkReply*>().isEmpty(), 30000); // answered
    }

    // What an answer leaves in the settings, and which download address it
    // may hand to the desktop.
    void versionAnswers_data()
    {
        QTest::addColumn<QString>("faults");
        QTest::addColumn<QString>("stored"); // version and policy
        QTest::addColumn<bool>("checkTime");
        QTest::addColumn<QString>("opened");
        QTest::newRow("four parts, web mirror") << "\"latest_version\": \"9.9.9.2\", \"update_mirror\": \"https://dl.example.com/pc\""
                                                << "9.9.9 2" << true << "https://dl.example.com/pc/9.9.9.2/VuCamera-setup.exe";
        QTest::newRow("three parts") << R"("latest_version": "9.0.1")" << "9.0.1 1" << true
                                     << "UPDATE/downloads/9.0.1/VuCamera-setup.exe";
        QTest::newRow("file mirror") << "\"latest_version\": \"9.9.9.2\", \"update_mirror\": \"file:///etc\"" << "9.9.9 2"
                                     << true << "";
        QTest::newRow("no mirror") << R"("update_reply": {"LatestVersion": {"version": "4.0.0"}, "MirrorList": []})"
                                   << " -1" << true << "";
        QTest::newRow("http 500") << R"("http_status": {"/updates/vu-updateV6.php": 500})" << " -1" << false << "";
    }
    void versionAnswers()
    {
        QFETCH(QString, faults);
        QFETCH(QString, stored);
        QFETCH(bool, checkTime);
        QFETCH(QString, opened);
        m_home.setCloudFaults(("{" + faults + "}").toUtf8());
        Settings s;
        QNetworkAccessManager nam;
        VersionUpdater u(nullptr, &s.info, &nam);
        QSignalSpy got(&u, &VersionUpdater::onNetVersionGot);
        u.check();
        QTRY_VERIFY_WITH_TIMEOUT(nam.findChildren<QNetworkReply*>().isEmpty(), 30000);
        QCOMPARE(got.count(), stored.startsWith(' ') ? 0 : 1);
        QCOMPARE(s.info.getString("updater", "version", "") + " " + QString::number(s.info.getInt("updater", "update_policy", -1)),
                 stored);
        QCOMPARE(QDateTime::fromString(s.info.getString("updater", "check_time", ""), Qt::ISODate).isValid(), checkTime);
        QUrl seen;
        QCOMPARE(u.openDownloadUrl([&seen](const QUrl& url) { return (seen = url).isValid(); }), !opened.isEmpty());
        QCOMPARE(seen.toString(), opened.replace("UPDATE", Endpoints::current().update));
    }


    // The whole run's log, error paths included, holds none of its secrets.
    void secretsStayOutOfTheLog()
    {
        m_log.reset();
        QFile file(m_logDir.filePath("vucamera.log"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("get pass failed: 0,") && text.contains("invalid format: nonce=1;ssecurity"));
        for (const QString& s : m_secrets + issued())
            QVERIFY2(!text.contains(s.toUtf8()) && !text.contains(QUrl::toPercentEncoding(s)), qPrintable("the log holds " + s));
    }
};

QTEST_GUILESS_MAIN(TestCloudServices)
#include "tst_cloudservices.moc"
