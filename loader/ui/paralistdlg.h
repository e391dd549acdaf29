#pragma once
// The parameter list dialog: a kind of list and a comment; Print or show the list in the
// spreadsheet program.

#include <QDialog>

class LoaderCore;
class QComboBox;
class QLineEdit;
class QPrinter;

class CParaListDlg : public QDialog {
    Q_OBJECT
public:
    // `printer` is the application's printer (Print Setup's choice).
    CParaListDlg(LoaderCore& core, QPrinter& printer, QWidget* parent = nullptr);

    // The kind the dialog stands at (1-5, or 6 and 7 for the communication families).
    int kind() const;
    QComboBox* kinds() const { return m_kind; }
    QLineEdit* comment() const { return m_comment; }

    // Writes ".\DATA\ParameterOutputList.csv"; false (said) when it cannot be written.
    bool writeList(bool forSpreadsheet);
    void print();
    void showCsv();

private:
    LoaderCore& m_core;
    QPrinter& m_printer;
    QComboBox* m_kind;
    QLineEdit* m_comment;
};
