#include "alarm/alarm.h"

#include <QCoreApplication>

const QVector<AlarmCondition> &alarmConditions()
{
    static const QVector<AlarmCondition> all = [] {
        const auto tr = [](const char *text) {
            return QCoreApplication::translate("Alarms", text);
        };
        const AlarmSeverity fault = AlarmSeverity::Fault, warning = AlarmSeverity::Warning;
        return QVector<AlarmCondition>{
            {QStringLiteral("laser"), tr("Laser fault"), fault},
            {QStringLiteral("ringdown"), tr("Ringdown fault"), fault},
            {QStringLiteral("pressure"), tr("Pressure fault"), fault},
            {QStringLiteral("temperature"), tr("Temperature alarm"), fault},
            {QStringLiteral("alarm1"), tr("Alarm 1"), warning},
            {QStringLiteral("alarm2"), tr("Alarm 2"), warning},
            {QStringLiteral("high"), tr("Concentration above the high limit"), warning},
            {QStringLiteral("low"), tr("Concentration below the low limit"), warning},
            {QStringLiteral("link"), tr("Connection to the analyzer lost"), fault},
            {QStringLiteral("run"), tr("Run cancelled or failed"), fault},
            {QStringLiteral("verification"), tr("Performance verification ended"), warning},
            {QStringLiteral("trend-file"), tr("Trend file cannot be written"), fault},
            {QStringLiteral("traffic-log"), tr("Traffic log cannot be written"), fault},
            {QStringLiteral("disk"), tr("Data folder's disk nearly full"), warning},
        };
    }();
    return all;
}

AlarmCondition alarmCondition(const QString &name)
{
    for (const AlarmCondition &c : alarmConditions())
        if (c.name == name)
            return c;
    return AlarmCondition();
}

QString severityText(AlarmSeverity severity)
{
    return severity == AlarmSeverity::Fault ? QStringLiteral("fault") : QStringLiteral("warning");
}

QString changeText(AlarmEvent::Change change)
{
    switch (change) {
    case AlarmEvent::Change::Raised:
        return QStringLiteral("raised");
    case AlarmEvent::Change::Cleared:
        return QStringLiteral("cleared");
    case AlarmEvent::Change::Acknowledged:
        break;
    }
    return QStringLiteral("acknowledged");
}
