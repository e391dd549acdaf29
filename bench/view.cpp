// The parameter view's speed: loading the largest page of the sample data and painting it,
// and repainting after a scroll, on a window built offscreen. Prints the times.

#include "loadercore.h"
#include "paramtree.h"
#include "reporter.h"
#include "vokview.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    vok::NullReporter reporter;
    LoaderCore core(reporter);
    core.settings.workingDir = VOK_SOURCE_DIR "/sample";
    core.loadSettingsAndTexts();
    core.loadDefinitions(0);
    for (int s = 0; s < 32; ++s) {
        core.store.stationPresent[static_cast<std::size_t>(s)] = 1;
        const char* code = s < 16 ? "VOKA112N01000" : "VOKE100N01000";
        for (int i = 0; i < 13; ++i)
            core.store.record(s).identification[i] = static_cast<unsigned char>(code[i]);
    }
    core.tables->applyDefaults(vok::ListType::Function, core.store);
    core.store.rebuildChannelLists();

    using clock = std::chrono::steady_clock;
    auto t0 = clock::now();
    tree::ParameterTree tree(*core.tables, core.texts, 0);
    tree.build();
    const double buildMs = std::chrono::duration<double, std::milli>(clock::now() - t0).count();

    int largest = -1;
    std::size_t items = 0;
    for (std::size_t i = 0; i < tree.nodes().size(); ++i) {
        if (tree.isPage(static_cast<int>(i)) && tree.nodes()[i].children.size() > items) {
            items = tree.nodes()[i].children.size();
            largest = static_cast<int>(i);
        }
    }
    CVokView view(core);
    view.resize(1280, 900);
    // The format of a window's backing store; plain ARGB32 would measure conversions instead.
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    auto paint = [&] {
        QPainter p(&image);
        view.render(&p);
    };
    const int runs = 20;
    double loadPaint = 0, scroll = 0;
    for (int r = 0; r < runs; ++r) {
        auto a = clock::now();
        tree::Page page;
        tree.loadPage(largest, page);
        view.showPage(page, false);
        paint();
        auto b = clock::now();
        view.vertical()->setValue(view.vertical()->value() + 1);
        view.horizontal()->setValue(r % 2);
        paint();
        auto c = clock::now();
        loadPaint += std::chrono::duration<double, std::milli>(b - a).count();
        scroll += std::chrono::duration<double, std::milli>(c - b).count();
    }
    std::printf("tree built in %.2f ms (%zu nodes); largest page \"%s\" with %zu items, %d columns\n", buildMs,
                tree.nodes().size(), tree.node(largest).text().c_str(), items, view.columnCount());
    std::printf("load and paint the largest page: %.2f ms; repaint after a scroll: %.2f ms (mean of %d)\n",
                loadPaint / runs, scroll / runs, runs);
    return 0;
}
