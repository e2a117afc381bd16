// Figures for the plot window's analysis:
//  - filter() over a full ring of 200,000 points with a window of 999, and
//    the median from scratch per point it replaces;
//  - reading a 1,000,000-row trend file into curve points, against a scan of
//    the same file that only counts its lines, with the same block reads;
//  - the longest gap of the window's event loop while "Add Data to Plot"
//    imports that file behind its progress dialog;
//  - a 200 MB file without a line feed, picked by mistake: the time and the
//    peak memory of reading it, and through the window the longest event-loop
//    gap, whether the progress dialog is shown and how soon Abort is answered,
//    also from a share that delivers it at about 100 MB/s.
#include "benchfiles.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "plot/plotwindow.h"
#include "plot/runningmedian.h"
#include "plot/trendimport.h"

#include <qwt_plot_curve.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

double middle(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// Counts the lines of a file, reading it as the trend reader does.
qint64 countLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    std::vector<char> buffer(1 << 20);
    qint64 lines = 0;
    for (;;) {
        const qint64 got = file.read(buffer.data(), qint64(buffer.size()));
        if (got <= 0)
            break;
        const char *p = buffer.data();
        const char *end = p + got;
        while ((p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p))))) {
            ++lines;
            ++p;
        }
    }
    return lines;
}

// Answers the file chooser with one file; no box is expected.
class OneFile : public Dialogs
{
public:
    explicit OneFile(const QString &file) : file(file) { Dialogs::install(this); }
    ~OneFile() override { Dialogs::install(nullptr); }
    int message(const Message &) override { return Ok; }
    QString saveFileName(const FileRequest &) override { return QString(); }
    QString openFileName(const FileRequest &) override { return file; }
    QStringList openFileNames(const FileRequest &) override { return {file}; }
    QString file;
};

struct Imported
{
    double took = 0;      // ms in "Add Data to Plot"
    double gap = 0;       // longest event-loop gap meanwhile, ms
    bool shown = false;   // the progress dialog was shown
    double answered = -1; // ms from Abort to the end of the import
};

// "Add Data to Plot" of one file in a shown window; Abort pressed after
// abortAfterMs (0: never).
Imported importThroughWindow(const QString &path, int abortAfterMs)
{
    PlotWindow window;
    window.show();
    OneFile dialogs(path);
    Imported out;
    out.gap = longestGap([&] {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (auto *p = window.findChild<QProgressDialog *>())
                out.shown = out.shown || p->isVisible();
        });
        watch.start(10);
        QElapsedTimer pressed;
        if (abortAfterMs > 0)
            QTimer::singleShot(abortAfterMs, [&] {
                if (auto *p = window.findChild<QProgressDialog *>()) {
                    pressed.start();
                    p->cancel();
                }
            });
        QElapsedTimer t;
        t.start();
        window.addData();
        out.took = ms(t);
        if (pressed.isValid())
            out.answered = ms(pressed);
    });
    return out;
}

void runningMedianFigures()
{
    PlotWindow window;
    window.setPlotTitle(QStringLiteral("SRDA Tau"));
    QRandomGenerator random(7);
    QVector<double> xs(SampleRing::Capacity), ys(SampleRing::Capacity);
    for (int i = 0; i < SampleRing::Capacity; ++i) {
        xs[i] = i;
        ys[i] = 1.0 + 0.01 * std::sin(i / 500.0) + 0.002 * random.generateDouble();
    }
    // The most points filter() works on: the ring short of wrapping.
    xs.removeLast();
    ys.removeLast();
    window.setSeries(xs, ys);
    window.filterWindowField()->setText(QStringLiteral("999"));
    std::vector<double> runs;
    for (int r = 0; r < 7; ++r) {
        QElapsedTimer t;
        t.start();
        window.filter();
        runs.push_back(ms(t));
    }
    // The median from scratch for each point, on the first 20,000 points.
    const int sample = 20000;
    std::vector<double> scratch;
    QElapsedTimer t;
    t.start();
    double sink = 0;
    for (int i = 1; i < sample; ++i)
        sink += medianOf(ys.constData(), std::max(0, i - 999), i, scratch);
    const double perPointScratch = ms(t) / sample;
    std::printf("running median: filter() over %d points, window 999: %.1f ms (median of 7)\n",
                window.sampleCount(), middle(runs));
    std::printf("  from scratch per point: %.1f ms for 200,000 points (from %d points; %g)\n",
                perPointScratch * SampleRing::Capacity, sample, sink > 0 ? 1.0 : 0.0);
}

