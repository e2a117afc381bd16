#pragma once

#include "app/connectionlifecycle.h"
#include "app/identityanswers.h"
#include "app/linecutter.h"
#include "app/statusparser.h"
#include "common/replyowner.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class CommandSequence;

// The conversation with the one analyzer. It holds the connection, runs the
// opening and identification, knows the analyzer's serial number, polls, and
// hands every reply to exactly one owner:
//   - the identity step, while its queries are out (answers go to it only);
//   - monitoring (the status parser) when nothing else runs;
//   - the run that claimed the replies: a verification, a service scan, an
//     SRDA collection or a command file send.
// The owner is explicit state, set when a run starts and cleared when it ends,
// never read from the tab in front. When the link is lost the run is paused;
// when it returns the analyzer is identified first, and the run goes on only
// if it is the same analyzer. Disconnect cancels the run.
//
// No widgets: the main window shows what the signals say.
class AnalyzerSession : public QObject, public ReplySeat
{
    Q_OBJECT
public:
    enum class Owner
    {
        None,       // no analyzer, or not identified yet
        Identity,   // the identity queries' answers are awaited
        Monitoring, // status polls and the parser
        Verification,
        ServiceScan,
        Srda,
        FileSend
    };

    // Who a command comes from when it is not a run's. Monitoring speaks only
    // while no run holds the conversation, and so do the operator's console
    // and the tabs' buttons; the run that holds it speaks through sendFor().
    enum class Speaker
    {
        Monitoring,
        Console,
        Controls
    };

    explicit AnalyzerSession(ConnectionLifecycle::LinkFactory factory, QObject *parent = nullptr);
    ~AnalyzerSession() override;

    // A run that may claim the replies.
    void enrol(ReplyOwner *run) { run->seatAt(this); }
    bool claim(ReplyOwner *run) override;
    void release(ReplyOwner *run) override;
    bool oweWhileLost(ReplyOwner *run, const QString &commands) override;
    bool isPaused(const ReplyOwner *run) const override;
    void runEnded(ReplyOwner *run, RunOutcome outcome, const QString &text) override;
    // "Performance verification", "Service scan", "SRDA collection", "Command file send".
    static QString runTitle(ReplyOwner::Kind kind);

    // Opens a connection with `settings`; false when it does not open.
    bool connectTo(const ConnectionSettings &settings, bool demo);
    // The operator's Disconnect: the run is cancelled, then the goodbye commands.
    void disconnectNow();
    // Closes the connection (as Disconnect) and calls `after` once it is closed.
    void closeThen(std::function<void()> after);
    // Writes a command from `who`. Refused, with nothing written and `refused`
    // saying why, while a run holds the conversation or there is no open link.
    bool send(const QString &text, Speaker who = Speaker::Controls);
    // The same for bytes sent as they are (a line typed in the console).
    bool send(const QByteArray &bytes, Speaker who);
    // A question of the tab's buttons (the Utilities tab): sent as send()
    // sends, and the replies that follow are offered to `answer` first until it
    // takes one (returns true) or a poll period has passed.
    bool ask(const QString &command, std::function<bool(const QByteArray &)> answer);
    // Writes a command of `run`: only while it holds the conversation (or none
    // does) and the analyzer it belongs to has said who it is.
    bool sendFor(const ReplyOwner *run, const QString &text);
    // Why `who` (or `run`) may not speak now, or a run start now; empty when it may.
    QString whyNot(Speaker who) const;
    QString whyNotFor(const ReplyOwner *run) const;
    QString whyNoStart() const;
    // A run paused by a lost link is cancelled when its analyzer has not been
    // back for this long (from the connection settings).
    int maxPauseMinutes() const { return maxPause; }
    // How long the run has been waiting for its analyzer (-1: not paused).
    qint64 pausedMs() const;
    // The tab in front changed: polls restart from now (and the dashboard asks at once).
    void setTabInFront(int index);

    Owner owner() const;
    ReplyOwner *currentRun() const { return run; }
    OrinInterface *link() const { return current; }
    ConnectionLifecycle *lifecycle() const { return connection; }
    const ParserState &parserState() const { return st; }
    // The analyzer's picture so far, from the reports and the identity answers.
    const StatusRecord &record() const { return parser->record(); }
    const ConnectionSettings &settings() const { return currentSettings; }
    bool isDemo() const { return demo; }
    bool isGotReply() const { return gotReply; }
    QTimer *pollTimer() { return &poll; }
    // The analyzer this connection belongs to (null before the first serial reply).
    QString knownSerial() const { return serial; }
    int pollSeconds() const;

