#include "plot/plotcanvas.h"
#include "plot/plotwindow.h"
#include "support/testsupport.h"

#include <qwt_date_scale_draw.h>
#include <qwt_plot.h>
#include <qwt_plot_canvas.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>
#include <qwt_plot_picker.h>
#include <qwt_plot_zoomer.h>
#include <qwt_scale_draw.h>

#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QToolBar>
#include <QToolButton>

#include <cmath>

namespace {

// Counts the axis dialogs the window asks for.
class CountingPlot : public PlotWindow
{
public:
    int yDialogs = 0;
    int xDialogs = 0;

protected:
    void openYAxisDialog() override { ++yDialogs; }
    void openXAxisDialog() override { ++xDialogs; }
};

QImage canvasPicture(PlotWindow &w)
{
    w.replotNow();
    return w.plot()->canvas()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int pixelsOf(const QImage &image, const QColor &colour)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += image.pixel(x, y) == colour.rgb();
    return n;
}

// A press on whatever widget lies at pos (window coordinates); like a real
// click, an ignored press travels up to the window.
void pressAt(QWidget &window, const QPoint &pos, Qt::MouseButton button)
{
    QWidget *target = window.childAt(pos);
    if (!target)
        target = &window;
    QTest::mousePress(target, button, {}, target->mapFrom(&window, pos));
    QTest::mouseRelease(target, button, {}, target->mapFrom(&window, pos));
}

void moveWithButton(QWidget *widget, Qt::MouseButton button, const QPoint &to)
{
    // QTest::mouseMove only moves the cursor; a drag needs the button held.
    QMouseEvent move(QEvent::MouseMove, to, widget->mapToGlobal(to), Qt::NoButton, button,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void drag(QWidget *canvas, Qt::MouseButton button, const QPoint &from, const QPoint &to)
{
    QTest::mousePress(canvas, button, {}, from);
    moveWithButton(canvas, button, (from + to) / 2);
    moveWithButton(canvas, button, to);
    QTest::mouseRelease(canvas, button, {}, to);
}

preferencesForm::plotPreferences colours(bool lines)
{
    preferencesForm::plotPreferences p;
    p.useLines = lines;
    p.markerSize = 4;
    p.lineSize = 2;
    p.markerColor = QColor(0, 0, 255);
    p.lineColor = QColor(255, 0, 0);
    p.fillColor = QColor(0, 255, 0);
    p.backgroundColor = QColor(100, 100, 100);
    return p;
}

const QDateTime t0 = QDateTime(QDate(2025, 1, 31), QTime(12, 0, 0));

} // namespace

class TestPlotWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }
    void startsAsSpecified();
    void ringWrapsIntoTwoCurves();
    void textThatIsNoNumberAddsNothing_data();
    void textThatIsNoNumberAddsNothing();
    void pointXYNeedsTwoNumbers();
    void filterCurveOnlyWhereFiltered();
    void setSeriesReplacesEverything();
    void pausedStreamLooksLikeRedrawPerPoint();
    void srdaTitleShowsFilter_data();
    void srdaTitleShowsFilter();
    void clearAskedFirst();
    void linesOffShowsSymbolsWithoutFill();
    void axisClicks();
    void rightDragSelectsLeftDragZooms();
    void dateAxisSwitch();
    void canvasPaintsAsQwtsOwn();
};

