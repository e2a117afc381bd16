#include "fleet/fleetconfig.h"
#include "fleet/fleetmessages.h"
#include "link/settingsdialog.h"
#include "support/testsupport.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

// The fleet's settings, topics and payloads, without a broker.
class TestFleetConfig : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void settingsKept();
    void statusPayload();
};

void TestFleetConfig::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    const QString ca = QStringLiteral(__FILE__); // any readable file
    QTest::newRow("--mqtt turns it on") << QStringList{"--mqtt", "b"} << true << "b" << 1883;
    QTest::newRow("TLS port") << QStringList{"--mqtt", "b", "--mqtt-cafile", ca} << true << "b"
                              << 8883;
    QTest::newRow("IPv6") << QStringList{"--mqtt", "[::1]:1884"} << true << "::1" << 1884;
    QTest::newRow("fleet view") << QStringList{"--fleet", "v:1890"} << false << "v" << 1890;
    QTest::newRow("IPv6 without brackets") << QStringList{"--mqtt", "::1"} << true << "" << 0;
    QTest::newRow("no port") << QStringList{"--mqtt", "b:"} << true << "" << 0;
    QTest::newRow("wildcard prefix") << QStringList{"--mqtt-topic", "lab/+/x"} << true << "" << 0;
    QTest::newRow("spool of 0") << QStringList{"--mqtt-spool-mb", "0"} << true << "" << 0;
    // Kept absolute, so a start from another folder still finds them.
    QTest::newRow("relative CA file")
        << QStringList{"--mqtt", "b", "--mqtt-cafile", QDir::current().relativeFilePath(ca)} << true
        << "b" << 8883;
    QTest::newRow("password file missing")
        << QStringList{"--mqtt", "b", "--mqtt-user", "u", "--mqtt-password-file", "/nonexistent"}
        << true << "" << 0;
}

void TestFleetConfig::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, enabled);
    QFETCH(QString, host);
    QFETCH(int, port);
    QCommandLineParser p;
    p.addOptions(FleetPresets::options());
    QVERIFY(p.parse(QStringList{"telvar"} + arguments));
    FleetPresets presets;
    FleetSettings stored;
    stored.broker = QStringLiteral("stored");
    QString error = presets.read(p);
    const FleetSettings s = presets.appliedTo(stored);
    BrokerConfig broker;
    if (error.isEmpty())
        error = brokerConfig(s, broker);
    QCOMPARE(error.isEmpty(), !host.isEmpty());
    if (host.isEmpty())
        return;
    QCOMPARE(s.enabled, enabled);
    QCOMPARE(broker.host, host);
    QCOMPARE(broker.port, port);
    QVERIFY(s.caFile.isEmpty() || QFileInfo(s.caFile).isAbsolute());
}

void TestFleetConfig::settingsKept()
{
    QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear();
    const FleetSettings f{
        true, "broker.lab:8883", "lab2/telvar", "station7", "/etc/pw", "/etc/ca", 64, true};
    {
        SettingsDialog first;
        QCOMPARE(first.fleetSettings(), FleetSettings()); // off by default
        QSignalSpy changed(&first, &SettingsDialog::fleetChanged);
        first.setFleetSettings(f);
        first.apply(); // "OK" again without a change
        QCOMPARE(changed.count(), 1);
    }
    QCOMPARE(SettingsDialog().fleetSettings(), f);
}

void TestFleetConfig::statusPayload()
{
    StatusRecord r;
    r.conc = QStringLiteral("No concentration data"); // null
    r.faults = QStringLiteral("41");
    r.tauEmpty = QStringLiteral("99.91");
    r.pressure = QStringLiteral("--"); // not a number: null
    // The payload names the serial as the analyzer sent it, whatever the topic level.
    const StationInfo station{QStringLiteral("4+3/2#1"), QStringLiteral("ORIN OK"), 5,
                              topicSerial(QStringLiteral("4+3/2#1"))};
    // West of UTC, with minutes: the offset's sign and both of its parts.
    const QDateTime at(QDate(2025, 1, 31), QTime(12, 0, 5), Qt::OffsetFromUTC, -12600);

    const QJsonObject s = QJsonDocument::fromJson(statusJson(r, station, at)).object();
    QCOMPARE(s.value("time").toString(), QStringLiteral("2025-01-31T12:00:05.000-03:30"));
    QCOMPARE(s.value("serial").toString(), station.serial);
    QCOMPARE(s.value("concentration"), QJsonValue(QJsonValue::Null));
    QCOMPARE(s.value("alarms"), QJsonValue(41));
    QCOMPARE(s.value("alarmTexts").toArray(), QJsonArray({"Ringdown", "Alarm 1", "Temp"}));
    QCOMPARE(s.value("tauZero"), QJsonValue(99.91));
    QCOMPARE(s.value("pressure"), QJsonValue(QJsonValue::Null));

    // The trend row: the same fields, and its seq as a plain integer.
    const QByteArray trend =
        trendJson(123456789012, QStringLiteral("r1"), r, station, at.addMSecs(250));
    QVERIFY(trend.contains("\"seq\":123456789012"));
    const QJsonObject t = QJsonDocument::fromJson(trend).object();
    for (const char *key : {"serial", "concentration", "units", "gas", "alarms"})
        QCOMPARE(t.value(QLatin1String(key)), s.value(QLatin1String(key)));
    QCOMPARE(t.value("time").toString(), QStringLiteral("2025-01-31T12:00:05.250-03:30"));
    QCOMPARE(t.value("run").toString(), QStringLiteral("r1"));
}

QTEST_MAIN(TestFleetConfig)
#include "test_fleetconfig.moc"
