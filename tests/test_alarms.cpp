#include "alarm/alarms.h"
#include "support/testsupport.h"

#include <QtTest>

// The alarms' judgement, one row a story told in steps with a clock of the
// test's own: what is raised, cleared and acknowledged, in order, and nothing
// more. Steps: "+N" lets N seconds pass; "r C F" is a status report with
// concentration C and faults F ("old F" one of the old firmware); "hover N"
// N seconds of reports a hair above and below the high limit, 15 s each way;
// "lost", "back", "closed" are the link's; "check" the paced second's;
// "failed", "cancelled", "verified" end a run; "ack NAME", "ackall"; "free MB"
// the data folder's disk has that much free.
class TestAlarms : public QObject
{
    Q_OBJECT
private slots:
    void episodes_data();
    void episodes();
};

void TestAlarms::episodes_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("lamp on three reports, then off")
        << ""
        << "r 0.2 1; +1; r 0.2 1; +1; r 0.2 1; +1; r 0.2 0"
        << QStringList{"ringdown raised", "ringdown cleared"};
    QTest::newRow("old firmware: the lamps say nothing") << ""
                                                         << "old 1; +1; old 1" << QStringList();
    QTest::newRow("excursion past the high limit and back")
        << "high=50"
        << "r 80 0; +5; r 80 0; +5; r 80 0; +5; r 1 0; +5; r 1 0; +6; r 1 0"
        << QStringList{"high raised", "high cleared"};
    QTest::newRow("a spike shorter than the hold time")
        << "high=50"
        << "r 80 0; +5; r 80 0; +1; r 1 0; +5; r 80 0; +5; r 1 0" << QStringList();
    QTest::newRow("below the low limit")
        << "low=5 hold=2"
        << "r 1 0; +3; r 1 0; +1; r 9 0; +3; r 9 0" << QStringList{"low raised", "low cleared"};
    QTest::newRow("hovering at the limit for ten minutes: one alarm")
        << "high=50"
        << "hover 600" << QStringList{"high raised"};
    QTest::newRow("a loss forgets a crossing not held long enough")
        << "high=50"
        << "r 80 0; +8; lost; +1; back; +1; r 80 0; +3; r 80 0" << QStringList();
    QTest::newRow("link lost past its time, then back")
        << "link=60"
        << "lost; +30; check; +31; check; +5; check; back"
        << QStringList{"link raised", "link cleared"};
    QTest::newRow("Disconnect while lost ends the wait")
        << "link=60"
        << "lost; +30; closed; +60; check" << QStringList();
    QTest::newRow("Disconnect ends a run's alarm")
        << ""
        << "failed; closed" << QStringList{"run raised", "run cleared"};
    QTest::newRow("the disk runs full, then has room again")
        << ""
        << "free 900; check; +30; free 2000; check; +30; check"
        << QStringList{"disk raised", "disk cleared"};
    QTest::newRow("a failed run, acknowledged")
        << ""
        << "failed; failed; ack run"
        << QStringList{"run raised", "run acknowledged", "run cleared"};
    QTest::newRow("a verification that ended, and a cancelled one")
        << ""
        << "verified; cancelled; ackall"
        << QStringList{"verification raised",  "run raised",       "verification acknowledged",
                       "verification cleared", "run acknowledged", "run cleared"};
    QTest::newRow("acknowledged while active, cleared later")
        << ""
        << "r 0.2 2; ack laser; r 0.2 2; r 0.2 0"
        << QStringList{"laser raised", "laser acknowledged", "laser cleared"};
    QTest::newRow("no alarms at all")
        << "none high=1"
        << "r 80 1; +20; r 80 1; lost; +100; check; failed" << QStringList();
}

