// Redraw of a full ring (200,000 points) on a 1900 x 1000 canvas, decimated
// against plain Qwt drawing of the same points, and the cost of one append.
// One redraw is a replot (axes) and the canvas painted from scratch.
#include "common/clock.h"
#include "plot/decimation.h"
#include "plot/plotwindow.h"
#include "plotscene.h"

#include <benchmark/benchmark.h>

#include <qwt_painter.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_symbol.h>

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace {

using plotscene::Data;

enum Look
{
    LinesAndSymbols,
    LinesOnly,
    SymbolsOnly
};

std::unique_ptr<PlotWindow> window;

// How the curves are drawn: decimated, or every point (with the polyline
// splitting the program turns off, or with Qwt's own default of splitting
// polylines every few points).
enum Drawing
{
    Plain = 0,
    Decimated = 1,
    PlainSplit = 2
};

void prepare(Data data, Look look, Drawing drawing)
{
    if (!window) {
        window = std::make_unique<PlotWindow>();
        if (!plotscene::sizeCanvas(*window, QSize(1900, 1000)))
            qFatal("could not size the canvas");
    }
    QVector<double> xs, ys;
    plotscene::series(data, xs, ys);
    window->setSeries(xs, ys);
    window->preferences()->setPreferences(); // stored look: orange symbols and lines
    if (look == LinesOnly) {
        window->mainCurve()->setSymbol(nullptr);
        window->wrapCurve()->setSymbol(nullptr);
    } else if (look == SymbolsOnly) {
        window->mainCurve()->setStyle(QwtPlotCurve::NoCurve);
        window->wrapCurve()->setStyle(QwtPlotCurve::NoCurve);
    }
    plotscene::setDecimation(*window, drawing == Decimated);
    QwtPainter::setPolylineSplitting(drawing == PlainSplit);
    window->replotNow();
}

void redraw(benchmark::State &state)
{
    prepare(Data(state.range(0)), Look(state.range(1)), Drawing(state.range(2)));
    QWidget *canvas = window->plot()->canvas();
    for (auto _ : state) {
        window->replotNow(); // axes; the canvas is marked for painting
        canvas->repaint();   // and painted now rather than from the event loop
    }
    state.counters["points"] = double(window->wrapCurve()->dataSize());
}

// The steps of a decimated redraw on their own, on the trend data.
enum Step
{
    Map,
    Lines,
    Symbols
};

void decimationStep(benchmark::State &state)
{
    prepare(Data::Trend, LinesAndSymbols, Decimated);
    QwtPlot *plot = window->plot();
    const QwtScaleMap xMap = plot->canvasMap(QwtPlot::xBottom);
    const QwtScaleMap yMap = plot->canvasMap(QwtPlot::yLeft);
    const QRect canvas = plot->canvas()->contentsRect();
    const QwtSeriesData<QPointF> &series = *window->wrapCurve()->data();
    const int last = int(series.size()) - 1;
    std::vector<QPoint> device;
    mapToDevice(series, xMap, yMap, 0, last, device);
    LineDecimator lines;
    SymbolDecimator symbols;
    const QwtSymbol *symbol = window->wrapCurve()->symbol();
    const QRect box = symbol->boundingRect();
    QImage picture(box.size(), QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        symbol->drawSymbol(&p, QPointF(-box.left(), -box.top()));
    }
    symbols.setStamp(picture, box.topLeft());
    QPolygonF points;
    QVector<QRect> spans;
    for (auto _ : state) {
        switch (Step(state.range(0))) {
        case Map:
            mapToDevice(series, xMap, yMap, 0, last, device);
            break;
        case Lines:
            lines.decimate(device, true, canvas);
            break;
        case Symbols:
            points.clear();
            spans.clear();
            symbols.decimate(device, canvas, points, spans);
            break;
        }
    }
    state.counters["kept"] = double(state.range(0) == Lines     ? lines.polyline.size()
                                    : state.range(0) == Symbols ? points.size()
                                                                : device.size());
}

// One point a millisecond, as a fast SRDA collection could bring them; the
// date-times are made beforehand (the caller's work), as the clock gives them.
void appendTimePoint(benchmark::State &state)
{
    PlotWindow w; // hidden: appends only schedule redraws, which never run here
    std::vector<QDateTime> times;
    const qint64 start = QDateTime(QDate(2025, 1, 31), QTime(12, 0)).toMSecsSinceEpoch();
    for (int i = 0; i < 100000; ++i)
        times.push_back(QDateTime::fromMSecsSinceEpoch(start + i));
    const QString value = QStringLiteral("1.2345");
    size_t i = 0;
    for (auto _ : state) {
        w.addTimePoint(times[i], value);
        i = (i + 1) % times.size();
    }
    state.SetItemsProcessed(state.iterations());
}

void appendToRing(benchmark::State &state)
{
    SampleRing ring;
    double i = 0;
    for (auto _ : state) {
        ring.append(i, i);
        i += 1;
    }
    state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK(redraw)
    ->ArgNames({"noise", "look", "drawing"})
    ->ArgsProduct({{0, 1},
                   {LinesAndSymbols, LinesOnly, SymbolsOnly},
                   {Decimated, Plain, PlainSplit}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(decimationStep)->ArgName("step")->DenseRange(Map, Symbols)->Unit(benchmark::kMillisecond);
BENCHMARK(appendTimePoint);
BENCHMARK(appendToRing);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // The settings of a test store: the default look, and the user's own
    // preferences stay untouched.
    QStandardPaths::setTestModeEnabled(true);
    readLocalTimeZoneOnce(); // as the program does
    QApplication app(argc, argv);
    QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    window.reset();
    return 0;
}
