#include "utilitydlg.h"

#include "copying.h"
#include "loadercore.h"
#include "reporter.h"
#include "uitext.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

CUtyTab::CUtyTab(LoaderCore& core, QWidget* parent) : QDialog(parent), m_core(core)
{
    setObjectName("Utility");
    setWindowTitle(core.text(80, "Utility"));
    auto* layout = new QVBoxLayout(this);
    m_tabs = new QTabBar(this);
    m_tabs->addTab(core.text(81, "Channel copy"));
    m_tabs->addTab(core.text(85, "Control station copy"));
    m_tabs->addTab(core.text(86, "Event station copy"));
    layout->addWidget(m_tabs);

    auto* row = new QHBoxLayout;
    m_from = new QGroupBox(this);
    auto* fl = new QHBoxLayout(m_from);
    m_fromStation = new QComboBox(m_from);
    m_fromStation->setObjectName("fromStation");
    m_dash = new QLabel(QStringLiteral("-"), m_from);
    m_fromChannel = new QComboBox(m_from);
    m_fromChannel->setObjectName("fromChannel");
    fl->addWidget(m_fromStation);
    fl->addWidget(m_dash);
    fl->addWidget(m_fromChannel);
    row->addWidget(m_from);
    row->addWidget(new QLabel(core.text(84, "->"), this));
    m_to = new QGroupBox(this);
    auto* tl = new QHBoxLayout(m_to);
    m_first = new QComboBox(m_to);
    m_first->setObjectName("firstTarget");
    m_last = new QComboBox(m_to);
    m_last->setObjectName("lastTarget");
    tl->addWidget(m_first);
    tl->addWidget(new QLabel(QStringLiteral("-"), m_to));
    tl->addWidget(m_last);
    row->addWidget(m_to);
    layout->addLayout(row);

    auto* buttons = new QHBoxLayout;
    m_execute = new QPushButton(core.text(97, "OK"), this);
    m_execute->setObjectName("execute");
    auto* cancel = new QPushButton(uiText(core.texts, 98, "Cancel"), this);
    buttons->addStretch(1);
    buttons->addWidget(m_execute);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
    connect(m_tabs, &QTabBar::currentChanged, this, &CUtyTab::chooseTab);
    connect(m_execute, &QPushButton::clicked, this, &CUtyTab::execute);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    fill();
}

void CUtyTab::chooseTab(int tab)
{
    if (m_tabs->currentIndex() != tab)
        m_tabs->setCurrentIndex(tab); // comes back here through currentChanged
    else
        fill();
}

void CUtyTab::fill()
{
    const int tab = m_tabs->currentIndex();
    const bool channels = tab == ChannelCopy;
    m_from->setTitle(channels ? m_core.text(82, "Copy from (station - channel)") : m_core.text(87, "Copy from (station)"));
    m_to->setTitle(channels ? m_core.text(83, "Copy to (channels)") : m_core.text(88, "Copy to (stations)"));
    m_dash->setVisible(channels);
    m_fromChannel->setVisible(channels);
    const int firstStation = tab == EventStationCopy ? 17 : 1;
    QStringList stations;
    for (int s = firstStation; s < firstStation + 16; ++s) {
        if (m_core.store.stationPresent[static_cast<std::size_t>(s - 1)])
            stations << QString::number(s);
    }
    const QStringList fourChannels{"1", "2", "3", "4"};
    for (QComboBox* box : {m_fromStation, m_fromChannel, m_first, m_last})
        box->clear();
    m_fromStation->addItems(stations);
    m_fromChannel->addItems(fourChannels);
    m_first->addItems(channels ? fourChannels : stations);
    m_last->addItems(channels ? fourChannels : stations);
    // Nothing to copy from or to on a tab without a defined station.
    m_execute->setEnabled(!stations.isEmpty());
}

void CUtyTab::execute()
{
    if (m_fromStation->count() == 0)
        return;
    const int tab = m_tabs->currentIndex();
    const int question = tab == ChannelCopy ? 104 : 103;
    if (QMessageBox::question(this, windowTitle(), m_core.text(question), QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return;
    if (tab == ChannelCopy)
        copyChannels();
    else
        copyStations(tab == StationCopy);
}

void CUtyTab::copyChannels()
{
    const int station = m_fromStation->currentText().toInt();
    const int first = m_first->currentText().toInt(), last = m_last->currentText().toInt();
    if (first > last) {
        QMessageBox::information(this, windowTitle(), m_core.text(116));
        return;
    }
    if (beforeCopy)
        beforeCopy({station});
    const vok::CopyCount n = vok::copyChannel(m_core.store, station, m_fromChannel->currentText().toInt(), first, last);
    m_core.reporter.note(QStringLiteral("Channel copy: %1 values changed").arg(n.changed).toStdString());
    if (afterCopy)
        afterCopy("channel copy");
}

void CUtyTab::copyStations(bool checkModels)
{
    const int from = m_fromStation->currentText().toInt();
    const int first = m_first->currentText().toInt(), last = m_last->currentText().toInt();
    // The model check comes first, as the copy itself checks.
    const auto letter = [&](int station) {
        return static_cast<char>(m_core.store.record(station - 1).identification[3] & 0xFF);
    };
    if (checkModels && !vok::modelsFit(letter(from), letter(first), letter(last))) {
        QMessageBox::information(this, windowTitle(), m_core.text(128));
        return;
    }
    if (first > last) {
        QMessageBox::information(this, windowTitle(), m_core.text(116));
        return;
    }
    std::vector<int> targets;
    for (int t = first; t <= last; ++t)
        targets.push_back(t);
    if (beforeCopy)
        beforeCopy(targets);
    const vok::CopyCount n = vok::copyStation(m_core.store, from, first, last, checkModels);
    m_core.reporter.note(QStringLiteral("Station copy: %1 values changed").arg(n.changed).toStdString());
    if (afterCopy)
        afterCopy("station copy");
}
