#include "plot/allanwindow.h"

#include "plot/exportactions.h"

#include <qwt_interval_symbol.h>
#include <qwt_legend.h>
#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_intervalcurve.h>
#include <qwt_plot_marker.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <cmath>

// About 100 ms on the machines the program runs on (bench_allan: a million
// samples at octave spacing are 19 million steps in some 12 ms).
qint64 AllanWindow::inlineWork = 50'000'000;

struct AllanWindow::Job
{
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};
    std::atomic<int> total{0};
    std::vector<AllanPoint> points;
    bool complete = false;
};

AllanWindow::AllanWindow(const AllanSeries &series, const QString &seriesName, const QString &unit,
                         const QString &part, QWidget *parent)
    : QDialog(parent), series(series), unit(unit)
{
    setObjectName(QStringLiteral("AllanWindow"));
    setWindowTitle(QStringLiteral("Allan Deviation: ") + seriesName);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(760, 600);

    plotWidget = new QwtPlot(this);
    plotWidget->setCanvasBackground(QBrush(Qt::white));
    for (const int axis : {int(QwtPlot::xBottom), int(QwtPlot::yLeft)})
        plotWidget->setAxisScaleEngine(axis, new QwtLogScaleEngine);
    plotWidget->setAxisTitle(QwtPlot::xBottom, series.timed()
                                                   ? QStringLiteral("Averaging time τ (s)")
                                                   : QStringLiteral("Averaging time τ (samples)"));
    plotWidget->setAxisTitle(QwtPlot::yLeft,
                             unit.isEmpty() ? QStringLiteral("Allan deviation")
                                            : QStringLiteral("Allan deviation (%1)").arg(unit));
    plotWidget->insertLegend(new QwtLegend, QwtPlot::TopLegend);
    auto *grid = new QwtPlotGrid;
    grid->enableXMin(true);
    grid->setMajorPen(QColor(200, 200, 200), 0.0, Qt::SolidLine);
    grid->setMinorPen(QColor(235, 235, 235), 0.0, Qt::SolidLine);
    grid->attach(plotWidget);

    const QColor ink(38, 110, 200);
    bars = new QwtPlotIntervalCurve(QStringLiteral("±1σ (σ/√n)"));
    bars->setStyle(QwtPlotIntervalCurve::NoCurve);
    auto *bar = new QwtIntervalSymbol(QwtIntervalSymbol::Bar);
    bar->setWidth(7);
    bar->setPen(QPen(ink, 1.0));
    bars->setSymbol(bar);
    bars->setItemAttribute(QwtPlotItem::Legend, false);
    bars->attach(plotWidget);
    curve = new QwtPlotCurve(QStringLiteral("Overlapping Allan deviation ±1σ"));
    curve->setPen(ink, 1.5);
    curve->setSymbol(new QwtSymbol(QwtSymbol::Ellipse, QBrush(ink), QPen(ink), QSize(6, 6)));
    curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    curve->setLegendAttribute(QwtPlotCurve::LegendShowSymbol, true);
    curve->attach(plotWidget);
    whiteNoise = new QwtPlotCurve(QStringLiteral("White noise, slope −½"));
    whiteNoise->setPen(QColor(120, 120, 120), 1.5, Qt::DashLine);
    whiteNoise->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    whiteNoise->setLegendAttribute(QwtPlotCurve::LegendShowLine, true);
    whiteNoise->attach(plotWidget);
    minimum = new QwtPlotMarker(QStringLiteral("Minimum"));
    const QColor red(210, 50, 45);
    minimum->setSymbol(
        new QwtSymbol(QwtSymbol::Diamond, QBrush(Qt::NoBrush), QPen(red, 2.0), QSize(16, 16)));
    minimum->setItemAttribute(QwtPlotItem::Legend, true);
    minimum->setVisible(false);
    minimum->attach(plotWidget);

    minimumText = new QLabel(this);
    QFont bold = minimumText->font();
    bold.setBold(true);
    minimumText->setFont(bold);
    seriesText = new QLabel(seriesName + QStringLiteral(", ") + part + QStringLiteral(": ") +
                                allanSeriesText(series),
                            this);
    for (QLabel *label : {minimumText, seriesText})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    spacing = new QComboBox(this);
    spacing->addItems({QStringLiteral("Octave: 1, 2, 4 … × τ0"),
                       QStringLiteral("Decade: 1, 2, 5, 10 … × τ0"),
                       QStringLiteral("Many: about 20 a decade")});
    auto *exportData = new QPushButton(QStringLiteral("Export Data"), this);
    auto *exportPicture = new QPushButton(QStringLiteral("Export Picture"), this);
    progress = new QProgressBar(this);
    cancel = new QPushButton(QStringLiteral("Cancel"), this);
    progress->hide();
    cancel->hide();

    auto *controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("τ spacing:"), this));
    controls->addWidget(spacing);
    controls->addWidget(exportData);
    controls->addWidget(exportPicture);
    controls->addStretch();
    controls->addWidget(progress);
    controls->addWidget(cancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(plotWidget, 1);
    layout->addWidget(minimumText);
    layout->addWidget(seriesText);
    layout->addLayout(controls);

    connect(spacing, qOverload<int>(&QComboBox::currentIndexChanged), this, &AllanWindow::compute);
    connect(exportData, &QPushButton::clicked, this, &AllanWindow::exportData);
    connect(exportPicture, &QPushButton::clicked, this, &AllanWindow::exportPicture);
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (job)
            job->stop = true;
    });
    progressTimer.setInterval(50);
    connect(&progressTimer, &QTimer::timeout, this, [this] {
        if (job && job->total > 0) {
            progress->setRange(0, job->total);
            progress->setValue(job->done);
        }
    });
    compute();
}

