#include "paralistdlg.h"

#include "fileutil.h"
#include "launcher.h"
#include "loadercore.h"
#include "paralist.h"
#include "paramtree.h"
#include "tableprint.h"
#include "textcodec.h"
#include "uitext.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QVBoxLayout>

CParaListDlg::CParaListDlg(LoaderCore& core, QPrinter& printer, QWidget* parent)
    : QDialog(parent), m_core(core), m_printer(printer)
{
    setObjectName("ParameterList");
    setWindowTitle(core.text(90, "Parameter list"));
    auto* layout = new QVBoxLayout(this);
    auto* kindBox = new QGroupBox(core.text(91, "Kind"), this);
    auto* kl = new QVBoxLayout(kindBox);
    m_kind = new QComboBox(kindBox);
    m_kind->setObjectName("kind");
    // The captions of tree sections 1 to 5; the communication families have one list each.
    for (int k = 1; k <= 5; ++k)
        m_kind->addItem(vok::decodeText(tree::sectionCaption(*core.tables, paralist::listTypeOfKind(k))), k);
    m_kind->setCurrentIndex(0);
    m_kind->setEnabled(core.family == 0);
    kl->addWidget(m_kind);
    layout->addWidget(kindBox);
    auto* commentBox = new QGroupBox(core.text(92, "Comment"), this);
    auto* cl = new QVBoxLayout(commentBox);
    m_comment = new QLineEdit(QStringLiteral("user comment"), commentBox);
    m_comment->setObjectName("comment");
    cl->addWidget(m_comment);
    layout->addWidget(commentBox);
    auto* buttons = new QHBoxLayout;
    auto* print = new QPushButton(core.text(93, "Print"), this);
    print->setObjectName("print");
    print->setDefault(true);
    auto* csv = new QPushButton(core.text(94, "Show CSV"), this);
    csv->setObjectName("csvDisp");
    auto* cancel = new QPushButton(uiText(core.texts, 98, "Cancel"), this);
    buttons->addWidget(print);
    buttons->addWidget(csv);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(print, &QPushButton::clicked, this, &CParaListDlg::print);
    connect(csv, &QPushButton::clicked, this, &CParaListDlg::showCsv);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int CParaListDlg::kind() const
{
    return paralist::kindOfFamily(m_core.family, m_kind->currentData().toInt());
}

bool CParaListDlg::writeList(bool forSpreadsheet)
{
    if (const std::string problem = paralist::listProblem(*m_core.tables, kind()); !problem.empty()) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The parameter list cannot be made: %1.").arg(QString::fromStdString(problem)));
        return false;
    }
    const std::string comment = vok::encodeText(m_comment->text(), m_core.textEncoding());
    const std::string list = paralist::buildList(*m_core.tables, m_core.store, kind(), comment, forSpreadsheet);
    const std::string folder = vok::joinPath(m_core.settings.workingDir, "DATA");
    std::string error;
    // A list that cannot be written is said: nobody must print an old list believing it new.
    if (!vok::makeDirectories(folder)
        || vok::replaceFile(vok::joinPath(folder, "ParameterOutputList.csv"), list, &error) != vok::WriteResult::Ok) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("The parameter list cannot be written: %1").arg(QString::fromStdString(error.empty() ? folder : error)));
        return false;
    }
    return true;
}

void CParaListDlg::print()
{
    if (!writeList(false))
        return;
    const QString workingDir = QDir(QString::fromStdString(m_core.settings.workingDir)).absolutePath();
    const int columns = paralist::printColumnCount(m_core.store, kind());
    std::string error;
    const std::string control = paralist::printControl(workingDir.toStdString(), m_core.printerName, columns);
    if (vok::replaceFile(vok::joinPath(m_core.settings.workingDir, "LDPrint.wrk"), control, &error) != vok::WriteResult::Ok)
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
    // The print workbook where there is one; else the list printed here.
    const QString workbook = QDir(workingDir).filePath(QStringLiteral("LDPrint.xls"));
    if (QFileInfo::exists(workbook)) {
        QString why;
        if (!launcher::openInSpreadsheet(m_core.profile, workingDir, QStringLiteral("LDPrint.xls"), &why))
            QMessageBox::information(this, windowTitle(), m_core.text(102, "The program could not be started.") + "\n" + why);
        accept();
        return;
    }
    QPrintDialog dialog(&m_printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    auto bytes = vok::readWholeFile(vok::dataPath(m_core.settings, "ParameterOutputList.csv"));
    PrintTable table;
    table.title = m_kind->currentText() + QStringLiteral(" - ") + m_comment->text();
    table.fixedColumns = 3;
    for (const auto& cells : paralist::cellsOf(bytes ? std::string(bytes->view()) : std::string())) {
        QStringList row;
        for (const std::string& c : cells)
            row << vok::decodeText(c);
        table.rows.push_back(row);
    }
    // The list's header line is the table's heading row. In the file an item's unit comes one
    // field after the values, a field right of the "unit" heading: printed, it stands under it.
    if (table.rows.size() >= 3) {
        table.headings = table.rows[2];
        table.rows.erase(table.rows.begin(), table.rows.begin() + 3);
        const int gap = static_cast<int>(table.headings.size()) - 1;
        for (QStringList& row : table.rows) {
            if (row.size() > gap && row[gap].isEmpty())
                row.removeAt(gap);
        }
    }
    if (printTable(m_printer, table) == 0)
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Nothing could be printed: no printer and no file to print to."));
    accept();
}

void CParaListDlg::showCsv()
{
    if (!writeList(true))
        return;
    QString error;
    if (!launcher::openInSpreadsheet(m_core.profile, QString::fromStdString(vok::dataPath(m_core.settings, "")),
                                     QStringLiteral("ParameterOutputList.csv"), &error))
        QMessageBox::information(this, windowTitle(), m_core.text(102, "The program could not be started.") + "\n" + error);
    accept();
}
