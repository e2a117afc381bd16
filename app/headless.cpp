#include "app/headless.h"

#include "app/certifypresets.h"
#include "app/commandline.h"
#include "app/shutdownsignals.h"
#include "app/station.h"
#include "certification/certificationsequence.h"
#include "common/dialogs.h"
#include "fleet/fleetpublisher.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

int runHeadless(const CommandLine &cl)
{
    Dialogs::installHeadless();
    Station station;
    station.setJournal(true);
    station.setDemoWanted(cl.demo || QSettings().value(QStringLiteral("demoMode"), false).toBool());
    station.setNoReconnect(cl.noReconnect);
    ConnectionSettings wanted = ConnectionSettings::stored(QSettings());
    const QString problem = wanted.take(cl.presets);
    if (!problem.isEmpty()) {
        QTextStream(stderr) << problem << '\n';
        return 2;
    }
    station.setConnectionSettings(wanted);
    FleetSettings fleet;
    fleet.load(QSettings());
    station.configureFleet(cl.fleet.appliedTo(fleet));
    AlarmSettings alarms;
    alarms.load(QSettings());
    station.configureAlarms(cl.alarms.appliedTo(alarms));

    // The verification of --certify, as the tab would run it.
    AnalyzerSession *talk = station.session();
    CertificationSequence verification;
    talk->enrol(&verification);
    QObject::connect(&verification, &CertificationSequence::lineforOrin, talk,
                     [&](const QString &text) { talk->sendFor(&verification, text); });
    QObject::connect(talk, &AnalyzerSession::identified, &verification,
                     [&](const QString &serial, bool first) {
                         if (first)
                             verification.setSSNID(serial);
                     });
    QObject::connect(&verification, &CertificationSequence::certifying, station.fleet(),
                     [&](bool on) {
                         if (on)
                             station.fleet()->verificationStarted();
                     });
    QObject::connect(&verification, &CertificationSequence::finished, station.fleet(),
                     &FleetPublisher::verificationFinished);
    verification.setScans(cl.certification.appliedTo(CertScans()));
    cl.certification.applyPace();
    std::unique_ptr<UnattendedRun> unattended;
    if (cl.certification.certify)
        unattended = std::make_unique<UnattendedRun>(station, verification, nullptr);

    // A stop request ends the connection as Disconnect does; a second one
    // during the goodbye commands ends the program at once.
    ShutdownSignals stop;
    QObject::connect(&stop, &ShutdownSignals::requested, &station, [&](int count) {
        const auto quit = [] { QCoreApplication::exit(0); };
        if (count > 1 || talk->lifecycle()->state() == ConnectionLifecycle::State::Disconnected) {
            QTimer::singleShot(0, &station, quit);
            return;
        }
        talk->closeThen(quit);
    });
    if (cl.connect)
        QTimer::singleShot(0, &station, [&] { station.connectToAnalyzer(); });
    return QCoreApplication::exec();
}
