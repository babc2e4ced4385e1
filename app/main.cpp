// Process entry: role check, start-up in a fixed order, event loop, shutdown.

#include "core/appglobals.h"
#include "core/endpoints.h"
#include "core/memorypolicy.h"
#include "browser/mceflibprivate.h"
#include "camera/frameinfo.h"
#include "camera/libp2p.h"
#include "client/playstatus.h"
#include "camera/recordfileheader.h"
#include "cloud/campropset.h"
#include "cloud/vuotcamerastat.h"
#include "res/vcresources.h"
#include "ui/mainwindow.h"
#include "core/appinfo.h"
#include "app/commandline.h"
#include "app/crashhandler.h"
#include "core/datapaths.h"
#include "core/filesafety.h"
#include "core/logfile.h"
#include "app/processend.h"
#include "app/quitsignals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTextCodec>
#include <QTranslator>
#include <QVector>


#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A browser sub-process is recognised by "--type" anywhere in any argument.
bool isBrowserSubprocess(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (argv[i] && std::strstr(argv[i], "--type"))
            return true;
    }
    return false;
}

// The browser runtime here runs its sub-processes from its own helper
// executable, so this role has nothing to start: it exits at once without
// creating the Qt application, a log or a crash handler.
int runBrowserSubprocess()
{
    std::fputs("vucamera: browser sub-processes are run by the browser runtime's helper\n", stderr);
    return 0;
}

void registerMetaTypes()
{
    qRegisterMetaType<QVector<RecordFileHeader>>("QVector<RecordFileHeader>");
    qRegisterMetaType<QVector<int>>("QVector<int>");
    qRegisterMetaType<FrameInfo>("FrameInfo");
    qRegisterMetaType<CamPropSet>("CamPropSet");
    qRegisterMetaType<PlayStatus>("PlayStatus");
    qRegisterMetaType<VuotCameraStat>("VuotCameraStat");
    qRegisterMetaType<QList<VuotCameraStat>>("QList<VuotCameraStat>");
    qRegisterMetaType<QNetworkReply::NetworkError>("QNetworkReply::NetworkError");
}

} // namespace

int main(int argc, char** argv)
{
    // 1. Browser sub-process role.
    if (isBrowserSubprocess(argc, argv))
        return runBrowserSubprocess();
    MemoryPolicy::apply(); // before any thread of ours starts
    // 1b. --help and --version, answered without a display.
    if (const int answered = CommandLine::answerHelpOrVersion(argc, argv); answered >= 0)
        return answered;

    // 2. Locale codec.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    // 3. Crash dump handler (its file path is known from step 8 on).
    CrashHandler::install();

    // 4. The Qt application.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling); // sharp at any display scale: the @2x pictures
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    auto app = std::make_unique<QApplication>(argc, argv);
    vcInitResources(); // the compiled-in resources live in a static library
    QuitSignals::install(app.get()); // a stop request during start-up is served by the loop
    // Starting the browser engine puts every signal disposition back to the
    // default; the crash dump and the orderly quit must survive that.
    MCefLibPrivate::setEngineStartedHook([] {
        CrashHandler::reinstall();
        QuitSignals::reinstallHandlers();
    });

    // 5. Cross-thread types.
    registerMetaTypes();

    // 6. Names, which decide the data root and the log file name.
    QCoreApplication::setApplicationName(QStringLiteral("VuCamera"));
    QCoreApplication::setOrganizationName(QStringLiteral("Velmor"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.velmor.VuCamera")); // the installed menu entry

    // 6b. The rest of the command line, the application's own options taken out.
    const CommandLine::Options options = CommandLine::parse(app->arguments());
    if (!options.ok) {
        app.reset();
        ProcessEnd::now(1);
    }
    if (!options.endpointsFile.isEmpty())
        Endpoints::setFilePath(options.endpointsFile);

    // 7. Settings.
    AppInfo::instance()->load();

    // 8. Log folder.
    const QString logPath = DataPaths::logFile();
    const QString logDir = DataPaths::logDir();
    // Owner-only: the log may name cameras and rooms.
    if (!FileSafety::makePrivateDir(QDir(logDir).absolutePath()))
        qWarning("fail to create log path");
    CrashHandler::setDumpPath(QDir(logDir + QStringLiteral("/crash.dmp")).path());

    // 9. Log file.
    auto logFile = std::make_unique<LogFile>(QDir(logPath).absolutePath());

    // 10. Window icon.
    app->setWindowIcon(QIcon(QStringLiteral(":/res/icons/VuCamera.ico")));

    // 11. Translation.
    auto* translator = new QTranslator(app.get());
    if (translator->load(QStringLiteral(":/res/lang/vcam_zh_CN.qm"), QString(), QString(), QString()))
        app->installTranslator(translator);

    // 12. Style sheet.
    QFile css(QStringLiteral(":/res/css/general.css"));
    if (css.open(QIODevice::ReadOnly))
        app->setStyleSheet(app->styleSheet() + QString::fromUtf8(css.readAll()));

    // 13. Shared network access manager.
    auto* nam = new QNetworkAccessManager();
    AppGlobals::setNetworkManager(nam);

    // 14. P2P library, pointed at the configured directory service.
    LibP2p::setDirectory(Endpoints::current().p2pDirectory);
    LibP2p::initialize();

    // 15. Main window.
    auto* mainWindow = new MainWindow();
    mainWindow->setWindowTitle(QStringLiteral("VuCamera"));
    AppGlobals::setMainWindow(mainWindow);
    mainWindow->show();

    // 16. Event loop.
    // A stop requested while the window was being made ends here at once.
    const int result = QuitSignals::quitRequested() ? 0 : app->exec();

    // Shutdown 1. Main window.
    AppGlobals::setMainWindow(nullptr);
    delete mainWindow;
    // Shutdown 2. P2P library.
    LibP2p::deInitialize();
    // Shutdown 3. Network access manager.
    AppGlobals::setNetworkManager(nullptr);
    delete nam;
    // Shutdown 4. Log file.
    logFile.reset();
    // Shutdown 5. The browser runtime, when a web view started it.
    if (AppGlobals::browserInitialized.load())
        MCefLibPrivate::shutdown();
    // Shutdown 6. The application.
    app.reset();
    // Shutdown 7. The process, without static destructors (see ProcessEnd).
    ProcessEnd::now(result);
}
