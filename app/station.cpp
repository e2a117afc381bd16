#include "app/station.h"

#include "alarm/alarmcommand.h"
#include "alarm/alarms.h"
#include "alarm/desktopnotifier.h"
#include "app/alarmlog.h"
#include "app/trendlog.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "console/logger.h"
#include "fleet/fleetpublisher.h"

#include "common/commandsequence.h"

#include <QDBusConnection>
#include <QDir>

#include <cstdio>

Station::Station(QObject *parent)
    : Station(
          [this](const ConnectionSettings &with) {
              return AnalyzerSession::makeLink(with, demoMode, this);
          },
          parent)
{}

Station::Station(ConnectionLifecycle::LinkFactory factory, QObject *parent)
    : QObject(parent), talk(new AnalyzerSession(std::move(factory), this)),
      trendLogger(new Logger(this)), trend(std::make_unique<TrendWriter>(*trendLogger)),
      publisher(new FleetPublisher(this)), alarmCenter(new Alarms(this)),
      alarmLogger(new Logger(this)), alarmLog(std::make_unique<AlarmLog>(*alarmLogger))
{
    wire();
}

Station::~Station() = default;

void Station::wire()
{
    connect(talk, &AnalyzerSession::statusReport, this, &Station::report);
    connect(talk, &AnalyzerSession::statusText, this, &Station::say);
    connect(talk, &AnalyzerSession::refused, this, &Station::say);
    connect(talk, &AnalyzerSession::identified, this, &Station::identified);
    connect(talk, &AnalyzerSession::lost, this, &Station::lost);
    connect(talk, &AnalyzerSession::linkReady, this, [this] { lossText.clear(); });
    connect(talk, &AnalyzerSession::retryFailed, this, [this](const QString &why, int waitSeconds) {
        say(lossText + QStringLiteral(" (") + why + tr("; next try in %1 s)").arg(waitSeconds));
    });
    connect(talk, &AnalyzerSession::openFailed, this, [this](const QString &error) {
        // From the operator's Connect, never from the reply path.
        Dialogs::critical(tr("Error"), error);
        say(tr("Open error"));
    });
    connect(talk, &AnalyzerSession::neverAnswered, this, [this] {
        Dialogs::Message m;
        m.icon = Dialogs::Icon::Critical;
        m.title = tr("Connection Error");
        m.text =
            QStringLiteral("No response was received from the analyzer!  \n\nPlease check the "
                           "connections, cables, and \nserial communication settings.  Telvar has\n"
                           "disconnected.");
        m.buttons = Dialogs::NoButton;
        Dialogs::instance().message(m);
        say(tr("Timeout!") + QStringLiteral("No Response from analyzer!"));
    });
    connect(talk, &AnalyzerSession::notOurAnalyzer, this,
            [this](const QString &title, const QString &text) {
                // The box is the journal's line; the status bar only shows it.
                emit statusText(text);
                Dialogs::post(Dialogs::Icon::Critical, title, text);
            });
    connect(talk, &AnalyzerSession::closed, this, [this] {
        lossText.clear();
        demoMode = demoWanted; // a change made while connected applies from now on
        say(tr("Disconnected"));
        journalled.clear();
    });

    connect(publisher, &FleetPublisher::notice, this, [this](const QString &text) {
        say(text);
        emit consoleLine(text);
    });
    connect(talk, &AnalyzerSession::lost, publisher, &FleetPublisher::analyzerLost);
    connect(talk, &AnalyzerSession::started, publisher, &FleetPublisher::analyzerBack);
    connect(talk, &AnalyzerSession::closed, publisher, &FleetPublisher::analyzerClosed);

    // Alarms: judged here on what the session says, delivered every way at once.
    alarmCenter->setDataFolder(QDir::homePath() + QStringLiteral("/QuorvaneData"));
    connect(talk, &AnalyzerSession::identified, alarmCenter, [this](const QString &serial) {
        alarmCenter->setSerial(serial);
        alarmCenter->linkBack();
    });
    connect(talk, &AnalyzerSession::closed, alarmCenter, [this] {
        if (!std::exchange(closingAfterLoss, false))
            alarmCenter->linkClosed();
    });
    connect(talk, &AnalyzerSession::runOver, alarmCenter,
            [this](const QString &what, RunOutcome outcome, const QString &text) {
                alarmCenter->runEnded(
                    what, outcome, text,
                    what == AnalyzerSession::runTitle(ReplyOwner::Kind::Verification));
            });
    watchWrites(trendLogger, QStringLiteral("trend-file"),
                tr("The trend file %1 cannot be written."),
                tr("The trend file %1 is written again."));
    connect(alarmCenter, &Alarms::changed, this, &Station::deliver);
    connect(&alarmTick, &QTimer::timeout, alarmCenter, [this] {
        alarmTick.setInterval(CommandSequence::secondMs()); // the tests' paced second
        alarmCenter->check();
    });
    alarmTick.start(CommandSequence::secondMs());
}

