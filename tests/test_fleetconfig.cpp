#include "fleet/fleetconfig.h"
#include "fleet/fleetmessages.h"
#include "fleet/fleetstations.h"
#include "link/settingsdialog.h"
#include "support/testsupport.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The fleet's settings, topics and payloads, and the fleet view's rules,
// without a broker.
class TestFleetConfig : public QObject
{
    Q_OBJECT
private slots:
    void brokerAddress_data();
    void brokerAddress();
    void topicPrefix_data();
    void topicPrefix();
    void topicSerial_data();
    void topicSerial();
    void statusPayload_data();
    void statusPayload();
    void passwordFile_data();
    void passwordFile();
    void commandLine_data();
    void commandLine();
    void settingsKept();
    void greyed_data();
    void greyed();
};

void TestFleetConfig::brokerAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("tls");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::newRow("host") << "broker.lab" << false << "broker.lab" << 1883;
    QTest::newRow("host, TLS") << "broker.lab" << true << "broker.lab" << 8883;
    QTest::newRow("host:port") << "10.1.2.3:1884" << true << "10.1.2.3" << 1884;
    QTest::newRow("IPv6") << "[::1]:1883" << false << "::1" << 1883;
    QTest::newRow("IPv6 unbracketed") << "::1" << false << "" << 0;
    QTest::newRow("no port after colon") << "host:" << false << "" << 0;
    QTest::newRow("port 0") << "host:0" << false << "" << 0;
    QTest::newRow("port too big") << "host:65536" << false << "" << 0;
    QTest::newRow("empty") << " " << false << "" << 0;
    QTest::newRow("blank inside") << "bro ker" << false << "" << 0;
}

void TestFleetConfig::brokerAddress()
{
    QFETCH(QString, text);
    QFETCH(bool, tls);
    QFETCH(QString, host);
    QFETCH(int, port);
    QString h;
    int p = 0;
    const QString error = parseBroker(text, tls, h, p);
    QCOMPARE(error.isEmpty(), !host.isEmpty());
    if (error.isEmpty()) {
        QCOMPARE(h, host);
        QCOMPARE(p, port);
    }
}

void TestFleetConfig::topicPrefix_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<bool>("valid");
    QTest::newRow("default") << "telvar" << true;
    QTest::newRow("levels") << "lab2/telvar" << true;
    QTest::newRow("plus") << "lab/+/x" << false;
    QTest::newRow("hash") << "lab#" << false;
    QTest::newRow("empty level") << "lab//x" << false;
    QTest::newRow("leading slash") << "/lab" << false;
    QTest::newRow("tab") << "lab\tx" << false;
    QTest::newRow("empty") << "" << false;
}

void TestFleetConfig::topicPrefix()
{
    QFETCH(QString, prefix);
    QFETCH(bool, valid);
    QCOMPARE(checkTopicPrefix(prefix).isEmpty(), valid);
}

void TestFleetConfig::topicSerial_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("level");
    QTest::newRow("plain") << "4321"
                           << "4321";
    QTest::newRow("wildcards and separator") << "a+b#c/d"
                                             << "a_b_c_d";
    QTest::newRow("none yet") << ""
                              << "unknown";
    QTest::newRow("blank") << "  "
                           << "unknown";
    QTest::newRow("runaway") << QString(500, QLatin1Char('9')) << QString(64, QLatin1Char('9'));
}

void TestFleetConfig::topicSerial()
{
    QFETCH(QString, serial);
    QFETCH(QString, level);
    QCOMPARE(::topicSerial(serial), level);
    QCOMPARE(fleetTopic(QStringLiteral("lab/telvar"), serial, "status"),
             ("lab/telvar/" + level + "/status").toUtf8());
}

void TestFleetConfig::statusPayload_data()
{
    QTest::addColumn<QString>("conc");
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("offsetSeconds");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QStringList>("alarmTexts");
    QTest::newRow("east of UTC, alarms 1 and 2")
        << "12.345"
        << "24" << 19800 << "2025-01-31T12:00:05+05:30" << QStringList{"Alarm 1", "Alarm 2"};
    QTest::newRow("west of UTC, no data")
        << "No concentration data"
        << "0" << -10800 << "2025-01-31T12:00:05-03:00" << QStringList{};
    QTest::newRow("UTC, every fault")
        << "-0.5"
        << "63" << 0 << "2025-01-31T12:00:05+00:00"
        << QStringList{"Ringdown", "Laser", "Pressure", "Alarm 1", "Alarm 2", "Temp"};
}

