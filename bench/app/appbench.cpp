#include "bench/app/appbench.h"

#include "core/appglobals.h"
#include "core/credentialstore.h"
#include "core/endpoints.h"
#include "core/memorypolicy.h"
#include "camera/frameinfo.h"
#include "camera/libp2p.h"
#include "camera/recordfileheader.h"
#include "client/playstatus.h"
#include "client/vucameraclient.h"
#include "res/vcresources.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowui.h"
#include "ui/vucamerawidget.h"
#include "ui/vucamerawidgetui.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <mutex>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSet>
#include <QThread>
#include <QVector>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

const char* const AppBench::kUid = "5000000005";
const char* const AppBench::kPassToken = "PT-app-bench-token";

namespace {

QNetworkAccessManager* g_nam = nullptr;
int g_warnings = 0;

void messageHandler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    static std::mutex mutex;
    static QSet<QString> seen;
    std::lock_guard<std::mutex> lock(mutex);
    // Numbers vary between otherwise equal lines; one line per kind.
    QString kind = text;
    for (QChar& c : kind)
        if (c.isDigit())
            c = QLatin1Char('#');
    if (seen.contains(kind))
        return;
    seen.insert(kind);
    ++g_warnings;
    std::fprintf(stderr, "  [app] %s\n", qPrintable(text));
}

} // namespace

QJsonObject AppBench::scenario(const QString& seed, int cameras, int width, int height, int fps, bool sdcard)
{
    const QString uid = QString::fromLatin1(kUid);
    QJsonArray cams, dids;
    for (int i = 1; i <= cameras; ++i) {
        const QString did = QStringLiteral("cam%1").arg(i);
        dids.append(did);
        cams.append(QJsonObject{{QStringLiteral("did"), did}, {QStringLiteral("name"), QStringLiteral("Camera %1").arg(i)},
            {QStringLiteral("model"), QStringLiteral("hovia.camera.v3")}, {QStringLiteral("owner"), uid},
            {QStringLiteral("width"), width}, {QStringLiteral("height"), height}, {QStringLiteral("fps"), fps},
            {QStringLiteral("sdcard"), sdcard}});
    }
    return QJsonObject{{QStringLiteral("seed"), seed},
        {QStringLiteral("accounts"),
            QJsonArray{QJsonObject{{QStringLiteral("user_id"), uid}, {QStringLiteral("password"), QStringLiteral("pw-bench")},
                {QStringLiteral("nickname"), QStringLiteral("Bench")}, {QStringLiteral("icon"), QString()},
                {QStringLiteral("pass_token"), QString::fromLatin1(kPassToken)},
                {QStringLiteral("device_id"), QStringLiteral("pcdev-bench")}}}},
        {QStringLiteral("rooms"),
            QJsonArray{QJsonObject{{QStringLiteral("id"), QStringLiteral("r1")}, {QStringLiteral("name"), QStringLiteral("Home")},
                {QStringLiteral("icon"), QStringLiteral("living")}, {QStringLiteral("owner"), uid},
                {QStringLiteral("dids"), dids}}}},
        {QStringLiteral("cameras"), cams}};
}

