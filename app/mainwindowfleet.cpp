#include "app/mainwindow.h"

#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/dialogs.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "fleet/fleetpublisher.h"
#include "fleet/fleetview.h"
#include "service/srda.h"
#include "service/utilities.h"

#include <QAction>

// The one place where the station's reports and trend rows reach what shows
// them: the dashboard, the Utilities tab, the console, the traffic log and the
// plot. The trend files and the fleet take them inside the station.
void MainWindow::wireReports()
{
    connect(base, &Station::statusReport, this, &MainWindow::showReport);
    connect(base, &Station::trendRow, this, &MainWindow::updateTrend);
    connect(srdaTab, &SRDA::columnsReady, this, &MainWindow::newSRDAColumnsReady);
    connect(srdaTab, &SRDA::limitReached, this, [this](qint64 rowsKept) {
        console->appendData(SrdaData::limitText(rowsKept).toUtf8() + "\r\n");
        emit srdaLimitReached(rowsKept);
    });
}

void MainWindow::showReport(const StatusReport &report)
{
    // The dashboard's ppm switch point is the options dialog's.
    instrumentTab->ppmThreshold = optionsDialog()->ppmThreshold();
    instrumentTab->showReport(report);
    utilitiesTab->statusReport(report.record.filter, report.record.gasType);
    emit newStatusReady();
}

// Fleet publishing: the station's publisher told what the runs and the
// settings say.
void MainWindow::wireFleet()
{
    FleetPublisher *fleet = base->fleet();
    connect(settings, &SettingsDialog::fleetChanged, fleet, &FleetPublisher::configure);
    connect(certificationTab, &Certification::certifying, fleet, [fleet](bool on) {
        if (on)
            fleet->verificationStarted();
    });
    connect(certificationTab->sequence(), &CertificationSequence::finished, fleet,
            &FleetPublisher::verificationFinished);
    connect(this, &MainWindow::srdaLimitReached, fleet, &FleetPublisher::srdaLimitReached);
    connect(actionFleetView, &QAction::triggered, this, [this] {
        auto *view = findChild<FleetView *>(QString(), Qt::FindDirectChildrenOnly);
        if (!view) {
            const FleetSettings with = settings->fleetSettings();
            if (with.broker.trimmed().isEmpty()) {
                Dialogs::information(tr("Fleet"),
                                     tr("Enter the fleet's broker in Settings, group "
                                        "\"Fleet\", first."),
                                     this);
                return;
            }
            view = new FleetView(with, this);
        }
        view->show();
        view->raise();
    });
    base->configureFleet(settings->fleetSettings());
}