void TestFleetConfig::statusPayload()
{
    QFETCH(QString, conc);
    QFETCH(QString, faults);
    QFETCH(int, offsetSeconds);
    QFETCH(QString, time);
    QFETCH(QStringList, alarmTexts);
    StatusRecord r;
    r.conc = conc;
    r.faults = faults;
    r.units = QStringLiteral("PPBv");
    r.gasType = QStringLiteral("N2");
    r.modeText = QStringLiteral("MEASURE MODE");
    r.laserCurrent = QStringLiteral("95.12");
    r.laserTemp = QStringLiteral("20.98");
    r.tau = QStringLiteral("99.83");
    r.tauEmpty = QStringLiteral("99.91");
    r.pressure = QStringLiteral("--"); // not a number: null
    const StationInfo station{QStringLiteral("43/21"), QStringLiteral("ORIN OK"), 5};
    const QDateTime at(QDate(2025, 1, 31), QTime(12, 0, 5), Qt::OffsetFromUTC, offsetSeconds);

    const QJsonObject s = QJsonDocument::fromJson(statusJson(r, station, at)).object();
    bool number = false;
    const double value = conc.toDouble(&number);
    QCOMPARE(s.value("concentration"), number ? QJsonValue(value) : QJsonValue(QJsonValue::Null));
    QCOMPARE(s.value("time").toString(), time);
    QCOMPARE(s.value("serial").toString(), QStringLiteral("43_21"));
    QCOMPARE(s.value("model").toString(), QStringLiteral("ORIN OK"));
    QCOMPARE(s.value("alarms"), QJsonValue(faults.toInt()));
    QCOMPARE(s.value("alarmTexts").toArray().toVariantList(), QVariant(alarmTexts).toList());
    QCOMPARE(s.value("tauZero"), QJsonValue(99.91));
    QCOMPARE(s.value("laserCurrent"), QJsonValue(95.12));
    QCOMPARE(s.value("pressure"), QJsonValue(QJsonValue::Null));
    for (const char *key : {"units", "gas", "mode", "laserTemp", "tau", "interval"})
        QVERIFY2(s.contains(QLatin1String(key)), key);

    // The trend row: the same fields, and its seq as a plain integer.
    const QByteArray trend = trendJson(123456789012, r, station, at);
    QVERIFY(trend.contains("\"seq\":123456789012"));
    const QJsonObject t = QJsonDocument::fromJson(trend).object();
    for (const char *key : {"time", "concentration", "units", "gas", "alarms"})
        QCOMPARE(t.value(QLatin1String(key)), s.value(QLatin1String(key)));
}

void TestFleetConfig::passwordFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<int>("permissions");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("warned");
    const int owner = int(QFile::ReadOwner | QFile::WriteOwner);
    QTest::newRow("private, line end")
        << QByteArray("s3cret\r\nsecond line") << owner << QByteArray("s3cret") << false;
    QTest::newRow("readable by others")
        << QByteArray("s3cret") << int(owner | QFile::ReadOther) << QByteArray("s3cret") << true;
    QTest::newRow("readable by the group")
        << QByteArray("s3cret\n") << int(owner | QFile::ReadGroup) << QByteArray("s3cret") << true;
}

void TestFleetConfig::passwordFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(int, permissions);
    QFETCH(QByteArray, password);
    QFETCH(bool, warned);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("pw")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(contents);
    f.close();
    QVERIFY(f.setPermissions(QFile::Permissions(permissions)));
    QByteArray read;
    QStringList warnings;
    QCOMPARE(readPasswordFile(f.fileName(), read, warnings), QString());
    QCOMPARE(read, password);
    QCOMPARE(warnings.size(), warned ? 1 : 0);
    QVERIFY(!readPasswordFile(dir.filePath(QStringLiteral("none")), read, warnings).isEmpty());
}

