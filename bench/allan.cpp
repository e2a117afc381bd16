// Figures for the Allan deviation:
//  - 1,000,000 samples a second apart: placing them on their grid and the
//    deviation at octave, decade and many averaging times, against a bare pass
//    over the same data; the allocations each takes;
//  - a 1,000,000-row trend file through "telvar --allan", in this process and
//    as the program itself, against TrendReader's import of the same file;
//  - a 200 MB file without a line feed through "telvar --allan".
#include "app/allancommand.h"
#include "benchfiles.h"
#include "plot/allandeviation.h"
#include "plot/trendimport.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include <sys/resource.h>
#include <time.h>

namespace {

std::atomic<long> allocations{0};

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// CPU time of this thread and of the children waited for, in ms: what the
// machine's other load does not add to, as wall time it does.
double threadCpuMs()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double childrenCpuMs()
{
    rusage u;
    getrusage(RUSAGE_CHILDREN, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Timing
{
    double fastest = 0, median = 0, cpu = 0; // cpu: the least of the runs
};

// Other work on the machine only adds time: the fastest run tells most.
Timing timed(int runs, const std::function<void()> &work, double (*cpuMs)() = threadCpuMs)
{
    std::vector<double> t;
    double cpu = 1e300;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer clock;
        const double cpuBefore = cpuMs();
        clock.start();
        work();
        t.push_back(ms(clock));
        cpu = std::min(cpu, cpuMs() - cpuBefore);
    }
    std::sort(t.begin(), t.end());
    return {t.front(), t[t.size() / 2], cpu};
}

const char *name(TauSpacing s)
{
    return s == TauSpacing::Octave ? "octave" : s == TauSpacing::Decade ? "decade" : "many";
}

void libraryFigures()
{
    // A second apart in ms since the epoch, white noise on a slow drift, as a
    // day's trend import gives them.
    const int count = 1000000;
    std::vector<double> times(static_cast<size_t>(count)), values(times.size());
    QRandomGenerator random(5);
    for (int i = 0; i < count; ++i) {
        times[size_t(i)] = 1.7e12 + 1000.0 * i;
        values[size_t(i)] = 0.2 + 1e-3 * (random.generateDouble() - 0.5) + 1e-9 * i;
    }
    double sink = 0;
    const Timing bare = timed(11, [&] {
        double s = 0, latest = 0;
        for (int i = 0; i < count; ++i) {
            s += values[size_t(i)];
            latest = std::max(latest, times[size_t(i)]);
        }
        sink += s + latest;
    });
    AllanSeries series;
    const Timing place =
        timed(11, [&] { series.place(times.data(), values.data(), count, 1, 0.001); });
    std::printf("1,000,000 samples a second apart:\n");
    std::printf("  bare pass over times and values: %.2f ms (fastest of 11, median %.2f)\n",
                bare.fastest, bare.median);
    std::printf("  placing on the grid: %.2f ms (median %.2f)\n", place.fastest, place.median);
    for (const TauSpacing spacing : {TauSpacing::Octave, TauSpacing::Decade, TauSpacing::Many}) {
        std::vector<AllanPoint> points;
        const Timing deviation = timed(11, [&] { allanDeviation(series, spacing, points); });
        const Timing whole = timed(11, [&] {
            AllanSeries s;
            s.place(times.data(), values.data(), count, 1, 0.001);
            allanDeviation(s, spacing, points);
        });
        const long before = allocations;
        allanDeviation(series, spacing, points);
        const long made = allocations - before;
        std::printf("  %s, %d taus: %.2f ms (median %.2f); placing and deviation %.2f ms (CPU "
                    "%.2f), %.1f times the bare pass; %ld allocations\n",
                    name(spacing), int(points.size()), deviation.fastest, deviation.median,
                    whole.fastest, whole.cpu, whole.fastest / bare.fastest, made);
        sink += points.front().adev;
    }
    std::printf("  (%g)\n", sink > 0 ? 1.0 : 0.0);
}

int runCommand(const QString &path, QByteArray &table)
{
    AllanCommand command;
    command.file = path;
    QBuffer out, err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    const int status = command.run(out, err);
    table = out.data() + err.data();
    return status;
}

void trendFileFigures(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("SN-1234-20250131.csv"));
    writeTrendFile(path, 1000000);
    std::printf("a 1,000,000-row trend file (%.1f MB):\n", QFile(path).size() / 1e6);
    int points = 0;
    const Timing import = timed(11, [&] {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QVector<QPointF> read;
        TrendReader().read(file, read);
        points = read.size();
    });
    QByteArray table;
    int status = 0;
    const Timing command = timed(11, [&] { status = runCommand(path, table); });
    std::printf("  TrendReader import into %d points: %.1f ms (fastest of 11, median %.1f), "
                "CPU %.1f ms\n",
                points, import.fastest, import.median, import.cpu);
    std::printf("  --allan in this process: %.1f ms (median %.1f), CPU %.1f ms: %.2f times the "
                "import (CPU %.2f); status %d, %d rows\n",
                command.fastest, command.median, command.cpu, command.fastest / import.fastest,
                command.cpu / import.cpu, status, int(table.count('\n')) - 1);
    const auto process = [&](const QString &file) {
        return timed(
            11,
            [&] {
                QProcess telvar;
                telvar.start(QStringLiteral(TELVAR_BIN), {QStringLiteral("--allan"), file});
                telvar.waitForFinished(60000);
                status = telvar.exitCode();
            },
            childrenCpuMs);
    };
    const QString empty = path + QStringLiteral(".empty");
    QFile(empty).open(QIODevice::WriteOnly);
    const Timing startUp = process(empty);
    const Timing program = process(path);
    std::printf("  telvar --allan, the whole process: %.1f ms (fastest of 11, median %.1f), CPU "
                "%.1f ms: %.2f times the import (CPU %.2f); status %d\n",
                program.fastest, program.median, program.cpu, program.fastest / import.fastest,
                program.cpu / import.cpu, status);
    std::printf("  of which the start and end of any telvar --allan (an empty file): %.1f ms, "
                "CPU %.1f ms\n",
                startUp.fastest, startUp.cpu);
}

void noLineFeedFigures(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("picked-by-mistake.csv"));
    const QByteArray block(1 << 20, 'x');
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        for (int i = 0; i < 200; ++i)
            file.write(block);
    }
    resetPeakMemory();
    const qint64 before = statusKb("VmRSS:");
    QByteArray said;
    int status = 0;
    const Timing t = timed(5, [&] { status = runCommand(path, said); });
    std::printf("200 MB without a line feed: %.2f ms (fastest of 5), status %d, peak memory "
                "beyond what was resident before %.1f MB: %s",
                t.fastest, status, (statusKb("VmHWM:") - before) / 1024.0, said.constData());
}

} // namespace

void *operator new(std::size_t size)
{
    ++allocations;
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void *p) noexcept
{
    std::free(p);
}

void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    libraryFigures();
    trendFileFigures(dir);
    noLineFeedFigures(dir);
    return 0;
}
