// Memory of the real main window with emulated 1280x720 H.264 20 fps cameras:
// the resident set signed in with nothing playing (the baseline), its growth
// per playing camera at 1, 3, 6 and 9 cameras, and over repeated play/stop
// cycles of all nine cameras: the trend per cycle against the scatter of the
// readings, i.e. whether anything grows beyond noise, as the program runs (no
// trimming of the allocator here); and the open files and threads of the
// process after every cycle, which must come back to where they were.
//
//   bench_appmemory [minutes]    (default 3; the long run is 30 minutes)
//   (run under scripts/with-session.sh)
#include "bench/app/appbench.h"
#include "bench/support/benchclock.h"
#include "ui/mainwindow.h"
#include "ui/mainwindowui.h"
#include "ui/vucamerawidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kCameras = 9;

// The median of readings taken every 200 ms for ms, the event loop running.
double settledRss(int ms)
{
    std::vector<double> v;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        AppBench::wait(200);
        v.push_back(BenchClock::rssMiB());
    }
    return BenchClock::percentile(v, 0.5);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const double minutes = argc > 1 ? qMax(0.5, std::atof(argv[1])) : 3.0;
    AppBench::setUpApplication();
    AppBench bench;
    MainWindow* w = bench.openNineGrid(AppBench::scenario(QStringLiteral("bench-appmemory"), kCameras, 1280, 720, 20), kCameras);
    if (!w)
        return 1;
    const QList<VuCameraWidget*> tiles = bench.tiles();
    std::printf("bench_appmemory: nine 1280x720 20 fps H.264 cameras in the 9-grid; machine: %d cores, load %.1f\n",
        QThread::idealThreadCount(), BenchClock::loadAverage());
    const double idle = settledRss(3000);
    std::printf("  signed in, nothing playing (baseline): %.1f MiB\n", idle);

    // Growth per playing camera.
    int playing = 0;
    double previous = idle;
    for (int n : {1, 3, 6, 9}) {
        if (!bench.play(tiles.mid(playing, n - playing))) {
            std::printf("  not every tile showed a picture\n");
            return 1;
        }
        AppBench::wait(4000);
        const double rss = settledRss(3000);
        std::printf("  %d playing: %.1f MiB (+%.1f MiB per camera since %d)\n", n, rss, (rss - previous) / (n - playing),
            playing);
        previous = rss;
        playing = n;
    }
    const double nine = previous;
    std::printf("  per playing camera on average: %.1f MiB; nine playing / baseline: %.2f\n", (nine - idle) / kCameras,
        nine / idle);
    if (!bench.stop(tiles)) {
        std::printf("  not every tile stopped\n");
        return 1;
    }
    const double stopped = settledRss(3000);
    std::printf("  all stopped again: %.1f MiB\n", stopped);

    // Play/stop cycles; readings after each stop.
    std::vector<double> after, files, threads;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < minutes * 60000) {
        if (!bench.play(tiles)) {
            std::printf("  cycle %zu: not every tile showed a picture\n", after.size() + 1);
            return 1;
        }
        AppBench::wait(2000);
        if (!bench.stop(tiles)) {
            std::printf("  cycle %zu: not every tile stopped\n", after.size() + 1);
            return 1;
        }
        after.push_back(settledRss(1000));
        files.push_back(BenchClock::procEntries("fd"));
        threads.push_back(BenchClock::procEntries("task"));
    }
    std::printf("  %zu play/stop cycles of nine cameras in %.1f min\n", after.size(), t.elapsed() / 60000.0);
    const auto report = [](const char* what, const std::vector<double>& v, const char* unit) {
        const size_t n = v.size();
        // Least-squares trend over the cycles after the first (which still
        // grows the allocator's pools), and the scatter around it.
        const size_t from = n > 3 ? 1 : 0;
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        const double m = double(n - from);
        for (size_t i = from; i < n; ++i) {
            sx += double(i);
            sy += v[i];
            sxx += double(i) * double(i);
            sxy += double(i) * v[i];
        }
        const double denom = m * sxx - sx * sx;
        const double slope = denom != 0 ? (m * sxy - sx * sy) / denom : 0;
        const double icpt = (sy - slope * sx) / m;
        double ss = 0;
        for (size_t i = from; i < n; ++i) {
            const double r = v[i] - (icpt + slope * double(i));
            ss += r * r;
        }
        const double noise = m > 2 ? std::sqrt(ss / (m - 2)) : 0;
        const double trend = slope * (m - 1);
        std::printf("  %s: first %.1f, last %.1f, min %.1f, max %.1f %s; trend %.3f %s per cycle (%.1f %s over "
                    "cycles %zu-%zu), scatter (residual sd) %.2f %s; growth beyond noise: %s\n",
            what, v.front(), v.back(), BenchClock::percentile(v, 0), BenchClock::percentile(v, 1), unit, slope, unit,
            trend, unit, from + 1, n, noise, unit, (trend > 3 * noise && trend > 1.0) ? "YES" : "no");
    };
    report("RSS after stop", after, "MiB");
    report("open files after stop", files, "files");
    report("threads after stop", threads, "threads");
    std::printf("  distinct warnings from the application: %d\n", AppBench::warningCount());
    bench.quitWindow();
    return 0;
}
