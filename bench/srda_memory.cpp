// The SRDA table after a million rows of the simulator's five columns: bytes
// per row against the 8 bytes a value, append time, and peak resident memory.

#include "service/srdadata.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

qint64 statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const qint64 rows = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    const QStringList columns{"Date/Time", "Ringdown", "Tau", "Amplitude", "Peak"};
    const qint64 before = statusKb("VmRSS:");
    SrdaData data;
    data.setColumns(columns);
    double row[5] = {1.7e12, 0, 99.91, 1500, 1};
    QElapsedTimer clock;
    clock.start();
    for (qint64 i = 0; i < rows; ++i) {
        row[0] += 0.1;
        row[1] = double(i);
        if (!data.appendRow(row)) {
            std::printf("row %lld refused\n", static_cast<long long>(i));
            return 1;
        }
    }
    const qint64 ns = clock.nsecsElapsed();
    const double perRow = double(data.bytesUsed()) / double(rows);
    std::printf("rows                %lld x %d columns\n", static_cast<long long>(rows),
                int(columns.size()));
    std::printf("bytes per row       %.2f (values alone: %d, +%.2f%%)\n", perRow,
                int(8 * columns.size()), 100.0 * (perRow / (8.0 * columns.size()) - 1));
    std::printf("append              %.1f ns a row\n", double(ns) / double(rows));
    std::printf("resident before     %lld kB\n", static_cast<long long>(before));
    std::printf("resident after      %lld kB (peak %lld kB)\n",
                static_cast<long long>(statusKb("VmRSS:")),
                static_cast<long long>(statusKb("VmHWM:")));
    return 0;
}
