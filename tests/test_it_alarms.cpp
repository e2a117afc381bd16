#include "alarm/alarm.h"
#include "simprocess.h"
#include "support/broker.h"
#include "support/sessionbus.h"

#include <QDBusConnection>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// A station left alone with the simulator, and every way an alarm reaches a
// person watched at once: a notification server on a session bus of the
// test's own, the alarm command's environment, the journal, the fleet's event
// topic on a real broker and the day's alarm log. Each fault gives exactly one
// raise and one clear on each of them, the same on all.
class TestItAlarms : public QObject
{
    Q_OBJECT
private slots:
    void eachWayOnce_data();
    void eachWayOnce();
};

void TestItAlarms::eachWayOnce_data()
{
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("telvarArgs");
    QTest::addColumn<QString>("alarm");
    QTest::addColumn<QString>("title");
    QTest::newRow("ringdown fault")
        << QStringList{"--faults-at", "6:12:1"} << QStringList() << "ringdown"
        << "Ringdown fault";
    // The profile climbs to 100 for a few seconds once every 100 reports.
    QTest::newRow("concentration past the high limit")
        << QStringList() << QStringList{"--alarm-high", "50"} << "high"
        << "Concentration above the high limit";
    QTest::newRow("pulled cable") << QStringList{"--restart-after", "20", "--restart-delay", "3000"}
                                  << QStringList{"--alarm-link-lost", "3"} << "link"
                                  << "Connection to the analyzer lost";
    // Over with its connection: cleared at the end, as Disconnect ends it.
    QTest::newRow("failed verification")
        << QStringList{"--drop-on", "lt:3", "--restart-delay", "400", "--return-serial", "9999"}
        << QStringList{"--certify", "--scans", "refcell"} << "run"
        << "Run cancelled or failed";
}

void TestItAlarms::eachWayOnce()
{
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, telvarArgs);
    QFETCH(QString, alarm);
    QFETCH(QString, title);
    if (!SessionBus::installed())
        QSKIP("dbus-daemon is not installed");
    QTemporaryDir home;
    SessionBus bus;
    QVERIFY(bus.start());
    QDBusConnection server = bus.connect(QStringLiteral("desktop"));
    FakeNotifications desktop;
    QVERIFY(server.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &desktop,
                                  QDBusConnection::ExportAllSlots));
    QVERIFY(server.registerService(QStringLiteral("org.freedesktop.Notifications")));
    TestBroker broker(home.path(), {});
    QVERIFY(broker.start());
    TestSubscriber fleet(broker, "telvar/#");

    // The command writes down what it was given, a line a run.
    const QString ran = home.filePath(QStringLiteral("ran.txt"));
    const QString script = home.filePath(QStringLiteral("alarm-command"));
    QFile f(script);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\necho \"$TELVAR_ALARM $TELVAR_STATE $TELVAR_SEVERITY $TELVAR_SERIAL "
            "$TELVAR_VALUE|$TELVAR_TIME|$TELVAR_TEXT\" >> '" +
            ran.toUtf8() + "'\n");
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);

    const QString device = home.filePath(QStringLiteral("orin"));
    SimProcess sim(QStringList{"--pty", "--serial", "4321", "--seed", "3", "--link", device} +
                   simArgs);
    QVERIFY(sim.ready());
    QProcess telvar;
    QProcessEnvironment env = programEnvironment(home.path());
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
    telvar.setProcessEnvironment(env);
    telvar.setWorkingDirectory(home.path());
    telvar.start(QStringLiteral(TELVAR_BIN),
                 QStringList{"--headless", "--serial", device, "--interval", "1", "--pace", "50",
                             "--mqtt", broker.address(), "--alarm-command", script, "--connect"} +
                     telvarArgs);
    QVERIFY(telvar.waitForStarted());
    QString journal;
    const auto journalled = [&](const char *change) {
        journal += QString::fromLocal8Bit(telvar.readAllStandardError());
        return journal.count(QRegularExpression(
            QStringLiteral("Alarm %1: [^\\n]*\\(%2, ").arg(QLatin1String(change), alarm)));
    };
    const bool clearsByItself = alarm != QLatin1String("run");
    QVERIFY2(waitFor([&] { return journalled(clearsByItself ? "cleared" : "raised") > 0; }, 40000),
             qPrintable(journal));
    // The rest of the ways have it, then the station stops as SIGTERM stops it.
    waitFor([] { return false; }, 500);
    ::kill(pid_t(telvar.processId()), SIGTERM);
    QVERIFY(telvar.waitForFinished(10000));
    journalled("");

    QCOMPARE(journalled("raised"), 1);
    QCOMPARE(journalled("cleared"), 1);

    // Raised, then the same notification replaced by its clear.
    const QStringList notes = desktop.calls.filter(QStringLiteral(" ") + title);
    QCOMPARE(notes.size(), 2);
    QVERIFY2(notes.at(0).startsWith(QStringLiteral("Telvar 0>")), qPrintable(notes.at(0)));
    const QString id = notes.at(0).section(QLatin1Char('>'), 1).section(QLatin1Char(' '), 0, 0);
    QVERIFY2(notes.at(1).startsWith(QStringLiteral("Telvar %1>%1 ").arg(id)),
             qPrintable(notes.at(1)));
    QVERIFY(notes.at(1).contains(title + QStringLiteral(" cleared")));

    // The command's environment, a run each.
    QFile runs(ran);
    QVERIFY(runs.open(QIODevice::ReadOnly));
    const QStringList commandRuns = QString::fromUtf8(runs.readAll())
                                        .split(QLatin1Char('\n'))
                                        .filter(QRegularExpression("^" + alarm + " "));
    const QString severity = alarmCondition(alarm).severity == AlarmSeverity::Fault
                                 ? QStringLiteral("fault")
                                 : QStringLiteral("warning");
    QCOMPARE(commandRuns.size(), 2);
    const QRegularExpression iso(QStringLiteral(
        "\\|\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d(\\.\\d+)?[+-]\\d\\d:\\d\\d\\|.+$"));
    QVERIFY2(commandRuns.at(0).startsWith(alarm + " raised " + severity + " 4321 ") &&
                 commandRuns.at(0).contains(iso),
             qPrintable(commandRuns.at(0)));
    QVERIFY2(commandRuns.at(1).startsWith(alarm + " cleared " + severity + " 4321 "),
             qPrintable(commandRuns.at(1)));

    // One event each on the fleet's event topic.
    QStringList events;
    for (const TestSubscriber::Message &m : fleet.received("telvar/4321/event"))
        if (m.payload.contains("\"event\":\"alarm\"") &&
            m.payload.contains("\"alarm\":\"" + alarm.toUtf8() + "\""))
            events << QString::fromUtf8(m.payload);
    QCOMPARE(events.size(), 2);
    QVERIFY2(events.at(0).contains("\"state\":\"raised\"") &&
                 events.at(1).contains("\"state\":\"cleared\""),
             qPrintable(events.join('\n')));

    // One row each in the day's alarm log.
    const QDir logs(home.filePath(QStringLiteral("QuorvaneData/Alarms")));
    QStringList rows;
    for (const QString &name : logs.entryList({QStringLiteral("alarms-*.csv")}, QDir::Files))
        rows += wholeLines(logs.filePath(name)).filter(", " + alarm + ", ");
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows.at(0).contains(", " + alarm + ", raised, " + severity + ", 4321, "),
             qPrintable(rows.at(0)));
    QVERIFY2(rows.at(1).contains(", " + alarm + ", cleared, "), qPrintable(rows.at(1)));
}

QTEST_MAIN(TestItAlarms)
#include "test_it_alarms.moc"
