#pragma once

#include "alarm/alarmsettings.h"

#include <QToolButton>
#include <QWidget>

class Alarms;
class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTreeWidget;

// The "Alarms" window: the active alarms, and those cleared that nobody has
// acknowledged yet, with when each was raised, cleared and acknowledged.
class AlarmsWindow : public QWidget
{
    Q_OBJECT
public:
    explicit AlarmsWindow(Alarms &alarms, QWidget *parent = nullptr);

    QTreeWidget *list;
    QPushButton *acknowledgeButton;
    QPushButton *acknowledgeAllButton;

private:
    void refresh();

    Alarms &alarms;
};

// The tool bar's indicator: the number of active alarms, in the colour of the
// worst; grey with none. A click opens the Alarms window.
class AlarmIndicator : public QToolButton
{
    Q_OBJECT
public:
    explicit AlarmIndicator(Alarms &alarms, QWidget *parent = nullptr);

private:
    void refresh();

    Alarms &alarms;
};

// The settings dialog's "Alarms" tab: the record of AlarmSettings, stored on OK.
class AlarmSettingsPage : public QWidget
{
    Q_OBJECT
public:
    explicit AlarmSettingsPage(QWidget *parent = nullptr);

    void showSettings(const AlarmSettings &s);
    AlarmSettings settings() const;

    QCheckBox *enabledBox, *lampsBox, *linkBox, *runsBox, *writesBox, *highBox, *lowBox;
    QDoubleSpinBox *highSpin, *lowSpin, *hysteresisSpin;
    QSpinBox *holdSpin, *linkLostSpin, *minFreeSpin;
    QLineEdit *commandEdit;
};
