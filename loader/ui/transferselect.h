#pragma once
// The choice of the stations an upload or download works on.

#include <QDialog>
#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;
namespace vok {
class TextTable;
class DataStore;
}

class CCStSetDlg2 : public QDialog {
    Q_OBJECT
public:
    CCStSetDlg2(const vok::TextTable& texts, const std::array<std::int32_t, 32>& preset, QWidget* parent = nullptr);
    std::array<std::int32_t, 32> selection() const;
    // The module code of each station in the code column.
    void showCodes(const vok::DataStore& store);
    // The check box "Verify after download" (shown for downloads, checked at first).
    void offerVerify(bool checked);
    bool verify() const;
    QString code(int stationIndex) const;
    QCheckBox* box(int stationIndex) const { return m_boxes[static_cast<std::size_t>(stationIndex)]; }

private:
    std::array<QCheckBox*, 32> m_boxes{};
    std::array<QLabel*, 32> m_codes{};
    QCheckBox* m_verify = nullptr;
};
