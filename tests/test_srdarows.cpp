#include "plot/plotwindow.h"
#include "service/srda.h"
#include "service/srdadata.h"
#include "service/srdarows.h"

#include <QComboBox>
#include <QDateTime>
#include <QtTest>

#include <cmath>
#include <ctime>

namespace {

// A reader on its own table, recording what it reports.
struct Fixture
{
    SrdaData data;
    SrdaRowReader reader{data};
    QStringList calls;
    QList<QVector<double>> rows;
    Fixture()
    {
        reader.columnsSet = [this] { calls << "columnsSet"; };
        reader.rowRead = [this](const double *row) {
            rows << QVector<double>(row, row + data.columnCount());
        };
        reader.limitReached = [this](qint64 kept) { calls << QString("limit %1").arg(kept); };
    }
    void read(const QString &text) { reader.read(text.toLatin1()); }
};

QString srdaRow(const QString &time, const QStringList &values)
{
    return time + '\t' + values.join('\t') + "\r\n";
}

const char *const statusReport = "Filter : 100\r\nConc : 0.21\r\nFaults : 0\r\n"
                                 "Laser Status : Processing ringdown\r\n";

} // namespace

class TestSrdaRows : public QObject
{
    Q_OBJECT
private slots:
    void srdaHeaderAndRows();
    void srdaRowsInOneChunk();
    void srdaIgnoresOtherReplies();
    void srdaDropsColumnsBeforeDateTime();
    void rowsPastTheLimitStillReachThePlot();
    void rowTimeMatchesQDateTime_data();
    void rowTimeMatchesQDateTime();
    void srdaTimesAcrossClockChanges_data();
    void srdaTimesAcrossClockChanges();
    void tabReadsItsReplies();
};

void TestSrdaRows::srdaHeaderAndRows()
{
    Fixture f;
    f.data.setColumns({"Date/Time", "Tau"}); // left from an earlier collection
    const double old[] = {1.0, 2.0};
    QVERIFY(f.data.appendRow(old));
    f.read("Date/Time\tTau\tConc\r\n");
    // The line end is no column of its own.
    QCOMPARE(f.data.columns(), (QStringList{"Date/Time", "Tau", "Conc"}));
    QCOMPARE(f.data.rowCount(), 0);
    QCOMPARE(f.calls, QStringList{"columnsSet"});

    f.read(srdaRow("2024-3-7 9:05:01", {"99.5", "bad"}));
    f.read(srdaRow("2024-3-7 9:05:01", {"99.6", "0.3"}));
    f.read(srdaRow("2024-3-7 9:05:02", {"99.7", "0.4"}));
    const SrdaData &data = f.data;
    const double t0 = QDateTime(QDate(2024, 3, 7), QTime(9, 5, 1)).toMSecsSinceEpoch();
    QCOMPARE(data.column(0), (QVector<double>{t0, t0, t0 + 1000}));
    QCOMPARE(data.column(1), (QVector<double>{99.5, 99.6, 99.7}));
    QVERIFY(std::isnan(data.value(0, 2)));
    QCOMPARE(data.value(1, 2), 0.3);
    QCOMPARE(f.rows.size(), 3);
    QCOMPARE(f.rows.at(1), (QVector<double>{t0, 99.6, 0.3}));

    // Rows that do not fit the header or carry no valid time are dropped.
    f.read(srdaRow("2024-3-7 9:05:03", {"99.8"}));
    f.read(srdaRow("2024-3-7 25:05:03", {"99.8", "0.5"}));
    f.read(srdaRow("not a time", {"99.8", "0.5"}));
    QCOMPARE(f.rows.size(), 3);
    QCOMPARE(data.rowCount(), 3);
}

void TestSrdaRows::srdaRowsInOneChunk()
{
    // A fast stream delivers many rows per read; none may be lost.
    Fixture f;
    QString chunk = "Date/Time\tTau\r\n";
    for (int i = 0; i < 5; ++i)
        chunk += srdaRow(QString("2024-3-7 9:05:0%1").arg(i), {QString::number(i)});
    f.read(chunk);
    QCOMPARE(f.data.columnCount(), 2);
    QCOMPARE(f.rows.size(), 5);
    QCOMPARE(f.data.column(1), (QVector<double>{0, 1, 2, 3, 4}));
}

void TestSrdaRows::srdaIgnoresOtherReplies()
{
    Fixture f;
    f.read(statusReport);
    // And rows before any header match no column count.
    f.read(srdaRow("2024-3-7 9:05:01", {"1"}));
    QVERIFY(f.rows.isEmpty());
    QVERIFY(f.calls.isEmpty());
    QCOMPARE(f.data.columnCount(), 0);
}

void TestSrdaRows::srdaDropsColumnsBeforeDateTime()
{
    Fixture f;
    f.read("SRDA\tN\tDate/Time\tTau\n");
    QCOMPARE(f.data.columns(), (QStringList{"Date/Time", "Tau"}));
    // '|' is a column separator too.
    f.read("2024-3-7 9:05:01|42\n");
    QCOMPARE(f.data.column(1), QVector<double>{42});
}

void TestSrdaRows::rowsPastTheLimitStillReachThePlot()
{
    Fixture f;
    f.read("Date/Time\tTau\n");
    // Room for one block of rows only.
    f.data.setMemoryLimit(qint64(SrdaData::blockRows) * 2 * sizeof(double));
    QString chunk;
    for (int i = 0; i < SrdaData::blockRows + 3; ++i)
        chunk += srdaRow("2024-3-7 9:05:01", {QString::number(i)});
    f.read(chunk);
    QCOMPARE(f.data.rowCount(), qint64(SrdaData::blockRows));
    QCOMPARE(f.rows.size(), SrdaData::blockRows + 3);
    QCOMPARE(f.calls, (QStringList{"columnsSet", QString("limit %1").arg(SrdaData::blockRows)}));
}

