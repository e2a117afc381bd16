#include "service/servicescan.h"

#include "common/safefilename.h"

#include "plot/numbertext.h"

#include <QDir>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

const char *const ServiceScan::fineScanCommand = "fss";
const char *const ServiceScan::fineDownloadCommand = "dfssd";

namespace {

// More steps than this is a typing slip: at one second a step it is half a day.
constexpr double maxSteps = 20000;

QString safeSerial(const QString &serial)
{
    return serial.isEmpty() ? QStringLiteral("unknown") : safeFileNamePart(serial);
}

QString number(double v)
{
    return QString::fromLatin1(numberText(v));
}

bool readNumber(const QString &text, double *value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v + 0.0; // no "-0" in a command
    return true;
}

} // namespace

QVector<ServiceScan::Field> ServiceScan::fields(Kind kind)
{
    const QString degrees = QStringLiteral("°C");
    const QString mA = QStringLiteral("mA");
    const QString s = QStringLiteral("s");
    switch (kind) {
    case RefCell: // the laser temperature swept across the reference cell's line
        return {{QStringLiteral("Start:"), degrees, 5, 0, 60, false},
                {QStringLiteral("End:"), degrees, 35, 0, 60, false},
                {QStringLiteral("Step:"), degrees, 0.02, 0.001, 10, false},
                {QStringLiteral("Step Delay:"), s, 1, 0, 3600, true},
                {QStringLiteral("Initial Delay:"), s, 10, 0, 3600, true},
                {QStringLiteral("Laser Current:"), mA, 95, 0, 200, false}};
    case Temperature: // the cavity temperature
        return {{QStringLiteral("Start:"), degrees, 5, 0, 60, false},
                {QStringLiteral("End:"), degrees, 35, 0, 60, false},
                {QStringLiteral("Step:"), degrees, 0.5, 0.01, 10, false},
                {QStringLiteral("Step Delay:"), s, 20, 0, 3600, true},
                {QStringLiteral("Initial Delay:"), s, 15, 0, 3600, true}};
    case FineSpectrum: // the laser current, ring-downs averaged at each step
        return {{QStringLiteral("Start:"), mA, 90, 0, 200, false},
                {QStringLiteral("End:"), mA, 100, 0, 200, false},
                {QStringLiteral("Step:"), mA, 0.05, 0.001, 10, false},
                {QStringLiteral("RD per step:"), QString(), 10, 1, 1000, true},
                {QStringLiteral("Stab. Time:"), s, 2, 0, 600, true}};
    }
    return {};
}

QStringList ServiceScan::replyTokens(const QByteArray &chunk)
{
    static const QRegularExpression separators(QStringLiteral("[: ]"));
    return QString::fromLatin1(chunk).simplified().split(separators, Qt::SkipEmptyParts);
}

QString ServiceScan::title(Kind kind)
{
    switch (kind) {
    case RefCell:
        return QStringLiteral("Reference Cell Scan");
    case Temperature:
        return QStringLiteral("Temperature Scan");
    case FineSpectrum:
        return QStringLiteral("Fine Spectrum Scan");
    }
    return QString();
}

QString ServiceScan::tag(Kind kind)
{
    switch (kind) {
    case RefCell:
        return QStringLiteral("rcs");
    case Temperature:
        return QStringLiteral("tempscan");
    case FineSpectrum:
        return QStringLiteral("fss");
    }
    return QString();
}

QString ServiceScan::downloadCommand(Kind kind)
{
    switch (kind) {
    case RefCell:
        return QStringLiteral("drcsd\r\n");
    case Temperature:
        return QStringLiteral("dtsd\r\n");
    case FineSpectrum:
        return QLatin1String(fineDownloadCommand) + QStringLiteral("\r\n");
    }
    return QString();
}

QString ServiceScan::startCommand(Kind kind, const QStringList &texts, QString *error)
{
    const QVector<Field> list = fields(kind);
    const QString name = kind == FineSpectrum ? QLatin1String(fineScanCommand) : tag(kind);
    QString line = name;
    QVector<double> values;
    for (int i = 0; i < list.size(); ++i) {
        const Field &f = list.at(i);
        const QString text = texts.value(i);
        double v = 0;
        QString problem;
        if (!readNumber(text, &v))
            problem = QStringLiteral("%1 \"%2\" is not a number.").arg(f.caption, text.trimmed());
        else if (f.whole && v != std::floor(v))
            problem = QStringLiteral("%1 must be a whole number.").arg(f.caption);
        else if (v < f.min || v > f.max)
            problem = QStringLiteral("%1 must be from %2 to %3%4.")
                          .arg(f.caption, number(f.min), number(f.max),
                               f.unit.isEmpty() ? QString() : QLatin1Char(' ') + f.unit);
        if (!problem.isEmpty()) {
            if (error)
                *error = title(kind) + QStringLiteral(": ") + problem;
            return QString();
        }
        values << v;
        line += QLatin1Char(' ') + number(v);
    }
    // Start, End and Step come first in every scan.
    QString problem;
    if (values.at(1) <= values.at(0))
        problem = QStringLiteral("End: must be above Start:.");
    else if ((values.at(1) - values.at(0)) / values.at(2) > maxSteps)
        problem = QStringLiteral("Step: gives more than %1 steps from Start: to End:.")
                      .arg(number(maxSteps));
    if (!problem.isEmpty()) {
        if (error)
            *error = title(kind) + QStringLiteral(": ") + problem;
        return QString();
    }
    if (error)
        error->clear();
    return line + QStringLiteral("\r\n");
}

