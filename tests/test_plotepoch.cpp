#include "plot/epochconverter.h"

#include <QtTest>

#include <ctime>

class TestPlotEpoch : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // A zone with daylight saving time; switches on 2025-03-30 and 2025-10-26.
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }
    void sameAsQt_data();
    void sameAsQt();
    void instantsThroughTheRepeatedHour();
    void otherSpecs();
};

void TestPlotEpoch::sameAsQt_data()
{
    QTest::addColumn<QDate>("day");
    QTest::newRow("ordinary day") << QDate(2025, 1, 31);
    QTest::newRow("spring forward") << QDate(2025, 3, 30);
    QTest::newRow("fall back") << QDate(2025, 10, 26);
    QTest::newRow("before 1970") << QDate(1969, 12, 31);
}

// Local wall-clock times, every 20 s from 00:00 to 05:00, one converter for all.
void TestPlotEpoch::sameAsQt()
{
    QFETCH(QDate, day);
    EpochConverter converter;
    int mismatches = 0;
    for (int s = 0; s < 5 * 3600; s += 20) {
        const QDateTime t(day, QTime(0, 0).addSecs(s));
        if (converter.toEpochMs(t) != t.toMSecsSinceEpoch() && ++mismatches < 5)
            qWarning() << t << converter.toEpochMs(t) << t.toMSecsSinceEpoch();
    }
    QCOMPARE(mismatches, 0);
}

// Times that know which of the two 02:xx hours they are in, as the clock gives them.
void TestPlotEpoch::instantsThroughTheRepeatedHour()
{
    EpochConverter converter;
    const qint64 start = QDateTime(QDate(2025, 10, 26), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    for (qint64 utc = start; utc < start + 4 * 3600 * 1000; utc += 17 * 1000) {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(utc);
        QCOMPARE(converter.toEpochMs(t), utc);
    }
    // The same local minute, 02:30, once in summer time and once an hour later.
    const qint64 summer =
        QDateTime(QDate(2025, 10, 26), QTime(0, 30, 5), Qt::UTC).toMSecsSinceEpoch();
    const qint64 winter = summer + 3600 * 1000 + 10 * 1000;
    QCOMPARE(QDateTime::fromMSecsSinceEpoch(summer).time().minute(),
             QDateTime::fromMSecsSinceEpoch(winter).time().minute());
    QCOMPARE(converter.toEpochMs(QDateTime::fromMSecsSinceEpoch(summer)), summer);
    QCOMPARE(converter.toEpochMs(QDateTime::fromMSecsSinceEpoch(winter)), winter);
    QCOMPARE(converter.toEpochMs(QDateTime::fromMSecsSinceEpoch(summer + 1000)), summer + 1000);
}

void TestPlotEpoch::otherSpecs()
{
    EpochConverter converter;
    const QDateTime utc(QDate(2025, 6, 1), QTime(12, 0), Qt::UTC);
    QCOMPARE(converter.toEpochMs(utc), utc.toMSecsSinceEpoch());
    const QDateTime offset(QDate(2025, 6, 1), QTime(12, 0), Qt::OffsetFromUTC, 3600);
    QCOMPARE(converter.toEpochMs(offset), utc.toMSecsSinceEpoch() - 3600 * 1000);
    const QDateTime local(QDate(2025, 6, 1), QTime(14, 0));
    QCOMPARE(converter.toEpochMs(local), utc.toMSecsSinceEpoch()); // CEST, UTC+2
}

QTEST_MAIN(TestPlotEpoch)
#include "test_plotepoch.moc"
