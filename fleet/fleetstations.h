#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// One station as the fleet view knows it from its status and state topics.
struct FleetStation
{
    QString serial; // its topic level
    QString name;   // the analyzer's serial as it sent it, from the status
    QString model, gas, units, mode, state;
    bool hasConcentration = false;
    double concentration = 0;
    int alarms = 0;
    QStringList alarmTexts;
    int intervalSeconds = 5;
    QDateTime lastSeen; // of its latest status; invalid before the first or without a time
};

// A trend row as the fleet view plots it.
struct FleetTrendPoint
{
    qint64 seq = 0;
    QString run; // seq starts again with another run
    QDateTime time;
    double concentration = 0;
};

// The fleet view's table without widgets: stations by serial number, filled
// from the messages of "<prefix>/+/status" and "<prefix>/+/state".
class FleetStations
{
public:
    explicit FleetStations(const QString &prefix) : prefix(prefix) {}

    // Takes a message; true when it changed a station. Retained statuses are
    // as old as they say, live ones were seen `now`; one without a valid time
    // is never taken for fresh.
    bool take(const QByteArray &topic, const QByteArray &payload, bool retained,
              const QDateTime &now);
    // Sorted by serial number.
    const QVector<FleetStation> &stations() const { return list; }
    // Offline, without a valid time, or silent for more than three of its poll
    // periods.
    static bool greyed(const FleetStation &s, const QDateTime &now);

    // The serial level and the last level of "<prefix>/<serial>/<kind>"; false
    // for other topics.
    bool splitTopic(const QByteArray &topic, QString &serial, QString &kind) const;
    // A trend row's payload; false when it is not one or has no concentration.
    static bool trendPoint(const QByteArray &payload, FleetTrendPoint &point);

private:
    FleetStation &station(const QString &serial);

    QString prefix;
    QVector<FleetStation> list;
};
