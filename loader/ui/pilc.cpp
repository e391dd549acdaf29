#include "pilc.h"

#include "loadercore.h"
#include "uitext.h"
#include "store.h"
#include "texttable.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pilc {

std::vector<int> listIds(char letter, int position)
{
    auto range = [](int a, int b) {
        std::vector<int> v;
        for (int i = a; i <= b; ++i)
            v.push_back(i);
        return v;
    };
    switch (letter) {
    case 'A':
    case 'B':
        switch (position) {
        case 4: return {250, 251, 276, 277, 278};
        case 5: return range(252, 253);
        case 6: return range(254, 257);
        case 7: return range(258, 262);
        case 8: return {263};
        case 9: return {264};
        case 10: return range(265, 266);
        case 11: return range(267, 268);
        case 12: return {269};
        case 13: return {270};
        }
        break;
    case 'E':
    case 'N':
    case 'T':
    case 'V':
        switch (position) {
        case 4: return letter == 'E' ? std::vector<int>{275} : std::vector<int>{276, 277, 278};
        case 5: return range(279, 280);
        case 6: return {281};
        case 7: return {282};
        case 8: return {283};
        case 9: return {287};
        case 10: return range(288, 289);
        case 11: return {290};
        case 12: return {291};
        case 13: return {292};
        }
        break;
    case 'C':
    case 'P':
        // Lists of the right shape that no text fills.
        if (position == 5)
            return std::vector<int>(letter == 'C' ? 4 : 2, 0);
        if (position == 10)
            return {0, 0};
        return {0};
    default:
        break;
    }
    return {};
}

std::vector<int> stationFirstList(int stationIndex)
{
    return stationIndex < 16 ? std::vector<int>{250, 251, 276, 277, 278} : std::vector<int>{275};
}

bool fits(const std::string& code, int stationIndex)
{
    if (code.size() < 4)
        return false;
    const char letter = code[3];
    if (stationIndex < 16)
        return letter != 'E';
    return letter != 'A' && letter != 'B' && letter != 'N' && letter != 'T' && letter != 'V';
}

int entryFor(const std::vector<std::string>& entries, char c)
{
    int found = 0;
    const std::string needle = std::string(1, c) + ":";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].find(needle) != std::string::npos)
            found = static_cast<int>(i);
    }
    return found;
}

std::string compose(const std::array<std::string, kPositions>& selected)
{
    std::string code = "VOK";
    for (const std::string& s : selected)
        code.push_back(s.empty() ? ' ' : s[0]);
    return code;
}

} // namespace pilc

std::string stationCode(const vok::DataStore& store, int stationIndex)
{
    std::string s;
    for (std::uint16_t w : store.record(stationIndex).identification)
        s.push_back(static_cast<char>(w & 0xFF));
    while (!s.empty() && (s.back() == '\0' || s.back() == ' '))
        s.pop_back();
    return store.stationPresent[stationIndex] ? s : std::string();
}

namespace {

std::string rawText(const vok::TextTable& texts, int id)
{
    return id ? texts.named(id) : std::string();
}

} // namespace

CPilcSetSubDlg::CPilcSetSubDlg(const vok::TextTable& texts, int stationIndex, const std::string& code, QWidget* parent)
    : QDialog(parent), m_texts(texts), m_station(stationIndex)
{
    setObjectName("PILC");
    setWindowTitle(uiText(texts, 152, "PILC settings"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int p = 4; p <= 13; ++p) {
        auto* c = new QComboBox(this);
        c->setObjectName(QStringLiteral("pos%1").arg(p));
        m_lists[p - 4] = c;
        grid->addWidget(new QLabel(QString::number(p), this), p - 4, 0);
        grid->addWidget(c, p - 4, 1);
    }
    layout->addLayout(grid);
    m_code = new QLineEdit(this);
    m_code->setObjectName("code");
    m_code->setReadOnly(true);
    layout->addWidget(m_code);
    auto* buttons = new QDialogButtonBox(this);
    auto* confirmButton = buttons->addButton(uiText(texts, 96, "Confirm"), QDialogButtonBox::ActionRole);
    auto* registerButton = buttons->addButton(uiText(texts, 97, "Register"), QDialogButtonBox::AcceptRole);
    auto* clearButton = buttons->addButton(uiText(texts, 99, "Clear"), QDialogButtonBox::ResetRole);
    auto* cancelButton = buttons->addButton(uiText(texts, 98, "Cancel"), QDialogButtonBox::RejectRole);
    connect(confirmButton, &QPushButton::clicked, this, &CPilcSetSubDlg::confirm);
    connect(registerButton, &QPushButton::clicked, this, &CPilcSetSubDlg::registerCode);
    connect(clearButton, &QPushButton::clicked, this, &CPilcSetSubDlg::clear);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);

    if (!code.empty() && code.size() >= 13 && pilc::fits(code, stationIndex)) {
        for (int p = 4; p <= 13; ++p) {
            fill(p, code[3]);
            std::vector<std::string> entries;
            for (int i = 0; i < list(p)->count(); ++i)
                entries.push_back(list(p)->itemData(i).toString().toStdString());
            list(p)->setCurrentIndex(pilc::entryFor(entries, code[static_cast<std::size_t>(p - 1)]));
            list(p)->setEnabled(true);
        }
        m_code->setText(QString::fromStdString(code));
    } else {
        clear();
    }
    connect(m_lists[0], &QComboBox::activated, this, &CPilcSetSubDlg::chooseModel);
}

