#pragma once

#include "alarm/alarm.h"
#include "alarm/alarmsettings.h"
#include "common/replyowner.h"
#include "dashboard/statusrecord.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>

#include <functional>
#include <optional>

// The station's alarms: what raises and clears each, one alarm per episode,
// and the list a person acknowledges. Plain logic: the station feeds it the
// status reports, the link's losses and returns, the runs' ends and the write
// failures, and calls check() once a paced second; every raise, clear and
// acknowledgement leaves through changed(), for the log, the desktop, the
// command, the journal and the fleet alike.
//
// The lamps and the limits are judged on status reports only, so on live
// data: a loss (or Disconnect) forgets a limit's crossing that had not lasted
// its hold time yet, and nothing of theirs is raised or cleared until the next
// report. A run's alarm stays until it is acknowledged or the connection ends.
class Alarms : public QObject
{
    Q_OBJECT
public:
    // One alarm as the Alarms window lists it: active, or cleared and not yet acknowledged.
    struct Shown
    {
        AlarmCondition condition;
        QString text;
        QString value;
        QDateTime raised, cleared, acknowledged; // invalid while not so
        bool active() const { return !cleared.isValid(); }
    };

    explicit Alarms(QObject *parent = nullptr);

    void configure(const AlarmSettings &settings);
    const AlarmSettings &settings() const { return config; }
    void setSerial(const QString &s) { serial = s; }
    // Where the trend files and the logs go: its disk's free space is watched.
    void setDataFolder(const QString &folder) { dataFolder = folder; }
    // The free bytes of a folder's disk; the tests give their own.
    void setFreeSpace(std::function<qint64(const QString &)> f) { freeSpace = std::move(f); }

    void report(const StatusReport &report);
    void linkLost(const QString &reason);
    // The analyzer has answered again.
    void linkBack();
    // The operator's Disconnect: the link is not lost, it is closed.
    void linkClosed();
    // `what` names the run: "Performance verification", "Service scan", ...;
    // a verification that ends by itself raises an alarm of its own.
    void runEnded(const QString &what, RunOutcome outcome, const QString &text, bool verification);
    // `name` "trend-file" or "traffic-log"; `failing` false when it is written again.
    void writeFailed(const QString &name, bool failing, const QString &text);
    // Once a paced second: the link's time, the disk's free space.
    void check();

    void acknowledge(const QString &name);
    void acknowledgeAll();

    QVector<Shown> shown() const { return list; }
    int activeCount() const;
    // The worst severity among the active alarms; none when there is none.
    std::optional<AlarmSeverity> worst() const;

signals:
    void changed(const AlarmEvent &event);
    // The list of shown() changed.
    void listChanged();

private:
    // A limit's state between reports.
    struct Limit
    {
        qint64 crossedSinceMs = -1; // raise pending since
        qint64 backSinceMs = -1;    // clear pending since
    };

    void raise(const QString &name, const QString &text, const QString &value = QString());
    void clear(const QString &name, const QString &text, const QString &value = QString());
    bool isActive(const QString &name) const;
    void emitChange(const Shown &alarm, AlarmEvent::Change change, const QString &text,
                    const QString &value);
    void judgeLimit(const QString &name, bool crossed, bool back, double value, double limit);
    void forgetPending();

    AlarmSettings config;
    QString serial;
    QString dataFolder;
    std::function<qint64(const QString &)> freeSpace;
    QVector<Shown> list;
    QHash<QString, Limit> limits;
    qint64 lostSinceMs = -1; // the link lost, not back yet
    QString lostReason;
    qint64 lastDiskCheckMs = -1;
};
