#pragma once
// Trend's main window. Its title is what the loader looks for to close it.

#include "texttable.h"

#include <QMainWindow>

class CTrendView;

class CTrendMainFrame : public QMainWindow {
    Q_OBJECT
public:
    // `plotWidth` and `plotHeight` fix the plot's size (0: from the screen).
    explicit CTrendMainFrame(int plotWidth = 0, int plotHeight = 0, QWidget* parent = nullptr);

    CTrendView* view() const { return m_view; }
    // A recorded "DataTrend.csv" instead of the live section; false (said) when it cannot be
    // read at all.
    bool openLog(const QString& path);
    // The plot as a PNG file.
    bool savePicture(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QString text(int id, const char* fallback) const;
    vok::TrendTextTable m_texts;
    CTrendView* m_view = nullptr;
};
