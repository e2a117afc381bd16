#pragma once

#include "alarm/alarmsettings.h"
#include "app/allancommand.h"
#include "app/certifypresets.h"
#include "fleet/fleetconfig.h"
#include "link/settingsdialog.h"

#include <QString>
#include <QStringList>

class MainWindow;

// The command line: demo mode, connect at start, and presets of the connection
// settings for unattended monitoring stations.
class CommandLine
{
public:
    enum Result
    {
        Run,
        Exit,
        Error
    };

    Result parse(const QStringList &arguments);
    // Help, version or error text for Exit and Error.
    QString message() const { return text; }
    // Fills the settings form from the presets and applies it as "OK" would;
    // turns traffic logging on for --log. Returns an error text, or empty.
    QString applyTo(MainWindow &window) const;

    bool demo = false;
    bool noReconnect = false;
    bool headless = false;
    bool connect = false;
    SettingsPresets presets;
    // Memory the SRDA table may take, in MiB (default: half the physical memory).
    std::optional<int> srdaLimitMb;
    CertifyPresets certification;
    // --mqtt and its companions; --fleet runs the fleet view alone.
    FleetPresets fleet;
    // --allan FILE: the Allan deviation of a file on standard output, no window.
    AllanCommand allan;
    // --alarm-high and its companions.
    AlarmPresets alarms;

private:
    QString text;
};
