#pragma once

#include "dashboard/statusrecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What a station says about its analyzer, besides the status record.
struct StationInfo
{
    QString serial; // as the analyzer sent it
    QString model;
    int intervalSeconds = 5; // poll period: a fleet view greys a station silent for three
    QString station;         // its topic level; the publisher fills it in
};

// The topic level of a serial number. A serial of letters, digits, '-' and '_'
// only is its own level; any other keeps those characters and adds a short hash
// of the whole serial, so "A/B1" and "A B1" never share a topic (nor is one a
// wildcard or a level separator). "unknown" while the analyzer has not said.
QString topicSerial(const QString &serial);
// The level of a station whose analyzer gives no serial (the demo analyzer):
// "telvar-" and an id made once per install and kept in the settings store.
QString installStation();
// Whether the analyzer gave no serial: none at all, or "0", which is what an
// analyzer without one answers.
bool withoutSerial(const QString &serial);
// The topic level of the analyzer of `serial`: topicSerial(serial), or
// installStation() for one without a serial (so that two of them, at two
// installs, never share a station).
QString stationLevel(const QString &serial);
// "<prefix>/<station>/<kind>", kind being "status", "trend", "state" or "event";
// `station` is a topic level (topicSerial).
QByteArray fleetTopic(const QString &prefix, const QString &station, const char *kind);
// Local time in ISO 8601 with milliseconds and its UTC offset, e.g.
// "2025-01-31T12:00:00.250+01:00": two trend rows within a second stay apart.
QString isoTime(const QDateTime &time);
// The fault bits by the dashboard's lamp names.
QStringList alarmTexts(int faultBits);

// The latest status report as one JSON object (published retained), with the
// names of the station's alarms that are raised.
QByteArray statusJson(const StatusRecord &record, const StationInfo &station, const QDateTime &time,
                      const QStringList &alarmsActive = QStringList());
// One trend row as JSON; `seq` grows by one per row, across restarts, within
// `run`, which changes whenever seq starts again.
QByteArray trendJson(qint64 seq, const QString &run, const StatusRecord &record,
                     const StationInfo &station, const QDateTime &time);
// Something that happened at the station at `time`: `event` names it, `fields`
// add to it. Without a station, for one that is not known yet.
QJsonObject eventObject(const QDateTime &time, const QString &event,
                        const QJsonObject &fields = QJsonObject());
QByteArray eventJson(const StationInfo &station, const QJsonObject &event);
