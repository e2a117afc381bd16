#pragma once

#include "app/analyzersession.h"
#include "app/station.h"
#include "link/settingsdialog.h"

#include <QDateTime>
#include <QList>
#include <QMainWindow>
#include <QMetaObject>
#include <QSet>

#include <memory>

class AlarmSettingsPage;
class AlarmsWindow;
class Certification;
class FleetPublisher;
class Console;
class Instrument;
class Logger;
class OptionsDialog;
class OrinInterface;
class PlotWindow;
class QAction;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QToolBar;
class SRDA;
class Service;
class TrendWriter;
class Utilities;

// The program's one top-level window. It owns the tabs, the console, the
// traffic log, the plot window, the dialogs and the analyzer session, and
// wires them together. The conversation with the analyzer (the link, polling,
// identity and which run owns the replies) is the session's; the window only
// shows what it says.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static const char *const version;

    struct Options
    {
        bool demo = false;        // this run in demo mode, whatever the stored preference says
        bool noReconnect = false; // this run never reconnects by itself
        bool headless = false;    // no window: status texts also go to standard error
    };

    explicit MainWindow(const Options &options, QWidget *parent = nullptr);
    explicit MainWindow(QWidget *parent = nullptr) : MainWindow(Options(), parent) {}
    ~MainWindow() override;

    // Parts the main window owns, reachable for main() and tests.
    SettingsDialog *settingsDialog() const { return settings; }
    OptionsDialog *optionsDialog(); // built on first use
    Console *consoleWidget() const { return console; }
    QLineEdit *commandEntry() const { return lineEdit; }
    Instrument *instrument() const { return instrumentTab; }
    Certification *certification() const { return certificationTab; }
    Utilities *utilities() const { return utilitiesTab; }
    Service *service() const { return serviceTab; }
    SRDA *srda() const { return srdaTab; }
    // The concentration plot, built on first use (the first point or its button).
    PlotWindow *plotWindow();
    QTabWidget *tabs() const { return tabWidget; }
    QProgressBar *progress() const { return progressBar; }
    QLabel *serialLabel() const { return snLabel; }
    QPushButton *logFileButton() const { return logButton; }
    Logger *trafficLogger() const { return logger; }
    AnalyzerSession *session() const { return talk; }
    Station *station() const { return base; }
    AlarmSettingsPage *alarmSettings() const { return alarmPage; }
    // The Alarms window, built on first use (the menu or the tool bar's indicator).
    AlarmsWindow *alarmsWindow();
    // The command line's alarm presets, stored and in effect as "OK" would.
    void applyAlarmPresets(const AlarmPresets &presets);
    OrinInterface *currentLink() const { return talk->link(); }
    ConnectionLifecycle *connectionLifecycle() const { return talk->lifecycle(); }
    FleetPublisher *fleetPublisher() const { return base->fleet(); }
    QTimer *pollTimer() const { return talk->pollTimer(); }
    const ParserState &connectionState() const { return talk->parserState(); }
    bool isLoggingOn() const { return loggingOn; }
    bool isDemoMode() const { return base->isDemo(); }
    bool isGotReply() const { return talk->isGotReply(); }
    // True while the opening or closing commands are still being paced out.
    bool isBusy() const { return talk->lifecycle()->isBusy(); }
    QString trendFile() const;

    QAction *actionConnect;
    QAction *actionDisconnect;
    QAction *actionQuit;
    QAction *actionConfigure;
    QAction *actionClear;
    QAction *actionConsole;
    QAction *actionOptions;
    QAction *actionPlotWindow;
    QAction *actionLogToFile;
    QAction *actionSRDA;
    QAction *actionTrend;
    QAction *actionCertification;
    QAction *actionLogging;
    QAction *actionDemoMode;
    QAction *actionFleetView;
    QAction *actionAlarms;
    QAction *actionFirmware;
    QAction *actionQuickStart;
    QAction *actionAboutQt;
    QAction *actionAbout;
    QList<QAction *> textSizeActions;

    void setControlsEnabled(bool on);

signals:
    void fileInvalid();
    void newStatusReady();
    void newSRDAColumnsReady();
    void scanDone();
    // The connection is open and the opening commands have gone out.
    void connectionStarted();
    // closeConnection() has finished and the link is gone.
    void connectionClosed();
    // The station has made the trend row of `time` from a status report.
    void trendRowReady(const QDateTime &time);
    // The SRDA table stopped storing rows at its memory limit.
    void srdaLimitReached(qint64 rowsKept);

public slots:
    void instrumentTabDisable(bool on);
    void about();
    void firmwareCompatibility();
    void quickStart();
    void changeText(int size);
    void openConnection();
    void closeConnection();
    void updateTrend(const TrendRow &row);
    void trendDataFolder();
    void configureLogger();
    void toggleLogger(bool on);
    void toggleConsole(bool on);
    void userScansChange(bool on);
    void toOrin(QString text);
    void toConsole(QString text);
    void toLogger(QString text);
    void resetTimer(int index);
    void doIt();
    void setDemoMode(bool on);
    // Ends the program as Disconnect ends a connection (goodbye commands
    // included), without the exit question; the event loop returns 0.
    void shutdown();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWidgets();
    void revealServiceTabs();
    void buildMenus();
    void buildTabs();
    void wirePermanent();
    void wireSession();
    void wireFleet();
    void wireReports();
    void wireAlarms();
    void showReport(const StatusReport &report);
    void wireSpeakers();
    void followOwner();
    void showReturn(bool runGoesOn);
    void sendMode(int opmode, const ReplyOwner *forRun);
    void showLoss(const QString &reason, int nextTrySeconds);
    void wireConnection(OrinInterface *link);
    void unwireConnection();
    void identified(const QString &serial, bool first);
    void linkOpened();
    void finishClose();
    void showReceived(const QByteArray &chunk);
    void setStatus(const QString &text);
    // The operator may pick another log file while connected: always the current choice.
    QString logFilePath() const { return settings->settings().logFile; }
    QSize compactSize() const;
    void fitLogButton();

    static constexpr int consoleWidth = 300;
    QGridLayout *grid;
    QToolBar *mainBar;
    SettingsDialog *settings;
    OptionsDialog *options = nullptr;
    Console *console;
    QLineEdit *lineEdit;
    Logger *logger;
    PlotWindow *plot = nullptr;
    QTabWidget *tabWidget;
    Instrument *instrumentTab;
    Certification *certificationTab;
    Utilities *utilitiesTab;
    Service *serviceTab;
    SRDA *srdaTab;
    QPushButton *logButton;
    QLabel *snLabel;
    AlarmSettingsPage *alarmPage = nullptr;
    AlarmsWindow *alarmList = nullptr;
    QProgressBar *progressBar;
    Station *base = nullptr;         // the session, the trend files and the fleet
    AnalyzerSession *talk = nullptr; // the station's session

    // Preferences.
    bool consoleVisible = true;
    int selectedTextSize = 0;
    bool userScans = false;
    bool loggingOn = false;
    bool controlsOn = false; // the session says the analyzer is there and identified
    QDateTime lostAt;        // when the link was lost, for the dashboard
    QList<QMetaObject::Connection> connectionWiring;
    bool goodbyeSaid = false; // closing: the connection has ended as Disconnect ends it
};