void CPilcSetSubDlg::fill(int position, char letter)
{
    QComboBox* c = list(position);
    c->clear();
    for (int id : pilc::listIds(letter, position)) {
        const std::string raw = rawText(m_texts, id);
        // The raw bytes ride along so that a code character is compared as it is stored.
        c->addItem(uiText(m_texts, id), QString::fromLatin1(raw.data(), static_cast<int>(raw.size())));
    }
}

std::string CPilcSetSubDlg::selectedText(int position) const
{
    QComboBox* c = list(position);
    return c->currentIndex() < 0 ? std::string() : c->currentData().toString().toLatin1().toStdString();
}

void CPilcSetSubDlg::chooseModel(int entry)
{
    const std::string text = list(4)->itemData(entry).toString().toLatin1().toStdString();
    if (text.empty())
        return;
    const char letter = text[0];
    if (std::string("ABCENPTV").find(letter) == std::string::npos)
        return;
    for (int p = 5; p <= 13; ++p) {
        fill(p, letter);
        list(p)->setCurrentIndex(list(p)->count() ? 0 : -1);
        list(p)->setEnabled(true);
    }
}

void CPilcSetSubDlg::confirm()
{
    std::array<std::string, pilc::kPositions> selected;
    for (int p = 4; p <= 13; ++p)
        selected[p - 4] = selectedText(p);
    m_code->setText(QString::fromLatin1(pilc::compose(selected).c_str()));
}

void CPilcSetSubDlg::registerCode()
{
    if (m_code->text().isEmpty()) {
        m_result.clear();
    } else {
        confirm();
        m_result = m_code->text().toLatin1().toStdString();
    }
    accept();
}

void CPilcSetSubDlg::clear()
{
    m_code->clear();
    QComboBox* first = list(4);
    first->clear();
    for (int id : pilc::stationFirstList(m_station)) {
        const std::string raw = rawText(m_texts, id);
        first->addItem(uiText(m_texts, id), QString::fromLatin1(raw.data(), static_cast<int>(raw.size())));
    }
    first->setCurrentIndex(0);
    first->setEnabled(true);
    for (int p = 5; p <= 13; ++p) {
        list(p)->clear();
        list(p)->setEnabled(false);
    }
}

QString CPilcSetSubDlg::codeField() const
{
    return m_code->text();
}

CPilcDspDlg::CPilcDspDlg(const vok::TextTable& texts, const vok::DataStore& store, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(uiText(texts, 61, "PILC"));
    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(uiText(texts, 148, "Station"), this), 0, 0);
    layout->addWidget(new QLabel(uiText(texts, 149, "Module code"), this), 0, 1);
    layout->addWidget(new QLabel("-", this), 1, 0);
    auto* code = new QLabel(QString::fromLatin1(stationCode(store, 0).c_str()), this);
    code->setObjectName("code");
    layout->addWidget(code, 1, 1);
    layout->addWidget(okCancelButtons(this, texts), 2, 0, 1, 2);
}

CPilcSetDlg::CPilcSetDlg(const vok::TextTable& texts, const vok::DataStore& store, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(uiText(texts, 61, "PILC"));
    auto* layout = new QGridLayout(this);
    for (int column = 0; column < 2; ++column) {
        layout->addWidget(new QLabel(uiText(texts, 148, "Station"), this), 0, 2 * column);
        layout->addWidget(new QLabel(uiText(texts, 149, "Module code"), this), 0, 2 * column + 1);
        for (int row = 0; row < 16; ++row) {
            const int index = 16 * column + row;
            layout->addWidget(new QLabel(QString::number(index + 1), this), row + 1, 2 * column);
            auto* code = new QLabel(QString::fromLatin1(stationCode(store, index).c_str()), this);
            code->setObjectName(QStringLiteral("code%1").arg(index + 1));
            code->setMinimumWidth(130);
            layout->addWidget(code, row + 1, 2 * column + 1);
        }
    }
    layout->addWidget(okCancelButtons(this, texts), 17, 0, 1, 4);
}
