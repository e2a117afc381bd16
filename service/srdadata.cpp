#include "service/srdadata.h"

#include "plot/numbertext.h"

#include <QDateTime>
#include <QIODevice>

#include <cmath>
#include <limits>
#include <new>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

SrdaData::SrdaData() : limit(defaultMemoryLimit()) {}

SrdaData::~SrdaData() = default;

bool SrdaData::setColumns(const QStringList &columnNames)
{
    const bool keep = keepRows && columnNames == names;
    keepRows = false;
    if (keep)
        return false;
    dropRows();
    names = columnNames;
    return true;
}

void SrdaData::clear()
{
    dropRows();
    names.clear();
}

void SrdaData::dropRows()
{
    blocks.clear();
    blocks.shrink_to_fit();
    rows = 0;
    full = false;
    notice = false;
}

bool SrdaData::appendRow(const double *values)
{
    const int cols = names.size();
    if (cols == 0 || full)
        return false;
    const int at = int(rows % blockRows);
    if (at == 0) {
        const qint64 blockBytes = qint64(blockRows) * cols * qint64(sizeof(double));
        if (bytesUsed() + blockBytes > limit) {
            full = notice = true;
            return false;
        }
        if (!addBlock(cols)) {
            full = notice = true;
            return false;
        }
    }
    double *block = blocks.back().get() + at;
    for (int c = 0; c < cols; ++c)
        block[qint64(c) * blockRows] = values[c];
    ++rows;
    return true;
}

double *SrdaData::allocateBlock(size_t values)
{
    return new (std::nothrow) double[values];
}

bool SrdaData::addBlock(int cols)
{
    std::unique_ptr<double[]> block(allocateBlock(size_t(blockRows) * size_t(cols)));
    if (!block)
        return false;
    // After days of rows the list of blocks itself may find no room to grow.
    try {
        blocks.push_back(std::move(block));
    } catch (const std::bad_alloc &) {
        return false;
    }
    return true;
}

bool SrdaData::takeLimitNotice()
{
    const bool was = notice;
    notice = false;
    return was;
}

QVector<double> SrdaData::column(int c) const
{
    QVector<double> out;
    if (c < 0 || c >= names.size())
        return out;
    out.reserve(int(qMin<qint64>(rows, std::numeric_limits<int>::max())));
    for (qint64 r = 0; r < rows && out.size() < std::numeric_limits<int>::max(); ++r)
        out.append(value(r, c));
    return out;
}

qint64 SrdaData::plotTail(int xColumn, int yColumn, int most, QVector<double> &xs,
                          QVector<double> &ys) const
{
    xs.clear();
    ys.clear();
    const int cols = names.size();
    if (xColumn < 0 || yColumn < 0 || xColumn >= cols || yColumn >= cols || most <= 0)
        return 0;
    // The plot leaves out what it cannot place, as it does for NaN.
    const auto plotted = [&](qint64 r) {
        return std::isfinite(value(r, xColumn)) && std::isfinite(value(r, yColumn));
    };
    qint64 first = rows;
    int kept = 0;
    while (first > 0 && kept < most)
        kept += plotted(--first);
    qint64 before = 0;
    for (qint64 r = 0; r < first; ++r)
        before += plotted(r);
    xs.reserve(kept);
    ys.reserve(kept);
    for (qint64 r = first; r < rows; ++r) {
        if (plotted(r)) {
            xs.append(value(r, xColumn));
            ys.append(value(r, yColumn));
        }
    }
    return before;
}

qint64 SrdaData::bytesUsed() const
{
    return qint64(blocks.size()) * blockRows * names.size() * qint64(sizeof(double));
}

qint64 SrdaData::defaultMemoryLimit()
{
#ifdef Q_OS_WIN
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status))
        return qint64(status.ullTotalPhys / 2);
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        return qint64(pages) * pageSize / 2;
#endif
    return qint64(1) << 30;
}

QString SrdaData::limitText(qint64 rowsKept)
{
    return QStringLiteral("Memory limit reached: %1 rows kept; export and clear to continue")
        .arg(rowsKept);
}

bool SrdaData::writeCsv(QIODevice &out) const
{
    QByteArray text;
    for (const QString &name : names)
        text += name.toUtf8() + ',';
    text += '\n';

    // Rows come many to a second: convert each second to its text once.
    double shownMs = std::numeric_limits<double>::quiet_NaN();
    QByteArray shownTime;
    const int cols = names.size();
    for (qint64 r = 0; r < rows; ++r) {
        const double ms = value(r, 0);
        if (!(ms == shownMs)) {
            shownMs = ms;
            shownTime = QDateTime::fromMSecsSinceEpoch(qint64(ms))
                            .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
                            .toLatin1();
        }
        text += shownTime;
        text += ',';
        for (int c = 1; c < cols; ++c) {
            appendNumberText(text, value(r, c));
            text += ',';
        }
        text += '\n';
        if (text.size() > (1 << 20)) {
            if (out.write(text) != text.size())
                return false;
            text.clear();
        }
    }
    return out.write(text) == text.size();
}
