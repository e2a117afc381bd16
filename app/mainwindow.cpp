#include "app/mainwindow.h"

#include "app/commandsequence.h"
#include "app/connectionlifecycle.h"
#include "app/identity.h"
#include "app/pollcycle.h"
#include "app/trendlog.h"
#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/clock.h"
#include "common/dialogs.h"
#include "console/console.h"
#include "console/logger.h"
#include "dashboard/instrument.h"
#include "fleet/fleetpublisher.h"
#include "fleet/fleetview.h"
#include "link/demointerface.h"
#include "link/ethernetinterface.h"
#include "link/serialinterface.h"
#include "plot/plotwindow.h"
#include "service/service.h"
#include "service/srda.h"
#include "service/utilities.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>

#include <cstdio>

const char *const MainWindow::version = "1.3.1";

namespace {

const char *const hiddenTabsStyle =
    "QTabBar::tab:disabled { width: 1; height: 0; margin: 0; padding: 0; border: none; }";
const char *const shownTabsStyle =
    "QTabBar::tab:disabled { width: 100; height: 0; margin: 0; padding: 0; border: none; }";
const char *const logButtonOff =
    "background-color: rgb(200,200,200);border-style: solid;border-color: rgb(150,150,150);"
    "border-width: 1px;border-radius: 2px;padding: 6px;";
const char *const logButtonOn =
    "background-color: rgb(255,255,255);border-style: solid;border-color: rgb(150,150,150);"
    "border-width: 1px;border-radius: 2px;padding: 6px;";
const char *const logButtonStart =
    "background-color: rgb(200,200,200);border-style: solid;border-color: rgb(150,150,150);"
    "border-width: 1px;border-radius: 1px;padding: 4px;";

enum Tab
{
    MonitorTab = 0,
    CertificationTab = 1,
    UtilitiesTab = 2,
    ScansTab = 3,
    DiagnosticsTab = 4
};

QByteArray upToZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

QString baseTitle()
{
    return QStringLiteral("Telvar Interface Software ") + QLatin1String(MainWindow::version);
}

} // namespace

// What the reply parser reaches outside the status record: the tabs and the window.
class WindowHooks : public ParserHooks
{
public:
    explicit WindowHooks(MainWindow &w) : w(w) {}

    void statusReady() override { emit w.newStatusReady(); }
    void wrongModeBox() override
    {
        // Raised while a reply is parsed: shown once the reply path has returned.
        Dialogs::post(Dialogs::Icon::Information, QStringLiteral("Wrong Mode"),
                      QStringLiteral("Wrong mode: Changes must be done in Service Mode.  "
                                     "Concentration readings are only available in Measure Mode"));
    }
    void setModelLabel(const QString &text) override { w.snLabel->setText(text); }
    void tempAlarmVisible(bool visible) override { w.instrumentTab->tempAlarmVisible(visible); }
    void enableControls() override { w.setControlsEnabled(true); }

    int scanState() const override { return w.serviceTab->scanState(); }
    void scanReading(const QString &value) override { w.serviceTab->scanReading(value); }
    void appendDownload(const QStringList &tokens) override
    {
        w.serviceTab->appendDownload(tokens);
    }

    bool waitingForSpeed() const override { return w.utilitiesTab->waitingForSpeed; }
    bool waitingForFilter() const override { return w.utilitiesTab->waitingForFilter; }
    void clearWaitingForSpeed() override { w.utilitiesTab->waitingForSpeed = false; }
    void updateSpeed(int value) override { w.utilitiesTab->updateSpeed(value); }
    void updateFilter(int value) override { w.utilitiesTab->updateFilter(value); }
    void updateGasList(const QStringList &gases) override { w.utilitiesTab->updateGasList(gases); }
    void setCurrentGas(const QString &gas) override { w.utilitiesTab->setCurrentGas(gas); }

    bool srdaRunning() const override { return w.srdaTab->srdaRunning; }
    SrdaData *srdaData() override { return &w.srdaTab->data(); }
    void srdaColumnsReady() override { emit w.newSRDAColumnsReady(); }
    void srdaRowAdded(double timeMs, const QStringList &columns) override
    {
        w.srdaTab->updateDataSize();
        w.srdaTab->updatePlotWindow(timeMs, columns);
    }
    void srdaLimitReached(qint64 rowsKept) override
    {
        w.srdaTab->showLimitReached(rowsKept);
        w.console->appendData(SrdaData::limitText(rowsKept).toUtf8() + "\r\n");
        emit w.srdaLimitReached(rowsKept);
    }

private:
    MainWindow &w;
};

