#pragma once
// The value input and the code input: one parameter of one channel, typed or chosen.

#include "editing.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class LoaderCore;

class CInputDataDlg : public QDialog {
    Q_OBJECT
public:
    // `channel` is the global channel number; `current` the caller's value.
    CInputDataDlg(LoaderCore& core, int channel, const vok::ParameterDefinition& d, std::uint16_t current, edit::Mode mode,
                  QWidget* parent = nullptr);

    // Typing to edit: the field starts with this text instead of the current value.
    void startWith(const QString& text);
    void accept() override;

    QString prompt() const;
    QLineEdit* field() const { return m_field; }

private:
    LoaderCore& m_core;
    int m_channel;
    vok::ParameterDefinition m_def;
    std::uint16_t m_current;
    edit::Mode m_mode;
    QLabel* m_prompt;
    QLineEdit* m_field;
};

class CInputCodeDlg : public QDialog {
    Q_OBJECT
public:
    CInputCodeDlg(LoaderCore& core, int channel, const vok::ParameterDefinition& d, std::uint16_t current, edit::Mode mode,
                  QWidget* parent = nullptr);
    void accept() override;
    QComboBox* list() const { return m_list; }

private:
    LoaderCore& m_core;
    int m_channel;
    vok::ParameterDefinition m_def;
    std::uint16_t m_current;
    edit::Mode m_mode;
    QComboBox* m_list;
};

// Opens the input that serves a parameter (the code input for a choice list) after the
// writability check; true when a value was accepted.
bool openInput(LoaderCore& core, int channel, const vok::ParameterDefinition& d, std::uint16_t current, edit::Mode mode,
               QWidget* parent, const QString& typed = {});
