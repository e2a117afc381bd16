#include "app/commandline.h"

#include "app/mainwindow.h"
#include "common/buildinfo.h"

#include <QAction>
#include <QCommandLineParser>

CommandLine::Result CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Telvar monitors and services one Orin cavity ring-down gas analyzer."));
    const QCommandLineOption help = p.addHelpOption();
    const QCommandLineOption version = p.addVersionOption();
    const QCommandLineOption demoOpt(QStringLiteral("demo"),
                                     QStringLiteral("Use the simulated analyzer for this run."));
    const QCommandLineOption connectOpt(QStringLiteral("connect"),
                                        QStringLiteral("Connect as soon as the window is shown."));
    const QCommandLineOption serialOpt(
        QStringLiteral("serial"),
        QStringLiteral("Serial port device to use (any path: /dev/ttyUSB0, a /dev/serial/by-id "
                       "link, a pty)."),
        QStringLiteral("PORT"));
    const QCommandLineOption baudOpt(QStringLiteral("baud"),
                                     QStringLiteral("Baud rate: 9600, 19200, 38400, 57600 or "
                                                    "115200."),
                                     QStringLiteral("RATE"));
    const QCommandLineOption tcpOpt(
        QStringLiteral("tcp"),
        QStringLiteral("Reach the analyzer over TCP at HOST, on PORT (default 23; a "
                       "serial-to-Ethernet converter often uses 4001). An IPv6 address is "
                       "written [ADDRESS]:PORT."),
        QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption intervalOpt(QStringLiteral("interval"),
                                         QStringLiteral("Acquisition interval, 1 to 1000 s."),
                                         QStringLiteral("SECONDS"));
    const QCommandLineOption autologOpt(QStringLiteral("autolog"),
                                        QStringLiteral("Write the daily trend files."));
    const QCommandLineOption statusLogOpt(
        QStringLiteral("status-log"),
        QStringLiteral("Trend rows carry the complete status (laser and ring-down columns)."));
    const QCommandLineOption logOpt(QStringLiteral("log"),
                                    QStringLiteral("Log the traffic with the analyzer into FILE."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption noReconnectOpt(
        QStringLiteral("no-reconnect"),
        QStringLiteral("This run does not reconnect by itself when the link is lost."));
    const QCommandLineOption headlessOpt(
        QStringLiteral("headless"),
        QStringLiteral("Run with no window, for a monitoring station without a display: messages "
                       "go to standard error, questions take their default answer."));
    const QCommandLineOption srdaLimitOpt(
        QStringLiteral("srda-limit-mb"),
        QStringLiteral("Memory the collected SRDA rows may take, in MiB (default: half of the "
                       "physical memory)."),
        QStringLiteral("N"));
    const QCommandLineOption maxPauseOpt(
        QStringLiteral("max-pause"),
        QStringLiteral("A run paused by a lost link is cancelled when its analyzer has not come "
                       "back within MIN minutes (default 30)."),
        QStringLiteral("MIN"));
    for (const auto &o :
         {demoOpt, connectOpt, serialOpt, baudOpt, tcpOpt, intervalOpt, autologOpt, statusLogOpt,
          logOpt, noReconnectOpt, maxPauseOpt, headlessOpt, srdaLimitOpt})
        p.addOption(o);
    for (const auto &o : CertifyPresets::options())
        p.addOption(o);
    for (const auto &o : FleetPresets::options())
        p.addOption(o);
    for (const auto &o : AllanCommand::options())
        p.addOption(o);
    for (const auto &o : AlarmPresets::options())
        p.addOption(o);

    if (!p.parse(arguments)) {
        text = p.errorText() + QLatin1Char('\n');
        return Error;
    }
    if (p.isSet(help)) {
        text = p.helpText();
        return Exit;
    }
    if (p.isSet(version)) {
        text = BuildInfo::versionLine() + QLatin1Char('\n');
        return Exit;
    }
    if (!p.positionalArguments().isEmpty()) {
        text = QStringLiteral("Unexpected argument: ") + p.positionalArguments().first() +
               QLatin1Char('\n');
        return Error;
    }
    if (p.isSet(serialOpt) && p.isSet(tcpOpt)) {
        text = QStringLiteral("Choose either --serial or --tcp, not both.\n");
        return Error;
    }
    const auto number = [&](const QCommandLineOption &o, std::optional<int> &out) {
        if (!p.isSet(o))
            return true;
        bool ok = false;
        const int v = p.value(o).toInt(&ok);
        if (!ok) {
            text = QStringLiteral("Not a number for --") + o.names().first() +
                   QStringLiteral(": ") + p.value(o) + QLatin1Char('\n');
            return false;
        }
        out = v;
        return true;
    };
    demo = p.isSet(demoOpt);
    connect = p.isSet(connectOpt);
    noReconnect = p.isSet(noReconnectOpt);
    headless = p.isSet(headlessOpt);
    if (p.isSet(serialOpt))
        presets.serialPort = p.value(serialOpt);
    if (p.isSet(tcpOpt))
        presets.tcpHost = p.value(tcpOpt);
    if (!number(baudOpt, presets.baudRate) || !number(intervalOpt, presets.interval) ||
        !number(maxPauseOpt, presets.maxPause) || !number(srdaLimitOpt, srdaLimitMb))
        return Error;
    if (srdaLimitMb && *srdaLimitMb < 1) {
        text = QStringLiteral("--srda-limit-mb takes 1 or more\n");
        return Error;
    }
    presets.autoLog = p.isSet(autologOpt);
    presets.statusLog = p.isSet(statusLogOpt);
    if (p.isSet(logOpt))
        presets.logFile = p.value(logOpt);
    text = certification.read(p);
    if (text.isEmpty())
        text = fleet.read(p);
    if (text.isEmpty())
        text = allan.read(p);
    if (text.isEmpty())
        text = alarms.read(p);
    if (!text.isEmpty())
        return Error;
    return Run;
}

QString CommandLine::applyTo(MainWindow &window) const
{
    certification.applyTo(window);
    if (alarms.any())
        window.applyAlarmPresets(alarms);
    if (fleet.any())
        window.settingsDialog()->setFleetSettings(
            fleet.appliedTo(window.settingsDialog()->fleetSettings()));
    if (!presets.any())
        return QString();
    const QString error = window.settingsDialog()->applyPresets(presets);
    if (!error.isEmpty())
        return error;
    if (presets.logFile)
        window.actionLogToFile->setChecked(true);
    return QString();
}
