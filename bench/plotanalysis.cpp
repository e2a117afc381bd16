// Figures for the plot window's analysis:
//  - filter() over a full ring of 200,000 points with a window of 999, and
//    the median from scratch per point it replaces;
//  - reading a 1,000,000-row trend file into curve points, against a scan of
//    the same file that only counts its lines, with the same block reads;
//  - the longest gap of the window's event loop while "Add Data to Plot"
//    imports that file behind its progress dialog.
#include "app/trendlog.h"
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
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

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
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        QByteArray block = trendHeader(false).toUtf8();
        StatusRecord record;
        record.gasType = QStringLiteral("CH4");
        record.faults = QStringLiteral("0");
        QDateTime now(QDate(2025, 1, 31), QTime(0, 0));
        QRandomGenerator random(3);
        for (int i = 0; i < 1000000; ++i) {
            record.conc = QString::number(0.2 + random.bounded(1000) / 10000.0, 'f', 4);
            block += trendRow(record, now.addSecs(i), false, false).toUtf8();
            if (block.size() > (1 << 20)) {
                file.write(block);
                block.clear();
            }
        }
        file.write(block);
    }
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

    // Through the window, with a timer that fires whenever the event loop runs.
    PlotWindow window;
    window.show();
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last)
            longest = std::max(longest, now - last);
        last = now;
    });
    tick.start();
    OneFile dialogs(path);
    QTimer::singleShot(0, &window, [&] {
        last = clock.nsecsElapsed();
        QElapsedTimer t;
        t.start();
        window.addData();
        const double took = ms(t);
        tick.stop();
        std::printf("  Add Data to Plot: %.1f ms for %d points; longest event-loop gap %.1f ms\n",
                    took, int(window.importedCurves().value(0)->dataSize()), longest / 1e6);
        QApplication::quit();
    });
    QApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    readLocalTimeZoneOnce(); // as the program does
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    runningMedianFigures();
    importFigures();
    return 0;
}