    // The link of the kind the settings ask for (not yet open).
    static OrinInterface *makeLink(const ConnectionSettings &with, bool demo, QObject *parent);

    // The message when another analyzer, or none, answers after the link came back.
    static QString otherAnalyzerText(const QString &expected, const QString &answered,
                                     bool runCancelled);
    static QString noAnalyzerText(const QString &expected, int minutes);

signals:
    // A link is open: wire the console and the mode buttons to it.
    void linkReady(OrinInterface *link);
    // The link is about to go: undo that wiring.
    void linkGoing();
    // The opening commands are out and polling runs.
    void started();
    // A chunk of whole lines from the identified analyzer, before it is routed.
    void received(const QByteArray &chunk);
    // The serial reply arrived; `first` on the first of this connection (not after a return).
    void identified(const QString &serial, bool first);
    void statusText(const QString &text);
    // A status report from monitoring, once each.
    void statusReport(const StatusReport &report);
    // The model name answered (once a connection).
    void modelKnown(const QString &model);
    void progress(int value);
    void controlsEnabled(bool on);
    void openFailed(const QString &error);
    void goodbyeSent(const QString &command);
    // Close has begun (Disconnect, or a connection given up).
    void closing();
    void closed();
    // A run ended (`what` its runTitle): the Disconnect of a run cancels it.
    void runOver(const QString &what, RunOutcome outcome, const QString &text);
    void lost(const QString &reason, bool retrying);
    void retryFailed(const QString &reason, int waitSeconds);
    // The analyzer never answered on this connection: it is being closed.
    void neverAnswered();
    // Another analyzer, or none, answered when the link came back: a box for
    // the operator (the run, if any, is cancelled).
    void notOurAnalyzer(const QString &title, const QString &text);
    void ownerChanged(AnalyzerSession::Owner owner);
    // A command or a run start was refused: one line for the operator.
    void refused(const QString &line);

private:
    void readData();
    void identify(const QByteArray &chunk);
    void route(const QByteArray &chunk);
    void queryStatus();
    void askIdentity();
    void sendPoll();
    void progressTick();
    void setProgress(int value);
    // A reply came (or polling restarted): silence is counted from now.
    void noteReply();
    void linkOpened(OrinInterface *link);
    void linkStarted();
    void linkClosing();
    void linkLost(const QString &reason, bool retrying);
    void finishClose();
    void clearIdentity();
    void abandonRun(const QString &reason);
    void giveUpOnReturn(const QString &text);
    void ownerMayHaveChanged();
    void write(const QString &text);
    // Writes `text` unless there is a reason not to, which is then said.
    bool writeUnless(const QString &why, const QString &text);
    QString linkRefusal() const;
    // The link is lost, or back without the analyzer having said who it is.
    bool isLost() const;
    void checkLongestPause();

    ConnectionLifecycle *connection;
    CommandSequence *identityPace;
    bool identityJustAsked = false; // a query went out since the last tick
    OrinInterface *current = nullptr;
    ConnectionSettings currentSettings;
    bool demo = false;
    LineCutter cutter;
    ParserState st;
    std::unique_ptr<StatusParser> parser;
    IdentityAnswers answers;
    std::function<bool(const QByteArray &)> question; // the Utilities tab's, while awaited
    bool questionJustAsked = false;
    QTimer poll;
    QTimer progressTimer;
    int progressValue = 100;
    bool gotReply = false;
    bool ssnidSent = false;
    // Since the last reply (or poll restart), on the monotonic clock; the time
    // of day is worked out only when it is shown, not for every chunk.
    QElapsedTimer sinceReply;
    QDateTime lastReplyTime; // shown while the analyzer is quiet
    bool quietTimeKnown = false;
    QString serial; // the analyzer of this connection, once it has answered
    int tab = 0;
    ReplyOwner *run = nullptr;
    Owner lastOwner = Owner::None;
    QList<std::function<void()>> afterClose;
    QString owed;           // stop commands for the analyzer of `serial`, when it is back
    qint64 pausedAt = -1;   // monotonic ms at which the run was paused
    bool quietTold = false; // the run heard of this quiet spell
    int maxPause = 30;
};
