// Nine camera clients against nine emulated cameras, played and stopped in a
// random (seeded) interleaving, some stops landing in the middle of a
// connect; then all play once more and are destroyed in random order.
//
// VC_STRESS_CYCLES sets the number of play/stop cycles (default 100);
// VC_STRESS_SEED the random seed (default 20261206).
#include "client/vucameraclient.h"
#include "simworld.h"

#include <QDir>
#include <QtTest>

#include <algorithm>
#include <random>

namespace {

QByteArray scenario()
{
    QByteArray cams;
    for (int i = 1; i <= 9; ++i) {
        // Every third camera has a card, so the timeline channel comes and
        // goes with the plays too; one streams H.265.
        cams += QStringLiteral(R"({"did": "s%1", "model": "%2", "owner": "1234567890", "width": 320, "height": 180,
            "fps": 10, "sdcard": %3, "recordings": [{"start": 1765000000, "length": 60}]})")
                    .arg(i)
                    .arg(i == 5 ? "hovia.camera.v4" : "hovia.camera.v3")
                    .arg(i % 3 == 0 ? "true" : "false")
                    .toUtf8();
        if (i < 9)
            cams += ",";
    }
    return R"({"seed": "client-stress", "accounts": [{"user_id": "1234567890", "password": "pw"}], "cameras": [)"
        + cams + "]}";
}

int envInt(const char* name, int fallback)
{
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok && v > 0 ? v : fallback;
}

// Threads of this process whose name starts with prefix.
int threadsNamed(const QString& prefix)
{
    int n = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(tid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && QString::fromUtf8(comm.readAll()).startsWith(prefix))
            ++n;
    }
    return n;
}

bool settled(ClientStatus s) { return s == ClientStatus::Connected || s == ClientStatus::Disconnected; }

} // namespace

class TestClientStress : public QObject
{
    Q_OBJECT

private:
    SimWorld m_world;

private slots:
    void initTestCase()
    {
        QVERIFY(m_world.start(scenario()));
    }
    void cleanupTestCase() { m_world.stop(); }

    void playStopCyclesOverNineClients()
    {
        const int cycles = envInt("VC_STRESS_CYCLES", 100);
        const quint32 seed = quint32(envInt("VC_STRESS_SEED", 20261206));
        qInfo("stress: %d play/stop cycles, seed %u", cycles, seed);
        std::mt19937 rng(seed);
        QElapsedTimer total;
        total.start();

        QList<VuCameraClient*> clients;
        QList<ThreadSafeSpy*> failures, destroyed;
        for (int i = 1; i <= 9; ++i) {
            VuotCameraStat r;
            r.did = QStringLiteral("s%1").arg(i);
            r.name = r.did;
            r.model = i == 5 ? QStringLiteral("hovia.camera.v4") : QStringLiteral("hovia.camera.v3");
            r.isOnline = true;
            auto* c = new VuCameraClient(r);
            c->setVideoFrameSize(320, 180);
            clients << c;
            failures << new ThreadSafeSpy(c, &VuCameraClient::failed);
            destroyed << new ThreadSafeSpy(c, &VuCameraClient::destroyed);
        }
        QTRY_COMPARE_WITH_TIMEOUT(threadsNamed(QStringLiteral("cam-s")), 9, 5000);

        // Each cycle: a play on an idle client, later a stop of a playing or
        // still connecting one, with random pauses between the actions.
        QVector<int> plays(9, 0);
        int started = 0, stopsMidConnect = 0;
        QList<int> playing; // clients with a play not yet stopped
        while (started < cycles || !playing.isEmpty()) {
            const bool doStop = started >= cycles || (playing.size() >= 3 && rng() % 2 == 0) || playing.size() == 9;
            if (doStop) {
                const int k = playing.takeAt(int(rng() % quint32(playing.size())));
                if (clients[k]->status() == ClientStatus::Connecting)
                    ++stopsMidConnect;
                clients[k]->stopPlay();
            } else {
                QList<int> idle;
                for (int k = 0; k < 9; ++k)
                    if (!playing.contains(k) && clients[k]->status() == ClientStatus::Disconnected)
                        idle << k;
                if (idle.isEmpty()) {
                    QTest::qWait(20);
                    continue;
                }
                const int k = idle.at(int(rng() % quint32(idle.size())));
                clients[k]->play(int(rng() % 3), false, QString());
                ++plays[k];
                ++started;
                if (rng() % 4 == 0) {
                    // Stopped again before the connect is through.
                    QTest::qWait(int(rng() % 40));
                    if (clients[k]->status() == ClientStatus::Connecting)
                        ++stopsMidConnect;
                    clients[k]->stopPlay();
                } else {
                    playing << k;
                }
            }
            QTest::qWait(int(rng() % 250));
            QVERIFY2(total.elapsed() < 150000, "the cycles take far too long");
        }
        qInfo("stress: %d plays (per client %s), %d stops while connecting, %lld ms", started,
              qPrintable([&] {
                  QStringList l;
                  for (int p : plays)
                      l << QString::number(p);
                  return l.join(QLatin1Char(' '));
              }()),
              stopsMidConnect, total.elapsed());

        // Every client comes to rest, then plays once more with pictures.
        for (VuCameraClient* c : clients)
            QTRY_VERIFY_WITH_TIMEOUT(settled(c->status()), 20000);
        for (int k = 0; k < 9; ++k)
            QVERIFY2(failures[k]->isEmpty(),
                     qPrintable(clients[k]->did() + QStringLiteral(" failed ")
                                + QString::number(failures[k]->value(0).value(0).toInt())));
        for (VuCameraClient* c : clients)
            c->play(2, false, QString());
        for (VuCameraClient* c : clients) {
            QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 30000);
            FrameInfo info;
            int speed = 0;
            QPixmap pic;
            QElapsedTimer t;
            t.start();
            while (pic.isNull() && t.elapsed() < 15000) {
                QTest::qWait(25);
                pic = c->grabFrame(info, false, speed);
            }
            QVERIFY2(!pic.isNull(), qPrintable(c->did()));
            QCOMPARE(pic.size(), QSize(320, 180));
        }

        // Destroyed in random order, each exactly once, without a hang; no
        // worker or timeline thread outlives its client.
        QList<int> order{0, 1, 2, 3, 4, 5, 6, 7, 8};
        std::shuffle(order.begin(), order.end(), rng);
        QElapsedTimer t;
        t.start();
        for (int k : order)
            clients[k]->destroy();
        for (int k : order)
            QTRY_COMPARE_WITH_TIMEOUT(destroyed[k]->count(), 1, 20000);
        qInfo("stress: nine playing clients destroyed in %lld ms", t.elapsed());
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QTest::qWait(200);
        for (int k = 0; k < 9; ++k) {
            QCOMPARE(destroyed[k]->count(), 1);
            QVERIFY(failures[k]->isEmpty());
            delete failures[k];
            delete destroyed[k];
            delete clients[k];
        }
        QCOMPARE(threadsNamed(QStringLiteral("cam-s")), 0);
        QCOMPARE(threadsNamed(QStringLiteral("rdt-timeline")), 0);
        qInfo("stress: total %lld ms", total.elapsed());
    }
};

QTEST_MAIN(TestClientStress)
#include "tst_clientstress.moc"
