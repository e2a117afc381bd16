#pragma once

#include "link/demomodel.h"
#include "tools/telvar-sim/simcertification.h"
#include "tools/telvar-sim/simscans.h"
#include "tools/telvar-sim/simservice.h"

#include <QByteArray>
#include <QDateTime>

#include <functional>
#include <random>

// The analyzer as the simulator plays it: takes the bytes the program sends,
// answers command lines in the analyzer's line protocol, streams SRDA rows and
// decides when to misbehave. No sockets or timers here; the transports in
// main.cpp feed it and send what it returns.
class SimAnalyzer
{
public:
    static const QByteArray accessCode; // what a TCP client must send first
    static constexpr int runawayBytes = 4096;
    static constexpr int maxLineBytes = 1024; // longer input without a line end is dropped

    struct Options
    {
        QByteArray serial = "0001";
        int startMode = 2;       // an analyzer that is switched on measures
        double garbage = 0;      // fraction of replies replaced by random bytes
        int silentAfter = -1;    // answer this many commands, then nothing (< 0: never)
        int dropAfter = -1;      // drop the link on the command after this many (< 0: never)
        bool noLineFeed = false; // one runaway reply without a line feed
        bool needAccessCode = false;
        quint32 seed = 1;
        // Drop the link on the dropOnCount-th command named dropOn (once), as a
        // cable pulled in the middle of a run; the analyzer keeps its state.
        QByteArray dropOn;
        int dropOnCount = 1;
        // The serial number after such a drop (another analyzer on the link).
        QByteArray returnSerial;
        // Faults bits ORed into the status reports number faultsFrom ..
        // faultsFrom + faultsCount - 1, counted from 1 since the simulator
        // started: a new connection does not start the count again.
        qint64 faultsFrom = 0;
        qint64 faultsCount = 0;
        int faultsBits = 0;
    };

    explicit SimAnalyzer(const Options &options);
    SimAnalyzer(const SimAnalyzer &) = delete; // the model's random source points here
    SimAnalyzer &operator=(const SimAnalyzer &) = delete;

    // Takes received bytes; returns what to send back at once (possibly nothing).
    QByteArray receive(const QByteArray &bytes);
    // The answer to one command line, without its line end, as the analyzer
    // gives it before any fault is applied.
    QByteArray answer(const QByteArray &line);

    // True while an SRDA stream runs and the analyzer still talks.
    bool streaming() const { return srda && !silent(); }
    // The next stream row, stamped with `now`; empty when not streaming.
    QByteArray srdaRow(const QDateTime &now);

    // Set once the link should go down; the transport closes after sending
    // what receive() returned.
    bool dropRequested() const { return dropping; }
    int commandCount() const { return commands; }
    bool accessGranted() const { return granted; }

    // A new client: the analyzer's state of a fresh connection.
    void reset();
    // The link is back after a drop on a command: the analyzer carried on
    // meanwhile (or another one answers, with returnSerial).
    void cameBack();
    bool keepsStateOnReturn() const { return droppedOnCommand; }
    // Drops the link now (in the middle of an SRDA stream), as dropOn does.
    void dropNow() { dropping = droppedOnCommand = true; }

    // Called with every command line received (for the simulator's trace).
    std::function<void(const QByteArray &)> onCommand;
    // The performance verification's commands.
    SimCertification certification;
    // The service scans, also those of a performance verification.
    SimScans scans;

private:
    bool silent() const { return options.silentAfter >= 0 && commands > options.silentAfter; }
    QByteArray handleLine(const QByteArray &line);
    QByteArray randomBytes(int size);
    QByteArray runaway();
    bool chance(double p);

    Options options;
    std::mt19937 engine;
    DemoModel model;
    QByteArray pendingLine;
    bool discarding = false; // inside an overlong line, up to its end
    int commands = 0;
    bool granted = false;
    bool dropping = false;
    bool runawaySent = false;
    bool droppedOnCommand = false;
    int dropOnSeen = 0;
    qint64 statusReports = 0; // since the start, kept by reset()
    bool srda = false;
    int srdaRows = 0;
    SimSettings settings; // filter, gas type and Speed+
};
