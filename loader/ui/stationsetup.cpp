#include "stationsetup.h"

#include "loadercore.h"
#include "uitext.h"
#include "pilc.h"
#include "store.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CStSet::CStSet(const vok::TextTable& texts, vok::DataStore& store, QWidget* parent)
    : QDialog(parent), m_texts(texts), m_store(store)
{
    setObjectName("StationDefine");
    setWindowTitle(uiText(texts, 145, "StationDefine"));
    editCode = [this](int index, const std::string& initial, std::string& code) {
        CPilcSetSubDlg editor(m_texts, index, initial, this);
        if (editor.exec() != QDialog::Accepted)
            return false;
        code = editor.result();
        return true;
    };
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    // One exclusive set of copy-source buttons across both groups.
    auto* sources = new QButtonGroup(this);
    for (int g = 0; g < 2; ++g) {
        auto* box = new QGroupBox(uiText(texts, g == 0 ? 146 : 147, g == 0 ? "ControlModule" : "Event (In/Output) Module"), this);
        auto* grid = new QGridLayout(box);
        grid->addWidget(new QLabel(uiText(texts, 154, "Copy"), box), 0, 0);
        grid->addWidget(new QLabel(uiText(texts, 148, "Station"), box), 0, 1);
        grid->addWidget(new QLabel(uiText(texts, 149, "Module code"), box), 0, 2);
        for (int row = 0; row < 16; ++row) {
            const int index = 16 * g + row;
            const int gridRow = row + 1 + (row >= 8 ? 1 : 0); // a gap after the eighth row
            auto* radio = new QRadioButton(box);
            radio->setObjectName(QStringLiteral("source%1").arg(index + 1));
            sources->addButton(radio, index);
            m_source[static_cast<std::size_t>(index)] = radio;
            auto* label = new QLabel(box);
            label->setObjectName(QStringLiteral("code%1").arg(index + 1));
            label->setMinimumWidth(130);
            m_labels[static_cast<std::size_t>(index)] = label;
            auto* button = new QPushButton(uiText(texts, 153, "Create"), box);
            button->setObjectName(QStringLiteral("create%1").arg(index + 1));
            connect(button, &QPushButton::clicked, this, [this, index] { create(index); });
            grid->addWidget(radio, gridRow, 0);
            grid->addWidget(new QLabel(QString::number(index + 1), box), gridRow, 1);
            grid->addWidget(label, gridRow, 2);
            grid->addWidget(button, gridRow, 3);
        }
        grid->setRowMinimumHeight(9, 8);
        groups->addWidget(box);
    }
    layout->addLayout(groups);
    layout->addWidget(okCancelButtons(this, texts));
    m_source[0]->setChecked(true);
}

int CStSet::copySource(int stationIndex) const
{
    const int first = stationIndex < 16 ? 0 : 16;
    for (int i = first; i < first + 16; ++i) {
        if (m_source[static_cast<std::size_t>(i)]->isChecked())
            return i;
    }
    return -1;
}

void CStSet::setCopySource(int stationIndex)
{
    m_source[static_cast<std::size_t>(stationIndex)]->setChecked(true);
}

void CStSet::create(int stationIndex)
{
    const int source = copySource(stationIndex);
    const std::string initial = source >= 0 ? m_codes[static_cast<std::size_t>(source)] : std::string();
    std::string code;
    if (!editCode(stationIndex, initial, code))
        return;
    m_codes[static_cast<std::size_t>(stationIndex)] = code;
    m_labels[static_cast<std::size_t>(stationIndex)]->setText(QString::fromLatin1(code.c_str()));
}

void CStSet::accept()
{
    for (int i = 0; i < 32; ++i) {
        const std::string& code = m_codes[static_cast<std::size_t>(i)];
        m_store.stationPresent[static_cast<std::size_t>(i)] = code.empty() ? 0 : 1;
        if (code.empty())
            continue;
        // Thirteen words, one character each; a shorter code is padded with blanks.
        for (std::size_t c = 0; c < 13; ++c) {
            const signed char ch = c < code.size() ? static_cast<signed char>(code[c]) : ' ';
            m_store.record(i).identification[c] = static_cast<std::uint16_t>(static_cast<std::int16_t>(ch));
        }
    }
    QDialog::accept();
}
