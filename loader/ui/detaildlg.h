#pragma once
// The detail screen: every parameter of the selected parameter's related group for one
// station and channel, with the group's picture or a button that opens its manual.

#include "definitions.h"

#include <QDialog>
#include <QImage>
#include <vector>

class LoaderCore;
class PaintArea;
class QPushButton;
class QScrollBar;

class CDetailDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kShownRows = 10;
    static constexpr int kRowHeight = 22;
    static constexpr int kFirstLine = 18;

    enum class Picture { None, Bitmap, Jpeg, Document };
    // What `extraText` names: ".bmp"/".BMP" or ".jpg"/".JPG" after its first character are
    // pictures; anything else is a document (an empty name is nothing).
    static Picture pictureKindOf(const std::string& extraText);

    // `channel` is the global channel number of the view's selected column.
    CDetailDlg(LoaderCore& core, int channel, const vok::ParameterDefinition& selected, QWidget* parent = nullptr);
    ~CDetailDlg() override;

    // Whether an input opened here ended with OK.
    bool changed() const { return m_changed; }
    // Loads the row values from the store again (after an input, or after a re-read).
    void refreshRows();
    int station() const { return m_channel / 4 + 1; }

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    int firstRow() const { return m_first; }
    int selectedRow() const { return m_selected; }
    bool scrollEnabled() const;
    Picture pictureKind() const { return m_picture; }
    bool pictureLoaded() const { return !m_image.isNull(); }
    // The four cells of a list row as painted: key, name, comment, value.
    QString cellText(int row, int column) const;
    // Column widths after the layout (80, 200, 300, 80 scaled to the grid).
    std::array<int, 4> columnWidths() const;

    // Editing a row as a double click at y in the grid would.
    void editAt(int y);
    void scrollBy(int rows);

    // What the window shows, for tests and screenshots.
    QImage gridImage();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void done(int result) override;

private:
    void paintGrid(QPainter& p);
    void paintPicture(QPainter& p);
    void editRow(int row);
    void openManual();

    LoaderCore& m_core;
    int m_channel;
    vok::ParameterDefinition m_selectedDef;
    std::vector<vok::ParameterDefinition> m_rows;
    std::vector<std::uint16_t> m_values;
    std::vector<int> m_states; // 0 value, 1 failed transfer, 2 no register or no station
    int m_first = 0;
    int m_selected = 0;
    bool m_changed = false;
    Picture m_picture = Picture::None;
    QImage m_image;
    PaintArea* m_grid;
    PaintArea* m_pictureArea;
    QScrollBar* m_scroll;
    QPushButton* m_manual;
};
