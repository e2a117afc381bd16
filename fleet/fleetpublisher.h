#pragma once

#include "fleet/fleetconfig.h"
#include "fleet/fleetmessages.h"
#include "fleet/fleetsettings.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>

#include <memory>

class MqttClient;
class Spool;

// A station's side of the fleet: publishes the analyzer's status, trend rows,
// connection state and events to the broker, telemetry only (it subscribes to
// nothing, so nothing from the broker can reach the analyzer).
//
// Trend rows go through the on-disk spool and are published from there in
// order, QoS 1, as the broker acknowledges them; the status and the state are
// retained. The state topic is the connection's last will, so a station that
// dies shows "offline". Nothing here waits on the network: the connection
// lives on its own thread (MqttClient).
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

    Spool *spool() const { return rows.get(); }

signals:
    // For the status bar and the console; each text once in a row.
    void notice(const QString &text);

private:
    void adopt(const StationInfo &station);
    void startClient();
    void setState(const QString &newState);
    void sendEvent(const QString &event, const QJsonObject &fields = QJsonObject());
    void brokerUp();
    void brokerDown(const QString &reason);
    void pump();
    void acknowledged(int mid);
    void say(const QString &text);

    FleetSettings settings;
    BrokerConfig broker;
    MqttClient *client;
    std::unique_ptr<Spool> rows;
    QString serial;        // topic level of the analyzer published for; empty before the first
    QString state;         // "online", "reconnecting", "offline"; empty before the first
    QByteArray lastStatus; // the latest status, sent again when the broker comes back
    QList<QPair<QByteArray, QByteArray>> events; // waiting for the broker
    QHash<int, qint64> inFlight;                 // message id → seq of its trend row
    qint64 droppedRows = 0;                      // dropped from a full spool, not yet told
    QString lastNotice;
};
