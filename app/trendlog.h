#pragma once

#include "common/safefilename.h"
#include "dashboard/statusrecord.h"

#include <QDate>
#include <QDateTime>
#include <QString>

class Logger;

// Trend rows and the daily trend files: one comma-separated row per status
// report, appended to "SN-<serial>-<yyyyMMdd>.csv" in the trend folder.

// Column header, with the ring-down and laser columns when statusLog is on.
QString trendHeader(bool statusLog);
// One row, fields joined by ", ", ending in "\r\n". In compatibility mode only
// the time and the concentration.
QString trendRow(const StatusRecord &record, const QDateTime &now, bool compatibilityMode,
                 bool statusLog);
// The serial number goes in as received, file names come out safe: see
// safeFileNamePart.
QString trendFileName(const QString &serial, const QDate &date);
// home + "/QuorvaneData/Trend/"
QString trendFolder();

// Appends trend rows to the file of the current day through the traffic
// logger, which opens and closes the file on every call.
class TrendWriter
{
public:
    explicit TrendWriter(Logger &logger, const QString &folder = trendFolder());

    // The serial number the file names are made of (none in demo mode).
    void setSerialNumber(const QString &serial) { serialNumber = serial; }

    // Builds the row for now (Clock::current()) and appends it; false when the
    // file could not be written (the logger has said so).
    bool append(const StatusRecord &record, bool compatibilityMode, bool statusLog);
    // Appends a row already built, to the file of serial and date.
    bool append(const QString &serial, const QString &row, bool statusLog, const QDate &date);

    // The current day's file after the first row; the folder before.
    QString trendFile() const { return file; }
    QString folder() const { return dir; }

private:
    Logger &logger;
    QString dir;
    QString file;
    QString serialNumber;
};
