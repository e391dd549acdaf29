#pragma once
// The station definition without a line: which stations carry a module and their codes.

#include <QDialog>
#include <array>
#include <functional>
#include <string>

class QLabel;
class QRadioButton;
namespace vok {
class TextTable;
class DataStore;
}

class CStSet : public QDialog {
    Q_OBJECT
public:
    CStSet(const vok::TextTable& texts, vok::DataStore& store, QWidget* parent = nullptr);

    // The code editor for a station; returns false on Cancel. Replaceable for tests.
    std::function<bool(int stationIndex, const std::string& initial, std::string& code)> editCode;

    // Create for station index i: the editor starts with the copy source's code.
    void create(int stationIndex);
    // The copy source of a group: the first checked station, or -1.
    int copySource(int stationIndex) const;
    void setCopySource(int stationIndex);
    const std::string& code(int stationIndex) const { return m_codes[static_cast<std::size_t>(stationIndex)]; }

    void accept() override;

private:
    const vok::TextTable& m_texts;
    vok::DataStore& m_store;
    std::array<std::string, 32> m_codes{};
    std::array<QRadioButton*, 32> m_source{};
    std::array<QLabel*, 32> m_labels{};
};
