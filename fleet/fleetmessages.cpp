#include "fleet/fleetmessages.h"

#include "common/safefilename.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

namespace {

constexpr int longestSerial = 64;

// Numbers as numbers; what the analyzer did not send as a number is null.
QJsonValue numberOrNull(const QString &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    return ok && qIsFinite(v) ? QJsonValue(v) : QJsonValue(QJsonValue::Null);
}

QJsonValue faultBits(const QString &faults)
{
    bool ok = false;
    const int bits = faults.trimmed().toInt(&ok);
    return ok ? QJsonValue(bits) : QJsonValue(QJsonValue::Null);
}

QJsonObject commonFields(const StatusRecord &r, const StationInfo &s, const QDateTime &time)
{
    return {{QStringLiteral("serial"), topicSerial(s.serial)},
            {QStringLiteral("time"), isoTime(time)},
            {QStringLiteral("concentration"), numberOrNull(r.conc)},
            {QStringLiteral("units"), r.units.trimmed()},
            {QStringLiteral("gas"), r.gasType.trimmed()},
            {QStringLiteral("alarms"), faultBits(r.faults)}};
}

QByteArray compact(const QJsonObject &o)
{
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

QString topicSerial(const QString &serial)
{
    const QString s = serial.trimmed().left(longestSerial);
    return s.isEmpty() ? QStringLiteral("unknown") : safeFileNamePart(s);
}

QByteArray fleetTopic(const QString &prefix, const QString &serial, const char *kind)
{
    return (prefix + QLatin1Char('/') + topicSerial(serial) + QLatin1Char('/') +
            QLatin1String(kind))
        .toUtf8();
}

QString isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           (offset < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QStringList alarmTexts(int bits)
{
    static const char *const names[] = {"Ringdown", "Laser",   "Pressure",
                                        "Alarm 1",  "Alarm 2", "Temp"};
    QStringList out;
    for (int i = 0; i < 6; ++i) {
        if (bits & (1 << i))
            out << QLatin1String(names[i]);
    }
    return out;
}

QByteArray statusJson(const StatusRecord &r, const StationInfo &s, const QDateTime &time)
{
    QJsonObject o = commonFields(r, s, time);
    o.insert(QStringLiteral("model"), s.model.trimmed());
    o.insert(QStringLiteral("mode"), r.modeText);
    o.insert(QStringLiteral("alarmTexts"),
             QJsonArray::fromStringList(alarmTexts(faultBits(r.faults).toInt())));
    o.insert(QStringLiteral("laserCurrent"), numberOrNull(r.laserCurrent));
    o.insert(QStringLiteral("laserTemp"), numberOrNull(r.laserTemp));
    o.insert(QStringLiteral("tau"), numberOrNull(r.tau));
    o.insert(QStringLiteral("tauZero"), numberOrNull(r.tauEmpty));
    o.insert(QStringLiteral("pressure"), numberOrNull(r.pressure));
    o.insert(QStringLiteral("interval"), s.intervalSeconds);
    return compact(o);
}

QByteArray trendJson(qint64 seq, const StatusRecord &r, const StationInfo &s, const QDateTime &time)
{
    QJsonObject o = commonFields(r, s, time);
    o.insert(QStringLiteral("seq"), QJsonValue(seq));
    return compact(o);
}

QByteArray eventJson(const QString &serial, const QDateTime &time, const QString &event,
                     const QJsonObject &fields)
{
    QJsonObject o = fields;
    o.insert(QStringLiteral("serial"), topicSerial(serial));
    o.insert(QStringLiteral("time"), isoTime(time));
    o.insert(QStringLiteral("event"), event);
    return compact(o);
}
