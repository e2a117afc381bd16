#pragma once

#include <QByteArray>
#include <QString>

class ReplyOwner;

// How a run ended.
enum class RunOutcome
{
    Completed,
    Cancelled,
    Failed
};

// The one place that hands out the analyzer's replies: the session. A run
// claims it when it starts and gives it back when it ends.
class ReplySeat
{
public:
    virtual ~ReplySeat() = default;
    // True when `run` owns the replies from now on (or already did).
    virtual bool claim(ReplyOwner *run) = 0;
    virtual void release(ReplyOwner *run) = 0;
    // While the link is lost (or its analyzer has not said again who it is),
    // the `commands` that stop `run` are owed: they go out when the same
    // analyzer is back, never to another one, and true is returned. Otherwise
    // false: the run sends them now, as any of its commands.
    virtual bool oweWhileLost(ReplyOwner *run, const QString &commands) = 0;
    // `run` holds the replies and waits for its analyzer after a lost link.
    virtual bool isPaused(const ReplyOwner *run) const = 0;
    // `run` ended: `text` says how (a file made, what went wrong).
    virtual void runEnded(ReplyOwner *run, RunOutcome outcome, const QString &text)
    {
        (void)run, (void)outcome, (void)text;
    }
};

// A long run that owns the analyzer's replies while it lasts: a performance
// verification, a service scan, an SRDA collection or a command file send.
// While it owns them, every reply goes to it and to nothing else, and the
// poll tick sends only what the run asks for.
//
// A run without a seat (a test driving it alone) may always start.
class ReplyOwner
{
public:
    enum class Kind
    {
        Verification,
        ServiceScan,
        Srda,
        FileSend
    };

    virtual ~ReplyOwner() = default;

    // What the run is, for the session's state and its messages.
    virtual Kind runKind() const = 0;
    // A chunk of whole reply lines.
    virtual void reply(const QByteArray &chunk) = 0;
    // The link is lost: timers and time-outs stop, everything gathered stays.
    virtual void pauseRun() = 0;
    // The same analyzer is back: the interrupted step starts again from its
    // own start command.
    virtual void resumeRun() = 0;
    // Ends the run without a word to the analyzer, which is gone or another one.
    virtual void abandonRun(const QString &reason) = 0;
    // What the poll tick sends while this run owns the replies (empty: nothing).
    virtual QString pollCommand() const { return QString(); }
    // Quiet for half a poll period: a run waiting for the end of a download may end it.
    virtual void quiet() {}

    void seatAt(ReplySeat *s) { seat = s; }

protected:
    bool claimReplies() { return !seat || seat->claim(this); }
    void releaseReplies()
    {
        if (seat)
            seat->release(this);
    }
    // Tells the seat how the run ended, once a run: a cancel or a failure is
    // somebody's to know of.
    void tellEnd(RunOutcome outcome, const QString &text)
    {
        if (seat)
            seat->runEnded(this, outcome, text);
    }
    // Paused by a lost link: the seat knows, the run keeps no flag of its own.
    bool runPaused() const { return seat && seat->isPaused(this); }
    // Stops the run with `commands`: `sendNow` writes them, unless the link is
    // lost, when they are owed to the same analyzer. True when sent now.
    template <class Send> bool stopWith(const QString &commands, Send sendNow)
    {
        if (seat && seat->oweWhileLost(this, commands))
            return false;
        sendNow(commands);
        return true;
    }

private:
    ReplySeat *seat = nullptr;
};
