#include "trenddefdlg.h"

#include "fileutil.h"
#include "format.h"
#include "launcher.h"
#include "loadercore.h"
#include "textcodec.h"
#include "trendlog.h"
#include "uitext.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QByteArray bytesOf(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

std::string stringOf(const QByteArray& b)
{
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

} // namespace

CTrendDefDlg::CTrendDefDlg(LoaderCore& core, QWidget* parent) : QDialog(parent), m_core(core)
{
    setObjectName("DataTrendDefine");
    setWindowTitle(core.text(65, "Data trend definition"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(core.text(66, "Cycle"), this));
    m_cycle = new QComboBox(this);
    m_cycle->setObjectName("cycle");
    for (int s = 1; s <= 60; ++s)
        m_cycle->addItem(QString::number(s));
    top->addWidget(m_cycle);
    top->addWidget(new QLabel(core.text(67, "s"), this));
    top->addSpacing(20);
    top->addWidget(new QLabel(core.text(68, "Group"), this));
    m_group = new QComboBox(this);
    m_group->setObjectName("group");
    m_group->setMinimumWidth(240);
    top->addWidget(m_group, 1);
    layout->addLayout(top);

    auto* grid = new QGridLayout;
    const int headings[] = {69, 70, 78, 71, 72, 73};
    const char* fallbacks[] = {"Pen", "Station", "Channel", "Item", "Min", "Max"};
    for (int c = 0; c < 6; ++c)
        grid->addWidget(new QLabel(core.text(headings[c], fallbacks[c]), this), 0, c);
    // Stations from the station setup, at most up to 16; items from texts 230-234.
    QStringList stations;
    for (int s = 0; s < vok::kControlStations; ++s) {
        if (core.store.stationPresent[static_cast<std::size_t>(s)])
            stations << QString::number(s + 1);
    }
    for (int p = 0; p < 8; ++p) {
        grid->addWidget(new QLabel(QString::number(p + 1), this), p + 1, 0);
        auto* station = new QComboBox(this);
        station->setEditable(true);
        station->addItems(stations);
        station->setObjectName(QStringLiteral("station%1").arg(p + 1));
        auto* channel = new QComboBox(this);
        channel->setEditable(true);
        channel->addItems({"1", "2", "3", "4"});
        channel->setObjectName(QStringLiteral("channel%1").arg(p + 1));
        auto* item = new QComboBox(this);
        item->setObjectName(QStringLiteral("item%1").arg(p + 1));
        for (int id = 230; id <= 234; ++id)
            item->addItem(uiText(core.texts, id), bytesOf(core.texts.slot(id)));
        auto* min = new QLineEdit(this);
        auto* max = new QLineEdit(this);
        min->setObjectName(QStringLiteral("min%1").arg(p + 1));
        max->setObjectName(QStringLiteral("max%1").arg(p + 1));
        grid->addWidget(station, p + 1, 1);
        grid->addWidget(channel, p + 1, 2);
        grid->addWidget(item, p + 1, 3);
        grid->addWidget(min, p + 1, 4);
        grid->addWidget(max, p + 1, 5);
        m_station[static_cast<std::size_t>(p)] = station;
        m_channel[static_cast<std::size_t>(p)] = channel;
        m_item[static_cast<std::size_t>(p)] = item;
        m_min[static_cast<std::size_t>(p)] = min;
        m_max[static_cast<std::size_t>(p)] = max;
    }
    layout->addLayout(grid);
    m_lineState = new QLabel(this);
    m_lineState->setObjectName(QStringLiteral("lineState"));
    m_lineState->setWordWrap(true);
    layout->addWidget(m_lineState);

    auto* buttons = new QHBoxLayout;
    auto button = [&](const char* name, int id, const char* fallback) {
        auto* b = new QPushButton(core.text(id, fallback), this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        return b;
    };
    m_start = button("start", 74, "Start");
    m_stop = button("stop", 75, "Stop");
    m_trend = button("trendDisp", 76, "Show trend");
    m_csv = button("csvDisp", 77, "Show CSV");
    buttons->addStretch(1);
    auto* cancel = button("cancel", 98, "Cancel");
    layout->addLayout(buttons);
    connect(m_start, &QPushButton::clicked, this, &CTrendDefDlg::startLogging);
    connect(m_stop, &QPushButton::clicked, this, &CTrendDefDlg::stopLogging);
    connect(m_trend, &QPushButton::clicked, this, &CTrendDefDlg::showTrend);
    connect(m_csv, &QPushButton::clicked, this, &CTrendDefDlg::showCsv);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    // The groups live for the whole run; the file is read at each opening.
    vok::TrendDefinitions& defs = m_core.trendDefs;
    if (defs.readFile(vok::definitionPath(m_core.settings, "DataTrendDefine.csv"), m_core.texts.slot(230)))
        defs.lookUpItemsInFile(vok::definitionPath(m_core.settings, "AddContList.csv"));
    for (const vok::TrendGroup& g : defs.groups)
        m_group->addItem(vok::decodeText(g.name));
    m_group->setCurrentIndex(0);
    connect(m_group, &QComboBox::activated, this, &CTrendDefDlg::chooseGroup);
    showGroup();
    setLogging(m_core.trendLogger && m_core.trendLogger->running());

    m_viewerPoll = new QTimer(this);
    connect(m_viewerPoll, &QTimer::timeout, this, &CTrendDefDlg::pollViewer);

    // What the file holds that no pen can log is said here, group and pen named.
    QStringList problems;
    for (const std::string& p : defs.problems)
        problems << vok::decodeText(p);
    m_fileProblems = problems.join(QLatin1Char('\n'));
    m_statePoll = new QTimer(this);
    connect(m_statePoll, &QTimer::timeout, this, &CTrendDefDlg::pollState);
    m_statePoll->start(1000);
    pollState();
}

void CTrendDefDlg::pollState()
{
    QStringList lines;
    if (m_core.trendLogger) {
        const vok::TrendLogger::Status st = m_core.trendLogger->status();
        if (st.running && st.lost)
            lines << QStringLiteral("The line is lost since %1 (%2); logging goes on and leaves the cells empty.")
                         .arg(QString::fromStdString(vok::TrendLogger::timeText(st.lostSince)),
                              QString::fromStdString(st.lostWhy));
        else if (st.running)
            lines << QStringLiteral("Logging: %1 cycles, %2 values read, %3 not.").arg(st.cycles).arg(st.samplesRead).arg(st.samplesFailed);
        if (st.sectionBroken)
            lines << QStringLiteral("The shared trend section was cut short by another program; only the log file is written.");
        if (!st.ended.empty()) {
            lines << QStringLiteral("Logging ended: %1.").arg(QString::fromStdString(st.ended));
            if (!st.running && m_start && !m_start->isEnabled())
                setLogging(false);
            if (!m_endSaid) {
                m_endSaid = true;
                auto* box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                            QStringLiteral("Logging ended: %1.").arg(QString::fromStdString(st.ended)),
                                            QMessageBox::Ok, this);
                box->setAttribute(Qt::WA_DeleteOnClose);
                box->open();
            }
        }
    }
    if (!m_fileProblems.isEmpty())
        lines << m_fileProblems;
    m_lineState->setText(lines.join(QLatin1Char('\n')));
}

CTrendDefDlg::~CTrendDefDlg() = default;

QPushButton* CTrendDefDlg::button(const char* name) const
{
    return findChild<QPushButton*>(QString::fromLatin1(name));
}

void CTrendDefDlg::showGroup()
{
    const vok::TrendGroup& g = m_core.trendDefs.groups[static_cast<std::size_t>(m_selected)];
    m_cycle->setCurrentIndex(std::clamp(g.cycle == 0 ? 1 : g.cycle, 1, 60) - 1);
    m_group->setCurrentIndex(m_selected);
    const vok::ValueFormatter formatter(m_core.store, m_core.tables->specials());
    for (int p = 0; p < 8; ++p) {
        const vok::TrendPenDef& pen = g.pens[static_cast<std::size_t>(p)];
        m_station[static_cast<std::size_t>(p)]->setCurrentText(QString::number(pen.stationIndex + 1));
        m_channel[static_cast<std::size_t>(p)]->setCurrentText(QString::number(pen.channelIndex + 1));
        QComboBox* item = m_item[static_cast<std::size_t>(p)];
        int at = item->findData(bytesOf(pen.itemName));
        if (at < 0 && !pen.itemName.empty()) {
            // A name of the file that the item list does not hold is shown as it is.
            item->addItem(vok::decodeText(pen.itemName), bytesOf(pen.itemName));
            at = item->count() - 1;
        }
        item->setCurrentIndex(std::max(at, 0));
        const vok::ParameterDefinition& d = m_core.trendDefs.penDefinition[static_cast<std::size_t>(m_selected)][static_cast<std::size_t>(p)];
        const int decimals = d.key.empty() ? 2
                                           : vok::TrendDefinitions::displayDecimals(d, formatter, 4 * pen.stationIndex + pen.channelIndex);
        m_min[static_cast<std::size_t>(p)]->setText(QString::fromStdString(vok::formatReal(pen.scaleMin, decimals)));
        m_max[static_cast<std::size_t>(p)]->setText(QString::fromStdString(vok::formatReal(pen.scaleMax, decimals)));
    }
}

void CTrendDefDlg::storeGroup()
{
    vok::TrendGroup& g = m_core.trendDefs.groups[static_cast<std::size_t>(m_selected)];
    g.cycle = m_cycle->currentIndex() + 1; // 1 when nothing is selected
    const std::string none = m_core.texts.slot(230);
    for (int p = 0; p < 8; ++p) {
        vok::TrendPenDef& pen = g.pens[static_cast<std::size_t>(p)];
        pen.stationIndex = std::max(0, m_station[static_cast<std::size_t>(p)]->currentText().toInt() - 1);
        pen.channelIndex = std::clamp(m_channel[static_cast<std::size_t>(p)]->currentText().toInt() - 1, 0, 3);
        pen.itemName = stringOf(m_item[static_cast<std::size_t>(p)]->currentData().toByteArray()).substr(0, vok::kTrendNameLength);
        pen.unused = !none.empty() && pen.itemName.find(none) != std::string::npos;
        pen.scaleMin = vok::cutToHundredths(vok::readNumber(m_min[static_cast<std::size_t>(p)]->text().toStdString()));
        pen.scaleMax = vok::cutToHundredths(vok::readNumber(m_max[static_cast<std::size_t>(p)]->text().toStdString()));
    }
    // What the file said of these pens no longer holds: they are checked again at Start.
    m_core.trendDefs.penBroken[static_cast<std::size_t>(m_selected)] = {};
    // The name is never taken from the dialog.
}

void CTrendDefDlg::chooseGroup(int index)
{
    if (index < 0 || index >= vok::kTrendGroups)
        return;
    storeGroup();
    m_selected = index;
    showGroup();
}

void CTrendDefDlg::setLogging(bool on)
{
    m_start->setEnabled(!on);
    m_group->setEnabled(!on);
    m_csv->setEnabled(!on);
}

void CTrendDefDlg::startLogging()
{
    setLogging(true);
    m_core.trendSection.clear();
    storeGroup();
    vok::TrendDefinitions& defs = m_core.trendDefs;
    defs.lookUpItemsInFile(vok::definitionPath(m_core.settings, "AddContList.csv"));
    vok::TrendLogger::Setup setup;
    setup.group = defs.usableGroup(m_selected);
    setup.definitions = defs.penDefinition[static_cast<std::size_t>(m_selected)];
    setup.csvPath = vok::dataPath(m_core.settings, "DataTrend.csv");
    setup.headers = {m_core.texts.text(107), m_core.texts.text(108), m_core.texts.text(109)};
    m_endSaid = false;
    m_core.logger().start(std::move(setup));
}

void CTrendDefDlg::stopLogging()
{
    setLogging(false);
    if (m_core.trendLogger)
        m_core.trendLogger->stop();
}

void CTrendDefDlg::showTrend()
{
    QString error;
    if (!launcher::startTrend(&error)) {
        QMessageBox::information(this, windowTitle(), m_core.text(102, "The program could not be started.") + "\n" + error);
        return;
    }
    if (m_core.trendSection.isOpen())
        m_core.trendSection.buffer()->viewerOpen = 1;
    m_trend->setEnabled(false);
    m_viewerPoll->start(1000);
}

void CTrendDefDlg::pollViewer()
{
    // Trend writes 0 when it closes.
    if (!m_core.trendSection.isOpen() || m_core.trendSection.buffer()->viewerOpen == 0) {
        m_trend->setEnabled(true);
        m_viewerPoll->stop();
    }
}

void CTrendDefDlg::showCsv()
{
    QString error;
    if (!launcher::openInSpreadsheet(m_core.profile, QString::fromStdString(vok::dataPath(m_core.settings, "")),
                                     QStringLiteral("DataTrend.csv"), &error))
        QMessageBox::information(this, windowTitle(), m_core.text(102, "The program could not be started.") + "\n" + error);
}

void CTrendDefDlg::done(int result)
{
    storeGroup();
    std::string error;
    const vok::ValueFormatter formatter(m_core.store, m_core.tables->specials());
    if (!m_core.trendDefs.writeFile(vok::definitionPath(m_core.settings, "DataTrendDefine.csv"), formatter, &error))
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(error));
    m_viewerPoll->stop();
    m_statePoll->stop();
    // Logging runs only while the dialog is open.
    if (m_core.trendLogger)
        m_core.trendLogger->stop();
    QDialog::done(result);
}