MainWindow::MainWindow(const Options &startOptions, QWidget *parent)
    : QMainWindow(parent),
      connection(new ConnectionLifecycle(
          [this](const ConnectionSettings &with) { return makeLink(with); }, this)),
      identity(new CommandSequence(this)), noReconnect(startOptions.noReconnect),
      headless(startOptions.headless)
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
    demoMode = startOptions.demo || prefs.value(QStringLiteral("demoMode"), false).toBool();
    demoWanted = demoMode;

    auto *central = new QWidget(this);
    grid = new QGridLayout(central);
    setCentralWidget(central);

    console = new Console(central);
    console->setEnabled(false);
    grid->addWidget(console, 0, 0, 5, 1);
    lineEdit = new QLineEdit(central);
    lineEdit->setEnabled(false);
    grid->addWidget(lineEdit, 5, 0);
    logger = new Logger(this);
    trend = std::make_unique<TrendWriter>(*logger);

    logButton = new QPushButton(tr("-Click here to select log file-"), this);
    logButton->setStyleSheet(QLatin1String(logButtonStart));
    fitLogButton();
    snLabel = new QLabel(QStringLiteral("SN: "), this);
    // Room for what the label will show: "DEMO MODE", or the model and serial number.
    snLabel->setMinimumWidth(
        snLabel->fontMetrics().horizontalAdvance(QStringLiteral("ORIN OK: 0000")) + 8);
    grid->setColumnMinimumWidth(0, consoleVisible ? consoleWidth : 0);

    buildTabs();
    grid->addWidget(tabWidget, 1, 1, 5, 2);

    plot = new PlotWindow(nullptr);
    plot->seriesName = QStringLiteral("Concentration");
    settings = new SettingsDialog(this);
    options = new OptionsDialog(this);
    certificationTab->changeScans(options->certScans());

    poll = new QTimer(this);
    progressTimer = new QTimer(this);
    progressBar = new QProgressBar(central);
    progressBar->setRange(0, 100);
    progressBar->setValue(100);
    progressBar->setTextVisible(false);
    progressBar->setMaximumHeight(10);
    progressBar->setStyleSheet(
        QStringLiteral("QProgressBar {border: 2px solid grey;border-radius: 3px;background-color: "
                       "#ADADAD;}QProgressBar:chunk {background-color: #737373;}"));
    grid->addWidget(progressBar, 0, 2);

    buildMenus();
    actionConnect->setEnabled(true);
    actionConfigure->setEnabled(true);
    actionConsole->setEnabled(true);
    actionLogToFile->setEnabled(true);
    actionOptions->setEnabled(true);
    actionDisconnect->setEnabled(false);
    actionSRDA->setEnabled(false);
    changeText(selectedTextSize);
    actionConsole->setChecked(consoleVisible);
    console->setVisible(consoleVisible);
    lineEdit->setVisible(consoleVisible);

    hooks = std::make_unique<WindowHooks>(*this);
    parser = std::make_unique<StatusParser>(instrumentTab->record, state, *hooks);
    state.demoMode = demoMode;

    wirePermanent();
    wireFleet();
    statusBar()->showMessage(demoMode ? tr("Demo mode") : tr("Disconnected"));
    resize(compactSize());
}

MainWindow::~MainWindow()
{
    // The plot window has no parent; it lives exactly as long as this window.
    delete plot;
}

void MainWindow::buildTabs()
{
    tabWidget = new QTabWidget(centralWidget());
    instrumentTab = new Instrument(tabWidget);
    certificationTab = new Certification(tabWidget);
    utilitiesTab = new Utilities(tabWidget);
    serviceTab = new Service(tabWidget);
    srdaTab = new SRDA(tabWidget);
    tabWidget->addTab(instrumentTab, tr("Monitor Analyzer"));
    tabWidget->addTab(certificationTab, tr("Performance Verification"));
    tabWidget->addTab(utilitiesTab, tr("Utilities"));
    tabWidget->addTab(serviceTab, tr("Service Scans"));
    tabWidget->addTab(srdaTab, tr("Service Diagnostics"));
    tabWidget->setTabEnabled(DiagnosticsTab, false);
    tabWidget->setTabEnabled(ScansTab, userScans);
    tabWidget->setStyleSheet(QLatin1String(hiddenTabsStyle));
}

