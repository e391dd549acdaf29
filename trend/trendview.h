#pragma once
// Trend's view: the group line, the pen table in two blocks of four, the scale radio
// buttons, and the plot with its value-label strip and time-label strip. Live from the
// shared section once a second, or a recorded log with a scroll bar through it.

#include "texttable.h"
#include "trendbuffer.h"
#include "trendplot.h"

#include <QImage>
#include <QWidget>
#include <array>

class QLabel;
class QRadioButton;
class QScrollBar;
class QTimer;
class PlotPanel;

class CTrendView : public QWidget {
    Q_OBJECT
public:
    // Pen colours: red, green, blue.
    static QColor penColour(int pen);
    static constexpr int kValueStrip = 80; // the value-label strip left of the plot
    static constexpr int kTimeStrip = 40;  // the time-label strip under it

    // A plot of `plotWidth` x `plotHeight` (0: from the screen when the view is shown).
    explicit CTrendView(const vok::TrendTextTable& texts, int plotWidth = 0, int plotHeight = 0, QWidget* parent = nullptr);
    ~CTrendView() override;

    // Opens the section and starts the one-second refresh; false (said) when it cannot be
    // opened: then nothing is refreshed.
    bool initialiseLive(const std::string& sectionName = vok::trendSectionName());
    // Shows a recorded log instead, scrolled to its end.
    void showLog(trendplot::TrendData data);
    // Writes viewerOpen = 0 and releases the section; false when unmapping failed.
    bool release();

    // Reads the data afresh and redraws (the timer's tick).
    void redraw();
    void selectScalePen(int pen);

    bool initialised() const { return m_initialised; }
    // Whether the live section was cut short under us (and the refresh stopped).
    bool sectionBroken() const { return m_section.broken(); }
    int plotWidth() const { return m_w; }
    int plotHeight() const { return m_h; }
    const trendplot::Frame& frame() const { return m_frame; }
    const trendplot::TrendData& data() const { return m_data; }
    // The panel (value strip, plot, time strip) as painted.
    QImage panelImage();
    // Paints the panel into an image of the panel's size (reused by a caller that draws often).
    void paintPanel(QImage& image);
    QString groupText() const;
    QString loopText(int pen) const;
    QString itemText(int pen) const;
    QString valueText(int pen) const;
    QString unitText(int pen) const;
    QScrollBar* logScroll() const { return m_scroll; }
    // The tooltip of the plot at an x.
    QString probeText(int x) const;

private:
    void fillTable();
    QString text(int id) const;

    const vok::TrendTextTable& m_texts;
    vok::TrendSection m_section;
    bool m_initialised = false;
    bool m_live = false;
    int m_w;
    int m_h;
    int m_scalePen = 0;
    trendplot::TrendData m_data;
    trendplot::Frame m_frame;
    QLabel* m_group;
    struct Row {
        QLabel* number;
        QRadioButton* scale;
        QLabel* loop;
        QLabel* item;
        QLabel* value;
        QLabel* unit;
    };
    std::array<Row, 8> m_rows{};
    PlotPanel* m_panel;
    QScrollBar* m_scroll;
    QTimer* m_timer;
    friend class PlotPanel;
};
