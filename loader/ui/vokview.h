#pragma once
// The parameter view: the page as a grid of parameters and the channels of the section's
// stations, with edited values in red and failed transfers as "-".

#include "paramtree.h"
#include "tableprint.h"

#include <QWidget>
#include <functional>
#include <vector>

class LoaderCore;
class QScrollBar;

class CVokView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 18;
    static constexpr int kVisibleColumns = 8;

    explicit CVokView(LoaderCore& core, QWidget* parent = nullptr);

    // Shows a page; `keepPosition` keeps the scroll position (mode 1).
    void showPage(const tree::Page& page, bool keepPosition);
    void clearPage();

    // What the grid shows, by page row (0 = first parameter) and column.
    int columnCount() const { return static_cast<int>(m_columns.size()); }
    int rowCount() const { return static_cast<int>(m_page.definitions.size()); }
    QString headerText(int column) const;
    QString rowName(int row) const;
    // The global channel number of a column and the definition of a row.
    int channelOfColumn(int column) const { return m_columns[static_cast<std::size_t>(column)]; }
    const vok::ParameterDefinition& definition(int row) const { return m_page.definitions[static_cast<std::size_t>(row)]; }
    // The page row and column of the selected cell.
    int currentRow() const;
    int currentColumn() const;
    QString cellText(int row, int column) const;
    bool cellEdited(int row, int column) const;
    // The module's value of a cell that the last comparison found different, as text; empty
    // for a cell that was not found different.
    QString comparedText(int row, int column) const;
    QString title() const;
    // The whole text of a choice cell's choice (its cell shows the code); empty otherwise.
    QString choiceText(int row, int column) const;
    // Selects a cell, scrolling it into view.
    void selectCell(int row, int column);
    // The page as tab-separated text: the title and headings, then a name and the values per row.
    QString pageAsText() const;
    // The whole page for printing: every row and every column, not only those on screen.
    PrintTable printable() const;
    int visibleRows() const;
    QScrollBar* horizontal() const { return m_h; }
    QScrollBar* vertical() const { return m_v; }
    int selectedColumn() const { return m_selColumn; }
    int selectedRow() const { return m_selRow; }

    std::function<void()> onEscape;
    std::function<void()> onFocusTree;
    // A value cell was opened (Enter or a double click: input; F1 or the right button: the
    // detail screen). The dialogs that serve it come later; until then nothing opens.
    std::function<void(int row, int column, bool detail)> onOpenCell;
    // A digit, minus sign or point typed on a value cell: its input, with the character typed.
    std::function<void(int row, int column, const QString& typed)> onTypedIntoCell;
    // The selected cell changed: the text to show in the status bar (a choice's whole text).
    std::function<void(const QString& text)> onSelectionText;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    void layoutColumns();
    void updateRanges();
    bool cellAt(const QPoint& p, int& column, int& row) const;
    void open(bool detail);
    void selectionMoved();
    int namesWidth() const;
    int columnWidth() const;

    LoaderCore& m_core;
    tree::Page m_page;
    std::vector<int> m_columns; // global channel numbers
    std::vector<QString> m_names; // the page's parameter names, decoded once
    bool m_eventColumns = false;
    bool m_stationOneColumns = false;
    QScrollBar* m_h;
    QScrollBar* m_v;
    int m_selColumn = 0; // relative to the first visible column
    int m_selRow = 1;    // 1 = first visible parameter row
};