void TestFleetConfig::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("broker");
    QTest::newRow("nothing: stored settings stand")
        << QStringList{} << true << false << "stored:1883";
    QTest::newRow("--mqtt turns publishing on")
        << QStringList{"--mqtt", "b:1884"} << true << true << "b:1884";
    QTest::newRow("--fleet: the view's broker")
        << QStringList{"--fleet", "view"} << true << false << "view";
    QTest::newRow("spool of 0") << QStringList{"--mqtt", "b", "--mqtt-spool-mb", "0"} << false
                                << false << "";
    QTest::newRow("wildcard prefix")
        << QStringList{"--mqtt", "b", "--mqtt-topic", "a/#"} << false << false << "";
    QTest::newRow("bad port") << QStringList{"--mqtt", "b:x"} << false << false << "";
}

void TestFleetConfig::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, valid);
    QFETCH(bool, enabled);
    QFETCH(QString, broker);
    QCommandLineParser p;
    p.addOptions(FleetPresets::options());
    QVERIFY(p.parse(QStringList{"telvar"} + arguments));
    FleetPresets presets;
    QCOMPARE(presets.read(p).isEmpty(), valid);
    if (!valid)
        return;
    FleetSettings stored;
    stored.broker = QStringLiteral("stored:1883");
    const FleetSettings s = presets.appliedTo(stored);
    QCOMPARE(s.enabled, enabled);
    QCOMPARE(s.broker, broker);
}

void TestFleetConfig::settingsKept()
{
    QSettings(QStringLiteral("Quorvane"), QStringLiteral("Telvar")).clear();
    FleetSettings f;
    f.enabled = true;
    f.broker = QStringLiteral("broker.lab:8883");
    f.topicPrefix = QStringLiteral("lab2/telvar");
    f.user = QStringLiteral("station7");
    f.passwordFile = QStringLiteral("/etc/telvar/mqtt-password");
    f.caFile = QStringLiteral("/etc/telvar/ca.pem");
    f.spoolMb = 64;
    {
        SettingsDialog first;
        QCOMPARE(first.fleetSettings(), FleetSettings()); // off by default
        QSignalSpy changed(&first, &SettingsDialog::fleetChanged);
        first.setFleetSettings(f);
        first.apply(); // "OK" again without a change
        QCOMPARE(changed.count(), 1);
    }
    SettingsDialog next;
    QCOMPARE(next.fleetSettings(), f);
}

void TestFleetConfig::greyed_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("secondsSilent");
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("retained");
    QTest::addColumn<bool>("greyed");
    QTest::newRow("online, fresh") << "online" << 0 << 5 << false << false;
    QTest::newRow("three periods") << "online" << 15 << 5 << false << false;
    QTest::newRow("past three periods") << "online" << 16 << 5 << false << true;
    QTest::newRow("offline at once") << "offline" << 0 << 5 << false << true;
    QTest::newRow("reconnecting, fresh") << "reconnecting" << 2 << 1 << false << false;
    QTest::newRow("kept by the broker, old") << "online" << 0 << 5 << true << true;
}

void TestFleetConfig::greyed()
{
    QFETCH(QString, state);
    QFETCH(int, secondsSilent);
    QFETCH(int, interval);
    QFETCH(bool, retained);
    QFETCH(bool, greyed);
    FleetStations stations(QStringLiteral("telvar"));
    const QDateTime t0 = QDateTime::currentDateTime();
    StatusRecord r;
    r.conc = QStringLiteral("1.5");
    const StationInfo info{QStringLiteral("4321"), QStringLiteral("ORIN OK"), interval};
    // A retained status is as old as it says, not as old as its arrival.
    const QByteArray status = statusJson(r, info, retained ? t0.addSecs(-3600) : t0);
    QVERIFY(stations.take("telvar/4321/status", status, retained, t0));
    QVERIFY(stations.take("telvar/4321/state", state.toUtf8(), false, t0));
    QVERIFY(!stations.take("telvar/4321/trend", status, false, t0));
    QVERIFY(!stations.take("other/4321/status", status, false, t0));
    QCOMPARE(stations.stations().size(), 1);
    QCOMPARE(FleetStations::greyed(stations.stations().first(), t0.addSecs(secondsSilent)), greyed);
}

QTEST_MAIN(TestFleetConfig)
#include "test_fleetconfig.moc"