void TestSrdaRows::rowTimeMatchesQDateTime_data()
{
    QTest::addColumn<QString>("text");
    for (const char *t : {"2024-1-5 10:00:00",
                          "2024-01-05 10:00:00",
                          "2024-1-5 9:00:00",
                          "2024-1-5 09:00:00",
                          "2024-12-31 23:59:59",
                          "2024-2-29 0:00:00",
                          "2023-2-29 0:00:00",
                          "24-1-5 10:00:00",
                          "02024-1-5 10:00:00",
                          "2024-13-5 10:00:00",
                          "2024-0-5 10:00:00",
                          "2024-1-0 10:00:00",
                          "2024-2-30 10:00:00",
                          "2024-1-5 24:00:00",
                          "2024-1-5 10:0:00",
                          "2024-1-5 10:00:0",
                          "2024-1-5 10:60:00",
                          "2024-1-5 10:00:60",
                          " 2024-1-5 10:00:00",
                          "2024-1-5 10:00:00 ",
                          "2024-1-5  10:00:00",
                          "+2024-1-5 10:00:00",
                          "2024-001-5 10:00:00",
                          "2024-1-5 010:00:00",
                          "0000-1-1 00:00:00",
                          "2024-1-5 10:00:00.5",
                          "2024-1-5T10:00:00",
                          "2024-1-5 10:00",
                          "2024-1-5 10:00:00\r",
                          "2024-1- 5 10:00:00",
                          "",
                          "2024"})
        QTest::newRow(t) << QString(t);
}

void TestSrdaRows::rowTimeMatchesQDateTime()
{
    QFETCH(QString, text);
    const QDateTime reference = QDateTime::fromString(text, "yyyy-M-d H:mm:ss");
    QDate date;
    QTime time;
    const bool ok = SrdaRowReader::readRowTime(QStringRef(&text), date, time);
    QCOMPARE(ok, reference.isValid());
    if (ok)
        QCOMPARE(QDateTime(date, time), reference);
}

void TestSrdaRows::srdaTimesAcrossClockChanges_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QStringList>("times");
    const QStringList berlin{"2024-3-31 1:59:59",  "2024-3-31 2:00:00",   "2024-3-31 2:30:00",
                             "2024-3-31 3:00:00",  "2024-3-31 3:00:01",   "2024-10-27 1:59:59",
                             "2024-10-27 3:00:00", "2024-12-31 23:59:59", "2025-1-1 0:00:00"};
    QTest::newRow("Berlin") << QByteArray("Europe/Berlin") << berlin;
    // Half-hour shift at 2:00 on both changes.
    QTest::newRow("Lord Howe") << QByteArray("Australia/Lord_Howe")
                               << QStringList{"2024-4-7 1:29:59",  "2024-4-7 2:00:00",
                                              "2024-10-6 1:59:59", "2024-10-6 2:00:00",
                                              "2024-10-6 2:15:00", "2024-10-6 2:30:00"};
    QTest::newRow("UTC") << QByteArray("UTC") << berlin;
}

void TestSrdaRows::srdaTimesAcrossClockChanges()
{
    // The row times must be what QDateTime makes of them, whatever the local clock
    // does. (Times in the hour that repeats when clocks go back are ambiguous in
    // the row format itself, so they are left out.)
    QFETCH(QByteArray, zone);
    QFETCH(QStringList, times);
    const QByteArray saved = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    Fixture f;
    f.read("Date/Time\tTau\r\n");
    QVector<double> expected;
    for (const QString &t : times) {
        f.read(srdaRow(t, {"1"}));
        const QDateTime reference = QDateTime::fromString(t, "yyyy-M-d H:mm:ss");
        if (reference.isValid())
            expected << double(reference.toMSecsSinceEpoch());
    }
    const QVector<double> got = f.data.column(0);
    if (saved.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", saved);
    tzset();
    QCOMPARE(got, expected);
}

void TestSrdaRows::tabReadsItsReplies()
{
    // The tab is the collection: its replies fill its table, the selectors and the live plot.
    SRDA srda;
    QSignalSpy columns(&srda, &SRDA::columnsReady);
    connect(&srda, &SRDA::columnsReady, &srda, &SRDA::updateSRDAColumns);
    srda.reply("Date/Time\tTau\tTauStd\r\n" +
               srdaRow("2024-3-7 9:05:01", {"99.5", "0.2"}).toLatin1());
    QCOMPARE(columns.count(), 1);
    QCOMPARE(srda.xSelector->count(), 3);
    QCOMPARE(srda.plotWindow()->sampleCount(), 0); // Y at Date/Time: no number to plot
    srda.ySelector->setCurrentIndex(2);
    srda.reply(srdaRow("2024-3-7 9:05:02", {"99.6", "0.3"}).toLatin1() +
               srdaRow("2024-3-7 9:05:03", {"99.7", "x"}).toLatin1());
    QCOMPARE(srda.data().rowCount(), qint64(3));
    // TauStd against time: the row whose TauStd is no number adds no point.
    QCOMPARE(srda.plotWindow()->sampleCount(), 1);
    QCOMPARE(srda.plotWindow()->samples().y()[0], 0.3);
}

QTEST_MAIN(TestSrdaRows)
#include "test_srdarows.moc"
