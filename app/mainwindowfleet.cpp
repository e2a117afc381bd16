#include "app/mainwindow.h"

#include "certification/certification.h"
#include "common/dialogs.h"
#include "console/console.h"
#include "dashboard/instrument.h"
#include "fleet/fleetpublisher.h"
#include "fleet/fleetview.h"

#include <QAction>

// Fleet publishing: one publisher told what the session and the window's
// signals say.
void MainWindow::wireFleet()
{
    fleet = new FleetPublisher(this);
    const auto station = [this] {
        const ParserState &state = talk->parserState();
        return StationInfo{state.serialNumber, state.modelName, talk->pollSeconds(), QString()};
    };
    connect(fleet, &FleetPublisher::notice, this, [this](const QString &text) {
        setStatus(text);
        console->appendText(text + QLatin1Char('\n'));
    });
    connect(settings, &SettingsDialog::fleetChanged, fleet, &FleetPublisher::configure);
    connect(this, &MainWindow::newStatusReady, fleet,
            [this, station] { fleet->statusReport(instrumentTab->record, station()); });
    connect(this, &MainWindow::trendRowReady, fleet, [this, station](const QDateTime &time) {
        fleet->trendRow(instrumentTab->record, station(), time);
    });
    connect(talk, &AnalyzerSession::lost, fleet, &FleetPublisher::analyzerLost);
    connect(talk, &AnalyzerSession::started, fleet, &FleetPublisher::analyzerBack);
    connect(this, &MainWindow::connectionClosed, fleet, &FleetPublisher::analyzerClosed);
    connect(certificationTab, &Certification::certifying, fleet, [this](bool on) {
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
    fleet->configure(settings->fleetSettings());
}
