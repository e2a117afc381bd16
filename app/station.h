#pragma once

#include "alarm/alarmsettings.h"
#include "app/analyzersession.h"
#include "app/trendrow.h"
#include "common/dialogs.h"
#include "fleet/fleetmessages.h"
#include "fleet/fleetsettings.h"
#include "link/connectionsettings.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QTimer>

class AlarmCommand;
class AlarmLog;
class DesktopNotifier;
class Alarms;
class FleetPublisher;
struct AlarmEvent;
class Logger;
class TrendWriter;

// The monitoring station without its window: the conversation with the one
// analyzer (the session), the connection settings it is opened with, the daily
// trend files and the fleet publisher. Each status report leaves here once
// (statusReport) and so does its trend row (trendRow); the dashboard, the plot,
// the console, the traffic log and the fleet subscribe to these. What the
// status bar would say comes out of statusText, once each until the analyzer
// answers again when journalling (a station without a window).
//
// No widgets: the headless station is this on a QCoreApplication.
class Station : public QObject
{
    Q_OBJECT
public:
    explicit Station(QObject *parent = nullptr);
    // With links of the tests' own making.
    Station(ConnectionLifecycle::LinkFactory factory, QObject *parent = nullptr);
    ~Station() override;

    AnalyzerSession *session() const { return talk; }
    FleetPublisher *fleet() const { return publisher; }
    TrendWriter &trendWriter() { return *trend; }
    Alarms *alarms() const { return alarmCenter; }

    // The record the next Connect opens with.
    ConnectionSettings connectionSettings() const { return wanted; }
    void setConnectionSettings(const ConnectionSettings &s) { wanted = s; }
    // This run never reconnects by itself.
    void setNoReconnect(bool on) { noReconnect = on; }
    // Demo Mode, for the next Connect (the mode of a connection stays as it began).
    void setDemoWanted(bool on);
    bool isDemo() const { return demoMode; }
    // Without a window every status text also goes to standard error, once.
    void setJournal(bool on) { journal = on; }
    void configureFleet(const FleetSettings &settings);
    void configureAlarms(const AlarmSettings &settings);
    // The writes of `logger` raise `alarm` when they fail and clear it when they
    // succeed again; the texts take the file's name for %1.
    void watchWrites(Logger *logger, const QString &alarm, const QString &failed,
                     const QString &recovered);

    // Connect with the record; false when nothing was opened (said by openFailed).
    bool connectToAnalyzer();
    // Disconnect, goodbye commands included.
    void disconnectNow();

signals:
    void statusReport(const StatusReport &report);
    void trendRow(const TrendRow &row);
    // What the status bar says.
    void statusText(const QString &text);
    // The link is lost; emitted before anything is said of it, so a view can
    // look stale by the time the text is shown.
    void linkLost(const QString &reason, bool retrying);
    // A line of the program's own for the console, in order with the traffic.
    void consoleLine(const QString &text);

private:
    void wire();
    void report(const StatusReport &report);
    void say(const QString &text);
    void lost(const QString &reason, bool retrying);
    void identified(const QString &serial, bool first);
    StationInfo stationInfo() const;
    void deliver(const AlarmEvent &event);
    void alarmTrouble(const QString &text);
    static void journalLine(const Dialogs::Message &m);

    AnalyzerSession *talk;
    Logger *trendLogger;
    std::unique_ptr<TrendWriter> trend;
    FleetPublisher *publisher;
    Alarms *alarmCenter;
    Logger *alarmLogger;
    std::unique_ptr<AlarmLog> alarmLog;
    DesktopNotifier *notifier = nullptr; // on the first alarm: no bus is asked before
    std::unique_ptr<AlarmCommand> command;
    QTimer alarmTick;
    bool closingAfterLoss = false; // the close that follows a loss given up on
    ConnectionSettings wanted;
    bool noReconnect = false;
    bool demoMode = false;   // the mode of this connection
    bool demoWanted = false; // the Demo Mode choice, for the next connect
    bool journal = false;
    // Texts journalled since the analyzer last answered: a reconnect that
    // fails for hours says each of its texts once.
    QSet<QString> journalled;
    QString lossText; // while reconnecting: what the status bar says
};
