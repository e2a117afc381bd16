#include "fleet/fleetpublisher.h"

#include "common/clock.h"
#include "fleet/fleetdiscovery.h"
#include "fleet/mqttclient.h"

#include <QFileInfo>
#include <QUuid>

#include <utility>

namespace {

// Messages from a spool handed to libmosquitto and not yet acknowledged; the rest wait there.
constexpr int window = 64;
// Events kept in memory while the broker is away and no spool keeps them; the oldest go first.
constexpr int eventBacklog = 1000;
// Rows published directly while a new client reaches the broker (a few seconds at most).
constexpr int heldBacklog = 1000;
// At exit: how long "offline" and the goodbye may take to go out.
constexpr int goodbyeMs = 1000;
constexpr qint64 eventSpoolBytes = qint64(16) << 20;

const QString online = QStringLiteral("online");
const QString reconnecting = QStringLiteral("reconnecting");
const QString offline = QStringLiteral("offline");

// Spooled topics are kept without the prefix, so a backlog goes out under the
// prefix of the day it is sent.
QByteArray spooledTopic(const QString &station, const char *kind)
{
    return '/' + station.toUtf8() + '/' + kind;
}

QString withoutFullStop(QString text)
{
    text = text.trimmed();
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

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
    if (isActive() && !station.station.isEmpty() && (state == online || state == reconnecting))
        client->publish(fleetTopic(broker.topicPrefix, station.station, "state"), offline.toUtf8(),
                        1, true);
    client->stop();
    rows.inFlight.clear();
    eventRows.inFlight.clear();
    if (!settings.enabled) {
        rows.spool.reset();
        eventRows.spool.reset();
        return;
    }
    outageTold = false; // another broker, or the same one anew
    const QString error = brokerConfig(settings, broker);
    if (!error.isEmpty()) {
        say(QStringLiteral("Fleet: ") + error + QStringLiteral(" Nothing is published."));
        return;
    }
    for (const QString &w : qAsConst(broker.warnings))
        say(QStringLiteral("Fleet: ") + w);
    const qint64 limit = qint64(qMax(1, settings.spoolMb)) << 20;
    if (!rows.spool)
        rows.spool = std::make_unique<Spool>(spoolFolder(), limit);
    rows.spool->setLimit(limit);
    if (!eventRows.spool)
        eventRows.spool =
            std::make_unique<Spool>(spoolFolder() + QStringLiteral("events/"), eventSpoolBytes);
    eventRows.spool->reopen();
    announced.clear();
    startClient();
    if (!rows.spool->reopen())
        spoolOff(rows.spool->error());
}

void FleetPublisher::startClient()
{
    starting = true;
    for (Outbox *box : {&rows, &eventRows}) {
        box->inFlight.clear();
        if (box->spool)
            box->spool->rewind(); // what the old connection had in flight goes again
    }
    MqttClient::Will will;
    if (!station.station.isEmpty())
        will = {fleetTopic(broker.topicPrefix, station.station, "state"), offline.toUtf8()};
    const QString error = client->start(broker, station.station.isEmpty() ? nullptr : &will);
    if (!error.isEmpty())
        say(QStringLiteral("Fleet: ") + error + QStringLiteral(" Nothing is published."));
}

void FleetPublisher::adopt(const StationInfo &info)
{
    const QString now = stationLevel(info.serial);
    const bool another = now != station.station;
    // The first analyzer of this run, or another one: the last will must name it.
    if (another && !station.station.isEmpty() && state != offline)
        setState(offline);
    station = info;
    station.station = now;
    if (!another)
        return;
    state.clear();
    lastStatus.clear();
    announced.clear();
    startClient();
}

void FleetPublisher::statusReport(const StatusRecord &record, const StationInfo &info)
{
    if (!isActive())
        return;
    adopt(info);
    if (state != online)
        setState(online);
    announce(record);
    lastRecord = record;
    lastStatusTime = Clock::current();
    publishStatus();
}

void FleetPublisher::publishStatus()
{
    lastStatus = statusJson(lastRecord, station, lastStatusTime, alarmsActive);
    client->publish(fleetTopic(broker.topicPrefix, station.station, "status"), lastStatus, 1, true);
}

void FleetPublisher::announce(const StatusRecord &record)
{
    if (!settings.discovery || !client->isConnected())
        return;
    const QString units = record.units.trimmed();
    // Again when the units or the model change: a model learned after the first
    // report (the demo analyzer's) reaches the device.
    const QByteArray key =
        (station.station + QLatin1Char('\t') + units + QLatin1Char('\t') + station.model.trimmed())
            .toUtf8();
    if (key == announced)
        return;
    for (const RetainedMessage &m : discoveryConfigs(broker.topicPrefix, station, units))
        client->publish(m.topic, m.payload, 1, true);
    announced = key;
}

void FleetPublisher::trendRow(const StatusRecord &record, const StationInfo &info,
                              const QDateTime &at)
{
    if (!isActive() || !rows.spool)
        return;
    adopt(info);
    // A time-series database keeps one row per station and time: a row of the
    // same millisecond as the one before it (a burst), or earlier (the clock
    // set back), goes out 1 ms after it.
    const QDateTime time =
        lastRowTime.isValid() && at <= lastRowTime ? lastRowTime.addMSecs(1) : at;
    lastRowTime = time;
    Spool &spool = *rows.spool;
    // Off: tried again at every row, so it resumes as soon as it can.
    if (spool.reopen()) {
        const qint64 seq = spool.nextSeq();
        if (spoolRow(spooledTopic(station.station, "trend"),
                     trendJson(seq, spool.run(), record, station, time))) {
            pump();
            return;
        }
    }
    spoolOff(spool.error());
    // Published directly, under a run of its own: these seqs are not on disk.
    if (directRun.isEmpty())
        directRun = QUuid::createUuid().toString(QUuid::WithoutBraces).left(13);
    const QByteArray payload = trendJson(++directSeq, directRun, record, station, time);
    // A client just (re)started has not reached the broker yet: its rows wait for it.
    if (client->publish(fleetTopic(broker.topicPrefix, station.station, "trend"), payload, 1,
                        false) < 0 &&
        starting && heldRows.size() < heldBacklog)
        heldRows.append({directSeq, spooledTopic(station.station, "trend"), payload});
}

bool FleetPublisher::spoolRow(const QByteArray &topic, const QByteArray &payload)
{
    Spool &spool = *rows.spool;
    SpoolRow row{spool.nextSeq(), topic, payload};
    bool written = false;
    const qint64 dropped = spool.append(row, &written);
    if (dropped > 0) {
        droppedRows += dropped;
        say(QStringLiteral("Fleet: the spool is full (%1 MiB); %2 oldest trend rows dropped.")
                .arg(settings.spoolMb)
                .arg(droppedRows));
    }
    if (written && !spoolTrouble.isEmpty()) {
        spoolTrouble.clear();
        say(QStringLiteral("Fleet: trend rows are kept in the spool %1 again.")
                .arg(spool.folder()));
        sendEvent(QStringLiteral("spoolOn"));
    }
    return written;
}

void FleetPublisher::spoolOff(const QString &reason)
{
    if (reason == spoolTrouble)
        return;
    spoolTrouble = reason;
    say(QStringLiteral("Fleet: trend rows cannot be kept in the spool %1: %2; they are published "
                       "directly, and only while the broker is reachable.")
            .arg(rows.spool->folder(), reason));
    sendEvent(QStringLiteral("spoolOff"), {{QStringLiteral("reason"), reason}});
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

void FleetPublisher::alarm(const AlarmEvent &e)
{
    const bool wasActive = alarmsActive.contains(e.name);
    if (e.change == AlarmEvent::Change::Raised && !wasActive)
        alarmsActive.append(e.name);
    else if (e.change == AlarmEvent::Change::Cleared && wasActive)
        alarmsActive.removeAll(e.name);
    if (!isActive())
        return;
    publishEvent(eventObject(e.time.isValid() ? e.time : Clock::current(), QStringLiteral("alarm"),
                             {{QStringLiteral("alarm"), e.name},
                              {QStringLiteral("state"), changeText(e.change)},
                              {QStringLiteral("severity"), severityText(e.severity)},
                              {QStringLiteral("text"), e.text},
                              {QStringLiteral("value"), e.value}}));
    // The status of the last report, with its own time: no new report may
    // come (the link is lost), and an old one must not pass for fresh.
    if (wasActive != alarmsActive.contains(e.name) && !lastStatus.isEmpty())
        publishStatus();
}

void FleetPublisher::setState(const QString &newState)
{
    state = newState;
    if (!station.station.isEmpty())
        client->publish(fleetTopic(broker.topicPrefix, station.station, "state"), state.toUtf8(), 1,
                        true);
}

void FleetPublisher::sendEvent(const QString &event, const QJsonObject &fields)
{
    if (!isActive())
        return;
    publishEvent(eventObject(Clock::current(), event, fields));
}

void FleetPublisher::publishEvent(const QJsonObject &event)
{
    // Before the analyzer has said who it is, and while no spool keeps them,
    // events wait here.
    Spool *spool = eventRows.spool.get();
    if (!station.station.isEmpty() && spool && spool->reopen()) {
        bool written = false;
        spool->append(
            {spool->nextSeq(), spooledTopic(station.station, "event"), eventJson(station, event)},
            &written);
        if (written) {
            pump();
            return;
        }
    }
    if (!station.station.isEmpty() &&
        client->publish(fleetTopic(broker.topicPrefix, station.station, "event"),
                        eventJson(station, event), 1, false) >= 0)
        return;
    if (events.size() >= eventBacklog)
        events.removeFirst();
    events.append(event);
}

void FleetPublisher::brokerUp()
{
    say(QStringLiteral("Fleet: publishing to %1").arg(broker.name()));
    outageTold = false;
    starting = false;
    if (!station.station.isEmpty() && !state.isEmpty())
        setState(state);
    if (!brokerTrouble.isEmpty()) {
        publishEvent(eventObject(Clock::current(), QStringLiteral("brokerUnreachable"),
                                 {{QStringLiteral("reason"), brokerTrouble},
                                  {QStringLiteral("since"), isoTime(troubleSince)}}));
        brokerTrouble.clear();
    }
    if (!lastStatus.isEmpty())
        client->publish(fleetTopic(broker.topicPrefix, station.station, "status"), lastStatus, 1,
                        true);
    for (const SpoolRow &row : std::exchange(heldRows, {}))
        client->publish(broker.topicPrefix.toUtf8() + row.topic, row.payload, 1, false);
    pump();
}

void FleetPublisher::brokerDown(const QString &reason)
{
    const QString why = withoutFullStop(reason);
    // Not reached: direct rows are lost while the broker is away.
    starting = false;
    heldRows.clear();
    if (brokerTrouble.isEmpty()) {
        brokerTrouble = why;
        troubleSince = Clock::current();
    }
    announced.clear();
    // One outage, one notice: the first reason, though the connection tries
    // again and again and each attempt may fail otherwise ("The connection was
    // lost", then "Connection refused").
    if (outageTold)
        return;
    outageTold = true;
    say(QStringLiteral("Fleet: broker %1: %2; %3")
            .arg(broker.name(), why,
                 spoolTrouble.isEmpty() ? QStringLiteral("trend rows wait in the spool.")
                                        : QStringLiteral("trend rows are not published.")));
}

void FleetPublisher::pump()
{
    if (!client->isConnected() || station.station.isEmpty())
        return;
    // An event told from in here spools and pumps again: once more at the end.
    if (pumping) {
        pumpAgain = true;
        return;
    }
    pumping = true;
    do {
        pumpAgain = false;
        pumpOnce();
    } while (pumpAgain);
    pumping = false;
}

void FleetPublisher::pumpOnce()
{
    if (droppedRows > 0) {
        const qint64 n = droppedRows;
        droppedRows = 0;
        sendEvent(QStringLiteral("spoolFull"), {{QStringLiteral("droppedRows"), n}});
    }
    while (!events.isEmpty() && (!eventRows.spool || !eventRows.spool->isOpen()) &&
           client->publish(fleetTopic(broker.topicPrefix, station.station, "event"),
                           eventJson(station, events.first()), 1, false) >= 0)
        events.removeFirst();
    // Kept in memory while the event spool was off; it keeps them from now on.
    while (!events.isEmpty() && eventRows.spool && eventRows.spool->isOpen()) {
        const QJsonObject e = events.takeFirst();
        publishEvent(e);
    }
    for (Outbox *box : {&rows, &eventRows}) {
        if (box->spool)
            pumpFrom(*box);
    }
}

void FleetPublisher::pumpFrom(Outbox &box)
{
    SpoolRow row;
    while (box.inFlight.size() < window) {
        if (!box.spool->peek(row)) {
            // Read to the end: the damage found on the way, told once.
            if (const qint64 skipped = box.spool->takeSkipped()) {
                say(QStringLiteral("Fleet: the spool %1 had damaged lines; %2 skipped.")
                        .arg(box.spool->folder())
                        .arg(skipped));
                sendEvent(QStringLiteral("spoolDamaged"),
                          {{QStringLiteral("skippedLines"), skipped}});
            }
            return;
        }
        const QByteArray topic =
            row.topic.startsWith('/') ? broker.topicPrefix.toUtf8() + row.topic : row.topic;
        const int mid = client->publish(topic, row.payload, 1, false);
        if (mid < 0)
            return;
        box.inFlight.insert(mid, row.seq);
        box.spool->handedOut();
    }
}

void FleetPublisher::acknowledged(int mid)
{
    for (Outbox *box : {&rows, &eventRows}) {
        const auto it = box->inFlight.find(mid);
        if (it == box->inFlight.end())
            continue;
        const qint64 seq = it.value();
        box->inFlight.erase(it);
        if (box->spool)
            box->spool->delivered(seq);
        pump();
        return;
    }
}

void FleetPublisher::say(const QString &text)
{
    if (text == lastNotice)
        return;
    lastNotice = text;
    emit notice(text);
}
