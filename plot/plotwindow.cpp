#include "plot/plotwindow.h"

PlotWindow::PlotWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PlotWindow"));
    setWindowTitle(tr("Plot Window"));
}
