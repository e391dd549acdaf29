#pragma once
// The utility dialog: channel copy, control station copy and event station copy in the
// store. It stays open after a copy; Cancel closes it.

#include <QDialog>
#include <functional>
#include <vector>

class LoaderCore;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabBar;

class CUtyTab : public QDialog {
    Q_OBJECT
public:
    enum Tab { ChannelCopy = 0, StationCopy = 1, EventStationCopy = 2 };

    explicit CUtyTab(LoaderCore& core, QWidget* parent = nullptr);

    void chooseTab(int tab);
    // The copy of the current tab, after the question.
    void execute();

    QTabBar* tabs() const { return m_tabs; }
    QComboBox* fromStation() const { return m_fromStation; }
    QComboBox* fromChannel() const { return m_fromChannel; }
    QComboBox* firstTarget() const { return m_first; }
    QComboBox* lastTarget() const { return m_last; }
    QPushButton* executeButton() const { return m_execute; }

    // Before a copy changes the store (the targets' stations), and after it.
    std::function<void(const std::vector<int>& stations)> beforeCopy;
    std::function<void(const char* what)> afterCopy;

private:
    void fill();
    void copyChannels();
    void copyStations(bool checkModels);

    LoaderCore& m_core;
    QTabBar* m_tabs;
    QGroupBox* m_from;
    QGroupBox* m_to;
    QComboBox* m_fromStation;
    QLabel* m_dash;
    QComboBox* m_fromChannel;
    QComboBox* m_first;
    QComboBox* m_last;
    QPushButton* m_execute;
};
