#include "alarm/alarmsettings.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cmath>

double AlarmSettings::band(double limit) const
{
    // A limit of zero still gets a band, or a value hovering there would clear
    // and raise on every report.
    return std::max(std::abs(limit) * hysteresisPercent / 100.0, 1e-9);
}

static std::optional<double> optionalNumber(const QSettings &s, const QString &key)
{
    bool ok = false;
    const double v = s.value(key).toDouble(&ok);
    if (!s.contains(key) || !ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

void AlarmSettings::load(const QSettings &s)
{
    const AlarmSettings d;
    enabled = s.value(QStringLiteral("alarms/enabled"), d.enabled).toBool();
    lamps = s.value(QStringLiteral("alarms/lamps"), d.lamps).toBool();
    link = s.value(QStringLiteral("alarms/link"), d.link).toBool();
    runs = s.value(QStringLiteral("alarms/runs"), d.runs).toBool();
    writes = s.value(QStringLiteral("alarms/writes"), d.writes).toBool();
    high = optionalNumber(s, QStringLiteral("alarms/high"));
    low = optionalNumber(s, QStringLiteral("alarms/low"));
    holdSeconds =
        qBound(0, s.value(QStringLiteral("alarms/holdSeconds"), d.holdSeconds).toInt(), 86400);
    hysteresisPercent = qBound(
        0.0, s.value(QStringLiteral("alarms/hysteresisPercent"), d.hysteresisPercent).toDouble(),
        100.0);
    linkLostSeconds = qBound(
        0, s.value(QStringLiteral("alarms/linkLostSeconds"), d.linkLostSeconds).toInt(), 86400);
    minFreeMb = qMax(0, s.value(QStringLiteral("alarms/minFreeMb"), d.minFreeMb).toInt());
    command = s.value(QStringLiteral("alarms/command"), d.command).toString();
}

void AlarmSettings::save(QSettings &s) const
{
    s.setValue(QStringLiteral("alarms/enabled"), enabled);
    s.setValue(QStringLiteral("alarms/lamps"), lamps);
    s.setValue(QStringLiteral("alarms/link"), link);
    s.setValue(QStringLiteral("alarms/runs"), runs);
    s.setValue(QStringLiteral("alarms/writes"), writes);
    for (const auto &[key, value] : {std::pair{QStringLiteral("alarms/high"), high},
                                     std::pair{QStringLiteral("alarms/low"), low}}) {
        if (value)
            s.setValue(key, *value);
        else
            s.remove(key);
    }
    s.setValue(QStringLiteral("alarms/holdSeconds"), holdSeconds);
    s.setValue(QStringLiteral("alarms/hysteresisPercent"), hysteresisPercent);
    s.setValue(QStringLiteral("alarms/linkLostSeconds"), linkLostSeconds);
    s.setValue(QStringLiteral("alarms/minFreeMb"), minFreeMb);
    s.setValue(QStringLiteral("alarms/command"), command);
}

QList<QCommandLineOption> AlarmPresets::options()
{
    return {
        {QStringLiteral("alarm-high"),
         QStringLiteral("Raise an alarm when the concentration stays above VALUE (in the "
                        "analyzer's units) for the hold time."),
         QStringLiteral("VALUE")},
        {QStringLiteral("alarm-low"),
         QStringLiteral("Raise an alarm when the concentration stays below VALUE for the hold "
                        "time."),
         QStringLiteral("VALUE")},
        {QStringLiteral("alarm-hold"),
         QStringLiteral("Seconds a limit must be crossed before its alarm is raised, and be "
                        "back before it clears (default 10)."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("alarm-link-lost"),
         QStringLiteral("Raise an alarm when the link stays lost for SECONDS (default 60)."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("alarm-command"),
         QStringLiteral("Run PATH for each alarm raised and cleared, the alarm's facts in its "
                        "environment (TELVAR_ALARM, TELVAR_STATE, ...)."),
         QStringLiteral("PATH")},
        {QStringLiteral("no-alarms"), QStringLiteral("Raise no alarms in this run.")},
    };
}

QString AlarmPresets::read(const QCommandLineParser &p)
{
    const auto number = [&](const QString &name, std::optional<double> &out) {
        if (!p.isSet(name))
            return true;
        bool ok = false;
        const double v = p.value(name).toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return false;
        out = v;
        return true;
    };
    const auto seconds = [&](const QString &name, std::optional<int> &out) {
        if (!p.isSet(name))
            return true;
        bool ok = false;
        const int v = p.value(name).toInt(&ok);
        if (!ok || v < 0 || v > 86400)
            return false;
        out = v;
        return true;
    };
    if (!number(QStringLiteral("alarm-high"), high))
        return QStringLiteral("Not a number for --alarm-high: ") +
               p.value(QStringLiteral("alarm-high")) + QLatin1Char('\n');
    if (!number(QStringLiteral("alarm-low"), low))
        return QStringLiteral("Not a number for --alarm-low: ") +
               p.value(QStringLiteral("alarm-low")) + QLatin1Char('\n');
    if (high && low && *low >= *high)
        return QStringLiteral("--alarm-low must be below --alarm-high\n");
    if (!seconds(QStringLiteral("alarm-hold"), holdSeconds))
        return QStringLiteral("--alarm-hold takes 0 to 86400 seconds\n");
    if (!seconds(QStringLiteral("alarm-link-lost"), linkLostSeconds))
        return QStringLiteral("--alarm-link-lost takes 0 to 86400 seconds\n");
    if (p.isSet(QStringLiteral("alarm-command"))) {
        const QFileInfo program(p.value(QStringLiteral("alarm-command")));
        if (!program.isFile() || !program.isExecutable())
            return QStringLiteral("--alarm-command: not an executable file: ") +
                   program.filePath() + QLatin1Char('\n');
        command = program.absoluteFilePath();
    }
    none = p.isSet(QStringLiteral("no-alarms"));
    return QString();
}

bool AlarmPresets::any() const
{
    return high || low || holdSeconds || linkLostSeconds || command || none;
}

AlarmSettings AlarmPresets::appliedTo(AlarmSettings s) const
{
    if (high)
        s.high = high;
    if (low)
        s.low = low;
    if (holdSeconds)
        s.holdSeconds = *holdSeconds;
    if (linkLostSeconds)
        s.linkLostSeconds = *linkLostSeconds;
    if (command)
        s.command = *command;
    if (none)
        s.enabled = false;
    return s;
}