void importFigures()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("SN-1234-20250131.csv"));
    writeTrendFile(path, 1000000);
    const qint64 bytes = QFile(path).size();

    std::vector<double> bare, import;
    qint64 lines = 0;
    int points = 0;
    for (int r = 0; r < 11; ++r) {
        QElapsedTimer t;
        t.start();
        lines = countLines(path);
        bare.push_back(ms(t));
        t.start();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QVector<QPointF> read;
        TrendReader reader;
        reader.read(file, read, [](qint64) { return true; });
        import.push_back(ms(t));
        points = read.size();
    }
    std::printf("trend import: %lld lines, %.1f MB\n", lines, bytes / 1e6);
    // Other work on the machine only adds time: the fastest runs tell most.
    const double bareBest = *std::min_element(bare.begin(), bare.end());
    const double importBest = *std::min_element(import.begin(), import.end());
    std::printf("  bare line count: %.1f ms; read into %d points: %.1f ms; ratio %.2f (fastest "
                "of 11)\n",
                bareBest, points, importBest, importBest / bareBest);
    std::printf("  medians: %.1f ms and %.1f ms; ratio %.2f\n", middle(bare), middle(import),
                middle(import) / middle(bare));

    // Through the window.
    const Imported window = importThroughWindow(path, 0);
    std::printf("  Add Data to Plot: %.1f ms; longest event-loop gap %.1f ms\n", window.took,
                window.gap);
}

void noLineFeedFigures()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picked-by-mistake.csv"));
    const qint64 size = 200ll << 20;
    const QByteArray block(1 << 20, 'x');
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        for (qint64 written = 0; written < size; written += block.size())
            file.write(block);
    }
    std::printf("no line feed: %.0f MB\n", size / 1e6);

    std::vector<double> runs;
    qint64 beyond = 0;
    int calls = 0;
    for (int r = 0; r < 5; ++r) {
        resetPeakMemory();
        const qint64 before = statusKb("VmRSS:");
        QElapsedTimer t;
        t.start();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        QVector<QPointF> points;
        calls = 0;
        TrendReader().read(file, points, [&](qint64) { return ++calls > 0; });
        runs.push_back(ms(t));
        beyond = std::max(beyond, statusKb("VmHWM:") - before);
    }
    std::printf("  TrendReader alone: %.1f ms (fastest of 5, median %.1f ms); peak memory "
                "beyond what was resident before: %.1f MB; %d progress calls\n",
                *std::min_element(runs.begin(), runs.end()), middle(runs), beyond / 1024.0, calls);

    const Imported local = importThroughWindow(path, 0);
    std::printf("  Add Data to Plot: %.1f ms; longest event-loop gap %.1f ms; progress dialog "
                "%s\n",
                local.took, local.gap,
                local.shown ? "shown" : "not shown (done before its 500 ms)");

    // The same bytes from a share that delivers about 100 MB/s: the import
    // takes seconds, long enough for the progress dialog.
    const QString pipe = dir.filePath(QStringLiteral("slow-share.csv"));
    for (const int abortAfter : {0, 800}) {
        if (mkfifo(QFile::encodeName(pipe).constData(), 0600) != 0)
            qFatal("cannot make %s", qPrintable(pipe));
        std::thread share([&] {
            const int fd = ::open(QFile::encodeName(pipe).constData(), O_WRONLY);
            for (qint64 sent = 0; fd >= 0 && sent < size; sent += block.size()) {
                if (::write(fd, block.constData(), size_t(block.size())) != block.size())
                    break; // Abort closed the reading end
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (fd >= 0)
                ::close(fd);
        });
        const Imported slow = importThroughWindow(pipe, abortAfter);
        share.join();
        QFile::remove(pipe);
        if (abortAfter == 0)
            std::printf("  from a 100 MB/s share: %.1f ms; longest event-loop gap %.1f ms; "
                        "progress dialog %s\n",
                        slow.took, slow.gap, slow.shown ? "shown" : "not shown");
        else
            std::printf("  the same, Abort pressed after %d ms: answered in %.1f ms; longest "
                        "event-loop gap %.1f ms; progress dialog %s\n",
                        abortAfter, slow.answered, slow.gap, slow.shown ? "shown" : "not shown");
    }
}

} // namespace

int main(int argc, char **argv)
{
    readLocalTimeZoneOnce();       // as the program does
    std::signal(SIGPIPE, SIG_IGN); // the share's writer sees Abort as a closed pipe
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    noLineFeedFigures(); // first: its peak memory is not hidden by what the others leave
    runningMedianFigures();
    importFigures();
    return 0;
}
