#include "app/analyzersession.h"

#include "app/identity.h"
#include "app/pollcycle.h"
#include "common/clock.h"
#include "common/commandsequence.h"
#include "link/demointerface.h"
#include "link/ethernetinterface.h"
#include "link/serialinterface.h"

namespace {

QString runName(ReplyOwner::Kind kind)
{
    switch (kind) {
    case ReplyOwner::Kind::Verification:
        return AnalyzerSession::tr("a performance verification");
    case ReplyOwner::Kind::ServiceScan:
        return AnalyzerSession::tr("a service scan");
    case ReplyOwner::Kind::Srda:
        return AnalyzerSession::tr("an SRDA collection");
    case ReplyOwner::Kind::FileSend:
        return AnalyzerSession::tr("a command file send");
    }
    return QString();
}

} // namespace

AnalyzerSession::AnalyzerSession(ConnectionLifecycle::LinkFactory factory, QObject *parent)
    : QObject(parent), connection(new ConnectionLifecycle(std::move(factory), this)),
      identityPace(new CommandSequence(this)), parser(std::make_unique<StatusParser>(st))
{
    connect(connection, &ConnectionLifecycle::linkOpened, this, &AnalyzerSession::linkOpened);
    connect(connection, &ConnectionLifecycle::started, this, &AnalyzerSession::linkStarted);
    connect(connection, &ConnectionLifecycle::openFailed, this, &AnalyzerSession::openFailed);
    connect(connection, &ConnectionLifecycle::goodbyeSent, this, &AnalyzerSession::goodbyeSent);
    connect(connection, &ConnectionLifecycle::linkClosing, this, &AnalyzerSession::linkClosing);
    connect(connection, &ConnectionLifecycle::closed, this, &AnalyzerSession::finishClose);
    connect(connection, &ConnectionLifecycle::lost, this, &AnalyzerSession::linkLost);
    connect(connection, &ConnectionLifecycle::retryFailed, this, &AnalyzerSession::retryFailed);
    connect(connection, &ConnectionLifecycle::retryFailed, this,
            &AnalyzerSession::checkLongestPause);
    connect(&poll, &QTimer::timeout, this, &AnalyzerSession::queryStatus);
    connect(&progressTimer, &QTimer::timeout, this, &AnalyzerSession::progressTick);
    connect(identityPace, &CommandSequence::finished, this, &AnalyzerSession::ownerMayHaveChanged);
}

AnalyzerSession::~AnalyzerSession() = default;

AnalyzerSession::Owner AnalyzerSession::owner() const
{
    if (run) {
        switch (run->runKind()) {
        case ReplyOwner::Kind::Verification:
            return Owner::Verification;
        case ReplyOwner::Kind::ServiceScan:
            return Owner::ServiceScan;
        case ReplyOwner::Kind::Srda:
            return Owner::Srda;
        case ReplyOwner::Kind::FileSend:
            return Owner::FileSend;
        }
    }
    // Nobody speaks for a connection that is closing, lost or not yet identified.
    if (!current || !st.identified || connection->state() != ConnectionLifecycle::State::Connected)
        return Owner::None;
    if (identityPace->isRunning() || answers.awaitsAny())
        return Owner::Identity;
    return Owner::Monitoring;
}

void AnalyzerSession::ownerMayHaveChanged()
{
    const Owner now = owner();
    if (now != lastOwner) {
        lastOwner = now;
        emit ownerChanged(now);
    }
}

bool AnalyzerSession::claim(ReplyOwner *who)
{
    if (run == who)
        return true;
    const QString why = whyNoStart();
    if (!why.isEmpty()) {
        emit refused(tr("Not started: ") + why + QLatin1Char('.'));
        return false;
    }
    // No more identity queries; answers already on their way still go to the
    // identity step (see route()).
    identityPace->cancel();
    run = who;
    noteReply(); // the run's silence counts from its start
    ownerMayHaveChanged();
    return true;
}

