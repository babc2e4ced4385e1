#include "cloudtestfixture.h"

#include "cloud/coreapi.h"
#include "cloud/requestsigner.h"
#include "cloud/vuotapi.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <sodium.h>

using namespace cloudtest;


Q_DECLARE_METATYPE(RoomList)

// CoreApi and VuotApi over real HTTPS against the emulated home API.
class TestHomeApi : public QObject
{
    Q_OBJECT

    CloudFixture m_fx;

    static QList<QVariant> waitOne(QSignalSpy& spy, int ms = 8000)
    {
        if (spy.isEmpty())
            spy.wait(ms);
        return spy.isEmpty() ? QList<QVariant>() : spy.takeFirst();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuotCameraStat>>();
        qRegisterMetaType<RoomList>();
        qRegisterMetaType<CamPropSet>("CamPropSet");
        QVERIFY(m_fx.start());
        CoreApi::setWatchdogMs(1500);
    }
    void init()
    {
        m_fx.setFaults("{}");
        m_fx.signIn();
    }
    void cleanupTestCase() { m_fx.stop(); }

    // --- CoreApi codes ---

    void coreApiSuccessBothForms()
    {
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 0);
        QCOMPARE(result.value("code").toInt(), 0);

        CoreApi async;
        QSignalSpy spy(&async, &CoreApi::sendRequestFinished);
        async.sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 0);
        QVERIFY(args.value(1).toJsonObject().contains("result"));
    }

    void coreApiNetworkFailureIsOne()
    {
        m_fx.setFaults(R"({"http_status": {"/app/homeroom/getroom": 500}})");
        LogCapture log;
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 1);
        QVERIFY(log.contains("/homeroom/getroom send request failed:"));

        CoreApi async;
        QSignalSpy spy(&async, &CoreApi::sendRequestFinished);
        async.sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        QCOMPARE(waitOne(spy).value(0).toInt(), 1);
    }

    void coreApiRefusedByServerIsOne()
    {
        // A session the server does not know: the request is refused.
        setApiCredentials(kUserId, "unknown-token", "c2VjdXJpdHktZm9yLXRlc3RzIQ==");
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 1);
        // Wrong ssecurity for a valid token: the signature does not check out.
        m_fx.signIn();
        setApiCredentials(apiUserId(), apiServiceToken(), "d3Jvbmctc3NlY3VyaXR5");
        CoreApi api2;
        QCOMPARE(api2.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 1);
    }

    void coreApiNonObjectIsTwoWithoutLog()
    {
        m_fx.setFaults(R"({"malformed": {"/app/homeroom/getroom": "array"}})");
        LogCapture log;
        CoreApi api;
        QJsonObject result;
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 5000), 2);
        QVERIFY(!log.contains("invalid format:"));
        QVERIFY(result.isEmpty());
    }

    void coreApiUndecryptableIsTwoWithLog_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not json") << "not_json";
        QTest::newRow("wrong key") << "wrong_key";
        QTest::newRow("not encrypted") << "plain";
    }
    void coreApiUndecryptableIsTwoWithLog()
    {
        QFETCH(QString, kind);
        m_fx.setFaults(QStringLiteral(R"({"malformed": {"/app/homeroom/getroom": "%1"}})").arg(kind).toUtf8());
        LogCapture log;
        CoreApi api;
        QSignalSpy spy(&api, &CoreApi::sendRequestFinished);
        api.sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 2);
        QVERIFY(args.value(1).toJsonObject().isEmpty());
        QVERIFY(log.contains("invalid format:"));
    }

    void getResultTimeoutIsThree()
    {
        m_fx.setFaults(R"({"delay_ms": {"/app/homeroom/getroom": 3000}})");
        CoreApi api;
        QJsonObject result;
        QElapsedTimer t;
        t.start();
        QCOMPARE(api.getResult("/homeroom/getroom", QJsonObject(), result, 300), 3);
        QVERIFY(t.elapsed() < 2500);
    }

    void sendRequestWatchdogIsOne()
    {
        m_fx.setFaults(R"({"delay_ms": {"/app/homeroom/getroom": 4000}})");
        LogCapture log;
        CoreApi api;
        QSignalSpy spy(&api, &CoreApi::sendRequestFinished);
        api.sendRequest("/homeroom/getroom", QJsonObject(), 10000);
        QCOMPARE(waitOne(spy, 4000).value(0).toInt(), 1);
        QVERIFY(log.contains("reply timeout, and abort it"));
    }

    void replayedRequestIsRefused()
    {
        // The same body posted twice: the server refuses the second one.
        QNetworkAccessManager nam;
        const QString ss = apiSsecurity();
        const QByteArray body = RequestSigner::encodeBody(
            RequestSigner::signedFields("/homeroom/getroom", QJsonObject(), ss, RequestSigner::makeNonce()));
        auto post = [&]() {
            QNetworkRequest req(QUrl(Endpoints::current().homeApi + "/app/homeroom/getroom"));
            req.setSslConfiguration(Endpoints::sslConfiguration());
            req.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
            req.setRawHeader("Cookie", ("userId=" + apiUserId() + "; serviceToken=" + apiServiceToken()).toLatin1());
            QNetworkReply* r = nam.post(req, body);
            QSignalSpy done(r, &QNetworkReply::finished);
            done.wait(5000);
            const int status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            r->deleteLater();
            return status;
        };
        QCOMPARE(post(), 200);
        QCOMPARE(post(), 401);
    }

    void staleNonceIsRefused()
    {
        QNetworkAccessManager nam;
        const QString old = RequestSigner::makeNonce(QDateTime::currentMSecsSinceEpoch() - 20 * 60000);
        const QByteArray body = RequestSigner::encodeBody(
            RequestSigner::signedFields("/homeroom/getroom", QJsonObject(), apiSsecurity(), old));
        QNetworkRequest req(QUrl(Endpoints::current().homeApi + "/app/homeroom/getroom"));
        req.setSslConfiguration(Endpoints::sslConfiguration());
        req.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
        req.setRawHeader("Cookie", ("userId=" + apiUserId() + "; serviceToken=" + apiServiceToken()).toLatin1());
        QNetworkReply* r = nam.post(req, body);
        QSignalSpy done(r, &QNetworkReply::finished);
        QVERIFY(done.wait(5000));
        QCOMPARE(r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 401);
        delete r;
    }

    void manyConcurrentRequestsAllPass()
    {
        // Nine requests signed back to back (as nine cameras asking at once)
        // carry distinct nonces, so none is taken for a replay.
        QList<CoreApi*> apis;
        QList<QSignalSpy*> spies;
        for (int k = 0; k < 9; ++k) {
            auto* api = new CoreApi(this);
            spies << new QSignalSpy(api, &CoreApi::sendRequestFinished);
            api->sendRequest("/homeroom/getroom", QJsonObject(), 10000);
            apis << api;
        }
        for (QSignalSpy* s : spies) {
            QCOMPARE(waitOne(*s).value(0).toInt(), 0);
            delete s;
        }
        qDeleteAll(apis);
    }

    // --- VuotApi ---

    void deviceList()
    {
        m_fx.setFaults(R"({"device_list_odd": true})");
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::getDeviceListFinished);
        api.getDeviceList(QString(), QString(), true, 0);
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 0);
        const auto cams = args.value(1).value<QList<VuotCameraStat>>();
        QStringList dids;
        for (const VuotCameraStat& c : cams)
            dids << c.did;
        // plug1 (unsupported), the non-objects and the one without a model
        // are skipped; the rest arrive in order.
        QCOMPARE(dids, (QStringList{"cam1", "cam2", "cam3", "cam9", "toplevelpin"}));
        QCOMPARE(cams[0].name, QString("Front door"));
        QVERIFY(cams[0].isOnline);
        QVERIFY(!cams[0].isSetPincode);
        QCOMPARE(cams[0].ownerUserId, kUserId);
        QCOMPARE(cams[0].ownerNickname, QString("Alex"));
        QVERIFY(cams[1].isSetPincode);
        QVERIFY(!cams[2].isOnline);
        QCOMPARE(cams[3].shareFlag, 1);
        QCOMPARE(cams[3].ownerUserId, QString("2222222222"));
        QVERIFY(!cams[4].isSetPincode); // given at the top level: ignored
        QVERIFY(cams[4].ownerUserId.isEmpty());
    }

    void deviceListParseFailures()
    {
        QList<VuotCameraStat> out;
        LogCapture log;
        QCOMPARE(VuotApi::parseDeviceList(QJsonObject{{"result", QJsonObject{{"list", 5}}}}, out), 2);
        QVERIFY(log.contains("invalid json:"));
        QVERIFY(log.contains("parseDeviceList err:"));
        QCOMPARE(VuotApi::parseDeviceList(QJsonObject{{"code", 0}}, out), 2);
        QVERIFY(out.isEmpty());
    }

    void deviceListTransportFailurePassesCode()
    {
        m_fx.setFaults(R"({"http_status": {"/app/home/device_list": 503}})");
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::getDeviceListFinished);
        api.getDeviceList(QString(), QString(), true, 0);
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 1);
        QVERIFY(args.value(1).value<QList<VuotCameraStat>>().isEmpty());
    }

    void roomList()
    {
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::getRoomListFinished);
        api.getRoomList();
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 0);
        const RoomList rooms = args.value(1).value<RoomList>();
        QCOMPARE(rooms.size(), 2);
        QCOMPARE(rooms[0].dids, QStringList{"cam1"}); // the empty did is dropped
        QCOMPARE(rooms.roomOf("cam1")->id, QString("r1"));
        QCOMPARE(rooms.roomOf("cam2")->id, QString("r2"));
        QVERIFY(rooms.roomOf("CAM2") == nullptr);
        QVERIFY(rooms.roomOf("cam9") == nullptr);

        LogCapture log;
        RoomList out;
        QCOMPARE(VuotApi::parseRoomList(QJsonObject{{"code", 0}}, out), 2);
        QVERIFY(log.contains("cannot parse room list:"));
    }

    void propertiesAsyncAndSync()
    {
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::getPropertiesFinished);
        api.getProperties("cam1");
        const QList<QVariant> args = waitOne(spy);
        QCOMPARE(args.value(0).toInt(), 0);
        const CamPropSet set = args.value(1).value<CamPropSet>();
        QCOMPARE(set.power, int(CamPropSet::On));
        QCOMPARE(set.light, int(CamPropSet::Off));
        QCOMPARE(set.watermark, int(CamPropSet::On));
        QCOMPARE(set.motion_record, QString("on"));
        QVERIFY(!set.max_client);

        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) {
            c.maxClient = true;
            c.power = false;
            c.faults = QJsonObject{{"props", QJsonObject{{"night_mode", "2"}, {"sdcard_status", "x"}, {"light", 1}}}};
        });
        CamPropSet sync;
        QCOMPARE(api.getPropertiesSync("cam1", sync), 0);
        QCOMPARE(sync.power, int(CamPropSet::Off));
        QVERIFY(sync.max_client);
        QCOMPARE(sync.night_mode, 2);
        QCOMPARE(sync.sdcard_status, 0);     // not a number
        QCOMPARE(sync.light, int(CamPropSet::Unknown)); // not a JSON string
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) {
            c.maxClient = false;
            c.power = true;
            c.faults = QJsonObject();
        });
    }

    void propertiesWrongCount_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("8") << 8;
        QTest::newRow("10") << 10;
    }
    void propertiesWrongCount()
    {
        QFETCH(int, count);
        m_fx.scenario->updateCamera("cam1", [count](SimCamera& c) {
            c.power = false;
            c.faults = QJsonObject{{"prop_count", count}};
        });
        VuotApi api;
        CamPropSet set;
        QCOMPARE(api.getPropertiesSync("cam1", set), 2);
        QCOMPARE(set.power, int(CamPropSet::On)); // defaults
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) {
            c.power = true;
            c.faults = QJsonObject();
        });
    }

    void propertiesCloudCodes()
    {
        LogCapture log;
        VuotApi api;
        CamPropSet set;
        QCOMPARE(api.getPropertiesSync("cam3", set), 1); // offline: code -2
        QVERIFY(log.contains("fail:ret=-2, msg=device offline"));
        // The cloud's own code stays readable for the caller.
        QCOMPARE(api.lastCloudCode(), int(VuotApi::CloudDeviceOffline));
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject{{"rpc_code", -3}}; });
        QCOMPARE(api.getPropertiesSync("cam1", set), 3);
        QCOMPARE(api.lastCloudCode(), -3);
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject(); });

        QCOMPARE(VuotApi::parseProperties(QJsonObject{{"code", 0}}, set), 2);
        QVERIFY(log.contains("invalid json, without code,id"));
        QCOMPARE(VuotApi::parseProperties(QJsonObject{{"code", 0}, {"id", 1}}, set), 2);
        QVERIFY(log.contains("json missing result field"));
        QCOMPARE(VuotApi::parseProperties(QJsonObject{{"code", 7}, {"id", 1}}, set), 1);
        QVERIFY(log.contains("fail:ret=7, msg=7"));
    }

    void propertiesTimeoutIsThree()
    {
        m_fx.setFaults(R"({"delay_ms": {"/app/home/rpc/cam1": 4000}})");
        VuotApi api;
        CamPropSet set;
        set.power = CamPropSet::Off;
        QCOMPARE(api.getPropertiesSync("cam1", set), 3);
        QCOMPARE(set.power, int(CamPropSet::On));
    }

    void setPower()
    {
        VuotApi api;
        QSignalSpy spy(&api, &VuotApi::setPropertyFinished);
        api.setProperty("cam1", "power", "off");
        QCOMPARE(waitOne(spy).value(0).toInt(), 0);
        SimCamera cam;
        QVERIFY(m_fx.scenario->camera("cam1", &cam));
        QVERIFY(!cam.power);
        api.setProperty("cam1", "power", "on");
        QCOMPARE(waitOne(spy).value(0).toInt(), 0);
        QVERIFY(m_fx.scenario->camera("cam1", &cam));
        QVERIFY(cam.power);

        LogCapture log;
        api.setProperty("cam1", "power", "maybe");
        QCOMPARE(waitOne(spy).value(0).toInt(), -5);
        QVERIFY(log.contains("fail:ret=-5, msg=invalid value"));

        m_fx.setFaults(R"({"http_status": {"/app/home/rpc/cam1": 502}})");
        api.setProperty("cam1", "power", "on");
        QCOMPARE(waitOne(spy).value(0).toInt(), 1);
    }

    void devicePassSharedKeyMatchesCamera()
    {
        VuotApi api;
        CameraPassport pass;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 0);
        SimCamera cam;
        QVERIFY(m_fx.scenario->camera("cam1", &cam));
        QCOMPARE(pass.did, QString("cam1"));
        QCOMPARE(pass.user, QString("admin"));
        QCOMPARE(pass.p2p_id, cam.p2pId);
        QCOMPARE(pass.password, cam.password);
        QCOMPARE(pass.p2p_dev_public_key, QString::fromLatin1(cam.boxPublicKey.toHex()));
        QCOMPARE(pass.appPublicKey.size(), 32);
        QCOMPARE(pass.appSecretKey.size(), 32);
        // The camera's side of the key exchange.
        QByteArray cameraShared(32, '\0');
        QCOMPARE(crypto_box_beforenm(reinterpret_cast<unsigned char*>(cameraShared.data()),
                                     reinterpret_cast<const unsigned char*>(pass.appPublicKey.constData()),
                                     reinterpret_cast<const unsigned char*>(cam.boxSecretKey.constData())), 0);
        QCOMPARE(pass.sharedKey.toHex(), cameraShared.toHex());
        // The cloud's signature over the app public key verifies.
        const QByteArray sig = QByteArray::fromHex(pass.signForAppData.toLatin1());
        const QByteArray pk = m_fx.scenario->cloudSignPublicKey();
        QCOMPARE(crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.constData()),
                                             reinterpret_cast<const unsigned char*>(pass.appPublicKey.constData()), 32,
                                             reinterpret_cast<const unsigned char*>(pk.constData())), 0);
        // A fresh key pair per request.
        CameraPassport again;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), again), 0);
        QVERIFY(again.appPublicKey != pass.appPublicKey);
    }

    void devicePassWrongSignatureFault()
    {
        m_fx.setFaults(R"({"bad_signature": true})");
        VuotApi api;
        CameraPassport pass;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 0);
        const QByteArray sig = QByteArray::fromHex(pass.signForAppData.toLatin1());
        const QByteArray pk = m_fx.scenario->cloudSignPublicKey();
        QVERIFY(crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(sig.constData()),
                                            reinterpret_cast<const unsigned char*>(pass.appPublicKey.constData()), 32,
                                            reinterpret_cast<const unsigned char*>(pk.constData())) != 0);
    }

    void devicePassPincode()
    {
        VuotApi api;
        CameraPassport pass;
        QCOMPARE(api.getDevicePassSync("cam2", QString(), pass), -20009);
        CameraPassport wrong;
        QCOMPARE(api.getDevicePassSync("cam2", "9999", wrong), -20009);
        CameraPassport right;
        QCOMPARE(api.getDevicePassSync("cam2", "1234", right), 0);
        QCOMPARE(right.p2p_id, QString("UID-cam2"));
    }

    void devicePassWithoutP2pId()
    {
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject{{"no_p2p_id", true}}; });
        LogCapture log;
        VuotApi api;
        CameraPassport pass;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), -20009);
        QVERIFY(log.contains("get pass failed: 0,"));
        QVERIFY(!pass.sharedKey.isEmpty()); // the rest of the reply was used
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject(); });
    }

    void devicePassFailures()
    {
        VuotApi api;
        CameraPassport pass;
        LogCapture log;
        QCOMPARE(api.getDevicePassSync("nosuchcam", QString(), pass), -20009);
        QVERIFY(log.contains("invalid json, missing result field"));
        m_fx.setFaults(R"({"http_status": {"/app/device/devicepass": 500}})");
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 1);
        QVERIFY(log.contains("get pass failed: 1,"));
        m_fx.setFaults(R"({"delay_ms": {"/app/device/devicepass": 4000}})");
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 1);
        QVERIFY(log.contains("get pass failed: 3,"));
    }

    void parseBadDevicePublicKeyDoesNotCrash()
    {
        // A reply whose device key is not 32 bytes leaves the shared key empty.
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.boxPublicKey = QByteArray::fromHex("0102"); });
        VuotApi api;
        CameraPassport pass;
        QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 0);
        QVERIFY(pass.sharedKey.isEmpty());
        m_fx.scenario->updateCamera("cam1", [](SimCamera& c) {
            c.boxPublicKey.clear();
            c.boxSecretKey.clear();
            Scenario::deriveCameraKeys(c, "cloud-tests");
        });
    }
};

QTEST_GUILESS_MAIN(TestHomeApi)
#include "tst_homeapi.moc"
