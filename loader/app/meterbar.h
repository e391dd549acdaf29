#pragma once
// The meter bar under the status bar: two parts, the right one holds the progress meter.

#include <QWidget>
#include <cstdint>

class QProgressBar;

class CMeterBar : public QWidget {
    Q_OBJECT
public:
    explicit CMeterBar(QWidget* parent = nullptr);

    void start(std::uint32_t total);
    void advance(int amount);
    void finish();
    int percent() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QProgressBar* m_meter;
    std::uint32_t m_total = 0;
    long long m_count = 0;
};
