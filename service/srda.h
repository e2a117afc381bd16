#pragma once

#include <QStringList>
#include <QVector>
#include <QWidget>

class PlotWindow;
class QPushButton;

// The "Service Diagnostics" tab: single ring-down data (SRDA) collection.
class SRDA : public QWidget
{
    Q_OBJECT
public:
    explicit SRDA(QWidget *parent = nullptr);
    ~SRDA() override;

    bool srdaRunning = false;
    QStringList columns;               // column names of the running collection
    int columnCount = 0;
    QVector<QVector<double>> series;   // one series per column; series 0 is time (ms)

    QPushButton *serviceButton;
    QPushButton *tuneButton;
    QPushButton *measureButton;

    void setControlsEnabled(bool on);

signals:
    void lineforOrin(QString);
    void lineforConsole(QString);
    void lineforLogger(QString);

public slots:
    void updateSRDAColumns() {}
    void updateDataSize() {}
    void updatePlotWindow(double, QStringList) {}
};
