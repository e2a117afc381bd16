// The plot window shown, its ring full, while points arrive as fast as the
// event loop lets them: batches of appends from a zero-interval timer, as a
// burst of replies would come in. Prints the sustained append rate, how often
// the plot was actually redrawn, and how long the event loop was kept from
// answering (the gaps between firings of a second zero-interval timer).
#include "common/clock.h"
#include "plot/plotwindow.h"
#include "plotscene.h"

#include <qwt_plot.h>
#include <qwt_plot_canvas.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

// Counts the canvas paints.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

struct Figures
{
    double redrawMs = 0; // one redraw of the picture the run left
    double appendsPerSecond = 0;
    double redrawsPerSecond = 0;
    double longestGapMs = 0;
    double gap99Ms = 0;
};

// The points to come, made beforehand: the caller's own work is not measured.
// One a second, going on from the end of the prefilled series, with values
// like it: a drifting concentration with noise and now and then a spike.
struct Arrivals
{
    std::vector<QDateTime> times;
    QStringList values;
    explicit Arrivals(qint64 startMs)
    {
        const int pool = 1 << 20;
        times.reserve(pool);
        for (int i = 0; i < pool; ++i)
            times.push_back(QDateTime::fromMSecsSinceEpoch(startMs + qint64(i) * 1000));
        QVector<double> xs, ys;
        plotscene::series(plotscene::Data::Trend, xs, ys);
        for (double y : qAsConst(ys))
            values << QString::number(y, 'f', 5);
    }
};

Figures run(PlotWindow &window, const Arrivals &arrivals, bool decimated, int batch, int seconds)
{
    plotscene::setDecimation(window, decimated);
    const std::vector<QDateTime> &times = arrivals.times;
    const QStringList &values = arrivals.values;
    const qint64 pool = qint64(times.size());

    PaintCounter counter;
    window.plot()->canvas()->installEventFilter(&counter);
    QElapsedTimer clock;
    std::vector<double> gaps;
    qint64 appended = 0;
    qint64 lastProbe = 0;
    QTimer feeder, probe;
    QEventLoop loop;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        for (int k = 0; k < batch; ++k, ++appended)
            window.addTimePoint(times[size_t(appended % pool)],
                                values[int(appended % values.size())]);
        if (clock.elapsed() > seconds * 1000)
            loop.quit();
    });
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        gaps.push_back((now - lastProbe) / 1e6);
        lastProbe = now;
    });
    clock.start();
    feeder.start(0);
    probe.start(0);
    loop.exec();
    const double elapsed = clock.nsecsElapsed() / 1e9;
    feeder.stop();
    probe.stop();
    window.plot()->canvas()->removeEventFilter(&counter);

    Figures f;
    QWidget *canvas = window.plot()->canvas();
    QElapsedTimer redraw;
    redraw.start();
    for (int i = 0; i < 10; ++i) {
        window.replotNow();
        canvas->repaint();
    }
    f.redrawMs = redraw.nsecsElapsed() / 1e7;
    f.appendsPerSecond = appended / elapsed;
    f.redrawsPerSecond = counter.paints / elapsed;
    std::sort(gaps.begin(), gaps.end());
    if (!gaps.empty()) {
        f.longestGapMs = gaps.back();
        f.gap99Ms = gaps[size_t(double(gaps.size() - 1) * 0.99)];
    }
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true); // default look, user settings untouched
    readLocalTimeZoneOnce();                  // as the program does
    QApplication app(argc, argv);
    QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear();
    const int seconds = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 5;

    QTextStream out(stdout);
    PlotWindow window;
    if (!plotscene::sizeCanvas(window, QSize(1900, 1000))) {
        out << "could not size the canvas\n";
        return 1;
    }
    QVector<double> xs, ys;
    plotscene::series(plotscene::Data::Trend, xs, ys);
    window.setSeries(xs, ys);
    const Arrivals arrivals(qint64(xs.last()) + 1000);

    out << "full ring of " << xs.size() << " points, canvas 1900 x 1000, " << seconds
        << " s per run\n";
    for (bool decimated : {true, false}) {
        for (int batch : {100, 1000}) {
            window.setSeries(xs, ys);
            const Figures f = run(window, arrivals, decimated, batch, seconds);
            out << (decimated ? "decimated" : "plain    ") << "  batch " << batch << ":  appends/s "
                << qRound64(f.appendsPerSecond) << "  redraws/s "
                << QString::number(f.redrawsPerSecond, 'f', 1) << "  event-loop gap: longest "
                << QString::number(f.longestGapMs, 'f', 1) << " ms, 99% "
                << QString::number(f.gap99Ms, 'f', 1) << " ms;  redraw "
                << QString::number(f.redrawMs, 'f', 1) << " ms\n";
            out.flush();
        }
    }
    return 0;
}