QString ServiceScan::start(Kind kind, const QStringList &texts, QString *error)
{
    const QString line = startCommand(kind, texts, error);
    if (line.isEmpty())
        return line;
    current = kind;
    st = RefCellRunning + kind;
    lastCommand[kind] = line.trimmed();
    lastStart[kind] = texts.at(0).trimmed().toDouble();
    lastEnd[kind] = texts.at(1).trimmed().toDouble();
    lastStep[kind] = texts.at(2).trimmed().toDouble();
    started[kind] = true;
    positionSeen = false;
    risen = false;
    percent = 0;
    return line;
}

bool ServiceScan::takeReading(const QString &token)
{
    double v = 0;
    if (!running() || !readNumber(token, &v))
        return false;
    // Before the scan the position may sit anywhere and jitter; the scan has
    // begun once it rises, and is over when it falls back after that. Half a
    // step is the noise allowed either way.
    const double slack = lastStep[current] / 2;
    bool over = false;
    if (positionSeen) {
        if (v > pos + slack)
            risen = true;
        else if (risen && v < pos - slack)
            over = true;
    }
    pos = v;
    positionSeen = true;
    if (over) {
        percent = 100;
        return true;
    }
    const double span = lastEnd[current] - lastStart[current];
    const double share = (v - lastStart[current]) / span;
    percent = int(std::lround(qBound(0.0, share, 1.0) * 100));
    return false;
}

QString ServiceScan::requestDownload(Kind kind)
{
    current = kind;
    st = RefCellDownload + kind;
    xValues.clear();
    yValues.clear();
    endSeen = false;
    return downloadCommand(kind);
}

bool ServiceScan::addDownload(const QStringList &tokens)
{
    if (!downloading())
        return false;
    // Rows are "position value" lines. Numbers are taken in pairs within each
    // run of numeric tokens; text (a status report asked for on another tab)
    // breaks a run. An odd run begins with a position reading that was still
    // on its way when the download was asked for: it is dropped.
    QVector<double> run;
    for (const QString &t : tokens) {
        double v = 0;
        if (readNumber(t, &v)) {
            run << v;
        } else {
            addRun(run);
            run.clear();
        }
    }
    addRun(run);
    return endSeen;
}

void ServiceScan::addRun(QVector<double> &run)
{
    const double end = lastEnd[current];
    const double tolerance = 1e-9 * qMax(1.0, std::fabs(end));
    for (int i = run.size() % 2; i + 1 < run.size(); i += 2) {
        if (xValues.size() >= maxPoints)
            return;
        xValues << run.at(i);
        yValues << run.at(i + 1);
        if (started[current] && std::fabs(run.at(i) - end) <= tolerance)
            endSeen = true;
    }
}

void ServiceScan::finishDownload()
{
    st = Idle;
}

QString ServiceScan::cancel()
{
    if (downloading()) {
        // Half a download is no result.
        xValues.clear();
        yValues.clear();
    }
    st = Idle;
    positionSeen = false;
    risen = false;
    percent = 0;
    return QStringLiteral("opmode 0\r\n");
}

QString ServiceScan::restart()
{
    if (running()) {
        positionSeen = false;
        risen = false;
        percent = 0;
        return lastCommand[current] + QStringLiteral("\r\n");
    }
    if (downloading())
        return requestDownload(current);
    return QString();
}

QString ServiceScan::pollCommand(int state)
{
    if (state == RefCellRunning || state == TempRunning)
        return QStringLiteral("lt\r\n");
    if (state == FineRunning)
        return QStringLiteral("lc\r\n");
    return QString();
}

QString ServiceScan::fileName(const QString &serial, Kind kind, const QDateTime &at)
{
    return safeSerial(serial) + QLatin1Char('_') + tag(kind) + QLatin1Char('_') +
           at.toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".txt");
}

QString ServiceScan::save(const QString &folder, const QString &serial, const QDateTime &at) const
{
    if (!QDir().mkpath(folder))
        return QString();
    const QString path = QDir(folder).filePath(fileName(serial, current, at));
    QByteArray text;
    text += "# " + title(current).toUtf8() + "\r\n";
    text += "# SN " + serial.toUtf8() + "\r\n";
    text += "# " + at.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toUtf8() + "\r\n";
    if (started[current])
        text += "# " + lastCommand[current].toUtf8() + "\r\n";
    text += "Position\tScan\r\n";
    for (int i = 0; i < xValues.size(); ++i) {
        appendNumberText(text, xValues.at(i));
        text += '\t';
        appendNumberText(text, yValues.at(i));
        text += "\r\n";
    }
    // Written whole or not at all, so a crash never leaves half a scan.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        return QString();
    return path;
}
