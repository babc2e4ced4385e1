#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class MainWindow;
class QApplication;
class VuCameraWidget;

// What the application benchmarks share: the home emulator (vucamera-sim) in
// a child process, so that the CPU the application process uses is its own;
// the application pointed at it the way start-up does it; the real main
// window signed in from the stored account record; tiles played and stopped
// with their own buttons. Clock, CPU and memory readings: BenchClock.
class AppBench
{
public:
    static const char* const kUid;
    static const char* const kPassToken;

    // A home of cameras "cam1".."camN", all H.264, of the given size and rate,
    // owned by the benchmark account; sdcard: whether they have a memory card
    // (a playing tile then shows its timeline below the picture).
    static QJsonObject scenario(const QString& seed, int cameras, int width, int height, int fps, bool sdcard = true);

    // Resources, style sheet, meta types, names, the shared network manager,
    // and a message handler that keeps the output readable (info dropped,
    // each distinct warning printed once).
    static void setUpApplication();

    AppBench();
    ~AppBench();

    // Starts the emulator, waits for its "ready" line, points the endpoints
    // and the P2P library at it (LibP2p::initialize included).
    bool startEmulator(const QJsonObject& scenario);
    qint64 emulatorPid() const { return m_emulator.processId(); }

    // Stores the account record, opens the main window and waits until it
    // shows expectedTiles tiles. Null on failure, and outside the session of
    // scripts/with-session.sh (the record would replace the user's own).
    MainWindow* signIn(int expectedTiles, int timeoutMs = 60000);
    // Starts the emulator with `scenario`, signs in and shows the 9-grid with
    // its `cameras` tiles; null (with a line printed) when a step fails.
    MainWindow* openNineGrid(const QJsonObject& scenario, int cameras);
    MainWindow* window() const { return m_window.get(); }
    QList<VuCameraWidget*> tiles() const;

    // Presses play on each tile and waits until each has shown a picture.
    bool play(const QList<VuCameraWidget*>& tiles, int timeoutMs = 90000);
    // Presses stop on each tile and waits until each is stopped.
    bool stop(const QList<VuCameraWidget*>& tiles, int timeoutMs = 20000);
    // Quits the window the way the user does and waits until it has closed.
    bool quitWindow(int timeoutMs = 20000);

    // Runs the event loop for ms, or until done() holds.
    static void wait(int ms);
    static bool waitFor(const std::function<bool()>& done, int timeoutMs);

    // How many distinct warnings were printed (for the summary).
    static int warningCount();

private:
    QTemporaryDir m_dir;
    QProcess m_emulator;
    bool m_p2pUp = false;
    std::unique_ptr<MainWindow> m_window;
};
