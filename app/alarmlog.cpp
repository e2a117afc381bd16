#include "app/alarmlog.h"

#include "console/logger.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

AlarmLog::AlarmLog(Logger &logger, const QString &folder) : logger(logger), dir(folder) {}

QString AlarmLog::alarmFolder()
{
    return QDir::homePath() + QStringLiteral("/QuorvaneData/Alarms/");
}

QString AlarmLog::fileName(const QDate &date)
{
    return QStringLiteral("alarms-") + date.toString(QStringLiteral("yyyyMMdd")) +
           QStringLiteral(".csv");
}

QString AlarmLog::header()
{
    return QStringLiteral("Date&Time, Alarm, State, Severity, Serial, Value, Text\r\n");
}

static QString field(QString text)
{
    // One row per event, whatever the analyzer or a file name put in the text.
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    text.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString AlarmLog::row(const AlarmEvent &e)
{
    const QStringList fields{e.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")),
                             e.name,
                             changeText(e.change),
                             severityText(e.severity),
                             field(e.serial),
                             field(e.value),
                             field(e.text)};
    return fields.join(QStringLiteral(", ")) + QStringLiteral("\r\n");
}

bool AlarmLog::append(const AlarmEvent &event)
{
    if (!QDir(dir).exists())
        QDir().mkpath(dir);
    const QString file = dir + fileName(event.time.date());
    QByteArray bytes;
    if (QFileInfo(file).size() == 0)
        bytes = header().toUtf8();
    // Header and row in one write, so that a kill leaves whole rows.
    bytes += row(event).toUtf8();
    return logger.log(bytes, file);
}
