#include "alarm/alarmcommand.h"
#include "alarm/desktopnotifier.h"
#include "support/sessionbus.h"
#include "support/testsupport.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The script's child whose pid is in `file` was killed with the script's
// process group: gone, or at most a zombie.
static bool gone(const QString &file)
{
    QFile pid(file);
    const QByteArray number = pid.open(QIODevice::ReadOnly) ? pid.readAll().trimmed() : "";
    QFile stat("/proc/" + number + "/stat");
    return !number.isEmpty() &&
           (!stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z "));
}

class TestAlarmDelivery : public QObject
{
    Q_OBJECT
private slots:
    void notifier_data();
    void notifier();
    void failingCommand_data();
    void failingCommand();
    void destroyedWhileRunning();
    void init();

private:
    QTemporaryDir dir;
    QString script() const;
};

static AlarmEvent alarmEvent(const QString &name, AlarmEvent::Change change,
                             const QString &value = QString())
{
    AlarmEvent e;
    e.name = name;
    e.severity = alarmCondition(name).severity;
    e.change = change;
    e.text = name + QStringLiteral(" changed.");
    e.value = value;
    e.serial = QStringLiteral("4321");
    e.time = QDateTime(QDate(2025, 1, 31), QTime(12, 0, 0));
    return e;
}

// Steps: "NAME raised|cleared|acknowledged"; "sync" until the notifier has the
// answers to every call made so far; "server on|off" registers or unregisters
// the fake server.
void TestAlarmDelivery::notifier_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("troubles");
    const QString body = QStringLiteral(" changed.\nAnalyzer 4321, 2025-01-31 12:00:00");
    const QString fault = QStringLiteral("Telvar 0>1 u2 t0 Ringdown fault | ringdown") + body;
    const QString cleared =
        QStringLiteral("Telvar 1>1 u1 t-1 Ringdown fault cleared | ringdown") + body;
    const QString warning =
        QStringLiteral("Telvar 0>2 u1 t-1 Concentration above the high limit | high") + body;
    QTest::newRow("warning raised")
        << true << QStringList{"server on", "ringdown raised", "high raised"}
        << QStringList{fault, warning} << 0;
    QTest::newRow("cleared before the id came")
        << true << QStringList{"server on", "ringdown raised", "ringdown cleared"}
        << QStringList{fault, cleared} << 0;
    QTest::newRow("acknowledged shows nothing")
        << true << QStringList{"server on", "ringdown raised", "sync", "ringdown acknowledged"}
        << QStringList{fault} << 0;
    QTest::newRow("cleared after the id came, raised again")
        << true
        << QStringList{"server on", "ringdown raised", "sync", "ringdown cleared",
                       "ringdown raised"}
        << QStringList{fault, cleared, QString(fault).replace("0>1", "1>1")} << 0;
    QTest::newRow("no server") << true
                               << QStringList{"ringdown raised", "high raised", "link raised"}
                               << QStringList() << 1;
    QTest::newRow("no bus") << false << QStringList{"ringdown raised", "high raised", "link raised"}
                            << QStringList() << 1;
    QTest::newRow("server gone, back and gone")
        << true
        << QStringList{"ringdown raised", "sync",        "server on",  "ringdown raised", "sync",
                       "server off",      "high raised", "link raised"}
        << QStringList{fault} << 2;
}

void TestAlarmDelivery::notifier()
{
    QFETCH(bool, connected);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, calls);
    QFETCH(int, troubles);
    if (!SessionBus::installed())
        QSKIP("dbus-daemon is not installed");
    SessionBus bus;
    QVERIFY(bus.start());
    QDBusConnection server = bus.connect(QStringLiteral("server"));
    QDBusConnection client =
        connected
            ? bus.connect(QStringLiteral("client"))
            : QDBusConnection::connectToBus(QStringLiteral("unix:path=") + dir.filePath("none"),
                                            QStringLiteral("nowhere"));
    QCOMPARE(client.isConnected(), connected);
    FakeNotifications fake;
    DesktopNotifier notifier(client);
    QStringList said;
    connect(&notifier, &DesktopNotifier::trouble, [&](const QString &text) { said << text; });

    // Answers come in the order of the calls from the same sender: the
    // server's, or the bus's when there is none.
    const auto sync = [&] {
        if (!connected) {
            QCoreApplication::processEvents(); // what a disconnected bus answers is posted
            return true;
        }
        bool answered = false;
        QDBusPendingCallWatcher ping(client.asyncCall(QDBusMessage::createMethodCall(
            "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
            "org.freedesktop.Notifications", "GetCapabilities")));
        connect(&ping, &QDBusPendingCallWatcher::finished, [&] { answered = true; });
        return waitFor([&] { return answered; });
    };
    for (const QString &step : qAsConst(steps)) {
        const QStringList words = step.split(' ');
        if (step == "server on") {
            QVERIFY(server.registerObject("/org/freedesktop/Notifications", &fake,
                                          QDBusConnection::ExportAllSlots));
            QVERIFY(server.registerService("org.freedesktop.Notifications"));
        } else if (step == "server off") {
            QVERIFY(server.unregisterService("org.freedesktop.Notifications"));
        } else if (step == "sync") {
            QVERIFY(sync());
        } else {
            const auto change = words.last() == "raised"    ? AlarmEvent::Change::Raised
                                : words.last() == "cleared" ? AlarmEvent::Change::Cleared
                                                            : AlarmEvent::Change::Acknowledged;
            notifier.deliver(alarmEvent(words.first(), change));
        }
    }
    QVERIFY(waitFor([&] { return fake.calls.size() >= calls.size(); }));
    QVERIFY(sync()); // and nothing more
    QCOMPARE(fake.calls, calls);
    QCOMPARE(said.size(), troubles);
    QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
}

