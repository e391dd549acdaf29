// Times Trend's full redraw: 8 pens x 1100 slots computed and painted into a plot of a
// 1280 x 1024 screen, and the CPU a running Trend takes while it idles (one redraw a second).

#include "trendbuffer.h"
#include "trendplot.h"
#include "trendview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

// utime + stime of a process, in seconds.
double cpuOf(qint64 pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string f;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14 || i == 15)
            ticks += std::stod(f);
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::string name = "/vokbench-trend-" + std::to_string(::getpid());
    vok::TrendSection section;
    if (!section.open(nullptr, name))
        return 1;
    vok::TrendBuffer& b = *section.buffer();
    b.penDefsReady = 1;
    b.newestSlot = 1099;
    for (int p = 0; p < 8; ++p) {
        b.pens[p].used = b.pens[p].valid = 1;
        b.pens[p].scaleMax = 100;
        b.pens[p].decimals = 1;
        for (int i = 0; i < vok::TREND_SLOTS; ++i)
            b.pens[p].samples[i] = 50 + 60 * std::sin(i / 40.0 + p);
    }
    for (int i = 0; i < vok::TREND_SLOTS; ++i)
        std::snprintf(b.timeStamps[i], sizeof b.timeStamps[i], "2026/12/10 10:%02d:%02d", i / 60 % 60, i % 60);
    // The plot of a maximised window on a 1280 x 1024 screen.
    vok::TrendTextTable texts;
    CTrendView view(texts, std::min(1280 - CTrendView::kValueStrip - 40, vok::TREND_SLOTS), 1024 - 420);
    view.initialiseLive(name);
    const int rounds = 40;
    // Painted into one image, as the window paints into its backing store. The best of
    // five batches: the machine's other work only ever adds time.
    QImage image;
    view.paintPanel(image);
    double ms = 1e9, compute = 1e9;
    for (int batch = 0; batch < 5; ++batch) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < rounds; ++i) {
            view.redraw();
            view.paintPanel(image);
        }
        ms = std::min(ms, static_cast<double>(t.nsecsElapsed()) / 1e6 / rounds);
        // The part without painting: the section read and the frame computed.
        t.restart();
        for (int i = 0; i < rounds; ++i)
            view.redraw();
        compute = std::min(compute, static_cast<double>(t.nsecsElapsed()) / 1e6 / rounds);
    }
    std::printf("redraw of 8 pens x 1100 slots, plot %d x %d: %.2f ms per redraw (target under 5 ms), of which %.2f ms "
                "reading the section and computing the frame\n",
                view.plotWidth(), view.plotHeight(), ms, compute);
    section.release(true);

    // A running Trend, idle but for its one redraw a second.
    if (argc > 1 && std::string(argv[1]) == "--no-idle")
        return 0;
    QProcess trend;
    trend.start(QStringLiteral(VOK_TREND_PATH), {});
    if (!trend.waitForStarted(5000))
        return 1;
    QThread::sleep(3);
    const double c0 = cpuOf(trend.processId());
    const int seconds = 20;
    QThread::sleep(seconds);
    const double used = cpuOf(trend.processId()) - c0;
    std::printf("idle Trend: %.2f s of CPU in %d s = %.2f %% of one core (target under 1 %%)\n", used, seconds,
                100.0 * used / seconds);
    trend.terminate();
    trend.waitForFinished(3000);
    return 0;
}
