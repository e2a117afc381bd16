#include "fleet/fleetmessages.h"

#include "common/safefilename.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QRegularExpression>
#include <QSettings>
#include <QUuid>

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
    return {{QStringLiteral("serial"), s.serial},
            {QStringLiteral("station"), s.station},
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
    if (serial.isEmpty())
        return QStringLiteral("unknown");
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]{1,64}$"));
    if (plain.match(serial).hasMatch())
        return serial;
    const QByteArray hash =
        QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha1).toHex().left(8);
    return safeFileNamePart(serial.left(longestSerial - 9)) + QLatin1Char('-') +
           QString::fromLatin1(hash);
}

QString installStation()
{
    // Read once: it is asked for at every trend row of a station without a serial.
    static const QString station = [] {
        QSettings s(QStringLiteral("Quorvane"), QStringLiteral("Telvar"));
        QString id = s.value(QStringLiteral("fleet/installId")).toString();
        if (id.isEmpty()) {
            id = QUuid::createUuid().toString(QUuid::Id128).left(8);
            s.setValue(QStringLiteral("fleet/installId"), id);
        }
        return QStringLiteral("telvar-") + id;
    }();
    return station;
}

bool withoutSerial(const QString &serial)
{
    return serial.isEmpty() || serial == QLatin1String("0");
}

QString stationLevel(const QString &serial)
{
    return withoutSerial(serial) ? installStation() : topicSerial(serial);
}

QByteArray fleetTopic(const QString &prefix, const QString &station, const char *kind)
{
    return (prefix + QLatin1Char('/') + station + QLatin1Char('/') + QLatin1String(kind)).toUtf8();
}

QString isoTime(const QDateTime &time)
{
    const int offset = time.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return time.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz")) +
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

QByteArray statusJson(const StatusRecord &r, const StationInfo &s, const QDateTime &time,
                      const QStringList &alarmsActive)
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
    o.insert(QStringLiteral("alarms_active"), QJsonArray::fromStringList(alarmsActive));
    return compact(o);
}

QByteArray trendJson(qint64 seq, const QString &run, const StatusRecord &r, const StationInfo &s,
                     const QDateTime &time)
{
    QJsonObject o = commonFields(r, s, time);
    o.insert(QStringLiteral("seq"), QJsonValue(seq));
    o.insert(QStringLiteral("run"), run);
    return compact(o);
}

QJsonObject eventObject(const QDateTime &time, const QString &event, const QJsonObject &fields)
{
    QJsonObject o = fields;
    o.insert(QStringLiteral("time"), isoTime(time));
    o.insert(QStringLiteral("event"), event);
    return o;
}

QByteArray eventJson(const StationInfo &s, const QJsonObject &event)
{
    QJsonObject o = event;
    o.insert(QStringLiteral("serial"), s.serial);
    o.insert(QStringLiteral("station"), s.station);
    return compact(o);
}