void TestAlarms::episodes()
{
    QFETCH(QString, settings);
    QFETCH(QString, steps);
    QFETCH(QStringList, events);
    FakeClock clock;
    Alarms alarms;
    AlarmSettings s;
    for (const QString &word : settings.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString key = word.section(QLatin1Char('='), 0, 0);
        const double value = word.section(QLatin1Char('='), 1).toDouble();
        if (key == QLatin1String("high"))
            s.high = value;
        else if (key == QLatin1String("low"))
            s.low = value;
        else if (key == QLatin1String("hold"))
            s.holdSeconds = int(value);
        else if (key == QLatin1String("link"))
            s.linkLostSeconds = int(value);
        else if (key == QLatin1String("nolamps"))
            s.lamps = false;
        else if (key == QLatin1String("none"))
            s.enabled = false;
    }
    alarms.configure(s);
    qint64 freeMb = 100000;
    alarms.setDataFolder(QStringLiteral("/data"));
    alarms.setFreeSpace([&](const QString &) { return freeMb * 1024 * 1024; });
    QStringList seen;
    connect(&alarms, &Alarms::changed, this, [&](const AlarmEvent &e) {
        seen << e.name + QLatin1Char(' ') + changeText(e.change);
        QVERIFY(!e.text.isEmpty());
        QCOMPARE(e.time, clock.t);
    });
    const auto report = [&](const QString &conc, int faults, bool old) {
        StatusReport r;
        r.record.conc = conc;
        r.record.faults = QString::number(faults);
        r.record.setFaultBits(faults);
        r.compatibilityMode = old;
        alarms.report(r);
    };
    for (const QString &step : steps.split(QStringLiteral("; "))) {
        const QStringList w = step.split(QLatin1Char(' '));
        const QString &verb = w.first();
        if (verb.startsWith(QLatin1Char('+')))
            clock.advance(verb.mid(1).toLongLong() * 1000);
        else if (verb == QLatin1String("r") || verb == QLatin1String("old"))
            report(w.value(verb == QLatin1String("r") ? 1 : 2, QStringLiteral("0.2")),
                   w.last().toInt(), verb == QLatin1String("old"));
        else if (verb == QLatin1String("hover"))
            for (int i = 0; i < w.value(1).toInt(); ++i, clock.advance(1000))
                report(QString::number(*s.high * (i % 30 < 15 ? 1.01 : 0.99)), 0, false);
        else if (verb == QLatin1String("lost"))
            alarms.linkLost(QStringLiteral("the serial device went away"));
        else if (verb == QLatin1String("back"))
            alarms.linkBack();
        else if (verb == QLatin1String("closed"))
            alarms.linkClosed();
        else if (verb == QLatin1String("check"))
            alarms.check();
        else if (verb == QLatin1String("failed") || verb == QLatin1String("cancelled"))
            alarms.runEnded(QStringLiteral("Service scan"),
                            verb == QLatin1String("failed") ? RunOutcome::Failed
                                                            : RunOutcome::Cancelled,
                            QStringLiteral("Connection lost"), false);
        else if (verb == QLatin1String("verified"))
            alarms.runEnded(QStringLiteral("Performance verification"), RunOutcome::Completed,
                            QStringLiteral("/data/archive.zip"), true);
        else if (verb == QLatin1String("free"))
            freeMb = w.value(1).toLongLong();
        else if (verb == QLatin1String("ack"))
            alarms.acknowledge(w.value(1));
        else if (verb == QLatin1String("ackall"))
            alarms.acknowledgeAll();
        else
            QFAIL(qPrintable(step));
    }
    QCOMPARE(seen, events);
    // Whatever is still raised is what the indicator counts.
    int raised = 0;
    for (const QString &e : qAsConst(seen))
        raised += e.endsWith(QLatin1String(" raised"))    ? 1
                  : e.endsWith(QLatin1String(" cleared")) ? -1
                                                          : 0;
    QCOMPARE(alarms.activeCount(), raised);
}

QTEST_GUILESS_MAIN(TestAlarms)
#include "test_alarms.moc"
