#pragma once
// The exit question: save to a file first (Yes), just exit (No), or keep running (Cancel).

#include <QDialog>

namespace vok {
class TextTable;
}

class CSyuuryouDlg : public QDialog {
    Q_OBJECT
public:
    enum Answer { Yes, No, Cancel };
    CSyuuryouDlg(const vok::TextTable& texts, QWidget* parent = nullptr);
    Answer answer() const { return m_answer; }

private:
    Answer m_answer = Cancel;
};