void TestPlotWindow::startsAsSpecified()
{
    PlotWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Plot Window"));
    QVERIFY(!(w.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(w.dateAxis());
    QCOMPARE(w.sampleCount(), 0);
    QStringList tips;
    for (QAction *a : w.toolBar()->actions())
        if (!a->isSeparator() && !a->text().isEmpty())
            tips << a->toolTip();
    QCOMPARE(tips,
             (QStringList{"Auto Scale X Axis", "Auto Scale Y Axis", "Export Data",
                          "Export Plot Image", "Add Data to Plot", "Add upper and lower lines",
                          "Change plot colors and turn connecting lines on or off",
                          "Clear All Plot Data"}));
    QCOMPARE(w.upperLevelLine()->yValue(), -1000.0);
    QCOMPARE(w.lowerLevelLine()->yValue(), -1000.0);
    QCOMPARE(w.filterWindowField()->text(), QStringLiteral("200"));

    // Every entry can be used on an empty plot; cancelled choosers and dialogs do nothing.
    ScriptedDialogs dialogs;
    for (QAction *a : w.toolBar()->actions())
        a->trigger();
    QCOMPARE(dialogs.messages.size(), 1); // the clear question, answered Cancel
    QCOMPARE(dialogs.fileAsks.size(), 3); // data, picture, trend files
    QCOMPARE(dialogs.dialogTitles, QStringList{"Add upper and lower level lines"});
}

void TestPlotWindow::ringWrapsIntoTwoCurves()
{
    PlotWindow w;
    for (int i = 0; i < SampleRing::Capacity; ++i)
        w.addTimePoint(t0.addSecs(i), QString::number(i % 100));
    QCOMPARE(w.sampleCount(), 0);
    QVERIFY(w.wrapped());
    QCOMPARE(w.mainCurve()->dataSize(), size_t(0));
    QCOMPARE(w.wrapCurve()->dataSize(), size_t(SampleRing::Capacity));

    const QDateTime newest = t0.addSecs(SampleRing::Capacity);
    w.addTimePoint(newest, QStringLiteral("42.5"));
    QCOMPARE(w.sampleCount(), 1);
    QCOMPARE(w.samples().x()[0], double(newest.toMSecsSinceEpoch()));
    QCOMPARE(w.mainCurve()->dataSize(), size_t(1));
    QCOMPARE(w.mainCurve()->sample(0), QPointF(newest.toMSecsSinceEpoch(), 42.5));
    // The wrap curve holds the older points, indices 1 .. 199999.
    QCOMPARE(w.wrapCurve()->dataSize(), size_t(SampleRing::Capacity - 1));
    QCOMPARE(w.wrapCurve()->sample(0).x(), double(t0.addSecs(1).toMSecsSinceEpoch()));
    QCOMPARE(w.wrapCurve()->sample(SampleRing::Capacity - 2).y(), 99.0);
    QCOMPARE(w.filterCurve()->dataSize(), size_t(0));
}

void TestPlotWindow::filterCurveOnlyWhereFiltered()
{
    // An SRDA plot: numeric x, filter on. Pairs added afterwards have no
    // filtered value, so the filter curve must not grow with them.
    PlotWindow w;
    w.setDateAxis(false);
    w.setPlotTitle(QStringLiteral("SRDA"));
    for (int i = 0; i < 10; ++i)
        w.addPointXY(QString::number(i), QString::number(100 + i));
    w.filterWindowField()->setText(QStringLiteral("3"));
    w.filter();
    QCOMPARE(w.filterCurve()->dataSize(), size_t(10));
    for (int i = 10; i < 15; ++i)
        w.addPointXY(QString::number(i), QString::number(100 + i));
    QCOMPARE(w.mainCurve()->dataSize(), size_t(15));
    QCOMPARE(w.filterCurve()->dataSize(), size_t(10));
    for (size_t i = 0; i < w.filterCurve()->dataSize(); ++i)
        QVERIFY(w.filterCurve()->sample(int(i)).y() >= 100);

    // Time points extend it, one filtered value each.
    w.filter();
    w.addTimePoint(QDateTime::currentDateTime(), QStringLiteral("120"));
    QCOMPARE(w.filterCurve()->dataSize(), size_t(16));
}

void TestPlotWindow::textThatIsNoNumberAddsNothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("not a number") << "nan";
    QTest::newRow("infinite") << "inf";
    QTest::newRow("trailing garbage") << "1.5x";
}

void TestPlotWindow::textThatIsNoNumberAddsNothing()
{
    QFETCH(QString, text);
    PlotWindow w;
    w.addTimePoint(t0, QStringLiteral("1.5"));
    w.addTimePoint(t0.addSecs(1), QStringLiteral("2.5"));
    const QImage before = canvasPicture(w);
    w.addTimePoint(t0.addSecs(2), text);
    QCOMPARE(w.sampleCount(), 2);
    QVERIFY(!w.replotPending());
    QCOMPARE(canvasPicture(w), before);
}

void TestPlotWindow::pointXYNeedsTwoNumbers()
{
    PlotWindow w;
    w.addPointXY(QStringLiteral("1"), QStringLiteral("x"));
    w.addPointXY(QStringLiteral("y"), QStringLiteral("1"));
    QCOMPARE(w.sampleCount(), 0);
    w.addPointXY(QStringLiteral(" 3.5 "), QStringLiteral("-2e3"));
    QCOMPARE(w.sampleCount(), 1);
    QCOMPARE(w.mainCurve()->sample(0), QPointF(3.5, -2000));
}

void TestPlotWindow::setSeriesReplacesEverything()
{
    PlotWindow w;
    const double nan = std::nan("");
    w.setSeries({1, nan, 3, 4, 5}, {1, 2, nan, HUGE_VAL, -HUGE_VAL});
    QCOMPARE(w.sampleCount(), 1);
    QCOMPARE(w.mainCurve()->sample(0), QPointF(1, 1));
    // Nothing infinite reaches the scales.
    w.setAutoYScale();
    const QwtInterval y = w.plot()->axisInterval(QwtPlot::yLeft);
    QVERIFY(std::isfinite(y.minValue()) && std::isfinite(y.maxValue()));
    QVERIFY(y.contains(1.0));

    QVector<double> xs(250000), ys(250000);
    for (int i = 0; i < xs.size(); ++i) {
        xs[i] = i;
        ys[i] = std::sin(i / 1000.0);
    }
    w.setSeries(xs, ys);
    QVERIFY(w.wrapped());
    QCOMPARE(w.sampleCount(), 50000);
    QCOMPARE(w.mainCurve()->dataSize(), size_t(50000));
    QCOMPARE(w.mainCurve()->sample(0).x(), 200000.0);
    QCOMPARE(w.wrapCurve()->dataSize(), size_t(150000));
    QCOMPARE(w.wrapCurve()->sample(0).x(), 50000.0);

    // Ten pairs after a wrap: exactly those, nothing of the earlier series.
    QVector<double> tenX, tenY;
    for (int i = 0; i < 10; ++i) {
        tenX << -i;
        tenY << i * i;
    }
    w.setSeries(tenX, tenY);
    QVERIFY(!w.wrapped());
    QCOMPARE(w.mainCurve()->dataSize(), size_t(10));
    QCOMPARE(w.wrapCurve()->dataSize(), size_t(0));
    QCOMPARE(w.mainCurve()->sample(9), QPointF(-9, 81));
    QCOMPARE(w.mainCurve()->boundingRect(), QRectF(-9, 0, 9, 81));
}

// Points arrive faster than the plot redraws; once they stop, the picture is
// the one a redraw after every point would leave.
void TestPlotWindow::pausedStreamLooksLikeRedrawPerPoint()
{
    PlotWindow streamed, stepped;
    for (PlotWindow *w : {&streamed, &stepped}) {
        w->resize(600, 400);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
    }
    for (int i = 0; i < 500; ++i) {
        const QString value = QString::number(std::sin(i / 30.0) + (i % 50 == 0 ? 3 : 0));
        streamed.addTimePoint(t0.addSecs(i), value);
        stepped.addTimePoint(t0.addSecs(i), value);
        stepped.replotNow();
    }
    QVERIFY(streamed.replotPending());
    QVERIFY(waitFor([&] { return !streamed.replotPending(); }));
    const QImage a = streamed.plot()->grab().toImage();
    const QImage b = stepped.plot()->grab().toImage();
    QCOMPARE(a, b);
}

void TestPlotWindow::srdaTitleShowsFilter_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("filter");
    QTest::newRow("SRDA") << "SRDA Tau vs Time" << true;
    QTest::newRow("lower case") << "srda Tau vs Time" << false;
    QTest::newRow("scan") << "Reference Cell Scan" << false;
}

