#pragma once
// The module status screen: every module on the line as the picture of its kind, its station
// number above and its code and status under it. The modules are read on a worker thread
// with the progress meter, so that a silent line never freezes the window.

#include "modulestatus.h"

#include <QDialog>
#include <QImage>
#include <array>
#include <atomic>
#include <mutex>
#include <thread>

class LoaderCore;
class QLabel;

class CLdbmpDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kCellWidth = 70;
    static constexpr int kCellHeight = 150;

    explicit CLdbmpDlg(LoaderCore& core, QWidget* parent = nullptr);
    ~CLdbmpDlg() override;

    // Whether the reads have ended (at once when the line could not be opened).
    bool finished() const { return m_finished; }
    // The modules in cell order.
    std::vector<vok::ModuleStatus> shown() const;
    // Two rows when 18 or more modules are shown.
    int rows() const;
    const QImage& picture(int index) const { return m_pictures[static_cast<std::size_t>(index)]; }

    // Cancel: ends the reads first.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void readModules();
    void readingEnded();
    void stopReading();

    LoaderCore& m_core;
    std::array<QImage, 10> m_pictures;
    mutable std::mutex m_mutex;
    std::vector<vok::ModuleStatus> m_modules;
    std::thread m_reader;
    std::atomic<bool> m_stop{false};
    bool m_finished = false;
    bool m_linkOpen = false;
    QLabel* m_reading;
};
