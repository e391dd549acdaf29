#include "trendview.h"

#include "textcodec.h"

#include <QApplication>
#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPolygon>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>
#include <cstring>
#include <memory>

namespace {

const QColor kGrid(128, 128, 128);

QFont labelFont()
{
    QFont f = QApplication::font();
    f.setPixelSize(12);
    f.setWeight(QFont::Normal);
    return f;
}

} // namespace

// The value-label strip, the plot and the time-label strip, painted from the view's frame.
class PlotPanel : public QWidget {
public:
    explicit PlotPanel(CTrendView& view) : QWidget(&view), m_view(view)
    {
        setFixedSize(CTrendView::kValueStrip + view.m_w + 2, view.m_h + 2 + CTrendView::kTimeStrip);
        setMouseTracking(true);
    }
    // The plot's top-left corner inside the panel (inside its border).
    QPoint origin() const { return {CTrendView::kValueStrip + 1, 1}; }

    void paintFrame(QPainter& p)
    {
        const trendplot::Frame& f = m_view.m_frame;
        const int W = m_view.m_w, H = m_view.m_h;
        p.fillRect(rect(), palette().window());
        p.setFont(labelFont());
        const QPoint o = origin();
        // The plot: white, its border, the pens; then the labels, the grid and the pens again.
        p.fillRect(QRect(o, QSize(W, H + 1)), Qt::white);
        p.setPen(Qt::black);
        p.drawRect(QRect(o - QPoint(1, 1), QSize(W + 1, H + 2)));
        drawPens(p);
        // The time-label strip under the plot, from its left edge.
        p.setPen(Qt::black);
        const QPoint t = o + QPoint(0, H + 2);
        for (const trendplot::TextAt& l : f.timeLabels)
            p.drawText(QRect(t + QPoint(l.x, l.y), QSize(400, 16)), Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(l.text));
        // The value-label strip, in the scale pen's colour.
        p.fillRect(QRect(0, 0, CTrendView::kValueStrip - 4, H + 9), palette().button());
        p.setPen(CTrendView::penColour(f.valueLabelPen));
        for (const trendplot::TextAt& l : f.valueLabels)
            p.drawText(QRect(l.x, l.y, CTrendView::kValueStrip - 4 - l.x, 16), Qt::AlignLeft | Qt::AlignTop,
                       QString::fromUtf8(l.text.c_str()));
        QPen dotted(kGrid, 1, Qt::DotLine);
        p.setPen(dotted);
        for (int y : f.gridY)
            p.drawLine(o + QPoint(0, y), o + QPoint(W, y));
        for (int x : f.gridX)
            p.drawLine(o + QPoint(x, 0), o + QPoint(x, H));
        drawPens(p);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        paintFrame(p);
        // The very first paint is followed by a second one.
        if (m_repaint < 0) {
            ++m_repaint;
            QTimer::singleShot(0, this, [this] { update(); });
        }
    }
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(e);
            const QString tip = m_view.probeText(help->pos().x() - origin().x());
            if (tip.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(help->globalPos(), tip, this);
            return true;
        }
        return QWidget::event(e);
    }

private:
    void drawPens(QPainter& p)
    {
        const QPoint o = origin();
        p.setClipRect(QRect(o, QSize(m_view.m_w, m_view.m_h + 1)));
        for (int pen = 0; pen < trendplot::kPens; ++pen) {
            const auto& ops = m_view.m_frame.paths[static_cast<std::size_t>(pen)];
            if (ops.empty())
                continue;
            p.setPen(QPen(CTrendView::penColour(pen), 1));
            // Each run of lines after a move is one polyline: far fewer calls than a line each.
            QPolygon run;
            for (const trendplot::Op& op : ops) {
                const QPoint to = o + QPoint(op.x, op.y);
                if (op.kind == trendplot::Op::Move) {
                    if (run.size() > 1)
                        p.drawPolyline(run);
                    run.clear();
                }
                run << to;
            }
            if (run.size() > 1)
                p.drawPolyline(run);
        }
        p.setClipping(false);
    }

    CTrendView& m_view;
    int m_repaint = -1;
};

QColor CTrendView::penColour(int pen)
{
    static const QColor colours[] = {{0, 0, 255},  {255, 0, 0}, {0, 255, 0},    {255, 0, 255},
                                     {0, 255, 255}, {128, 0, 0}, {184, 134, 11}, {0, 128, 0}};
    return colours[std::clamp(pen, 0, 7)];
}

