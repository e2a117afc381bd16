#include "app/mainwindow.h"

#include "alarm/alarms.h"
#include "alarm/alarmswindow.h"

#include <QAction>
#include <QSettings>
#include <QToolBar>

// The alarms as the window shows them: the settings dialog's "Alarms" tab, the
// Alarms window and the tool bar's indicator. The station judges and delivers.
void MainWindow::wireAlarms()
{
    Alarms *alarms = base->alarms();
    alarmPage = new AlarmSettingsPage;
    settings->addPage(alarmPage, tr("Alarms"));
    AlarmSettings stored;
    stored.load(QSettings());
    alarmPage->showSettings(stored);
    base->configureAlarms(stored);
    connect(settings, &SettingsDialog::applied, this, [this] {
        const AlarmSettings s = alarmPage->settings();
        QSettings store;
        s.save(store);
        base->configureAlarms(s);
    });

    auto *indicator = new AlarmIndicator(*alarms, mainBar);
    mainBar->addSeparator();
    mainBar->addWidget(indicator);
    const auto open = [this] {
        alarmsWindow()->show();
        alarmsWindow()->raise();
    };
    connect(actionAlarms, &QAction::triggered, this, open);
    connect(indicator, &QToolButton::clicked, this, open);

    // The traffic log is the window's; the trend file's failures are the station's own.
    base->watchWrites(logger, QStringLiteral("traffic-log"),
                      tr("Log File error! The traffic log %1 cannot be written."),
                      tr("The traffic log %1 is written again."));
}

AlarmsWindow *MainWindow::alarmsWindow()
{
    if (!alarmList)
        alarmList = new AlarmsWindow(*base->alarms(), this);
    return alarmList;
}

void MainWindow::applyAlarmPresets(const AlarmPresets &presets)
{
    alarmPage->showSettings(presets.appliedTo(alarmPage->settings()));
    settings->apply();
}
