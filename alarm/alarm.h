#pragma once

#include <QDateTime>
#include <QString>
#include <QVector>

// What can raise an alarm at a station. Each condition has a stable name (in the
// alarm log, the alarm command's environment and the fleet's topics), a
// severity and a title an operator understands.
enum class AlarmSeverity
{
    Warning,
    Fault
};

struct AlarmCondition
{
    QString name;  // "ringdown", "high", "link", ...
    QString title; // "Ringdown fault", "Concentration above the high limit", ...
    AlarmSeverity severity = AlarmSeverity::Fault;
};

// Every condition, in the order the Alarms window and the fleet's discovery list them.
const QVector<AlarmCondition> &alarmConditions();
// The condition named `name`; an empty one for a name that is not known.
AlarmCondition alarmCondition(const QString &name);

// "warning" or "fault".
QString severityText(AlarmSeverity severity);

// One change of one alarm: raised, cleared or acknowledged. The same for every
// way an alarm reaches a person (the window, the desktop, the command, the
// journal, the fleet, the log).
struct AlarmEvent
{
    enum class Change
    {
        Raised,
        Cleared,
        Acknowledged
    };

    QString name; // the condition's name
    AlarmSeverity severity = AlarmSeverity::Fault;
    Change change = Change::Raised;
    QString text;   // what happened, in a sentence: "Ringdown fault lamp on (Faults 1)."
    QString value;  // the value that raised or cleared it, as text; may be empty
    QString serial; // the analyzer's serial number as it sent it; may be empty
    QDateTime time; // when it happened
};

// "raised", "cleared" or "acknowledged".
QString changeText(AlarmEvent::Change change);