CTrendView::CTrendView(const vok::TrendTextTable& texts, int plotWidth, int plotHeight, QWidget* parent)
    : QWidget(parent), m_texts(texts)
{
    setObjectName("TrendView");
    // The plot's size is taken once, when the view is made.
    const QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                          : QRect(0, 0, 1280, 1024);
    // One pixel a sample: a plot wider than the ring would show its oldest slots twice.
    m_w = plotWidth > 0 ? plotWidth : std::clamp(screen.width() - kValueStrip - 40, 300, vok::TREND_SLOTS);
    m_h = plotHeight > 0 ? plotHeight : std::max(150, screen.height() - 420);
    auto* layout = new QVBoxLayout(this);
    auto* groupLine = new QHBoxLayout;
    groupLine->addWidget(new QLabel(text(68), this));
    m_group = new QLabel(this);
    m_group->setObjectName("groupName");
    groupLine->addWidget(m_group, 1);
    layout->addLayout(groupLine);

    // The pen table: pens 1-4 on the left, 5-8 on the right.
    auto* table = new QHBoxLayout;
    auto* scales = new QButtonGroup(this);
    for (int block = 0; block < 2; ++block) {
        auto* grid = new QGridLayout;
        const int headings[] = {135, 136, 137, 138, 139, 140};
        for (int c = 0; c < 6; ++c)
            grid->addWidget(new QLabel(text(headings[c]), this), 0, c);
        for (int r = 0; r < 4; ++r) {
            const int pen = 4 * block + r;
            Row& row = m_rows[static_cast<std::size_t>(pen)];
            row.number = new QLabel(QString::number(pen + 1), this);
            QPalette pal = row.number->palette();
            pal.setColor(QPalette::WindowText, penColour(pen));
            row.number->setPalette(pal);
            QFont bold = row.number->font();
            bold.setBold(true);
            row.number->setFont(bold);
            row.scale = new QRadioButton(this);
            row.scale->setObjectName(QStringLiteral("scale%1").arg(pen + 1));
            scales->addButton(row.scale, pen);
            row.loop = new QLabel(this);
            row.item = new QLabel(this);
            row.value = new QLabel(this);
            row.value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            row.value->setMinimumWidth(80);
            row.unit = new QLabel(this);
            QWidget* cells[] = {row.number, row.scale, row.loop, row.item, row.value, row.unit};
            for (int c = 0; c < 6; ++c)
                grid->addWidget(cells[c], r + 1, c);
        }
        grid->setColumnStretch(3, 1);
        table->addLayout(grid, 1);
    }
    layout->addLayout(table);
    connect(scales, &QButtonGroup::idClicked, this, &CTrendView::selectScalePen);

    m_panel = new PlotPanel(*this);
    layout->addWidget(m_panel, 0, Qt::AlignLeft);
    m_scroll = new QScrollBar(Qt::Horizontal, this);
    m_scroll->setObjectName("logScroll");
    m_scroll->hide();
    connect(m_scroll, &QScrollBar::valueChanged, this, [this](int v) {
        if (!m_live) {
            m_data.newest = std::min(v + m_w - 1, m_data.slots() - 1);
            redraw();
        }
    });
    layout->addWidget(m_scroll);
    layout->addStretch(1);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CTrendView::redraw);
}

CTrendView::~CTrendView()
{
    release();
}

QString CTrendView::text(int id) const
{
    return vok::decodeText(m_texts.text(id));
}

bool CTrendView::initialiseLive(const std::string& sectionName)
{
    std::string error;
    if (!m_section.open(&error, sectionName)) {
        QMessageBox::warning(this, QApplication::applicationName(), QStringLiteral("It failed in the opening for Datalogging."));
        return false;
    }
    m_rows[0].scale->setChecked(true);
    m_scalePen = 0;
    m_live = true;
    m_initialised = true;
    redraw();
    m_timer->start(1000);
    return true;
}

void CTrendView::showLog(trendplot::TrendData data)
{
    m_live = false;
    m_timer->stop();
    m_data = std::move(data);
    m_rows[0].scale->setChecked(true);
    m_scalePen = 0;
    m_initialised = true;
    const int n = m_data.slots();
    m_scroll->setVisible(true);
    m_scroll->setRange(0, std::max(0, n - m_w));
    m_scroll->setPageStep(m_w);
    m_scroll->setSingleStep(60);
    m_scroll->setEnabled(n > m_w);
    m_scroll->setValue(m_scroll->maximum());
    m_data.newest = std::min(m_scroll->value() + m_w - 1, n - 1);
    redraw();
}