void AnalyzerSession::release(ReplyOwner *who)
{
    if (run != who)
        return;
    run = nullptr;
    pausedAt = -1;
    ownerMayHaveChanged();
}

bool AnalyzerSession::isLost() const
{
    switch (connection->state()) {
    case ConnectionLifecycle::State::Waiting:
        return true;
    case ConnectionLifecycle::State::Opening:
        return connection->isReconnect();
    case ConnectionLifecycle::State::Connected:
        // Back, but the analyzer has not said again who it is.
        return !st.identified && !serial.isNull();
    case ConnectionLifecycle::State::Disconnected:
    case ConnectionLifecycle::State::Closing:
        break;
    }
    return false;
}

bool AnalyzerSession::oweWhileLost(ReplyOwner *, const QString &commands)
{
    if (!isLost())
        return false;
    // Only an analyzer known by its serial number can be owed anything; it is
    // told when it is identified again, and nobody else is.
    if (!serial.isNull())
        owed += commands;
    return true;
}

void AnalyzerSession::runEnded(ReplyOwner *who, RunOutcome outcome, const QString &text)
{
    if (outcome == RunOutcome::Failed && text == tr("Disconnected"))
        outcome = RunOutcome::Cancelled;
    emit runOver(runTitle(who->runKind()), outcome, text);
}

QString AnalyzerSession::runTitle(ReplyOwner::Kind kind)
{
    switch (kind) {
    case ReplyOwner::Kind::Verification:
        return tr("Performance verification");
    case ReplyOwner::Kind::ServiceScan:
        return tr("Service scan");
    case ReplyOwner::Kind::Srda:
        return tr("SRDA collection");
    case ReplyOwner::Kind::FileSend:
        break;
    }
    return tr("Command file send");
}

bool AnalyzerSession::isPaused(const ReplyOwner *who) const
{
    return who && run == who && pausedAt >= 0;
}

QString AnalyzerSession::linkRefusal() const
{
    switch (connection->state()) {
    case ConnectionLifecycle::State::Disconnected:
        return tr("not connected");
    case ConnectionLifecycle::State::Closing:
        return tr("the connection is closing");
    case ConnectionLifecycle::State::Waiting:
        return tr("the connection is lost, reconnecting");
    case ConnectionLifecycle::State::Opening:
        if (connection->isReconnect())
            return tr("the connection is lost, reconnecting");
        break;
    case ConnectionLifecycle::State::Connected:
        break;
    }
    if (!current || !current->connectionOpen())
        return tr("not connected");
    return QString();
}

QString AnalyzerSession::whyNot(Speaker who) const
{
    if (run)
        return tr("%1 is running").arg(runName(run->runKind()));
    const QString why = linkRefusal();
    if (!why.isEmpty() || who == Speaker::Console)
        return why;
    return st.identified ? QString() : tr("the analyzer has not said who it is yet");
}

QString AnalyzerSession::whyNotFor(const ReplyOwner *who) const
{
    if (run && run != who)
        return tr("%1 is running").arg(runName(run->runKind()));
    const QString why = linkRefusal();
    if (!why.isEmpty())
        return why;
    return st.identified ? QString() : tr("the analyzer has not said who it is yet");
}

QString AnalyzerSession::whyNoStart() const
{
    if (run)
        return tr("%1 is running").arg(runName(run->runKind()));
    const QString why = linkRefusal();
    if (!why.isEmpty())
        return why;
    if (!st.identified || connection->state() != ConnectionLifecycle::State::Connected)
        return tr("the analyzer has not said who it is yet");
    return QString();
}

qint64 AnalyzerSession::pausedMs() const
{
    return run && pausedAt >= 0 ? Clock::monotonic() - pausedAt : -1;
}