AllanWindow::~AllanWindow()
{
    stopWorker();
}

void AllanWindow::stopWorker()
{
    if (!worker)
        return;
    job->stop = true;
    worker->wait(); // the job stops after the averaging time it is at
    delete worker;
    worker = nullptr;
    ++runs;
}

void AllanWindow::compute()
{
    stopWorker();
    const TauSpacing chosen = TauSpacing(spacing->currentIndex());
    if (allanWork(series, chosen) <= inlineWork) {
        std::vector<AllanPoint> points;
        allanDeviation(series, chosen, points);
        showPoints(points, true, int(points.size()));
        return;
    }
    job = std::make_shared<Job>();
    job->total = int(series.factors(chosen).size());
    const std::shared_ptr<Job> running = job;
    const AllanSeries *const data = &series; // the destructor waits for the worker
    worker = QThread::create([running, data, chosen] {
        running->complete =
            allanDeviation(*data, chosen, running->points, [&running](int done, int total) {
                running->done = done;
                running->total = total;
                return !running->stop;
            });
    });
    const quint64 run = ++runs;
    connect(worker, &QThread::finished, this, [this, run] { workerDone(run); });
    minimumText->setText(QStringLiteral("Computing…"));
    progress->setRange(0, 0);
    progress->show();
    cancel->show();
    progressTimer.start();
    worker->start();
}

void AllanWindow::workerDone(quint64 run)
{
    if (run != runs || !worker)
        return; // an earlier run, stopped and gone
    worker->wait();
    delete worker;
    worker = nullptr;
    progressTimer.stop();
    progress->hide();
    cancel->hide();
    showPoints(job->points, job->complete, job->total);
}

void AllanWindow::showPoints(const std::vector<AllanPoint> &points, bool complete, int total)
{
    shown = points;
    // A log axis has no place for 0: a series without scatter shows no point.
    QVector<QPointF> line;
    QVector<QwtIntervalSample> errors;
    for (const AllanPoint &p : shown) {
        if (!(p.adev > 0))
            continue;
        line << QPointF(p.tau, p.adev);
        errors << QwtIntervalSample(p.tau, p.adev - p.error(), p.adev + p.error());
    }
    curve->setSamples(line);
    bars->setSamples(errors);
    QVector<QPointF> reference;
    if (!line.isEmpty()) {
        const QPointF first = line.first();
        const double last = shown.back().tau;
        reference << first << QPointF(last, first.y() * std::sqrt(first.x() / last));
    }
    whiteNoise->setSamples(reference);
    const AllanPoint *lowest = allanMinimum(shown);
    minimum->setVisible(lowest && lowest->adev > 0);
    if (lowest)
        minimum->setValue(lowest->tau, lowest->adev);
    QString text = allanMinimumText(shown, unit, series.timed());
    if (!complete)
        text = QStringLiteral("Cancelled after %1 of %2 averaging times. ")
                   .arg(shown.size())
                   .arg(total) +
               text;
    minimumText->setText(text);
    plotWidget->replot();
    emit computed();
}

void AllanWindow::exportData()
{
    exportCsvAs(this, [this](QIODevice &file) { return writeAllanCsv(file, shown); });
}

void AllanWindow::exportPicture()
{
    exportPictureAs(this);
}
