#pragma once
// The trend definition dialog: ten groups of eight pens, shown and edited one group at a
// time; Start and Stop of the logging, the Trend viewer and the log in a spreadsheet.

#include <QDialog>
#include <array>

class LoaderCore;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

class CTrendDefDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTrendDefDlg(LoaderCore& core, QWidget* parent = nullptr);
    ~CTrendDefDlg() override;

    // Shows the selected group, and stores what is shown into it.
    void showGroup();
    void storeGroup();
    void chooseGroup(int index);

    void startLogging();
    void stopLogging();
    void showTrend();
    void showCsv();

    int selectedGroup() const { return m_selected; }
    QComboBox* cycle() const { return m_cycle; }
    QComboBox* group() const { return m_group; }
    QComboBox* station(int pen) const { return m_station[static_cast<std::size_t>(pen)]; }
    QComboBox* channel(int pen) const { return m_channel[static_cast<std::size_t>(pen)]; }
    QComboBox* item(int pen) const { return m_item[static_cast<std::size_t>(pen)]; }
    QLineEdit* minimum(int pen) const { return m_min[static_cast<std::size_t>(pen)]; }
    QLineEdit* maximum(int pen) const { return m_max[static_cast<std::size_t>(pen)]; }
    QPushButton* button(const char* name) const;
    // The state of logging and of the line ("lost since ..."), and what the file said.
    QLabel* lineState() const { return m_lineState; }
    // Reads the logger's state into the line above (the one-second timer's tick).
    void pollState();

protected:
    void done(int result) override;

private:
    void setLogging(bool on);
    void pollViewer();
    QString itemText(int index) const;

    LoaderCore& m_core;
    int m_selected = 0;
    QComboBox* m_cycle;
    QComboBox* m_group;
    std::array<QComboBox*, 8> m_station{};
    std::array<QComboBox*, 8> m_channel{};
    std::array<QComboBox*, 8> m_item{};
    std::array<QLineEdit*, 8> m_min{};
    std::array<QLineEdit*, 8> m_max{};
    QPushButton* m_start;
    QPushButton* m_stop;
    QPushButton* m_trend;
    QPushButton* m_csv;
    QTimer* m_viewerPoll;
    QTimer* m_statePoll;
    QLabel* m_lineState;
    QString m_fileProblems;
    bool m_endSaid = false;
};
