// A whole session against the emulated home (service login, user card,
// rooms, cameras, live play of one camera with its timeline) with the
// program's log file and settings file, then a search of both for every
// secret the emulator issued, in every form it could be written in.
#include "app/appinfo.h"
#include "app/logfile.h"
#include "client/vucameraclient.h"
#include "client/vucameralistmgr.h"
#include "cloud/servicelogin.h"
#include "cloud/usercard.h"
#include "simworld.h"

#include <QtTest>

namespace {

const QByteArray kScenario = R"({
  "seed": "secrets-in-log",
  "accounts": [{"user_id": "1234567890", "password": "Sign-in-pw-77", "nickname": "Alex",
                "icon": "/avatar/1234567890.png", "pass_token": "PT-e2e-0f1e2d3c4b5a-pass",
                "device_id": "pcdev1"}],
  "rooms": [{"id": "r1", "name": "Hall", "owner": "1234567890", "dids": ["c1"]}],
  "cameras": [
    {"did": "c1", "name": "Door", "model": "hovia.camera.v3", "owner": "1234567890",
     "password": "VIEWPASS-e2e-c1-secret", "width": 320, "height": 180, "fps": 10,
     "recordings": [{"start": 1765000000, "length": 120, "motion": true}]}
  ]
})";

const QString kUser = QStringLiteral("1234567890");
const QString kPassToken = QStringLiteral("PT-e2e-0f1e2d3c4b5a-pass");

// Every way a secret could show up in text.
QList<QByteArray> forms(const QByteArray& secret, bool binary)
{
    QList<QByteArray> out;
    if (binary) {
        out << secret.toHex() << secret.toHex().toUpper() << secret.toBase64()
            << secret.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    } else {
        out << secret << QUrl::toPercentEncoding(QString::fromUtf8(secret));
    }
    return out;
}

} // namespace

class TestSecretsInLog : public QObject
{
    Q_OBJECT

private:
    SimWorld m_world;

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<VuotCameraStat>>();
        qRegisterMetaType<QNetworkReply::NetworkError>();
        QVERIFY(m_world.start(kScenario));
    }
    void cleanupTestCase() { m_world.stop(); }

    void wholeSessionLeavesNoSecret()
    {
        QTemporaryDir dir;
        const QString logPath = dir.filePath(QStringLiteral("vucamera.log"));
        const QString settingsPath = dir.filePath(QStringLiteral("Config/app_info"));
        QString serviceToken;
        QString ssecurity;
        CameraPassport pass;
        {
            LogFile log(logPath);
            QVERIFY(log.isOpen());
            AppInfo info(settingsPath, QString());
            info.load();
            info.setBool(QStringLiteral("settings"), QStringLiteral("remember"), true);

            ServiceLogin login;
            QSignalSpy ok(&login, &ServiceLogin::onServiceLogin);
            login.login(QStringLiteral("velmorio"), kUser, kPassToken, QStringLiteral("pcdev1"));
            QVERIFY(ok.wait(10000));
            serviceToken = ok.first().value(0).toString();
            ssecurity = ok.first().value(1).toString();
            VuCameraListMgr::setApiCredentials(kUser, serviceToken, ssecurity);

            UserCard card;
            QSignalSpy cardGot(&card, &UserCard::onUserCardGot);
            card.get(kUser);
            QVERIFY(cardGot.wait(10000));
            QVERIFY(!card.icon.isEmpty());

            VuCameraListMgr mgr;
            QSignalSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
            mgr.start();
            QTRY_VERIFY_WITH_TIMEOUT(loaded.count() > 0, 15000);
            const QList<VuCameraClient*> clients = mgr.cameras();
            QCOMPARE(clients.size(), 1);
            VuCameraClient* c = clients.first();
            info.setInt(c->did(), QStringLiteral("quality"), 2);

            QSignalSpy timeline(c, &VuCameraClient::timeLineReady);
            c->setVideoFrameSize(320, 180);
            c->play(2, false, QString());
            QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 20000);
            FrameInfo frame;
            int speed = 0;
            QPixmap pic;
            QElapsedTimer t;
            t.start();
            while (pic.isNull() && t.elapsed() < 15000) {
                QTest::qWait(25);
                pic = c->grabFrame(frame, false, speed);
            }
            QVERIFY(!pic.isNull());
            QTRY_VERIFY_WITH_TIMEOUT(timeline.count() > 0, 15000);
            pass = c->passport();

            QSignalSpy stopped(&mgr, &VuCameraListMgr::stopped);
            mgr.stop();
            QTRY_VERIFY_WITH_TIMEOUT(stopped.count() > 0, 20000);
            qInfo("session finished");
        }

        QFile logFile(logPath);
        QVERIFY(logFile.open(QIODevice::ReadOnly));
        const QByteArray logText = logFile.readAll();
        QFile settingsFile(settingsPath);
        QVERIFY(settingsFile.open(QIODevice::ReadOnly));
        const QByteArray settingsText = settingsFile.readAll();
        // The run really was logged: the service login, the camera and the stop.
        QVERIFY(logText.contains("session finished"));
        QVERIFY(logText.contains("camera c1"));
        QVERIFY(settingsText.contains("remember"));

        SimCamera cam;
        QVERIFY(m_world.scenario->camera(QStringLiteral("c1"), &cam));
        QCOMPARE(pass.password, cam.password);
        QCOMPARE(pass.sharedKey.size(), 32);
        QVERIFY(!serviceToken.isEmpty() && !ssecurity.isEmpty());

        QList<QByteArray> secrets;
        for (const QString& s : {kPassToken, serviceToken, ssecurity, cam.password, QStringLiteral("Sign-in-pw-77")})
            secrets += forms(s.toUtf8(), false);
        for (const QByteArray& key : {pass.sharedKey, pass.appSecretKey, cam.boxSecretKey,
                                      QByteArray::fromBase64(ssecurity.toLatin1()),
                                      m_world.scenario->cloudSignSecretKey()}) {
            QVERIFY(!key.isEmpty());
            secrets += forms(key, true);
        }
        for (const QByteArray& s : qAsConst(secrets)) {
            QVERIFY(s.size() >= 8);
            QVERIFY2(!logText.contains(s), "log holds " + s);
            QVERIFY2(!settingsText.contains(s), "settings hold " + s);
        }
    }
};

QTEST_MAIN(TestSecretsInLog)
#include "tst_secretsinlog.moc"
