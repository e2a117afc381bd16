#include "plot/samplering.h"
#include "service/srdadata.h"

#include <QBuffer>
#include <QDateTime>
#include <QtTest>

#include <limits>

// The SRDA table on its own: storage across blocks, the CSV it exports and
// the memory limit that keeps a long collection from exhausting the machine.
class TestSrdaData : public QObject
{
    Q_OBJECT
private slots:
    void exportWritesEveryRowExactly_data();
    void exportWritesEveryRowExactly();
    void blocksUpToTheMemoryLimit_data();
    void blocksUpToTheMemoryLimit();
    void plotTailPlotsAsTheWholeColumns_data();
    void plotTailPlotsAsTheWholeColumns();
};

namespace {

// A machine that has room for only so many blocks.
class ShortOfMemory : public SrdaData
{
public:
    int blocksLeft = 0;

protected:
    double *allocateBlock(size_t values) override
    {
        return blocksLeft-- > 0 ? SrdaData::allocateBlock(values) : nullptr;
    }
};

} // namespace

void TestSrdaData::exportWritesEveryRowExactly_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QByteArray>("fields");
    // Six significant digits would turn 99.1234567 into 99.1235 and lose the
    // ring-down detail the export is for.
    QTest::newRow("long decimals")
        << QVector<double>{99.1234567, 0.1} << QByteArray("99.1234567,0.1,");
    QTest::newRow("not a number is nan")
        << QVector<double>{std::numeric_limits<double>::quiet_NaN(), -2} << QByteArray("nan,-2,");
    QTest::newRow("large and tiny")
        << QVector<double>{1e21, 1.5e-9} << QByteArray("1e+21,1.5e-09,");
}

void TestSrdaData::exportWritesEveryRowExactly()
{
    QFETCH(QVector<double>, values);
    QFETCH(QByteArray, fields);
    SrdaData data;
    data.setColumns({"Date/Time", "Tau", "TauStd"});
    const QDateTime t0(QDate(2025, 1, 31), QTime(23, 59, 59));
    const double row1[] = {double(t0.toMSecsSinceEpoch()), values.at(0), values.at(1)};
    const double row2[] = {double(t0.addSecs(1).toMSecsSinceEpoch()), 3, 4};
    QVERIFY(data.appendRow(row1));
    QVERIFY(data.appendRow(row2));
    QBuffer out;
    QVERIFY(out.open(QIODevice::WriteOnly) && data.writeCsv(out));
    QCOMPARE(out.data(), "Date/Time,Tau,TauStd,\n"
                         "2025-01-31 23:59:59," +
                             fields +
                             "\n"
                             "2025-02-01 00:00:00,3,4,\n");
}

void TestSrdaData::blocksUpToTheMemoryLimit_data()
{
    QTest::addColumn<bool>("limit"); // else the machine has memory for two blocks only
    QTest::newRow("memory limit") << true;
    QTest::newRow("no memory for a third block") << false;
}

void TestSrdaData::blocksUpToTheMemoryLimit()
{
    QFETCH(bool, limit);
    ShortOfMemory data;
    data.setColumns({"Date/Time", "N"});
    const qint64 block = qint64(SrdaData::blockRows) * 2 * sizeof(double);
    if (limit)
        data.setMemoryLimit(2 * block + block / 2);
    data.blocksLeft = limit ? 100 : 2;
    qint64 stored = 0;
    for (;; ++stored) {
        const double row[] = {1000.0 * stored, double(stored)};
        if (!data.appendRow(row))
            break;
    }
    // What fits in the limit stays, every row where it was put across the
    // block boundary; the notice comes once.
    QCOMPARE(stored, qint64(2 * SrdaData::blockRows));
    QCOMPARE(data.rowCount(), stored);
    QVERIFY(data.bytesUsed() <= data.memoryLimit());
    const QVector<double> ns = data.column(1);
    QCOMPARE(ns.size(), int(stored));
    for (int i = 0; i < ns.size(); ++i)
        QCOMPARE(ns.at(i), double(i));
    QVERIFY(data.limitReached());
    QVERIFY(data.takeLimitNotice());
    const double row[] = {1, 2};
    QVERIFY(!data.appendRow(row));
    QVERIFY(!data.takeLimitNotice());
    QCOMPARE(data.rowCount(), stored);

    // Clear frees it all; after a new header rows are stored again.
    data.clear();
    QCOMPARE(data.bytesUsed(), qint64(0));
    QVERIFY(!data.limitReached());
    QVERIFY(!data.appendRow(row)); // no header: no columns to match
    data.setColumns({"Date/Time", "Tau"});
    data.blocksLeft = 1;
    QVERIFY(data.appendRow(row));
}

void TestSrdaData::plotTailPlotsAsTheWholeColumns_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("gapEvery"); // every so many rows a NaN or an infinity
    QTest::newRow("few rows") << 1000 << 7;
    QTest::newRow("the ring's worth") << SampleRing::Capacity << 0;
    QTest::newRow("a little more") << SampleRing::Capacity + 5 << 0;
    QTest::newRow("more than the ring, with gaps") << SampleRing::Capacity + 3000 << 11;
    QTest::newRow("well past two rings, with gaps") << 2 * SampleRing::Capacity + 12345 << 13;
}

// Only the last points the plot keeps are copied, yet the plot shows exactly
// what it would from the whole columns.
void TestSrdaData::plotTailPlotsAsTheWholeColumns()
{
    QFETCH(int, rows);
    QFETCH(int, gapEvery);
    SrdaData data;
    data.setColumns({"Date/Time", "Tau", "Loss"});
    const double gaps[] = {std::numeric_limits<double>::quiet_NaN(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()};
    for (int r = 0; r < rows; ++r) {
        const bool gap = gapEvery && r % gapEvery == 0;
        const double row[] = {1000.0 * r, gap ? gaps[r % 3] : 0.5 * r, gap ? 1.0 : -r};
        QVERIFY(data.appendRow(row));
    }
    QVector<double> xs, ys;
    const qint64 before = data.plotTail(2, 1, SampleRing::Capacity, xs, ys);
    QVERIFY(xs.size() <= SampleRing::Capacity);
    SampleRing tail, whole;
    tail.setSeries(xs, ys, before);
    whole.setSeries(data.column(2), data.column(1));
    QCOMPARE(tail.sampleCount(), whole.sampleCount());
    QCOMPARE(tail.wrapped(), whole.wrapped());
    QCOMPARE(QVector<double>(tail.x(), tail.x() + tail.size()),
             QVector<double>(whole.x(), whole.x() + whole.size()));
    QCOMPARE(QVector<double>(tail.y(), tail.y() + tail.size()),
             QVector<double>(whole.y(), whole.y() + whole.size()));
}

QTEST_MAIN(TestSrdaData)
#include "test_srdadata.moc"
