#include "fleet/fleetdiscovery.h"

#include "alarm/alarm.h"
#include "fleet/fleetconfig.h"
#include "fleet/mqttclient.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QTimer>

namespace {

const QString discoveryPrefix = QStringLiteral("homeassistant");

struct Sensor
{
    const char *key, *name, *unit;
};
// The status fields, with the units the dashboard shows them in.
const Sensor sensors[] = {
    {"concentration", "Concentration", nullptr}, {"tau", "Ring-down time", "\u00b5s"},
    {"tauZero", "Tau zero", "\u00b5s"},          {"pressure", "Cell pressure", "Torr"},
    {"laserCurrent", "Laser current", "mA"},     {"laserTemp", "Laser temperature", "\u00b0C"}};
struct Lamp
{
    const char *key, *name;
    int bit;
};
const Lamp lamps[] = {{"ringdown", "Ringdown alarm", 0x01}, {"laser", "Laser alarm", 0x02},
                      {"pressure", "Pressure alarm", 0x04}, {"alarm1", "Alarm 1", 0x08},
                      {"alarm2", "Alarm 2", 0x10},          {"temp", "Temp alarm", 0x20}};

QByteArray configTopic(const char *component, const QString &station, const QString &key)
{
    return (discoveryPrefix + QLatin1Char('/') + QLatin1String(component) +
            QStringLiteral("/telvar_") + station + QLatin1Char('/') + key +
            QStringLiteral("/config"))
        .toUtf8();
}

// The key of an alarm's binary sensor. Some alarms share a lamp's name
// ("laser"): "alarm-" keeps them apart. No key has a '_', so the unique ids
// "telvar_<station>_<key>" of two stations never meet either.
QString alarmKey(const AlarmCondition &c)
{
    return QStringLiteral("alarm-") + c.name;
}

} // namespace

QVector<RetainedMessage> discoveryConfigs(const QString &prefix, const StationInfo &station,
                                          const QString &units)
{
    const QString id = QStringLiteral("telvar_") + station.station;
    const QString serial = withoutSerial(station.serial) ? station.station : station.serial;
    const QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{id}},
                             {QStringLiteral("name"), QStringLiteral("Telvar ") + serial},
                             {QStringLiteral("model"), station.model.trimmed()},
                             {QStringLiteral("manufacturer"), QStringLiteral("Quorvane")}};
    const auto common = [&](const QString &key, const QString &name) {
        // Available only while the station says "online": "reconnecting" and
        // "offline" (its last will) are not.
        return QJsonObject{{QStringLiteral("name"), name},
                           {QStringLiteral("unique_id"), id + QLatin1Char('_') + key},
                           {QStringLiteral("device"), device},
                           {QStringLiteral("state_topic"),
                            QString::fromUtf8(fleetTopic(prefix, station.station, "status"))},
                           {QStringLiteral("availability_topic"),
                            QString::fromUtf8(fleetTopic(prefix, station.station, "state"))},
                           {QStringLiteral("availability_template"),
                            QStringLiteral("{{ 'online' if value == 'online' else 'offline' }}")},
                           {QStringLiteral("payload_available"), QStringLiteral("online")},
                           {QStringLiteral("payload_not_available"), QStringLiteral("offline")}};
    };
    const auto binarySensor = [&](const QString &key, const QString &name,
                                  const QString &valueTemplate) {
        QJsonObject o = common(key, name);
        o.insert(QStringLiteral("value_template"), valueTemplate);
        o.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
        o.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
        o.insert(QStringLiteral("device_class"), QStringLiteral("problem"));
        return RetainedMessage{configTopic("binary_sensor", station.station, key),
                               QJsonDocument(o).toJson(QJsonDocument::Compact)};
    };
    QVector<RetainedMessage> out;
    for (const Sensor &s : sensors) {
        QJsonObject o = common(QLatin1String(s.key), QLatin1String(s.name));
        o.insert(QStringLiteral("value_template"),
                 QStringLiteral("{{ value_json.%1 }}").arg(QLatin1String(s.key)));
        o.insert(QStringLiteral("unit_of_measurement"), s.unit ? QString(s.unit) : units);
        o.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
        out.append({configTopic("sensor", station.station, QLatin1String(s.key)),
                    QJsonDocument(o).toJson(QJsonDocument::Compact)});
    }
    for (const Lamp &l : lamps)
        out.append(binarySensor(
            QLatin1String(l.key), QLatin1String(l.name),
            QStringLiteral(
                "{{ 'ON' if (value_json.alarms | int(0)) | bitwise_and(%1) else 'OFF' }}")
                .arg(l.bit)));
    for (const AlarmCondition &c : alarmConditions())
        out.append(binarySensor(
            alarmKey(c), c.title,
            QStringLiteral(
                "{{ 'ON' if '%1' in (value_json.alarms_active | default([])) else 'OFF' }}")
                .arg(c.name)));
    return out;
}

QVector<QByteArray> retainedTopics(const QString &prefix, const QString &station)
{
    QVector<QByteArray> out;
    for (const Sensor &s : sensors)
        out << configTopic("sensor", station, QLatin1String(s.key));
    for (const Lamp &l : lamps)
        out << configTopic("binary_sensor", station, QLatin1String(l.key));
    for (const AlarmCondition &c : alarmConditions())
        out << configTopic("binary_sensor", station, alarmKey(c));
    out << fleetTopic(prefix, station, "status") << fleetTopic(prefix, station, "state");
    return out;
}

int forgetStation(const FleetSettings &settings, const QString &serial, int waitMs, QString &log)
{
    BrokerConfig broker;
    const QString error = brokerConfig(settings, broker);
    if (!error.isEmpty()) {
        log += error + QLatin1Char('\n');
        return 1;
    }
    const QString station = stationLevel(serial);
    const QVector<QByteArray> topics = retainedTopics(broker.topicPrefix, station);
    MqttClient client;
    QEventLoop loop;
    QSet<int> waiting;
    bool sent = false;
    QObject::connect(&client, &MqttClient::connected, &loop, [&] {
        if (sent)
            return;
        sent = true;
        for (const QByteArray &topic : topics)
            waiting.insert(client.publish(topic, QByteArray(), 1, true));
        waiting.remove(-1);
    });
    QObject::connect(&client, &MqttClient::published, &loop, [&](int mid) {
        if (waiting.remove(mid) && waiting.isEmpty())
            loop.quit();
    });
    QString lastReason;
    QObject::connect(&client, &MqttClient::disconnected, &loop,
                     [&](const QString &reason) { lastReason = reason; });
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    const QString refused = client.start(broker);
    if (!refused.isEmpty()) {
        log += refused + QLatin1Char('\n');
        return 1;
    }
    loop.exec();
    client.stop(1000);
    if (sent && waiting.isEmpty()) {
        log += QStringLiteral("Station %1 removed from %2: %3 retained topics cleared.\n")
                   .arg(station, broker.name())
                   .arg(topics.size());
        return 0;
    }
    log += QStringLiteral("Station %1 not removed from %2: %3\n")
               .arg(station, broker.name(),
                    lastReason.isEmpty() ? QStringLiteral("the broker did not confirm in time")
                                         : lastReason);
    return 1;
}
