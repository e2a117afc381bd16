#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QSettings>
#include <QString>

#include <optional>

class QCommandLineParser;

// Which alarms a station raises and how they go out. The settings dialog's
// "Alarms" tab fills it and keeps it in the settings store; the command line
// can preset it. Times are in seconds, the limits in the analyzer's units.
struct AlarmSettings
{
    bool enabled = true;             // --no-alarms: none at all
    bool lamps = true;               // a fault lamp turning on
    bool link = true;                // the link lost for longer than linkLostSeconds
    bool runs = true;                // a run cancelled or failed, a verification ended
    bool writes = true;              // trend file, traffic log, the data folder's free space
    std::optional<double> high, low; // concentration limits, off unless set
    int holdSeconds = 10;         // a limit must be crossed this long to raise, or be back to clear
    double hysteresisPercent = 5; // of the limit: the band a value must be back beyond
    int linkLostSeconds = 60;
    int minFreeMb = 1024; // the data folder's disk
    QString command;      // run for each raise and clear; empty: none

    // The band around `limit` a value must be back beyond to clear.
    double band(double limit) const;

    void load(const QSettings &s);
    void save(QSettings &s) const;
};

// --alarm-high, --alarm-low, --alarm-hold, --alarm-link-lost, --alarm-command, --no-alarms.
struct AlarmPresets
{
    std::optional<double> high, low;
    std::optional<int> holdSeconds, linkLostSeconds;
    std::optional<QString> command;
    bool none = false;

    static QList<QCommandLineOption> options();
    // Reads the options after parsing; an error text, or empty.
    QString read(const QCommandLineParser &parser);
    bool any() const;
    AlarmSettings appliedTo(AlarmSettings s) const;
};
