#include "app/mainwindow.h"

#include "app/helpboxes.h"
#include "app/trendlog.h"
#include "certification/certification.h"
#include "certification/optionsdialog.h"
#include "common/buildinfo.h"
#include "common/dialogs.h"
#include "console/console.h"
#include "console/logger.h"
#include "dashboard/instrument.h"
#include "plot/plotwindow.h"
#include "service/service.h"
#include "service/srda.h"
#include "service/utilities.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolBar>
#include <QUrl>

// How the window looks: its widgets, menus and tool bar, text sizes, the
// console and log button, and the Help menu's boxes. None of it takes part in
// the conversation with the analyzer.

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
    UtilitiesTab = 2,
    ScansTab = 3,
    DiagnosticsTab = 4
};

} // namespace

void MainWindow::buildWidgets()
{
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

    settings = new SettingsDialog(this);
    certificationTab->changeScans(CertScans()); // what the options dialog starts with

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
}

void MainWindow::revealServiceTabs()
{
    tabWidget->setTabEnabled(ScansTab, true);
    tabWidget->setTabEnabled(DiagnosticsTab, true);
    tabWidget->setCurrentIndex(MonitorTab);
    tabWidget->tabBar()->setStyleSheet(QLatin1String(shownTabsStyle));
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
    actionDemoMode->setChecked(isDemoMode()); // also for a run started with --demo
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
    actionAlarms =
        action(tr("Alarms"), tr("The active alarms, and those to acknowledge"), QKeySequence());
    tools->addAction(actionAlarms);

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

void MainWindow::changeText(int size)
{
    size = qBound(0, size, 2);
    selectedTextSize = size;
    QSettings().setValue(QStringLiteral("selectedTextSize"), size);
    instrumentTab->setTextSize(size);
    if (size < textSizeActions.size())
        textSizeActions[size]->setChecked(true);
}

void MainWindow::about()
{
    showAboutBox(this);
}

void MainWindow::firmwareCompatibility()
{
    showFirmwareBox(this);
}

void MainWindow::quickStart()
{
    openQuickStart(this);
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
    tabWidget->tabBar()->setStyleSheet(QLatin1String(hiddenTabsStyle));
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
    tabWidget->tabBar()->setStyleSheet(QLatin1String(shownTabsStyle));
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
    // The look changes with the state only: a file chooser cancelled before
    // logging ever began leaves the button as it was.
    if (on != loggingOn)
        logButton->setStyleSheet(QLatin1String(on ? logButtonOn : logButtonOff));
    loggingOn = on;
    const QSignalBlocker block(actionLogToFile);
    actionLogToFile->setChecked(on);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (goodbyeSaid) {
        event->accept();
        return;
    }
    const int answer = Dialogs::question(tr("Telvar"), tr("Are you sure you want to exit?\n"),
                                         Dialogs::Yes | Dialogs::Cancel, Dialogs::Yes, this);
    if (answer != Dialogs::Yes) {
        event->ignore();
        return;
    }
    if (plot)
        plot->close();
    srdaTab->closePlotWindow();
    if (talk->lifecycle()->state() == ConnectionLifecycle::State::Disconnected) {
        event->accept();
        return;
    }
    // As Disconnect: a run is ended and the analyzer hears the goodbye before
    // the window goes.
    event->ignore();
    talk->closeThen([this] {
        goodbyeSaid = true;
        close();
    });
}

OptionsDialog *MainWindow::optionsDialog()
{
    // Built on first use: the first window does not need it.
    if (!options) {
        options = new OptionsDialog(this);
        connect(options, &OptionsDialog::userScansChanged, this, &MainWindow::userScansChange);
        connect(options, &OptionsDialog::scansChanged, certificationTab,
                &Certification::changeScans);
        options->followRun(certificationTab->sequence());
    }
    return options;
}

PlotWindow *MainWindow::plotWindow()
{
    if (!plot) {
        plot = new PlotWindow(nullptr);
        plot->seriesName = QStringLiteral("Concentration");
    }
    return plot;
}

void MainWindow::trendDataFolder()
{
    const QString trendFile = base->trendWriter().trendFile();
    const QFileInfo file(trendFile);
    const QString target = file.isFile() ? file.absolutePath() : trendFile;
    Dialogs::instance().openUrl(QUrl::fromLocalFile(target));
}
