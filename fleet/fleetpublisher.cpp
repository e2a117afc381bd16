#include "fleet/fleetpublisher.h"

#include "common/clock.h"
#include "fleet/mqttclient.h"
#include "fleet/spool.h"

#include <QFileInfo>

namespace {

// Trend rows handed to libmosquitto and not yet acknowledged; the rest wait in the spool.
constexpr int window = 64;
// Events kept while the broker is away; the oldest go first.
constexpr int eventBacklog = 1000;
// At exit: how long "offline" and the goodbye may take to go out.
constexpr int goodbyeMs = 1000;

const QString online = QStringLiteral("online");
const QString reconnecting = QStringLiteral("reconnecting");
const QString offline = QStringLiteral("offline");

} // namespace

FleetPublisher::FleetPublisher(QObject *parent) : QObject(parent), client(new MqttClient(this))
{
    connect(client, &MqttClient::connected, this, &FleetPublisher::brokerUp);
    connect(client, &MqttClient::disconnected, this, &FleetPublisher::brokerDown);
    connect(client, &MqttClient::published, this, &FleetPublisher::acknowledged);
}

FleetPublisher::~FleetPublisher()
{
    if (state == online || state == reconnecting)
        setState(offline);
    client->stop(goodbyeMs);
}

bool FleetPublisher::isActive() const
{
    return client->isRunning();
}

void FleetPublisher::configure(const FleetSettings &wanted)
{
    if (wanted == settings && (isActive() || !wanted.enabled))
        return;
    settings = wanted;
    if (isActive() && !serial.isEmpty() && (state == online || state == reconnecting))
        client->publish(fleetTopic(broker.topicPrefix, serial, "state"), offline.toUtf8(), 1, true);
    client->stop();
    inFlight.clear();
    if (!settings.enabled) {
        rows.reset();
        return;
    }
    const QString error = brokerConfig(settings, broker);
    if (!error.isEmpty()) {
        say(QStringLiteral("Fleet: ") + error + QStringLiteral(" Nothing is published."));
        return;
    }
    for (const QString &w : qAsConst(broker.warnings))
        say(QStringLiteral("Fleet: ") + w);
    const qint64 limit = qint64(qMax(1, settings.spoolMb)) << 20;
    if (!rows)
        rows = std::make_unique<Spool>(spoolFolder(), limit);
    rows->setLimit(limit);
    if (!rows->isOpen())
        say(QStringLiteral("Fleet: the spool folder %1 cannot be made or is in use by another "
                           "Telvar; trend rows are not published.")
                .arg(rows->folder()));
    startClient();
}

void FleetPublisher::startClient()
{
    inFlight.clear();
    if (rows)
        rows->rewind(); // what the old connection had in flight goes again
    MqttClient::Will will;
    if (!serial.isEmpty())
        will = {fleetTopic(broker.topicPrefix, serial, "state"), offline.toUtf8()};
    const QString error = client->start(broker, serial.isEmpty() ? nullptr : &will);
    if (!error.isEmpty())
        say(QStringLiteral("Fleet: ") + error + QStringLiteral(" Nothing is published."));
}

void FleetPublisher::adopt(const StationInfo &station)
{
    const QString now = topicSerial(station.serial);
    if (now == serial)
        return;
    // The first analyzer of this run, or another one: the last will must name it.
    if (!serial.isEmpty() && state != offline)
        setState(offline);
    serial = now;
    state.clear();
    lastStatus.clear();
    startClient();
}

void FleetPublisher::statusReport(const StatusRecord &record, const StationInfo &station)
{
    if (!isActive())
        return;
    adopt(station);
    if (state != online)
        setState(online);
    lastStatus = statusJson(record, station, Clock::current());
    client->publish(fleetTopic(broker.topicPrefix, serial, "status"), lastStatus, 1, true);
}

