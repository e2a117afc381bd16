#pragma once

#include "dashboard/statusrecord.h"

#include <QWidget>

class QPushButton;

// The "Monitor Analyzer" tab (placeholder until the dashboard lands).
class Instrument : public QWidget
{
    Q_OBJECT
public:
    explicit Instrument(QWidget *parent = nullptr);

    StatusRecord record;
    bool compatibilityMode = false;
    double ppmThreshold = 100000.0;
    QPushButton *measureButton;
    QPushButton *serviceButton;
    QPushButton *tuneButton;

public slots:
    void updateInstrumentWindow() {}
    void tempAlarmVisible(bool) {}
    void clearDisplay() { record = StatusRecord(); }
};
