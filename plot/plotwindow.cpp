#include "plot/plotwindow.h"

#include "common/clock.h"
#include "common/dialogs.h"
#include "plot/allanwindow.h"
#include "plot/axisdialogs.h"
#include "plot/decimatingcurve.h"
#include "plot/exportactions.h"
#include "plot/plotcanvas.h"
#include "plot/plotexport.h"
#include "plot/ringseries.h"
#include "plot/runningmedian.h"
#include "plot/selectionstats.h"
#include "plot/trendimport.h"

#include <qwt_date_scale_draw.h>
#include <qwt_date_scale_engine.h>
#include <qwt_picker_machine.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_grid.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_draw.h>
#include <qwt_scale_engine.h>
#include <qwt_symbol.h>

#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QColor startColour(245, 85, 22);

QwtSymbol *ellipse(const QColor &colour, int size)
{
    return new QwtSymbol(QwtSymbol::Ellipse, QBrush(colour),
                         QPen(colour, 1.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin),
                         QSize(size, size));
}

// A number the plot can place: NaN and infinities are no numbers to it.
bool readNumber(const QString &text, double &value)
{
    bool ok = false;
    value = text.toDouble(&ok);
    return ok && std::isfinite(value);
}

} // namespace

PlotWindow::PlotWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PlotWindow"));
    resize(710, 519);
    setWindowTitle(QStringLiteral("Plot Window"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    replotTimer.setSingleShot(true);
    replotTimer.setInterval(RedrawInterval);
    connect(&replotTimer, &QTimer::timeout, this, &PlotWindow::replotNow);

    auto *layout = new QGridLayout(this);
    plotWidget = new QwtPlot(this);
    plotWidget->setCanvas(new PlotCanvas(plotWidget));
    plotWidget->setToolTip(
        QStringLiteral("Left-click and drag to zoom\nRight-click and drag for statistics"));

    mainSeries = new RingSeries(ring, RingSeries::Raw);
    wrapSeries = new RingSeries(ring, RingSeries::Raw);
    filterSeries = new RingSeries(ring, RingSeries::Filtered);
    curveMain = new DecimatingCurve;
    curveWrap = new DecimatingCurve;
    curveFilter = new DecimatingCurve;
    curveMain->setData(mainSeries);
    curveWrap->setData(wrapSeries);
    curveFilter->setData(filterSeries);
    for (DecimatingCurve *curve : {curveMain, curveWrap}) {
        curve->setSymbol(ellipse(startColour, 4));
        curve->setStyle(QwtPlotCurve::Lines);
        curve->setPen(startColour, 2.0, Qt::SolidLine);
        curve->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    }
    curveFilter->setStyle(QwtPlotCurve::Lines);
    curveFilter->setPen(QColor(Qt::blue), 3.0, Qt::SolidLine);
    curveFilter->setRenderHint(QwtPlotItem::RenderAntialiased, true);
    curveMain->attach(plotWidget);
    curveWrap->attach(plotWidget);
    curveFilter->attach(plotWidget);

    tools = new QToolBar(this);
    tools->setOrientation(Qt::Vertical);
    const auto entry = [this](const char *icon, const char *text, void (PlotWindow::*slot)()) {
        // A missing picture leaves an empty icon; the tooltip still tells.
        QAction *a = tools->addAction(QIcon(QLatin1String(icon)), QLatin1String(text));
        connect(a, &QAction::triggered, this, slot);
    };
    entry(":images/resize-width-8x.png", "Auto Scale X Axis", &PlotWindow::setAutoXScale);
    entry(":images/resize-height-8x.png", "Auto Scale Y Axis", &PlotWindow::setAutoYScale);
    entry(":images/spreadsheet-8x.png", "Export Data", &PlotWindow::exportData);
    entry(":images/file-8x.png", "Export Plot Image", &PlotWindow::exportPlot);
    entry(":images/add.png", "Add Data to Plot", &PlotWindow::addData);
    entry(":images/spec-lines-nobar.png", "Add upper and lower lines", &PlotWindow::addSpecLines);
    entry(":images/color.png", "Change plot colors and turn connecting lines on or off",
          &PlotWindow::changeColor);
    tools->addSeparator();
    entry(":images/clear.png", "Clear All Plot Data", &PlotWindow::clearPlotData);

    auto *filterAction = new QAction(QStringLiteral("Filter"), this);
    connect(filterAction, &QAction::triggered, this, &PlotWindow::filter);
    filterTool = new QToolButton(this);
    filterTool->setDefaultAction(filterAction);
    filterTool->setText(QString());
    filterTool->setEnabled(false);
    tools->addWidget(filterTool);
    filterField = new QLineEdit(QStringLiteral("200"), this);
    filterField->setInputMask(QStringLiteral("000"));
    filterField->setFixedWidth(30);
    filterFieldAction = tools->addWidget(filterField);
    filterFieldAction->setVisible(false); // widgets in a tool bar hide through their action

    auto *menus = new QMenuBar(this);
    QMenu *data = menus->addMenu(QStringLiteral("&Data"));
    allanEntry =
        data->addAction(QStringLiteral("Allan Deviation…"), this, &PlotWindow::allanDeviation);
    clearSelectionEntry =
        data->addAction(QStringLiteral("Clear Selection"), this, &PlotWindow::clearSelection);
    clearSelectionEntry->setEnabled(false);
    layout->setMenuBar(menus);
    layout->addWidget(tools, 0, 0, 7, 1);
    layout->addWidget(plotWidget, 0, 2, 7, 7);

    plotWidget->setCanvasBackground(QBrush(Qt::gray));
    plotWidget->setAutoFillBackground(true);
    plotWidget->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    plotWidget->setFocusPolicy(Qt::StrongFocus);
    grid = new QwtPlotGrid;
    grid->setMajorPen(QColor(Qt::lightGray), 1.0, Qt::SolidLine);
    grid->attach(plotWidget);
    plotWidget->canvas()->setCursor(Qt::CrossCursor);
    setDateAxis(true);

    zoomer = new QwtPlotZoomer(plotWidget->canvas(), true);
    zoomer->setTrackerMode(QwtPicker::AlwaysOff);
    zoomer->setMousePattern(QwtEventPattern::MouseSelect1, Qt::LeftButton);
    // Middle click: back to the base. The other zoom clicks are not used: the
    // right button belongs to the statistics selection.
    zoomer->setMousePattern(QwtEventPattern::MouseSelect2, Qt::MiddleButton);
    zoomer->setMousePattern(QwtEventPattern::MouseSelect3, Qt::NoButton);
    zoomer->setMousePattern(QwtEventPattern::MouseSelect6, Qt::NoButton);

    picker = new QwtPlotPicker(QwtPlot::xBottom, QwtPlot::yLeft, QwtPicker::RectRubberBand,
                               QwtPicker::AlwaysOff, plotWidget->canvas());
    picker->setStateMachine(new QwtPickerDragRectMachine);
    picker->setRubberBandPen(QColor(Qt::red));
    picker->setMousePattern(QwtEventPattern::MouseSelect1, Qt::RightButton);
    connect(picker, qOverload<const QRectF &>(&QwtPlotPicker::selected), this, &PlotWindow::picked);

    // The selection edges show only while a selection is evaluated; drawn from
    // the start they would stand at X = 0 on every linear plot.
    for (QwtPlotMarker **marker : {&rangeLeft, &rangeRight}) {
        *marker = new QwtPlotMarker;
        (*marker)->setLineStyle(QwtPlotMarker::NoLine);
        (*marker)->setLinePen(QColor(Qt::red), 3.0, Qt::SolidLine);
        (*marker)->attach(plotWidget);
    }
    for (QwtPlotMarker **marker : {&upperLevel, &lowerLevel}) {
        *marker = new QwtPlotMarker;
        (*marker)->setLineStyle(QwtPlotMarker::HLine);
        (*marker)->setLinePen(QColor(Qt::blue), 3.0, Qt::DashLine);
        (*marker)->setYValue(-1000);
        (*marker)->attach(plotWidget);
    }

    prefsDialog = new preferencesForm(this);
    connect(prefsDialog, &preferencesForm::newPreferences, this, &PlotWindow::setPreferences);
    prefsDialog->setPreferences();
}

// The plot owns its items (curves, grid, markers) and the curves their series,
// which read the ring: the plot goes first, while the ring is still there.
PlotWindow::~PlotWindow()
{
    replotTimer.stop();
    delete plotWidget;
}

QwtPlotCurve *PlotWindow::mainCurve() const
{
    return curveMain;
}

QwtPlotCurve *PlotWindow::wrapCurve() const
{
    return curveWrap;
}

QwtPlotCurve *PlotWindow::filterCurve() const
{
    return curveFilter;
}

void PlotWindow::setDateAxis(bool on)
{
    if (on != dateAxisOn)
        clearSelection(); // its edges meant something else
    dateAxisOn = on;
    if (on) {
        auto *draw = new QwtDateScaleDraw(Qt::LocalTime);
        draw->setDateFormat(QwtDate::Second, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        plotWidget->setAxisScaleDraw(QwtPlot::xBottom, draw);
        plotWidget->setAxisScaleEngine(QwtPlot::xBottom, new QwtDateScaleEngine(Qt::LocalTime));
        plotWidget->setAxisLabelRotation(QwtPlot::xBottom, -50.0);
        plotWidget->setAxisLabelAlignment(QwtPlot::xBottom, Qt::AlignLeft | Qt::AlignBottom);
    } else {
        plotWidget->setAxisScaleDraw(QwtPlot::xBottom, new QwtScaleDraw);
        auto *engine = new QwtLinearScaleEngine(10);
        plotWidget->setAxisScaleEngine(QwtPlot::xBottom, engine);
        plotWidget->setAxisLabelRotation(QwtPlot::xBottom, 0.0);
    }
    scheduleReplot();
}

void PlotWindow::setPlotTitle(const QString &title)
{
    setWindowTitle(title);
    const bool srda = title.contains(QLatin1String("SRDA"), Qt::CaseSensitive);
    filterTool->setText(srda ? QStringLiteral("Filter") : QString());
    filterTool->setEnabled(srda);
    filterFieldAction->setVisible(srda);
}

void PlotWindow::addTimePoint(const QDateTime &dateTime, const QString &valueText)
{
    double y = 0;
    if (!dateTime.isValid() || !readNumber(valueText, y))
        return;
    append(double(epoch.toEpochMs(dateTime)), y, true);
}

void PlotWindow::addPointXY(const QString &xText, const QString &yText)
{
    double x = 0, y = 0;
    if (!readNumber(xText, x) || !readNumber(yText, y))
        return;
    append(x, y, false);
}

void PlotWindow::addTimeValue(double epochMs, double value)
{
    if (std::isfinite(epochMs) && std::isfinite(value))
        append(epochMs, value, true);
}

void PlotWindow::addXYValue(double x, double y)
{
    if (std::isfinite(x) && std::isfinite(y))
        append(x, y, false);
}

void PlotWindow::append(double x, double y, bool extendFilter)
{
    const int c = ring.sampleCount();
    const int stored = ring.append(x, y);
    if (extendFilter && filterOn) {
        // The median of the points before this one, the point itself excluded.
        ring.setFiltered(
            stored,
            c == 0 ? y : medianOf(ring.y(), std::max(0, c - filterWindow), c, medianScratch));
        filteredCount = stored + 1;
    } else {
        // A point without a filtered value (an x-y pair): the filter curve
        // ends before it instead of showing whatever the slot held.
        filteredCount = std::min(filteredCount, stored);
    }
    showRing();
    scheduleReplot();
}

void PlotWindow::setSeries(const QVector<double> &xs, const QVector<double> &ys, qint64 pairsBefore)
{
    ring.setSeries(xs, ys, pairsBefore);
    filterOn = false;
    filteredCount = 0;
    showRing();
    replotNow();
}

// Main curve: 0 .. sampleCount-1; wrap curve: the older part after a wrap, drawn
// apart so no line joins the newest point to the oldest.
void PlotWindow::showRing()
{
    const int count = ring.sampleCount();
    mainSeries->setRange(0, count);
    wrapSeries->setRange(count, ring.wrapped() ? SampleRing::Capacity : count);
    filterSeries->setRange(0, filterOn ? std::min(filteredCount, count) : 0);
}

void PlotWindow::scheduleReplot()
{
    if (!replotTimer.isActive())
        replotTimer.start();
}

void PlotWindow::replotNow()
{
    replotTimer.stop();
    plotWidget->replot();
}

void PlotWindow::setAutoXScale()
{
    plotWidget->setAxisAutoScale(QwtPlot::xBottom, true);
    replotNow();
}

void PlotWindow::setAutoYScale()
{
    plotWidget->setAxisAutoScale(QwtPlot::yLeft, true);
    replotNow();
}

void PlotWindow::addSpecLines()
{
    RangeDialog dialog(RangeDialog::LevelLines, this);
    if (Dialogs::instance().exec(dialog) != QDialog::Accepted)
        return;
    // An empty field leaves its line where it is.
    if (!dialog.upperField->text().isEmpty())
        upperLevel->setYValue(RangeDialog::fieldValue(dialog.upperField, 0));
    if (!dialog.lowerField->text().isEmpty())
        lowerLevel->setYValue(RangeDialog::fieldValue(dialog.lowerField, 0));
    replotNow();
}

void PlotWindow::openYAxisDialog()
{
    RangeDialog dialog(RangeDialog::YAxis, this);
    if (Dialogs::instance().exec(dialog) != QDialog::Accepted)
        return;
    const QwtInterval shown = plotWidget->axisInterval(QwtPlot::yLeft);
    plotWidget->setAxisScale(QwtPlot::yLeft,
                             RangeDialog::fieldValue(dialog.lowerField, shown.minValue()),
                             RangeDialog::fieldValue(dialog.upperField, shown.maxValue()));
    replotNow();
}

// Either button sets the X range: Cancel keeps the range shown, but it too ends
// automatic X scaling.
void PlotWindow::openXAxisDialog()
{
    const QwtInterval shown = plotWidget->axisInterval(QwtPlot::xBottom);
    double lower = shown.minValue();
    double upper = shown.maxValue();
    if (dateAxisOn) {
        DateRangeDialog dialog(QDateTime::fromMSecsSinceEpoch(qint64(lower)),
                               QDateTime::fromMSecsSinceEpoch(qint64(upper)), Clock::current(),
                               this);
        if (Dialogs::instance().exec(dialog) == QDialog::Accepted) {
            // A day the month does not have leaves that end as it was.
            const QDateTime from = DateRangeDialog::selected(dialog.minRow);
            const QDateTime to = DateRangeDialog::selected(dialog.maxRow);
            if (from.isValid())
                lower = double(from.toMSecsSinceEpoch());
            if (to.isValid())
                upper = double(to.toMSecsSinceEpoch());
        }
    } else {
        RangeDialog dialog(RangeDialog::XAxis, this);
        if (Dialogs::instance().exec(dialog) == QDialog::Accepted) {
            lower = RangeDialog::fieldValue(dialog.lowerField, lower);
            upper = RangeDialog::fieldValue(dialog.upperField, upper);
        }
    }
    plotWidget->setAxisScale(QwtPlot::xBottom, lower, upper);
    replotNow();
}

void PlotWindow::filter()
{
    filterOn = true;
    filterWindow = filterField->text().toInt();
    if (filterWindow < 3) {
        filterWindow = 3;
        filterField->setText(QStringLiteral("3"));
    }
    const int n = ring.sampleCount();
    ring.setFiltered(0, ring.y()[0]);
    if (n > 0) {
        filteredScratch.resize(size_t(n));
        runningMedian(ring.y(), n, filterWindow, filteredScratch.data());
        ring.setFiltered(0, n, filteredScratch.data());
    }
    filteredCount = n;
    showRing();
    replotNow();
}

void PlotWindow::picked(QRectF rect)
{
    const double left = rect.left();
    const double right = left + rect.width();
    const double bottom = rect.y() + rect.height();
    rangeLeft->setValue(left, bottom);
    rangeRight->setValue(right, bottom);
    rangeLeft->setLineStyle(QwtPlotMarker::VLine);
    rangeRight->setLineStyle(QwtPlotMarker::VLine);
    replotNow();

    selected = true;
    selectionLeft = left;
    selectionRight = right;
    clearSelectionEntry->setEnabled(true);
    const SelectionStats stats = selectionStats(ring, left, right, filterOn);
    QList<QwtPlotCurve *> levels;
    if (stats.count > 0) {
        const auto level = [&](double y, double width, Qt::PenStyle style) {
            auto *line = new QwtPlotCurve;
            line->setPen(QColor(Qt::green), width, style);
            line->setSamples(QVector<QPointF>{QPointF(left, y), QPointF(right, y)});
            line->attach(plotWidget);
            levels.append(line);
        };
        level(filterOn ? stats.filteredMean : stats.mean, 3.0, Qt::DashLine);
        level(filterOn ? stats.filteredMinimum : stats.minimum, 1.0, Qt::SolidLine);
        level(filterOn ? stats.filteredMaximum : stats.maximum, 1.0, Qt::SolidLine);
        replotNow();
    }

    Dialogs::Message m;
    m.title = QStringLiteral("Statistics");
    m.text = statisticsText(stats, seriesName, dateAxisOn, left, right);
    m.buttons = Dialogs::Close;
    m.defaultButton = Dialogs::Close;
    Dialogs::instance().message(m);

    // The edges and the levels show only while the box is open.
    rangeLeft->setLineStyle(QwtPlotMarker::NoLine);
    rangeRight->setLineStyle(QwtPlotMarker::NoLine);
    qDeleteAll(levels); // detaches them
    replotNow();
}

void PlotWindow::exportData()
{
    const QwtInterval shown = plotWidget->axisInterval(QwtPlot::xBottom);
    exportCsvAs(this, [&](QIODevice &file) {
        return writePlotCsv(file, ring, shown.minValue(), shown.maxValue(), dateAxisOn, seriesName,
                            filterOn);
    });
}

void PlotWindow::exportPlot()
{
    exportPictureAs(this);
}

void PlotWindow::addData()
{
    Dialogs::FileRequest request;
    request.title = QStringLiteral("Select one or more trend files to open");
    request.startPath = QDir::homePath() + QStringLiteral("/QuorvaneData/Trend/");
    request.filter = QStringLiteral("csv Files (*.csv);;text file (*.txt)");
    request.parent = this;
    const QStringList files = Dialogs::instance().openFileNames(request);
    if (!files.isEmpty())
        importTrendFiles(files);
    setAutoXScale();
    setAutoYScale();
}

void PlotWindow::clearSelection()
{
    selected = false;
    clearSelectionEntry->setEnabled(false);
}

double PlotWindow::median(double *values, int begin, int end)
{
    medianScratch.reserve(size_t(std::max(filterWindow, 1)));
    return medianOf(values, begin, end, medianScratch);
}

QwtPlotCurve *PlotWindow::addImportedCurve(const QVector<QPointF> &points, const QString &name)
{
    auto *curve = new DecimatingCurve;
    curve->setTitle(name.isEmpty() ? QStringLiteral("File %1").arg(imported.size() + 1) : name);
    imported.append(curve);
    curve->attach(plotWidget);
    curve->setSamples(points);
    prefsDialog->setPreferences(); // styles the new curve like the others
    replotNow();
    return curve;
}

void PlotWindow::clearPlotData()
{
    Dialogs::Message m;
    m.text = QStringLiteral("This will clear all plot data, are you sure?");
    m.buttons = Dialogs::Ok | Dialogs::Cancel;
    m.defaultButton = Dialogs::Cancel;
    if (Dialogs::instance().message(m) != Dialogs::Ok)
        return;
    ring.clear();
    filterOn = false;
    filteredCount = 0;
    clearSelection();
    showRing();
    while (!imported.isEmpty()) {
        QwtPlotCurve *curve = imported.takeLast();
        curve->detach();
        delete curve;
    }
    replotNow();
}

void PlotWindow::styleLine(QwtPlotCurve *curve, bool lines)
{
    curve->setStyle(lines ? QwtPlotCurve::Lines : QwtPlotCurve::NoCurve);
    if (lines)
        curve->setPen(startColour, 2.0, Qt::SolidLine);
}

void PlotWindow::clearLines()
{
    styleLine(curveMain, false);
    styleLine(curveWrap, false);
    for (QwtPlotCurve *curve : qAsConst(imported))
        styleLine(curve, false);
    replotNow();
}

void PlotWindow::drawLines()
{
    styleLine(curveMain, true);
    styleLine(curveWrap, true);
    for (QwtPlotCurve *curve : qAsConst(imported))
        styleLine(curve, true);
    replotNow();
}

void PlotWindow::changeColor()
{
    prefsDialog->show();
}

void PlotWindow::setPreferences(preferencesForm::plotPreferences p)
{
    const QwtPlotCurve::CurveStyle style = p.useLines ? QwtPlotCurve::Lines : QwtPlotCurve::NoCurve;
    for (QwtPlotCurve *curve :
         {static_cast<QwtPlotCurve *>(curveMain), static_cast<QwtPlotCurve *>(curveWrap)}) {
        curve->setSymbol(ellipse(p.markerColor, p.markerSize));
        curve->setPen(p.lineColor, 0.0, Qt::SolidLine); // one device pixel, whatever lineSize
        curve->setBrush(QBrush(p.fillColor));
        curve->setStyle(style);
    }
    for (QwtPlotCurve *curve : qAsConst(imported)) {
        curve->setSymbol(ellipse(p.markerColor, p.markerSize));
        curve->setPen(p.lineColor, p.lineSize, Qt::SolidLine);
        curve->setBrush(QBrush(p.fillColor));
        curve->setStyle(style);
    }
    plotWidget->setCanvasBackground(QBrush(p.backgroundColor));
    replotNow();
}

// Clicks beside the canvas: left of it (left button) sets the Y range, below it
// (any button) the X range.
void PlotWindow::mousePressEvent(QMouseEvent *event)
{
    const int ex = event->pos().x();
    const int ey = event->pos().y();
    const int px = plotWidget->x();
    const int py = plotWidget->y();
    const QWidget *canvas = plotWidget->canvas();
    if (px < ex && ex < px + canvas->x() && event->button() == Qt::LeftButton)
        openYAxisDialog();
    if (py + canvas->height() < ey && ey < py + plotWidget->height())
        openXAxisDialog();
    QDialog::mousePressEvent(event);
}
