#pragma once
// Module codes (PILC): the pick lists by model letter and position, the station range
// rule, and the dialogs that show and compose codes.

#include <QDialog>
#include <array>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
namespace vok {
class TextTable;
class DataStore;
}

namespace pilc {

inline constexpr int kPositions = 10; // positions 4 to 13

// The text ids of the list of `position` (4-13) for a model letter; ids 0 stand for the
// empty entries of the letters C and P.
std::vector<int> listIds(char letter, int position);
// The position-4 list of a station: stations 1-16 and 17-32 differ.
std::vector<int> stationFirstList(int stationIndex);
// Whether a stored code fits the station (its model letter is allowed there).
bool fits(const std::string& code, int stationIndex);
// The entry to select for a code character: the last entry containing "c:", else 0.
int entryFor(const std::vector<std::string>& entries, char c);
// "VOK" and the first character of each selected entry (a blank for an empty one).
std::string compose(const std::array<std::string, kPositions>& selected);

} // namespace pilc

// The code of a station as text (13 characters, trailing blanks kept out).
std::string stationCode(const vok::DataStore& store, int stationIndex);

class CPilcSetSubDlg : public QDialog {
    Q_OBJECT
public:
    CPilcSetSubDlg(const vok::TextTable& texts, int stationIndex, const std::string& code, QWidget* parent = nullptr);
    // The code after Register (empty when the code field was empty).
    const std::string& result() const { return m_result; }

    void chooseModel(int entry);
    void confirm();
    void registerCode();
    void clear();
    QComboBox* list(int position) const { return m_lists[position - 4]; }
    QString codeField() const;

private:
    void fill(int position, char letter);
    std::string selectedText(int position) const;

    const vok::TextTable& m_texts;
    int m_station;
    std::array<QComboBox*, pilc::kPositions> m_lists{};
    QLineEdit* m_code;
    std::string m_result;
};

// The module codes of the line: one station for families 1 and 2, all 32 for family 0.
class CPilcDspDlg : public QDialog {
    Q_OBJECT
public:
    CPilcDspDlg(const vok::TextTable& texts, const vok::DataStore& store, QWidget* parent = nullptr);
};

class CPilcSetDlg : public QDialog {
    Q_OBJECT
public:
    CPilcSetDlg(const vok::TextTable& texts, const vok::DataStore& store, QWidget* parent = nullptr);
};
