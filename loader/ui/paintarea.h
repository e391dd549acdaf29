#pragma once
// A plain area that its owner paints and whose clicks its owner handles.

#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <functional>

class PaintArea : public QWidget {
public:
    explicit PaintArea(QWidget* parent = nullptr) : QWidget(parent) {}
    std::function<void(QPainter&)> paint;
    std::function<void(QMouseEvent*)> doubleClick;
    std::function<void(QMouseEvent*)> press;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        if (paint)
            paint(p);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override
    {
        if (doubleClick)
            doubleClick(e);
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        if (press)
            press(e);
    }
};
