// The whole program collecting SRDA from telvar-sim over a pty, with the
// Service Diagnostics tab shown and the SRDA plot window open. Prints the rows
// lost, the longest event-loop gap and the lag from the last row sent to the
// last row stored.
//
//     bench_srda_stream [rows per second] [seconds]      (default 10000 10)

#include "app/commandsequence.h"
#include "app/mainwindow.h"
#include "common/dialogs.h"
#include "plot/plotwindow.h"
#include "service/srda.h"

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
#include <functional>

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
    const int rate = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int seconds = argc > 2 ? QByteArray(argv[2]).toInt() : 10;
    const qint64 rows = qint64(rate) * seconds;
    QuietDialogs dialogs;
    Dialogs::install(&dialogs);
    CommandSequence::setSecondMs(50); // the opening commands' pacing only

    QProcess sim;
    sim.start(QStringLiteral(TELVAR_SIM_BIN), {"--pty", "--srda-rate", QString::number(rate),
                                               "--srda-count", QString::number(rows)});
    if (!sim.waitForReadyRead(10000)) {
        std::printf("telvar-sim did not start\n");
        return 1;
    }
    const QString port = QString::fromLocal8Bit(sim.readLine()).trimmed();

    MainWindow w;
    w.show();
    SettingsPresets presets;
    presets.serialPort = port;
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
    qint64 longestGapNs = 0;
    qint64 storedAllMs = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longestGapNs = qMax(longestGapNs, loop.nsecsElapsed());
        loop.start();
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
    const qint64 stored = srda->data().rowCount();
    srda->stopButton->click();

    std::printf("rate                %d rows/s for %d s\n", rate, seconds);
    std::printf("rows sent           %lld\n", static_cast<long long>(sentRows));
    std::printf("rows stored         %lld (lost %lld)\n", static_cast<long long>(stored),
                static_cast<long long>(sentRows - stored));
    std::printf("longest loop gap    %.1f ms\n", double(longestGapNs) / 1e6);
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
