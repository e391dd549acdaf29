#pragma once
// Trend's main window. Its title is what the loader looks for to close it.

#include "texttable.h"

#include <QMainWindow>

class CTrendMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CTrendMainFrame(QWidget* parent = nullptr);

private:
    QString text(int id) const;
    vok::TrendTextTable m_texts;
};
