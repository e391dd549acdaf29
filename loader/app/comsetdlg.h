#pragma once
// The communication settings dialog: port and line, command mode, online/offline, language.

#include <QDialog>
#include <map>
#include <string>
#include <functional>

class QComboBox;
class LoaderCore;

class CComSetDlg : public QDialog {
    Q_OBJECT
public:
    CComSetDlg(LoaderCore& core, QWidget* parent = nullptr);
    void accept() override;

    // Called at a language change before the folder changes (`first` at the first change of
    // the run): the tree saves its favourites and hidden marks for the old language.
    std::function<void(bool first)> onLanguageChange;
    // Whether OK changed the language folder.
    bool languageChanged() const { return m_languageChanged; }

    QComboBox* port() const { return m_port; }
    QComboBox* baud() const { return m_baud; }
    QComboBox* language() const { return m_language; }
    // The serial ports of the machine, and putting the one shown behind the chosen COM port.
    QComboBox* devices() const { return m_devices; }
    void useDevice();

private:
    LoaderCore& m_core;
    QComboBox* m_port;
    QComboBox* m_baud;
    QComboBox* m_parity;
    QComboBox* m_byte;
    QComboBox* m_stop;
    QComboBox* m_online;
    QComboBox* m_command;
    QComboBox* m_language;
    class QLabel* m_languageNote;
    QComboBox* m_devices;
    std::map<int, std::string> m_newDevices; // COM port -> device path, written at OK
    bool m_languageChanged = false;
};