void AppBench::setUpApplication()
{
    MemoryPolicy::apply(); // as the program does at its start
    qInstallMessageHandler(messageHandler);
    vcInitResources();
    QCoreApplication::setApplicationName(QStringLiteral("VuCameraBench"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");
    qRegisterMetaType<QVector<int>>("QVector<int>");
    qRegisterMetaType<FrameInfo>("FrameInfo");
    qRegisterMetaType<PlayStatus>("PlayStatus");
    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
    QFile css(QStringLiteral(":/res/css/general.css"));
    if (css.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromUtf8(css.readAll()));
    if (!g_nam) {
        g_nam = new QNetworkAccessManager();
        AppGlobals::setNetworkManager(g_nam);
    }
}

AppBench::AppBench() = default;

AppBench::~AppBench()
{
    if (m_window)
        quitWindow();
    m_window.reset();
    if (m_p2pUp)
        LibP2p::deInitialize();
    if (m_emulator.state() != QProcess::NotRunning) {
        m_emulator.terminate();
        if (!m_emulator.waitForFinished(10000))
            m_emulator.kill();
    }
}

bool AppBench::startEmulator(const QJsonObject& scenarioJson)
{
    const QString file = m_dir.filePath(QStringLiteral("scenario.json"));
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(QJsonDocument(scenarioJson).toJson());
    f.close();
    // The emulator's log (and its encoder's statistics) stay out of the figures.
    m_emulator.setStandardErrorFile(m_dir.filePath(QStringLiteral("emulator.log")));
    m_emulator.start(QStringLiteral(VC_SIM_EXE),
        {QStringLiteral("--scenario"), file, QStringLiteral("--endpoints"), m_dir.filePath(QStringLiteral("endpoints.json"))});
    if (!m_emulator.waitForStarted(10000))
        return false;
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (t.elapsed() < 30000 && m_emulator.state() == QProcess::Running) {
        m_emulator.waitForReadyRead(200);
        out += m_emulator.readAllStandardOutput();
        const int i = out.indexOf("ready ");
        const int end = i >= 0 ? out.indexOf('\n', i) : -1;
        if (end > 0) {
            // The same file the application reads at start-up (VUCAMERA_ENDPOINTS).
            bool ok = false;
            const Endpoints ep = Endpoints::load(m_dir.filePath(QStringLiteral("endpoints.json")), &ok);
            if (!ok)
                return false;
            Endpoints::setCurrent(ep);
            LibP2p::setDirectory(ep.p2pDirectory);
            m_p2pUp = LibP2p::initialize() >= 0;
            return m_p2pUp;
        }
    }
    return false;
}

MainWindow* AppBench::signIn(int expectedTiles, int timeoutMs)
{
    // The record replaces the signed-in user's own: only in the throw-away
    // session of the wrapper (its own home folder and keyring).
    if (qgetenv("VC_IN_SESSION") != "1") {
        std::fprintf(stderr, "run the application benchmarks under scripts/with-session.sh: they store an account "
                             "record in the keyring\n");
        return nullptr;
    }
    const QJsonObject record{{QStringLiteral("name"), QStringLiteral("Bench")}, {QStringLiteral("uid"), QString::fromLatin1(kUid)},
        {QStringLiteral("pass_token"), QString::fromLatin1(kPassToken)}, {QStringLiteral("user_icon"), QString()}};
    if (!CredentialStore::writeJson(QStringLiteral("account"), record)) {
        std::fprintf(stderr, "cannot store the account record (is a Secret Service running? use scripts/with-session.sh)\n");
        return nullptr;
    }
    m_window = std::make_unique<MainWindow>();
    AppGlobals::setMainWindow(m_window.get());
    m_window->show();
    const bool ok = waitFor(
        [this, expectedTiles]() {
            return m_window->ui()->state() == MainWindowUI::HasCamera && m_window->ui()->allTiles().size() == expectedTiles;
        },
        timeoutMs);
    if (!ok) {
        std::fprintf(stderr, "the window did not show %d cameras (state %s)\n", expectedTiles,
            MainWindowUI::stateName(m_window->ui()->state()));
        return nullptr;
    }
    return m_window.get();
}

QList<VuCameraWidget*> AppBench::tiles() const
{
    QList<VuCameraWidget*> all = m_window ? m_window->ui()->allTiles() : QList<VuCameraWidget*>();
    // In camera order, whatever order the list came in.
    const auto key = [](VuCameraWidget* t) {
        const QString did = t->client() ? t->client()->did() : QString();
        return qMakePair(did.size(), did); // cam2 before cam10
    };
    std::sort(all.begin(), all.end(), [&key](VuCameraWidget* a, VuCameraWidget* b) { return key(a) < key(b); });
    return all;
}

bool AppBench::play(const QList<VuCameraWidget*>& tiles, int timeoutMs)
{
    QVector<quint64> before;
    for (VuCameraWidget* t : tiles) {
        before.append(t->picturesShown());
        if (!waitFor([t]() { return t->ui() && t->ui()->state() == VuCameraWidgetUI::Stopped; }, 10000))
            return false;
        t->ui()->playButton()->click();
    }
    return waitFor(
        [&]() {
            for (int i = 0; i < tiles.size(); ++i)
                if (tiles[i]->picturesShown() == before[i])
                    return false;
            return true;
        },
        timeoutMs);
}

bool AppBench::stop(const QList<VuCameraWidget*>& tiles, int timeoutMs)
{
    for (VuCameraWidget* t : tiles)
        t->ui()->stopButton()->click();
    return waitFor(
        [&]() {
            for (VuCameraWidget* t : tiles)
                if (t->ui()->state() != VuCameraWidgetUI::Stopped)
                    return false;
            return true;
        },
        timeoutMs);
}

bool AppBench::quitWindow(int timeoutMs)
{
    if (!m_window)
        return true;
    m_window->onCloseApp();
    const bool closed = waitFor([this]() { return !m_window->isVisible(); }, timeoutMs);
    AppGlobals::setMainWindow(nullptr);
    m_window.reset();
    return closed;
}

void AppBench::wait(int ms)
{
    // A real event loop: polling it (process events, sleep a millisecond)
    // would cost the process a thousand wake-ups a second of its own, which
    // the CPU figures would count as the application's.
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool AppBench::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        wait(10);
    }
    return true;
}

int AppBench::warningCount()
{
    return g_warnings;
}

MainWindow* AppBench::openNineGrid(const QJsonObject& scenario, int cameras)
{
    if (!startEmulator(scenario)) {
        std::printf("the emulator did not start\n");
        return nullptr;
    }
    MainWindow* w = signIn(cameras);
    if (!w)
        return nullptr;
    w->ui()->chooseGridMode(2);
    if (!waitFor([w, cameras]() { return w->ui()->shownTiles().size() == cameras; }, 5000)) {
        std::printf("the 9-grid did not show nine tiles\n");
        return nullptr;
    }
    return w;
}