// Appends the facts of each run to the file named in the test's own
// environment; TELVAR_VALUE "fail" exits 1, "hang" waits for a child that never ends.
QString TestAlarmDelivery::script() const
{
    QFile f(dir.filePath(QStringLiteral("alarm.sh")));
    if (!f.exists() && f.open(QIODevice::WriteOnly)) {
        f.write("#!/bin/sh\nprintf '%s|%s|%s|%s|%s|%s|%s\\n' \"$TELVAR_ALARM\" \"$TELVAR_STATE\" "
                "\"$TELVAR_SEVERITY\" \"$TELVAR_SERIAL\" \"$TELVAR_VALUE\" \"$TELVAR_TEXT\" "
                "\"$TELVAR_TIME\" >> \"$ALARM_DUMP\"\ncase \"$TELVAR_VALUE\" in\nfail) exit 1 ;;\n"
                "hang) sleep 100 & echo $! > \"$ALARM_DUMP.pid\"; wait ;;\nesac\n");
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    }
    return f.fileName();
}

static QStringList dumped(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly)
               ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
               : QStringList();
}

void TestAlarmDelivery::init()
{
    for (const char *name : {"dump", "dump.pid"})
        QFile::remove(dir.filePath(name));
    qputenv("ALARM_DUMP", dir.filePath("dump").toLocal8Bit());
}

// One event for each value, in turn; every one runs, whatever the one before did.
void TestAlarmDelivery::failingCommand_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<int>("troubles");
    QTest::newRow("exit 1") << "script" << QStringList{"fail", "fail", "fail"} << 1;
    QTest::newRow("said again after a good run")
        << "script" << QStringList{"fail", "fail", "ok", "fail", "fail"} << 2;
    QTest::newRow("not executable") << "plain" << QStringList{"a", "b", "c"} << 1;
    QTest::newRow("not found") << "nothing" << QStringList{"a", "b", "c"} << 1;
    QTest::newRow("hangs, killed at the timeout")
        << "script" << QStringList{"hang", "hang", "ok"} << 1;
}

void TestAlarmDelivery::failingCommand()
{
    QFETCH(QString, program);
    QFETCH(QStringList, values);
    QFETCH(int, troubles);
    const QString path = program == "script" ? script() : dir.filePath(program);
    QFile plain(dir.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly)); // not executable
    AlarmCommand command(path);
    command.setTimeoutMs(300);
    QStringList said;
    int runs = 0;
    connect(&command, &AlarmCommand::trouble, [&](const QString &text) { said << text; });
    connect(&command, &AlarmCommand::ran, [&] { ++runs; });
    for (const QString &value : qAsConst(values))
        command.deliver(alarmEvent(QStringLiteral("laser"), AlarmEvent::Change::Raised, value));
    QVERIFY(waitFor([&] { return runs == values.size(); }));
    QCOMPARE(said.size(), troubles);
    QVERIFY2(said.first().contains(path), qPrintable(said.first()));
    if (program == "script")
        QCOMPARE(dumped(dir.filePath("dump")).size(), values.size());
    if (values.contains("hang")) {
        QVERIFY2(said.first().contains("did not end within 0.3 s"), qPrintable(said.first()));
        QVERIFY(waitFor([&] { return gone(dir.filePath("dump.pid")); }));
    }
}

void TestAlarmDelivery::destroyedWhileRunning()
{
    auto command = std::make_unique<AlarmCommand>(script());
    command->deliver(alarmEvent(QStringLiteral("link"), AlarmEvent::Change::Raised, "hang"));
    QVERIFY(waitFor([&] { return QFile(dir.filePath("dump.pid")).size() > 0; }));
    command.reset();
    QVERIFY(waitFor([&] { return gone(dir.filePath("dump.pid")); }));
}

QTEST_GUILESS_MAIN(TestAlarmDelivery)
#include "test_alarmdelivery.moc"
