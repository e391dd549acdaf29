#pragma once
// A table printed on as many pages as it needs: across and down, the title, the headings and
// the first (name) columns repeated on every page.

#include <QColor>
#include <QStringList>
#include <functional>
#include <vector>

class QPainter;
class QPrinter;
class QRect;

struct PrintTable {
    QString title;
    QStringList headings;
    int fixedColumns = 1; // repeated at the left of every page
    std::vector<QStringList> rows;
    // Cells drawn red (edited values); rows and columns as in `rows`, may be empty.
    std::vector<std::vector<bool>> red;
};

// Paints the table on pages of `page` (device coordinates of the painter), calling `newPage`
// between two pages; the number of pages.
int paintTable(QPainter& painter, const QRect& page, const PrintTable& table, const std::function<void()>& newPage);

// Prints on a printer (or a PDF file set on it), landscape; the number of pages.
int printTable(QPrinter& printer, const PrintTable& table);
