// Trend's drawing rendered at a fixed size, from a section written here, and the real
// program started, found by its title and closed through its socket.

#include "localnames.h"
#include "testutil.h"
#include "trendbuffer.h"
#include "trendcsv.h"
#include "trendplot.h"
#include "trendview.h"

#include <QApplication>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <limits>
#include <set>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kW = 700;
constexpr int kH = 300;

class TrendSectionView : public ::testing::Test {
protected:
    void SetUp() override
    {
        name = "/voktest-view-" + std::to_string(::getpid()) + "-" + std::to_string(++s_count);
        ASSERT_TRUE(section.open(nullptr, name));
        section.reset();
        b = section.buffer();
    }
    void TearDown() override { section.release(true); }
    // Pen p in use with a scale, its samples all gaps, as right after the start of logging.
    void usePen(int p, double min, double max, int decimals = 1)
    {
        b->penDefsReady = 1;
        vok::TrendPen& pen = b->pens[p];
        pen.used = pen.valid = 1;
        pen.scaleMin = min;
        pen.scaleMax = max;
        pen.decimals = decimals;
        pen.stationIndex = 1;
        pen.channelIndex = 2;
        std::strcpy(pen.itemName, "Process value");
        std::strcpy(pen.unit, "degC");
        std::fill(std::begin(pen.samples), std::end(pen.samples), vok::TREND_NO_VALUE);
    }
    void stamp(int slot, const char* text) { std::strcpy(b->timeStamps[slot], text); }
    // The view drawn from the section, as its image.
    QImage draw(CTrendView& view)
    {
        EXPECT_TRUE(view.initialiseLive(name));
        view.redraw();
        return view.panelImage();
    }
    // The columns (plot x) where a colour appears, and whether it appears outside the plot.
    static std::set<int> columnsOf(const QImage& img, QColor colour, bool* outside = nullptr)
    {
        std::set<int> xs;
        const int x0 = CTrendView::kValueStrip + 1, y0 = 1;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (img.pixelColor(x, y) != colour)
                    continue;
                // The value labels are in the scale pen's colour: only the plot's columns count.
                if (x < x0 || x >= x0 + kW)
                    continue;
                if (y >= y0 && y <= y0 + kH)
                    xs.insert(x - x0);
                else if (outside)
                    *outside = true;
            }
        }
        return xs;
    }
    static inline int s_count = 0;
    std::string name;
    vok::TrendSection section;
    vok::TrendBuffer* b = nullptr;
    vok::TrendTextTable texts;
};

} // namespace

TEST_F(TrendSectionView, NewestSlotFiveDrawsAtTheRightEdge)
{
    usePen(0, 0, 100);
    for (int slot = 0; slot <= 5; ++slot) {
        b->pens[0].samples[slot] = 50;
        stamp(slot, "2026/12/10 10:00:00");
    }
    b->newestSlot = 5;
    CTrendView view(texts, kW, kH);
    const QImage img = draw(view);
    const std::set<int> xs = columnsOf(img, CTrendView::penColour(0));
    ASSERT_FALSE(xs.empty());
    EXPECT_GE(*xs.begin(), kW - 6) << "slots 406 to 1099 are gaps: the line begins near the right edge";
    EXPECT_EQ(view.valueText(0), "50.0");
    EXPECT_EQ(view.loopText(0), "2 - 3");
    EXPECT_EQ(view.itemText(0), "Process value");
    EXPECT_EQ(view.unitText(0), "degC");
    ASSERT_FALSE(view.frame().timeLabels.empty());
    EXPECT_EQ(view.frame().timeLabels[0].text, "2026/12/10 10:00:00");
}

TEST_F(TrendSectionView, ClippingKeepsEveryPixelInsideThePlot)
{
    usePen(0, 0, 100);
    usePen(1, 20, 20); // max = min: the bottom edge
    for (int slot = 0; slot < 700; ++slot) {
        b->pens[0].samples[slot] = slot % 100 == 50 ? 500 : slot % 100 == 70 ? -300 : 50; // above, below, inside
        b->pens[1].samples[slot] = slot;
        stamp(slot, "2026/12/10 10:00:00");
    }
    b->newestSlot = 699;
    CTrendView view(texts, kW, kH);
    const QImage img = draw(view);
    bool outside = false;
    const int x0 = CTrendView::kValueStrip + 1, y0 = 1;
    columnsOf(img, CTrendView::penColour(0), &outside);
    EXPECT_FALSE(outside) << "no pixel of a pen outside the plot";
    // The line reaches the top edge and runs down to the bottom edge (whose row the flat
    // pen, drawn later, covers).
    bool top = false, bottom = false;
    for (int x = 0; x < kW; ++x) {
        top = top || img.pixelColor(x0 + x, y0) == CTrendView::penColour(0);
        bottom = bottom || img.pixelColor(x0 + x, y0 + kH - 1) == CTrendView::penColour(0);
    }
    EXPECT_TRUE(top);
    EXPECT_TRUE(bottom);
    // A flat scale draws on the bottom edge only.
    for (const trendplot::Op& op : view.frame().paths[1])
        EXPECT_EQ(op.y, kH);
}

