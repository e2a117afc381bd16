#pragma once

#include "simprocess.h"
#include "support/broker.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

// A monitoring station as a lab runs it: the real program, headless, on a
// simulated analyzer of its own, publishing to the test's broker. Polls every
// 100 ms (a paced second of 100 ms) so that rows come quickly.
class StationProcess
{
public:
    StationProcess(const QString &home, const QString &serial, const QStringList &fleetArguments)
        : home(home), sim({QStringLiteral("--pty"), QStringLiteral("--serial"), serial})
    {
        if (!sim.ready())
            return;
        telvar.setProcessEnvironment(programEnvironment(home));
        telvar.start(QStringLiteral(TELVAR_BIN),
                     QStringList{"--headless", "--serial", sim.endpoint, "--interval", "1",
                                 "--autolog", "--connect", "--pace", "100"} +
                         fleetArguments);
        telvar.waitForStarted();
    }
    ~StationProcess() { stop(); }

    // SIGTERM, as a service manager stops it; true when it ended by itself.
    bool stop()
    {
        telvar.terminate();
        const bool ended = telvar.state() == QProcess::NotRunning || telvar.waitForFinished(10000);
        telvar.kill();
        return ended;
    }
    // What it said on standard error so far.
    QString said()
    {
        log += QString::fromLocal8Bit(telvar.readAllStandardError());
        return log;
    }
    // The rows of every trend file, oldest first, without the headers.
    QStringList trendRows() const
    {
        const QDir dir(home + QStringLiteral("/QuorvaneData/Trend"));
        QStringList rows;
        for (const QString &name : dir.entryList({"SN-*.csv"}, QDir::Files, QDir::Name))
            rows += wholeLines(dir.filePath(name)).mid(1);
        return rows;
    }

    QString home;
    SimProcess sim;
    QProcess telvar;

private:
    QString log;
};

inline QJsonObject jsonOf(const QByteArray &payload)
{
    return QJsonDocument::fromJson(payload).object();
}
