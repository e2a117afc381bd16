#include "app/allancommand.h"
#include "app/commandline.h"
#include "app/headless.h"
#include "app/mainwindow.h"
#include "app/shutdownsignals.h"
#include "common/clock.h"
#include "fleet/fleetdiscovery.h"
#include "fleet/fleetview.h"
#include "service/srda.h"

#include <QApplication>
#include <QSettings>
#include <QTextStream>
#include <QTimer>

#include <cstring>

namespace {

// Runs that show no window need no display: the headless station, and the
// help and version texts (an installed package is checked that way).
bool needsNoDisplay(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option :
             {"--headless", "--version", "-v", "--help", "-h", "-?", "--mqtt-forget"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    }
    return false;
}

// The headless station; retiring a station or the fleet view run as they do
// with a window.
bool isHeadless(int argc, char *argv[])
{
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mqtt-forget") == 0 || std::strcmp(argv[i], "--fleet") == 0)
            return false;
        headless = headless || std::strcmp(argv[i], "--headless") == 0;
    }
    return headless;
}

void nameTheApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Telvar"));
    QCoreApplication::setApplicationVersion(QLatin1String(MainWindow::version));
}

// The command line read, with or without a window; false, with the exit
// code, when it asked for the help or the version, or is wrong.
bool readCommandLine(CommandLine &cl, int &exitCode)
{
    const CommandLine::Result parsed = cl.parse(QCoreApplication::arguments());
    if (parsed == CommandLine::Run)
        return true;
    QTextStream(parsed == CommandLine::Error ? stderr : stdout) << cl.message();
    exitCode = parsed == CommandLine::Error ? 2 : 0;
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    readLocalTimeZoneOnce();
    if (AllanCommand::wanted(argc, argv))
        return AllanCommand::main(argc, argv);
    if (isHeadless(argc, argv)) {
        // The station alone: no window, no widget, no display.
        QCoreApplication app(argc, argv);
        nameTheApplication();
        CommandLine cl;
        int exitCode = 0;
        return readCommandLine(cl, exitCode) ? runHeadless(cl) : exitCode;
    }
    if (needsNoDisplay(argc, argv) && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Nothing here draws with OpenGL. Without this the first window loads the
    // system's GL driver to offer a GL surface that is never used, which takes
    // longer than building the whole window.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    nameTheApplication();

    // No crash-report library is loaded from the working folder: a file planted
    // there would run with the operator's rights.

    CommandLine cl;
    int exitCode = 0;
    if (!readCommandLine(cl, exitCode))
        return exitCode;

    if (cl.fleet.forget) {
        // A station retired: nothing of it stays at the broker.
        FleetSettings stored;
        stored.load(QSettings());
        QString said;
        const int result = forgetStation(cl.fleet.appliedTo(stored), *cl.fleet.forget, 10000, said);
        QTextStream(stderr) << said;
        return result;
    }

    if (cl.fleet.view) {
        // A lab manager's view of the stations: no analyzer, no main window.
        FleetSettings stored;
        stored.load(QSettings());
        (new FleetView(cl.fleet.appliedTo(stored)))->show();
        return app.exec();
    }

    MainWindow::Options options;
    options.demo = cl.demo;
    options.noReconnect = cl.noReconnect;
    options.headless = cl.headless;
    MainWindow w(options);
    const QString presetError = cl.applyTo(w);
    if (!presetError.isEmpty()) {
        QTextStream(stderr) << presetError << '\n';
        return 2;
    }
    if (cl.srdaLimitMb)
        w.srda()->data().setMemoryLimit(qint64(*cl.srdaLimitMb) << 20);

    // A stop request ends the connection as Disconnect does; a second one
    // during the goodbye commands ends the program at once.
    ShutdownSignals stop;
    QObject::connect(&stop, &ShutdownSignals::requested, &w, [&w](int count) {
        if (count == 1)
            w.shutdown();
        else
            QCoreApplication::exit(0);
    });

    if (!cl.headless)
        w.show();
    if (cl.connect)
        QTimer::singleShot(0, &w, &MainWindow::openConnection);
    return app.exec();
}
