#include "transferselect.h"

#include "loadercore.h"
#include "pilc.h"
#include "store.h"
#include "uitext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CCStSetDlg2::CCStSetDlg2(const vok::TextTable& texts, const std::array<std::int32_t, 32>& preset, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(uiText(texts, 145, "Station selection"));
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    for (int g = 0; g < 2; ++g) {
        auto* box = new QGroupBox(uiText(texts, g == 0 ? 146 : 147, g == 0 ? "ControlModule" : "Event (In/Output) Module"), this);
        auto* grid = new QGridLayout(box);
        grid->addWidget(new QLabel(uiText(texts, 148, "Station"), box), 0, 0);
        grid->addWidget(new QLabel(uiText(texts, 149, "Module code"), box), 0, 1);
        grid->addWidget(new QLabel(uiText(texts, 150, "Transfer"), box), 0, 2);
        for (int row = 0; row < 16; ++row) {
            const int index = 16 * g + row;
            grid->addWidget(new QLabel(QString::number(index + 1), box), row + 1, 0);
            auto* code = new QLabel(box);
            code->setMinimumWidth(code->fontMetrics().horizontalAdvance(QStringLiteral("VOKA112N01000 ")));
            m_codes[static_cast<std::size_t>(index)] = code;
            grid->addWidget(code, row + 1, 1);
            auto* check = new QCheckBox(box);
            check->setObjectName(QStringLiteral("station%1").arg(index + 1));
            check->setChecked(preset[static_cast<std::size_t>(index)] != 0);
            m_boxes[static_cast<std::size_t>(index)] = check;
            grid->addWidget(check, row + 1, 2);
        }
        groups->addWidget(box);
    }
    layout->addLayout(groups);
    m_verify = new QCheckBox(QStringLiteral("Verify after download (read back what was written and compare)"), this);
    m_verify->setObjectName("verify");
    m_verify->hide();
    layout->addWidget(m_verify);
    layout->addWidget(okCancelButtons(this, texts));
}

std::array<std::int32_t, 32> CCStSetDlg2::selection() const
{
    std::array<std::int32_t, 32> out{};
    for (std::size_t i = 0; i < 32; ++i)
        out[i] = m_boxes[i]->isChecked() ? 1 : 0;
    return out;
}

void CCStSetDlg2::showCodes(const vok::DataStore& store)
{
    for (int i = 0; i < 32; ++i) {
        const bool present = store.stationPresent[static_cast<std::size_t>(i)] != 0;
        m_codes[static_cast<std::size_t>(i)]->setText(present ? QString::fromStdString(stationCode(store, i)) : QString());
    }
}

QString CCStSetDlg2::code(int stationIndex) const
{
    return m_codes[static_cast<std::size_t>(stationIndex)]->text();
}

void CCStSetDlg2::offerVerify(bool checked)
{
    m_verify->setChecked(checked);
    m_verify->show();
}

bool CCStSetDlg2::verify() const
{
    return !m_verify->isHidden() && m_verify->isChecked();
}