void AnalyzerSession::checkLongestPause()
{
    if (!run || pausedAt < 0)
        return;
    if (Clock::monotonic() - pausedAt < qint64(maxPause) * 60 * CommandSequence::secondMs())
        return;
    const QString text = noAnalyzerText(serial, maxPause);
    abandonRun(text);
    emit notOurAnalyzer(tr("No analyzer"), text);
}

void AnalyzerSession::abandonRun(const QString &reason)
{
    pausedAt = -1;
    if (ReplyOwner *gone = run) {
        run = nullptr; // nothing it says on its way out goes anywhere
        gone->abandonRun(reason);
        ownerMayHaveChanged();
    }
}

OrinInterface *AnalyzerSession::makeLink(const ConnectionSettings &with, bool demo, QObject *parent)
{
    if (demo)
        return new DemoInterface(parent);
    if (with.isTcp()) {
        auto *tcp = new EthernetInterface(parent);
        // While reconnecting, a dropped peer is said in the status bar, not in a box.
        tcp->errorBoxes = !with.autoReconnect;
        return tcp;
    }
    return new SerialInterface(parent);
}

int AnalyzerSession::pollSeconds() const
{
    return qMax(1, currentSettings.logInterval);
}

bool AnalyzerSession::connectTo(const ConnectionSettings &settings, bool demoMode)
{
    if (connection->state() != ConnectionLifecycle::State::Disconnected)
        return false;
    currentSettings = settings;
    maxPause = qMax(1, settings.maxPauseMinutes);
    demo = demoMode;
    st.demoMode = demo;
    serial = QString();
    st.serialNumber.clear();
    owed.clear();
    return connection->connectTo(settings);
}

void AnalyzerSession::disconnectNow()
{
    closeThen(nullptr);
}

void AnalyzerSession::closeThen(std::function<void()> after)
{
    const auto state = connection->state();
    if (state == ConnectionLifecycle::State::Disconnected ||
        state == ConnectionLifecycle::State::Closing) {
        if (after && state == ConnectionLifecycle::State::Closing)
            afterClose << std::move(after);
        return;
    }
    if (after)
        afterClose << std::move(after);
    // The run ends here, without commands of its own: the goodbye follows.
    abandonRun(tr("Disconnected"));
    identityPace->cancel();
    gotReply = false;
    // Polling stops at once, so no status request slips in between the goodbye commands.
    poll.stop();
    progressTimer.stop();
    emit closing();
    // After a return the goodbye is for the analyzer once it has said again
    // who it is: whatever answers before that hears nothing.
    connection->disconnectNow(!isLost());
}

bool AnalyzerSession::send(const QString &text, Speaker who)
{
    return writeUnless(whyNot(who), text);
}

bool AnalyzerSession::send(const QByteArray &bytes, Speaker who)
{
    const QString why = whyNot(who);
    if (!why.isEmpty()) {
        emit refused(tr("Not sent: ") + why + QLatin1Char('.'));
        return false;
    }
    if (current && current->connectionOpen())
        current->writeData(bytes);
    return true;
}

bool AnalyzerSession::sendFor(const ReplyOwner *who, const QString &text)
{
    return writeUnless(whyNotFor(who), text);
}

bool AnalyzerSession::writeUnless(const QString &why, const QString &text)
{
    if (!why.isEmpty()) {
        emit refused(tr("Not sent: ") + why + QLatin1Char('.'));
        return false;
    }
    write(text);
    return true;
}

void AnalyzerSession::write(const QString &text)
{
    if (current && current->connectionOpen())
        current->writeData(upToZero(text.toUtf8()));
}

void AnalyzerSession::linkOpened(OrinInterface *link)
{
    current = link;
    gotReply = false;
    ssnidSent = false;
    st.identified = false;
    if (serial.isNull()) {
        // A new conversation. After a return the same analyzer keeps what it said.
        clearIdentity();
        st.compatibilityMode = false;
    }
    answers.forget();
    st.demoMode = demo;
    cutter.clear();
    connect(link, &OrinInterface::readyRead, this, &AnalyzerSession::readData);
    emit linkReady(link);
    emit statusText(link->connectionText);
}

