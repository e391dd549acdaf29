#include "differencedlg.h"

#include "fileutil.h"
#include "format.h"
#include "loadercore.h"
#include "textcodec.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

RegisterTexts::RegisterTexts(LoaderCore& core)
    : m_core(core), m_control(core.tables->registerOwners(true)), m_event(core.tables->registerOwners(false))
{
}

RegisterTexts::Text RegisterTexts::text(int station, int reg, std::uint16_t raw) const
{
    const bool control = station <= vok::kControlStations;
    const auto& owners = control ? m_control : m_event;
    auto it = owners.find(reg);
    if (it == owners.end())
        return {QString(), QString::number(reg), QString::number(raw)};
    const vok::ParameterDefinition& d = it->second.definition;
    const int channel = 4 * (station - 1) + it->second.channel;
    const vok::ValueFormatter formatter(m_core.store, m_core.tables->specials());
    return {d.moduleWide || !control ? QString() : QString::number(it->second.channel + 1),
            vok::decodeText(d.key + " " + d.name), vok::decodeText(formatter.formatValue(channel, raw, d))};
}

CDifferenceDlg::CDifferenceDlg(LoaderCore& core, const QString& title, const std::vector<vok::Difference>& differences,
                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName("differences");
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("%1 register%2 differ:").arg(differences.size()).arg(differences.size() == 1 ? "" : "s"), this));
    m_table = new QTableWidget(static_cast<int>(differences.size()), 6, this);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Station"), QStringLiteral("Channel"), QStringLiteral("Register"),
                                        QStringLiteral("Parameter"), QStringLiteral("PC value"), QStringLiteral("Module value")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    const RegisterTexts texts(core);
    int row = 0;
    for (const vok::Difference& d : differences) {
        const auto pc = texts.text(d.station, d.reg, d.pc);
        const auto module = texts.text(d.station, d.reg, d.module);
        const QStringList cells = {QString::number(d.station), pc.channel, QString::number(d.reg), pc.parameter, pc.value,
                                   module.value};
        for (int c = 0; c < cells.size(); ++c)
            m_table->setItem(row, c, new QTableWidgetItem(cells[c]));
        ++row;
    }
    m_table->resizeColumnsToContents();
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton* save = buttons->addButton(QStringLiteral("Save as CSV..."), QDialogButtonBox::ActionRole);
    save->setObjectName("saveCsv");
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QString(), QStringLiteral("DATA/Differences.csv"),
                                                          QStringLiteral("CSV (*.csv)"));
        QString error;
        if (!path.isEmpty() && !saveCsv(path, &error))
            QMessageBox::warning(this, windowTitle(), error);
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(760, 420);
}

bool CDifferenceDlg::saveCsv(const QString& path, QString* error) const
{
    // The fields are kept free of commas, as in every CSV of the tool set.
    QString text = QStringLiteral("station,channel,register,parameter,PC value,module value\r\n");
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < m_table->columnCount(); ++c)
            cells << m_table->item(r, c)->text().replace(',', ';');
        text += cells.join(',') + QStringLiteral("\r\n");
    }
    const QByteArray bytes = text.toUtf8();
    std::string why;
    if (vok::replaceFile(path.toStdString(), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), &why)
        != vok::WriteResult::Ok) {
        if (error)
            *error = QString::fromStdString(why);
        return false;
    }
    return true;
}
