#include "inputdlg.h"

#include "loadercore.h"
#include "textcodec.h"
#include "uitext.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// A busy cursor while an online write waits for the module (at most the master's retries).
class BusyCursor {
public:
    explicit BusyCursor(bool on) : m_on(on)
    {
        if (m_on)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor()
    {
        if (m_on)
            QApplication::restoreOverrideCursor();
    }

private:
    bool m_on;
};

} // namespace

CInputDataDlg::CInputDataDlg(LoaderCore& core, int channel, const vok::ParameterDefinition& d, std::uint16_t current,
                             edit::Mode mode, QWidget* parent)
    : QDialog(parent), m_core(core), m_channel(channel), m_def(d), m_current(current), m_mode(mode)
{
    setObjectName("Input");
    setWindowTitle(core.text(58, "Input"));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(vok::decodeText(d.name), this);
    name->setObjectName("name");
    layout->addWidget(name);
    const vok::ValueFormatter f = core.editor->formatter();
    m_prompt = new QLabel(vok::decodeText(edit::rangePrompt(f, core.tables->specials(), core.texts, channel, d)), this);
    m_prompt->setObjectName("prompt");
    layout->addWidget(m_prompt);
    m_field = new QLineEdit(vok::decodeText(f.formatValue(channel, current, d)), this);
    m_field->setObjectName("value");
    m_field->selectAll();
    layout->addWidget(m_field);
    layout->addWidget(okCancelButtons(this, core.texts));
    m_field->setFocus();
}

void CInputDataDlg::startWith(const QString& text)
{
    m_field->setText(text);
    auto keepTyping = [field = m_field] {
        field->deselect();
        field->setCursorPosition(static_cast<int>(field->text().size()));
    };
    keepTyping();
    // Showing the dialog gives the field the focus, which selects its text: the next key
    // typed would replace the one that opened the input.
    QTimer::singleShot(0, m_field, keepTyping);
}

QString CInputDataDlg::prompt() const
{
    return m_prompt->text();
}

void CInputDataDlg::accept()
{
    const vok::ValueFormatter f = m_core.editor->formatter();
    const bool percent = edit::percentMode(f, m_channel, m_def);
    const auto value = edit::convert(m_field->text().toStdString(), m_def.dataType, m_def.decimals,
                                     f.channelDecimals(m_channel, m_def.decimals), percent);
    if (!value)
        return;
    BusyCursor busy(m_core.settings.online != 0);
    if (m_core.editor->commitValue(m_channel, m_def, m_current, *value, m_mode) == edit::Editor::Result::Accepted)
        QDialog::accept();
}

CInputCodeDlg::CInputCodeDlg(LoaderCore& core, int channel, const vok::ParameterDefinition& d, std::uint16_t current,
                             edit::Mode mode, QWidget* parent)
    : QDialog(parent), m_core(core), m_channel(channel), m_def(d), m_current(current), m_mode(mode)
{
    setObjectName("Input");
    setWindowTitle(core.text(58, "Input"));
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(vok::decodeText(d.name), this);
    name->setObjectName("name");
    layout->addWidget(name);
    m_list = new QComboBox(this);
    m_list->setObjectName("codes");
    const vok::ValueFormatter f = core.editor->formatter();
    const int entries = edit::codeEntryCount(f, core.tables->specials(), d, channel, core.texts.slot(202));
    // Entry i is raw value i, whatever the minimum.
    for (int i = 0; i < entries; ++i)
        m_list->addItem(vok::decodeText(d.choiceText(i)));
    m_list->setCurrentIndex(edit::codePreselection(d, current, entries));
    layout->addWidget(m_list);
    layout->addWidget(okCancelButtons(this, core.texts));
}

void CInputCodeDlg::accept()
{
    if (m_list->currentIndex() < 0)
        return;
    BusyCursor busy(m_core.settings.online != 0);
    if (m_core.editor->commitCode(m_channel, m_def, m_current, m_list->currentIndex(), m_mode)
        == edit::Editor::Result::Accepted)
        QDialog::accept();
}

bool openInput(LoaderCore& core, int channel, const vok::ParameterDefinition& d, std::uint16_t current, edit::Mode mode,
               QWidget* parent, const QString& typed)
{
    // Nothing is typed into the store while a transfer or a re-read writes into it.
    if (const vok::CommandGates g = vok::commandGates(*core.workers, *core.link); !g.editStore) {
        QMessageBox::information(parent, QApplication::applicationName(),
                                 QStringLiteral("Not now: %1.").arg(QString::fromStdString(g.why)));
        return false;
    }
    if (const int refused = edit::refusal(core.store, core.tables->specials(), channel, d)) {
        QMessageBox::information(parent, QApplication::applicationName(), core.text(refused));
        return false;
    }
    if (d.dataType == 2) {
        CInputCodeDlg dialog(core, channel, d, current, mode, parent);
        return dialog.exec() == QDialog::Accepted;
    }
    CInputDataDlg dialog(core, channel, d, current, mode, parent);
    if (!typed.isEmpty())
        dialog.startWith(typed);
    return dialog.exec() == QDialog::Accepted;
}
