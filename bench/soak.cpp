// Soak: a million status reports through the whole reply path at full speed.
// Analyzer bytes arrive in uneven reads, are cut into line chunks, parsed into
// the status record, turned into trend rows and appended to the daily trend
// files, as the main window does while auto-logging. A fake clock moves one
// second per report, so the run spans about twelve days and as many files.
//
// Checks every row is in the files, whole and in order, and that resident
// memory does not grow once warmed up. Prints the figures; exits non-zero when
// a check fails.
#include "app/linecutter.h"
#include "app/statusparser.h"
#include "app/trendlog.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "console/logger.h"
#include "link/demomodel.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr qint64 reportCount = 1000000;
constexpr qint64 warmUp = 10000;
constexpr qint64 rssLimitKb = 1024;
const QString serial = QStringLiteral("1234");

class SoakClock : public Clock
{
public:
    QDateTime now() const override { return t; }
    QDateTime t;
};

// Nobody is there to press a button: count the boxes instead.
class CountingDialogs : public Dialogs
{
public:
    int boxes = 0;
    int message(const Message &m) override
    {
        ++boxes;
        std::fprintf(stderr, "box: %s: %s\n", qPrintable(m.title), qPrintable(m.text));
        return Ok;
    }
    QString saveFileName(const FileRequest &) override { return QString(); }
    QString openFileName(const FileRequest &) override { return QString(); }
    QStringList openFileNames(const FileRequest &) override { return QStringList(); }
};

// What a status report sets off in the station, as far as the trend file.
class TrendHooks
{
public:
    TrendHooks(const ParserState &state, TrendWriter &writer) : state(state), writer(writer) {}
    void statusReady(const StatusRecord &record)
    {
        const QDateTime now = Clock::current();
        const QString row = trendRow(record, now, state.compatibilityMode, true);
        if (writer.append(state.serialNumber, row, true, now.date()))
            ++rows;
        else
            ++failures;
    }
    qint64 rows = 0;
    qint64 failures = 0;

private:
    const ParserState &state;
    TrendWriter &writer;
};

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// The reports of one run of the simulated analyzer in measure mode; it cycles
// through a hundred concentrations.
QList<QByteArray> analyzerReports()
{
    DemoModel analyzer([] { return 1; });
    analyzer.interpret("opmode 2\r\n");
    QList<QByteArray> reports;
    for (int i = 0; i < 100; ++i)
        reports << analyzer.report();
    return reports;
}

// Read sizes as a serial port hands them over: anything from 1 to 97 bytes.
int readSize(qint64 n)
{
    return 1 + int((n * 37) % 97);
}

struct FileCheck
{
    qint64 rows = 0;
    int files = 0;
    qint64 bytes = 0;
    QString error;
};

// Every file: the header once, then rows one second apart, continuing across
// files, each on the date of its file's name.
FileCheck checkFiles(const QString &folder, const QDateTime &first)
{
    FileCheck out;
    const QByteArray header = trendHeader(true).toUtf8();
    QDateTime expected = first;
    const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(QDir(folder).filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            out.error = QStringLiteral("cannot read ") + name;
            return out;
        }
        ++out.files;
        out.bytes += file.size();
        if (name != trendFileName(serial, expected.date())) {
            out.error = QStringLiteral("unexpected file ") + name;
            return out;
        }
        if (file.readLine() != header) {
            out.error = name + QStringLiteral(": no header");
            return out;
        }
        for (QByteArray line = file.readLine(); !line.isEmpty(); line = file.readLine()) {
            const QList<QByteArray> fields = line.chopped(2).split(',');
            const bool whole =
                line.endsWith("\r\n") &&
                (fields.size() == 10 || (fields.size() == 11 && fields.last() == " Alarm2")) &&
                fields.at(0) == expected.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")).toLatin1();
            if (!whole) {
                out.error = name + QStringLiteral(": bad row after ") + QString::number(out.rows) +
                            QStringLiteral(" rows: ") + QString::fromUtf8(line);
                return out;
            }
            ++out.rows;
            expected = expected.addSecs(1);
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    // Nothing of this run reaches the real home folder.
    qputenv("HOME", home.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));

    CountingDialogs dialogs;
    Dialogs::install(&dialogs);
    SoakClock clock;
    clock.t = QDateTime(QDate(2025, 1, 31), QTime(12, 0, 0));
    const QDateTime start = clock.t.addSecs(1);
    Clock::install(&clock);

    Logger logger;
    TrendWriter writer(logger, home.path() + QStringLiteral("/QuorvaneData/Trend/"));
    ParserState state;
    state.identified = true;
    state.serialNumber = serial;
    state.unitsCode = QStringLiteral("1");
    state.speciesName = QStringLiteral("CH4");
    state.modelName = QStringLiteral("ORIN");
    TrendHooks hooks(state, writer);
    StatusParser parser(state);
    LineCutter cutter;
    const QList<QByteArray> reports = analyzerReports();

    qint64 rssBefore = 0, reads = 0;
    QElapsedTimer timer;
    timer.start();
    for (qint64 n = 0; n < reportCount; ++n) {
        if (n == warmUp)
            rssBefore = residentKb();
        clock.t = clock.t.addSecs(1);
        const QByteArray &report = reports.at(int(n % reports.size()));
        for (int at = 0; at < report.size(); ++reads) {
            const int size = readSize(reads);
            const QByteArray chunk = cutter.feed(report.mid(at, size));
            at += size;
            if (!chunk.isEmpty())
                for (const StatusReport &report : parser.parseData(QString::fromLatin1(chunk)))
                    hooks.statusReady(report.record);
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 rssAfter = residentKb();
    Clock::install(nullptr);

    const FileCheck files = checkFiles(writer.folder(), start);
    std::printf("reports:           %lld in %.1f s, %.0f reports/s\n", reportCount, seconds,
                reportCount / seconds);
    std::printf("rows written:      %lld (%lld failed, %d boxes)\n", hooks.rows, hooks.failures,
                dialogs.boxes);
    std::printf("rows in files:     %lld in %d files, %.1f MB\n", files.rows, files.files,
                files.bytes / 1e6);
    std::printf("resident memory:   %lld kB after %lld reports, %lld kB at the end (%+lld kB)\n",
                rssBefore, warmUp, rssAfter, rssAfter - rssBefore);

    bool ok = true;
    const auto fail = [&ok](const QString &why) {
        std::printf("FAILED: %s\n", qPrintable(why));
        ok = false;
    };
    if (!files.error.isEmpty())
        fail(files.error);
    if (files.rows != reportCount || hooks.rows != reportCount)
        fail(QStringLiteral("rows lost"));
    if (hooks.failures || dialogs.boxes)
        fail(QStringLiteral("the trend file could not be written"));
    if (rssBefore <= 0 || rssAfter <= 0 || rssAfter - rssBefore >= rssLimitKb)
        fail(QStringLiteral("resident memory grew by 1 MB or more"));
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