void MainWindow::buildMenus()
{
    auto action = [this](const QString &text, const QString &tip, const QKeySequence &key,
                         const QString &icon = QString()) {
        auto *a = new QAction(text, this);
        if (!tip.isEmpty()) {
            a->setToolTip(tip);
            a->setStatusTip(tip);
        }
        if (!key.isEmpty())
            a->setShortcut(key);
        if (!icon.isEmpty())
            a->setIcon(QIcon(icon));
        return a;
    };
    actionConnect = action(tr("C&onnect"), tr("Connect to port"), QKeySequence(tr("Ctrl+O")),
                           QStringLiteral(":/images/connect.png"));
    actionDisconnect =
        action(tr("&Disconnect"), tr("Disconnect from port"), QKeySequence(tr("Ctrl+D")),
               QStringLiteral(":/images/disconnect.png"));
    actionQuit = action(tr("&Quit"), QString(), QKeySequence(tr("Ctrl+Q")));
    actionConfigure = action(tr("Se&ttings"), tr("Configure communications port"),
                             QKeySequence(tr("Alt+S")), QStringLiteral(":/images/settings.png"));
    actionClear = action(tr("C&lear"), tr("Clear console data"), QKeySequence(tr("Alt+L")),
                         QStringLiteral(":/images/clear-console.png"));
    actionConsole = action(tr("Console"), tr("Toggle Console Display"), QKeySequence(),
                           QStringLiteral(":/images/console.png"));
    actionConsole->setCheckable(true);
    actionConsole->setChecked(true);
    actionOptions = action(tr("Options"), QString(), QKeySequence());
    actionPlotWindow = action(tr("Plot Window"), tr("Show Plot Window"), QKeySequence(),
                              QStringLiteral(":/images/plot.png"));
    actionLogToFile = action(tr("Log to File"), tr("Log to File"), QKeySequence(),
                             QStringLiteral(":/images/logfile.png"));
    actionLogToFile->setCheckable(true);
    actionSRDA = action(tr("SRDA"), QString(), QKeySequence());
    actionTrend = action(tr("Trend"), tr("Trend"), QKeySequence());
    actionCertification = action(tr("Certification"), QString(), QKeySequence());
    actionLogging = action(tr("Logging"), QString(), QKeySequence());
    actionDemoMode =
        action(tr("Demo Mode"), tr("Use a simulated analyzer at the next connect"), QKeySequence());
    actionDemoMode->setCheckable(true);
    actionDemoMode->setChecked(demoMode); // also for a run started with --demo
    actionFirmware = action(tr("Firmware Compatibility"), QString(), QKeySequence());
    actionQuickStart = action(tr("QuickStart Guide (pdf)"), QString(), QKeySequence());
    actionAboutQt = action(tr("About Qt"), QString(), QKeySequence());
    actionAbout = action(tr("&About"), tr("About program"), QKeySequence(tr("Alt+A")));

    QMenu *calls = menuBar()->addMenu(tr("Calls"));
    calls->addAction(actionConnect);
    calls->addAction(actionDisconnect);
    calls->addSeparator();
    calls->addAction(actionQuit);

    QMenu *tools = menuBar()->addMenu(tr("Tools"));
    tools->addAction(actionConfigure);
    tools->addAction(actionClear);
    tools->addAction(actionConsole);
    tools->addAction(actionOptions);
    QMenu *sizes = tools->addMenu(tr("Text Size"));
    auto *sizeGroup = new QActionGroup(this);
    const QStringList sizeNames = {tr("Small"), tr("Medium"), tr("Large")};
    for (int i = 0; i < sizeNames.size(); ++i) {
        QAction *a = sizes->addAction(sizeNames[i]);
        a->setCheckable(true);
        sizeGroup->addAction(a);
        textSizeActions << a;
        connect(a, &QAction::triggered, this, [this, i] { changeText(i); });
    }
    tools->addSeparator();
    tools->addAction(actionDemoMode);
    actionFleetView = action(tr("Fleet View"), tr("The stations publishing to the fleet's broker"),
                             QKeySequence());
    tools->addAction(actionFleetView);

    QMenu *data = menuBar()->addMenu(tr("Data"));
    data->addAction(actionTrend);
    data->addAction(actionCertification);
    data->addAction(actionLogging);

    QMenu *help = menuBar()->addMenu(tr("Help"));
    help->addAction(actionFirmware);
    help->addAction(actionQuickStart);
    help->addSeparator();
    help->addAction(actionAboutQt);
    help->addAction(actionAbout);

    QToolBar *bar = mainBar = addToolBar(tr("Main"));
    bar->setObjectName(QStringLiteral("mainToolBar"));
    bar->addAction(actionConnect);
    bar->addAction(actionDisconnect);
    bar->addAction(actionConfigure);
    bar->addAction(actionClear);
    bar->addSeparator();
    bar->addAction(actionConsole);
    bar->addAction(actionPlotWindow);
    bar->addSeparator();
    bar->addAction(actionLogToFile);
    bar->addWidget(logButton);
    bar->addSeparator();
    bar->addWidget(snLabel);
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
    connect(actionOptions, &QAction::triggered, options, &QWidget::show);
    connect(actionPlotWindow, &QAction::triggered, plot, &QWidget::show);
    connect(actionLogToFile, &QAction::toggled, this, [this](bool on) {
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

    connect(serviceTab->rcsButton, &QPushButton::clicked, this, &MainWindow::tempRCSCommand);
    connect(serviceTab->tempScanButton, &QPushButton::clicked, this,
            &MainWindow::tempCavityCommand);
    connect(serviceTab->fineScanButton, &QPushButton::clicked, this,
            &MainWindow::currentCavityCommand);
    connect(serviceTab->rcsDownloadButton, &QPushButton::clicked, this, &MainWindow::drcsd);
    connect(serviceTab->tempDownloadButton, &QPushButton::clicked, this, &MainWindow::dtsd);
    connect(serviceTab, &Service::lineforOrin, this, &MainWindow::toOrin);
    connect(serviceTab, &Service::lineforConsole, this, &MainWindow::toConsole);
    // A download's replies get a fresh half poll period before silence ends it.
    connect(serviceTab, &Service::downloadStarted, this, [this] { progressBar->setValue(100); });
    connect(serviceTab, &Service::downloadComplete, this, [this] {
        qDebug() << "Emitting scanDone()";
        emit scanDone();
    });

    connect(connection, &ConnectionLifecycle::linkOpened, this, &MainWindow::linkOpened);
    connect(connection, &ConnectionLifecycle::started, this, &MainWindow::linkStarted);
    connect(connection, &ConnectionLifecycle::openFailed, this, [this](const QString &error) {
        // From the operator's Connect, never from the reply path.
        Dialogs::critical(tr("Error"), error, this);
        setStatus(tr("Open error"));
    });
    connect(connection, &ConnectionLifecycle::goodbyeSent, this,
            [this](const QString &command) { toConsole(command); });
    connect(connection, &ConnectionLifecycle::linkClosing, this, &MainWindow::linkClosing);
    connect(connection, &ConnectionLifecycle::closed, this, &MainWindow::finishClose);
    connect(connection, &ConnectionLifecycle::lost, this, &MainWindow::linkLost);
    connect(connection, &ConnectionLifecycle::retryFailed, this,
            [this](const QString &why, int waitSeconds) {
                setStatus(lossText + QStringLiteral(" (") + why +
                          tr("; next try in %1 s)").arg(waitSeconds));
            });

    connect(tabWidget, &QTabWidget::currentChanged, this, &MainWindow::resetTimer);
    connect(poll, &QTimer::timeout, this, &MainWindow::queryStatus);
    connect(progressTimer, &QTimer::timeout, this, &MainWindow::updateProgressBar);
    connect(this, &MainWindow::newStatusReady, instrumentTab, &Instrument::updateInstrumentWindow);
    connect(this, &MainWindow::newStatusReady, this, &MainWindow::updateTrend);
    connect(this, &MainWindow::scanDone, this, &MainWindow::Done);
    connect(this, &MainWindow::newSRDAColumnsReady, srdaTab, &SRDA::updateSRDAColumns);
    connect(this, &MainWindow::fileInvalid, settings, &SettingsDialog::reselectFile);
    connect(logButton, &QPushButton::clicked, settings, &SettingsDialog::reselectFile);
    connect(settings, &SettingsDialog::fileReselected, this, [this](bool on) {
        configureLogger();
        toggleLogger(on);
    });
    connect(options, &OptionsDialog::userScansChanged, this, &MainWindow::userScansChange);
    connect(options, &OptionsDialog::scansChanged, certificationTab, &Certification::changeScans);
    connect(srdaTab, &SRDA::lineforOrin, this, &MainWindow::toOrin);
    connect(srdaTab, &SRDA::lineforConsole, this, &MainWindow::toConsole);
    connect(srdaTab, &SRDA::lineforLogger, this, &MainWindow::toLogger);
    connect(utilitiesTab, &Utilities::lineforOrin, this, &MainWindow::toOrin);
    connect(utilitiesTab, &Utilities::lineforConsole, this, &MainWindow::toConsole);
    connect(utilitiesTab, &Utilities::lineforLogger, this, &MainWindow::toLogger);
    connect(certificationTab, &Certification::certifying, this, &MainWindow::instrumentTabDisable);
}

// Fleet publishing: one publisher told what the window's signals say. All of
// it is here, so it can move with the connection as a whole.
void MainWindow::wireFleet()
{
    fleet = new FleetPublisher(this);
    const auto station = [this] {
        return StationInfo{state.serialNumber, state.modelName, pollSeconds()};
    };
    connect(fleet, &FleetPublisher::notice, this, [this](const QString &text) {
        setStatus(text);
        console->appendText(text + QLatin1Char('\n'));
    });
    connect(settings, &SettingsDialog::fleetChanged, fleet, &FleetPublisher::configure);
    connect(this, &MainWindow::newStatusReady, fleet,
            [this, station] { fleet->statusReport(instrumentTab->record, station()); });
    connect(this, &MainWindow::trendRowReady, fleet, [this, station](const QDateTime &time) {
        fleet->trendRow(instrumentTab->record, station(), time);
    });
    connect(connection, &ConnectionLifecycle::lost, fleet, &FleetPublisher::analyzerLost);
    connect(connection, &ConnectionLifecycle::started, fleet, &FleetPublisher::analyzerBack);
    connect(this, &MainWindow::connectionClosed, fleet, &FleetPublisher::analyzerClosed);
    connect(certificationTab, &Certification::certifying, fleet, [this](bool on) {
        if (on)
            fleet->verificationStarted();
    });
    connect(certificationTab->sequence(), &CertificationSequence::finished, fleet,
            &FleetPublisher::verificationFinished);
    connect(this, &MainWindow::srdaLimitReached, fleet, &FleetPublisher::srdaLimitReached);
    connect(actionFleetView, &QAction::triggered, this, [this] {
        auto *view = findChild<FleetView *>(QString(), Qt::FindDirectChildrenOnly);
        if (!view) {
            const FleetSettings with = settings->fleetSettings();
            if (with.broker.trimmed().isEmpty()) {
                Dialogs::information(tr("Fleet"),
                                     tr("Enter the fleet's broker in Settings, group "
                                        "\"Fleet\", first."),
                                     this);
                return;
            }
            view = new FleetView(with, this);
        }
        view->show();
        view->raise();
    });
    fleet->configure(settings->fleetSettings());
}

void MainWindow::wireConnection()
{
    auto &w = connectionWiring;
    w << connect(console, &Console::getData, link, &OrinInterface::appendCharToWrite);
    w << connect(console, &Console::consoleBackspace, link, &OrinInterface::deleteCharToWrite);
    w << connect(console, &Console::consoleEnter, link, &OrinInterface::sendStringToOrin);
    w << connect(lineEdit, &QLineEdit::returnPressed, this, &MainWindow::lineEditEnterPressed);
    w << connect(instrumentTab->measureButton, &QPushButton::released, link,
                 &OrinInterface::measureCommand);
    w << connect(instrumentTab->serviceButton, &QPushButton::released, link,
                 &OrinInterface::serviceCommand);
    w << connect(instrumentTab->tuneButton, &QPushButton::released, link,
                 &OrinInterface::tuneCommand);
    for (QPushButton *b :
         {serviceTab->rcsButton, serviceTab->tempScanButton, serviceTab->fineScanButton})
        w << connect(b, &QPushButton::clicked, link, &OrinInterface::serviceCommand);
    w << connect(srdaTab->serviceButton, &QPushButton::clicked, link,
                 &OrinInterface::serviceCommand);
    w << connect(srdaTab->tuneButton, &QPushButton::clicked, link, &OrinInterface::tuneCommand);
    w << connect(srdaTab->measureButton, &QPushButton::clicked, link,
                 &OrinInterface::measureCommand);
    w << connect(certificationTab, &Certification::lineforOrin, this, &MainWindow::toOrin);
    w << connect(certificationTab, &Certification::lineforConsole, this, &MainWindow::toConsole);
    w << connect(certificationTab, &Certification::lineforLogger, this, &MainWindow::toLogger);
    w << connect(this, &MainWindow::toCertification, certificationTab,
                 &Certification::linefromOrin);
    w << connect(link, &OrinInterface::lineforLogger, this, &MainWindow::toLogger);
}

void MainWindow::unwireConnection()
{
    for (const auto &c : qAsConst(connectionWiring))
        disconnect(c);
    connectionWiring.clear();
}

bool MainWindow::isBusy() const
{
    return connection->isBusy();
}

QString MainWindow::trendFile() const
{
    return trend->trendFile();
}

QString MainWindow::logFilePath() const
{
    // The operator may pick another log file while connected: always the current choice.
    return settings->settings().logFile;
}

int MainWindow::pollSeconds() const
{
    return qMax(1, current.logInterval);
}

void MainWindow::setStatus(const QString &text)
{
    statusBar()->showMessage(text);
    if (headless && text != lastStatusPrinted) {
        // Without a window the status bar is the service log: each new text once.
        lastStatusPrinted = text;
        Dialogs::Message m;
        m.text = text;
        const QByteArray line = Dialogs::headlessLine(m).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
}

void MainWindow::openConnection()
{
    if (connection->state() != ConnectionLifecycle::State::Disconnected)
        return;
    current = settings->settings();
    if (noReconnect)
        current.autoReconnect = false;
    setWindowTitle(QStringLiteral("Telvar - ") + current.label);
    tabWidget->setCurrentIndex(MonitorTab);
    // A change of the Demo Mode choice while connected takes effect here.
    demoMode = demoWanted;
    if (demoMode)
        snLabel->setText(QStringLiteral("DEMO MODE"));
    if (!connection->connectTo(current))
        setWindowTitle(baseTitle()); // the failure itself is shown by openFailed
}

OrinInterface *MainWindow::makeLink(const ConnectionSettings &with)
{
    if (demoMode)
        return new DemoInterface(this);
    if (with.connectionType == QLatin1String("Ethernet")) {
        auto *tcp = new EthernetInterface(this);
        // While reconnecting, a dropped peer is said in the status bar, not in a box.
        tcp->errorBoxes = !with.autoReconnect;
        return tcp;
    }
    return new SerialInterface(this);
}

void MainWindow::linkOpened(OrinInterface *opened)
{
    // A fresh start of the conversation, also after a reconnect.
    link = opened;
    gotReply = false;
    state.identified = false;
    state.compatibilityMode = false;
    state.unitsCode.clear();
    state.speciesName.clear();
    state.modelName.clear();
    state.unitsPending = state.speciesPending = state.modelPending = false;
    state.demoMode = demoMode;
    cutter.clear();
    lossText.clear();
    connect(link, &OrinInterface::readyRead, this, &MainWindow::readData);

    console->setEnabled(tabWidget->currentIndex() != MonitorTab);
    console->setReadOnly(false);
    console->setLocalEcho(current.localEchoEnabled);
    lineEdit->setEnabled(tabWidget->currentIndex() != MonitorTab);
    lineEdit->setReadOnly(false);
    actionConnect->setEnabled(false);
    actionConfigure->setEnabled(false);
    actionDisconnect->setEnabled(true);
    actionLogToFile->setEnabled(true);
    actionSRDA->setEnabled(true);
    wireConnection();
    setStatus(link->connectionText);
}

void MainWindow::linkStarted()
{
    poll->start(pollSeconds() * CommandSequence::secondMs());
    progressTimer->start(pollSeconds() * CommandSequence::secondMs() / 20);
    lastReply = Clock::current();
    sinceReply.start();
    emit connectionStarted();
}

void MainWindow::linkClosing()
{
    unwireConnection();
    identity->cancel();
    poll->stop();
    progressTimer->stop();
    progressBar->setValue(100);
    cutter.clear();
    link = nullptr; // the lifecycle closes and deletes it
}

void MainWindow::closeConnection()
{
    closeConnectionThen(nullptr);
}

void MainWindow::closeConnectionThen(std::function<void()> after)
{
    const auto st = connection->state();
    if (st == ConnectionLifecycle::State::Disconnected ||
        st == ConnectionLifecycle::State::Closing) {
        if (after && st == ConnectionLifecycle::State::Closing)
            afterClose << std::move(after);
        return;
    }
    if (after)
        afterClose << std::move(after);
    identity->cancel();
    gotReply = false;
    setWindowTitle(baseTitle());
    actionDisconnect->setEnabled(false);
    // Polling stops at once, so no status request slips in between the goodbye commands.
    poll->stop();
    progressTimer->stop();
    connection->disconnectNow();
}

void MainWindow::finishClose()
{
    state.unitsCode.clear();
    state.speciesName.clear();
    state.modelName.clear();
    state.unitsPending = state.speciesPending = state.modelPending = false;
    poll->stop();
    progressTimer->stop();
    progressBar->setValue(100);
    link = nullptr;
    lossText.clear();
    cutter.clear();
    demoMode = demoWanted; // a change made while connected applies from now on
    state.demoMode = demoMode;
    setWindowTitle(baseTitle());
    console->setEnabled(false);
    lineEdit->setEnabled(false);
    actionConnect->setEnabled(true);
    actionConfigure->setEnabled(true);
    actionLogToFile->setEnabled(true);
    actionDisconnect->setEnabled(false);
    actionSRDA->setEnabled(false);
    setStatus(tr("Disconnected"));
    tabWidget->setEnabled(true);
    setControlsEnabled(false);
    instrumentTab->clearDisplay();
    snLabel->setText(QStringLiteral("SN: "));
    srdaTab->srdaRunning = false;
    serviceTab->connectionClosed();
    emit connectionClosed();
    const auto pending = afterClose;
    afterClose.clear();
    for (const auto &f : pending)
        f();
}

void MainWindow::linkLost(const QString &reason, bool retrying)
{
    if (retrying) {
        // Unattended stations come back by themselves: no box, which nobody
        // would be there to close.
        lossText = tr("Connection lost: ") + reason + tr(", reconnecting\u2026");
        setStatus(lossText);
        console->appendText(lossText + QLatin1Char('\n'));
        setControlsEnabled(false);
        // A stream that was collecting ended with the link; polling resumes
        // once the analyzer is back.
        srdaTab->srdaRunning = false;
        return;
    }
    // Without reconnecting: say so once, after the loss has been handled,
    // and disconnect as Disconnect does.
    const QString text = tr("Connection lost: ") + reason;
    setStatus(text);
    closeConnectionThen([this, text] { setStatus(text); });
    Dialogs::post(Dialogs::Icon::Critical, tr("Connection lost"), text, this);
}

void MainWindow::readData()
{
    if (!link)
        return;
    const QByteArray bytes = link->readData();
    gotReply = true;
    connection->answered();
    const QByteArray chunk = cutter.feed(bytes);
    if (chunk.isEmpty())
        return;
    if (!state.identified) {
        identify(chunk);
        return;
    }
    const int tab = tabWidget->currentIndex();
    if (!poll->isActive() || tab != MonitorTab)
        console->appendData(chunk);
    if (loggingOn && tab != MonitorTab)
        logger->log(chunk, logFilePath());
    progressBar->setValue(100);
    lastReply = Clock::current();
    sinceReply.start();
    if (certificationTab->inProgress()) {
        emit toCertification(QString::fromLatin1(upToZero(chunk)));
        return;
    }
    state.currentTab = tab;
    parser->parseData(QString::fromLatin1(chunk));
}

void MainWindow::identify(const QByteArray &chunk)
{
    if (demoMode) {
        state.identified = true;
        setControlsEnabled(true);
        return;
    }
    const QString serial = serialFromReply(chunk);
    if (serial.isNull())
        return; // anything before the serial reply is dropped unseen
    state.serialNumber = serial;
    certificationTab->setSSNID(state.serialNumber);
    serviceTab->setSerialNumber(state.serialNumber);
    snLabel->setText(QStringLiteral("SN: ") + state.serialNumber);
    tabWidget->setTabEnabled(ScansTab, true);
    tabWidget->setTabEnabled(DiagnosticsTab, true);
    tabWidget->setCurrentIndex(MonitorTab);
    tabWidget->setStyleSheet(QLatin1String(shownTabsStyle));
    state.identified = true;
}

void MainWindow::queryStatus()
{
    const int tab = tabWidget->currentIndex();
    const qint64 silentSeconds =
        sinceReply.isValid() ? sinceReply.elapsed() / CommandSequence::secondMs() : 0;
    switch (PollCycle::silence(silentSeconds, pollSeconds(), gotReply, tab == MonitorTab)) {
    case PollCycle::Silence::NeverAnswered:
        if (connection->isReconnect()) {
            // The port came back but the analyzer has not: keep trying, as
            // after any other loss, instead of giving up for good.
            connection->reportLoss(tr("no response from the analyzer"));
            return;
        }
        // The analyzer never answered on this connection: give up.
        closeConnectionThen([this] {
            Dialogs::Message m;
            m.icon = Dialogs::Icon::Critical;
            m.title = tr("Connection Error");
            m.text = QStringLiteral(
                "No response was received from the analyzer!  \n\nPlease check the "
                "connections, cables, and \nserial communication settings.  Telvar has\n"
                "disconnected.");
            m.buttons = Dialogs::NoButton;
            m.parent = this;
            Dialogs::instance().message(m);
            setStatus(tr("Timeout!") + QStringLiteral("No Response from analyzer!"));
        });
        return;
    case PollCycle::Silence::Quiet:
        // Left standing: the connection text must not hide that replies stopped.
        setStatus(QStringLiteral("Last response from analyzer received at: ") +
                  lastReply.toString(Qt::TextDate));
        break;
    case PollCycle::Silence::None:
        if (link)
            setStatus(link->connectionText);
        break;
    }
    if (!link || connection->state() == ConnectionLifecycle::State::Closing)
        return;
    instrumentTab->compatibilityMode = state.compatibilityMode;
    if (state.compatibilityMode) {
        state.unitsCode = state.speciesName = state.modelName = QStringLiteral(" ");
        state.unitsPending = state.speciesPending = state.modelPending = false;
        setControlsEnabled(true);
    }
    if (srdaTab->srdaRunning || !state.identified)
        return;
    if (identity->isRunning())
        return; // the queries of an earlier tick are still being paced out

    // Identity queries, each once per connection, a second or two apart.
    for (const PollCycle::IdentityQuery &q : PollCycle::identityQueries(state)) {
        identity->wait(q.waitSeconds).then([this, q] {
            if (!link || !(state.*q.answer).isEmpty())
                return;
            toOrin(q.command);
            state.*q.pending = true;
            setStatus(q.statusText);
        });
    }
    identity->then([this] { sendPoll(); }).start();
}

void MainWindow::sendPoll()
{
    if (!link)
        return;
    const QString command = PollCycle::pollCommand(
        tabWidget->currentIndex(), state.compatibilityMode, serviceTab->scanState());
    if (!command.isEmpty())
        toOrin(command);
}

void MainWindow::resetTimer(int index)
{
    console->setEnabled(index != MonitorTab && link);
    lineEdit->setEnabled(index != MonitorTab && link);
    if (index != DiagnosticsTab && srdaTab->srdaRunning) {
        Dialogs::information(tr("SRDA Running"),
                             tr("SRDA Running: The Service Diagnostics tab is still collecting "
                                "SRDA data.  Please stop SRDA collection before changing tabs."),
                             this);
        tabWidget->setCurrentIndex(DiagnosticsTab);
        return;
    }
    if (!link || connection->state() == ConnectionLifecycle::State::Closing)
        return;
    lastReply = Clock::current();
    sinceReply.start();
    poll->stop();
    progressTimer->stop();
    progressBar->setValue(0);
    if (connection->state() == ConnectionLifecycle::State::Connected) {
        poll->start(pollSeconds() * CommandSequence::secondMs());
        progressTimer->start(pollSeconds() * CommandSequence::secondMs() / 20);
    }
    if (index == MonitorTab) {
        toOrin(PollCycle::pollCommand(MonitorTab, state.compatibilityMode, 0));
        progressBar->setValue(100);
    }
}

void MainWindow::updateProgressBar()
{
    const int before = progressBar->value();
    progressBar->setValue(qMax(0, before - 5));
    if (before == 55 && serviceTab->scanState() > 3) {
        qDebug() << "Assuming download done.";
        qDebug() << "Emitting scanDone()";
        emit scanDone();
    }
}

void MainWindow::updateTrend()
{
    StatusRecord &record = instrumentTab->record;
    instrumentTab->ppmThreshold = options->ppmThreshold();
    const QDateTime now = Clock::current();
    const QString row = trendRow(record, now, state.compatibilityMode, current.statusLog);
    const QByteArray bytes = row.toUtf8();
    console->appendData(bytes);
    if (loggingOn)
        logger->log(bytes, logFilePath());
    if (current.autoLog)
        trend->append(state.serialNumber, row, current.statusLog, now.date());
    bool numeric = false;
    record.conc.toDouble(&numeric);
    if (numeric)
        plot->addTimePoint(now, record.conc);
    emit trendRowReady(now);
}

void MainWindow::setControlsEnabled(bool on)
{
    instrumentTab->measureButton->setEnabled(on);
    instrumentTab->serviceButton->setEnabled(on);
    instrumentTab->tuneButton->setEnabled(on);
    serviceTab->setControlsEnabled(on);
    srdaTab->setControlsEnabled(on);
    certificationTab->setControlsEnabled(on);
    utilitiesTab->setControlsEnabled(on);
}

void MainWindow::instrumentTabDisable(bool on)
{
    tabWidget->setTabEnabled(MonitorTab, !on);
    tabWidget->setTabEnabled(UtilitiesTab, !on);
    if (userScans)
        tabWidget->setTabEnabled(ScansTab, !on);
}

void MainWindow::userScansChange(bool on)
{
    userScans = on;
    tabWidget->setStyleSheet(QLatin1String(shownTabsStyle));
    tabWidget->setTabEnabled(ScansTab, on);
    QSettings().setValue(QStringLiteral("userScans"), on);
}

void MainWindow::toggleConsole(bool on)
{
    consoleVisible = on;
    console->setVisible(on);
    lineEdit->setVisible(on);
    // A hidden console leaves no empty column behind.
    grid->setColumnMinimumWidth(0, on ? consoleWidth : 0);
    QSettings().setValue(QStringLiteral("consoleVisible"), on);
    QTimer::singleShot(100, this, &MainWindow::doIt);
}

void MainWindow::doIt()
{
    resize(compactSize());
}

QSize MainWindow::compactSize() const
{
    // As small as the contents allow, but wide enough that the serial number
    // at the end of the tool bar stays in view.
    int toolBarWidth = 2 * mainBar->style()->pixelMetric(QStyle::PM_ToolBarHandleExtent);
    for (QAction *a : mainBar->actions()) {
        if (const QWidget *item = mainBar->widgetForAction(a))
            toolBarWidth +=
                qMax(item->sizeHint().width(), item->minimumWidth()) + mainBar->layout()->spacing();
    }
    const QSize minimum = minimumSizeHint();
    return QSize(qMax(minimum.width(), toolBarWidth), minimum.height());
}

void MainWindow::changeText(int size)
{
    static const struct
    {
        const char *style;
        const char *measure;
        const char *service;
        const char *tune;
    } sets[] = {
        {"QLabel { font-size: 14px }", ":/images/Measure_s.bmp", ":/images/Service_s.bmp",
         ":/images/Tune_s.bmp"},
        {"QLabel { font-size: 16px }", ":/images/Measure_m.bmp", ":/images/Service_m.bmp",
         ":/images/Tune_m.bmp"},
        {"QLabel { font-size: 22px }", ":/images/Measure.bmp", ":/images/Service.bmp",
         ":/images/Tune.bmp"},
    };
    size = qBound(0, size, 2);
    selectedTextSize = size;
    QSettings().setValue(QStringLiteral("selectedTextSize"), size);
    instrumentTab->setStyleSheet(QLatin1String(sets[size].style));
    instrumentTab->setModeButtonImages(QLatin1String(sets[size].measure),
                                       QLatin1String(sets[size].service),
                                       QLatin1String(sets[size].tune));
    if (size < textSizeActions.size())
        textSizeActions[size]->setChecked(true);
}

void MainWindow::configureLogger()
{
    const QString file = settings->settings().logFile;
    if (file.isEmpty()) {
        settings->reselectFile();
        return;
    }
    logButton->setText(file.right(24));
    fitLogButton();
}

void MainWindow::fitLogButton()
{
    // 140 pixels, or wider where the caption would be cut: the whole caption
    // stays readable at any font size (padding and border of its styles included).
    const int text = logButton->fontMetrics().horizontalAdvance(logButton->text());
    logButton->setFixedWidth(qMax(140, text + 2 * (6 + 1) + 8));
}

void MainWindow::toggleLogger(bool on)
{
    loggingOn = on;
    logButton->setStyleSheet(QLatin1String(on ? logButtonOn : logButtonOff));
    const QSignalBlocker block(actionLogToFile);
    actionLogToFile->setChecked(on);
}

void MainWindow::toOrin(QString text)
{
    if (link && link->connectionOpen())
        link->writeData(upToZero(text.toUtf8()));
}

void MainWindow::toConsole(QString text)
{
    if (current.localEchoEnabled)
        console->appendData(upToZero(text.toUtf8()));
}

void MainWindow::toLogger(QString text)
{
    if (text.endsWith(QLatin1Char('\r')))
        text += QLatin1Char('\n');
    if (loggingOn)
        logger->log(upToZero(text.toUtf8()), logFilePath());
}

void MainWindow::lineEditEnterPressed()
{
    const QString line = lineEdit->text() + QStringLiteral("\r\n");
    toOrin(line);
    toConsole(line);
    toLogger(line);
    lineEdit->clear();
}

void MainWindow::trendDataFolder()
{
    const QFileInfo file(trend->trendFile());
    const QString target = file.isFile() ? file.absolutePath() : trend->trendFile();
    Dialogs::instance().openUrl(QUrl::fromLocalFile(target));
}

void MainWindow::about()
{
    Dialogs::Message m;
    m.title = tr("Telvar Interface");
    m.text = QStringLiteral("Telvar Software Version ") + QLatin1String(version) +
             QStringLiteral("\n\n");
    m.informativeText =
        tr("Telvar monitors and services one Orin cavity ring-down gas analyzer over a serial "
           "line or TCP.\n\nBuilt with the Qt %1 toolkit, the Qwt plotting library and the "
           "zlib compression library (through QuaZip).")
            .arg(QLatin1String(qVersion()));
    m.iconResource = QStringLiteral(":/images/splash_small.bmp");
    m.parent = this;
    Dialogs::instance().message(m);
}

void MainWindow::firmwareCompatibility()
{
    Dialogs::Message m;
    m.title = tr("Firmware Compatibility");
    m.text = QStringLiteral(
                 "When connecting to an instrument with firmware \nbefore version 5.00, Telvar "
                 "will drop into a \ncompatibility mode with slightly reduced functions.\nLaser "
                 "and alarm status are not updated, \nbut concentration readings will still be "
                 "obtained\nand recorded.") +
             tr("\n\nFor a firmware upgrade, please contact Quorvane sales.");
    m.iconResource = QStringLiteral(":/images/splash_small.bmp");
    m.parent = this;
    Dialogs::instance().message(m);
}

void MainWindow::quickStart()
{
    const QString name = QStringLiteral("TelvarQuickStartGuide.pdf");
    const QString folder = QDir::currentPath();
    const QFileInfo guide(QDir(folder).filePath(name));
    if (guide.exists()) {
        Dialogs::instance().openUrl(QUrl::fromLocalFile(guide.absoluteFilePath()));
        return;
    }
    Dialogs::Message m;
    m.icon = Dialogs::Icon::Warning;
    m.title = tr("File missing");
    m.text = QStringLiteral("File missing:\n\n") + name + QStringLiteral("\nin\n") + folder;
    m.parent = this;
    Dialogs::instance().message(m);
}

void MainWindow::setDemoMode(bool on)
{
    QSettings().setValue(QStringLiteral("demoMode"), on);
    demoWanted = on;
    if (connection->state() == ConnectionLifecycle::State::Disconnected)
        demoMode = on;
}

void MainWindow::shutdown()
{
    // Hidden, so that closing it does not count as the last window closed:
    // the event loop must run the goodbye commands first.
    plot->hide();
    const auto quit = [] { QCoreApplication::exit(0); };
    if (connection->state() == ConnectionLifecycle::State::Disconnected) {
        QTimer::singleShot(0, this, quit);
        return;
    }
    closeConnectionThen(quit);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    const int answer = Dialogs::question(tr("Telvar"), tr("Are you sure you want to exit?\n"),
                                         Dialogs::Yes | Dialogs::Cancel, Dialogs::Yes, this);
    if (answer != Dialogs::Yes) {
        event->ignore();
        return;
    }
    plot->close();
    srdaTab->plotWindow()->close();
    event->accept();
}

// The Service Scans tab's commands; the scans themselves are the tab's.
void MainWindow::tempRCSCommand()
{
    serviceTab->startScan(ServiceScan::RefCell);
}

void MainWindow::tempCavityCommand()
{
    serviceTab->startScan(ServiceScan::Temperature);
}

void MainWindow::currentCavityCommand()
{
    serviceTab->startScan(ServiceScan::FineSpectrum);
}

void MainWindow::drcsd()
{
    serviceTab->download(ServiceScan::RefCell);
}

void MainWindow::dtsd()
{
    serviceTab->download(ServiceScan::Temperature);
}

void MainWindow::Done()
{
    serviceTab->downloadDone();
}
