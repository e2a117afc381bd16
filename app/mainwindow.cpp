#include "app/mainwindow.h"

#include "app/consolespeaker.h"
#include "app/trendlog.h"
#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/clock.h"
#include "common/debuglog.h"
#include "common/dialogs.h"
#include "console/console.h"
#include "console/logger.h"
#include "dashboard/instrument.h"
#include "plot/plotwindow.h"
#include "service/commandfilesender.h"
#include "service/service.h"
#include "service/srda.h"
#include "service/utilities.h"

#include <QAction>
#include <QApplication>
#include <QDebug>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>

#include <cstdio>

const char *const MainWindow::version = TELVAR_VERSION;

namespace {

enum Tab
{
    MonitorTab = 0,
    CertificationTab = 1,
    UtilitiesTab = 2,
    ScansTab = 3,
    DiagnosticsTab = 4
};

QString baseTitle()
{
    return QStringLiteral("Telvar Interface Software ") + QLatin1String(MainWindow::version);
}

} // namespace

MainWindow::MainWindow(const Options &startOptions, QWidget *parent)
    : QMainWindow(parent), base(new Station(this)), talk(base->session())
{
    // Title and menus first, as the window is built from its form.
    setWindowTitle(baseTitle());
    setWindowIcon(QIcon(QStringLiteral(":/images/App_Icon.png")));

    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorvane.com"));
    QCoreApplication::setApplicationName(QStringLiteral("Telvar"));
    QSettings prefs;
    consoleVisible = prefs.value(QStringLiteral("consoleVisible"), false).toBool();
    selectedTextSize = prefs.value(QStringLiteral("selectedTextSize"), 0).toInt();
    userScans = prefs.value(QStringLiteral("userScans"), false).toBool();
    base->setDemoWanted(startOptions.demo ||
                        prefs.value(QStringLiteral("demoMode"), false).toBool());
    base->setNoReconnect(startOptions.noReconnect);
    base->setJournal(startOptions.headless);

    buildWidgets();

    // The runs that may own the analyzer's replies.
    talk->enrol(certificationTab->sequence());
    talk->enrol(serviceTab);
    talk->enrol(srdaTab);
    talk->enrol(srdaTab->sender);

    wirePermanent();
    wireSession();
    wireSpeakers();
    wireFleet();
    wireReports();
    wireAlarms();
    statusBar()->showMessage(isDemoMode() ? tr("Demo mode") : tr("Disconnected"));
    // The owner's rule from the start: nothing to press before an analyzer is there.
    followOwner();
    resize(compactSize());
}

MainWindow::~MainWindow()
{
    // The plot window has no parent; it lives exactly as long as this window.
    delete plot;
}

