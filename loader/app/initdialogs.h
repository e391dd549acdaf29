#pragma once
// The two start-up dialogs: the module family and the start-up mode.

#include <QDialog>
#include <functional>

class QComboBox;
class QRadioButton;
class QCheckBox;
class QLabel;
namespace vok {
class TextTable;
}

class CINIT_SelectDlg : public QDialog {
    Q_OBJECT
public:
    CINIT_SelectDlg(const vok::TextTable& texts, QWidget* parent = nullptr);
    int family() const;

private:
    QComboBox* m_list;
};

class CINIT_ModeDlg : public QDialog {
    Q_OBJECT
public:
    enum Mode { InitialValues = 0, FromFile = 1, Reception = 2 };

    CINIT_ModeDlg(const vok::TextTable& texts, int family, QWidget* parent = nullptr);

    // What OK does for each mode; a handler that returns false keeps the dialog open.
    std::function<bool()> onInitialValues;
    std::function<bool()> onFromFile;
    std::function<bool(bool connectionSpecified)> onReception;

    Mode mode() const;
    void setMode(Mode mode);
    void setConnectionSpecified(bool on);
    void showStatus(const QString& text);

    void accept() override;

private:
    QRadioButton* m_initial;
    QRadioButton* m_file;
    QRadioButton* m_reception;
    QCheckBox* m_connection;
    QLabel* m_status;
};