void TestPlotWindow::srdaTitleShowsFilter()
{
    QFETCH(QString, title);
    QFETCH(bool, filter);
    PlotWindow w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The other way first, so that each case switches.
    w.setPlotTitle(filter ? QStringLiteral("Scan") : QStringLiteral("SRDA"));
    w.setPlotTitle(title);
    QCOMPARE(w.windowTitle(), title);
    QCOMPARE(w.filterButton()->isEnabled(), filter);
    QCOMPARE(w.filterButton()->text(), filter ? QStringLiteral("Filter") : QString());
    QTRY_COMPARE(w.filterWindowField()->isVisible(), filter); // the tool bar lays out later
}

void TestPlotWindow::clearAskedFirst()
{
    PlotWindow w;
    ScriptedDialogs dialogs;
    for (int i = 0; i < 5; ++i)
        w.addTimePoint(t0.addSecs(i), QString::number(i));
    w.addImportedCurve({{1, 1}, {2, 2}});
    w.addImportedCurve({{3, 3}});
    w.upperLevelLine()->setYValue(5.0);

    dialogs.answers << Dialogs::Cancel;
    w.clearPlotData();
    QCOMPARE(dialogs.messages.size(), 1);
    const Dialogs::Message asked = dialogs.messages.first();
    QCOMPARE(asked.text, QStringLiteral("This will clear all plot data, are you sure?"));
    QCOMPARE(asked.buttons, Dialogs::Ok | Dialogs::Cancel);
    QCOMPARE(asked.defaultButton, int(Dialogs::Cancel));
    QCOMPARE(asked.parent, nullptr);
    QCOMPARE(w.sampleCount(), 5);
    QCOMPARE(w.importedCurves().size(), 2);

    dialogs.answers << Dialogs::Ok;
    w.clearPlotData();
    QCOMPARE(w.sampleCount(), 0);
    QVERIFY(!w.wrapped());
    QCOMPARE(w.mainCurve()->dataSize(), size_t(0));
    QVERIFY(w.importedCurves().isEmpty());
    int curves = 0;
    for (QwtPlotItem *item : w.plot()->itemList())
        curves += item->rtti() == QwtPlotItem::Rtti_PlotCurve;
    QCOMPARE(curves, 3); // main, wrap and filter curve stay
    QCOMPARE(w.upperLevelLine()->yValue(), 5.0);
}

