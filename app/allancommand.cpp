#include "app/allancommand.h"

#include "app/commandline.h"
#include "plot/trendimport.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <QTextStream>

#include <cstdio>
#include <cstring>

namespace {

const QCommandLineOption allanOpt(
    QStringLiteral("allan"),
    QStringLiteral("Write the overlapping Allan deviation of FILE (a trend file, an SRDA export or "
                   "a plot data export) to standard output as CSV, \"tau_s,adev,n\" and a row "
                   "per averaging time, and exit; no window. tau_s is in samples where the file "
                   "has no times."),
    QStringLiteral("FILE"));
const QCommandLineOption columnOpt(
    QStringLiteral("column"),
    QStringLiteral("With --allan: the column to analyse, by its header name (default: the first "
                   "after the time)."),
    QStringLiteral("NAME"));
const QCommandLineOption tausOpt(
    QStringLiteral("taus"),
    QStringLiteral("With --allan: the averaging times, octave (1, 2, 4 ... times the sampling "
                   "interval; the default), decade (1, 2, 5, 10 ...) or many (about 20 a "
                   "decade)."),
    QStringLiteral("SPACING"));

// The header's names, split as the rows are; a trailing empty field (SRDA
// exports end every field with a comma) is none.
QStringList headerNames(const QByteArray &line)
{
    QStringList names;
    int start = 0;
    for (int i = 0; i <= line.size(); ++i) {
        if (i == line.size() || line[i] == ',' || line[i] == '\t') {
            names << QString::fromUtf8(line.mid(start, i - start)).trimmed();
            start = i + 1;
        }
    }
    if (names.size() > 1 && names.last().isEmpty())
        names.removeLast();
    return names;
}

} // namespace

QList<QCommandLineOption> AllanCommand::options()
{
    return {allanOpt, columnOpt, tausOpt};
}

QString AllanCommand::read(const QCommandLineParser &parser)
{
    if (parser.isSet(allanOpt))
        file = parser.value(allanOpt);
    column = parser.value(columnOpt);
    if (!file && (parser.isSet(columnOpt) || parser.isSet(tausOpt)))
        return QStringLiteral("--column and --taus go with --allan\n");
    if (parser.isSet(tausOpt) && !tauSpacingFromName(parser.value(tausOpt), spacing))
        return QStringLiteral("--taus takes octave, decade or many\n");
    return QString();
}

int AllanCommand::run(QIODevice &out, QIODevice &err) const
{
    QFile in(*file);
    if (!in.open(QIODevice::ReadOnly)) {
        err.write(QStringLiteral("telvar: %1: %2\n").arg(*file, in.errorString()).toUtf8());
        return 2;
    }
    return table(in, *file, out, err);
}

int AllanCommand::table(QIODevice &in, const QString &name, QIODevice &out, QIODevice &err) const
{
    const auto fail = [&](const QString &why) {
        err.write(QStringLiteral("telvar: %1: %2\n").arg(name, why).toUtf8());
        return 2;
    };
    // The header, looked at without reading past a longest line: a file with
    // no line feed is told at once.
    const QByteArray head = in.peek(TrendReader::MaxLineLength + 2);
    if (head.isEmpty())
        return fail(QStringLiteral("the file is empty"));
    if (head.contains('\0'))
        return fail(QStringLiteral("not a text file"));
    const int feed = head.indexOf('\n');
    if (feed < 0 && head.size() > TrendReader::MaxLineLength)
        return fail(QStringLiteral("no line feed in its first 64 KB: no trend, SRDA or plot data"));
    const QStringList names = headerNames(head.left(feed < 0 ? head.size() : feed));

    int field = 1;
    if (!column.isEmpty()) {
        field = -1;
        for (int i = 1; i < names.size() && field < 0; ++i)
            if (names[i].compare(column, Qt::CaseInsensitive) == 0)
                field = i;
        if (field < 0)
            return fail(QStringLiteral("no column \"%1\"; its columns: %2")
                            .arg(column, QStringList(names.mid(1)).join(QStringLiteral(", "))));
    }
    // A plot data export of a plot without a date axis: the first field is no time.
    const bool timed = names.value(0) != QLatin1String("X-axis");

    TrendReader reader;
    reader.setValueField(field);
    reader.setTimed(timed);
    reader.setKeepGaps(true);
    QVector<QPointF> points;
    reader.read(in, points);
    AllanSeries series;
    series.place(points, timed);
    const QString problem = series.problem();
    if (!problem.isEmpty())
        return fail(problem);
    std::vector<AllanPoint> table;
    allanDeviation(std::move(series), spacing, table);
    return writeAllanCsv(out, table)
               ? 0
               : fail(QStringLiteral("the table could not be written: ") + out.errorString());
}

int AllanCommand::run() const
{
    QFile out, err;
    out.open(stdout, QIODevice::WriteOnly);
    err.open(stderr, QIODevice::WriteOnly);
    return run(out, err);
}

bool AllanCommand::wanted(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--allan") == 0 || std::strncmp(argv[i], "--allan=", 8) == 0)
            return true;
    return false;
}

int AllanCommand::main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    CommandLine cl;
    const CommandLine::Result parsed = cl.parse(QCoreApplication::arguments());
    if (parsed != CommandLine::Run) {
        QTextStream(parsed == CommandLine::Error ? stderr : stdout) << cl.message();
        return parsed == CommandLine::Error ? 2 : 0;
    }
    return cl.allan.run();
}
