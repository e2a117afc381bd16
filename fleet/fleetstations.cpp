#include "fleet/fleetstations.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QJsonObject objectOf(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}

} // namespace

bool FleetStations::splitTopic(const QByteArray &topic, QString &serial, QString &kind) const
{
    const QString t = QString::fromUtf8(topic);
    if (!t.startsWith(prefix + QLatin1Char('/')))
        return false;
    const QStringList rest = t.mid(prefix.size() + 1).split(QLatin1Char('/'));
    if (rest.size() != 2 || rest.first().isEmpty())
        return false;
    serial = rest.first();
    kind = rest.last();
    return true;
}

FleetStation &FleetStations::station(const QString &serial)
{
    auto it =
        std::lower_bound(list.begin(), list.end(), serial,
                         [](const FleetStation &s, const QString &v) { return s.serial < v; });
    if (it == list.end() || it->serial != serial) {
        FleetStation s;
        s.serial = serial;
        it = list.insert(it, s);
    }
    return *it;
}

bool FleetStations::take(const QByteArray &topic, const QByteArray &payload, bool retained,
                         const QDateTime &now)
{
    QString serial, kind;
    if (!splitTopic(topic, serial, kind))
        return false;
    if (kind == QLatin1String("state")) {
        const QString state = QString::fromUtf8(payload).trimmed();
        if (state.isEmpty())
            return false;
        station(serial).state = state;
        return true;
    }
    if (kind != QLatin1String("status"))
        return false;
    const QJsonObject o = objectOf(payload);
    if (o.isEmpty())
        return false;
    FleetStation &s = station(serial);
    s.name = o.value(QLatin1String("serial")).toString();
    s.model = o.value(QLatin1String("model")).toString();
    s.gas = o.value(QLatin1String("gas")).toString();
    s.units = o.value(QLatin1String("units")).toString();
    s.mode = o.value(QLatin1String("mode")).toString();
    const QJsonValue conc = o.value(QLatin1String("concentration"));
    s.hasConcentration = conc.isDouble();
    s.concentration = conc.toDouble();
    s.alarms = o.value(QLatin1String("alarms")).toInt();
    s.alarmTexts.clear();
    for (const QJsonValue v : o.value(QLatin1String("alarmTexts")).toArray())
        s.alarmTexts << v.toString();
    s.intervalSeconds = qMax(1, o.value(QLatin1String("interval")).toInt(5));
    const QDateTime said =
        QDateTime::fromString(o.value(QLatin1String("time")).toString(), Qt::ISODateWithMs);
    QDateTime seen = said.isValid() ? now : QDateTime();
    // Kept by the broker since then; a clock ahead of ours counts as now.
    if (retained && said.isValid() && said < now)
        seen = said.toLocalTime();
    s.lastSeen = seen;
    return true;
}

bool FleetStations::greyed(const FleetStation &s, const QDateTime &now)
{
    if (s.state == QLatin1String("offline") || !s.lastSeen.isValid())
        return true;
    return s.lastSeen.msecsTo(now) > 3000 * qint64(s.intervalSeconds);
}

bool FleetStations::trendPoint(const QByteArray &payload, FleetTrendPoint &point)
{
    const QJsonObject o = objectOf(payload);
    const QJsonValue conc = o.value(QLatin1String("concentration"));
    point.seq = qint64(o.value(QLatin1String("seq")).toDouble());
    point.run = o.value(QLatin1String("run")).toString();
    point.time = QDateTime::fromString(o.value(QLatin1String("time")).toString(), Qt::ISODateWithMs)
                     .toLocalTime();
    point.concentration = conc.toDouble();
    return conc.isDouble() && point.seq > 0 && point.time.isValid();
}