void MainWindow::wirePermanent()
{
    connect(actionConnect, &QAction::triggered, this, &MainWindow::openConnection);
    connect(actionDisconnect, &QAction::triggered, this, &MainWindow::closeConnection);
    connect(actionQuit, &QAction::triggered, this, &QWidget::close);
    connect(actionConfigure, &QAction::triggered, settings, &QWidget::show);
    connect(actionClear, &QAction::triggered, this, [this] {
        console->clear();
        serviceTab->clear();
    });
    connect(actionConsole, &QAction::toggled, this, &MainWindow::toggleConsole);
    connect(actionOptions, &QAction::triggered, this, [this] { optionsDialog()->show(); });
    connect(actionPlotWindow, &QAction::triggered, this, [this] { plotWindow()->show(); });
    connect(actionLogToFile, &QAction::toggled, this, [this](bool on) {
        if (on && settings->settings().logFile.isEmpty()) {
            // The file first: its Cancel leaves logging off, and its OK turns
            // logging on through fileReselected.
            toggleLogger(false);
            settings->reselectFile();
            return;
        }
        configureLogger();
        toggleLogger(on);
    });
    connect(actionTrend, &QAction::triggered, this, &MainWindow::trendDataFolder);
    connect(actionCertification, &QAction::triggered, certificationTab,
            &Certification::certDataFolder);
    connect(actionLogging, &QAction::triggered, logger, &Logger::loggingDataFolder);
    connect(actionDemoMode, &QAction::toggled, this, &MainWindow::setDemoMode);
    connect(actionFirmware, &QAction::triggered, this, &MainWindow::firmwareCompatibility);
    connect(actionQuickStart, &QAction::triggered, this, &MainWindow::quickStart);
    connect(actionAboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
    connect(actionAbout, &QAction::triggered, this, &MainWindow::about);

    // The Service Scans tab's buttons; the scans themselves are the tab's.
    connect(serviceTab->rcsButton, &QPushButton::clicked, this,
            [this] { serviceTab->startScan(ServiceScan::RefCell); });
    connect(serviceTab->tempScanButton, &QPushButton::clicked, this,
            [this] { serviceTab->startScan(ServiceScan::Temperature); });
    connect(serviceTab->fineScanButton, &QPushButton::clicked, this,
            [this] { serviceTab->startScan(ServiceScan::FineSpectrum); });
    connect(serviceTab->rcsDownloadButton, &QPushButton::clicked, this,
            [this] { serviceTab->download(ServiceScan::RefCell); });
    connect(serviceTab->tempDownloadButton, &QPushButton::clicked, this,
            [this] { serviceTab->download(ServiceScan::Temperature); });
    connect(serviceTab, &Service::lineforConsole, this, &MainWindow::toConsole);
    connect(serviceTab, &Service::downloadComplete, this, [this] {
        qCDebug(telvarDebug) << "Emitting scanDone()";
        emit scanDone();
    });

    connect(tabWidget, &QTabWidget::currentChanged, this, &MainWindow::resetTimer);
    connect(this, &MainWindow::scanDone, serviceTab, &Service::downloadDone);
    connect(this, &MainWindow::newSRDAColumnsReady, srdaTab, &SRDA::updateSRDAColumns);
    connect(this, &MainWindow::fileInvalid, settings, &SettingsDialog::reselectFile);
    connect(logButton, &QPushButton::clicked, settings, &SettingsDialog::reselectFile);
    connect(settings, &SettingsDialog::fileReselected, this, [this](bool on) {
        configureLogger();
        toggleLogger(on);
    });
    connect(srdaTab, &SRDA::lineforConsole, this, &MainWindow::toConsole);
    connect(srdaTab, &SRDA::lineforLogger, this, &MainWindow::toLogger);
    connect(utilitiesTab, &Utilities::lineforConsole, this, &MainWindow::toConsole);
    connect(utilitiesTab, &Utilities::lineforLogger, this, &MainWindow::toLogger);
    connect(certificationTab, &Certification::certifying, this, &MainWindow::instrumentTabDisable);

    // The console's keys are gathered here and go out through the session
    // like any command, so a line typed while the link is lost is refused
    // with its reason rather than dropped unseen.
    auto *typist = new ConsoleSpeaker(*talk, this);
    connect(console, &Console::getData, typist, &ConsoleSpeaker::key);
    connect(console, &Console::consoleBackspace, typist, &ConsoleSpeaker::backspace);
    connect(console, &Console::consoleEnter, typist, &ConsoleSpeaker::enter);
    connect(lineEdit, &QLineEdit::returnPressed, typist, [this, typist] {
        typist->line(lineEdit->text());
        lineEdit->clear();
    });
    connect(typist, &ConsoleSpeaker::refused, console,
            [this](const QString &text) { console->appendText(text + QLatin1Char('\n')); });
    connect(typist, &ConsoleSpeaker::echo, this, &MainWindow::toConsole);
    connect(typist, &ConsoleSpeaker::logged, this, &MainWindow::toLogger);
}

void MainWindow::wireSession()
{
    connect(talk, &AnalyzerSession::linkReady, this, &MainWindow::wireConnection);
    connect(talk, &AnalyzerSession::linkGoing, this, &MainWindow::unwireConnection);
    connect(talk, &AnalyzerSession::started, this, &MainWindow::connectionStarted);
    connect(talk, &AnalyzerSession::received, this, &MainWindow::showReceived);
    connect(talk, &AnalyzerSession::identified, this, &MainWindow::identified);
    connect(base, &Station::statusText, this, &MainWindow::setStatus);
    connect(base, &Station::consoleLine, console,
            [this](const QString &text) { console->appendText(text + QLatin1Char('\n')); });
    connect(talk, &AnalyzerSession::modelKnown, this, [this](const QString &model) {
        if (!isDemoMode())
            snLabel->setText(model + QLatin1String(": ") + talk->parserState().serialNumber);
        instrumentTab->tempAlarmVisible(model == QLatin1String("ORIN OK"));
    });
    connect(talk, &AnalyzerSession::progress, progressBar, &QProgressBar::setValue);
    connect(talk, &AnalyzerSession::controlsEnabled, this, &MainWindow::setControlsEnabled);
    connect(talk, &AnalyzerSession::goodbyeSent, this, &MainWindow::toConsole);
    connect(talk, &AnalyzerSession::closing, this, [this] {
        setWindowTitle(baseTitle());
        actionDisconnect->setEnabled(false);
    });
    connect(talk, &AnalyzerSession::closed, this, &MainWindow::finishClose);
    connect(base, &Station::linkLost, this, [this](const QString &reason, bool retrying) {
        if (retrying) {
            // A return that brings no analyzer is the same loss: its time stays.
            if (!lostAt.isValid())
                lostAt = Clock::current();
            showLoss(reason, -1);
            setControlsEnabled(false);
        }
    });
    connect(talk, &AnalyzerSession::retryFailed, this,
            [this](const QString &why, int waitSeconds) { showLoss(why, waitSeconds); });
    // A download's replies get a fresh half poll period before silence ends it.
    connect(serviceTab, &Service::downloadStarted, this, [this] { progressBar->setValue(100); });
}

void MainWindow::wireConnection(OrinInterface *link)
{
    auto &w = connectionWiring;
    w << connect(certificationTab, &Certification::lineforConsole, this, &MainWindow::toConsole);
    w << connect(certificationTab, &Certification::lineforLogger, this, &MainWindow::toLogger);
    w << connect(link, &OrinInterface::lineforLogger, this, &MainWindow::toLogger);
    linkOpened();
}

void MainWindow::unwireConnection()
{
    for (const auto &c : qAsConst(connectionWiring))
        disconnect(c);
    connectionWiring.clear();
}

QString MainWindow::trendFile() const
{
    return base->trendWriter().trendFile();
}

void MainWindow::setStatus(const QString &text)
{
    statusBar()->showMessage(text);
}

void MainWindow::openConnection()
{
    if (talk->lifecycle()->state() != ConnectionLifecycle::State::Disconnected)
        return;
    base->setConnectionSettings(settings->settings());
    setWindowTitle(QStringLiteral("Telvar - ") + settings->settings().label);
    tabWidget->setCurrentIndex(MonitorTab);
    if (!base->connectToAnalyzer())
        setWindowTitle(baseTitle()); // the failure itself is shown by openFailed
    else if (isDemoMode())
        snLabel->setText(QStringLiteral("DEMO MODE"));
}

void MainWindow::linkOpened()
{
    showReturn(false); // open again, but the analyzer has not said who it is yet
    const bool onDashboard = tabWidget->currentIndex() == MonitorTab;
    console->setEnabled(!onDashboard);
    console->setReadOnly(false);
    console->setLocalEcho(talk->settings().localEchoEnabled);
    lineEdit->setEnabled(!onDashboard);
    lineEdit->setReadOnly(false);
    actionConnect->setEnabled(false);
    actionConfigure->setEnabled(false);
    actionDisconnect->setEnabled(true);
    actionLogToFile->setEnabled(true);
    actionSRDA->setEnabled(true);
}

void MainWindow::closeConnection()
{
    talk->disconnectNow();
}

void MainWindow::finishClose()
{
    setWindowTitle(baseTitle());
    console->setEnabled(false);
    lineEdit->setEnabled(false);
    actionConnect->setEnabled(true);
    actionConfigure->setEnabled(true);
    actionLogToFile->setEnabled(true);
    actionDisconnect->setEnabled(false);
    actionSRDA->setEnabled(false);
    tabWidget->setEnabled(true);
    setControlsEnabled(false);
    instrumentTab->clearDisplay();
    snLabel->setText(QStringLiteral("SN: "));
    lostAt = QDateTime();
    emit connectionClosed();
}

void MainWindow::showReceived(const QByteArray &chunk)
{
    // Routine polling on the dashboard stays out of the console and the log.
    const bool dashboard = tabWidget->currentIndex() == MonitorTab;
    if (!talk->pollTimer()->isActive() || !dashboard)
        console->appendData(chunk);
    if (loggingOn && !dashboard)
        logger->append(chunk, logFilePath());
}

void MainWindow::identified(const QString &serial, bool first)
{
    if (!first) {
        // The same analyzer is back: the operator stays where they were.
        setStatus(talk->link() ? talk->link()->connectionText : QString());
        showReturn(talk->currentRun());
        lostAt = QDateTime();
        return;
    }
    certificationTab->setSSNID(serial);
    serviceTab->setSerialNumber(serial);
    snLabel->setText(QStringLiteral("SN: ") + serial);
    revealServiceTabs();
}

void MainWindow::resetTimer(int index)
{
    // A lost link is still the operator's connection: a line typed meanwhile
    // is refused with its reason.
    const bool connected = talk->lifecycle()->state() != ConnectionLifecycle::State::Disconnected;
    console->setEnabled(index != MonitorTab && connected);
    lineEdit->setEnabled(index != MonitorTab && connected);
    if (index != DiagnosticsTab && srdaTab->srdaRunning) {
        Dialogs::information(tr("SRDA Running"),
                             tr("SRDA Running: The Service Diagnostics tab is still collecting "
                                "SRDA data.  Please stop SRDA collection before changing tabs."),
                             this);
        tabWidget->setCurrentIndex(DiagnosticsTab);
        return;
    }
    talk->setTabInFront(index);
}

void MainWindow::updateTrend(const TrendRow &row)
{
    const QByteArray bytes = row.text.toUtf8();
    console->appendData(bytes);
    if (loggingOn)
        logger->append(bytes, logFilePath());
    bool numeric = false;
    row.record.conc.toDouble(&numeric);
    if (numeric) {
        plotWindow()->seriesUnit = row.record.units.trimmed(); // for its Allan deviation
        plotWindow()->addTimePoint(row.time, row.record.conc);
    }
    emit trendRowReady(row.time);
}

void MainWindow::toOrin(QString text)
{
    talk->send(text, AnalyzerSession::Speaker::Console);
}

void MainWindow::toConsole(QString text)
{
    if (talk->settings().localEchoEnabled)
        console->appendData(upToZero(text.toUtf8()));
}

void MainWindow::toLogger(QString text)
{
    if (text.endsWith(QLatin1Char('\r')))
        text += QLatin1Char('\n');
    if (loggingOn)
        logger->append(upToZero(text.toUtf8()), logFilePath());
}

void MainWindow::setDemoMode(bool on)
{
    QSettings().setValue(QStringLiteral("demoMode"), on);
    base->setDemoWanted(on);
}

void MainWindow::shutdown()
{
    // Hidden, so that closing it does not count as the last window closed:
    // the event loop must run the goodbye commands first.
    if (plot)
        plot->hide();
    const auto quit = [] { QCoreApplication::exit(0); };
    if (talk->lifecycle()->state() == ConnectionLifecycle::State::Disconnected) {
        QTimer::singleShot(0, this, quit);
        return;
    }
    talk->closeThen(quit);
}
