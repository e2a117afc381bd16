// The clock seam and the time zone set-up at start.
#include "common/clock.h"

#include <QtTest>

#include <ctime>

class TestClock : public QObject
{
    Q_OBJECT
private slots:
    void installedClockIsCurrentUntilRemoved();
    void zoneReadOnceGivesTheSameLocalTimes();
    void zoneChosenByTheUserIsKept();
};

namespace {

class Fixed : public Clock
{
public:
    QDateTime now() const override { return QDateTime(QDate(2025, 1, 31), QTime(23, 59, 59)); }
};

QStringList localTimes()
{
    QStringList out;
    // Both sides of this system's daylight-saving switches, if it has any.
    for (qint64 s = 1735689600; s < 1767225600; s += 86400 * 7 + 3607)
        out << QDateTime::fromSecsSinceEpoch(s).toString(Qt::ISODate);
    return out;
}

} // namespace

void TestClock::installedClockIsCurrentUntilRemoved()
{
    Fixed fixed;
    Clock::install(&fixed);
    QCOMPARE(Clock::current(), fixed.now());
    Clock::install(nullptr);
    QVERIFY(qAbs(Clock::current().secsTo(QDateTime::currentDateTime())) < 5);
}

void TestClock::zoneReadOnceGivesTheSameLocalTimes()
{
    qunsetenv("TZ");
    tzset();
    const QStringList before = localTimes();
    readLocalTimeZoneOnce();
    tzset();
    QCOMPARE(qgetenv("TZ"), QByteArray(":/etc/localtime"));
    QCOMPARE(localTimes(), before);
}

void TestClock::zoneChosenByTheUserIsKept()
{
    for (const QByteArray &zone : {QByteArray("Europe/Berlin"), QByteArray()}) {
        qputenv("TZ", zone); // empty: the C library's UTC
        readLocalTimeZoneOnce();
        QCOMPARE(qgetenv("TZ"), zone);
        QVERIFY(qEnvironmentVariableIsSet("TZ"));
    }
}

QTEST_GUILESS_MAIN(TestClock)
#include "test_clock.moc"