void Station::watchWrites(Logger *logger, const QString &alarm, const QString &failed,
                          const QString &recovered)
{
    connect(logger, &Logger::writeFailed, alarmCenter,
            [=](const QString &file) { alarmCenter->writeFailed(alarm, true, failed.arg(file)); });
    connect(logger, &Logger::writeRecovered, alarmCenter, [=](const QString &file) {
        alarmCenter->writeFailed(alarm, false, recovered.arg(file));
    });
}

void Station::configureAlarms(const AlarmSettings &settings)
{
    alarmCenter->configure(settings);
    if (command && command->program() == settings.command)
        return;
    command.reset();
    if (settings.command.isEmpty())
        return;
    command = std::make_unique<AlarmCommand>(settings.command);
    // The program goes on whatever the command does.
    connect(command.get(), &AlarmCommand::trouble, this, &Station::alarmTrouble);
}

void Station::deliver(const AlarmEvent &event)
{
    alarmLog->append(event);
    if (!notifier) {
        notifier = new DesktopNotifier(QDBusConnection::sessionBus(), this);
        connect(notifier, &DesktopNotifier::trouble, this, &Station::alarmTrouble);
    }
    notifier->deliver(event);
    if (command)
        command->deliver(event);
    publisher->alarm(event);
    if (journal && event.change != AlarmEvent::Change::Acknowledged) {
        Dialogs::Message m;
        m.title =
            event.change == AlarmEvent::Change::Raised ? tr("Alarm raised") : tr("Alarm cleared");
        m.text = event.text + QStringLiteral(" (") + event.name + QStringLiteral(", ") +
                 severityText(event.severity) + QLatin1Char(')');
        journalLine(m);
    }
}

void Station::setDemoWanted(bool on)
{
    demoWanted = on;
    if (talk->lifecycle()->state() == ConnectionLifecycle::State::Disconnected)
        demoMode = on;
}

void Station::configureFleet(const FleetSettings &settings)
{
    publisher->configure(settings);
}

bool Station::connectToAnalyzer()
{
    if (talk->lifecycle()->state() != ConnectionLifecycle::State::Disconnected)
        return false;
    ConnectionSettings with = wanted;
    if (noReconnect)
        with.autoReconnect = false;
    // A change of the Demo Mode choice while connected takes effect here.
    demoMode = demoWanted;
    journalled.clear();
    return talk->connectTo(with, demoMode);
}

void Station::disconnectNow()
{
    talk->disconnectNow();
}

void Station::say(const QString &text)
{
    emit statusText(text);
    // The link's own text says the analyzer is there only once it has said
    // who it is: the journal gives it then, once a connection.
    const bool linkOnly =
        talk->link() && text == talk->link()->connectionText && !talk->parserState().identified;
    if (!journal || linkOnly || journalled.contains(text))
        return;
    // Without a window the status bar is the service log: each text once
    // until the analyzer answers again.
    journalled.insert(text);
    Dialogs::Message m;
    m.text = text;
    journalLine(m);
}

void Station::journalLine(const Dialogs::Message &m)
{
    const QByteArray line = Dialogs::headlessLine(m).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
}

void Station::alarmTrouble(const QString &text)
{
    // Said once a run of failures by the delivery itself; not on the status
    // bar, where it would hide what the analyzer's connection says.
    emit consoleLine(text);
    if (journal) {
        Dialogs::Message m;
        m.text = text;
        journalLine(m);
    }
}

void Station::identified(const QString &, bool first)
{
    journalled.clear();
    // The same analyzer is back: the operator stays where they were.
    if (!first)
        say(talk->link() ? talk->link()->connectionText : QString());
}

void Station::lost(const QString &reason, bool retrying)
{
    alarmCenter->linkLost(reason);
    emit linkLost(reason, retrying);
    if (retrying) {
        // Unattended stations come back by themselves: no box, which nobody
        // would be there to close. A run waits, and its Cancel stays in reach.
        lossText = tr("Connection lost: ") + reason + tr(", reconnecting\u2026");
        say(lossText);
        emit consoleLine(lossText);
        return;
    }
    // Without reconnecting: say so once, after the loss has been handled,
    // and disconnect as Disconnect does. The box is the journal's one line.
    const QString text = tr("Connection lost: ") + reason;
    closingAfterLoss = true;
    emit statusText(text);
    talk->closeThen([this, text] { emit statusText(text); });
    Dialogs::post(Dialogs::Icon::Critical, tr("Connection lost"), text);
}

StationInfo Station::stationInfo() const
{
    const ParserState &state = talk->parserState();
    return StationInfo{state.serialNumber, state.modelName, talk->pollSeconds(), QString()};
}

void Station::report(const StatusReport &report)
{
    emit statusReport(report);
    const ConnectionSettings &current = talk->settings();
    TrendRow row;
    row.time = Clock::current();
    row.record = report.record;
    row.text = ::trendRow(report.record, row.time, report.compatibilityMode, current.statusLog);
    if (current.autoLog)
        trend->append(talk->parserState().serialNumber, row.text, current.statusLog,
                      row.time.date());
    emit trendRow(row);
    publisher->trendRow(row.record, stationInfo(), row.time);
    publisher->statusReport(report.record, stationInfo());
    alarmCenter->report(report);
}
