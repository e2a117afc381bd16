#include "alarm/alarms.h"

#include "common/clock.h"
#include "common/commandsequence.h"

#include <QStorageInfo>

#include <cmath>

namespace {

qint64 secondsMs(int seconds)
{
    return qint64(seconds) * CommandSequence::secondMs();
}

QString number(double v)
{
    return QString::number(v, 'g', 6);
}

struct Lamp
{
    const char *name;
    bool StatusRecord::*on;
};

const Lamp lamps[] = {
    {"laser", &StatusRecord::laserFault},       {"ringdown", &StatusRecord::ringdownFault},
    {"pressure", &StatusRecord::pressureFault}, {"temperature", &StatusRecord::tempAlarm},
    {"alarm1", &StatusRecord::alarm1},          {"alarm2", &StatusRecord::alarm2},
};

} // namespace

Alarms::Alarms(QObject *parent)
    : QObject(parent), freeSpace([](const QString &folder) {
          const QStorageInfo disk(folder);
          return disk.isValid() ? disk.bytesAvailable() : qint64(-1);
      })
{}

void Alarms::configure(const AlarmSettings &settings)
{
    config = settings;
    // What is switched off now ends; the rest goes on as it was.
    const auto off = [&](const QString &group) {
        if (!config.enabled)
            return true;
        if (group == QLatin1String("high"))
            return !config.high;
        if (group == QLatin1String("low"))
            return !config.low;
        if (group == QLatin1String("link"))
            return !config.link;
        if (group == QLatin1String("run") || group == QLatin1String("verification"))
            return !config.runs;
        if (group == QLatin1String("trend-file") || group == QLatin1String("traffic-log") ||
            group == QLatin1String("disk"))
            return !config.writes;
        return !config.lamps;
    };
    for (const AlarmCondition &c : alarmConditions())
        if (off(c.name) && isActive(c.name))
            clear(c.name, tr("Alarm switched off in the settings."));
    limits.clear();
}

bool Alarms::isActive(const QString &name) const
{
    for (const Shown &a : list)
        if (a.condition.name == name && a.active())
            return true;
    return false;
}

int Alarms::activeCount() const
{
    return int(
        std::count_if(list.cbegin(), list.cend(), [](const Shown &a) { return a.active(); }));
}

std::optional<AlarmSeverity> Alarms::worst() const
{
    std::optional<AlarmSeverity> w;
    for (const Shown &a : list)
        if (a.active() && (!w || a.condition.severity == AlarmSeverity::Fault))
            w = a.condition.severity;
    return w;
}

void Alarms::emitChange(const Shown &alarm, AlarmEvent::Change change, const QString &text,
                        const QString &value)
{
    AlarmEvent e;
    e.name = alarm.condition.name;
    e.severity = alarm.condition.severity;
    e.change = change;
    e.text = text;
    e.value = value;
    e.serial = serial;
    e.time = change == AlarmEvent::Change::Raised    ? alarm.raised
             : change == AlarmEvent::Change::Cleared ? alarm.cleared
                                                     : alarm.acknowledged;
    emit changed(e);
    emit listChanged();
}

void Alarms::raise(const QString &name, const QString &text, const QString &value)
{
    if (!config.enabled || isActive(name))
        return;
    // A cleared one of the same condition that nobody acknowledged gives way to the new episode.
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const Shown &a) { return a.condition.name == name; }),
               list.end());
    Shown a;
    a.condition = alarmCondition(name);
    a.text = text;
    a.value = value;
    a.raised = Clock::current();
    list << a;
    emitChange(a, AlarmEvent::Change::Raised, text, value);
}

void Alarms::clear(const QString &name, const QString &text, const QString &value)
{
    for (int i = 0; i < list.size(); ++i) {
        Shown &a = list[i];
        if (a.condition.name != name || !a.active())
            continue;
        a.cleared = Clock::current();
        const Shown copy = a;
        // Seen and over: nothing left to show.
        if (a.acknowledged.isValid())
            list.removeAt(i);
        emitChange(copy, AlarmEvent::Change::Cleared, text, value);
        return;
    }
}

void Alarms::acknowledge(const QString &name)
{
    for (int i = 0; i < list.size(); ++i) {
        Shown &a = list[i];
        if (a.condition.name != name || a.acknowledged.isValid())
            continue;
        a.acknowledged = Clock::current();
        const Shown copy = a;
        if (!a.active())
            list.removeAt(i);
        emitChange(copy, AlarmEvent::Change::Acknowledged, copy.text, copy.value);
        // A run's alarm tells of something over: seen, it is done with.
        if (copy.active() &&
            (name == QLatin1String("run") || name == QLatin1String("verification")))
            clear(name, tr("Acknowledged."));
        return;
    }
}

void Alarms::acknowledgeAll()
{
    QStringList names;
    for (const Shown &a : qAsConst(list))
        if (!a.acknowledged.isValid())
            names << a.condition.name;
    for (const QString &name : qAsConst(names))
        acknowledge(name);
}

