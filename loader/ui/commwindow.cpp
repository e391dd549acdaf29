#include "commwindow.h"

#include "loadercore.h"
#include "uitext.h"
#include "workers.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

CCommWindow::CCommWindow(const vok::TextTable& texts, vok::Workers& workers, vok::TransferContext& context, int station,
                         int channel, int row, const QString& presetText, QWidget* parent)
    : QDialog(parent), m_texts(texts), m_workers(workers), m_context(context), m_station(station), m_channel(channel),
      m_row(row)
{
    setWindowTitle(QStringLiteral("Communication"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    m_label = new QLabel(this);
    m_label->setObjectName("text");
    m_label->setMinimumWidth(260);
    layout->addWidget(m_label);
    auto* stopButton = new QPushButton(uiText(texts, 98, "Cancel"), this);
    stopButton->setObjectName("stop");
    connect(stopButton, &QPushButton::clicked, this, &CCommWindow::stop);
    layout->addWidget(stopButton);
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &CCommWindow::tick);

    const QString command = uiText(texts, 123, "Command");
    if (presetText == command && row >= 0) {
        m_label->setText(QStringLiteral("%1(%2-ch%3)").arg(command).arg(station).arg(channel % 4 + 1));
    } else {
        m_label->setText(presetText);
        m_phase = 2;
        m_workers.startStationReread(station);
    }
    m_timer->start(500);
}

QString CCommWindow::statusText() const
{
    return m_label->text();
}

void CCommWindow::tick()
{
    if (m_phase == 1) {
        if (!m_workers.monitorRunning(m_station, m_channel, m_row) && !m_context.monitorStop) {
            m_label->setText(uiText(m_texts, 119, "Reading"));
            m_phase = 2;
            m_workers.startStationReread(m_station);
        }
        return;
    }
    if (!m_workers.rereadRunning(m_station))
        close2();
}

void CCommWindow::close2()
{
    m_timer->stop();
    Q_EMIT ended(m_station);
    close();
}

void CCommWindow::stop()
{
    m_context.stopRequested = true;
    m_context.monitorStop = true;
    close2();
}
