#pragma once

#include "alarm/alarm.h"

#include <QObject>
#include <QThread>

class AlarmCommandWorker;

// Runs a program of the operator's for each raised and cleared alarm (not for
// acknowledgements): no shell and no arguments, the facts in its environment on
// top of this program's own:
//   TELVAR_ALARM     the condition's name ("ringdown")
//   TELVAR_STATE     raised or cleared
//   TELVAR_SEVERITY  warning or fault
//   TELVAR_SERIAL, TELVAR_VALUE, TELVAR_TEXT   as in the event; may be empty
//   TELVAR_TIME      ISO 8601 with the UTC offset: 2025-01-31T12:00:00+01:00
// Its output is discarded.
//
// The runs start on a thread of their own, one at a time, in the order of the
// events. A run that has not ended after timeoutMs is killed with everything it
// started. Of the events waiting their turn at most maxWaiting are kept: when
// one more comes, the oldest waiting one is dropped, so the command hears the
// latest news once it catches up.
//
// A command that cannot start, ends with a status other than 0 or is killed is
// said once by trouble(), and again only after a run that went well in between;
// the events go on running it all the same.
class AlarmCommand : public QObject
{
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 30000;
    static constexpr int maxWaiting = 100;

    explicit AlarmCommand(const QString &program, QObject *parent = nullptr);
    // A command still running is killed; this takes a moment at most.
    ~AlarmCommand() override;

    QString program() const { return path; }
    // For the runs that start from now on.
    void setTimeoutMs(int ms);
    void deliver(const AlarmEvent &event);

signals:
    void trouble(const QString &text);
    // One run has ended; ok when it exited with status 0.
    void ran(bool ok);

private:
    QString path;
    QThread thread;
    AlarmCommandWorker *worker;
};
