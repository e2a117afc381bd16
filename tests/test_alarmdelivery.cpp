#include "alarm/desktopnotifier.h"
#include "support/sessionbus.h"
#include "support/testsupport.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTemporaryDir>
#include <QtTest>

// A notification server as a desktop has one: every call recorded, ids handed
// out from 1, a replaced notification keeps its id.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList calls;

public slots:
    uint Notify(const QString &app, uint replaces, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &hints, int expires)
    {
        const uint id = replaces ? replaces : ++last;
        calls << QStringLiteral("%1 %2>%3 u%4 t%5 %6 | %7")
                     .arg(app)
                     .arg(replaces)
                     .arg(id)
                     .arg(hints.value(QStringLiteral("urgency")).toInt())
                     .arg(expires)
                     .arg(summary, body);
        return id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint last = 0;
};

class TestAlarmDelivery : public QObject
{
    Q_OBJECT
private slots:
    void notifier_data();
    void notifier();

private:
    QTemporaryDir dir;
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
    QTest::newRow("fault raised") << true << QStringList{"server on", "ringdown raised"}
                                  << QStringList{fault} << 0;
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

QTEST_GUILESS_MAIN(TestAlarmDelivery)
#include "test_alarmdelivery.moc"
