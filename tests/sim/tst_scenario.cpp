#include "sim/control/controlserver.h"
#include "sim/scenario/scenario.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <httplib.h>
#include <sodium.h>

namespace {
const QByteArray kScenario = R"({
  "seed": "unit",
  "accounts": [{"user_id": "100", "password": "pw"}],
  "rooms": [{"id": "r1", "name": "Hall", "dids": ["c1", ""]}],
  "cameras": [
    {"did": "c1", "name": "Door", "model": "hovia.camera.v4", "pincode": "1234",
     "recordings": [{"start": 1000, "length": 60, "motion": true}]},
    {"did": "c2", "online": false, "password": "fixed"}
  ]
})";
}

class TestScenario : public QObject
{
    Q_OBJECT

private slots:
    void derivesStableKeysAndDefaults()
    {
        Scenario a, b;
        QVERIFY(a.loadJson(kScenario));
        QVERIFY(b.loadJson(kScenario));
        QCOMPARE(a.cloudSignPublicKey().size(), 32);
        QCOMPARE(a.cloudSignSecretKey(), b.cloudSignSecretKey());
        SimCamera c1, c2;
        QVERIFY(a.camera("c1", &c1));
        QVERIFY(a.camera("c2", &c2));
        QCOMPARE(c1.p2pId, QStringLiteral("UID-c1"));
        QCOMPARE(c1.recordings.size(), 1);
        QVERIFY(c1.recordings.first().motion);
        QCOMPARE(c2.password, QStringLiteral("fixed"));
        QVERIFY(!c2.online);
        QCOMPARE(c2.model, QStringLiteral("hovia.camera.v3"));
        SimCamera c1b;
        b.camera("c1", &c1b);
        QCOMPARE(c1.boxSecretKey, c1b.boxSecretKey);
        QVERIFY(c1.boxPublicKey != c2.boxPublicKey);
        // The box key pair is a real pair: the public key belongs to the secret key.
        unsigned char pk[32];
        crypto_scalarmult_base(pk, reinterpret_cast<const unsigned char*>(c1.boxSecretKey.constData()));
        QCOMPARE(QByteArray(reinterpret_cast<char*>(pk), 32), c1.boxPublicKey);
        // The signing pair signs and verifies.
        const QByteArray msg = "app public key";
        unsigned char sig[crypto_sign_BYTES];
        crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(msg.constData()), msg.size(),
                             reinterpret_cast<const unsigned char*>(a.cloudSignSecretKey().constData()));
        QCOMPARE(crypto_sign_verify_detached(sig, reinterpret_cast<const unsigned char*>(msg.constData()), msg.size(),
                                             reinterpret_cast<const unsigned char*>(b.cloudSignPublicKey().constData())), 0);
        SimAccount acc;
        QVERIFY(a.account("100", &acc));
        QCOMPARE(acc.passToken.size(), 40);
        QVERIFY(a.accountByPassToken(acc.passToken, nullptr));
        QVERIFY(!a.accountByPassToken(QString(), nullptr));
    }

    void rejectsNonObjects()
    {
        Scenario s;
        QString err;
        QVERIFY(!s.loadJson("[1]", &err));
        QVERIFY(!err.isEmpty());
        QVERIFY(!s.loadFile("/nonexistent/scenario.json", &err));
    }

    void controlChangesTheWorld()
    {
        Scenario s;
        QVERIFY(s.loadJson(kScenario));
        QSignalSpy changed(&s, &Scenario::cameraChanged);
        QSignalSpy added(&s, &Scenario::cameraAdded);
        QSignalSpy removed(&s, &Scenario::cameraRemoved);
        ControlServer control(&s);
        const int port = control.start();
        QVERIFY(port > 0);
        httplib::Client http("127.0.0.1", port);

        auto res = http.Post("/control/camera/c1", R"({"online":false,"power":false,"faults":{"stall":true}})", "application/json");
        QVERIFY(res);
        QCOMPARE(res->status, 200);
        SimCamera c1;
        s.camera("c1", &c1);
        QVERIFY(!c1.online);
        QVERIFY(!c1.power);
        QVERIFY(c1.faults.value("stall").toBool());
        QCOMPARE(changed.count(), 1);

        res = http.Post("/control/camera/c1", R"({"faults":{"stall":null}})", "application/json");
        s.camera("c1", &c1);
        QVERIFY(!c1.faults.contains("stall"));

        res = http.Post("/control/camera/nope", "{}", "application/json");
        QCOMPARE(res->status, 404);
        res = http.Post("/control/camera/c1", "not json", "application/json");
        QCOMPARE(res->status, 400);

        res = http.Post("/control/cameras", R"({"did":"c3","name":"New"})", "application/json");
        QCOMPARE(res->status, 200);
        QCOMPARE(added.count(), 1);
        SimCamera c3;
        QVERIFY(s.camera("c3", &c3));
        QCOMPARE(c3.boxPublicKey.size(), 32);
        res = http.Post("/control/cameras", R"({"did":"c3"})", "application/json");
        QCOMPARE(res->status, 409);

        res = http.Delete("/control/camera/c1");
        QCOMPARE(res->status, 200);
        QCOMPARE(removed.count(), 1);
        QVERIFY(!s.camera("c1", nullptr));
        QVERIFY(!s.rooms().first().dids.contains("c1"));

        res = http.Post("/control/cloud", R"({"faults":{"http_status":500}})", "application/json");
        QCOMPARE(s.cloudFaults().value("http_status").toInt(), 500);

        res = http.Get("/control/state");
        const QJsonObject state = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
        QCOMPARE(state.value("cameras").toArray().size(), 2);
        control.stop();
    }
};

QTEST_GUILESS_MAIN(TestScenario)
#include "tst_scenario.moc"
