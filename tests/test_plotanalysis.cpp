#include "plot/runningmedian.h"
#include "plot/samplering.h"
#include "plot/selectionstats.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

namespace {

const double missing = std::nan("");

// Points at x = 1, 2, 3, ... with the given values.
void fill(SampleRing &ring, const QVector<double> &values)
{
    ring.clear();
    for (int i = 0; i < values.size(); ++i)
        ring.append(i + 1, values[i]);
}

} // namespace

class TestPlotAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void statistics_data();
    void statistics();
    void median();
    void runningMedianAsDefined_data();
    void runningMedianAsDefined();
};

void TestPlotAnalysis::statistics_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("right");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("mean");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<double>("stdDev");

    QTest::newRow("1 2 3 4, divisor 4")
        << QVector<double>{1, 2, 3, 4} << 0.5 << 4.5 << 4 << 2.5 << 1.0 << 4.0 << std::sqrt(1.25);
    // Points at x = 1 and x = 4 lie on the edges and are left out.
    QTest::newRow("edges left out")
        << QVector<double>{1, 2, 3, 4} << 1.0 << 4.0 << 2 << 2.5 << 2.0 << 3.0 << 0.5;
    QTest::newRow("nothing inside")
        << QVector<double>{1, 2} << 2.2 << 2.8 << 0 << 0.0 << 0.0 << 0.0 << 0.0;
    // All values beyond the old starting figures of +-99999999.
    QTest::newRow("all above 1e8")
        << QVector<double>{2e8, 3e8} << 0.0 << 3.0 << 2 << 2.5e8 << 2e8 << 3e8 << 0.5e8;
}

void TestPlotAnalysis::statistics()
{
    QFETCH(QVector<double>, values);
    QFETCH(double, left);
    QFETCH(double, right);
    SampleRing ring;
    fill(ring, values);
    const SelectionStats s = selectionStats(ring, left, right, false);
    QTEST(s.count, "count");
    QTEST(s.mean, "mean");
    QTEST(s.minimum, "minimum");
    QTEST(s.maximum, "maximum");
    QTEST(s.stdDev, "stdDev");
    QVERIFY(!s.filtered);
}

void TestPlotAnalysis::median()
{
    std::vector<double> scratch;
    const double even[] = {1, 5, 2, 9}, withNaN[] = {3, missing, 1};
    QCOMPARE(medianOf(even, 0, 4, scratch), 5.0);    // the upper middle
    QCOMPARE(medianOf(withNaN, 0, 3, scratch), 3.0); // NaN skipped
}

void TestPlotAnalysis::runningMedianAsDefined_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("window");
    QTest::addColumn<int>("nanPercent");
    QTest::newRow("window 3, NaN") << 200 << 3 << 30;
    QTest::newRow("short series") << 7 << 20 << 10;
    QTest::newRow("window 999") << 5000 << 999 << 10;
}

// Against the plain definition: the median of the window before each point.
void TestPlotAnalysis::runningMedianAsDefined()
{
    QFETCH(int, count);
    QFETCH(int, window);
    QFETCH(int, nanPercent);
    QRandomGenerator random(quint32(count * 1000 + window));
    std::vector<double> ys(static_cast<size_t>(count));
    for (double &y : ys) {
        // Few distinct values where the window is small, so equal values meet.
        y = int(random.bounded(100)) < nanPercent ? missing : double(random.bounded(window * 3));
        if (window > 100)
            y += random.generateDouble();
    }
    ys[0] = 1; // the first filtered value is the first raw value, whatever it is
    std::vector<double> out(static_cast<size_t>(count), -1);
    runningMedian(ys.data(), count, window, out.data());
    std::vector<double> scratch;
    QCOMPARE(out[0], 1.0);
    for (int i = 1; i < count; ++i) {
        const double expected = medianOf(ys.data(), std::max(0, i - window), i, scratch);
        const double got = out[size_t(i)];
        if (!(got == expected || (std::isnan(expected) && std::isnan(got))))
            QFAIL(qPrintable(
                QStringLiteral("point %1: %2, expected %3").arg(i).arg(got).arg(expected)));
    }
}

QTEST_MAIN(TestPlotAnalysis)
#include "test_plotanalysis.moc"
