// How long the event loop is kept from answering while alarms go out: the gaps
// between firings of a 1 ms timer, against the same timer with nothing going on,
//
// 1. AlarmCommand running a command that hangs (a script that execs sleep 60),
//    killed at a short timeout, for a number of events;
// 2. AlarmCommand running a command that is not there, and one that exits 1,
//    for many events each;
// 3. DesktopNotifier on a bus of its own without a notification server (every
//    Notify answered by an error), for many events.
//
// Also the deliver() calls, which are the GUI thread's own share.
//
//     bench_alarm_command [events] [hang events] [timeout ms]   (default 2000 20 200)

#include "alarm/alarmcommand.h"
#include "alarm/desktopnotifier.h"
#include "gapprobe.h"
#include "support/sessionbus.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr double limitMs = 50;

AlarmEvent event(int i)
{
    AlarmEvent e;
    e.name = i % 2 ? QStringLiteral("ringdown") : QStringLiteral("high");
    e.severity = i % 2 ? AlarmSeverity::Fault : AlarmSeverity::Warning;
    e.change = (i / 2) % 2 ? AlarmEvent::Change::Cleared : AlarmEvent::Change::Raised;
    e.text = QStringLiteral("Event %1 of the bench.").arg(i);
    e.value = QString::number(i);
    e.serial = QStringLiteral("4321");
    e.time = QDateTime::currentDateTime();
    return e;
}

// Hands out `events` events to `deliver` from a 2 ms timer, a few at a time
// and no more than `ahead` beyond what is done, until `done` says all are
// through; prints the figures of the run.
bool run(const char *what, int events, int ahead, const std::function<void(int)> &deliver,
         const std::function<int()> &done)
{
    GapProbe probe(1);
    QElapsedTimer wall, call;
    std::vector<qint64> calls;
    calls.reserve(size_t(events));
    int given = 0;
    QTimer feeder;
    feeder.setInterval(2);
    QEventLoop loop;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        for (int n = 0; n < 5 && given < events && given - done() < ahead; ++n) {
            call.start();
            deliver(given++);
            calls.push_back(call.nsecsElapsed());
        }
        if (done() >= events)
            loop.quit();
    });
    wall.start();
    probe.start();
    feeder.start();
    loop.exec();
    probe.stop();
    std::sort(calls.begin(), calls.end());
    std::printf("%-34s %5d events in %6.2f s: longest gap %6.2f ms, 99th percentile %5.2f ms, "
                "%d over %.0f ms; deliver() median %.3f ms, longest %.3f ms\n",
                what, events, double(wall.elapsed()) / 1000, probe.longestMs(),
                probe.percentileMs(0.99), probe.over(limitMs), limitMs,
                calls.empty() ? 0 : double(calls[calls.size() / 2]) / 1e6,
                calls.empty() ? 0 : double(calls.back()) / 1e6);
    std::fflush(stdout);
    return probe.longestMs() < limitMs;
}

QString writeScript(const QTemporaryDir &dir, const QString &name, const QByteArray &body)
{
    QFile f(dir.filePath(name));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        f.setPermissions(f.permissions() | QFile::ExeOwner);
    }
    return f.fileName();
}

// Every run of `program` for `events` events; the trouble said is counted.
bool commandRun(const char *what, const QString &program, int events, int timeoutMs)
{
    AlarmCommand command(program);
    command.setTimeoutMs(timeoutMs);
    int ran = 0, troubles = 0;
    QObject::connect(&command, &AlarmCommand::ran, [&] { ++ran; });
    QObject::connect(&command, &AlarmCommand::trouble, [&] { ++troubles; });
    const bool met = run(
        what, events, 50, [&](int i) { command.deliver(event(i * 2)); }, [&] { return ran; });
    std::printf("%-34s trouble said %d time(s)\n", "", troubles);
    return met;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int events = args.size() > 1 ? args.at(1).toInt() : 2000;
    const int hangEvents = args.size() > 2 ? args.at(2).toInt() : 20;
    const int timeoutMs = args.size() > 3 ? args.at(3).toInt() : 200;
    QTemporaryDir dir;
    bool met = true;

    {
        GapProbe probe(1);
        QEventLoop loop;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        probe.start();
        loop.exec();
        probe.stop();
        std::printf("%-34s        2 s:          longest gap %6.2f ms, 99th percentile %5.2f ms\n",
                    "nothing going on", probe.longestMs(), probe.percentileMs(0.99));
    }
    met &= commandRun("command hangs (sleep 60), killed", writeScript(dir, "hang", "exec sleep 60"),
                      hangEvents, timeoutMs);
    met &=
        commandRun("command not found", dir.filePath(QStringLiteral("nothing")), events, timeoutMs);
    met &= commandRun("command exits 1", writeScript(dir, "fail", "exit 1"), events, timeoutMs);

    if (!SessionBus::installed()) {
        std::printf("dbus-daemon is not installed: no notifier run\n");
    } else {
        SessionBus bus;
        if (!bus.start()) {
            std::printf("dbus-daemon does not start: no notifier run\n");
            return 1;
        }
        const QDBusConnection connection = bus.connect(QStringLiteral("bench"));
        DesktopNotifier notifier(connection);
        int troubles = 0;
        QObject::connect(&notifier, &DesktopNotifier::trouble, [&] { ++troubles; });
        // The answers come in the order of the calls: once a call made after
        // the last event is answered, the notifier has taken every answer.
        int given = 0;
        bool synced = false;
        std::unique_ptr<QDBusPendingCallWatcher> ping;
        met &= run(
            "notifier, bus without a server", events, events,
            [&](int i) {
                AlarmEvent e = event(i);
                e.name = QStringLiteral("bench-%1").arg(i); // one Notify each
                notifier.deliver(e);
                if (++given < events)
                    return;
                ping = std::make_unique<QDBusPendingCallWatcher>(connection.asyncCall(
                    QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                   QStringLiteral("/org/freedesktop/DBus"),
                                                   QStringLiteral("org.freedesktop.DBus"),
                                                   QStringLiteral("GetId"))));
                QObject::connect(ping.get(), &QDBusPendingCallWatcher::finished,
                                 [&] { synced = true; });
            },
            [&] { return synced ? events : std::min(given, events - 1); });
        std::printf("%-34s trouble said %d time(s)\n", "", troubles);
    }
    std::printf("longest gap under %.0f ms: %s\n", limitMs, met ? "yes" : "no");
    return met ? 0 : 1;
}
