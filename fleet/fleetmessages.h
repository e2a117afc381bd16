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
};

// The topic level of a serial number: letters, digits, '-' and '_' only (never a
// wildcard or a level separator), "unknown" while the analyzer has not said.
QString topicSerial(const QString &serial);
// "<prefix>/<serial>/<kind>", kind being "status", "trend", "state" or "event".
QByteArray fleetTopic(const QString &prefix, const QString &serial, const char *kind);
// Local time in ISO 8601 with its UTC offset, e.g. "2025-01-31T12:00:00+01:00".
QString isoTime(const QDateTime &time);
// The fault bits by the dashboard's lamp names.
QStringList alarmTexts(int faultBits);

// The latest status report as one JSON object (published retained).
QByteArray statusJson(const StatusRecord &record, const StationInfo &station,
                      const QDateTime &time);
// One trend row as JSON; `seq` grows by one per row, across restarts.
QByteArray trendJson(qint64 seq, const StatusRecord &record, const StationInfo &station,
                     const QDateTime &time);
// Something that happened at the station: `event` names it, `fields` add to it.
QByteArray eventJson(const QString &serial, const QDateTime &time, const QString &event,
                     const QJsonObject &fields = QJsonObject());
