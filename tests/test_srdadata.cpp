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
    void blocksUpToTheMemoryLimit();
};

void TestSrdaData::exportWritesEveryRowExactly_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<QByteArray>("fields");
    // Six significant digits would turn 99.1234567 into 99.1235 and lose the
    // ring-down detail the export is for.
    QTest::newRow("long decimals")
        << QVector<double>{99.1234567, 0.1} << QByteArray("99.1234567,0.1,");
    QTest::newRow("not a number is an empty field")
        << QVector<double>{std::numeric_limits<double>::quiet_NaN(), -2} << QByteArray(",-2,");
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

void TestSrdaData::blocksUpToTheMemoryLimit()
{
    SrdaData data;
    data.setColumns({"Date/Time", "N"});
    const qint64 block = qint64(SrdaData::blockRows) * 2 * sizeof(double);
    data.setMemoryLimit(2 * block + block / 2);
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
    QVERIFY(data.appendRow(row));
}

QTEST_MAIN(TestSrdaData)
#include "test_srdadata.moc"
