#pragma once

#include "fleet/fleetmessages.h"
#include "fleet/fleetsettings.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// A retained message the station leaves at the broker.
struct RetainedMessage
{
    QByteArray topic;
    QByteArray payload;
};

// Home Assistant's MQTT discovery configs of a station, published retained
// under "homeassistant/": a sensor each for concentration (in `units`), tau,
// tau zero, pressure, laser current and laser temperature, and a binary
// sensor for each alarm lamp and for each alarm condition (on while the
// status lists it among "alarms_active"). Each reads the station's status
// topic and is available while its state topic says "online".
QVector<RetainedMessage> discoveryConfigs(const QString &prefix, const StationInfo &station,
                                          const QString &units);
// What a station leaves retained: its discovery configs, status and state.
QVector<QByteArray> retainedTopics(const QString &prefix, const QString &station);

// Retires the station of `serial` (as the analyzer sends it) from the broker of
// `settings`: publishes an empty retained message on each of its retained
// topics. Waits at most `waitMs`; says on `log` what it did. Returns 0 when the
// broker took them all, 1 otherwise.
int forgetStation(const FleetSettings &settings, const QString &serial, int waitMs, QString &log);
