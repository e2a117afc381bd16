// The whole program collecting SRDA from telvar-sim over a pty (or TCP), with
// the Service Diagnostics tab shown and the SRDA plot window open (and the
// console, if asked). Prints the rows lost, the rate sustained, the longest
// event-loop gap, the lag from the last row handed to the link to the last row
// stored, and the peak memory.
//
//     bench_srda_stream [--tcp] [--console] [rows per second] [seconds]
//                                                  (default 10000 10, over a pty)

#include "app/mainwindow.h"
#include "common/commandsequence.h"
#include "common/dialogs.h"
#include "plot/plotwindow.h"
#include "service/srda.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>
#include <sys/resource.h>

namespace {

// No box may wait for a person here: answer each with its default and count it.
class QuietDialogs : public Dialogs
{
public:
    int boxes = 0;
    int message(const Message &m) override
    {
        ++boxes;
        std::printf("box: %s: %s\n", qPrintable(m.title), qPrintable(m.text));
        return m.defaultButton != NoButton ? m.defaultButton : int(Ok);
    }
    QString saveFileName(const FileRequest &) override { return QString(); }
    QString openFileName(const FileRequest &) override { return QString(); }
    QStringList openFileNames(const FileRequest &) override { return {}; }
};

qint64 monotonicMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// CPU time of the calling thread.
qint64 threadCpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// User and system time of the whole process (all its threads) so far.
double cpuSeconds()
{
    rusage use{};
    getrusage(RUSAGE_SELF, &use);
    return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
           double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

qint64 peakKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QStringList numbers = QCoreApplication::arguments().mid(1);
    const bool tcp = numbers.removeAll(QStringLiteral("--tcp")) > 0;
    const bool console = numbers.removeAll(QStringLiteral("--console")) > 0;
    const int rate = numbers.value(0, QStringLiteral("10000")).toInt();
    const int seconds = numbers.value(1, QStringLiteral("10")).toInt();
    const qint64 rows = qint64(rate) * seconds;
    QuietDialogs dialogs;
    Dialogs::install(&dialogs);
    CommandSequence::setSecondMs(50); // the opening commands' pacing only

    QProcess sim;
    QStringList simArgs{"--srda-rate", QString::number(rate), "--srda-count",
                        QString::number(rows)};
    simArgs = (tcp ? QStringList{"--tcp", "0"} : QStringList{"--pty"}) + simArgs;
    sim.start(QStringLiteral(TELVAR_SIM_BIN), simArgs);
    if (!sim.waitForReadyRead(10000)) {
        std::printf("telvar-sim did not start\n");
        return 1;
    }
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();

    MainWindow w;
    w.show();
    w.actionConsole->setChecked(console);
    SettingsPresets presets;
    if (tcp) {
        presets.tcpHost = port; // "127.0.0.1:PORT"
    } else {
        presets.serialPort = port;
    }
    presets.interval = 1;
    w.settingsDialog()->applyPresets(presets);
    w.openConnection();
    SRDA *srda = w.srda();
    if (!waitFor([&] { return srda->onPeakButton->isEnabled(); }, 20000)) {
        std::printf("the analyzer was not identified\n");
        return 1;
    }
    w.tabs()->setCurrentIndex(4);

    // Event-loop gaps: how long a zero-interval timer had to wait.
    QElapsedTimer loop;
    qint64 longestGapNs = 0, longestGapCpuNs = 0, busiestGapCpuNs = 0;
    qint64 loopCpuNs = threadCpuNs();
    int gapsOver50 = 0;
    qint64 firstStoredMs = 0, storedAllMs = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = loop.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        // A gap the GUI thread spent working, or waiting for a core the machine did not give it.
        if (gap > longestGapNs)
            longestGapCpuNs = cpu - loopCpuNs;
        busiestGapCpuNs = qMax(busiestGapCpuNs, cpu - loopCpuNs);
        longestGapNs = qMax(longestGapNs, gap);
        gapsOver50 += gap > 50000000;
        loopCpuNs = cpu;
        loop.start();
        if (!firstStoredMs && srda->data().rowCount() > 0)
            firstStoredMs = monotonicMs();
        if (!storedAllMs && srda->data().rowCount() >= rows)
            storedAllMs = monotonicMs();
    });

    srda->onPeakButton->click();
    if (!waitFor([&] { return srda->xSelector->count() >= 3; }, 10000)) {
        std::printf("no SRDA header\n");
        return 1;
    }
    srda->ySelector->setCurrentIndex(2); // Tau over time
    srda->plotButton->click();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    loop.start();
    probe.start();

    QByteArray simOut;
    qint64 sentRows = -1, sentAllMs = 0;
    const auto simEnded = [&] {
        simOut += sim.readAllStandardOutput();
        const int at = simOut.indexOf("srda end ");
        if (at < 0 || !simOut.mid(at).contains('\n'))
            return false;
        const QList<QByteArray> words = simOut.mid(at).split('\n').first().split(' ');
        sentRows = words.value(2).toLongLong();
        sentAllMs = words.value(3).toLongLong();
        return true;
    };
    waitFor(simEnded, (seconds + 30) * 1000);
    waitFor([&] { return storedAllMs != 0; }, 10000);
    probe.stop();
    const double cpuUsed = cpuSeconds() - cpuBefore;
    const double wallUsed = double(wall.elapsed()) / 1000.0;
    const qint64 stored = srda->data().rowCount();
    srda->stopButton->click();

    std::printf("link                %s%s\n", tcp ? "TCP" : "pty",
                console ? ", console shown" : "");
    std::printf("rate                %d rows/s for %d s\n", rate, seconds);
    std::printf("rows sent           %lld\n", static_cast<long long>(sentRows));
    std::printf("rows stored         %lld (lost %lld)\n", static_cast<long long>(stored),
                static_cast<long long>(sentRows - stored));
    if (storedAllMs > firstStoredMs && firstStoredMs)
        std::printf("rate sustained      %.0f rows/s\n",
                    double(stored) * 1000.0 / double(storedAllMs - firstStoredMs));
    std::printf("longest loop gap    %.1f ms (%d gaps over 50 ms)\n", double(longestGapNs) / 1e6,
                gapsOver50);
    std::printf("  of it working     %.1f ms; the longest work between two turns %.1f ms\n",
                double(longestGapCpuNs) / 1e6, double(busiestGapCpuNs) / 1e6);
    // The gap probe's zero-interval timer turns the loop whenever it is idle: this is
    // at most what the program had, not what the rows needed.
    std::printf("CPU used            %.0f %% of one core (the gap probe takes any idle time)\n",
                100.0 * cpuUsed / wallUsed);
    if (storedAllMs)
        std::printf("lag last row        %lld ms\n",
                    static_cast<long long>(qMax<qint64>(0, storedAllMs - sentAllMs)));
    else
        std::printf("lag last row        never stored\n");
    std::printf("live plot points    %d%s\n", srda->plotWindow()->sampleCount(),
                srda->plotWindow()->wrapped() ? " (the ring has wrapped)" : "");
    std::printf("peak resident       %lld kB\n", static_cast<long long>(peakKb()));
    std::printf("boxes               %d\n", dialogs.boxes);
    sim.kill();
    sim.waitForFinished();
    Dialogs::install(nullptr);
    return stored == sentRows ? 0 : 1;
}