void TestPlotWindow::linesOffShowsSymbolsWithoutFill()
{
    PlotWindow w;
    w.resize(600, 400);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVector<double> xs, ys;
    for (int i = 0; i < 50; ++i) {
        xs << i;
        ys << (i % 2 ? 10 : 20);
    }
    w.setDateAxis(false);
    w.setSeries(xs, ys);
    QwtPlotCurve *imported = w.addImportedCurve({{0, 0}, {49, 5}});

    w.setPreferences(colours(true));
    QImage on = canvasPicture(w);
    QVERIFY(pixelsOf(on, Qt::green) > 1000); // the fill under the curve
    QVERIFY(pixelsOf(on, Qt::red) > 50);
    QVERIFY(pixelsOf(on, Qt::blue) > 50);

    w.setPreferences(colours(false));
    QCOMPARE(w.mainCurve()->style(), QwtPlotCurve::NoCurve);
    QCOMPARE(imported->style(), QwtPlotCurve::NoCurve);
    QImage off = canvasPicture(w);
    QCOMPARE(pixelsOf(off, Qt::green), 0);
    QCOMPARE(pixelsOf(off, Qt::red), 0);
    QVERIFY(pixelsOf(off, Qt::blue) > 50);
}

void TestPlotWindow::axisClicks()
{
    CountingPlot w;
    w.resize(710, 519);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect plot = w.plot()->geometry();
    const QRect canvas = w.plot()->canvas()->geometry(); // in plot coordinates
    QVERIFY(canvas.x() > 4);
    const QPoint leftAxis(plot.x() + canvas.x() / 2, plot.y() + canvas.center().y());
    const QPoint belowCanvas(plot.x() + canvas.center().x(),
                             plot.y() + (canvas.y() + canvas.height() + plot.height()) / 2);
    const QPoint onCanvas = plot.topLeft() + canvas.center();

    pressAt(w, leftAxis, Qt::RightButton);
    QCOMPARE(w.yDialogs, 0);
    pressAt(w, leftAxis, Qt::LeftButton);
    QCOMPARE(w.yDialogs, 1);
    pressAt(w, belowCanvas, Qt::RightButton);
    QCOMPARE(w.xDialogs, 1);
    pressAt(w, belowCanvas, Qt::LeftButton);
    QCOMPARE(w.xDialogs, 2);
    pressAt(w, onCanvas, Qt::LeftButton);
    QCOMPARE(w.yDialogs, 1);
    QCOMPARE(w.xDialogs, 2);
}

