#pragma once

#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStringList>
#include <QTcpServer>

// The analyzer simulator as a separate process, for the integration tests.
// Its first line on stdout names the device or the address to connect to;
// with --verbose it lists on stderr every command it received.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments)
    {
        process.setProgram(QStringLiteral(TELVAR_SIM_BIN));
        process.setArguments(arguments);
        process.start();
    }
    ~SimProcess() { stop(); }

    // Waits for the simulator to say where it is; false when it does not start.
    bool ready()
    {
        if (!waitFor(
                [this] { return process.canReadLine() || process.state() == QProcess::NotRunning; },
                10000) ||
            !process.canReadLine())
            return false;
        endpoint = QString::fromLocal8Bit(process.readLine()).trimmed();
        return !endpoint.isEmpty();
    }

    // The command lines the simulator heard so far (needs --verbose).
    QStringList heard()
    {
        log += QString::fromLocal8Bit(process.readAllStandardError());
        QStringList out;
        for (const QString &line : log.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            if (line.startsWith(QLatin1String("> ")))
                out << line.mid(2);
        return out;
    }

    bool finished() const { return process.state() == QProcess::NotRunning; }

    void stop()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QProcess process;
    QString endpoint; // "/dev/pts/N" or "127.0.0.1:PORT"

private:
    QString log;
};

// The environment of the real program run offscreen in a home folder of its
// own: its settings store, data folder and runtime folder all lie inside it.
inline QProcessEnvironment programEnvironment(const QString &home)
{
    const QString run = home + QStringLiteral("/run");
    QDir().mkpath(run);
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
    return env;
}

// The rows (lines after the header) of the newest trend file in `dir` whose
// name matches `pattern`; `file` gets its path. 0 while there is none.
inline int trendRowCount(const QDir &dir, const QString &pattern, QString &file)
{
    const QStringList files = dir.entryList({pattern}, QDir::Files, QDir::Name);
    if (files.isEmpty())
        return 0;
    file = dir.filePath(files.last());
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) - 1 : 0;
}

// Waits until the newest trend file of the simulated analyzer "4321" under
// `home` has `rows` rows, or the program has ended; `file` gets its path.
inline bool waitForTrendRows(const QProcess &program, const QString &home, int rows, QString &file)
{
    const QDir dir(home + QStringLiteral("/QuorvaneData/Trend"));
    return waitFor(
        [&] {
            return trendRowCount(dir, QStringLiteral("SN-4321-*.csv"), file) >= rows ||
                   program.state() == QProcess::NotRunning;
        },
        40000);
}

// The analyzer's own TCP port 23, which only root may bind.
inline bool canBindTelnetPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 23);
}

// A trend row as the program writes it without the full status: time,
// concentration, gas, faults and the alarm fields.
inline const QRegularExpression &trendRowPattern()
{
    static const QRegularExpression re(QStringLiteral(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d, (-?\\d+\\.\\d+|No concentration data), N2, "
        "(No Faults|\\d+)(, Alarm1)?(, Alarm2)?$"));
    return re;
}

inline const QString trendHeader = QStringLiteral("Date&Time, Concentration, Gas, Alarms");

// The lines of a file that must hold whole "\r\n" lines only; fails the
// calling test (returns an empty list) when the last line is cut short.
inline QStringList wholeLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    if (all.isEmpty() || !all.endsWith("\r\n"))
        return {};
    QStringList lines = QString::fromUtf8(all).split(QStringLiteral("\r\n"));
    lines.removeLast(); // after the final line end
    return lines;
}

// Resident memory of this process in kB.
inline qint64 residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
}