void AnalyzerSession::linkStarted()
{
    // "ssnid" is out: from now on a serial reply answers it.
    ssnidSent = true;
    poll.start(pollSeconds() * CommandSequence::secondMs());
    progressTimer.start(pollSeconds() * CommandSequence::secondMs() / 20);
    noteReply();
    emit started();
    ownerMayHaveChanged();
}

void AnalyzerSession::linkClosing()
{
    emit linkGoing();
    identityPace->cancel();
    poll.stop();
    progressTimer.stop();
    setProgress(100);
    cutter.clear();
    st.identified = false;
    answers.forget();
    ssnidSent = false;
    current = nullptr; // the lifecycle closes and deletes it
    ownerMayHaveChanged();
}

void AnalyzerSession::linkLost(const QString &reason, bool retrying)
{
    if (retrying) {
        // The run keeps what it has and waits for the analyzer to come back.
        if (run) {
            if (pausedAt < 0)
                pausedAt = Clock::monotonic();
            run->pauseRun();
        }
        emit lost(reason, true);
        return;
    }
    // Without reconnecting the connection ends as Disconnect ends it.
    abandonRun(tr("Connection lost: ") + reason);
    emit lost(reason, false);
}

void AnalyzerSession::finishClose()
{
    clearIdentity();
    abandonRun(tr("Disconnected"));
    poll.stop();
    progressTimer.stop();
    setProgress(100);
    current = nullptr;
    cutter.clear();
    // The next connection may be another analyzer, or the demo: nothing of
    // this one's identity is carried over.
    serial = QString();
    st.serialNumber.clear();
    st.compatibilityMode = false;
    owed.clear();
    st.identified = false;
    emit closed();
    ownerMayHaveChanged();
    const auto pending = afterClose;
    afterClose.clear();
    for (const auto &f : pending)
        f();
}

void AnalyzerSession::clearIdentity()
{
    st.unitsCode.clear();
    st.speciesName.clear();
    st.modelName.clear();
    answers.forget();
}

void AnalyzerSession::readData()
{
    if (!current)
        return;
    const QByteArray bytes = current->readData();
    gotReply = true;
    const QByteArray chunk = cutter.feed(bytes);
    if (chunk.isEmpty())
        return;
    if (!st.identified) {
        identify(chunk);
        return;
    }
    emit received(chunk);
    setProgress(100);
    noteReply();
    route(chunk);
}

void AnalyzerSession::route(const QByteArray &chunk)
{
    // An identity answer still awaited when a run began is the identity step's.
    if (run && !answers.awaitsAny()) {
        run->reply(chunk);
        return;
    }
    const QString text = QString::fromLatin1(chunk);
    const IdentityAnswers::Learned learned = answers.read(text, st, parser->record());
    if (learned.model)
        emit modelKnown(st.modelName);
    if (learned.species)
        emit controlsEnabled(true);
    // A question of the Utilities tab gets the first look at what follows it.
    if (question && !run && question(chunk)) {
        question = nullptr;
        return;
    }
    st.statusPolled = tab == 0;
    const bool unknownIsNotOurs = answers.awaits(IdentityAnswers::Units) || learned.unknownUnits;
    for (const StatusReport &report : parser->parseData(text, unknownIsNotOurs))
        emit statusReport(report);
    if (!run)
        ownerMayHaveChanged(); // an identity answer may have come in
}

bool AnalyzerSession::ask(const QString &command, std::function<bool(const QByteArray &)> answer)
{
    if (!send(command))
        return false;
    question = std::move(answer);
    questionJustAsked = true;
    return true;
}

