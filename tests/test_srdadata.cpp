#include "service/srdadata.h"

#include <QBuffer>
#include <QDateTime>
#include <QtTest>

#include <cmath>
#include <limits>

// The SRDA table on its own: storage across blocks, the CSV it exports and
// the memory limit that keeps a long collection from exhausting the machine.
class TestSrdaData : public QObject
{
    Q_OBJECT
private slots:
    void exportWritesEveryRowExactly_data();
    void exportWritesEveryRowExactly();
    void rowsSurviveBlockBoundaries();
    void memoryLimitStopsStoringOnce();
};

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();

QByteArray exported(const SrdaData &data)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    if (!data.writeCsv(out))
        return "write failed";
    return out.data();
}

} // namespace

void TestSrdaData::exportWritesEveryRowExactly_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QByteArray>("fields");
    // Six significant digits would turn 99.1234567 into 99.1235 and lose the
    // ring-down detail the export is for.
    QTest::newRow("long decimals")
        << QVector<double>{99.1234567, 0.1} << QByteArray("99.1234567,0.1,");
    QTest::newRow("not a number is an empty field")
        << QVector<double>{notANumber, -2} << QByteArray(",-2,");
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
    QCOMPARE(exported(data), "Date/Time,Tau,TauStd,\n"
                             "2025-01-31 23:59:59," +
                                 fields +
                                 "\n"
                                 "2025-02-01 00:00:00,3,4,\n");
}

void TestSrdaData::rowsSurviveBlockBoundaries()
{
    SrdaData data;
    data.setColumns({"Date/Time", "N", "Half"});
    const int n = 2 * SrdaData::blockRows + 3;
    for (int i = 0; i < n; ++i) {
        const double row[] = {1000.0 * i, double(i), i / 2.0};
        QVERIFY(data.appendRow(row));
    }
    QCOMPARE(data.rowCount(), qint64(n));
    const QVector<double> ns = data.column(1);
    QCOMPARE(ns.size(), n);
    for (int i = 0; i < n; ++i) {
        QCOMPARE(ns.at(i), double(i));
        QCOMPARE(data.value(i, 2), i / 2.0);
    }
    const QList<QByteArray> lines = exported(data).split('\n');
    QCOMPARE(lines.size(), n + 2); // header, rows, nothing after the last line end
    QVERIFY(lines.at(n).endsWith(',' + QByteArray::number(n - 1) + ',' +
                                 QByteArray::number((n - 1) / 2.0) + ','));

    // A new header starts an empty table.
    data.setColumns({"Date/Time", "Tau"});
    QCOMPARE(data.rowCount(), qint64(0));
    QCOMPARE(data.bytesUsed(), qint64(0));
}

void TestSrdaData::memoryLimitStopsStoringOnce()
{
    SrdaData data;
    data.setColumns({"Date/Time", "Tau"});
    const qint64 block = qint64(SrdaData::blockRows) * 2 * sizeof(double);
    data.setMemoryLimit(2 * block + block / 2);
    const double row[] = {1, 2};
    qint64 stored = 0;
    while (data.appendRow(row))
        ++stored;
    // What fits in the limit stays; the notice comes once.
    QCOMPARE(stored, qint64(2 * SrdaData::blockRows));
    QCOMPARE(data.rowCount(), stored);
    QVERIFY(data.bytesUsed() <= data.memoryLimit());
    QVERIFY(data.limitReached());
    QVERIFY(data.takeLimitNotice());
    QVERIFY(!data.appendRow(row));
    QVERIFY(!data.takeLimitNotice());
    QCOMPARE(data.rowCount(), stored);
    QCOMPARE(SrdaData::limitText(stored),
             QString("Memory limit reached: 8192 rows kept; export and clear to continue"));

    // Clear frees it all; after a new header rows are stored again.
    data.clear();
    QVERIFY(!data.limitReached());
    QVERIFY(!data.appendRow(row)); // no header: no columns to match
    data.setColumns({"Date/Time", "Tau"});
    QVERIFY(data.appendRow(row));

    QVERIFY(SrdaData::defaultMemoryLimit() > 0);
}

QTEST_MAIN(TestSrdaData)
#include "test_srdadata.moc"
