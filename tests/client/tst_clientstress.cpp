// Nine camera clients from the list manager against nine emulated cameras,
// played and stopped in a random (seeded) interleaving, some stops landing in
// the middle of a connect; then all play once more, four are destroyed in
// random order and the manager's stop shuts down the others.
//
// VC_STRESS_CYCLES sets the number of play/stop cycles (default 24);
// VC_STRESS_SEED the random seed (default 20261206).
#include "client/vucameralistmgr.h"
#include "clienttest.h"
#include "tests/support/simhome.h"

#include <QDir>

#include <algorithm>
#include <memory>
#include <random>

namespace {

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
        n += comm.open(QIODevice::ReadOnly) && QString::fromUtf8(comm.readAll()).startsWith(prefix) ? 1 : 0;
    }
    return n;
}

} // namespace

class TestClientStress : public QObject
{
    Q_OBJECT

private:
    SimHome m_home;

private slots:
    void initTestCase()
    {
        // Every third camera has a card, so the timeline channel comes and
        // goes with the plays too; one streams H.265.
        QByteArrayList cams;
        for (int i = 1; i <= 9; ++i)
            cams << QStringLiteral(R"({"did": "s%1", "model": "%2", "owner": "1234567890", "width": 320,
                "height": 180, "fps": 10, "sdcard": %3, "recordings": [{"start": 1765000000, "length": 60}]})")
                        .arg(i).arg(i == 5 ? "hovia.camera.v4" : "hovia.camera.v3").arg(i % 3 ? "false" : "true")
                        .toUtf8();
        qRegisterMetaType<QList<VuCameraClient*>>("QList<VuCameraClient*>");
        QVERIFY(m_home.start(R"({"seed": "client-stress", "accounts": [{"user_id": "1234567890", "password": "pw"}], "cameras": [)"
                             + cams.join(',') + "]}"));
    }
    void cleanupTestCase() { m_home.stop(); }

    void playStopCyclesOverNineClients()
    {
        const int cycles = envInt("VC_STRESS_CYCLES", 24);
        const quint32 seed = quint32(envInt("VC_STRESS_SEED", 20261206));
        std::mt19937 rng(seed);
        VuCameraListMgr mgr;
        ThreadSafeSpy loaded(&mgr, &VuCameraListMgr::deviceListLoaded);
        ThreadSafeSpy stopped(&mgr, &VuCameraListMgr::stopped);
        mgr.setPollInterval(3600 * 1000);
        mgr.start();
        QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 15000);
        const QList<VuCameraClient*> clients = mgr.cameras();
        QCOMPARE(clients.size(), 9);
        std::vector<std::unique_ptr<ThreadSafeSpy>> failures, destroyed;
        for (VuCameraClient* c : clients) {
            c->setVideoFrameSize(320, 180);
            failures.emplace_back(new ThreadSafeSpy(c, &VuCameraClient::failed));
            destroyed.emplace_back(new ThreadSafeSpy(c, &VuCameraClient::destroyed));
        }
        QTRY_COMPARE_WITH_TIMEOUT(threadsNamed(QStringLiteral("cam-s")), 9, 5000);

        // A play on an idle client, later a stop of a playing or still
        // connecting one (a quarter of the plays at once), with random pauses.
        int started = 0, stopsMidConnect = 0;
        QList<int> playing;
        auto stop = [&](int k) {
            stopsMidConnect += clients[k]->status() == ClientStatus::Connecting ? 1 : 0;
            clients[k]->stopPlay();
        };
        while (started < cycles || !playing.isEmpty()) {
            if (started >= cycles || playing.size() == 9 || (playing.size() >= 3 && rng() % 2 == 0)) {
                stop(playing.takeAt(int(rng() % quint32(playing.size()))));
            } else {
                QList<int> idle;
                for (int k = 0; k < 9; ++k)
                    if (!playing.contains(k) && clients[k]->status() == ClientStatus::Disconnected)
                        idle << k;
                if (!idle.isEmpty()) {
                    const int k = idle.at(int(rng() % quint32(idle.size())));
                    clients[k]->play(int(rng() % 3), false, QString());
                    ++started;
                    if (rng() % 4 == 0) {
                        QTest::qWait(int(rng() % 40));
                        stop(k);
                    } else {
                        playing << k;
                    }
                }
            }
            QTest::qWait(int(rng() % 80));
        }
        qInfo("stress: %d plays, seed %u, %d stops while connecting", started, seed, stopsMidConnect);

        // Every client comes to rest without a failure, then plays once more.
        for (int k = 0; k < 9; ++k) {
            QTRY_COMPARE_WITH_TIMEOUT(clients[k]->status(), ClientStatus::Disconnected, 20000);
            QVERIFY2(failures[k]->isEmpty(), qPrintable(clients[k]->did()));
            clients[k]->play(2, false, QString());
        }
        for (VuCameraClient* c : clients) {
            QTRY_COMPARE_WITH_TIMEOUT(c->status(), ClientStatus::Connected, 30000);
            QCOMPARE(nextPicture(c).size(), QSize(320, 180));
        }

        // Each destroyed exactly once, without a hang, and no worker or
        // timeline thread outlives its client.
        QList<int> order{0, 1, 2, 3, 4, 5, 6, 7, 8};
        std::shuffle(order.begin(), order.end(), rng);
        QElapsedTimer t;
        t.start();
        for (int k : order.mid(0, 4))
            clients[k]->destroy();
        QTRY_COMPARE_WITH_TIMEOUT(mgr.cameras().size(), 5, 20000);
        mgr.stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 20000);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(threadsNamed(QStringLiteral("cam-s")), 0, 10000);
        QCOMPARE(threadsNamed(QStringLiteral("rdt-timeline")), 0);
        for (int k = 0; k < 9; ++k) {
            QCOMPARE(destroyed[k]->count(), 1);
            QVERIFY(failures[k]->isEmpty());
        }
    }
};

QTEST_MAIN(TestClientStress)
#include "tst_clientstress.moc"