void FleetPublisher::trendRow(const StatusRecord &record, const StationInfo &station,
                              const QDateTime &time)
{
    if (!isActive() || !rows || !rows->isOpen())
        return;
    adopt(station);
    SpoolRow row;
    row.seq = rows->nextSeq();
    row.topic = fleetTopic(broker.topicPrefix, station.serial, "trend");
    row.payload = trendJson(row.seq, record, station, time);
    bool written = false;
    const qint64 dropped = rows->append(row, &written);
    if (!written)
        say(QStringLiteral("Fleet: cannot write to the spool in %1; this trend row is not "
                           "published.")
                .arg(rows->folder()));
    if (dropped > 0) {
        droppedRows += dropped;
        say(QStringLiteral("Fleet: the spool is full (%1 MiB); %2 oldest trend rows dropped.")
                .arg(settings.spoolMb)
                .arg(droppedRows));
    }
    pump();
}

void FleetPublisher::analyzerLost(const QString &reason, bool retrying)
{
    sendEvent(QStringLiteral("connectionLost"), {{QStringLiteral("reason"), reason}});
    // Without retrying, the disconnect that follows says "offline".
    if (retrying)
        setState(reconnecting);
}

void FleetPublisher::analyzerBack()
{
    if (state != reconnecting)
        return;
    sendEvent(QStringLiteral("connectionBack"));
    setState(online);
}

void FleetPublisher::analyzerClosed()
{
    if (!state.isEmpty())
        setState(offline);
}

void FleetPublisher::verificationStarted()
{
    sendEvent(QStringLiteral("verificationStarted"));
}

void FleetPublisher::verificationFinished(bool archiveMade, const QString &text)
{
    if (archiveMade)
        sendEvent(QStringLiteral("verificationFinished"),
                  {{QStringLiteral("archive"), QFileInfo(text).fileName()}});
    else
        sendEvent(QStringLiteral("verificationFinished"), {{QStringLiteral("error"), text}});
}

void FleetPublisher::srdaLimitReached(qint64 rowsKept)
{
    sendEvent(QStringLiteral("srdaLimitReached"), {{QStringLiteral("rowsKept"), rowsKept}});
}

void FleetPublisher::setState(const QString &newState)
{
    state = newState;
    if (!serial.isEmpty())
        client->publish(fleetTopic(broker.topicPrefix, serial, "state"), state.toUtf8(), 1, true);
}

void FleetPublisher::sendEvent(const QString &event, const QJsonObject &fields)
{
    if (!isActive() || serial.isEmpty())
        return; // no analyzer to tell about yet
    const QByteArray topic = fleetTopic(broker.topicPrefix, serial, "event");
    const QByteArray payload = eventJson(serial, Clock::current(), event, fields);
    if (client->publish(topic, payload, 1, false) >= 0)
        return;
    if (events.size() >= eventBacklog)
        events.removeFirst();
    events.append({topic, payload});
}

void FleetPublisher::brokerUp()
{
    say(QStringLiteral("Fleet: publishing to %1").arg(broker.name()));
    if (!serial.isEmpty() && !state.isEmpty())
        setState(state);
    if (!lastStatus.isEmpty())
        client->publish(fleetTopic(broker.topicPrefix, serial, "status"), lastStatus, 1, true);
    while (!events.isEmpty() &&
           client->publish(events.first().first, events.first().second, 1, false) >= 0)
        events.removeFirst();
    pump();
}

void FleetPublisher::brokerDown(const QString &reason)
{
    QString why = reason.trimmed();
    while (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    say(QStringLiteral("Fleet: broker %1: %2; trend rows wait in the spool.")
            .arg(broker.name(), why));
}

void FleetPublisher::pump()
{
    if (!client->isConnected() || !rows)
        return;
    if (droppedRows > 0 && !serial.isEmpty()) {
        sendEvent(QStringLiteral("spoolFull"), {{QStringLiteral("droppedRows"), droppedRows}});
        droppedRows = 0;
    }
    SpoolRow row;
    while (inFlight.size() < window && rows->peek(row)) {
        const int mid = client->publish(row.topic, row.payload, 1, false);
        if (mid < 0)
            return;
        inFlight.insert(mid, row.seq);
        rows->handedOut();
    }
}

void FleetPublisher::acknowledged(int mid)
{
    const auto it = inFlight.find(mid);
    if (it == inFlight.end())
        return; // a status, state or event
    const qint64 seq = it.value();
    inFlight.erase(it);
    if (rows)
        rows->delivered(seq);
    pump();
}

void FleetPublisher::say(const QString &text)
{
    if (text == lastNotice)
        return;
    lastNotice = text;
    emit notice(text);
}
