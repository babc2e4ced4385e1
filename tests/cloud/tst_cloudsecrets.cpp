#include "cloudtestfixture.h"

#include "app/appinfo.h"
#include "app/logfile.h"
#include "cloud/coreapi.h"
#include "cloud/secretredactor.h"
#include "cloud/servicelogin.h"
#include "cloud/usercard.h"
#include "cloud/versionupdater.h"
#include "cloud/vuotapi.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <sodium.h>

using namespace cloudtest;

Q_DECLARE_METATYPE(RoomList)

// A whole signed-in run against the emulated cloud, with the log file and
// the settings file of the program, followed by a search of both for every
// secret of the run.
class TestCloudSecrets : public QObject
{
    Q_OBJECT

    CloudFixture m_fx;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuotCameraStat>>();
        qRegisterMetaType<RoomList>();
        qRegisterMetaType<QNetworkReply::NetworkError>();
        QVERIFY(m_fx.start());
    }
    void cleanupTestCase() { m_fx.stop(); }

    void redactorRules()
    {
        const QString json = QStringLiteral("{\"password\":\"pw-1\",\"p2p_id\":\"UID-1\",\"ssecurity\":\"a\\\"b\",\"nested\":{\"passToken\":\"x\"}}");
        const QString r = SecretRedactor::redact(json);
        QVERIFY(!r.contains("pw-1"));
        QVERIFY(!r.contains("a\\\"b"));
        QVERIFY(!r.contains("\"x\""));
        QVERIFY(r.contains("\"p2p_id\":\"UID-1\""));
        QVERIFY(r.contains("\"password\":\"***\""));
        const QString cookie = SecretRedactor::redact(QStringLiteral("passToken=abc; userId=42; serviceToken=def&x=1"));
        QCOMPARE(cookie, QString("passToken=***; userId=42; serviceToken=***&x=1"));
        // The service login's location carries a one-time ticket and the
        // second step a client signature: neither may reach the log.
        const QString location = QStringLiteral(
            "{\"location\":\"https://h/sts?sid=velmorio&ticket=T123&clientSign=c%3D1\",\"code\":0}");
        const QString expected = QStringLiteral(
            "{\"location\":\"https://h/sts?sid=velmorio&ticket=***&clientSign=***\",\"code\":0}");
        QCOMPARE(SecretRedactor::redact(location), expected);
        SecretRedactor::addSecret("Zx/9+registered==");
        QCOMPARE(SecretRedactor::redact(QStringLiteral("a Zx/9+registered== b Zx%2F9%2Bregistered%3D%3D")), QString("a *** b ***"));
        SecretRedactor::addSecret("ab"); // too short to mask
        QCOMPARE(SecretRedactor::redact(QStringLiteral("abc")), QString("abc"));
    }

    void fullRunLeavesNoSecret()
    {
        QTemporaryDir dir;
        const QString logPath = dir.path() + "/vucamera.log";
        const QString settingsPath = dir.path() + "/settings.json";
        QString serviceToken;
        QString ssecurity;
        CameraPassport pass;
        {
            LogFile log(logPath);
            QVERIFY(log.isOpen());
            AppInfo info(settingsPath, QString());
            info.load();

            // Sign in by service login with the known pass token.
            ServiceLogin login;
            QSignalSpy ok(&login, &ServiceLogin::onServiceLogin);
            login.login("velmorio", kUserId, kPassToken, "pcdev1");
            QVERIFY(ok.wait(5000));
            serviceToken = ok.first().value(0).toString();
            ssecurity = ok.first().value(1).toString();
            setApiCredentials(kUserId, serviceToken, ssecurity);

            UserCard card;
            QSignalSpy cardGot(&card, &UserCard::onUserCardGot);
            card.get(kUserId);
            QVERIFY(cardGot.wait(5000));

            // Rooms and cameras.
            VuotApi api;
            QSignalSpy rooms(&api, &VuotApi::getRoomListFinished);
            api.getRoomList();
            QVERIFY(rooms.wait(5000));
            QCOMPARE(rooms.first().value(0).toInt(), 0);
            QSignalSpy devices(&api, &VuotApi::getDeviceListFinished);
            api.getDeviceList(QString(), QString(), true, 0);
            QVERIFY(devices.wait(5000));
            QCOMPARE(devices.first().value(1).value<QList<VuotCameraStat>>().size(), 4);

            // Properties, power, device pass.
            CamPropSet props;
            QCOMPARE(api.getPropertiesSync("cam1", props), 0);
            QSignalSpy set(&api, &VuotApi::setPropertyFinished);
            api.setProperty("cam1", "power", "off");
            QVERIFY(set.wait(5000));
            QCOMPARE(set.first().value(0).toInt(), 0);
            QCOMPARE(api.getDevicePassSync("cam1", QString(), pass), 0);
            SimCamera cam;
            QVERIFY(m_fx.scenario->camera("cam1", &cam));
            QVERIFY(!cam.power);
            QByteArray cameraShared(32, '\0');
            QCOMPARE(crypto_box_beforenm(reinterpret_cast<unsigned char*>(cameraShared.data()),
                                         reinterpret_cast<const unsigned char*>(pass.appPublicKey.constData()),
                                         reinterpret_cast<const unsigned char*>(cam.boxSecretKey.constData())), 0);
            QCOMPARE(pass.sharedKey, cameraShared);

            // Error paths whose log lines would carry the reply: a device
            // pass without peer id (the reply holds the password) and a
            // reply that is not JSON.
            m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject{{"no_p2p_id", true}}; });
            CameraPassport noId;
            QCOMPARE(api.getDevicePassSync("cam1", QString(), noId), -20009);
            m_fx.scenario->updateCamera("cam1", [](SimCamera& c) { c.faults = QJsonObject(); });
            m_fx.setFaults(R"({"malformed": {"/app/device/devicepass": "not_json"}})");
            CameraPassport bad;
            QCOMPARE(api.getDevicePassSync("cam1", QString(), bad), 1);
            m_fx.setFaults(R"({"service_login": "code_nonzero"})");
            ServiceLogin failing;
            QSignalSpy fail(&failing, &ServiceLogin::onServiceLoginFail);
            failing.login("velmorio", kUserId, kPassToken, "pcdev1");
            QVERIFY(fail.wait(5000));
            m_fx.setFaults("{}");

            // The version check writes the settings file.
            QNetworkAccessManager nam;
            VersionUpdater updater(nullptr, &info, &nam);
            QSignalSpy version(&updater, &VersionUpdater::onNetVersionGot);
            updater.check();
            QVERIFY(version.wait(5000));
            qInfo("run finished");
        }
        QFile logFile(logPath);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QByteArray logText = logFile.readAll();
        QFile settingsFile(settingsPath);
        QVERIFY(settingsFile.open(QIODevice::ReadOnly));
        const QByteArray settingsText = settingsFile.readAll();
        QVERIFY(logText.contains("run finished"));
        QVERIFY(logText.contains("get pass failed: 0,"));
        QVERIFY(settingsText.contains("updater"));

        const QStringList secrets{kPassToken, serviceToken, ssecurity, pass.password,
                                  QString::fromLatin1(QUrl::toPercentEncoding(ssecurity))};
        for (const QString& s : secrets) {
            QVERIFY(!s.isEmpty());
            QVERIFY2(!logText.contains(s.toUtf8()), qPrintable("log holds " + s));
            QVERIFY2(!settingsText.contains(s.toUtf8()), qPrintable("settings hold " + s));
        }
        QVERIFY(!logText.contains(pass.appSecretKey.toHex()));
        QVERIFY(!logText.contains(pass.sharedKey.toHex()));
    }
};

QTEST_GUILESS_MAIN(TestCloudSecrets)
#include "tst_cloudsecrets.moc"