TEST_F(TrendSectionView, FailedPenScalesAndUnusedScalePen)
{
    usePen(0, 0, 500000);
    usePen(2, 0, 100);
    for (int slot = 0; slot < 10; ++slot) {
        b->pens[0].samples[slot] = 250000;
        stamp(slot, "2026/12/10 10:00:00");
    }
    b->newestSlot = 9; // pen 3 fails every cycle: its samples stay gaps
    CTrendView view(texts, kW, kH);
    const QImage img = draw(view);
    EXPECT_EQ(view.valueText(2), "-");
    EXPECT_TRUE(columnsOf(img, CTrendView::penColour(2)).empty()) << "no line";
    std::vector<std::string> labels;
    for (const auto& l : view.frame().valueLabels)
        labels.push_back(l.text);
    EXPECT_EQ(labels, (std::vector<std::string>{"500.0", "\xC3\x97" "1000", "375.0", "250.0", "125.0", "0.0"}));
    view.selectScalePen(5); // not in use
    labels.clear();
    for (const auto& l : view.frame().valueLabels)
        labels.push_back(l.text);
    EXPECT_EQ(labels, (std::vector<std::string>(5, "0")));
}

TEST_F(TrendSectionView, GarbageInTheSectionIsDrawnSafely)
{
    usePen(0, std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity());
    usePen(1, 0, 100);
    b->pens[1].samples[3] = std::numeric_limits<double>::infinity();
    b->pens[1].decimals = 1000;
    std::memset(b->groupName, 'G', sizeof b->groupName); // no NUL
    std::memset(b->pens[1].itemName, 'I', sizeof b->pens[1].itemName);
    std::memset(b->timeStamps, 'T', sizeof b->timeStamps);
    b->sampleCounts[1] = -5;
    for (int newest : {5000, -7, 1099}) {
        b->newestSlot = newest;
        CTrendView view(texts, kW, kH);
        const QImage img = draw(view);
        EXPECT_EQ(view.groupText(), QString(33, 'G')) << "cut at its field";
        bool outside = false;
        for (int p : {0, 1})
            columnsOf(img, CTrendView::penColour(p), &outside);
        EXPECT_FALSE(outside) << newest;
    }
}

// Another program cuts the section short while Trend shows it: the view stops its refresh
// and says so; nothing dies of SIGBUS.
TEST_F(TrendSectionView, SectionCutShortStopsTheLiveView)
{
    usePen(0, 0, 100);
    CTrendView view(texts, kW, kH);
    draw(view);
    const int fd = ::shm_open(name.c_str(), O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, 0), 0);
    ::close(fd);
    view.redraw();
    EXPECT_TRUE(view.sectionBroken());
    view.redraw(); // stays stopped
    view.release();
}

TEST(TrendLog, ReadsARecordedLogAndNamesAMalformedLine)
{
    const std::string head = "Station-(Channel),1-(1),,2-(3),,,,,,\r\nItem,PV,,SV,,,,,,\r\nUnit,degC,,degC,,,,,,\r\n";
    std::string text = head;
    for (int i = 0; i < 5; ++i)
        text += "2026/12/10 10:00:0" + std::to_string(i) + "," + std::to_string(10 + i) + ".5,,,,,,,,\r\n";
    trendplot::TrendData d;
    std::string error;
    ASSERT_TRUE(trendplot::readTrendLog(text, d, &error)) << error;
    EXPECT_EQ(d.slots(), 5);
    EXPECT_EQ(d.newest, 4);
    EXPECT_TRUE(d.pens[0].used);
    EXPECT_FALSE(d.pens[1].used);
    EXPECT_EQ(d.pens[2].channelIndex, 2);
    EXPECT_EQ(d.pens[0].decimals, 1);
    EXPECT_DOUBLE_EQ(d.pens[0].scaleMin, 10.5);
    EXPECT_DOUBLE_EQ(d.pens[0].samples[4], 14.5);
    EXPECT_DOUBLE_EQ(d.pens[2].samples[0], trendplot::kNoValue);

    EXPECT_FALSE(trendplot::readTrendLog(head + "2026/12/10 10:00:00,1,2\r\n", d, &error));
    EXPECT_EQ(error.substr(0, 7), "line 4:");
    EXPECT_FALSE(trendplot::readTrendLog(text + "2026/12/10 10:0", d, &error));
    EXPECT_EQ(error.substr(0, 7), "line 9:");
    EXPECT_EQ(d.slots(), 5) << "what comes before is kept";
}

// The real program: its title, the section created when it starts alone, closing through
// the socket the loader uses, and viewerOpen written 0 when it ends.
TEST(TrendProgram, StartsAloneAndClosesThroughItsSocket)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    vok::test::TempDir dir;
    qputenv("VOK_TREND_SECTION", ("/voktest-program-" + std::to_string(::getpid())).c_str());
    vok::TrendSection section;
    ASSERT_TRUE(section.open());
    section.buffer()->viewerOpen = 1; // as the loader sets it after starting Trend
    QProcess trend;
    trend.setWorkingDirectory(QString::fromStdString(dir.path()));
    // A real window on the X display, not the tests' offscreen platform.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    trend.setProcessEnvironment(env);
    trend.start(QStringLiteral(VOK_TREND_PATH), {});
    ASSERT_TRUE(trend.waitForStarted(5000));
    const QString socket = QString::fromStdString(vok::perUserName(vok::kTrendTitle));
    QLocalSocket client;
    for (int i = 0; i < 100 && client.state() != QLocalSocket::ConnectedState; ++i) {
        client.connectToServer(socket);
        if (!client.waitForConnected(100))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(client.state(), QLocalSocket::ConnectedState);
    QProcess xprop;
    xprop.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^TrendDisplay - Trend$")});
    if (xprop.waitForFinished(5000) && xprop.exitCode() == 0) {
        EXPECT_FALSE(xprop.readAllStandardOutput().trimmed().isEmpty()) << "the window is found by its title";
    }
    client.write("close\n");
    client.flush();
    ASSERT_TRUE(trend.waitForFinished(5000));
    EXPECT_EQ(section.buffer()->viewerOpen, 0);
    section.release(true);
}