bool CTrendView::release()
{
    m_timer->stop();
    if (!m_section.isOpen())
        return true;
    // Closing tells the loader that Trend is gone: its viewer button comes back.
    const bool ok = m_section.release(false);
    if (!ok)
        QMessageBox::warning(this, QApplication::applicationName(), QString::fromUtf8("アンマップできません。"));
    return ok;
}

void CTrendView::redraw()
{
    if (!m_initialised)
        return;
    if (m_live) {
        // A copy of the section, read afresh and taken apart safely.
        const auto snapshot = std::make_unique<vok::TrendBuffer>();
        std::memcpy(snapshot.get(), m_section.buffer(), sizeof(vok::TrendBuffer));
        if (m_section.broken()) {
            // Cut short by another process: what is drawn stays, nothing new can come.
            m_timer->stop();
            m_live = false;
            m_initialised = true;
            auto* box = new QMessageBox(QMessageBox::Warning, QApplication::applicationName(),
                                        QStringLiteral("The shared trend section %1 was cut short by another program; "
                                                       "the live trend stops here.")
                                            .arg(QString::fromStdString(m_section.name())),
                                        QMessageBox::Ok, this);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
            return;
        }
        m_data = trendplot::fromSection(*snapshot);
    }
    const int cw = QFontMetrics(labelFont()).horizontalAdvance(QLatin1Char('a'));
    m_frame = trendplot::computeFrame(m_data, m_w, m_h, m_scalePen, cw > 0 ? cw : 12);
    fillTable();
    m_panel->update();
}

void CTrendView::fillTable()
{
    m_group->setText(vok::decodeText(m_frame.groupName));
    for (int p = 0; p < trendplot::kPens; ++p) {
        const auto& r = m_frame.rows[static_cast<std::size_t>(p)];
        Row& row = m_rows[static_cast<std::size_t>(p)];
        row.loop->setText(QString::fromStdString(r.loop));
        row.item->setText(vok::decodeText(r.item));
        row.unit->setText(vok::decodeText(r.unit));
        // A pen without a newest value keeps what its field showed.
        if (const auto& v = m_frame.values[static_cast<std::size_t>(p)])
            row.value->setText(QString::fromStdString(*v));
    }
}

void CTrendView::selectScalePen(int pen)
{
    m_scalePen = std::clamp(pen, 0, 7);
    m_rows[static_cast<std::size_t>(m_scalePen)].scale->setChecked(true);
    redraw();
}

QImage CTrendView::panelImage()
{
    QImage image(m_panel->size(), QImage::Format_RGB32);
    paintPanel(image);
    return image;
}

void CTrendView::paintPanel(QImage& image)
{
    if (image.size() != m_panel->size())
        image = QImage(m_panel->size(), QImage::Format_RGB32);
    QPainter p(&image);
    m_panel->paintFrame(p);
}

QString CTrendView::groupText() const
{
    return m_group->text();
}

QString CTrendView::loopText(int pen) const
{
    return m_rows[static_cast<std::size_t>(pen)].loop->text();
}

QString CTrendView::itemText(int pen) const
{
    return m_rows[static_cast<std::size_t>(pen)].item->text();
}

QString CTrendView::valueText(int pen) const
{
    return m_rows[static_cast<std::size_t>(pen)].value->text();
}

QString CTrendView::unitText(int pen) const
{
    return m_rows[static_cast<std::size_t>(pen)].unit->text();
}

QString CTrendView::probeText(int x) const
{
    const trendplot::Probe pr = trendplot::probe(m_data, m_w, x);
    if (pr.slot < 0 || pr.time.empty())
        return {};
    QString tip = QString::fromStdString(pr.time);
    for (int p = 0; p < trendplot::kPens; ++p) {
        if (const auto& v = pr.values[static_cast<std::size_t>(p)])
            tip += QStringLiteral("\n%1: %2 %3").arg(p + 1).arg(QString::fromStdString(*v), vok::decodeText(m_data.pens[static_cast<std::size_t>(p)].unit));
    }
    return tip;
}
