#include "meterbar.h"

#include <QProgressBar>
#include <QResizeEvent>

CMeterBar::CMeterBar(QWidget* parent) : QWidget(parent)
{
    setFixedHeight(20);
    m_meter = new QProgressBar(this);
    m_meter->setObjectName("meter");
    m_meter->setRange(0, 100);
    m_meter->setValue(0);
    m_meter->setTextVisible(false);
}

void CMeterBar::resizeEvent(QResizeEvent* event)
{
    // The meter fills the right half.
    const int half = event->size().width() / 2;
    m_meter->setGeometry(half, 1, event->size().width() - half - 2, event->size().height() - 2);
}

void CMeterBar::start(std::uint32_t total)
{
    m_total = total;
    m_count = 0;
    m_meter->setValue(0);
}

void CMeterBar::advance(int amount)
{
    if (m_total == 0)
        return;
    m_count += amount;
    m_meter->setValue(static_cast<int>(std::min<long long>(100, m_count * 100 / m_total)));
}

void CMeterBar::finish()
{
    m_meter->setValue(100);
    m_total = 0;
    m_count = 0;
    m_meter->setValue(0);
}

int CMeterBar::percent() const
{
    return m_meter->value();
}
