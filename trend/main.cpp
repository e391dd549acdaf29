#include "trendwindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trend"));
    CTrendMainFrame frame;
    frame.show();
    return app.exec();
}
