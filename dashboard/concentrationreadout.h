#pragma once

#include <QString>

// How the dashboard shows one concentration: the shortened read-out, the
// ppm switch and the special texts the analyzer sends instead of a number.
struct ConcReadout
{
    QString concDisplay;      // the record's shortened copy of the concentration
    bool setConcText = false; // false: the read-out keeps its text
    QString concText;
    bool setUnitsText = false; // false: the units label keeps its text
    QString unitsText;
    QString concStyle; // "font-size: 36px;" for a message, "font-size: 72px;" for a number
};

// `conc` and `units` as in the status record; `ppmThreshold` in the analyzer's ppb units.
ConcReadout concentrationReadout(const QString &conc, const QString &units, double ppmThreshold);