void TestPlotWindow::rightDragSelectsLeftDragZooms()
{
    ScriptedDialogs dialogs; // the statistics box
    PlotWindow w;
    w.resize(710, 519);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.setDateAxis(false);
    w.setSeries({0, 100}, {0, 100});
    QwtPlotZoomer *zoomer = nullptr;
    QwtPlotPicker *picker = nullptr;
    for (QwtPlotPicker *p : w.findChildren<QwtPlotPicker *>()) {
        if (auto *z = qobject_cast<QwtPlotZoomer *>(p))
            zoomer = z;
        else
            picker = p;
    }
    QVERIFY(zoomer && picker);
    QSignalSpy selected(picker, qOverload<const QRectF &>(&QwtPlotPicker::selected));
    QWidget *canvas = w.plot()->canvas();
    const QPoint a(canvas->width() / 4, canvas->height() / 4);
    const QPoint b(canvas->width() / 2, canvas->height() / 2);

    drag(canvas, Qt::RightButton, a, b);
    QCOMPARE(selected.size(), 1);
    QCOMPARE(dialogs.titles(), QStringList{"Statistics"});
    const QRectF picked = selected.first().first().toRectF();
    QVERIFY(picked.width() > 10 && picked.height() > 10); // in plot coordinates, 0 .. 100
    QCOMPARE(zoomer->zoomRectIndex(), 0u);

    drag(canvas, Qt::LeftButton, a, b);
    QCOMPARE(selected.size(), 1);
    QCOMPARE(zoomer->zoomRectIndex(), 1u);
    QVERIFY(!w.plot()->axisAutoScale(QwtPlot::xBottom));

    QTest::mouseClick(canvas, Qt::MiddleButton, {}, b);
    QCOMPARE(zoomer->zoomRectIndex(), 0u);
}

void TestPlotWindow::dateAxisSwitch()
{
    PlotWindow w;
    w.setDateAxis(false);
    QVERIFY(!w.dateAxis());
    QCOMPARE(w.plot()->axisScaleDraw(QwtPlot::xBottom)->labelRotation(), 0.0);
    QVERIFY(!dynamic_cast<const QwtDateScaleDraw *>(w.plot()->axisScaleDraw(QwtPlot::xBottom)));
    w.setDateAxis(true);
    QVERIFY(w.dateAxis());
    const auto *dates =
        dynamic_cast<const QwtDateScaleDraw *>(w.plot()->axisScaleDraw(QwtPlot::xBottom));
    QVERIFY(dates);
    QCOMPARE(dates->timeSpec(), Qt::LocalTime);
    QCOMPARE(dates->dateFormat(QwtDate::Second), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QCOMPARE(w.plot()->axisScaleDraw(QwtPlot::xBottom)->labelRotation(), -50.0);
}

// The window's canvas redraws its kept buffer in place; every picture must be
// the one Qwt's own canvas paints: after a replot with new data, after a paint
// of part of it only, and after a resize.
void TestPlotWindow::canvasPaintsAsQwtsOwn()
{
    QwtPlot ours, stock;
    ours.setCanvas(new PlotCanvas(&ours));
    QVector<QPointF> points;
    for (int i = 0; i < 300; ++i)
        points << QPointF(i, std::sin(i / 20.0));
    QwtPlotCurve curves[2];
    int k = 0;
    for (QwtPlot *plot : {&ours, &stock}) {
        plot->setCanvasBackground(QBrush(Qt::gray));
        plot->setAxisScale(QwtPlot::yLeft, -4, 4); // the canvas keeps its size
        curves[k].setSamples(points);
        curves[k++].attach(plot);
        plot->resize(500, 300);
        plot->show();
        QVERIFY(QTest::qWaitForWindowExposed(plot));
        plot->replot();
    }
    const auto same = [&] {
        const QImage a = ours.canvas()->grab().toImage();
        return !a.isNull() && a == stock.canvas()->grab().toImage();
    };
    QVERIFY(same());
    const QImage first = ours.canvas()->grab().toImage();

    for (QPointF &p : points)
        p.ry() = -p.y() * 3;
    for (int i = 0; i < 2; ++i)
        curves[i].setSamples(points);
    ours.replot();
    stock.replot();
    QVERIFY(same());
    QVERIFY(ours.canvas()->grab().toImage() != first);

    ours.canvas()->repaint(QRect(10, 10, 60, 40)); // a rubber band passing by
    QVERIFY(same());

    // Growing past the buffer, then shrinking a little within it (as axis
    // labels make the canvas do), which repaints without a replot.
    for (const QSize &size : {QSize(640, 360), QSize(630, 354)}) {
        for (QwtPlot *plot : {&ours, &stock}) {
            const int before = plot->canvas()->width();
            plot->resize(size);
            QVERIFY(waitFor([&] { return plot->canvas()->width() != before; }));
        }
        QVERIFY(same());
    }
    QVERIFY(qobject_cast<PlotCanvas *>(PlotWindow().plot()->canvas()));
}

QTEST_MAIN(TestPlotWindow)
#include "test_plotwindow.moc"
