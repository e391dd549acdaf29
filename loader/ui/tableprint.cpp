#include "tableprint.h"

#include <QFontMetrics>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

namespace {

struct Layout {
    std::vector<int> widths;
    int rowHeight = 0;
    std::vector<std::pair<int, int>> columnBlocks; // [first, last) of the columns after the fixed ones
    int rowsPerPage = 1;
};

Layout layoutOf(QPainter& p, const QRect& page, const PrintTable& t)
{
    Layout l;
    const QFontMetrics fm(p.font());
    int columns = static_cast<int>(t.headings.size());
    for (const QStringList& r : t.rows)
        columns = std::max(columns, static_cast<int>(r.size()));
    l.widths.assign(static_cast<std::size_t>(columns), fm.horizontalAdvance(QStringLiteral("00000")));
    auto widen = [&](int c, const QString& text) {
        int& w = l.widths[static_cast<std::size_t>(c)];
        // A very long cell is cut rather than making its column wider than a third of a page.
        w = std::min(std::max(w, fm.horizontalAdvance(text) + fm.horizontalAdvance(QStringLiteral("  "))), page.width() / 3);
    };
    for (int c = 0; c < t.headings.size(); ++c)
        widen(c, t.headings[c]);
    for (const QStringList& r : t.rows)
        for (int c = 0; c < r.size(); ++c)
            widen(c, r[c]);
    l.rowHeight = fm.height() + fm.height() / 3;
    int fixed = 0;
    for (int c = 0; c < std::min(t.fixedColumns, columns); ++c)
        fixed += l.widths[static_cast<std::size_t>(c)];
    for (int c = t.fixedColumns; c < columns;) {
        int used = fixed, last = c;
        while (last < columns && (last == c || used + l.widths[static_cast<std::size_t>(last)] <= page.width()))
            used += l.widths[static_cast<std::size_t>(last++)];
        l.columnBlocks.emplace_back(c, last);
        c = last;
    }
    if (l.columnBlocks.empty())
        l.columnBlocks.emplace_back(columns, columns);
    // The title line and the heading row take two rows of every page.
    l.rowsPerPage = std::max(1, page.height() / l.rowHeight - 2);
    return l;
}

} // namespace

int paintTable(QPainter& p, const QRect& page, const PrintTable& t, const std::function<void()>& newPage)
{
    const Layout l = layoutOf(p, page, t);
    const int rowBlocks = std::max(1, static_cast<int>((t.rows.size() + static_cast<std::size_t>(l.rowsPerPage) - 1)
                                                       / static_cast<std::size_t>(l.rowsPerPage)));
    int pages = 0;
    for (int rb = 0; rb < rowBlocks; ++rb) {
        for (const auto& [first, last] : l.columnBlocks) {
            if (pages++ > 0 && newPage)
                newPage();
            std::vector<int> cols;
            for (int c = 0; c < std::min(t.fixedColumns, static_cast<int>(l.widths.size())); ++c)
                cols.push_back(c);
            for (int c = first; c < last; ++c)
                cols.push_back(c);
            const int h = l.rowHeight;
            p.setPen(Qt::black);
            p.drawText(QRect(page.left(), page.top(), page.width(), h), Qt::AlignLeft | Qt::AlignVCenter,
                       t.title + QStringLiteral("   (%1)").arg(pages));
            auto cell = [&](int row, int column) -> QString {
                if (row < 0)
                    return column < t.headings.size() ? t.headings[column] : QString();
                const QStringList& r = t.rows[static_cast<std::size_t>(row)];
                return column < r.size() ? r[column] : QString();
            };
            const int firstRow = rb * l.rowsPerPage;
            const int lastRow = std::min(static_cast<int>(t.rows.size()), firstRow + l.rowsPerPage);
            for (int r = -1; r < lastRow - firstRow; ++r) {
                const int row = r < 0 ? -1 : firstRow + r;
                const int y = page.top() + h * (r + 2);
                int x = page.left();
                for (int c : cols) {
                    const int w = l.widths[static_cast<std::size_t>(c)];
                    const QRect rect(x, y, w, h);
                    if (row < 0)
                        p.fillRect(rect, QColor(0, 255, 255));
                    const bool red = row >= 0 && static_cast<std::size_t>(row) < t.red.size()
                        && static_cast<std::size_t>(c) < t.red[static_cast<std::size_t>(row)].size()
                        && t.red[static_cast<std::size_t>(row)][static_cast<std::size_t>(c)];
                    p.setPen(red ? QColor(255, 0, 0) : QColor(Qt::black));
                    const int align = (row < 0 ? Qt::AlignHCenter : c < t.fixedColumns ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
                    const int pad = p.fontMetrics().horizontalAdvance(QLatin1Char(' ')) / 2;
                    const QString text = p.fontMetrics().elidedText(cell(row, c), Qt::ElideRight, w - 2 * pad);
                    p.drawText(rect.adjusted(pad, 0, -pad, 0), align, text);
                    p.setPen(QColor(128, 128, 128));
                    p.drawRect(rect);
                    x += w;
                }
            }
        }
    }
    return pages;
}

int printTable(QPrinter& printer, const PrintTable& table)
{
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter p;
    if (!p.begin(&printer))
        return 0;
    QFont font = p.font();
    font.setPointSizeF(8);
    p.setFont(font);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const int pages = paintTable(p, QRect(QPoint(0, 0), page.size()), table, [&] { printer.newPage(); });
    p.end();
    return pages;
}
