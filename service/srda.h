#pragma once

#include "service/srdadata.h"

#include <QStringList>
#include <QVector>
#include <QWidget>

class PlotWindow;
class QPushButton;

// The "Service Diagnostics" tab: single ring-down data (SRDA) collection.
class SRDA : public QWidget, public SrdaData
{
    Q_OBJECT
public:
    explicit SRDA(QWidget *parent = nullptr);
    ~SRDA() override;

    bool srdaRunning = false;
    // columns, columnCount and series (one per column; series 0 is time in ms)
    // come from SrdaData, which the reply parser fills.

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
