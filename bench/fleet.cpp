// The whole program (main window offscreen) on telvar-sim, one status report
// a second, publishing to the fleet's broker:
//
// 1. a broker that accepts the TCP connection and never answers: the longest
//    and 99th-percentile event-loop gap, and the trend rows written meanwhile;
// 2. a real mosquitto that goes away for a while and comes back: the rows
//    kept in the spool, its size, how long the spool takes to empty after the
//    broker is back, and whether every row arrived (a subscriber counts seqs).
//
//     bench_fleet [outage seconds] [hang seconds]      (default 60 45)

#include "app/mainwindow.h"
#include "fleet/fleetpublisher.h"
#include "fleet/spool.h"
#include "gapprobe.h"
#include "support/broker.h"
#include "support/testsupport.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

// A TCP port whose connections the kernel accepts and nobody ever answers.
int hangingBroker(int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&a), len) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return -1;
    port = ntohs(a.sin_port);
    return fd;
}

int trendRows(const QString &home)
{
    const QDir dir(home + QStringLiteral("/QuorvaneData/Trend"));
    int rows = 0;
    for (const QString &name : dir.entryList({"SN-*.csv"}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            rows += int(f.readAll().count('\n')) - 1;
    }
    return rows;
}

void wait(int ms)
{
    waitFor([] { return false; }, ms);
}

int run(int outageSeconds, int hangSeconds, const QString &home)
{
    ScriptedDialogs dialogs; // no box waits for a person

    QProcess sim;
    sim.start(QStringLiteral(TELVAR_SIM_BIN), {"--pty", "--serial", "4321"});
    if (!sim.waitForReadyRead(10000)) {
        std::printf("telvar-sim did not start\n");
        return 1;
    }
    int hangPort = 0;
    const int hanging = hangingBroker(hangPort);
    if (hanging < 0) {
        std::printf("no port for the hanging broker\n");
        return 1;
    }

    MainWindow w;
    w.show();
    SettingsPresets presets;
    presets.serialPort = QString::fromLocal8Bit(sim.readLine()).trimmed();
    presets.interval = 1;
    presets.autoLog = true;
    w.settingsDialog()->applyPresets(presets);
    FleetSettings fleet;
    fleet.enabled = true;
    fleet.broker = QStringLiteral("127.0.0.1:%1").arg(hangPort);
    w.settingsDialog()->setFleetSettings(fleet);
    Spool *spool = w.fleetPublisher()->spool();

    // 1. The broker that never answers.
    GapProbe probe(0);
    probe.start();
    w.openConnection();
    QElapsedTimer hang;
    hang.start();
    waitFor([&] { return trendRows(home) > 0; }, hangSeconds * 1000);
    QElapsedTimer rowsClock;
    rowsClock.start();
    const int firstRows = trendRows(home);
    waitFor([&] { return hang.elapsed() >= hangSeconds * 1000; }, hangSeconds * 1000 + 1000);
    probe.stop();
    const int rowsWritten = trendRows(home) - firstRows;
    std::printf("hanging broker (accepts TCP, never answers), %d s from Connect\n", hangSeconds);
    std::printf("  longest loop gap      %.1f ms (99th percentile %.3f ms)\n", probe.longestMs(),
                probe.percentileMs(0.99));
    std::printf("  trend rows written    %d in the %.1f s after the first (one a second)\n",
                rowsWritten, rowsClock.elapsed() / 1000.0);
    std::printf("  rows in the spool     %lld (%lld bytes)\n",
                static_cast<long long>(spool->pending()), static_cast<long long>(spool->bytes()));
    ::close(hanging);

    // 2. A real broker, away for a while.
    QTemporaryDir brokerDir;
    TestBroker broker(brokerDir.path(), {});
    if (!broker.start()) {
        std::printf("mosquitto did not start\n");
        return 1;
    }
    TestSubscriber counter(broker, "telvar/4321/trend");
    wait(500); // subscribed before the spooled rows go out
    fleet.broker = broker.address();
    probe.start();
    w.settingsDialog()->setFleetSettings(fleet);
    if (!waitFor([&] { return spool->pending() == 0; }, 40000)) {
        std::printf("the spool did not empty after the hang\n");
        return 1;
    }
    wait(3000);
    probe.pause();
    broker.stop();
    probe.resume();
    QElapsedTimer away;
    away.start();
    qint64 peakRows = 0, peakBytes = 0;
    waitFor(
        [&] {
            peakRows = qMax(peakRows, spool->pending());
            peakBytes = qMax(peakBytes, spool->bytes());
            return away.elapsed() >= outageSeconds * 1000;
        },
        outageSeconds * 1000 + 1000);
    probe.pause();
    broker.start();
    probe.resume();
    QElapsedTimer back;
    back.start();
    // The back-off decides when it tries again; then the spool drains.
    const qint64 kept = spool->pending();
    waitFor([&] { return spool->pending() < kept; }, 120000);
    const qint64 reconnectMs = back.elapsed();
    const bool emptied = waitFor([&] { return spool->pending() == 0; }, 120000);
    const qint64 drainMs = back.elapsed();
    probe.stop();
    const qint64 lastSeq = spool->nextSeq() - 1;
    QSet<qint64> seqs;
    waitFor(
        [&] {
            for (const TestSubscriber::Message &m : counter.received())
                seqs.insert(qint64(QJsonDocument::fromJson(m.payload)["seq"].toDouble()));
            return seqs.size() >= lastSeq;
        },
        10000);
    std::printf("broker away for %d s\n", outageSeconds);
    std::printf("  rows kept in the spool  %lld at most (%lld bytes on disk)\n",
                static_cast<long long>(peakRows), static_cast<long long>(peakBytes));
    std::printf("  first row delivered     %.1f s after the broker came back (back-off)\n",
                reconnectMs / 1000.0);
    std::printf("  spool empty again       %s%.1f s after the broker came back\n",
                emptied ? "" : "NOT ", drainMs / 1000.0);
    std::printf("  rows received           %d of %lld (seq 1 to %lld)\n", int(seqs.size()),
                static_cast<long long>(lastSeq), static_cast<long long>(lastSeq));
    std::printf("  longest loop gap        %.1f ms (99th percentile %.3f ms)\n", probe.longestMs(),
                probe.percentileMs(0.99));
    std::printf("  boxes                   %d\n", int(dialogs.messages.size()));
    std::fflush(stdout);
    w.closeConnection();
    wait(500);
    sim.kill();
    sim.waitForFinished();
    return emptied && seqs.size() >= lastSeq ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    const QString home = QDir::homePath(); // a temporary one (testsupport.cpp)
    const int result = run(argc > 1 ? QByteArray(argv[1]).toInt() : 60,
                           argc > 2 ? QByteArray(argv[2]).toInt() : 45, home);
    QDir(home).removeRecursively();
    return result;
}
