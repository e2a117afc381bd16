#pragma once

#include "alarm/alarm.h"

#include <QDate>
#include <QString>

class Logger;

// The alarm log: "alarms-yyyyMMdd.csv" in the alarm folder, one row per raise,
// clear and acknowledgement, written whole (a row per write, as the trend rows).
class AlarmLog
{
public:
    explicit AlarmLog(Logger &logger, const QString &folder = alarmFolder());

    // home + "/QuorvaneData/Alarms/"
    static QString alarmFolder();
    static QString fileName(const QDate &date);
    static QString header();
    // Comma-separated as the trend rows, a field with a comma or a quote in quotes.
    static QString row(const AlarmEvent &event);

    // False when the file could not be written (the logger has said so).
    bool append(const AlarmEvent &event);

private:
    Logger &logger;
    QString dir;
};
