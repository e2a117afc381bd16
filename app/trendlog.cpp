#include "app/trendlog.h"

#include "common/clock.h"
#include "common/debuglog.h"
#include "console/logger.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

QString trendHeader(bool statusLog)
{
    return statusLog ? QStringLiteral("Date&Time, Concentration, Gas, Alarms, Tau, TauStd, "
                                      "TauEmpty, TauEmptyStd, LaserCurrent, LaserTemp\r\n")
                     : QStringLiteral("Date&Time, Concentration, Gas, Alarms\r\n");
}

QString trendRow(const StatusRecord &record, const QDateTime &now, bool compatibilityMode,
                 bool statusLog)
{
    bool numeric = false;
    record.conc.toDouble(&numeric);
    QStringList fields;
    fields << now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))
           << (numeric ? record.conc : QStringLiteral("No concentration data"));
    if (!compatibilityMode) {
        fields << record.gasType
               << (record.faults == QLatin1String("0") ? QStringLiteral("No Faults")
                                                       : record.faults);
        if (statusLog)
            fields << record.tau << record.tauStd << record.tauEmpty << record.tauEmptyStd
                   << record.laserCurrent << record.laserTemp;
        if (record.alarm1)
            fields << QStringLiteral("Alarm1");
        if (record.alarm2)
            fields << QStringLiteral("Alarm2");
    }
    return fields.join(QStringLiteral(", ")) + QStringLiteral("\r\n");
}

QString trendFileName(const QString &serial, const QDate &date)
{
    return QStringLiteral("SN-") + safeFileNamePart(serial) + QLatin1Char('-') +
           date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

QString trendFolder()
{
    return QDir::homePath() + QStringLiteral("/QuorvaneData/Trend/");
}

TrendWriter::TrendWriter(Logger &logger, const QString &folder)
    : logger(logger), dir(folder), file(folder)
{}

bool TrendWriter::append(const StatusRecord &record, bool compatibilityMode, bool statusLog)
{
    const QDateTime now = Clock::current();
    return append(serialNumber, trendRow(record, now, compatibilityMode, statusLog), statusLog,
                  now.date());
}

bool TrendWriter::append(const QString &serial, const QString &row, bool statusLog,
                         const QDate &date)
{
    file = dir + trendFileName(serial, date);
    // The folder comes first: probing a file in a missing folder would report
    // a log file error on the first start of every new installation.
    if (!QDir(dir).exists()) {
        qCDebug(telvarDebug) << "dir does not exist";
        // Made whether the trace is on or not.
        const bool made = QDir().mkpath(dir);
        qCDebug(telvarDebug) << (made ? "revale true" : "reval false");
    }
    // The logger has reported an unwritable file; one report per row is enough.
    if (!logger.fileIsValid(file))
        return false;
    QByteArray bytes;
    if (QFileInfo(file).size() < 10) {
        qCDebug(telvarDebug) << "autoLog file does not exist";
        bytes = trendHeader(statusLog).toUtf8();
    }
    // Header and row in one write, so that a kill leaves whole rows.
    bytes += row.toUtf8();
    return logger.log(bytes, file);
}
