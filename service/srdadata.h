#pragma once

#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

class QIODevice;

// The table of one SRDA collection: the column names of the last header row
// ("Date/Time" first) and the rows since, column by column as doubles; column 0
// holds the row times in ms since the epoch, a field that is no number is NaN.
// Plain, so the reply parser fills it and the tab only shows it.
//
// A collection may run for days at thousands of rows a second, so rows go into
// fixed blocks: appending never copies what is stored, and the table needs
// little more than 8 bytes a value. A memory limit keeps a long collection from
// taking the whole machine down with everything it holds; a block that cannot
// be had stops the storing the same way.
class SrdaData
{
public:
    static constexpr int blockRows = 4096;

    SrdaData();
    virtual ~SrdaData();
    SrdaData(const SrdaData &) = delete;
    SrdaData &operator=(const SrdaData &) = delete;

    const QStringList &columns() const { return names; }
    int columnCount() const { return names.size(); }
    qint64 rowCount() const { return rows; }

    // A header row: these columns from now on, without the rows stored so far.
    // False (and nothing changes) for the header of a collection resumed after
    // a lost link, when it names the same columns: see keepRowsOnSameHeader().
    bool setColumns(const QStringList &columnNames);
    // The next header with the same columns keeps the rows stored so far.
    void keepRowsOnSameHeader() { keepRows = true; }
    // No columns and no rows; a row then matches no header.
    void clear();

    // Stores one row of columnCount() values. False when it is not stored: no
    // columns, the memory limit would be passed or the memory is not there.
    bool appendRow(const double *values);
    // True once, right after appendRow() first refused a row for the limit.
    bool takeLimitNotice();
    bool limitReached() const { return full; }

    double value(qint64 row, int column) const
    {
        const double *block = blocks[size_t(row / blockRows)].get();
        return block[qint64(column) * blockRows + row % blockRows];
    }
    // A whole column; for small tables (a QVector holds at most 2^31 bytes).
    QVector<double> column(int c) const;
    // What a plot of column y against column x keeps of the table: the last
    // `most` rows whose two values are both finite, oldest first. Returns how
    // many such rows come before them, so the plot can place them as the
    // whole series would have put them.
    qint64 plotTail(int xColumn, int yColumn, int most, QVector<double> &xs,
                    QVector<double> &ys) const;

    // Memory the rows take, and the most they may take.
    qint64 bytesUsed() const;
    qint64 memoryLimit() const { return limit; }
    void setMemoryLimit(qint64 bytes) { limit = bytes; }
    // Half of the machine's physical memory.
    static qint64 defaultMemoryLimit();
    // The text shown once when the limit stops the storing.
    static QString limitText(qint64 rowsKept);

    // CSV: the column names, then one row per stored row (local time
    // "yyyy-MM-dd hh:mm:ss", then the values in their shortest exact form,
    // "nan" for NaN); every field followed by ",". False when a write failed.
    bool writeCsv(QIODevice &out) const;

protected:
    // One block of `values` doubles, or nullptr when the memory is not there.
    virtual double *allocateBlock(size_t values);

private:
    void dropRows();
    bool addBlock(int cols);

    QStringList names;
    std::vector<std::unique_ptr<double[]>> blocks; // blockRows x columns each, column-major
    qint64 rows = 0;
    qint64 limit;
    bool full = false;
    bool notice = false;
    bool keepRows = false;
};
