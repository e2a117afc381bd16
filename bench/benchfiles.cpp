#include "benchfiles.h"

#include "app/trendlog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

#include <cstring>

qint64 statusKb(const char *field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(std::strlen(field))).trimmed().split(' ').first().toLongLong();
    return -1;
}

void resetPeakMemory()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void writeTrendFile(const QString &path, int rows, std::function<QString(int)> concentration)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    QByteArray block = trendHeader(false).toUtf8();
    StatusRecord record;
    record.gasType = QStringLiteral("CH4");
    record.faults = QStringLiteral("0");
    const QDateTime start(QDate(2025, 1, 31), QTime(0, 0));
    QRandomGenerator random(3);
    if (!concentration)
        concentration = [&random](int) {
            return QString::number(0.2 + random.bounded(1000) / 10000.0, 'f', 4);
        };
    for (int i = 0; i < rows; ++i) {
        record.conc = concentration(i);
        block += trendRow(record, start.addSecs(i), false, false).toUtf8();
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    file.write(block);
}

double longestGap(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start();
    QTimer::singleShot(0, [&] {
        last = clock.nsecsElapsed();
        work();
        tick.stop();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return longest / 1e6;
}