void Alarms::report(const StatusReport &report)
{
    const StatusRecord &r = report.record;
    // In compatibility mode the lamps say nothing (the old firmware does not report them).
    if (config.lamps && !report.compatibilityMode) {
        for (const Lamp &lamp : lamps) {
            const QString name = QLatin1String(lamp.name);
            const QString title = alarmCondition(name).title;
            if (r.*lamp.on)
                raise(name, tr("%1: lamp on (Faults %2).").arg(title, r.faults), r.faults);
            else if (isActive(name))
                clear(name, tr("%1: lamp off.").arg(title), r.faults);
        }
    }
    bool ok = false;
    const double c = r.conc.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(c))
        return; // not measuring: no reading to judge
    if (config.high)
        judgeLimit(QStringLiteral("high"), c > *config.high,
                   c < *config.high - config.band(*config.high), c, *config.high);
    if (config.low)
        judgeLimit(QStringLiteral("low"), c<*config.low, c> * config.low + config.band(*config.low),
                   c, *config.low);
}

// True once `condition` has held for `hold` ms in a row; `since` keeps when it began.
static bool heldFor(qint64 &since, bool condition, qint64 now, qint64 hold)
{
    if (!condition) {
        since = -1;
        return false;
    }
    if (since < 0)
        since = now;
    if (now - since < hold)
        return false;
    since = -1;
    return true;
}

void Alarms::judgeLimit(const QString &name, bool crossed, bool back, double value, double limit)
{
    Limit &l = limits[name];
    const qint64 now = Clock::monotonic();
    const qint64 hold = secondsMs(config.holdSeconds);
    const bool high = name == QLatin1String("high");
    if (!isActive(name)) {
        l.backSinceMs = -1;
        if (heldFor(l.crossedSinceMs, crossed, now, hold))
            raise(name,
                  (high ? tr("Concentration %1 above the high limit %2 for %3 s.")
                        : tr("Concentration %1 below the low limit %2 for %3 s."))
                      .arg(number(value), number(limit))
                      .arg(config.holdSeconds),
                  number(value));
        return;
    }
    l.crossedSinceMs = -1;
    if (heldFor(l.backSinceMs, back, now, hold))
        clear(name,
              (high ? tr("Concentration %1 back below the high limit %2.")
                    : tr("Concentration %1 back above the low limit %2."))
                  .arg(number(value), number(limit)),
              number(value));
}

void Alarms::forgetPending()
{
    limits.clear();
}

void Alarms::linkLost(const QString &reason)
{
    forgetPending();
    if (lostSinceMs < 0)
        lostSinceMs = Clock::monotonic();
    lostReason = reason;
}

void Alarms::linkBack()
{
    lostSinceMs = -1;
    clear(QStringLiteral("link"), tr("The analyzer answers again."));
}

void Alarms::linkClosed()
{
    forgetPending();
    lostSinceMs = -1;
    // The runs of the connection are over with it; the window keeps them
    // listed until they are acknowledged.
    for (const char *name : {"link", "run", "verification"})
        clear(QLatin1String(name), tr("Disconnected."));
}

void Alarms::runEnded(const QString &what, RunOutcome outcome, const QString &text,
                      bool verification)
{
    if (!config.runs)
        return;
    if (outcome == RunOutcome::Completed) {
        if (verification)
            raise(QStringLiteral("verification"),
                  tr("Performance verification ended: %1").arg(text), text);
        return;
    }
    raise(QStringLiteral("run"),
          (outcome == RunOutcome::Cancelled ? tr("%1 cancelled: %2") : tr("%1 failed: %2"))
              .arg(what, text),
          text);
}

void Alarms::writeFailed(const QString &name, bool failing, const QString &text)
{
    if (!config.writes)
        return;
    if (failing)
        raise(name, text);
    else
        clear(name, text);
}

void Alarms::check()
{
    const qint64 now = Clock::monotonic();
    if (config.link && lostSinceMs >= 0 && now - lostSinceMs >= secondsMs(config.linkLostSeconds))
        raise(QStringLiteral("link"),
              tr("The link to the analyzer has been lost for %1 s: %2.")
                  .arg(config.linkLostSeconds)
                  .arg(lostReason),
              lostReason);
    if (!config.writes || dataFolder.isEmpty() ||
        (lastDiskCheckMs >= 0 && now - lastDiskCheckMs < secondsMs(60)))
        return;
    lastDiskCheckMs = now;
    const qint64 free = freeSpace(dataFolder);
    if (free < 0)
        return;
    const qint64 wanted = qint64(config.minFreeMb) * 1024 * 1024;
    const QString mb = QString::number(free / (1024 * 1024));
    if (free < wanted)
        raise(QStringLiteral("disk"),
              tr("Only %1 MB free on the disk of %2 (%3 MB wanted).")
                  .arg(mb, dataFolder)
                  .arg(config.minFreeMb),
              mb);
    else if (free > wanted + wanted / 20)
        clear(QStringLiteral("disk"), tr("%1 MB free on the disk of %2.").arg(mb, dataFolder), mb);
}
