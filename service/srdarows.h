#pragma once

#include "plot/epochconverter.h"

#include <QByteArray>
#include <QDate>
#include <QStringRef>
#include <QTime>
#include <QVector>

#include <functional>

class SrdaData;

// Reads the analyzer's SRDA stream into the table. Every line is one row,
// split on tabs (and '|'); a row with a "Date/Time" cell is a header and sets
// the columns from that cell on, any other row of as many cells, starting with
// a valid time "yyyy-M-d H:mm:ss" (local), is a data row: its time in ms since
// the epoch, then its values, NaN where a cell is not a number. Rows that match
// no header are dropped.
//
// The stream comes at up to 100,000 rows a second: the cells are references
// into the chunk, kept in reused vectors, and nothing is made per row.
class SrdaRowReader
{
public:
    explicit SrdaRowReader(SrdaData &table) : table(table) {}

    // A header set new columns (not the same ones again after a lost link).
    std::function<void()> columnsSet;
    // A data row: columnCount() values, the time first. Called for a row kept
    // and for a row past the memory limit alike, so the live plot goes on.
    std::function<void(const double *row)> rowRead;
    // The first row not stored for the memory limit since the header.
    std::function<void(qint64 rowsKept)> limitReached;

    // Reads a chunk of whole lines.
    void read(const QByteArray &chunk);

    // Reads a row time "yyyy-M-d H:mm:ss" by hand, as QDateTime::fromString
    // would (which is far too slow for the row rate).
    static bool readRowTime(const QStringRef &text, QDate &date, QTime &time);

private:
    void readLine(const QStringRef &line);

    SrdaData &table;
    QString text;
    QVector<QStringRef> cells;
    QVector<double> values;
    EpochConverter epoch;
};
