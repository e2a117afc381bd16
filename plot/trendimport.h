#pragma once

#include "plot/epochconverter.h"

#include <QPointF>
#include <QVector>

#include <functional>

class QIODevice;

// Reads trend files (the rows the trend auto-log writes) into curve points:
// (milliseconds since the epoch of the local date-time, value). Only the first
// two fields count, split at commas and tabs: the date-time
// "yyyy-MM-dd hh:mm:ss" or "MM-dd-yy hh:mm:ss" (years 2000 to 2099) and the
// value, blanks around it ignored. Lines that give no point (the header, text
// values, a line without a comma) are skipped.
//
// Files hold a million rows and more: the fixed date-time layouts are read by
// hand, and the time zone is asked once a minute of local time, not per row.
//
// Other files of rows (SRDA and plot data exports, the status columns of a
// trend file) give another field as the value, or no time at all; and a
// series that must not be joined across an outage keeps its gaps.
//
// Any file may be picked by mistake: a line longer than MaxLineLength is
// skipped without being kept, so memory beyond the points stays near one read
// block, and progress is reported for every block read, lines or not.
class TrendReader
{
public:
    // How many lines are read between two progress calls at most.
    static constexpr int ProgressLines = 1024;
    // Longer lines (without their line end) are no trend rows.
    static constexpr int MaxLineLength = 64 * 1024;
    // The most points one QVector<QPointF> can hold in Qt 5 (its size in bytes
    // is an int); a file with more gives its first MaxPoints.
    static constexpr int MaxPoints = int((0x7fffffff - 64) / sizeof(QPointF));
    // Called after every ProgressLines lines, after every block read and before
    // the last line, with the number of the line about to be read (the first
    // line counts as 2, as the progress label has it); false stops the reading.
    using Progress = std::function<bool(qint64 lineNumber)>;

    // The value is field `field` (1, the second, as trend rows have it).
    void setValueField(int field) { valueField = field; }
    // Off: the first field is no time, and every point's x is 0.
    void setTimed(bool on) { timed = on; }
    // On: a row whose value is no number gives (its time, NaN); other lines
    // that give no point give one gap, (NaN, NaN), where they stand between
    // points, so that memory stays within twice the rows.
    void setKeepGaps(bool on) { keepGaps = on; }

    // One line without its line end; true when it gives a point.
    bool parseLine(const char *begin, const char *end, QPointF &point);
    // Reads to the end of the device, or until progress returns false; the
    // points of the lines read so far are in points either way. False when stopped.
    bool read(QIODevice &device, QVector<QPointF> &points, const Progress &progress = {});

private:
    bool parseDateTime(const char *begin, const char *end, qint64 &ms);
    // parseLine() for any value field, with or without a time.
    bool parseFields(const char *begin, const char *end, QPointF &point);
    // The gap a line gives while gaps are kept: true when it has a time.
    bool timedGap(const char *begin, const char *end, QPointF &point);
    EpochConverter epoch;
    int valueField = 1;
    bool timed = true;
    bool keepGaps = false;
    // The date and hour of the last line read, and its epoch at minute 0.
    bool hourValid = false;
    char hourKey[16] = {};
    int hourKeyLength = 0;
    qint64 hourEpoch = 0;
};