void AnalyzerSession::queryStatus()
{
    const qint64 silentMs = sinceReply.isValid() ? sinceReply.elapsed() : 0;
    const qint64 pollMs = qint64(pollSeconds()) * CommandSequence::secondMs();
    if (!st.identified && !serial.isNull() && connection->isReconnect() && silentMs > 3 * pollMs) {
        // The link came back but the analyzer did not say who it is (it may
        // still be starting): the run stays paused, up to the longest pause,
        // and the back-off goes on where it was.
        checkLongestPause();
        connection->reportLoss(tr("no response from the analyzer"));
        return;
    }
    switch (PollCycle::silence(silentMs, pollMs, gotReply, tab == 0)) {
    case PollCycle::Silence::NeverAnswered:
        if (connection->isReconnect()) {
            connection->reportLoss(tr("no response from the analyzer"));
            return;
        }
        // The analyzer never answered on this connection: give up.
        closeThen([this] { emit neverAnswered(); });
        return;
    case PollCycle::Silence::Quiet:
        // Left standing: the connection text must not hide that replies stopped.
        // Worked out once a quiet spell, so the text stays the same from tick to tick.
        if (!quietTimeKnown)
            lastReplyTime = Clock::current().addMSecs(-sinceReply.elapsed());
        quietTimeKnown = true;
        emit statusText(QStringLiteral("Last response from analyzer received at: ") +
                        lastReplyTime.toString(Qt::TextDate));
        break;
    case PollCycle::Silence::None:
        if (current)
            emit statusText(current->connectionText);
        break;
    }
    if (!current || connection->state() == ConnectionLifecycle::State::Closing)
        return;
    // An unanswered question of the Utilities tab is not awaited past a poll period.
    if (question && !std::exchange(questionJustAsked, false))
        question = nullptr;
    if (st.compatibilityMode) {
        st.unitsCode = st.speciesName = st.modelName = QStringLiteral(" ");
        answers.forget();
        emit controlsEnabled(true);
    }
    if (!st.identified)
        return;
    if (run) {
        // A run asks only what it needs; no status and no identity queries in
        // between. An identity answer that did not come by now is not awaited.
        answers.forget();
        const QString command = run->pollCommand();
        if (!command.isEmpty())
            write(command);
        return;
    }
    if (identityPace->isRunning())
        return; // the queries of an earlier tick are still being paced out
    askIdentity();
}

void AnalyzerSession::sendPoll()
{
    if (!current || run)
        return;
    const QString command = PollCycle::pollCommand(tab, st.compatibilityMode, 0);
    if (!command.isEmpty())
        write(command);
}

void AnalyzerSession::setTabInFront(int index)
{
    tab = index;
    if (!current || connection->state() == ConnectionLifecycle::State::Closing)
        return;
    noteReply();
    poll.stop();
    progressTimer.stop();
    setProgress(0);
    if (connection->state() == ConnectionLifecycle::State::Connected) {
        poll.start(pollSeconds() * CommandSequence::secondMs());
        progressTimer.start(pollSeconds() * CommandSequence::secondMs() / 20);
    }
    // Only monitoring asks, once the opening commands are out, and after a
    // return only once the analyzer has said again who it is: "ssnid" and
    // what is owed come first.
    if (index == 0 && !run && connection->state() == ConnectionLifecycle::State::Connected &&
        !isLost()) {
        write(PollCycle::pollCommand(0, st.compatibilityMode, 0));
        setProgress(100);
    }
}

void AnalyzerSession::noteReply()
{
    sinceReply.start();
    quietTimeKnown = false;
    quietTold = false;
}

void AnalyzerSession::setProgress(int value)
{
    progressValue = value;
    emit progress(value);
}

void AnalyzerSession::progressTick()
{
    setProgress(qMax(0, progressValue - 5));
    // Half a poll period without a reply, on the session's own count: the
    // progress shown may have been reset by a change of tab.
    if (run && !quietTold && sinceReply.isValid() &&
        sinceReply.elapsed() >= qint64(pollSeconds()) * CommandSequence::secondMs() / 2) {
        quietTold = true;
        run->quiet();
    }
}
