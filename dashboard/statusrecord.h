#pragma once

#include <QString>

// The latest analyzer status, as received text. The parser writes it, the
// dashboard shows it, the trend log turns it into a row.
struct StatusRecord
{
    QString filter;
    QString gasType;
    QString species;
    QString modeText;
    QString tauEmpty;
    QString tauEmptyStd;
    QString tau;
    QString tauStd;
    QString laserCurrent;
    QString laserTemp;
    QString pressure;
    QString conc;
    QString concDisplay; // written by the dashboard only
    QString units;
    QString faults;
    QString statusText;

    bool laserFault = false;    // faults bit 0x02
    bool ringdownFault = false; // faults bit 0x01
    bool pressureFault = false; // faults bit 0x04
    bool alarm1 = false;        // faults bit 0x08
    bool alarm2 = false;        // faults bit 0x10
    bool tempAlarm = false;     // faults bit 0x20

    // Sets the six lamp flags from the decimal faults value (a non-number clears them).
    void setFaultBits(int bits)
    {
        ringdownFault = bits & 0x01;
        laserFault = bits & 0x02;
        pressureFault = bits & 0x04;
        alarm1 = bits & 0x08;
        alarm2 = bits & 0x10;
        tempAlarm = bits & 0x20;
    }
};

// One status report as monitoring hands it out: the analyzer's picture after
// it, and whether it came in the old firmware's compatibility mode.
struct StatusReport
{
    StatusRecord record;
    bool compatibilityMode = false;
};
