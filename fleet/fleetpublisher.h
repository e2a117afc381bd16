#pragma once

#include "alarm/alarm.h"
#include "fleet/fleetconfig.h"
#include "fleet/fleetmessages.h"
#include "fleet/fleetsettings.h"
#include "fleet/spool.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class MqttClient;

// A station's side of the fleet: publishes the analyzer's status, trend rows,
// connection state and events to the broker, telemetry only (it subscribes to
// nothing, so nothing from the broker can reach the analyzer).
//
// Trend rows and events go through on-disk spools and are published from there
// in order, QoS 1, as the broker acknowledges them; when the spool cannot be
// written, rows are published directly (under a run of their own) until it
// can, and those made while a new connection is on its way wait for it. The
// status and the state are retained. The state topic is the connection's last
// will, so a station that dies shows "offline". Every failure (the broker, the
// spool) is said once through notice() and, once the broker is reachable, as
// an event. Nothing here waits on the network: the connection lives on its own
// thread (MqttClient).
class FleetPublisher : public QObject
{
    Q_OBJECT
public:
    explicit FleetPublisher(QObject *parent = nullptr);
    // Says "offline" when it was not said yet, and waits a moment for it to go out.
    ~FleetPublisher() override;

    // Publishes with these settings from now on; off stops. Problems are said
    // through notice().
    void configure(const FleetSettings &settings);
    bool isActive() const;

    // What the main window tells.
    void statusReport(const StatusRecord &record, const StationInfo &station);
    void trendRow(const StatusRecord &record, const StationInfo &station, const QDateTime &time);
    void analyzerLost(const QString &reason, bool retrying);
    void analyzerBack();
    void analyzerClosed();
    void verificationStarted();
    void verificationFinished(bool archiveMade, const QString &text);
    void srdaLimitReached(qint64 rowsKept);
    // An "alarm" event; a raise or a clear also changes the status's
    // "alarms_active", and the retained status goes out again at once.
    void alarm(const AlarmEvent &event);

    Spool *spool() const { return rows.spool.get(); }
    Spool *eventSpool() const { return eventRows.spool.get(); }

signals:
    // For the status bar and the console; each text once in a row.
    void notice(const QString &text);

private:
    // A spool and what of it was handed to the broker, not yet acknowledged.
    struct Outbox
    {
        std::unique_ptr<Spool> spool;
        QHash<int, qint64> inFlight; // message id → seq
    };

    void adopt(const StationInfo &station);
    void startClient();
    void setState(const QString &newState);
    void sendEvent(const QString &event, const QJsonObject &fields = QJsonObject());
    void publishEvent(const QJsonObject &event);
    void brokerUp();
    void brokerDown(const QString &reason);
    void pump();
    void pumpOnce();
    void pumpFrom(Outbox &box);
    void acknowledged(int mid);
    void say(const QString &text);
    bool spoolRow(const QByteArray &topic, const QByteArray &payload);
    void spoolOff(const QString &reason);
    void announce(const StatusRecord &record);
    void publishStatus();

    FleetSettings settings;
    BrokerConfig broker;
    MqttClient *client;
    Outbox rows, eventRows;
    StationInfo station;     // the analyzer published for; no station level before the first
    QString state;           // "online", "reconnecting", "offline"; empty before the first
    QByteArray lastStatus;   // the latest status, sent again when the broker comes back
    StatusRecord lastRecord; // what it was made of
    QDateTime lastStatusTime;
    QStringList alarmsActive;  // names of the alarms raised and not cleared, in that order
    QDateTime lastRowTime;     // of the last trend row: the next one goes out after it
    QList<QJsonObject> events; // waiting for the broker when no spool keeps them
    qint64 droppedRows = 0;    // dropped from a full spool, not yet told
    QString spoolTrouble;      // why rows are published directly; empty while spooled
    QString directRun;         // the run of rows published directly
    qint64 directSeq = 0;      // the seq of the last of them
    QList<SpoolRow> heldRows;  // of them, made while the client was starting (as spooled)
    bool starting = false;     // the client has neither reached the broker nor failed yet
    QString brokerTrouble;     // the first failure since the broker was last reached
    QDateTime troubleSince;
    bool outageTold = false; // since the broker was last reached
    QByteArray announced;    // discovery configs sent for this station, units and model
    QString lastNotice;
    bool pumping = false, pumpAgain = false;
};
