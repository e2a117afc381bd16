#pragma once

#include <QString>
#include <QtGlobal>

class SampleRing;

// Figures of the points whose X lies strictly between two edges of a selection.
struct SelectionStats
{
    int count = 0;
    double mean = 0, minimum = 0, maximum = 0, stdDev = 0;
    // Of the filtered values of the same points, while the median filter is on.
    bool filtered = false;
    double filteredMean = 0, filteredMinimum = 0, filteredMaximum = 0, filteredStdDev = 0;
};

// Over every point the ring holds (all of it once wrapped, else 0 .. sampleCount-1)
// with left < x < right. Standard deviations use the divisor count (population
// form). Minimum and maximum start from the first value found, so values of
// any size are reported as they are.
SelectionStats selectionStats(const SampleRing &ring, double left, double right, bool filtering);

// The text of the "Statistics" box; the duration block only on a date axis,
// where left and right are milliseconds since the epoch.
QString statisticsText(const SelectionStats &stats, const QString &seriesName, bool dateAxis,
                       double left, double right);

// Whole seconds from left to right, both milliseconds since the epoch cut to
// whole milliseconds.
qint64 durationSeconds(double left, double right);
// "<days> Days +\nhh:mm:ss"; hours, minutes and seconds with two digits.
QString durationText(qint64 seconds);
