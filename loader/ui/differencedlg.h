#pragma once
// The registers whose module value differs from the PC's (after a verified download, or a
// comparison with the line): a list that can be saved as CSV.

#include "transfer.h"

#include <QDialog>
#include <map>
#include <vector>

class LoaderCore;
class QTableWidget;

class CDifferenceDlg : public QDialog {
    Q_OBJECT
public:
    CDifferenceDlg(LoaderCore& core, const QString& title, const std::vector<vok::Difference>& differences,
                   QWidget* parent = nullptr);

    QTableWidget* table() const { return m_table; }
    // The list as CSV (station, channel, parameter, PC value, module value); false when it
    // cannot be written, with the reason.
    bool saveCsv(const QString& path, QString* error = nullptr) const;

private:
    QTableWidget* m_table;
};

// The parameter of a station's register and the text of a value as the grid would show it.
class RegisterTexts {
public:
    explicit RegisterTexts(LoaderCore& core);
    struct Text {
        QString channel;
        QString parameter;
        QString value;
    };
    Text text(int station, int reg, std::uint16_t raw) const;

private:
    LoaderCore& m_core;
    std::map<int, vok::DefinitionTables::RegisterOwner> m_control, m_event;
};
