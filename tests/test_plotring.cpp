#include "plot/samplering.h"

#include <QtTest>

#include <cmath>

class TestPlotRing : public QObject
{
    Q_OBJECT
private slots:
    void fillsThenWraps();
    void setSeriesSkipsWhatCannotBePlaced_data();
    void setSeriesSkipsWhatCannotBePlaced();
    void setSeriesKeepsTheLastCapacityPairs();
    void setSeriesAfterWrapStartsOver();
    void setSeriesOfUnequalLengthsUsesTheShorter();
};

void TestPlotRing::fillsThenWraps()
{
    SampleRing ring;
    const quint64 start = ring.revision();
    for (int i = 0; i < SampleRing::Capacity - 1; ++i)
        ring.append(i, -i);
    QCOMPARE(ring.sampleCount(), SampleRing::Capacity - 1);
    QVERIFY(!ring.wrapped());
    QCOMPARE(ring.size(), SampleRing::Capacity - 1);

    // The last slot is filled, then the ring wraps.
    QCOMPARE(ring.append(1e6, 1.0), SampleRing::Capacity - 1);
    QCOMPARE(ring.sampleCount(), 0);
    QVERIFY(ring.wrapped());
    QCOMPARE(ring.size(), SampleRing::Capacity);

    // The next point overwrites the oldest, at index 0.
    QCOMPARE(ring.append(2e6, 2.0), 0);
    QCOMPARE(ring.sampleCount(), 1);
    QCOMPARE(ring.x()[0], 2e6);
    QCOMPARE(ring.x()[1], 1.0);
    // Oldest first: index 1 (the second point ever), newest last: index 0.
    QCOMPARE(ring.chronologicalIndex(0), 1);
    QCOMPARE(ring.chronologicalIndex(SampleRing::Capacity - 1), 0);
    QVERIFY(ring.revision() > start);
}

void TestPlotRing::setSeriesSkipsWhatCannotBePlaced_data()
{
    QTest::addColumn<double>("gap");
    QTest::newRow("NaN") << std::nan("");
    QTest::newRow("infinity") << HUGE_VAL;
    QTest::newRow("minus infinity") << -HUGE_VAL;
}

void TestPlotRing::setSeriesSkipsWhatCannotBePlaced()
{
    QFETCH(double, gap);
    SampleRing ring;
    ring.setSeries({1, gap, 3, 4, 5}, {10, 20, gap, 40, 50});
    QCOMPARE(ring.sampleCount(), 3);
    QVERIFY(!ring.wrapped());
    QCOMPARE(QVector<double>(ring.x(), ring.x() + 3), (QVector<double>{1, 4, 5}));
    QCOMPARE(QVector<double>(ring.y(), ring.y() + 3), (QVector<double>{10, 40, 50}));
}

void TestPlotRing::setSeriesKeepsTheLastCapacityPairs()
{
    SampleRing ring;
    QVector<double> xs(250000), ys(250000);
    for (int i = 0; i < xs.size(); ++i) {
        xs[i] = i;
        ys[i] = 2.0 * i;
    }
    ring.setSeries(xs, ys);
    QVERIFY(ring.wrapped());
    QCOMPARE(ring.sampleCount(), 50000);
    // Oldest kept pair is 50000, newest 249999.
    QCOMPARE(ring.x()[ring.chronologicalIndex(0)], 50000.0);
    QCOMPARE(ring.x()[ring.chronologicalIndex(SampleRing::Capacity - 1)], 249999.0);
    QCOMPARE(ring.y()[49999], 2.0 * 249999);
}

void TestPlotRing::setSeriesAfterWrapStartsOver()
{
    SampleRing ring;
    for (int i = 0; i < SampleRing::Capacity + 5; ++i)
        ring.append(i, i);
    QVERIFY(ring.wrapped());
    QVector<double> xs, ys;
    for (int i = 0; i < 10; ++i) {
        xs << 100 + i;
        ys << -i;
    }
    ring.setSeries(xs, ys);
    QVERIFY(!ring.wrapped());
    QCOMPARE(ring.sampleCount(), 10);
    QCOMPARE(ring.size(), 10);
    QCOMPARE(ring.x()[9], 109.0);
}

void TestPlotRing::setSeriesOfUnequalLengthsUsesTheShorter()
{
    SampleRing ring;
    ring.setSeries({1, 2, 3}, {7});
    QCOMPARE(ring.sampleCount(), 1);
    ring.setSeries({}, {1, 2});
    QCOMPARE(ring.sampleCount(), 0);
}

QTEST_MAIN(TestPlotRing)
#include "test_plotring.moc"
