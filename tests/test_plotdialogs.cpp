#include "plot/axisdialogs.h"
#include "plot/plotwindow.h"
#include "support/testsupport.h"

#include <qwt_plot.h>
#include <qwt_plot_curve.h>
#include <qwt_plot_marker.h>

#include <QComboBox>
#include <QLineEdit>
#include <QSettings>

namespace {

// Opens the axis dialogs as a click beside the canvas does.
class AxisPlot : public PlotWindow
{
public:
    using PlotWindow::openXAxisDialog;
    using PlotWindow::openYAxisDialog;
};

void showRange(PlotWindow &w, int axis, double lo, double hi)
{
    w.plot()->setAxisScale(axis, lo, hi);
    w.replotNow();
}

// Vertical marker lines and green curves drawn: the statistics box's lines.
QPair<int, int> statisticsLines(PlotWindow &w)
{
    QPair<int, int> n(0, 0);
    for (QwtPlotItem *item : w.plot()->itemList(QwtPlotItem::Rtti_PlotMarker))
        n.first += static_cast<QwtPlotMarker *>(item)->lineStyle() == QwtPlotMarker::VLine;
    for (QwtPlotItem *item : w.plot()->itemList(QwtPlotItem::Rtti_PlotCurve))
        n.second += static_cast<QwtPlotCurve *>(item)->pen().color() == QColor(Qt::green);
    return n;
}

const QDateTime t0(QDate(2025, 1, 31), QTime(12, 0, 0));

} // namespace

class TestPlotDialogs : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear(); }
    void statisticsBoxShowsLinesWhileOpen();
    void filter();
    void rangeDialogs_data();
    void rangeDialogs();
    void dateXDialog();
};

void TestPlotDialogs::statisticsBoxShowsLinesWhileOpen()
{
    ScriptedDialogs dialogs;
    PlotWindow w;
    w.seriesName = QStringLiteral("Concentration");
    for (int i = 0; i < 4; ++i)
        w.addTimePoint(t0.addSecs(i), QString::number(i + 1));
    QPair<int, int> linesOpen;
    dialogs.whileOpen = [&](const Dialogs::Message &) { linesOpen = statisticsLines(w); };
    const double left = t0.toMSecsSinceEpoch() - 500.0;
    w.picked(QRectF(left, 0, 3725000, 10));
    QCOMPARE(dialogs.messages.size(), 1);
    QCOMPARE(dialogs.messages[0].text,
             QStringLiteral("In selected range:\n\nConcentration:\nAverage = 2.5\n"
                            "Minimum = 1\nMaximum = 4\nMax - Min = 3\nStd.Dev = 1.11803"
                            "\n\nDuration:\n0 Days +\n01:02:05\n(hh:mm:ss)"));
    QCOMPARE(linesOpen, qMakePair(2, 3));
    QCOMPARE(statisticsLines(w), qMakePair(0, 0)); // closing the box hides them
}

void TestPlotDialogs::filter()
{
    ScriptedDialogs dialogs;
    PlotWindow w;
    w.setPlotTitle(QStringLiteral("SRDA Tau"));
    const QVector<double> ys{4, 8, 1, 6, 2, 9};
    for (int i = 0; i < ys.size(); ++i)
        w.addTimePoint(t0.addSecs(i), QString::number(ys[i]));
    w.filterWindowField()->setText(QStringLiteral("1"));
    w.filter();
    QCOMPARE(w.filterWindowField()->text(), QStringLiteral("3"));
    QVERIFY(w.filtering());
    const double *f = w.samples().filtered();
    // Each value is the median of up to 3 points before it.
    QCOMPARE((QVector<double>{f[0], f[1], f[2], f[3], f[4], f[5]}),
             (QVector<double>{4, 4, 8, 4, 6, 2}));
    QCOMPARE(int(w.filterCurve()->dataSize()), 6);
    // New points extend the filtered values; the statistics get their block.
    w.addTimePoint(t0.addSecs(6), QStringLiteral("3"));
    QCOMPARE(f[6], 6.0); // median of 6, 2, 9
    w.picked(QRectF(t0.toMSecsSinceEpoch() - 1.0, 0, 10000, 1));
    QVERIFY(dialogs.messages[0].text.contains(QStringLiteral("\n\nFiltered Data:\nAverage = ")));
}

void TestPlotDialogs::rangeDialogs_data()
{
    QTest::addColumn<bool>("xAxis");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::newRow("Y, only Max: lower stays")
        << false << "50" << QString() << true << 100.0 << 50.0;
    QTest::newRow("X, only Min") << true << QString() << "150" << true << 150.0 << 200.0;
    QTest::newRow("X, cancel keeps the range") << true << "900"
                                               << "0" << false << 100.0 << 200.0;
}

// Both axes show 100 .. 200. Either button of the X dialog ends automatic X scaling.
void TestPlotDialogs::rangeDialogs()
{
    QFETCH(bool, xAxis);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QFETCH(bool, ok);
    ScriptedDialogs dialogs;
    AxisPlot w;
    w.setDateAxis(false);
    const int axis = xAxis ? QwtPlot::xBottom : QwtPlot::yLeft;
    showRange(w, axis, 100, 200);
    w.plot()->setAxisAutoScale(axis, true); // shown 100 .. 200 until the next replot
    dialogs.onDialog = [&](QDialog &dialog) {
        auto *range = dynamic_cast<RangeDialog *>(&dialog);
        if (range) {
            range->upperField->setText(upper);
            range->lowerField->setText(lower);
        }
        return range && ok ? int(QDialog::Accepted) : int(QDialog::Rejected);
    };
    xAxis ? w.openXAxisDialog() : w.openYAxisDialog();
    QCOMPARE(dialogs.dialogTitles, QStringList{"Axis Adjust"});
    QTEST(w.plot()->axisInterval(axis).minValue(), "minimum");
    QTEST(w.plot()->axisInterval(axis).maxValue(), "maximum");
    QCOMPARE(w.plot()->axisAutoScale(axis), !ok && !xAxis);
}

void TestPlotDialogs::dateXDialog()
{
    ScriptedDialogs dialogs;
    AxisPlot w;
    const QDateTime from(QDate(2025, 3, 5), QTime(7, 8));
    const QDateTime to(QDate(2025, 3, 6), QTime(21, 45));
    showRange(w, QwtPlot::xBottom, from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch());
    QStringList preselected;
    dialogs.onDialog = [&](QDialog &dialog) {
        auto *d = dynamic_cast<DateRangeDialog *>(&dialog);
        for (const DateRangeDialog::Row *row : {&d->minRow, &d->maxRow})
            preselected << row->day->currentText() + " " +
                               QString::number(row->month->currentIndex() + 1) + " " +
                               row->year->currentText() + " " + row->hour->currentText() + ":" +
                               row->minute->currentText();
        return int(QDialog::Rejected);
    };
    w.openXAxisDialog();
    QCOMPARE(preselected, (QStringList{"5 3 2025 07:08", "6 3 2025 21:45"}));
    QCOMPARE(w.plot()->axisInterval(QwtPlot::xBottom).minValue(), double(from.toMSecsSinceEpoch()));
    QCOMPARE(w.plot()->axisInterval(QwtPlot::xBottom).maxValue(), double(to.toMSecsSinceEpoch()));
    QVERIFY(!w.plot()->axisAutoScale(QwtPlot::xBottom));
}

QTEST_MAIN(TestPlotDialogs)
#include "test_plotdialogs.moc"
